// An I2C wire pair as a bit-banged adapter drives it: the master's levels on
// SDA and SCL, wired-AND with what the target drives (open drain, pull-ups
// high). The decoder follows the lines edge by edge, recognises start,
// repeated start and stop, the eight data clocks and the acknowledge clock of
// each byte, hands the bytes to the targets of an I2cBus, and drives SDA for
// the target's acknowledges and read bits. Every transaction is logged, and
// what a receiver could not make sense of is recorded as a decoding error.
#ifndef SIM_I2C_WIRE_H
#define SIM_I2C_WIRE_H

#include <stdint.h>

#include "i2c.h"

namespace sim {

enum class WireEnd : uint8_t {
    Open,           // still running
    Stop,           // ended by a stop condition
    RepeatedStart,  // ended by the start condition of the next transaction
};

enum class WireError : uint8_t {
    None,
    ByteCutShort,     // a start or stop after 2 to 8 clocks of a byte, or before its acknowledge clock
    DataWhileClockHigh,  // SDA changed while SCL was high in a bit a target was sending
    BothLinesChanged,    // SDA and SCL changed in the same step: no receiver can order them
};

struct WireTransaction {
    static constexpr int kMaxBytes = 16;

    uint8_t bytes[kMaxBytes];  // the address byte first, then the data as it was on the wire
    bool acked[kMaxBytes];     // SDA low in the ninth clock (the target's answer to a master
                               // byte, the master's answer to a read byte)
    uint8_t count;             // complete bytes (nine clocks each); only kMaxBytes are kept
    // Clocks after the last complete byte that formed no byte: the one clock
    // that sets up a stop or a repeated start, and any clocks after the
    // master's not-acknowledge.
    uint16_t trailingClocks;
    WireEnd end;

    bool IsRead() const { return count > 0 && (bytes[0] & 1) != 0; }
};

class I2cWire {
public:
    static constexpr int kMaxTransactions = 64;
    static constexpr int kMaxErrors = 16;

    // The targets that answer on this wire; nothing connected: no acknowledge,
    // read bits float high.
    void Connect(I2cBus* bus) { this->bus = bus; }

    // The master's contribution, true = released or driven high. Called by
    // the adapter model after every register write that may move a line.
    void Drive(bool sda, bool scl);

    bool Sda() const { return masterSda && targetSda; }
    bool Scl() const { return masterScl; }
    bool MasterSda() const { return masterSda; }

    // Transactions in the order they began; the log keeps the first
    // kMaxTransactions and counts the rest.
    int TransactionCount() const { return transactionCount; }
    int LoggedCount() const { return transactionCount < kMaxTransactions ? transactionCount : kMaxTransactions; }
    const WireTransaction& Transaction(int i) const { return log[i]; }
    // Clocks of the unfinished byte of the open transaction.
    int PendingClocks() const { return open ? bits : 0; }

    int ErrorCount() const { return errorCount; }
    WireError Error(int i) const { return errors[i].kind; }
    int ErrorTransaction(int i) const { return errors[i].transaction; }

    uint32_t idleClocks = 0;  // clocks with no transaction open

    // Forgets the log and the errors; the line state and any open transaction stay.
    void ClearLog();

private:
    void SclRose();
    void SclFell();
    void SdaChangedWhileClockHigh(bool rose);
    void BeginTransaction();
    void EndTransaction(WireEnd how);
    void RecordByte(uint8_t value, bool ack);
    void RecordError(WireError kind);
    WireTransaction& Current();
    bool ReadingData() const { return reading && !addressByte; }

    I2cBus* bus = nullptr;
    bool masterSda = true, masterScl = true;
    bool targetSda = true;

    bool open = false;         // a start was seen and no stop yet
    bool addressByte = false;  // the byte being clocked is the address
    bool reading = false;      // the address asked for a read
    bool selected = false;     // a target acknowledged the address
    bool ignoring = false;     // the master refused a read byte; clocks mean nothing until start or stop
    int bits = 0;              // clocks of the current byte: 8 data, then the acknowledge (9)
    uint8_t shift = 0;
    uint8_t sending = 0;       // the byte the target is sending
    bool lastAck = false;

    WireTransaction log[kMaxTransactions] = {};
    WireTransaction overflow = {};
    int transactionCount = 0;
    struct ErrorEntry {
        WireError kind;
        int transaction;
    };
    ErrorEntry errors[kMaxErrors] = {};
    int errorCount = 0;
};

}  // namespace sim

#endif
