#include "i2c_wire.h"

namespace sim {

namespace {
constexpr int kDataClocks = 8;
constexpr int kAckClock = 9;
constexpr uint8_t kReadBit = 0x01;
}  // namespace

void I2cWire::Drive(bool sda, bool scl)
{
    const bool oldSda = Sda(), oldScl = Scl();
    masterSda = sda;
    masterScl = scl;
    const bool newSda = Sda(), newScl = Scl();
    if (oldSda != newSda && oldScl != newScl) {
        RecordError(WireError::BothLinesChanged);
        return;
    }
    if (newScl != oldScl) {
        if (newScl)
            SclRose();
        else
            SclFell();
    } else if (newSda != oldSda && newScl) {
        SdaChangedWhileClockHigh(newSda);
    }
}

void I2cWire::ClearLog()
{
    errorCount = 0;
    idleClocks = 0;
    if (open) {
        // Keep the open transaction as the first entry of the new log.
        log[0] = Current();
        transactionCount = 1;
    } else {
        transactionCount = 0;
    }
}

WireTransaction& I2cWire::Current()
{
    return transactionCount <= kMaxTransactions ? log[transactionCount - 1] : overflow;
}

void I2cWire::RecordError(WireError kind)
{
    if (errorCount < kMaxErrors)
        errors[errorCount] = {kind, transactionCount - 1};
    ++errorCount;
}

void I2cWire::BeginTransaction()
{
    ++transactionCount;
    WireTransaction& t = Current();
    t = {};
    t.end = WireEnd::Open;
    open = true;
    addressByte = true;
    reading = false;
    selected = false;
    ignoring = false;
    bits = 0;
    shift = 0;
    targetSda = true;
}

void I2cWire::EndTransaction(WireEnd how)
{
    WireTransaction& t = Current();
    t.end = how;
    open = false;
    targetSda = true;
}

void I2cWire::RecordByte(uint8_t value, bool ack)
{
    WireTransaction& t = Current();
    if (t.count < WireTransaction::kMaxBytes) {
        t.bytes[t.count] = value;
        t.acked[t.count] = ack;
    }
    if (t.count < 0xFF)
        ++t.count;
}

void I2cWire::SclRose()
{
    if (!open) {
        ++idleClocks;
        return;
    }
    if (ignoring) {
        ++Current().trailingClocks;
        return;
    }
    if (bits < kDataClocks) {
        shift = (uint8_t)(shift << 1 | (Sda() ? 1 : 0));
        ++bits;
    } else if (bits == kDataClocks) {
        lastAck = !Sda();
        bits = kAckClock;
        RecordByte(shift, lastAck);
    }
}

void I2cWire::SclFell()
{
    if (!open || ignoring)
        return;
    if (bits == kDataClocks) {
        // The eight data bits are in; the acknowledge slot begins.
        if (ReadingData()) {
            targetSda = true;  // the master answers a read byte
            return;
        }
        bool ack = false;
        if (bus != nullptr)
            ack = addressByte ? bus->Start(shift) : bus->Write(shift);
        if (addressByte)
            selected = ack;
        targetSda = !ack;
        return;
    }
    if (bits == kAckClock) {
        targetSda = true;
        bool sendNext = false;
        if (addressByte) {
            addressByte = false;
            reading = (shift & kReadBit) != 0;
            sendNext = reading;
        } else if (reading) {
            sendNext = lastAck;
            ignoring = !lastAck;
        }
        bits = 0;
        shift = 0;
        if (sendNext) {
            // The target must put its first bit on SDA now, before it can know
            // whether the master will acknowledge the byte; the bit-banged
            // adapters take a single byte, so it is told it will not.
            sending = selected && bus != nullptr ? bus->Read(false) : 0xFF;
            targetSda = (sending & 0x80) != 0;
        }
        return;
    }
    if (ReadingData() && bits > 0) {
        // Next bit of the byte the target sends, most significant first.
        targetSda = ((sending >> (kDataClocks - 1 - bits)) & 1) != 0;
    }
}

void I2cWire::SdaChangedWhileClockHigh(bool rose)
{
    if (open && !ignoring && bits >= 1 && bits <= kDataClocks) {
        if (ReadingData() && selected)
            RecordError(WireError::DataWhileClockHigh);
        else if (bits >= 2)
            RecordError(WireError::ByteCutShort);
        // One clock of a master byte is the clock that sets up the stop or
        // the repeated start.
        ++Current().trailingClocks;
    }
    if (!rose) {
        // Start or repeated start.
        if (open)
            EndTransaction(WireEnd::RepeatedStart);
        BeginTransaction();
        return;
    }
    if (open) {
        EndTransaction(WireEnd::Stop);
        if (bus != nullptr)
            bus->Stop();
    }
}

}  // namespace sim
