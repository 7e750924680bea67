// The driver's platform seam: the only way the core reaches the machine.
// driver/kernel/ implements it with port instructions, the HAL and kernel
// timers; sim/ implements it on the simulated PC. Exactly one is linked in.
//
// The seam has two halves so that the Wine-hosted test driver can put the
// simulated bus behind the real kernel timing: the bus half (ports, PCI
// configuration, the parallel-port query) and the time half (IRQL, delays,
// the time-out timer).
#ifndef ORVANE_PLATFORM_H
#define ORVANE_PLATFORM_H

#include "orvane_types.h"

struct OrvaneDeviceExtension;

// Bus half.
UCHAR OrvanePortIn8(USHORT port);
void OrvanePortOut8(USHORT port, UCHAR value);
ULONG OrvanePortIn32(USHORT port);
void OrvanePortOut32(USHORT port, ULONG value);
// PCI configuration space by bus, slot ((function << 5) | device), offset and
// length; returns the byte count the platform reports (0 for an empty bus).
ULONG OrvanePciRead(ULONG bus, ULONG slot, void* buffer, ULONG offset, ULONG length);
ULONG OrvanePciWrite(ULONG bus, ULONG slot, const void* buffer, ULONG offset, ULONG length);
// Asks the system's parallel-port driver for the first port's I/O base
// (OriginalController). Returns its status; *controller is set on success.
NTSTATUS OrvaneParallelPortController(ULONGLONG* controller);

// Time half.
KIRQL OrvaneCurrentIrql();
// Sleeps the calling thread; interval in 100 ns units, negative = relative.
void OrvaneDelayExecution(LONGLONG interval);
void OrvaneStallProcessor(ULONG microseconds);
// One-shot time-out timer of the extension; due time in 100 ns units,
// negative = relative. When it expires, TimeoutDpc runs.
void OrvaneSetTimeoutTimer(OrvaneDeviceExtension* ext, LONGLONG dueTime);
void OrvaneCancelTimeoutTimer(OrvaneDeviceExtension* ext);

#endif
