// Wine's hal.dll exports KeStallExecutionProcessor only as a stub, and a call
// to it ends the device host. The test image therefore binds its import slot
// to a stall that sleeps the same time instead: under Wine the driver always
// runs at PASSIVE_LEVEL, where sleeping is allowed. The shipped driver keeps
// the HAL's routine.
#include <ntddk.h>

namespace {

void NTAPI StallBySleeping(ULONG microseconds)
{
    constexpr LONGLONG kHundredNsPerUs = 10;
    LARGE_INTEGER due;
    due.QuadPart = -(LONGLONG)microseconds * kHundredNsPerUs;
    KeDelayExecutionThread(KernelMode, FALSE, &due);
}

}  // namespace

#if defined(_WIN64)
#define ORVANE_STALL_IMPORT "__imp_KeStallExecutionProcessor"
#else
#define ORVANE_STALL_IMPORT "__imp__KeStallExecutionProcessor@4"
#endif

extern "C" {
extern void(NTAPI* const stallImport)(ULONG) __asm__(ORVANE_STALL_IMPORT);
void(NTAPI* const stallImport)(ULONG) __asm__(ORVANE_STALL_IMPORT) = StallBySleeping;
}
