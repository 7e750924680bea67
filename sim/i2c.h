// The I2C/SMBus segment of the simulated PC: targets driven byte by byte,
// shared by the SMBus host-controller models and by the wire decoder of the
// bit-banged adapters.
#ifndef SIM_I2C_H
#define SIM_I2C_H

#include <stdint.h>

namespace sim {

// One target. A transaction is Start, then Write or Read bytes, then Stop; a
// repeated start is another Start without a Stop between.
class I2cTarget {
public:
    // The master sent a start and this 8-bit address (bit 0 set = read).
    // Returns whether the target acknowledges.
    virtual bool Start(uint8_t address8) { (void)address8; return true; }
    // A byte from the master; returns whether the target acknowledges.
    virtual bool Write(uint8_t value) { (void)value; return true; }
    // The master clocks a byte in; masterAck tells whether it will acknowledge it.
    virtual uint8_t Read(bool masterAck) { (void)masterAck; return 0xFF; }
    virtual void Stop() {}

    uint8_t address8 = 0;  // the target's address, bit 0 clear

protected:
    constexpr I2cTarget() = default;
    ~I2cTarget() = default;
};

// The targets of one segment, with SMBus protocol helpers on top of the
// byte-level calls. Every helper ends with a stop and reports whether every
// byte the master sent was acknowledged.
class I2cBus {
public:
    static constexpr int kMaxTargets = 8;

    bool Attach(I2cTarget* target);
    void Detach(I2cTarget* target);
    I2cTarget* Find(uint8_t address8);

    // Byte-level access: Start selects the target by address; the others go
    // to the selected target (none selected: writes are not acknowledged,
    // reads float high).
    bool Start(uint8_t address8);
    bool Write(uint8_t value);
    uint8_t Read(bool masterAck);
    void Stop();

    bool QuickCommand(uint8_t address8);
    bool SendByte(uint8_t address8, uint8_t value);
    bool ReceiveByte(uint8_t address8, uint8_t* value);
    bool WriteByteData(uint8_t address8, uint8_t command, uint8_t value);
    bool ReadByteData(uint8_t address8, uint8_t command, uint8_t* value);
    bool WriteWordData(uint8_t address8, uint8_t command, uint16_t value);
    bool ReadWordData(uint8_t address8, uint8_t command, uint16_t* value);
    // I2C-style block of a fixed length: command, then count data bytes.
    bool WriteI2cBlock(uint8_t address8, uint8_t command, const uint8_t* data, int count);
    bool ReadI2cBlock(uint8_t address8, uint8_t command, uint8_t* data, int count);
    // SMBus block: the count byte goes on the wire before the data.
    bool WriteSmbusBlock(uint8_t address8, uint8_t command, const uint8_t* data, int count);
    bool ReadSmbusBlock(uint8_t address8, uint8_t command, uint8_t* data, int capacity, int* count);

    uint32_t transactions = 0;  // starts that were not repeated starts

private:
    I2cTarget* targets[kMaxTargets] = {};
    I2cTarget* selected = nullptr;
    bool open = false;
};

// A plain target with 256 byte registers and an auto-incrementing register
// pointer, as a serial EEPROM or a simple sensor has.
class RegisterTarget : public I2cTarget {
public:
    bool Start(uint8_t address) override;
    bool Write(uint8_t value) override;
    uint8_t Read(bool masterAck) override;
    void Stop() override;

    uint8_t registers[256] = {};
    uint8_t pointer = 0;
    bool present = true;     // an absent target acknowledges nothing
    uint32_t writes = 0;     // data bytes written into registers

private:
    bool expectPointer = false;
};

}  // namespace sim

#endif
