// Time half of the platform seam in the kernel: IRQL, the sleeping delay, the
// processor stall and the extension's one-shot timer with its DPC.
#include "orvane_core.h"
#include "orvane_platform.h"

KIRQL OrvaneCurrentIrql() { return KeGetCurrentIrql(); }

void OrvaneDelayExecution(LONGLONG interval)
{
    LARGE_INTEGER due;
    due.QuadPart = interval;
    KeDelayExecutionThread(KernelMode, FALSE, &due);
}

void OrvaneStallProcessor(ULONG microseconds) { KeStallExecutionProcessor(microseconds); }

void OrvaneSetTimeoutTimer(OrvaneDeviceExtension* ext, LONGLONG dueTime)
{
    LARGE_INTEGER due;
    due.QuadPart = dueTime;
    (void)KeSetTimer(&ext->TimeoutTimer, due, &ext->TimeoutDpc);
}

void OrvaneCancelTimeoutTimer(OrvaneDeviceExtension* ext) { (void)KeCancelTimer(&ext->TimeoutTimer); }
