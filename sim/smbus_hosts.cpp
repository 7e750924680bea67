#include "smbus_hosts.h"

namespace sim {

namespace {

// Bits on the wire, start and stop included; every byte is 8 bits and an
// acknowledge.
constexpr int kStartBits = 1;
constexpr int kStopBits = 1;
constexpr int kByteBits = 9;

int SimpleBits(SmbusSequencer::Protocol protocol, bool read)
{
    using P = SmbusSequencer::Protocol;
    switch (protocol) {
    case P::Quick:
        return kStartBits + kByteBits + kStopBits;
    case P::Byte:
        return kStartBits + 2 * kByteBits + kStopBits;
    case P::ByteData:
        return read ? 2 * kStartBits + 4 * kByteBits + kStopBits : kStartBits + 3 * kByteBits + kStopBits;
    case P::WordData:
        return read ? 2 * kStartBits + 5 * kByteBits + kStopBits : kStartBits + 4 * kByteBits + kStopBits;
    case P::Block:
        break;
    }
    return 0;
}

Nanos Bits(int n) { return (Nanos)n * kSmbusBitTime; }

}  // namespace

// ---------------------------------------------------------------------------
// SmbusSequencer

void SmbusSequencer::Begin(Nanos now)
{
    (void)now;
    ++transactions;
    moved = 0;
    lastMarked = false;
    haveData = false;
    resultValid = false;
    if (stuckBusy)
        phase = Phase::Hung;
}

void SmbusSequencer::StartSimple(Protocol p, uint8_t address8, uint8_t cmd, uint16_t value, Nanos now)
{
    if (Active())
        return;
    Begin(now);
    if (phase == Phase::Hung)
        return;
    protocol = p;
    address = address8;
    command = cmd;
    data = value;
    phase = Phase::Simple;
    due = now + Bits(SimpleBits(p, (address8 & 1) != 0));
}

void SmbusSequencer::StartBlock(uint8_t writeAddress8, uint8_t cmd, uint8_t readAddress8, uint8_t n, Nanos now)
{
    if (Active())
        return;
    Begin(now);
    if (phase == Phase::Hung)
        return;
    protocol = Protocol::Block;
    address = (uint8_t)(writeAddress8 & 0xFE);
    command = cmd;
    readAddress = readAddress8;
    count = n;
    phase = Phase::BlockHeader;
    const int header = readAddress8 != 0 ? 2 * kStartBits + 3 * kByteBits : kStartBits + 2 * kByteBits;
    due = now + Bits(header);
}

void SmbusSequencer::Release(bool last, Nanos now)
{
    if (phase != Phase::ByteHeld)
        return;
    const bool countDone = count != 0 && moved >= count;
    if (readAddress != 0) {
        if (last || countDone) {
            phase = Phase::Stopping;
            due = now + Bits(kStopBits);
        } else {
            phase = Phase::Shifting;
            due = now + Bits(kByteBits);
        }
        return;
    }
    if (countDone) {
        phase = Phase::Stopping;
        due = now + Bits(kStopBits);
    } else if (haveData) {
        phase = Phase::Shifting;
        due = now + Bits(kByteBits);
    } else {
        phase = Phase::NeedData;
    }
}

void SmbusSequencer::PutData(uint8_t value, Nanos now)
{
    if (protocol != Protocol::Block || readAddress != 0 || !Active())
        return;
    pending = value;
    haveData = true;
    if (phase == Phase::NeedData) {
        phase = Phase::Shifting;
        due = now + Bits(kByteBits);
    }
}

void SmbusSequencer::Kill()
{
    if (phase != Phase::Idle && phase != Phase::Hung && bus != nullptr)
        bus->Stop();
    phase = Phase::Idle;
}

void SmbusSequencer::Finish(bool ok, Nanos at)
{
    phase = Phase::Idle;
    busFreeAt = at + kSmbusBusFree;
    events->Finished(ok);
}

void SmbusSequencer::RunSimple()
{
    const bool read = (address & 1) != 0;
    bool ok = false;
    if (!Gone()) {
        uint8_t byte = 0;
        uint16_t word = 0;
        switch (protocol) {
        case Protocol::Quick:
            ok = bus->QuickCommand(address);
            break;
        case Protocol::Byte:
            if (read) {
                ok = bus->ReceiveByte(address, &byte);
                result = byte;
            } else {
                ok = bus->SendByte(address, command);
            }
            break;
        case Protocol::ByteData:
            if (read) {
                ok = bus->ReadByteData(address, command, &byte);
                result = byte;
            } else {
                ok = bus->WriteByteData(address, command, (uint8_t)data);
            }
            break;
        case Protocol::WordData:
            if (read) {
                ok = bus->ReadWordData(address, command, &word);
                result = word;
            } else {
                ok = bus->WriteWordData(address, command, data);
            }
            break;
        case Protocol::Block:
            break;
        }
    }
    resultValid = ok && read;
    resultIsWord = protocol == Protocol::WordData;
    Finish(ok, due);
}

void SmbusSequencer::Step()
{
    switch (phase) {
    case Phase::Simple:
        RunSimple();
        return;
    case Phase::BlockHeader: {
        bool ok = !Gone() && bus->Start(address) && bus->Write(command);
        if (ok && readAddress != 0)
            ok = bus->Start((uint8_t)(readAddress | 1));
        if (!ok) {
            bus->Stop();
            Finish(false, due);
        } else if (readAddress != 0) {
            phase = Phase::Shifting;
            due += Bits(kByteBits);
        } else if (count == 0) {
            phase = Phase::Stopping;
            due += Bits(kStopBits);
        } else if (haveData) {
            phase = Phase::Shifting;
            due += Bits(kByteBits);
        } else {
            phase = Phase::NeedData;
        }
        return;
    }
    case Phase::Shifting:
        if (readAddress != 0) {
            // The master acknowledges every byte but the one the count ends on.
            const bool ack = !(count != 0 && moved + 1 >= count);
            const uint8_t value = Gone() ? 0xFF : bus->Read(ack);
            ++moved;
            phase = Phase::ByteHeld;
            events->ByteReady(value);
        } else {
            const bool ok = !Gone() && bus->Write(pending);
            haveData = false;
            if (!ok) {
                bus->Stop();
                Finish(false, due);
                return;
            }
            ++moved;
            phase = Phase::ByteHeld;
            events->ByteSent();
        }
        return;
    case Phase::Stopping:
        bus->Stop();
        Finish(true, due);
        return;
    case Phase::Idle:
    case Phase::ByteHeld:
    case Phase::NeedData:
    case Phase::Hung:
        return;
    }
}

void SmbusSequencer::Tick(Nanos now)
{
    // Phases that end by themselves; one clock step may cover several.
    while ((phase == Phase::Simple || phase == Phase::BlockHeader || phase == Phase::Shifting ||
            phase == Phase::Stopping) && now >= due)
        Step();
}

// ---------------------------------------------------------------------------
// AMD and VIA

namespace {
constexpr uint8_t kAmdBusy = 0x01, kAmdDone = 0x02, kAmdDeviceError = 0x04, kAmdFailed = 0x10,
                  kAmdByteDone = 0x80;
constexpr uint8_t kAmdSticky = 0x9E;
constexpr uint8_t kAmdStart = 0x40, kAmdLastByte = 0x20, kAmdKill = 0x02;

// Protocol field values, shared by the AMD/VIA, ALi and SiS encodings.
bool ProtocolFromField(uint8_t field, SmbusSequencer::Protocol* p)
{
    using P = SmbusSequencer::Protocol;
    switch (field) {
    case 0: *p = P::Quick; return true;
    case 1: *p = P::Byte; return true;
    case 2: *p = P::ByteData; return true;
    case 3: *p = P::WordData; return true;
    case 5: *p = P::Block; return true;
    default: return false;
    }
}
}  // namespace

void AmdViaSmbus::Connect(Machine* m, uint16_t at, I2cBus* bus)
{
    machine = m;
    base = at;
    seq.Attach(bus, this);
}

bool AmdViaSmbus::Install(Machine* m, uint16_t at, I2cBus* bus)
{
    Connect(m, at, bus);
    return m->Claim(at, kPortCount, this);
}

uint8_t AmdViaSmbus::In8(uint16_t port)
{
    switch ((uint16_t)(port - base)) {
    case 0: return (uint8_t)(status | (seq.Active() || seq.stuckBusy ? kAmdBusy : 0));
    case 2: return control;
    case 3: return command;
    case 4: return address;
    case 5: return data0;
    case 6: return data1;
    case 7: return blockData;
    default: return 0xFF;
    }
}

void AmdViaSmbus::Out8(uint16_t port, uint8_t value)
{
    const Nanos now = machine->Now();
    switch ((uint16_t)(port - base)) {
    case 0:
        status = (uint8_t)(status & ~(value & kAmdSticky));
        // Clearing byte done hands the block byte back to the controller.
        if ((value & kAmdByteDone) != 0 && seq.HoldingByte())
            seq.Release((control & kAmdLastByte) != 0, now);
        return;
    case 2: {
        control = (uint8_t)(value & ~kAmdStart);
        if ((value & kAmdKill) != 0) {
            if (seq.Active())
                status |= kAmdFailed;
            seq.Kill();
            return;
        }
        if ((value & kAmdStart) == 0 || seq.Active())
            return;
        SmbusSequencer::Protocol p;
        if (!ProtocolFromField((uint8_t)((value >> 2) & 7), &p)) {
            status |= kAmdFailed;
            return;
        }
        if (p == SmbusSequencer::Protocol::Block)
            seq.StartBlock(address, command, (address & 1) ? address : 0, data0, now);
        else
            seq.StartSimple(p, address, command, (uint16_t)(data0 | data1 << 8), now);
        return;
    }
    case 3: command = value; return;
    case 4: address = value; return;
    case 5: data0 = value; return;
    case 6: data1 = value; return;
    case 7:
        blockData = value;
        seq.PutData(value, now);
        return;
    default: return;
    }
}

void AmdViaSmbus::Finished(bool acknowledged)
{
    status |= acknowledged ? kAmdDone : kAmdDeviceError;
    if (seq.ResultValid()) {
        data0 = (uint8_t)seq.Result();
        if (seq.ResultIsWord())
            data1 = (uint8_t)(seq.Result() >> 8);
    }
}

void AmdViaSmbus::ByteReady(uint8_t value)
{
    blockData = value;
    status |= kAmdByteDone;
}

void AmdViaSmbus::ByteSent() { status |= kAmdByteDone; }

// ---------------------------------------------------------------------------
// ALi

namespace {
constexpr uint8_t kAliBusy = 0x01, kAliDeviceError = 0x04, kAliFailed = 0x10, kAliReady = 0x80;
constexpr uint8_t kAliSticky = 0x1C;
constexpr uint8_t kAliLastByte = 0x40;                  // control 1
constexpr uint8_t kAliStart = 0x40, kAliKill = 0x04;    // control 2
}  // namespace

void AliSmbus::Connect(Machine* m, uint16_t at, I2cBus* bus)
{
    machine = m;
    base = at;
    seq.Attach(bus, this);
}

bool AliSmbus::Install(Machine* m, uint16_t at, I2cBus* bus)
{
    Connect(m, at, bus);
    return m->Claim(at, kPortCount, this);
}

uint8_t AliSmbus::In8(uint16_t port)
{
    switch ((uint16_t)(port - base)) {
    case 0: {
        const bool busy = seq.Active() || seq.stuckBusy;
        // Ready: idle with no error pending, or a block byte held for software.
        const bool ready = (!busy && (status & kAliSticky) == 0) || seq.HoldingByte();
        return (uint8_t)(status | (busy ? kAliBusy : 0) | (ready ? kAliReady : 0));
    }
    case 1:
        ++control1Reads;
        return control1;
    case 2: return control2;
    case 3: return command;
    case 4: return address;
    case 5: return data0;
    case 6: return data1;
    case 7: return blockData;
    default: return 0xFF;
    }
}

void AliSmbus::Out8(uint16_t port, uint8_t value)
{
    const Nanos now = machine->Now();
    switch ((uint16_t)(port - base)) {
    case 0:
        status = (uint8_t)(status & ~(value & kAliSticky));
        if ((value & kAliReady) != 0 && seq.HoldingByte())
            seq.Release((control1 & kAliLastByte) != 0, now);
        return;
    case 1: control1 = value; return;
    case 2: {
        control2 = (uint8_t)(value & ~kAliStart);
        const bool readPhase = commandAfterControl && (command & 1) != 0;
        commandAfterControl = false;
        if ((value & kAliKill) != 0) {
            if (seq.Active())
                status |= kAliFailed;
            seq.Kill();
            return;
        }
        if ((value & kAliStart) == 0 || seq.Active())
            return;
        SmbusSequencer::Protocol p;
        if (!ProtocolFromField((uint8_t)((value >> 3) & 7), &p)) {
            status |= kAliFailed;
            return;
        }
        if (p == SmbusSequencer::Protocol::Block) {
            seq.StartBlock(address, blockStart, readPhase ? command : 0, data0, now);
        } else {
            seq.StartSimple(p, address, command, (uint16_t)(data0 | data1 << 8), now);
        }
        return;
    }
    case 3:
        command = value;
        commandAfterControl = true;
        return;
    case 4: address = value; return;
    case 5: data0 = value; return;
    case 6: data1 = value; return;
    case 7:
        blockData = value;
        if (seq.Active())
            seq.PutData(value, now);
        else
            blockStart = value;
        return;
    default: return;
    }
}

void AliSmbus::Finished(bool acknowledged)
{
    if (!acknowledged)
        status |= kAliDeviceError;
    control1 = (uint8_t)(control1 & ~kAliLastByte);
    if (seq.ResultValid()) {
        data0 = (uint8_t)seq.Result();
        if (seq.ResultIsWord())
            data1 = (uint8_t)(seq.Result() >> 8);
    }
}

void AliSmbus::ByteReady(uint8_t value) { blockData = value; }

// ---------------------------------------------------------------------------
// SiS

namespace {
constexpr uint8_t kSisDeviceError = 0x02, kSisDone = 0x08;
constexpr uint8_t kSisHostBusy = 0x01, kSisBusBusy = 0x02;
constexpr uint8_t kSisStart = 0x10, kSisKill = 0x20;
}  // namespace

void SisSmbus::Connect(Machine* m, uint16_t at, I2cBus* bus, Variant v)
{
    machine = m;
    base = at;
    variant = v;
    seq.Attach(bus, this);
}

bool SisSmbus::Install(Machine* m, uint16_t at, I2cBus* bus, Variant v)
{
    Connect(m, at, bus, v);
    return m->Claim(at, kPortCount, this);
}

uint8_t SisSmbus::In8(uint16_t port)
{
    const uint16_t offset = (uint16_t)(port - base);
    if (offset == DataPort())
        return data0;
    if (offset == DataPort() + 1)
        return data1;
    switch (offset) {
    case 0: return status;
    case 2: {
        const bool stuck = seq.stuckBusy;
        return (uint8_t)((seq.Active() || stuck ? kSisHostBusy : 0) |
                         (seq.BusBusy(machine->Now()) || stuck ? kSisBusBusy : 0));
    }
    case 3: return hostControl;
    case 4: return address;
    case 5: return command;
    default: return 0x00;
    }
}

void SisSmbus::Out8(uint16_t port, uint8_t value)
{
    const uint16_t offset = (uint16_t)(port - base);
    if (offset == DataPort()) {
        data0 = value;
        return;
    }
    if (offset == DataPort() + 1) {
        data1 = value;
        return;
    }
    switch (offset) {
    case 0: status = (uint8_t)(status & ~value); return;
    case 3: {
        hostControl = (uint8_t)(value & ~kSisStart);
        if ((value & kSisKill) != 0) {
            seq.Kill();
            return;
        }
        if ((value & kSisStart) == 0 || seq.Active())
            return;
        SmbusSequencer::Protocol p;
        if (!ProtocolFromField((uint8_t)(value & 7), &p) || p == SmbusSequencer::Protocol::Block) {
            status |= kSisDeviceError;  // no block engine in this part
            return;
        }
        seq.StartSimple(p, address, command, (uint16_t)(data0 | data1 << 8), machine->Now());
        return;
    }
    case 4: address = value; return;
    case 5: command = value; return;
    default: return;
    }
}

void SisSmbus::Finished(bool acknowledged)
{
    // A failed transfer reports done together with the device error.
    status |= acknowledged ? kSisDone : (uint8_t)(kSisDone | kSisDeviceError);
    if (seq.ResultValid()) {
        data0 = (uint8_t)seq.Result();
        if (seq.ResultIsWord())
            data1 = (uint8_t)(seq.Result() >> 8);
    }
}

// ---------------------------------------------------------------------------
// NVIDIA

namespace {
constexpr uint8_t kNvDone = 0x80;
constexpr uint8_t kNvRead = 0x01;
constexpr uint8_t kNvProtocolMask = 0x7E;  // without the read bit and the PEC bit
}  // namespace

void NvidiaSmbus::Connect(Machine* m, uint16_t at, I2cBus* bus)
{
    machine = m;
    base = at;
    seq.Attach(bus, this);
}

bool NvidiaSmbus::Install(Machine* m, uint16_t at, I2cBus* bus)
{
    Connect(m, at, bus);
    return m->Claim(at, kPortCount, this);
}

uint8_t NvidiaSmbus::In8(uint16_t port)
{
    switch ((uint16_t)(port - base)) {
    case 0: return protocol;
    case 1: return status;
    case 2: return address;
    case 3: return command;
    case 4: return data0;
    case 5: return data1;
    default: return 0x00;
    }
}

void NvidiaSmbus::Out8(uint16_t port, uint8_t value)
{
    switch ((uint16_t)(port - base)) {
    case 0: {
        if (seq.Active())
            return;
        protocol = value;
        status = 0;
        using P = SmbusSequencer::Protocol;
        P p;
        switch (value & kNvProtocolMask) {
        case 0x00: p = P::Quick; break;
        case 0x04: p = P::Byte; break;
        case 0x06: p = P::ByteData; break;
        case 0x08: p = P::WordData; break;
        default:
            protocol = 0;
            status = (uint8_t)(kNvDone | kCodeUnsupported);
            return;
        }
        const uint8_t addr = (uint8_t)((address & 0xFE) | (value & kNvRead));
        seq.StartSimple(p, addr, command, (uint16_t)(data0 | data1 << 8), machine->Now());
        return;
    }
    case 1: status = (uint8_t)(status & ~value); return;
    case 2: address = value; return;
    case 3: command = value; return;
    case 4: data0 = value; return;
    case 5: data1 = value; return;
    default: return;
    }
}

void NvidiaSmbus::Finished(bool acknowledged)
{
    protocol = 0;
    uint8_t code = acknowledged ? 0 : kCodeNoAck;
    if (forceErrorCode >= 0)
        code = (uint8_t)forceErrorCode;
    status = (uint8_t)(kNvDone | (code & 0x1F));
    if (code == 0 && seq.ResultValid()) {
        data0 = (uint8_t)seq.Result();
        if (seq.ResultIsWord())
            data1 = (uint8_t)(seq.Result() >> 8);
    }
}



// ---------------------------------------------------------------------------
// Intel 0x8119 variant.

namespace {
constexpr uint8_t k8119Done = 0x01;
constexpr uint8_t k8119DeviceError = 0x04;
constexpr uint8_t k8119Busy = 0x08;
constexpr uint8_t k8119Start = 0x10;
constexpr uint8_t k8119ByteData = 0x02;
constexpr uint8_t k8119WordData = 0x03;
constexpr uint8_t k8119Block = 0x05;
constexpr uint16_t k8119Window = 0x20;
}  // namespace

void Intel8119Smbus::Connect(Machine* m, uint16_t at, I2cBus* bus)
{
    machine = m;
    base = at;
    seq.Attach(bus, this);
}

uint8_t Intel8119Smbus::In8(uint16_t port)
{
    const uint16_t offset = (uint16_t)(port - base);
    if (offset >= k8119Window && offset < k8119Window + kWindowSize)
        return window[offset - k8119Window];
    switch (offset) {
    case 0: return control;
    case 1: return (uint8_t)(status | (seq.Active() || seq.stuckBusy ? k8119Busy : 0));
    case 4: return address;
    case 5: return command;
    case 6: return data0;
    case 7: return data1;
    default: return 0xFF;
    }
}

void Intel8119Smbus::Out8(uint16_t port, uint8_t value)
{
    const Nanos now = machine->Now();
    const uint16_t offset = (uint16_t)(port - base);
    if (offset >= k8119Window && offset < k8119Window + kWindowSize) {
        const int index = offset - k8119Window;
        window[index] = value;
        if (index + 1 > windowWritten)
            windowWritten = index + 1;
        // The controller sends the window in order, as its bytes arrive.
        if (awaiting && index == sendPos && seq.Active()) {
            awaiting = false;
            seq.PutData(window[sendPos++], now);
        }
        return;
    }
    switch (offset) {
    case 0: {
        control = (uint8_t)(value & ~k8119Start);
        if ((value & k8119Start) == 0) {
            // Writing the block protocol without the start aborts a block.
            if (value == k8119Block && seq.Active())
                seq.Kill();
            return;
        }
        if (seq.Active())
            return;
        const uint8_t kind = (uint8_t)(value & 0x0F);
        windowPos = 0;
        windowWritten = 0;
        sendPos = 0;
        awaiting = true;
        if (kind == k8119ByteData)
            seq.StartSimple(SmbusSequencer::Protocol::ByteData, address, command, data0, now);
        else if (kind == k8119WordData)
            seq.StartSimple(SmbusSequencer::Protocol::WordData, address, command,
                            (uint16_t)(data0 | data1 << 8), now);
        else if (kind == k8119Block)
            // The count register holds one more than the bytes a read moves.
            seq.StartBlock(address, command, (address & 1) ? address : 0,
                           (uint8_t)((address & 1) && data0 > 1 ? data0 - 1 : data0), now);
        return;
    }
    case 1: status = (uint8_t)(status & ~value); return;
    case 4: address = value; return;
    case 5: command = value; return;
    case 6: data0 = value; return;
    case 7: data1 = value; return;
    default: return;
    }
}

void Intel8119Smbus::Finished(bool acknowledged)
{
    status |= acknowledged ? k8119Done : k8119DeviceError;
    if (seq.ResultValid()) {
        data0 = (uint8_t)seq.Result();
        if (seq.ResultIsWord())
            data1 = (uint8_t)(seq.Result() >> 8);
    }
}

void Intel8119Smbus::ByteReady(uint8_t value)
{
    // The controller buffers a block read in its window.
    if (windowPos < kWindowSize)
        window[windowPos++] = value;
    seq.Release(false, machine->Now());
}

void Intel8119Smbus::ByteSent()
{
    status |= k8119Done;
    if (sendPos < windowWritten)
        seq.PutData(window[sendPos++], machine->Now());
    else
        awaiting = true;
    seq.Release(false, machine->Now());
}

}  // namespace sim
