// The library's SMBus transactions on the Intel host-controller model: what
// each writes to the host's registers, what comes back, and how each failure
// ends.
#include <string>

#include "hotkey_fixture.h"

namespace {

constexpr uint32_t kStatus = 0, kControl = 2, kCommand = 3, kSlave = 4, kData0 = 5, kData1 = 6;

class Transaction : public HotkeyStack {
protected:
    void SetUp() override
    {
        SelectIntel();
        base = hotkey::OrvaneBaseAddress;
        ASSERT_NE(base, 0u);
    }

    // Values the transaction wrote to one host register, in order.
    std::vector<uint32_t> Written(uint32_t reg) const
    {
        std::vector<uint32_t> v;
        for (const DriverChannel::Request& r : channel.requests)
            if (r.code == IOCTL_ORVANE_WRITE_PORT_BYTE && r.port == base + reg)
                v.push_back(r.value);
        return v;
    }
    int Reads(uint32_t reg) const
    {
        int n = 0;
        for (const DriverChannel::Request& r : channel.requests)
            n += r.code == IOCTL_ORVANE_READ_PORT_BYTE && r.port == base + reg;
        return n;
    }

    uint32_t base = 0;
};

struct Case {
    const char* name;
    bool read;
    uint8_t deviceAddr;
    uint8_t reg;
    uint16_t output;
    uint8_t code;
    int result;
    std::vector<uint32_t> slave, data0, data1, control;
};

TEST_F(Transaction, RegisterWritesOfEachKind)
{
    const Case cases[] = {
        {"byte write", false, 0x94, 0x80, 0x1234, 5, 0, {0x94}, {0x34}, {}, {0x48}},
        {"word write", false, 0x94, 0x84, 0x1234, 7, 0, {0x94}, {0x34}, {0x12}, {0x4C}},
        {"byte read", true, 0x94, 0x86, 0x1234, 4, 0, {0x95}, {}, {}, {0x48}},
        {"byte read, read bit given", true, 0x95, 0x86, 0, 4, 0, {0x95}, {}, {}, {0x48}},
        {"word read", true, 0x94, 0x86, 0, 6, 0, {0x95}, {}, {}, {0x4C}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        channel.Clear();
        OrvaneTransfer t{};
        t.DeviceAddr = c.deviceAddr;
        t.IoPort = (uint16_t)(0x100 | c.reg);  // only the low byte goes on the bus
        t.OutputValue = c.output;
        t.CommandCode = c.code;
        EXPECT_EQ(c.read ? CHIPSET_inport_intel1(&t) : CHIPSET_outport_intel1(&t), c.result);
        EXPECT_EQ(Written(kSlave), c.slave);
        EXPECT_EQ(Written(kCommand), std::vector<uint32_t>{c.reg});
        EXPECT_EQ(Written(kData0), c.data0);
        EXPECT_EQ(Written(kData1), c.data1);
        EXPECT_EQ(Written(kStatus), std::vector<uint32_t>{0xFF});
        EXPECT_EQ(Written(kControl), c.control);
        // Every register access is one request; nothing else is sent.
        EXPECT_EQ(channel.otherRequests, 0u);
        EXPECT_GE(channel.portRequests, 8u);
    }
}

TEST_F(Transaction, ReadsStoreTheirValue)
{
    OrvaneTransfer t{};
    t.DeviceAddr = 0x94;
    t.IoPort = 0x87;
    t.CommandCode = 4;
    EXPECT_EQ(CHIPSET_inport_intel1(&t), 0);
    EXPECT_EQ(+t.InputValue, 0x39);
    EXPECT_EQ(Reads(kData1), 0);

    // A word read: data 1 is the high byte. The ROM data register in
    // sequential access gives two consecutive bytes.
    Chip().rom[0] = 0x34;
    Chip().rom[1] = 0x12;
    ASSERT_EQ(SPIRead(0), 0x34);
    ResetRWFlag();
    ASSERT_EQ(I2CWriteByte(0x80, 0), 1);
    channel.Clear();
    t.IoPort = 0x82;
    t.CommandCode = 6;
    EXPECT_EQ(CHIPSET_inport_intel1(&t), 0);
    EXPECT_EQ(+t.InputValue, 0x1234);
    EXPECT_EQ(Reads(kData0), 1);
    EXPECT_EQ(Reads(kData1), 1);
    EXPECT_TRUE(channel.Has("inport DeviceAddr= 94 IoPort= 82 OutputValue= 0 CommandCode= 6\n"));
}

TEST_F(Transaction, ADeviceThatDoesNotAcknowledge)
{
    OrvaneTransfer t{};
    t.DeviceAddr = 0x96;  // nothing there
    t.IoPort = 0x86;
    t.CommandCode = 5;
    EXPECT_EQ(CHIPSET_outport_intel1(&t), 2);
    EXPECT_EQ(CountPrefix("INTR Timeout "), 1);

    channel.Clear();
    t.CommandCode = 4;
    t.InputValue = 0x4242;
    EXPECT_EQ(CHIPSET_inport_intel1(&t), 2);
    EXPECT_EQ(+t.InputValue, 0x4242);
    ASSERT_EQ(channel.trace.size(), 1u) << "a failed read writes only its own line";
    EXPECT_EQ(Reads(kData0), 0);
}

TEST_F(Transaction, AnUnknownKindTimesOutAtTheControlRegister)
{
    OrvaneTransfer t{};
    t.DeviceAddr = 0x94;
    t.IoPort = 0x84;
    t.CommandCode = 4;  // a read code in a write
    EXPECT_EQ(CHIPSET_outport_intel1(&t), 2);
    EXPECT_EQ(Reads(kControl), 200000);
    EXPECT_TRUE(Written(kControl).empty());
    EXPECT_TRUE(Written(kData0).empty());
    ASSERT_EQ(CountPrefix("Timeout (reg2 = "), 1);
    const std::string& line = channel.trace.back();
    EXPECT_EQ(line.substr(line.size() - 6), ") 4\r\n\n") << line;

    channel.Clear();
    t.CommandCode = 5;  // a write code in a read: no line
    EXPECT_EQ(CHIPSET_inport_intel1(&t), 2);
    EXPECT_EQ(Reads(kControl), 200000);
    EXPECT_EQ(channel.trace.size(), 1u);
}

TEST_F(Transaction, AHostThatStaysBusyIsNeverStarted)
{
    ASSERT_NE(hosts->Sequencer(), nullptr);
    hosts->Sequencer()->stuckBusy = true;
    OrvaneTransfer t{};
    t.DeviceAddr = 0x94;
    t.IoPort = 0x84;
    t.CommandCode = 5;
    EXPECT_EQ(CHIPSET_outport_intel1(&t), 2);
    EXPECT_EQ(Reads(kStatus), 200000);
    EXPECT_TRUE(Written(kControl).empty());
    EXPECT_TRUE(channel.Has("x00, 0xFF Timeout (reg0 = 01)\n\n"));

    channel.Clear();
    t.CommandCode = 4;
    t.InputValue = 0x1357;
    EXPECT_EQ(CHIPSET_inport_intel1(&t), 2);
    EXPECT_EQ(Reads(kStatus), 200000);
    EXPECT_TRUE(Written(kControl).empty());
    EXPECT_TRUE(channel.Has("R Timeout (reg0 = 01)\r\n\n"));
    EXPECT_EQ(+t.InputValue, 0x1357);
}

}  // namespace
