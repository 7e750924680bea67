// The index/data window of a display controller's I/O space with its
// general-purpose pins: writing a register number to the 32-bit index port
// (base + 0) selects one of the controller's 32-bit registers, which the data
// port (base + 4) then reads and writes. One register carries an I2C pin
// pair: SDA and SCL levels in bits 0 and 1, their output enables in bits 16
// and 17, the SDA level read back in bit 8. The pins feed an I2cWire.
#ifndef SIM_DISPLAY_GPIO_H
#define SIM_DISPLAY_GPIO_H

#include <stdint.h>

#include "i2c_wire.h"
#include "machine.h"

namespace sim {

class DisplayGpio : public PortDevice {
public:
    static constexpr uint16_t kPortCount = 8;   // index dword, data dword
    static constexpr uint16_t kIndexOffset = 0;
    static constexpr uint16_t kDataOffset = 4;
    static constexpr int kRegisterCount = 64;   // registers 0x00 to 0xFC
    static constexpr uint32_t kSdaLevel = 1u << 0;
    static constexpr uint32_t kSclLevel = 1u << 1;
    static constexpr uint32_t kSdaIn = 1u << 8;
    static constexpr uint32_t kSdaEnable = 1u << 16;
    static constexpr uint32_t kSclEnable = 1u << 17;

    // Claims the window at base, wires register gpioRegister to the pins and
    // puts their current levels on the wire.
    bool Connect(Machine& machine, uint16_t base, uint32_t gpioRegister, I2cWire* wire);

    uint8_t In8(uint16_t port) override;
    void Out8(uint16_t port, uint8_t value) override;
    uint32_t In32(uint16_t port) override;
    void Out32(uint16_t port, uint32_t value) override;

    uint32_t& Register(uint32_t number) { return registers[Slot(number)]; }
    uint32_t index = 0;
    uint32_t registers[kRegisterCount] = {};
    uint32_t dataReads[kRegisterCount] = {};   // data-port accesses per register
    uint32_t dataWrites[kRegisterCount] = {};

private:
    static int Slot(uint32_t number) { return (int)((number >> 2) % kRegisterCount); }
    uint32_t ReadData();
    void WriteData(uint32_t value);
    void Update();

    uint16_t base = 0;
    uint32_t gpioRegister = 0;
    I2cWire* wire = nullptr;
};

}  // namespace sim

#endif
