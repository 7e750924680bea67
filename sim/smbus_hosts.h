// SMBus host controllers of the AMD/VIA, ALi, SiS and NVIDIA chipsets, seen
// from the hardware's side. Each is a port device at a base that runs the
// transactions its registers start on an I2cBus, taking the time the bits
// need at 100 kHz on the virtual clock, and reports busy, done and error bits
// as that part does.
//
// Faults for tests: stuckBusy makes the controller report busy for ever and
// never finish; nackAfter lets that many transactions through and then makes
// every later one go unacknowledged, as a target that vanished.
#ifndef SIM_SMBUS_HOSTS_H
#define SIM_SMBUS_HOSTS_H

#include <stdint.h>

#include "i2c.h"
#include "machine.h"

namespace sim {

constexpr Nanos kSmbusBitTime = 10000;   // 100 kHz
constexpr Nanos kSmbusBusFree = 4700;    // bus free time after a stop

// The bus side shared by the models: runs one transaction over time and tells
// the controller when it has finished, or, in a block, when a byte is waiting
// for the host.
class SmbusSequencer {
public:
    enum class Protocol : uint8_t { Quick, Byte, ByteData, WordData, Block };

    struct Events {
        virtual void Finished(bool acknowledged) { (void)acknowledged; }
        virtual void ByteReady(uint8_t value) { (void)value; }  // block read: a byte was clocked in
        virtual void ByteSent() {}                               // block write: a byte went out
    protected:
        ~Events() = default;
    };

    void Attach(I2cBus* b, Events* e) { bus = b; events = e; }

    // address8 carries the direction in bit 0.
    void StartSimple(Protocol protocol, uint8_t address8, uint8_t command, uint16_t data, Nanos now);
    // readAddress8 = 0 makes a block write; count 0 means no limit on a read
    // and no data on a write.
    void StartBlock(uint8_t writeAddress8, uint8_t command, uint8_t readAddress8, uint8_t count, Nanos now);
    // Block: the host has taken the byte (read) or acknowledged it (write);
    // last ends a read after this byte.
    void Release(bool last, Nanos now);
    // Block write: the host put the next byte into the data register.
    void PutData(uint8_t value, Nanos now);
    void Kill();
    void Tick(Nanos now);

    bool Active() const { return phase != Phase::Idle; }
    // Block: a byte waits for the host to take it (read) or to see it sent (write).
    bool HoldingByte() const { return phase == Phase::ByteHeld; }
    // The bus is still in use (a stop and the bus free time) shortly after a transaction.
    bool BusBusy(Nanos now) const { return Active() || now < busFreeAt; }
    // The data of the last finished read, when it was acknowledged.
    bool ResultValid() const { return resultValid; }
    bool ResultIsWord() const { return resultIsWord; }
    uint16_t Result() const { return result; }

    bool stuckBusy = false;
    int nackAfter = -1;           // < 0: never
    uint32_t transactions = 0;    // transactions this controller started

private:
    enum class Phase : uint8_t { Idle, Simple, BlockHeader, Shifting, ByteHeld, NeedData, Stopping, Hung };

    bool Gone() const { return nackAfter >= 0 && (int)transactions > nackAfter; }
    void Begin(Nanos now);
    void Finish(bool ok, Nanos at);
    void RunSimple();
    void Step();

