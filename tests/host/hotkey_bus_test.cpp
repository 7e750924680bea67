// The library's bus access client over the driver channel: adapter selection
// and its request sequences, the transactions' refusals, the trace facility.
#include <string>

#include "hotkey_exports.h"
#include "hotkey_fixture.h"

namespace {

using sim::BoardId;

class BusClient : public HotkeyStack {};

TEST_F(BusClient, IntelSelectionSendsSelectThenSmbusBase)
{
    EXPECT_EQ(SelectInterfaceType(1, 0), 1);
    ASSERT_EQ(channel.requests.size(), 2u);
    EXPECT_EQ(channel.requests[0].code, IOCTL_ORVANE_SELECT_INTERFACE);
    EXPECT_EQ(channel.requests[0].inLen, 4u);
    EXPECT_EQ(channel.requests[0].outLen, 0u);
    EXPECT_EQ(channel.requests[1].code, IOCTL_ORVANE_GET_SMBUS_BASE);
    EXPECT_EQ(channel.requests[1].inLen, 0u);
    EXPECT_EQ(channel.requests[1].outLen, 4u);
    EXPECT_EQ(hotkey::InterfaceType, 1);
    EXPECT_EQ(hotkey::OrvaneBaseAddress, board->spec->hostBase);
    EXPECT_EQ(hotkey::ControllerAddr, 0x94);
    const std::vector<std::string> expected = {
        "SelectInterfaceType Result=0x1 InterfaceType=1 BaseAddr=0\n",
        "SelectInterfaceType Result=0x1\n",
        "SelectInterfaceType OrvaneBaseAddress=0x400\n",
    };
    EXPECT_EQ(channel.trace, expected);
}

TEST_F(BusClient, ParallelSelectionAsksForTheParallelBaseOnly)
{
    ASSERT_NE(UseBoard(BoardId::Parallel), nullptr);
    hotkey::OrvaneBaseAddress = 0x1234;
    EXPECT_NE(SelectInterfaceType(2, 0xA0), 0);
    ASSERT_EQ(channel.requests.size(), 2u);
    EXPECT_EQ(channel.requests[0].code, IOCTL_ORVANE_SELECT_INTERFACE);
    EXPECT_EQ(channel.requests[1].code, IOCTL_ORVANE_GET_PARALLEL_BASE);
    EXPECT_EQ(channel.requests[1].outLen, 2u);
    EXPECT_EQ(hotkey::ParallelBaseAddr, board->spec->hostBase);
    EXPECT_EQ(hotkey::OrvaneBaseAddress, 0x1234u);
    EXPECT_EQ(hotkey::ControllerAddr, 0xA0);
    ASSERT_EQ(channel.trace.size(), 1u);
    EXPECT_EQ(channel.trace[0], "SelectInterfaceType Result=0x1 InterfaceType=2 BaseAddr=a0\n");
}

TEST_F(BusClient, TypesTheDriverDoesNotKnowAreNotSent)
{
    const int sent[] = {1, 2, 4, 5, 6, 7, 8, 9, 11, 13, 15, 16};
    for (int type = -1; type <= 18; ++type) {
        channel.Clear();
        hotkey::ControllerAddr = 0;
        const int r = SelectInterfaceType(type, 0);
        const bool expectSent = std::find(std::begin(sent), std::end(sent), type) != std::end(sent);
        EXPECT_EQ(channel.requestCount, expectSent ? 2u : 0u) << type;
        EXPECT_EQ(hotkey::ControllerAddr, 0x94) << type;
        EXPECT_EQ(hotkey::InterfaceType, type);
        if (!expectSent) {
            EXPECT_EQ(r, 1) << type;
            EXPECT_TRUE(channel.trace.empty()) << type;
        }
    }
}

TEST_F(BusClient, AFailedSelectionFailsEvenWhenTheBaseAnswers)
{
    // A first selection finds the host; on a board without one the selection
    // fails while the base request still returns the earlier base.
    ASSERT_EQ(SelectInterfaceType(1, 0), 1);
    ASSERT_NE(UseBoard(BoardId::Empty), nullptr);
    channel.Clear();
    EXPECT_EQ(SelectInterfaceType(1, 0x96), 0);
    EXPECT_EQ(channel.requests.size(), 2u);
    EXPECT_EQ(channel.trace[0], "SelectInterfaceType Result=0x0 InterfaceType=1 BaseAddr=96\n");
    EXPECT_EQ(channel.trace[1], "SelectInterfaceType Result=0x1\n");
    EXPECT_EQ(hotkey::ControllerAddr, 0x96);

    // A base request that fails fails the selection too and keeps the base.
    channel.Clear();
    ASSERT_NE(UseBoard(sim::kIntelBoard), nullptr);
    channel.failRequest = [](uint32_t code, uint64_t) { return code == IOCTL_ORVANE_GET_SMBUS_BASE; };
    hotkey::OrvaneBaseAddress = 0x777;
    EXPECT_EQ(SelectInterfaceType(1, 0), 0);
    EXPECT_EQ(channel.trace[1], "SelectInterfaceType Result=0x0\n");
    EXPECT_EQ(hotkey::OrvaneBaseAddress, 0x777u);
}

TEST_F(BusClient, NoTransactionWithoutAnSmbusBase)
{
    OrvaneTransfer t{};
    t.DeviceAddr = 0x94;
    t.IoPort = 0x86;
    t.InputValue = 0x5555;
    for (uint8_t code : {4, 6}) {
        t.CommandCode = code;
        EXPECT_EQ(CHIPSET_inport_intel1(&t), 2);
    }
    for (uint8_t code : {5, 7}) {
        t.CommandCode = code;
        EXPECT_EQ(CHIPSET_outport_intel1(&t), 2);
    }
    EXPECT_EQ(channel.requestCount, 0u);
    EXPECT_EQ(+t.InputValue, 0x5555);
    // Interface type 2 reports no SMBus base either.
    ASSERT_NE(UseBoard(BoardId::Parallel), nullptr);
    ASSERT_NE(SelectInterfaceType(2, 0), 0);
    channel.Clear();
    uint8_t v = 0;
    EXPECT_EQ(I2CReadByte(0x86, &v), 0);
    EXPECT_EQ(channel.portRequests, 0u);
}

// A failed port request ends the transaction at once, whichever it was.
TEST_F(BusClient, AFailedPortRequestEndsTheTransaction)
{
    ASSERT_EQ(SelectInterfaceType(1, 0), 1);
    struct Case {
        bool read;
        uint64_t failing;  // the port request of the transaction that fails
    };
    const Case cases[] = {{false, 1}, {false, 2}, {false, 3}, {false, 4}, {false, 5},
                          {true, 1}, {true, 2}, {true, 3}, {true, 4}};
    for (const Case& c : cases) {
        channel.Clear();
        channel.failRequest = [&](uint32_t, uint64_t n) { return n == c.failing; };
        OrvaneTransfer t{};
        t.DeviceAddr = 0x94;
        t.CommandCode = c.read ? 4 : 5;
        t.InputValue = 0x1111;
        EXPECT_EQ(c.read ? CHIPSET_inport_intel1(&t) : CHIPSET_outport_intel1(&t), 2);
        EXPECT_EQ(channel.requestCount, c.failing) << c.read << " " << c.failing;
        EXPECT_EQ(+t.InputValue, 0x1111);
    }
}

TEST_F(BusClient, DetectTouchesNothing)
{
    EXPECT_EQ(VexmarIC_Detect(), 1);
    EXPECT_EQ(channel.requestCount, 0u);
    EXPECT_TRUE(channel.trace.empty());
}

TEST_F(BusClient, TraceLinesGetALineFeedAndStayBounded)
{
    hotkey::TraceLine("\nRetry!\n");
    hotkey::TraceLine("%s", std::string(3000, 'x').c_str());
    hotkey::TraceLine("Write to ROM ... %d %% ", 100);
    ASSERT_EQ(channel.trace.size(), 3u);
    EXPECT_EQ(channel.trace[0], "\nRetry!\n\n");
    EXPECT_EQ(channel.trace[1].size(), 1023u);
    EXPECT_EQ(channel.trace[1].back(), '\n');
    EXPECT_EQ(channel.trace[2], "Write to ROM ... 100 % \n");
}

TEST_F(BusClient, PercentageAndStageComeFromTheGlobals)
{
    hotkey::Percentage = 42;
    hotkey::BurnStage = 0x23;
    int p = -1, s = -1;
    EXPECT_EQ(GetPercentage(&p, &s), 1);
    EXPECT_EQ(p, 42);
    EXPECT_EQ(s, 0x23);
    hotkey::BurnStage = (int8_t)0xF1;  // sign-extended
    EXPECT_EQ(GetPercentage(&p, &s), 1);
    EXPECT_EQ(s, -15);
    EXPECT_EQ(channel.requestCount, 0u);
}

}  // namespace
