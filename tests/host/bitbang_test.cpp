// The bit-banged I2C engines on the parallel port and on display-controller
// GPIO, checked at the wire level: a line model per adapter feeds the wire
// decoder, which hands the bytes to a register target and reports what it saw.
#include "bitbang_fixture.h"

namespace {

using namespace bitbang;

// ---------------------------------------------------------------------------
// Behaviour common to both engines.

class BothEngines : public Bitbang, public ::testing::WithParamInterface<AdapterCase> {
protected:
    void SetUp() override { Use(GetParam()); }
};

TEST_P(BothEngines, ReadLandsTheTargetRegisterInInputValue)
{
    target.registers[0x42] = 0x96;  // 1001 0110: reversed bit order would give 0x69
    target.registers[0x43] = 0x11;
    EXPECT_EQ(Read(0x1242), STATUS_SUCCESS);  // only the low byte of IoPort goes on the wire
    EXPECT_EQ(+ext->Transfer.InputValue, 0x96);
    EXPECT_EQ(target.pointer, 0x43) << "one byte read";
    ExpectNoDecodingErrors();

    ASSERT_EQ(wire.TransactionCount(), 2);
    if (IsLpt()) {
        // Command and data phase are two transactions joined by stop and start.
        ExpectTransaction(0, {0xA0, 0x42}, {true, true}, sim::WireEnd::Stop);
        ExpectTransaction(1, {0xA1, 0x96}, {true, false}, sim::WireEnd::Stop);
    } else {
        // A repeated start between them; the read ends with the closing clock
        // after the not-acknowledge and no stop.
        ExpectTransaction(0, {0xA0, 0x42}, {true, true}, sim::WireEnd::RepeatedStart);
        ExpectTransaction(1, {0xA1, 0x96}, {true, false}, sim::WireEnd::Open);
        EXPECT_EQ(wire.Transaction(1).trailingClocks, 1);
        EXPECT_EQ(wire.PendingClocks(), 0);
    }
    ExpectIdleLines();
}

TEST_P(BothEngines, WriteSendsAddressCommandAndTheLowByte)
{
    EXPECT_EQ(Write(0x0310, 0xC35A), STATUS_SUCCESS);
    EXPECT_EQ(target.registers[0x10], 0x5A);
    EXPECT_EQ(target.registers[0x11], 0x00) << "the high byte is not sent";
    EXPECT_EQ(target.writes, 1u);
    ExpectNoDecodingErrors();

    ASSERT_EQ(wire.TransactionCount(), 1);
    if (IsLpt()) {
        ExpectTransaction(0, {0xA0, 0x10, 0x5A}, {true, true, true}, sim::WireEnd::Stop);
    } else {
        // The closing clock is one clock of SDA high, not yet a byte.
        ExpectTransaction(0, {0xA0, 0x10, 0x5A}, {true, true, true}, sim::WireEnd::Open);
        EXPECT_EQ(wire.PendingClocks(), 1);
    }
    ExpectIdleLines();
}

TEST_P(BothEngines, BackToBackTransactionsDecodeCleanly)
{
    // Edge patterns in the command and data bytes.
    for (int value : {0x00, 0xFF, 0x01, 0x80, 0x7E}) {
        SCOPED_TRACE(value);
        ASSERT_EQ(Write((uint16_t)value, (uint16_t)(value ^ 0x5A)), STATUS_SUCCESS);
        ASSERT_EQ(Read((uint16_t)value), STATUS_SUCCESS);
        EXPECT_EQ(+ext->Transfer.InputValue, value ^ 0x5A);
    }
    ExpectNoDecodingErrors();
    EXPECT_EQ(wire.TransactionCount(), 5 * 3);
    for (int i = 0; i < wire.LoggedCount(); ++i) {
        for (int b = 0; b < wire.Transaction(i).count; ++b) {
            const bool readByte = wire.Transaction(i).IsRead() && b == 1;  // the master refuses it
            EXPECT_EQ(wire.Transaction(i).acked[b], !readByte) << "transaction " << i << " byte " << b;
        }
    }
    ExpectIdleLines();
}

TEST_P(BothEngines, EveryOperationCodeIsASingleByteTransfer)
{
    // Word and block codes move one byte of register IoPort; the block fields
    // and BlockBuffer are left alone.
    struct Case {
        uint8_t code;
        bool write;
    };
    const Case cases[] = {
        {ORVANE_OP_READ_BYTE, false},  {ORVANE_OP_READ_WORD, false},  {ORVANE_OP_READ_BLOCK, false},
        {ORVANE_OP_WRITE_BYTE, true}, {ORVANE_OP_WRITE_WORD, true}, {ORVANE_OP_WRITE_BLOCK, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.code));
        std::memset(target.registers, 0, sizeof target.registers);
        target.registers[0x20] = 0xD2;
        target.registers[0x21] = 0xE7;
        std::memset(ext->Transfer.BlockBuffer, 0x6B, sizeof ext->Transfer.BlockBuffer);
        std::memset(ext->Transfer.RegisterImage, 0x4C, sizeof ext->Transfer.RegisterImage);
        ext->Transfer.BlockOffset = 0x20;
        ext->Transfer.BlockLength = 5;
        ext->Transfer.BlockWriteCount = 4;
        wire.ClearLog();

        if (c.write) {
            ASSERT_EQ(Write(0x20, 0x9981, c.code), STATUS_SUCCESS);
            EXPECT_EQ(target.registers[0x20], 0x81);
            EXPECT_EQ(target.registers[0x21], 0xE7) << "nothing beyond the one byte";
            ASSERT_GE(wire.LoggedCount(), 1);
            EXPECT_EQ(wire.Transaction(wire.LoggedCount() - 1).count, 3);
        } else {
            ASSERT_EQ(Read(0x20, c.code), STATUS_SUCCESS);
            EXPECT_EQ(+ext->Transfer.InputValue, 0xD2);
            // The transaction a GPIO transfer leaves open stays in the log.
            ASSERT_GE(wire.LoggedCount(), 2);
            EXPECT_EQ(wire.Transaction(wire.LoggedCount() - 1).count, 2) << "address and one data byte";
        }
        EXPECT_EQ(+ext->Transfer.CommandCode, c.code);
        EXPECT_EQ(+ext->Transfer.BlockOffset, 0x20);
        EXPECT_EQ(+ext->Transfer.BlockLength, 5);
        for (int i = 0; i < 256; ++i) {
            ASSERT_EQ(ext->Transfer.BlockBuffer[i], 0x6B) << i;
            ASSERT_EQ(ext->Transfer.RegisterImage[i], 0x4C) << i;
        }
    }
    ExpectNoDecodingErrors();
}

