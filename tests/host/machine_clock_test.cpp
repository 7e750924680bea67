// The simulated PC's clock: each port access costs one access time, and a
// machine given a real clock (as the Wine-hosted test driver's board is)
// catches up with it on the next access, never going backwards, so a host
// controller's bus time passes between slow requests.
#include <gtest/gtest.h>

#include "machine.h"

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

}  // namespace
