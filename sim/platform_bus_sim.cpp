// Bus half of the platform seam on the simulated PC.
#include "machine.h"
#include "orvane_platform.h"

UCHAR OrvanePortIn8(USHORT port) { return sim::Current()->In8(port); }
void OrvanePortOut8(USHORT port, UCHAR value) { sim::Current()->Out8(port, value); }
ULONG OrvanePortIn32(USHORT port) { return sim::Current()->In32(port); }
void OrvanePortOut32(USHORT port, ULONG value) { sim::Current()->Out32(port, value); }

ULONG OrvanePciRead(ULONG bus, ULONG slot, void* buffer, ULONG offset, ULONG length)
{
    return sim::Current()->PciRead(bus, slot, buffer, offset, length);
}

ULONG OrvanePciWrite(ULONG bus, ULONG slot, const void* buffer, ULONG offset, ULONG length)
{
    return sim::Current()->PciWrite(bus, slot, buffer, offset, length);
}

NTSTATUS OrvaneParallelPortController(ULONGLONG* controller)
{
    sim::Machine* m = sim::Current();
    ++m->parallelQueries;
    if (NT_SUCCESS(m->parallelStatus))
        *controller = m->parallelController;
    return m->parallelStatus;
}
