// The controller exports over the whole stack: library core, driver channel,
// driver core, the Intel host-controller model and the R39218 model.
#include <string>

#include "hotkey_fixture.h"

namespace {

class Controller : public HotkeyStack {
protected:
    void SetUp() override { SelectIntel(); }
};

TEST_F(Controller, CheckICIDMatchesTheR39218)
{
    int match = -1;
    EXPECT_EQ(CheckICID(&match), 0);
    EXPECT_EQ(match, 1);
    EXPECT_TRUE(channel.Has("Enter CheckICID\n\n"));
    EXPECT_TRUE(channel.Has("Exit CheckICID 3921\n\n"));

    Chip().chipId = 0x3922;
    EXPECT_EQ(CheckICID(&match), 0);
    EXPECT_EQ(match, 0);
    EXPECT_TRUE(channel.Has("Exit CheckICID 3922\n\n"));

    Chip().present = false;
    match = -1;
    EXPECT_EQ(CheckICID(&match), 1);
    EXPECT_EQ(match, -1);
}

TEST_F(Controller, RawRegisterAccessIsOneByteTransaction)
{
    uint8_t v = 0;
    const uint32_t before = Chip().transactions;
    EXPECT_EQ(I2CReadByte(0x86, &v), 1);
    EXPECT_EQ(v, 0x21);
    EXPECT_EQ(Chip().transactions, before + 1);
    EXPECT_EQ(I2CWriteByte(0x80, 0x34), 1);
    EXPECT_EQ(Chip().romAddress, 0x34);
    EXPECT_TRUE(channel.Has("inport DeviceAddr= 94 IoPort= 86 OutputValue= 0 CommandCode= 4\n"));
    EXPECT_TRUE(channel.Has("outport DeviceAddr= 94 IoPort= 80 OutputValue= 34 CommandCode= 5\n"));

    Chip().present = false;
    v = 0x77;
    EXPECT_EQ(I2CReadByte(0x86, &v), 0);
    EXPECT_EQ(v, 0x77);
    EXPECT_EQ(I2CWriteByte(0x80, 0x00), 0);
}

TEST_F(Controller, GetVersion218ReadsTheLastTwoRomBytesAndClosesAccess)
{
    Chip().rom[0x1FFE] = 0x05;
    Chip().rom[0x1FFF] = 0x02;
    int version = 0, sub = 0;
    EXPECT_EQ(GetVersion218(&version, &sub), 1);
    EXPECT_EQ(version, 5);
    EXPECT_EQ(sub, 2);
    EXPECT_EQ(Chip().mode, sim::R39218::kModeClosed);
    EXPECT_TRUE(channel.Has("Version=5\n"));
    EXPECT_TRUE(channel.Has("sub Version=2\n"));
}

TEST_F(Controller, GetICVersionReadsTheVersionByte)
{
    Chip().rom[0x1FFE] = 0x07;
    int version = 0;
    EXPECT_EQ(GetICVersion(&version), 1);
    EXPECT_EQ(version, 7);
    EXPECT_EQ(Chip().mode, sim::R39218::kModeClosed);
    EXPECT_TRUE(channel.Has("Enter GetICVersion\n\n"));
    EXPECT_TRUE(channel.Has("\r Version = 7 \n"));
}

TEST_F(Controller, ButtonReportsNonZeroAsPressed)
{
    int pressed = -1;
    EXPECT_EQ(GetBotton218(&pressed), 1);
    EXPECT_EQ(pressed, 0);
    EXPECT_TRUE(channel.Has("GetBotton218 result=0x0\n"));
    EXPECT_TRUE(channel.Has("ICR8:0\n"));
    EXPECT_TRUE(channel.Has("\nFail\n"));
    channel.Clear();
    Chip().button = 0x40;
    EXPECT_EQ(GetBotton218(&pressed), 1);
    EXPECT_EQ(pressed, 1);
    EXPECT_TRUE(channel.Has("ICR8:40\n"));
    EXPECT_TRUE(channel.Has("\nPass\n"));
}

// The self-test pauses 200 ms after every read of the busy register, at
// least once and at most 99 times in its 100 reads, on the virtual clock.
TEST_F(Controller, SelfTestPollsWithPausesAndReadsTheResult)
{
    struct Case {
        uint32_t busyReads;
        uint8_t result;
        int passed;
        uint32_t sleeps;
    };
    const Case cases[] = {
        {0, 0xAA, 1, 1},
        {3, 0xAA, 1, 4},
        {3, 0x55, 0, 4},
        {3, 0x00, 0, 4},
        {98, 0xAA, 1, 99},
        {1000000, 0xAA, 1, 99},  // still running at the 100th read: the result is read all the same
    };
    for (const Case& c : cases) {
        channel.Clear();
        channel.sleeps = channel.sleptMs = 0;
        Chip().selfTestBusyReads = c.busyReads;
        Chip().selfTestResult = c.result;
        const sim::Nanos start = board->machine.Now();
        int passed = -1;
        EXPECT_EQ(Test218(&passed), 1) << c.busyReads;
        EXPECT_EQ(passed, c.passed) << c.busyReads;
        EXPECT_EQ(channel.sleeps, c.sleeps) << c.busyReads;
        EXPECT_EQ(channel.sleptMs, c.sleeps * 200) << c.busyReads;
        EXPECT_GE(board->machine.Now() - start, (sim::Nanos)c.sleeps * 200000000);
        int busyReads = 0;
        for (const std::string& t : channel.trace)
            busyReads += t == "inport DeviceAddr= 94 IoPort= 0 OutputValue= 0 CommandCode= 4\n";
        EXPECT_EQ(busyReads, (int)std::min<uint32_t>(c.busyReads + 1, 100)) << c.busyReads;
        EXPECT_TRUE(channel.Has("218Test result=0x0\n"));
        char line[32];
        snprintf(line, sizeof line, "ICR01:%x\n", c.result);
        EXPECT_TRUE(channel.Has(line));
        EXPECT_TRUE(channel.Has(c.passed ? "\nPass\n" : "\nFail\n"));
    }
}

TEST_F(Controller, RandomRomAccess)
{
    EXPECT_EQ(ROMWrite(0x1234, 0x1A5), 1);  // the low byte is stored
    EXPECT_EQ(Chip().rom[0x1234], 0xA5);
    EXPECT_EQ(Chip().romAddress, 0x1234);   // random access does not advance
    uint8_t v = 0;
    EXPECT_EQ(ROMRead(0x1234, &v), 1);
    EXPECT_EQ(v, 0xA5);
    EXPECT_EQ(Chip().mode, sim::R39218::kModeRandom);  // left open
    EXPECT_EQ(channel.Count("Enter ROMWrite\n\n"), 1);
    EXPECT_EQ(channel.Count("Enter ROMRead\n\n"), 1);
    EXPECT_EQ(channel.Count("\r data = a5 \n"), 2);
}

TEST_F(Controller, SequentialReadsOpenOnceAndAdvance)
{
    Chip().rom[0] = 0x11;
    Chip().rom[1] = 0x22;
    EXPECT_EQ(ResetRWFlag(), 0);
    EXPECT_EQ(SPIRead(0x999), 0x11);
    EXPECT_EQ(hotkey::RWFlag, 1);
    EXPECT_EQ(SPIRead(0), 0x22);
    // Opening is three writes: mode, address low, address high.
    int opens = 0;
    for (const std::string& t : channel.trace)
        opens += t == "outport DeviceAddr= 94 IoPort= 83 OutputValue= 3 CommandCode= 5\n";
    EXPECT_EQ(opens, 1);
    uint8_t v = 0;
    EXPECT_EQ(SDKRead(0, &v), 0);
    EXPECT_EQ(v, Chip().rom[2]);
}

TEST_F(Controller, SequentialWritesWaitForTheWriteToFinish)
{
    Chip().writeBusyPolls = 5;
    EXPECT_EQ(SPIWrite(0x0, 0x1AB), 0);
    EXPECT_EQ(SPIWrite(0x1, 0xCD), 0);
    EXPECT_EQ(Chip().rom[0], 0xAB);
    EXPECT_EQ(Chip().rom[1], 0xCD);
    EXPECT_EQ(Chip().statusPolls, 12u);  // five busy polls and one that shows the write done, twice
    EXPECT_TRUE(channel.Has("addr=0 data=ab\n\n"));
    EXPECT_TRUE(channel.Has("addr=1 data=cd\n\n"));
}

TEST_F(Controller, SequentialWriteGivesUpOnAStuckWriteInProgressBit)
{
    Chip().stuckBusy = true;
    EXPECT_EQ(SPIWrite(0, 0x12), 1);
    EXPECT_EQ(Chip().statusPolls, 1000u);
    EXPECT_EQ(channel.Count("SPIWrite: write still in progress after 1000 polls\n"), 1);
}

TEST_F(Controller, SequentialWriteFailsWhenAccessIsNotOpen)
{
    // The library believes sequential access is open, the chip was closed.
    ASSERT_EQ(SPIWrite(0, 0x12), 0);
    ASSERT_EQ(I2CWriteByte(0x83, 0x00), 1);
    const uint32_t polls = Chip().statusPolls;
    EXPECT_EQ(SPIWrite(1, 0x34), 1);
    EXPECT_EQ(Chip().statusPolls, polls + 2);  // read once more, then give up
}

TEST_F(Controller, OnlyResetRWFlagClosesTheLibrarysSequentialState)
{
    ASSERT_EQ(SPIRead(0), Chip().rom[0]);
    ASSERT_EQ(hotkey::RWFlag, 1);
    uint8_t v = 0;
    int a = 0, b = 0;
    EXPECT_EQ(ROMRead(0x10, &v), 1);
    EXPECT_EQ(ROMWrite(0x10, 1), 1);
    EXPECT_EQ(GetICVersion(&a), 1);
    EXPECT_EQ(GetVersion218(&a, &b), 1);
    EXPECT_EQ(ExitCmd(), 0);
    EXPECT_EQ(hotkey::RWFlag, 1);
    EXPECT_EQ(ResetRWFlag(), 0);
    EXPECT_EQ(hotkey::RWFlag, 0);
    Chip().rom[0] = 0x5C;
    EXPECT_EQ(SPIRead(0), 0x5C);  // opened again at 0x0000
}

TEST_F(Controller, ExitCmdZeroesTheAddressRegisters)
{
    ASSERT_EQ(ROMWrite(0x1ABC, 0), 1);
    EXPECT_EQ(ExitCmd(), 0);
    EXPECT_EQ(Chip().romAddress, 0);
    Chip().present = false;
    EXPECT_EQ(ExitCmd(), 1);
}

// Every sequence stops at the access that fails and reports its failure
// result; the chip sees nothing after it.
TEST_F(Controller, SequencesStopAtTheFirstFailedAccess)
{
    struct Case {
        const char* name;
        uint32_t failing;  // transaction that is not acknowledged
        int (*run)();
        int failure;
    };
    static int out1, out2;
    static uint8_t byte;
    const Case cases[] = {
        {"CheckICID", 1, [] { return CheckICID(&out1); }, 1},
        {"CheckICID", 2, [] { return CheckICID(&out1); }, 1},
        {"GetICVersion", 1, [] { return GetICVersion(&out1); }, 0},
        {"GetICVersion", 5, [] { return GetICVersion(&out1); }, 0},
        {"GetICVersion", 6, [] { return GetICVersion(&out1); }, 0},
        {"GetVersion218", 4, [] { return GetVersion218(&out1, &out2); }, 0},
        {"GetVersion218", 7, [] { return GetVersion218(&out1, &out2); }, 0},
        {"GetVersion218", 8, [] { return GetVersion218(&out1, &out2); }, 0},
        {"GetBotton218", 1, [] { return GetBotton218(&out1); }, 0},
        {"Test218", 1, [] { return Test218(&out1); }, 0},
        {"Test218", 2, [] { return Test218(&out1); }, 0},
        {"Test218", 5, [] { return Test218(&out1); }, 0},
        {"ROMRead", 1, [] { return ROMRead(0x100, &byte); }, 0},
        {"ROMRead", 5, [] { return ROMRead(0x100, &byte); }, 0},
        {"ROMWrite", 4, [] { return ROMWrite(0x100, 0x12); }, 0},
        {"SPIRead", 2, [] { ResetRWFlag(); return SPIRead(0); }, 1},
        {"SPIWrite", 4, [] { ResetRWFlag(); return SPIWrite(0, 0x12); }, 1},
        {"SPIWrite", 5, [] { ResetRWFlag(); return SPIWrite(0, 0x12); }, 1},
        {"ExitCmd", 1, [] { return ExitCmd(); }, 1},
        {"ExitCmd", 2, [] { return ExitCmd(); }, 1},
    };
    for (const Case& c : cases) {
        Chip().Reset();
        Chip().selfTestBusyReads = 3;
        Chip().nackTransaction = c.failing;
        out1 = out2 = 0x5A5A;
        byte = 0x5A;
        EXPECT_EQ(c.run(), c.failure) << c.name << " " << c.failing;
        EXPECT_EQ(Chip().transactions, c.failing) << c.name << " " << c.failing;
        if (std::string(c.name) == "ROMRead") {
            EXPECT_EQ(byte, 0x5A) << "the byte out is written only on success";
        }
    }
    // Flags set on entry stay set.
    Chip().Reset();
    Chip().nackTransaction = 1;
    out1 = 0;
    EXPECT_EQ(GetBotton218(&out1), 0);
    EXPECT_EQ(out1, 1);
    Chip().Reset();
    Chip().nackTransaction = 4;
    out1 = 0;
    EXPECT_EQ(GetVersion218(&out1, &out2), 0);
    EXPECT_EQ(out1, 1);
}

}  // namespace