TEST_P(BothEngines, AbsentTargetStillSucceedsAndReadsTheReleasedLine)
{
    target.present = false;
    EXPECT_EQ(Write(0x10, 0x77), STATUS_SUCCESS);
    EXPECT_EQ(Read(0x10), STATUS_SUCCESS);
    EXPECT_EQ(+ext->Transfer.InputValue, 0xFF) << "SDA floats high";
    EXPECT_EQ(target.writes, 0u);
    ExpectNoDecodingErrors();
    ASSERT_GE(wire.LoggedCount(), 1);
    EXPECT_EQ(wire.Transaction(0).bytes[0], kTargetAddr);
    EXPECT_FALSE(wire.Transaction(0).acked[0]) << "nobody acknowledged the address";
    ExpectIdleLines();
}

TEST_P(BothEngines, NothingOnTheWireAtAll)
{
    bus.Detach(&target);
    EXPECT_EQ(Read(0x33), STATUS_SUCCESS);
    EXPECT_EQ(+ext->Transfer.InputValue, 0xFF);
    EXPECT_EQ(Write(0x33, 0x12), STATUS_SUCCESS);
    ExpectNoDecodingErrors();
    ExpectIdleLines();
}

TEST_P(BothEngines, EveryLineChangeIsAReadModifyWriteOfOneBit)
{
    target.registers[0x05] = 0xA6;
    machine->StartLog();
    ASSERT_EQ(Write(0x05, 0x3C), STATUS_SUCCESS);
    ASSERT_EQ(Read(0x05), STATUS_SUCCESS);
    machine->StopLog();
    ASSERT_FALSE(machine->logOverflow);
    EXPECT_EQ(+ext->Transfer.InputValue, 0x3C);

    // The accesses other than the bus delay's reads of the post-code port.
    std::vector<sim::Access> log;
    for (int i = 0; i < machine->LogCount(); ++i) {
        const sim::Access& a = machine->LogEntry(i);
        if (a.kind == sim::AccessKind::In8 && a.port == kPostCodePort)
            continue;
        log.push_back(a);
    }
    ASSERT_FALSE(log.empty());

    int writes = 0;
    if (IsLpt()) {
        const USHORT data = kLptBase, control = kLptBase + 2;
        for (size_t i = 0; i < log.size(); ++i) {
            SCOPED_TRACE(testing::Message() << "access " << i);
            const sim::Access& a = log[i];
            ASSERT_TRUE(a.port == data || a.port == control) << a.port;
            if (a.kind == sim::AccessKind::In8 && a.port == data &&
                (i + 1 == log.size() || log[i + 1].kind != sim::AccessKind::Out8))
                continue;  // SDA sampled
            ASSERT_EQ(int(a.kind), int(sim::AccessKind::In8));
            ASSERT_LT(i + 1, log.size());
            const sim::Access& w = log[++i];
            ASSERT_EQ(int(w.kind), int(sim::AccessKind::Out8));
            ASSERT_EQ(w.port, a.port) << "written back to the register just read";
            const uint32_t changed = a.value ^ w.value;
            if (a.port == data)
                EXPECT_EQ(changed & ~0x01u, 0u) << "only SDA changes in the data port";
            else
                EXPECT_TRUE(changed == 0 || changed == 0x01 || changed == 0x20)
                    << "one of SCL and direction at a time: " << changed;
            ++writes;
        }
    } else {
        const USHORT index = kGpioBase, dataPort = kGpioBase + 4;
        for (size_t i = 0; i < log.size(); ++i) {
            SCOPED_TRACE(testing::Message() << "access " << i);
            const sim::Access& sel = log[i];
            ASSERT_EQ(int(sel.kind), int(sim::AccessKind::Out32));
            ASSERT_EQ(sel.port, index);
            ASSERT_EQ(sel.value, wiredRegister);
            ASSERT_LT(i + 1, log.size());
            const sim::Access& r = log[++i];
            ASSERT_EQ(int(r.kind), int(sim::AccessKind::In32));
            ASSERT_EQ(r.port, dataPort);
            if (i + 1 < log.size() && log[i + 1].port == dataPort) {
                const sim::Access& w = log[++i];
                ASSERT_EQ(int(w.kind), int(sim::AccessKind::Out32));
                const uint32_t changed = r.value ^ w.value;
                EXPECT_EQ(changed & ~kGpioLineBits, 0u) << "bits other than 0, 1, 16, 17 kept";
                EXPECT_TRUE((changed & ~0x00010001u) == 0 || (changed & ~0x00020002u) == 0)
                    << "one line at a time: " << changed;
                ++writes;
            }
        }
    }
    EXPECT_GT(writes, 9 * 6) << "the lines were clocked";
    ExpectNoDecodingErrors();
}

