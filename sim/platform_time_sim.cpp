// Time half of the platform seam on the simulated PC's virtual clock: no
// delay sleeps for real, and the time-out timer fires when simulated time
// passes its due time.
#include "machine.h"
#include "orvane_platform.h"

KIRQL OrvaneCurrentIrql() { return sim::Current()->irql; }

void OrvaneDelayExecution(LONGLONG interval)
{
    sim::Machine* m = sim::Current();
    const sim::Nanos ns = interval < 0 ? (sim::Nanos)(-interval) * 100 : 0;
    m->sleptNs += ns;
    m->Advance(ns);
}

void OrvaneStallProcessor(ULONG microseconds)
{
    sim::Machine* m = sim::Current();
    ++m->stallCalls;
    m->stalledNs += (sim::Nanos)microseconds * 1000;
    m->Advance((sim::Nanos)microseconds * 1000);
}

void OrvaneSetTimeoutTimer(OrvaneDeviceExtension* ext, LONGLONG dueTime)
{
    sim::Current()->SetTimer(ext, dueTime);
}

void OrvaneCancelTimeoutTimer(OrvaneDeviceExtension* ext)
{
    (void)ext;
    sim::Current()->CancelTimer();
}
