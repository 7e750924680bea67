#include "display_gpio.h"

namespace sim {

bool DisplayGpio::Connect(Machine& machine, uint16_t base, uint32_t gpioRegister, I2cWire* wire)
{
    this->base = base;
    this->gpioRegister = gpioRegister;
    this->wire = wire;
    Update();
    return machine.Claim(base, kPortCount, this);
}

void DisplayGpio::Update()
{
    if (wire == nullptr)
        return;
    const uint32_t v = Register(gpioRegister);
    // A pin whose output is disabled is released to its pull-up.
    const bool sda = (v & kSdaEnable) == 0 || (v & kSdaLevel) != 0;
    const bool scl = (v & kSclEnable) == 0 || (v & kSclLevel) != 0;
    wire->Drive(sda, scl);
}

uint32_t DisplayGpio::ReadData()
{
    const int slot = Slot(index);
    ++dataReads[slot];
    uint32_t v = registers[slot];
    if (slot == Slot(gpioRegister)) {
        v &= ~kSdaIn;
        if (wire == nullptr || wire->Sda())
            v |= kSdaIn;
    }
    return v;
}

void DisplayGpio::WriteData(uint32_t value)
{
    const int slot = Slot(index);
    ++dataWrites[slot];
    if (slot == Slot(gpioRegister)) {
        registers[slot] = value & ~kSdaIn;  // the read-back bit follows the pin
        Update();
    } else {
        registers[slot] = value;
    }
}

uint32_t DisplayGpio::In32(uint16_t port)
{
    return (uint16_t)(port - base) == kDataOffset ? ReadData() : index;
}

void DisplayGpio::Out32(uint16_t port, uint32_t value)
{
    if ((uint16_t)(port - base) == kDataOffset)
        WriteData(value);
    else
        index = value;
}

uint8_t DisplayGpio::In8(uint16_t port)
{
    const uint16_t offset = (uint16_t)(port - base);
    const int shift = 8 * (offset & 3);
    const uint32_t v = offset >= kDataOffset ? ReadData() : index;
    return (uint8_t)(v >> shift);
}

void DisplayGpio::Out8(uint16_t port, uint8_t value)
{
    const uint16_t offset = (uint16_t)(port - base);
    const int shift = 8 * (offset & 3);
    const uint32_t mask = 0xFFu << shift;
    if (offset >= kDataOffset) {
        const uint32_t old = registers[Slot(index)];
        WriteData((old & ~mask) | (uint32_t)value << shift);
    } else {
        index = (index & ~mask) | (uint32_t)value << shift;
    }
}

}  // namespace sim
