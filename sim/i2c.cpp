#include "i2c.h"

namespace sim {

bool I2cBus::Attach(I2cTarget* target)
{
    for (I2cTarget*& slot : targets)
        if (slot == nullptr) {
            slot = target;
            return true;
        }
    return false;
}

void I2cBus::Detach(I2cTarget* target)
{
    for (I2cTarget*& slot : targets)
        if (slot == target)
            slot = nullptr;
    if (selected == target)
        selected = nullptr;
}

I2cTarget* I2cBus::Find(uint8_t address8)
{
    for (I2cTarget* t : targets)
        if (t != nullptr && t->address8 == (address8 & 0xFE))
            return t;
    return nullptr;
}

bool I2cBus::Start(uint8_t address8)
{
    if (!open)
        ++transactions;
    open = true;
    selected = Find(address8);
    if (selected == nullptr)
        return false;
    if (!selected->Start(address8)) {
        selected = nullptr;
        return false;
    }
    return true;
}

bool I2cBus::Write(uint8_t value) { return selected != nullptr && selected->Write(value); }

uint8_t I2cBus::Read(bool masterAck) { return selected != nullptr ? selected->Read(masterAck) : 0xFF; }

void I2cBus::Stop()
{
    if (selected != nullptr)
        selected->Stop();
    selected = nullptr;
    open = false;
}

bool I2cBus::QuickCommand(uint8_t address8)
{
    const bool ok = Start(address8);
    Stop();
    return ok;
}

bool I2cBus::SendByte(uint8_t address8, uint8_t value)
{
    bool ok = Start(address8 & 0xFE) && Write(value);
    Stop();
    return ok;
}

bool I2cBus::ReceiveByte(uint8_t address8, uint8_t* value)
{
    const bool ok = Start(address8 | 1);
    *value = ok ? Read(false) : 0xFF;
    Stop();
    return ok;
}

bool I2cBus::WriteByteData(uint8_t address8, uint8_t command, uint8_t value)
{
    const bool ok = Start(address8 & 0xFE) && Write(command) && Write(value);
    Stop();
    return ok;
}

bool I2cBus::ReadByteData(uint8_t address8, uint8_t command, uint8_t* value)
{
    const bool ok = Start(address8 & 0xFE) && Write(command) && Start(address8 | 1);
    *value = ok ? Read(false) : 0xFF;
    Stop();
    return ok;
}

bool I2cBus::WriteWordData(uint8_t address8, uint8_t command, uint16_t value)
{
    const bool ok = Start(address8 & 0xFE) && Write(command) && Write((uint8_t)value) &&
                    Write((uint8_t)(value >> 8));
    Stop();
    return ok;
}

bool I2cBus::ReadWordData(uint8_t address8, uint8_t command, uint16_t* value)
{
    const bool ok = Start(address8 & 0xFE) && Write(command) && Start(address8 | 1);
    if (ok) {
        const uint8_t low = Read(true);
        const uint8_t high = Read(false);
        *value = (uint16_t)(low | high << 8);
    } else {
        *value = 0xFFFF;
    }
    Stop();
    return ok;
}

bool I2cBus::WriteI2cBlock(uint8_t address8, uint8_t command, const uint8_t* data, int count)
{
    bool ok = Start(address8 & 0xFE) && Write(command);
    for (int i = 0; ok && i < count; ++i)
        ok = Write(data[i]);
    Stop();
    return ok;
}

bool I2cBus::ReadI2cBlock(uint8_t address8, uint8_t command, uint8_t* data, int count)
{
    const bool ok = Start(address8 & 0xFE) && Write(command) && Start(address8 | 1);
    for (int i = 0; i < count; ++i)
        data[i] = ok ? Read(i + 1 < count) : 0xFF;
    Stop();
    return ok;
}

bool I2cBus::WriteSmbusBlock(uint8_t address8, uint8_t command, const uint8_t* data, int count)
{
    bool ok = Start(address8 & 0xFE) && Write(command) && Write((uint8_t)count);
    for (int i = 0; ok && i < count; ++i)
        ok = Write(data[i]);
    Stop();
    return ok;
}

bool I2cBus::ReadSmbusBlock(uint8_t address8, uint8_t command, uint8_t* data, int capacity, int* count)
{
    *count = 0;
    bool ok = Start(address8 & 0xFE) && Write(command) && Start(address8 | 1);
    if (ok) {
        int n = Read(true);
        if (n > capacity)
            n = capacity;
        for (int i = 0; i < n; ++i)
            data[i] = Read(i + 1 < n);
        *count = n;
    }
    Stop();
    return ok;
}

bool RegisterTarget::Start(uint8_t address)
{
    if (!present)
        return false;
    // A write transaction begins with the register pointer.
    expectPointer = (address & 1) == 0;
    return true;
}

bool RegisterTarget::Write(uint8_t value)
{
    if (!present)
        return false;
    if (expectPointer) {
        pointer = value;
        expectPointer = false;
    } else {
        registers[pointer++] = value;
        ++writes;
    }
    return true;
}

uint8_t RegisterTarget::Read(bool masterAck)
{
    (void)masterAck;
    if (!present)
        return 0xFF;
    return registers[pointer++];
}

void RegisterTarget::Stop() { expectPointer = false; }

}  // namespace sim
