// The simulated PC's clock: each port access costs one access time, and a
// machine given a real clock (as the Wine-hosted test driver's board is)
// catches up with it on the next access, never going backwards, so a host
// controller's bus time passes between slow requests. A machine given a
// spin cap makes a timed wait that spins on an unchanging register cheap.
#include <gtest/gtest.h>

#include <string.h>

#include "machine.h"
#include "orvane_core.h"

namespace {

sim::Nanos fakeReal = 0;
sim::Nanos FakeReal() { return fakeReal; }

class RecordingDevice : public sim::PortDevice {
public:
    void Tick(sim::Nanos now) override { lastTick = now; }
    sim::Nanos lastTick = 0;
};

TEST(MachineClock, EachAccessCostsOneAccessTimeWithoutARealClock)
{
    sim::Machine m;
    RecordingDevice d;
    m.Claim(0x100, 1, &d);
    m.In8(0x100);
    m.Out8(0x100, 1);
    EXPECT_EQ(m.Now(), 2 * sim::kPortAccessCost);
    EXPECT_EQ(d.lastTick, m.Now());
}

TEST(MachineClock, AnAccessCatchesUpWithTheRealClockAndNeverGoesBack)
{
    sim::Machine m;
    RecordingDevice d;
    m.Claim(0x100, 1, &d);
    m.realClock = FakeReal;

    fakeReal = 500 * sim::kPortAccessCost;  // requests arrive slowly
    m.In8(0x100);
    EXPECT_EQ(m.Now(), fakeReal);
    EXPECT_EQ(d.lastTick, fakeReal);  // the devices saw the time pass

    fakeReal += sim::kPortAccessCost / 2;  // faster than an access: still one access time
    const sim::Nanos before = m.Now();
    m.In8(0x100);
    EXPECT_EQ(m.Now(), before + sim::kPortAccessCost);

    fakeReal = 0;  // a clock behind the machine's leaves it where it is, plus the access
    m.Out8(0x100, 0);
    EXPECT_EQ(m.Now(), before + 2 * sim::kPortAccessCost);
}

// Reads 0 until its flip time, then 1.
class FlipDevice : public sim::PortDevice {
public:
    uint8_t In8(uint16_t port) override
    {
        (void)port;
        return machine->Now() >= flipAt ? 1 : 0;
    }
    sim::Machine* machine = nullptr;
    sim::Nanos flipAt = ~0ull;
};

constexpr sim::Nanos kMs = 1000000;
constexpr LONGLONG kTwoSeconds = -20000000;  // relative, 100 ns units

struct MachineSpin : ::testing::Test {
    MachineSpin()
    {
        memset(&ext, 0, sizeof ext);
        device.machine = &m;
        m.Claim(0x100, 2, &device);
        m.spinCap = kMs;
        sim::SetCurrent(&m);
    }
    ~MachineSpin() override { sim::SetCurrent(nullptr); }
    // Reads the port until the timer fires or the value turns 1.
    uint32_t Spin()
    {
        uint32_t reads = 0;
        while (ext.TimeoutFired == 0 && m.In8(0x100) == 0)
            ++reads;
        return reads;
    }
    sim::Machine m;
    FlipDevice device;
    OrvaneDeviceExtension ext;
};

TEST_F(MachineSpin, AWindowThatOnlyItsTimerEndsTakesThousandsOfReads)
{
    m.SetTimer(&ext, kTwoSeconds);
    const uint32_t reads = Spin();
    EXPECT_EQ(ext.TimeoutFired, 1u);
    EXPECT_GE(m.Now(), 2000 * kMs);
    EXPECT_LE(m.Now(), 2000 * kMs + kMs);  // at most one capped read past the window
    EXPECT_GE(reads, 2000u);
    EXPECT_LT(reads, 2100u);
}

TEST_F(MachineSpin, AChangeIsSeenAtMostOneReadLateAndTheCostStartsOver)
{
    device.flipAt = 300000;  // 300 us in, a byte transfer's time
    m.SetTimer(&ext, kTwoSeconds);
    Spin();
    EXPECT_EQ(ext.TimeoutFired, 0u);
    EXPECT_GE(m.Now(), device.flipAt);
    EXPECT_LE(m.Now(), 2 * device.flipAt);  // the last read cost no more than the spin before it
    const sim::Nanos seen = m.Now();
    m.In8(0x100);  // a new value: back to one access
    EXPECT_EQ(m.Now(), seen + sim::kPortAccessCost);
}

TEST_F(MachineSpin, OnlyARepeatedReadOfOnePortUnderARunningTimerSpeedsUp)
{
    struct Case {
        const char* name;
        bool armTimer;
        bool alternatePorts;
        bool writeBetween;
        sim::Nanos cap;
    };
    const Case cases[] = {
        {"no timer", false, false, false, kMs},
        {"two ports in turn", true, true, false, kMs},
        {"a write between reads", true, false, true, kMs},
        {"no cap", true, false, false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim::Machine fresh;
        fresh.Claim(0x100, 2, &device);
        device.machine = &fresh;
        fresh.spinCap = c.cap;
        sim::SetCurrent(&fresh);
        memset(&ext, 0, sizeof ext);
        if (c.armTimer)
            fresh.SetTimer(&ext, kTwoSeconds);
        sim::Nanos spent = 0;
        for (int i = 0; i < 100; ++i) {
            const sim::Nanos before = fresh.Now();
            fresh.In8(c.alternatePorts && (i & 1) ? 0x101 : 0x100);
            spent += fresh.Now() - before;
            if (c.writeBetween)
                fresh.Out8(0x101, 0);
        }
        EXPECT_EQ(spent, 100 * sim::kPortAccessCost);
        sim::SetCurrent(&m);
        device.machine = &m;
    }
}

}  // namespace