    I2cBus* bus = nullptr;
    Events* events = nullptr;
    Phase phase = Phase::Idle;
    Nanos due = 0;
    Nanos busFreeAt = 0;
    Protocol protocol = Protocol::Quick;
    uint8_t address = 0, command = 0, readAddress = 0, count = 0;
    uint16_t data = 0, result = 0;
    int moved = 0;                // block bytes moved so far
    bool lastMarked = false;
    bool haveData = false;
    uint8_t pending = 0;
    bool resultValid = false;
    bool resultIsWord = false;
};

// AMD and VIA south bridges: status +0 (busy 0x01, done 0x02, device error
// 0x04, bus error 0x08, failed 0x10, byte done 0x80; write 1 to clear),
// control +2 (start 0x40, protocol in bits 2 to 4, last byte 0x20, kill
// 0x02), command +3, address +4 (bit 0 = read), data +5 (block count) and +6,
// block data +7.
class AmdViaSmbus : public PortDevice, SmbusSequencer::Events {
public:
    static constexpr uint16_t kPortCount = 16;
    // Connect wires the model to its base and bus; Install also claims its
    // ports (a board's AttachHost claims them otherwise).
    void Connect(Machine* machine, uint16_t base, I2cBus* bus);
    bool Install(Machine* machine, uint16_t base, I2cBus* bus);

    uint8_t In8(uint16_t port) override;
    void Out8(uint16_t port, uint8_t value) override;
    void Tick(Nanos now) override { seq.Tick(now); }

    SmbusSequencer seq;
    uint8_t status = 0, control = 0, command = 0, address = 0, data0 = 0, data1 = 0, blockData = 0;

private:
    void Finished(bool acknowledged) override;
    void ByteReady(uint8_t value) override;
    void ByteSent() override;

    Machine* machine = nullptr;
    uint16_t base = 0;
};

// Intel ICH-style SMBus host controller: the same register set as the AMD and
// VIA bridges above (status +0, control +2 with start 0x40 and the protocol
// read back without it, command +3, address +4, data +5 and +6, block data +7
// with byte done 0x80 and last byte 0x20).
class IntelSmbus : public AmdViaSmbus {};

// The Intel south bridge with device id 0x8119: control +0 (0x08 prepare,
// 0x05 block protocol or abort, 0x12 byte data, 0x13 word data, 0x15 block;
// the start bit 0x10 reads back cleared once the controller has taken the
// start), status +1 (done 0x01, device error 0x04, busy 0x08; write 1 to
// clear), set-up +2 and +3, address +4 (bit 0 = read), command +5, data +6
// (block count) and +7, a 32-byte block window at +0x20. A block read fills
// the window and reports done once; a block write sends each byte written to
// the window and reports done when it has gone out.
class Intel8119Smbus : public PortDevice, SmbusSequencer::Events {
public:
    static constexpr uint16_t kPortCount = 0x40;
    static constexpr int kWindowSize = 32;
    void Connect(Machine* machine, uint16_t base, I2cBus* bus);

    uint8_t In8(uint16_t port) override;
    void Out8(uint16_t port, uint8_t value) override;
    void Tick(Nanos now) override { seq.Tick(now); }

    SmbusSequencer seq;
    uint8_t status = 0, control = 0, command = 0, address = 0, data0 = 0, data1 = 0;
    uint8_t window[kWindowSize] = {};

private:
    void Finished(bool acknowledged) override;
    void ByteReady(uint8_t value) override;
    void ByteSent() override;

    Machine* machine = nullptr;
    uint16_t base = 0;
    int windowPos = 0;      // block read: bytes stored into the window
    int windowWritten = 0;  // block write: bytes software put into the window
    int sendPos = 0;        // block write: bytes handed to the bus
    bool awaiting = false;  // block write: the bus waits for the next window byte
};

// ALi south bridge: status +0 (busy 0x01, device error 0x04, bus error 0x08,
// failed 0x10; write 1 to clear; 0x80 while the host is idle with no error
// pending or holds a block byte for software, and writing it releases that
// byte), control 1 +1 (last
// byte 0x40), control 2 +2 (start 0x40, protocol in bits 3 to 5, kill 0x04),
// command +3, address +4, data +5 (block count) and +6, block data +7. A
// block takes its first register from the first byte written to +7 while the
// host is idle, and is a read when +3, written after the last write of
// control 2, holds the address of the read phase (bit 0 set).
class AliSmbus : public PortDevice, SmbusSequencer::Events {
public:
    static constexpr uint16_t kPortCount = 16;
    // Connect wires the model to its base and bus; Install also claims its
    // ports (a board's AttachHost claims them otherwise).
    void Connect(Machine* machine, uint16_t base, I2cBus* bus);
    bool Install(Machine* machine, uint16_t base, I2cBus* bus);

