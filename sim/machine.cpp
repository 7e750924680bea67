#include "machine.h"

#include "orvane_core.h"

namespace sim {

uint32_t PortDevice::In32(uint16_t port)
{
    return (uint32_t)In8(port) | (uint32_t)In8((uint16_t)(port + 1)) << 8 |
           (uint32_t)In8((uint16_t)(port + 2)) << 16 | (uint32_t)In8((uint16_t)(port + 3)) << 24;
}

void PortDevice::Out32(uint16_t port, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        Out8((uint16_t)(port + i), (uint8_t)(value >> (8 * i)));
}

void PciFunction::Set16(unsigned offset, uint16_t value)
{
    config[offset & 0xFF] = (uint8_t)value;
    config[(offset + 1) & 0xFF] = (uint8_t)(value >> 8);
}

void PciFunction::Set32(unsigned offset, uint32_t value)
{
    for (unsigned i = 0; i < 4; ++i)
        config[(offset + i) & 0xFF] = (uint8_t)(value >> (8 * i));
}

uint32_t PciFunction::Get32(unsigned offset) const
{
    uint32_t v = 0;
    for (unsigned i = 0; i < 4; ++i)
        v |= (uint32_t)config[(offset + i) & 0xFF] << (8 * i);
    return v;
}

void PciFunction::Writable32(unsigned offset, uint32_t mask)
{
    for (unsigned i = 0; i < 4; ++i)
        writeMask[(offset + i) & 0xFF] = (uint8_t)(mask >> (8 * i));
}

PciFunction* Machine::AddPciFunction(uint8_t bus, uint8_t device, uint8_t function,
                                     uint16_t vendorId, uint16_t deviceId,
                                     uint8_t classCode, uint8_t subclass)
{
    if (pciCount == kMaxPciFunctions)
        return nullptr;
    PciFunction& f = pci[pciCount++];
    busesWithFunctions[bus / 32] |= 1u << (bus % 32);
    f.bus = bus;
    f.device = (uint8_t)(device & 0x1F);
    f.function = (uint8_t)(function & 7);
    f.present = true;
    f.Set16(0x00, vendorId);
    f.Set16(0x02, deviceId);
    f.config[0x0A] = subclass;
    f.config[0x0B] = classCode;
    return &f;
}

PciFunction* Machine::FindPci(uint8_t bus, uint8_t device, uint8_t function)
{
    if ((busesWithFunctions[bus / 32] >> (bus % 32) & 1) == 0)
        return nullptr;
    for (int i = 0; i < pciCount; ++i)
        if (pci[i].present && pci[i].bus == bus && pci[i].device == device &&
            pci[i].function == function)
            return &pci[i];
    return nullptr;
}

ULONG Machine::PciRead(ULONG bus, ULONG slot, void* buffer, ULONG offset, ULONG length)
{
    ++pciReadCount;
    BreakSpin();
    uint8_t* out = static_cast<uint8_t*>(buffer);
    PciFunction* f = bus < 256 ? FindPci((uint8_t)bus, (uint8_t)(slot & 0x1F), (uint8_t)((slot >> 5) & 7))
                               : nullptr;
    Record(AccessKind::PciRead, (uint16_t)offset, 0, (uint16_t)(bus << 8 | (slot & 0xFF)), (uint8_t)length);
    if (f == nullptr) {
        // An empty slot answers with all ones.
        for (ULONG i = 0; i < length; ++i)
            out[i] = 0xFF;
        return 2;  // the HAL reports 2 bytes for a slot with no device
    }
    ++f->readCount;
    ULONG n = 0;
    for (; n < length && offset + n < 256; ++n)
        out[n] = f->config[offset + n];
    return n;
}

ULONG Machine::PciWrite(ULONG bus, ULONG slot, const void* buffer, ULONG offset, ULONG length)
{
    ++pciWriteCount;
    BreakSpin();
    const uint8_t* in = static_cast<const uint8_t*>(buffer);
    uint32_t value = 0;
    for (ULONG i = 0; i < length && i < 4; ++i)
        value |= (uint32_t)in[i] << (8 * i);
    Record(AccessKind::PciWrite, (uint16_t)offset, value, (uint16_t)(bus << 8 | (slot & 0xFF)), (uint8_t)length);
    PciFunction* f = bus < 256 ? FindPci((uint8_t)bus, (uint8_t)(slot & 0x1F), (uint8_t)((slot >> 5) & 7))
                               : nullptr;
    if (f == nullptr)
        return 0;
    ULONG n = 0;
    for (; n < length && offset + n < 256; ++n) {
        const uint8_t mask = f->writeMask[offset + n];
        f->config[offset + n] = (uint8_t)((f->config[offset + n] & ~mask) | (in[n] & mask));
    }
    return n;
}

bool Machine::Claim(uint16_t first, uint16_t count, PortDevice* device)
{
    if (claimCount == kMaxClaims)
        return false;
    claims[claimCount++] = {first, count, device};
    return true;
}

PortDevice* Machine::Owner(uint16_t port)
{
    // Later claims win, so a board can lay a device over part of another.
    for (int i = claimCount - 1; i >= 0; --i)
        if (port >= claims[i].first && port - claims[i].first < claims[i].count)
            return claims[i].device;
    return nullptr;
}

void Machine::Append(AccessKind kind, uint16_t port, uint32_t value, uint16_t slot, uint8_t length)
{
    if (logCount == kLogCapacity) {
        logOverflow = true;
        return;
    }
    log[logCount++] = {kind, port, value, slot, length};
}

Nanos Machine::ReadCost(uint16_t port)
{
    const bool spinning = spinCap != 0 && timerExt != nullptr && spinRepeated && port == spinPort;
    if (!spinning)
        spinStep = kPortAccessCost;
    else if (spinStep < spinCap)
        spinStep = spinStep * 2 < spinCap ? spinStep * 2 : spinCap;
    return spinStep;
}

void Machine::NoteRead(uint16_t port, uint32_t value)
{
    spinRepeated = spinHaveRead && port == spinPort && value == spinValue;
    spinHaveRead = true;
    spinPort = port;
    spinValue = value;
}

void Machine::BreakSpin()
{
    spinHaveRead = false;
    spinRepeated = false;
}

uint8_t Machine::In8(uint16_t port)
{
    ++portAccessCount;
    AccessTime(ReadCost(port));
    PortDevice* d = Owner(port);
    const uint8_t v = d ? d->In8(port) : 0xFF;
    NoteRead(port, v);
    Record(AccessKind::In8, port, v);
    return v;
}

void Machine::Out8(uint16_t port, uint8_t value)
{
    ++portAccessCount;
    BreakSpin();
    AccessTime(kPortAccessCost);
    Record(AccessKind::Out8, port, value);
    if (PortDevice* d = Owner(port))
        d->Out8(port, value);
}

uint32_t Machine::In32(uint16_t port)
{
    ++portAccessCount;
    BreakSpin();
    AccessTime(kPortAccessCost);
    PortDevice* d = Owner(port);
    const uint32_t v = d ? d->In32(port) : 0xFFFFFFFFu;
    Record(AccessKind::In32, port, v);
    return v;
}

void Machine::Out32(uint16_t port, uint32_t value)
{
    ++portAccessCount;
    BreakSpin();
    AccessTime(kPortAccessCost);
    Record(AccessKind::Out32, port, value);
    if (PortDevice* d = Owner(port))
        d->Out32(port, value);
}

void Machine::AccessTime(Nanos step)
{
    if (realClock != nullptr) {
        const Nanos real = realClock();
        if (real > now + step)
            step = real - now;
    }
    Advance(step);
}

void Machine::Advance(Nanos delta)
{
    now += delta;
    for (int i = 0; i < claimCount; ++i)
        claims[i].device->Tick(now);
    if (timerExt != nullptr && now >= timerDue) {
        OrvaneDeviceExtension* ext = timerExt;
        timerExt = nullptr;
        OrvaneTimeoutDpc(&ext->TimeoutDpc, ext, nullptr, nullptr);
    }
}

void Machine::SetTimer(OrvaneDeviceExtension* ext, LONGLONG dueTime)
{
    ++timerSetCount;
    // Relative due times are negative, in 100 ns units; setting a pending
    // timer restarts it.
    const Nanos delta = dueTime < 0 ? (Nanos)(-dueTime) * 100 : 0;
    timerDue = now + delta;
    timerExt = ext;
}

void Machine::CancelTimer()
{
    timerExt = nullptr;
}

namespace {
Machine* current = nullptr;
}

Machine* Current() { return current; }
void SetCurrent(Machine* machine) { current = machine; }

}  // namespace sim
