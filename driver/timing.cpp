// Timing services shared by selection and the engines: the millisecond delay,
// the short bus delay of the bit-banged engines and the two-second time-out
// window on the extension's timer and DPC.
#include "orvane_core.h"
#include "orvane_platform.h"

namespace {

constexpr LONGLONG kHundredNsPerMs = 10000;
constexpr ULONG kStallChunkUs = 50;           // one busy-wait step at raised IRQL
constexpr ULONG kStallChunksPerMs = 1000 / kStallChunkUs;
constexpr USHORT kPostCodePort = 0x80;        // reads of it cost about 1 us on a PC
constexpr int kIoDelayReads = 15;
constexpr LONGLONG kTimeoutWindow = -20000000;  // two seconds, relative

}  // namespace

void OrvaneDelayMs(ULONG milliseconds)
{
    if (OrvaneCurrentIrql() < DISPATCH_LEVEL) {
        OrvaneDelayExecution(-kHundredNsPerMs * (LONGLONG)milliseconds);
        return;
    }
    // The thread may not sleep here: busy-wait the same time in short stalls.
    for (ULONGLONG i = 0; i < (ULONGLONG)milliseconds * kStallChunksPerMs; ++i)
        OrvaneStallProcessor(kStallChunkUs);
}

void OrvaneIoDelay()
{
    for (int i = 0; i < kIoDelayReads; ++i)
        (void)OrvanePortIn8(kPostCodePort);
}

void OrvaneArmTimeout(OrvaneDeviceExtension* ext)
{
    // Clear first: a window left running by an earlier wait may just have
    // expired. Setting a pending timer restarts it.
    ext->TimeoutFired = 0;
    OrvaneSetTimeoutTimer(ext, kTimeoutWindow);
}

extern "C" void OrvaneTimeoutDpc(KDPC* dpc, PVOID context, PVOID arg1, PVOID arg2)
{
    (void)dpc;
    (void)arg1;
    (void)arg2;
    static_cast<OrvaneDeviceExtension*>(context)->TimeoutFired = 1;
}
