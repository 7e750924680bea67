// Transfer requests on the parallel-port and GPIO adapters, through the
// driver's device-control entry down to the wire: the operation codes as the
// routing breaks them into the engines' single-byte reads and writes.
#include "bitbang_fixture.h"

namespace {

using namespace bitbang;

class BitbangTransfer : public Bitbang, public ::testing::WithParamInterface<AdapterCase> {
protected:
    void SetUp() override { Use(GetParam()); }

    // Read transactions of register reg seen on the wire: the command phase
    // (address, reg) followed by the data phase (address + 1, a byte).
    int ReadsOfRegister(uint8_t reg) const
    {
        int n = 0;
        for (int i = 0; i + 1 < wire.LoggedCount(); ++i) {
            const sim::WireTransaction& cmd = wire.Transaction(i);
            const sim::WireTransaction& data = wire.Transaction(i + 1);
            if (cmd.count == 2 && cmd.bytes[0] == kTargetAddr && cmd.bytes[1] == reg &&
                data.count == 2 && data.bytes[0] == (kTargetAddr | 1))
                ++n;
        }
        return n;
    }
};

TEST_P(BitbangTransfer, ByteReadAndWrite)
{
    target.registers[0x21] = 0xB4;
    OrvaneTransfer t = Record(ORVANE_OP_READ_BYTE, 0x21);
    EXPECT_EQ(Transfer(t), STATUS_SUCCESS);
    EXPECT_EQ(+t.InputValue, 0xB4);

    wire.ClearLog();
    t = Record(ORVANE_OP_WRITE_BYTE, 0x22, 0x0F3C);
    EXPECT_EQ(Transfer(t), STATUS_SUCCESS);
    EXPECT_EQ(target.registers[0x22], 0x3C);
    // The write is followed by its read-back, which lands in InputValue.
    EXPECT_EQ(+t.InputValue, 0x3C);
    EXPECT_EQ(t.CommandCode, ORVANE_OP_READ_BYTE);
    const int first = wire.LoggedCount() - 3;  // a GPIO transfer leaves the previous one open
    ASSERT_GE(first, 0);
    const sim::WireEnd between = IsLpt() ? sim::WireEnd::Stop : sim::WireEnd::RepeatedStart;
    ExpectTransaction(first, {0xA0, 0x22, 0x3C}, {true, true, true}, between);
    ExpectTransaction(first + 1, {0xA0, 0x22}, {true, true}, between);
    ExpectTransaction(first + 2, {0xA1, 0x3C}, {true, false},
                      IsLpt() ? sim::WireEnd::Stop : sim::WireEnd::Open);
    ExpectNoDecodingErrors();
    ExpectIdleLines();
}

TEST_P(BitbangTransfer, WordAndBlockCodesMoveOneByte)
{
    target.registers[0x40] = 0x11;
    target.registers[0x41] = 0x22;

    OrvaneTransfer t = Record(ORVANE_OP_READ_WORD, 0x40);
    EXPECT_EQ(Transfer(t), STATUS_SUCCESS);
    EXPECT_EQ(+t.InputValue, 0x11) << "one byte, zero-extended";

    t = Record(ORVANE_OP_WRITE_WORD, 0x40, 0x9988);
    EXPECT_EQ(Transfer(t), STATUS_SUCCESS);
    EXPECT_EQ(target.registers[0x40], 0x88);
    EXPECT_EQ(target.registers[0x41], 0x22) << "the high byte is not sent";
    EXPECT_EQ(+t.InputValue, 0x88);
    EXPECT_EQ(t.CommandCode, ORVANE_OP_READ_WORD);

    // A block read reads register IoPort once; the routing then copies the
    // untouched BlockBuffer into RegisterImage.
    t = Record(ORVANE_OP_READ_BLOCK, 0x41);
    t.BlockOffset = 0x10;
    t.BlockLength = 5;
    std::memset(t.BlockBuffer, 0x5D, sizeof t.BlockBuffer);
    wire.ClearLog();
    EXPECT_EQ(Transfer(t), STATUS_SUCCESS);
    EXPECT_EQ(+t.InputValue, 0x22);
    EXPECT_EQ(ReadsOfRegister(0x41), 1);
    EXPECT_EQ(ReadsOfRegister(0x10), 0) << "BlockOffset is not used";
    for (int i = 0; i < 256; ++i) {
        ASSERT_EQ(t.BlockBuffer[i], 0x5D) << i;
        ASSERT_EQ(t.RegisterImage[i], i >= 0x10 && i < 0x14 ? 0x5D : 0) << i;
    }

    t = Record(ORVANE_OP_WRITE_BLOCK, 0x40, 0x0077);
    t.BlockOffset = 0x40;
    t.BlockWriteCount = 4;
    std::memset(t.BlockBuffer, 0xEE, sizeof t.BlockBuffer);
    EXPECT_EQ(Transfer(t), STATUS_SUCCESS);
    EXPECT_EQ(target.registers[0x40], 0x77) << "the low byte of OutputValue, not BlockBuffer";
    EXPECT_EQ(target.registers[0x41], 0x22);
    ExpectNoDecodingErrors();
}

TEST_P(BitbangTransfer, BlockDumpReadsOneRegisterNineteenTimes)
{
    for (int i = 0; i < 256; ++i)
        target.registers[i] = (uint8_t)(i ^ 0xA5);
    OrvaneTransfer t = Record(ORVANE_OP_DUMP_BLOCKS, 0x07);
    for (int i = 0; i < 256; ++i)
        t.BlockBuffer[i] = (uint8_t)(255 - i);
    EXPECT_EQ(Transfer(t), STATUS_SUCCESS);

    EXPECT_EQ(wire.TransactionCount(), 19 * 2);
    EXPECT_EQ(ReadsOfRegister(0x07), 19);
    EXPECT_EQ(+t.InputValue, 0x07 ^ 0xA5);
    for (int i = 0; i < 256; ++i) {
        ASSERT_EQ(t.BlockBuffer[i], 255 - i) << i;
        ASSERT_EQ(t.RegisterImage[i], 255 - i) << "the unchanged buffer is copied: " << i;
    }
    EXPECT_EQ(t.CommandCode, ORVANE_OP_READ_BLOCK);
    EXPECT_EQ(+t.BlockOffset, 252);
    ExpectNoDecodingErrors();
    ExpectIdleLines();
}

TEST_P(BitbangTransfer, ByteDumpReadsEveryRegister)
{
    for (int i = 0; i < 256; ++i)
        target.registers[i] = (uint8_t)(i * 7 + 3);
    OrvaneTransfer t = Record(ORVANE_OP_DUMP_BYTES, 0);
    EXPECT_EQ(Transfer(t), STATUS_SUCCESS);
    for (int i = 0; i < 256; ++i)
        ASSERT_EQ(t.RegisterImage[i], (uint8_t)(i * 7 + 3)) << i;
    EXPECT_EQ(wire.TransactionCount(), 256 * 2);
    EXPECT_EQ(+t.IoPort, 255);
    ExpectNoDecodingErrors();
    ExpectIdleLines();
}

TEST_P(BitbangTransfer, NothingConnectedStillSucceeds)
{
    bus.Detach(&target);
    OrvaneTransfer t = Record(ORVANE_OP_WRITE_BYTE, 0x05, 0x42);
    EXPECT_EQ(Transfer(t), STATUS_SUCCESS);
    EXPECT_EQ(+t.InputValue, 0xFF) << "the released line reads high";
    t = Record(ORVANE_OP_DUMP_BYTES, 0);
    EXPECT_EQ(Transfer(t), STATUS_SUCCESS);
    for (int i = 0; i < 256; ++i)
        ASSERT_EQ(t.RegisterImage[i], 0xFF) << i;
    ExpectNoDecodingErrors();
    ExpectIdleLines();
}

INSTANTIATE_TEST_SUITE_P(Adapters, BitbangTransfer, ::testing::ValuesIn(kAdapters),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