TEST_P(BothEngines, BusPhasesAreTimedByTheIoDelay)
{
    ASSERT_EQ(Write(0x01, 0x02), STATUS_SUCCESS);
    // Benchmark, not a limit: report the simulated bus time of one write.
    const sim::Nanos t = machine->Now();
    RecordProperty("write_simulated_us", (int)(t / 1000));
    uint32_t delays = 0;
    machine->StartLog();
    ASSERT_EQ(Write(0x01, 0x02), STATUS_SUCCESS);
    machine->StopLog();
    for (int i = 0; i < machine->LogCount(); ++i)
        if (machine->LogEntry(i).port == kPostCodePort)
            ++delays;
    EXPECT_EQ(delays % 15, 0u) << "whole delays of 15 reads";
    EXPECT_GE(delays / 15, 3u * 9 * 2) << "at least two delays per clock";
}

INSTANTIATE_TEST_SUITE_P(Adapters, BothEngines, ::testing::ValuesIn(kAdapters),
                         [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------
// The GPIO register by interface type and display controller.

class GpioRegisterChoice : public Bitbang, public ::testing::WithParamInterface<AdapterCase> {};

TEST_P(GpioRegisterChoice, OnlyTheChosenRegisterIsTouched)
{
    const AdapterCase& c = GetParam();
    UseGpio(c.type, c.deviceId, c.gpioRegister);
    target.registers[0x07] = 0x4D;
    ASSERT_EQ(Read(0x07), STATUS_SUCCESS);
    EXPECT_EQ(+ext->Transfer.InputValue, 0x4D);
    ASSERT_EQ(Write(0x08, 0x19), STATUS_SUCCESS);
    EXPECT_EQ(target.registers[0x08], 0x19);
    ExpectNoDecodingErrors();
    for (uint32_t reg : {0x60u, 0x64u, 0x68u, 0x6Cu}) {
        if (reg == c.gpioRegister)
            continue;
        const int slot = (int)(reg / 4);
        EXPECT_EQ(gpio.dataReads[slot] + gpio.dataWrites[slot], 0u) << "register " << reg;
    }
    EXPECT_GT(gpio.dataWrites[c.gpioRegister / 4], 0u);
}

const AdapterCase kGpioChoices[] = {
    {"type4", ORVANE_IF_GPIO_A, 0x4144, 0x60},
    {"type5", ORVANE_IF_GPIO_B, 0x554D, 0x64},
    {"type6_4144", ORVANE_IF_GPIO_C, 0x4144, 0x68},
    {"type6_4150", ORVANE_IF_GPIO_C, 0x4150, 0x68},
    {"type6_4152", ORVANE_IF_GPIO_C, 0x4152, 0x68},
    {"type6_554D", ORVANE_IF_GPIO_C, 0x554D, 0x68},
    {"type6_5E4B", ORVANE_IF_GPIO_C, 0x5E4B, 0x68},
    {"type6_554E", ORVANE_IF_GPIO_C, 0x554E, 0x6C},
    {"type6_4151", ORVANE_IF_GPIO_C, 0x4151, 0x6C},
    {"type6_none", ORVANE_IF_GPIO_C, 0x0000, 0x6C},
};

INSTANTIATE_TEST_SUITE_P(ByTypeAndDevice, GpioRegisterChoice, ::testing::ValuesIn(kGpioChoices),
                         [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------
// Details of each adapter's line sequences.

using LptLines = Bitbang;

TEST_F(LptLines, ReadsSdaOnlyWithThePortTurnedAround)
{
    UseLpt();
    // Pins 1-7 of a released data port read low here: the engine must look at
    // bit 0 only.
    lpt.floatingPins = 0x00;
    target.registers[0x09] = 0x5B;
    ASSERT_EQ(Read(0x09), STATUS_SUCCESS);
    EXPECT_EQ(+ext->Transfer.InputValue, 0x5B);
    ExpectNoDecodingErrors();
    ExpectIdleLines();
}

TEST_F(LptLines, StartsFromTheLevelsTheLastStopLeft)
{
    UseLpt();
    ASSERT_EQ(Write(0x01, 0x01), STATUS_SUCCESS);
    // After the stop: SCL high, SDA high, the port driving, so the next
    // start is a falling SDA with SCL high.
    EXPECT_EQ(lpt.control & (sim::ParallelPort::kControlStrobe | sim::ParallelPort::kControlInput), 0);
    ASSERT_EQ(Write(0x02, 0x02), STATUS_SUCCESS);
    ASSERT_EQ(wire.TransactionCount(), 2);
    EXPECT_EQ(int(wire.Transaction(0).end), int(sim::WireEnd::Stop));
    EXPECT_EQ(wire.idleClocks, 0u);
    ExpectNoDecodingErrors();
}

using GpioLines = Bitbang;

TEST_F(GpioLines, ConsecutiveTransactionsJoinByStartConditions)
{
    UseGpio(ORVANE_IF_GPIO_B, 0, 0x64);
    target.registers[0x30] = 0x01;
    ASSERT_EQ(Write(0x31, 0xFE), STATUS_SUCCESS);
    ASSERT_EQ(Read(0x30), STATUS_SUCCESS);
    ASSERT_EQ(Read(0x31), STATUS_SUCCESS);
    EXPECT_EQ(+ext->Transfer.InputValue, 0xFE);
    ASSERT_EQ(wire.TransactionCount(), 5);
    // The write's closing clock becomes the clock before the next start.
    ExpectTransaction(0, {0xA0, 0x31, 0xFE}, {true, true, true}, sim::WireEnd::RepeatedStart);
    EXPECT_EQ(wire.Transaction(0).trailingClocks, 1);
    ExpectTransaction(1, {0xA0, 0x30}, {true, true}, sim::WireEnd::RepeatedStart);
    ExpectTransaction(2, {0xA1, 0x01}, {true, false}, sim::WireEnd::RepeatedStart);
    ExpectTransaction(4, {0xA1, 0xFE}, {true, false}, sim::WireEnd::Open);
    ExpectNoDecodingErrors();
    ExpectIdleLines();
}

TEST_F(GpioLines, FirstStartFromReleasedLines)
{
    // Before the first transaction the controller left both pins as inputs;
    // the start only clears SDA and then SCL.
    UseGpio(ORVANE_IF_GPIO_A, 0, 0x60);
    EXPECT_TRUE(wire.Sda());
    EXPECT_TRUE(wire.Scl());
    target.registers[0x00] = 0x80;
    ASSERT_EQ(Read(0x00), STATUS_SUCCESS);
    EXPECT_EQ(+ext->Transfer.InputValue, 0x80);
    EXPECT_EQ(wire.idleClocks, 0u);
    ExpectNoDecodingErrors();
}

// ---------------------------------------------------------------------------
// The decoder itself, driven by hand: what it must refuse.

class WireDecoder : public ::testing::Test {
public:
    WireDecoder()
    {
        target.address8 = kTargetAddr;
        bus.Attach(&target);
        wire.Connect(&bus);
    }
    void Lines(bool sda, bool scl) { wire.Drive(sda, scl); }
    void Start() { Lines(true, true); Lines(false, true); Lines(false, false); }
    void Bit(bool b) { Lines(b, false); Lines(b, true); Lines(b, false); }
    void Byte(uint8_t v, int bits = 8)
    {
        for (int i = 7; i >= 8 - bits; --i)
            Bit((v >> i) & 1);
    }
    bool AckClock()
    {
        Lines(true, false);
        Lines(true, true);
        const bool ack = !wire.Sda();
        Lines(true, false);
        return ack;
    }
    void Stop() { Lines(false, false); Lines(false, true); Lines(true, true); }

    sim::I2cBus bus;
    sim::RegisterTarget target;
    sim::I2cWire wire;
};

TEST_F(WireDecoder, CleanWriteAndReadDecode)
{
    Start();
    Byte(0xA0);
    EXPECT_TRUE(AckClock());
    Byte(0x04);
    EXPECT_TRUE(AckClock());
    Byte(0xE1);
    EXPECT_TRUE(AckClock());
    Stop();
    EXPECT_EQ(target.registers[4], 0xE1);
    Start();
    Byte(0xA0);
    AckClock();
    Byte(0x04);
    AckClock();
    Lines(true, false);
    Lines(true, true);
    Lines(false, true);  // repeated start
    Lines(false, false);
    Byte(0xA1);
    EXPECT_TRUE(AckClock());
    uint8_t got = 0;
    for (int i = 0; i < 8; ++i) {
        Lines(true, true);
        got = (uint8_t)(got << 1 | (wire.Sda() ? 1 : 0));
        Lines(true, false);
    }
    EXPECT_FALSE(AckClock()) << "master's not-acknowledge";
    Stop();
    EXPECT_EQ(got, 0xE1);
    EXPECT_EQ(wire.ErrorCount(), 0);
    ASSERT_EQ(wire.TransactionCount(), 3);
    EXPECT_EQ(int(wire.Transaction(1).end), int(sim::WireEnd::RepeatedStart));
    EXPECT_EQ(wire.Transaction(2).bytes[1], 0xE1);
}

TEST_F(WireDecoder, RecordsWhatAReceiverCannotDecode)
{
    struct Case {
        const char* name;
        void (*run)(WireDecoder&);
        sim::WireError error;
    };
    const Case cases[] = {
        {"start after three bits", [](WireDecoder& w) { w.Start(); w.Byte(0xA0, 3); w.Start(); },
         sim::WireError::ByteCutShort},
        {"stop after eight bits, no acknowledge clock",
         [](WireDecoder& w) {
             w.Start(); w.Byte(0xA0, 7);
             w.Lines(false, false); w.Lines(false, true);  // eighth clock
             w.Lines(true, true);
         },
         sim::WireError::ByteCutShort},
        {"master pulls SDA while the target sends a 1",
         [](WireDecoder& w) {
             w.target.registers[0] = 0xFF;
             w.Start(); w.Byte(0xA1); w.AckClock();
             w.Lines(true, true); w.Lines(false, true);
         },
         sim::WireError::DataWhileClockHigh},
        {"both lines at once", [](WireDecoder& w) { w.Lines(false, false); }, sim::WireError::BothLinesChanged},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WireDecoder* fresh = this;
        fresh->wire = sim::I2cWire();
        fresh->wire.Connect(&bus);
        fresh->bus.Stop();
        c.run(*fresh);
        ASSERT_GE(fresh->wire.ErrorCount(), 1);
        EXPECT_EQ(int(fresh->wire.Error(0)), int(c.error));
    }
}

}  // namespace
