// Bus half of the platform seam in the kernel: port instructions, the HAL's
// PCI configuration access and the system parallel-port driver.
#include "orvane_core.h"
#include "orvane_platform.h"

UCHAR OrvanePortIn8(USHORT port) { return __inbyte(port); }
void OrvanePortOut8(USHORT port, UCHAR value) { __outbyte(port, value); }
ULONG OrvanePortIn32(USHORT port) { return __indword(port); }
void OrvanePortOut32(USHORT port, ULONG value) { __outdword(port, value); }

ULONG OrvanePciRead(ULONG bus, ULONG slot, void* buffer, ULONG offset, ULONG length)
{
    return HalGetBusDataByOffset(PCIConfiguration, bus, slot, buffer, offset, length);
}

ULONG OrvanePciWrite(ULONG bus, ULONG slot, const void* buffer, ULONG offset, ULONG length)
{
    return HalSetBusDataByOffset(PCIConfiguration, bus, slot, const_cast<void*>(buffer), offset, length);
}

NTSTATUS OrvaneParallelPortController(ULONGLONG* controller)
{
    // Built with adapter selection.
    (void)controller;
    return STATUS_NOT_IMPLEMENTED;
}
