// The test driver's board runs on the real clock: the library's own
// transactions reach the simulated host controller one port request at a
// time from user mode, tens of microseconds apart, and the controller's bus
// time must pass meanwhile as it would on hardware (on the virtual clock
// alone each request would advance it by a single port access).
#include <ntddk.h>

#include "real_clock.h"

namespace {

LARGE_INTEGER started;
LARGE_INTEGER frequency;

sim::Nanos RealNanos()
{
    constexpr ULONGLONG kNanosPerSecond = 1000000000ull;
    const ULONGLONG ticks = (ULONGLONG)(KeQueryPerformanceCounter(nullptr).QuadPart - started.QuadPart);
    const ULONGLONG f = (ULONGLONG)frequency.QuadPart;
    return ticks / f * kNanosPerSecond + ticks % f * kNanosPerSecond / f;
}

}  // namespace

namespace test_boards {

void UseRealClock(sim::Machine* machine)
{
    started = KeQueryPerformanceCounter(&frequency);
    if (frequency.QuadPart > 0)
        machine->realClock = RealNanos;
}

}  // namespace test_boards
