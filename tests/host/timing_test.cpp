// The timing services on the virtual clock: the IRQL-dependent millisecond
// delay, the bus delay of the bit-banged engines and the time-out window.
#include "board_fixture.h"

namespace {

using Timing = BoardTest;

TEST_F(Timing, DelaySleepsBelowDispatchLevelAndStallsAtIt)
{
    struct Case {
        KIRQL irql;
        ULONG ms;
        sim::Nanos slept, stalled;
        uint32_t stalls;
    };
    const Case cases[] = {
        {PASSIVE_LEVEL, 5, 5000000, 0, 0},
        {APC_LEVEL, 1, 1000000, 0, 0},
        {DISPATCH_LEVEL, 3, 0, 3000000, 60},  // 50 us stalls, 20 per millisecond
        {DISPATCH_LEVEL, 0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        machine = std::make_unique<sim::Machine>();
        sim::SetCurrent(machine.get());
        machine->irql = c.irql;
        OrvaneDelayMs(c.ms);
        EXPECT_EQ(machine->sleptNs, c.slept) << int(c.irql) << " " << c.ms;
        EXPECT_EQ(machine->stalledNs, c.stalled);
        EXPECT_EQ(machine->stallCalls, c.stalls);
    }
}

TEST_F(Timing, IoDelayReadsThePostCodePortFifteenTimes)
{
    machine->StartLog();
    OrvaneIoDelay();
    machine->StopLog();
    ASSERT_EQ(machine->LogCount(), 15);
    for (int i = 0; i < 15; ++i) {
        EXPECT_EQ(machine->LogEntry(i).kind, sim::AccessKind::In8);
        EXPECT_EQ(machine->LogEntry(i).port, 0x80);
    }
}

TEST_F(Timing, TimeoutFiresAfterTwoSecondsAndArmingClearsIt)
{
    OrvaneArmTimeout(ext.get());
    EXPECT_EQ(ext->TimeoutFired, 0u);
    machine->Advance(1999999000);
    EXPECT_EQ(ext->TimeoutFired, 0u);
    machine->Advance(1000);
    EXPECT_EQ(ext->TimeoutFired, 1u);

    // A window left over from an earlier wait has fired; the next arming
    // must not let the new wait see it.
    OrvaneArmTimeout(ext.get());
    EXPECT_EQ(ext->TimeoutFired, 0u);

    // Re-arming a pending timer restarts its two seconds.
    machine->Advance(1500000000);
    OrvaneArmTimeout(ext.get());
    machine->Advance(1500000000);
    EXPECT_EQ(ext->TimeoutFired, 0u);
    machine->Advance(500000000);
    EXPECT_EQ(ext->TimeoutFired, 1u);
}

}  // namespace