    uint8_t In8(uint16_t port) override;
    void Out8(uint16_t port, uint8_t value) override;
    void Tick(Nanos now) override { seq.Tick(now); }

    SmbusSequencer seq;
    uint8_t status = 0, control1 = 0, control2 = 0, command = 0, address = 0, data0 = 0, data1 = 0;
    uint8_t blockData = 0, blockStart = 0;
    uint32_t control1Reads = 0;

private:
    bool commandAfterControl = false;
    void Finished(bool acknowledged) override;
    void ByteReady(uint8_t value) override;
    void ByteSent() override {}

    Machine* machine = nullptr;
    uint16_t base = 0;
};

// SiS south bridges: status +0 (device error 0x02, collision 0x04, done
// 0x08; write 1 to clear), busy flags +2 (host busy 0x01, bus busy 0x02 until
// the bus is free after the stop), host control +3 (start 0x10, kill 0x20,
// protocol in bits 0 to 2), address +4, command +5, data +8/+9 or, on the
// 0x0968 bridges, +0x10/+0x11. No block transfers.
class SisSmbus : public PortDevice, SmbusSequencer::Events {
public:
    static constexpr uint16_t kPortCount = 32;
    enum class Variant : uint8_t { DataAt8, DataAt10 };
    void Connect(Machine* machine, uint16_t base, I2cBus* bus, Variant variant);
    bool Install(Machine* machine, uint16_t base, I2cBus* bus, Variant variant);

    uint8_t In8(uint16_t port) override;
    void Out8(uint16_t port, uint8_t value) override;
    void Tick(Nanos now) override { seq.Tick(now); }

    SmbusSequencer seq;
    uint8_t status = 0, hostControl = 0, address = 0, command = 0, data0 = 0, data1 = 0;

private:
    void Finished(bool acknowledged) override;
    uint16_t DataPort() const { return variant == Variant::DataAt10 ? 0x10 : 0x08; }

    Machine* machine = nullptr;
    uint16_t base = 0;
    Variant variant = Variant::DataAt8;
};

// One channel of an NVIDIA SMBus controller (a board has two, each at its own
// base on its own bus): protocol +0 (bit 0 = read; 0x06 byte data, 0x08 word
// data; a write starts the transfer and clears the status; reads 0 once
// done), status +1 (done 0x80, result code in bits 0 to 4: 0x10 no
// acknowledge, 0x19 protocol not supported; write 1 to clear), address +2
// (8-bit form), command +3, data +4 and +5.
class NvidiaSmbus : public PortDevice, SmbusSequencer::Events {
public:
    static constexpr uint16_t kPortCount = 16;
    static constexpr uint8_t kCodeNoAck = 0x10;
    static constexpr uint8_t kCodeUnsupported = 0x19;
    // Connect wires the model to its base and bus; Install also claims its
    // ports (a board's AttachHost claims them otherwise).
    void Connect(Machine* machine, uint16_t base, I2cBus* bus);
    bool Install(Machine* machine, uint16_t base, I2cBus* bus);

    uint8_t In8(uint16_t port) override;
    void Out8(uint16_t port, uint8_t value) override;
    void Tick(Nanos now) override { seq.Tick(now); }

    SmbusSequencer seq;
    uint8_t protocol = 0, status = 0, address = 0, command = 0, data0 = 0, data1 = 0;
    int forceErrorCode = -1;  // >= 0: every transfer finishes with this result code

private:
    void Finished(bool acknowledged) override;

    Machine* machine = nullptr;
    uint16_t base = 0;
};

}  // namespace sim

#endif
