// The transfer request on the AMD, VIA, ALi, SiS and NVIDIA boards: every
// operation code through the routing to the engine of the vendor that
// selection found, down to the controller model and the target.
#include "chipset_fixture.h"

#include <string>

namespace chipsets {
namespace {

using Transfers = ChipsetOnBoard;

TEST_P(Transfers, ByteAndWordOperations)
{
    OrvaneTransfer t = Record(ORVANE_OP_READ_BYTE, 0x3C);
    ASSERT_EQ(Transfer(t), STATUS_SUCCESS);
    EXPECT_EQ(USHORT(t.InputValue), 0x3C ^ 0x5A);

    t = Record(ORVANE_OP_WRITE_BYTE, 0x3C, 0x1177);
    ASSERT_EQ(Transfer(t), STATUS_SUCCESS);
    EXPECT_EQ(target.registers[0x3C], 0x77);
    EXPECT_EQ(t.CommandCode, ORVANE_OP_READ_BYTE) << "the read-back leaves its code";
    EXPECT_EQ(USHORT(t.InputValue), 0x77);

    t = Record(ORVANE_OP_READ_WORD, 0x50);
    ASSERT_EQ(Transfer(t), STATUS_SUCCESS);
    EXPECT_EQ(USHORT(t.InputValue), (0x50 ^ 0x5A) | (0x51 ^ 0x5A) << 8);

    t = Record(ORVANE_OP_WRITE_WORD, 0x60, 0xBEEF);
    ASSERT_EQ(Transfer(t), STATUS_SUCCESS);
    EXPECT_EQ(t.CommandCode, ORVANE_OP_READ_WORD);
    EXPECT_EQ(USHORT(t.InputValue), 0xBEEF);
    EXPECT_EQ(target.registers[0x60], 0xEF);
    EXPECT_EQ(target.registers[0x61], 0xBE);
    EXPECT_EQ(other.writes, 0u) << "nothing on the other channel";
}

TEST_P(Transfers, RegisterDumpByBytes)
{
    OrvaneTransfer t = Record(ORVANE_OP_DUMP_BYTES);
    ASSERT_EQ(Transfer(t), STATUS_SUCCESS);
    EXPECT_EQ(0, std::memcmp(t.RegisterImage, target.registers, 256));
    EXPECT_EQ(t.CommandCode, ORVANE_OP_READ_BYTE);
    EXPECT_EQ(USHORT(t.IoPort), 255);
}

TEST_P(Transfers, BlockOperations)
{
    OrvaneTransfer t = Record(ORVANE_OP_READ_BLOCK);
    t.BlockOffset = 0x20;
    t.BlockLength = 15;
    const NTSTATUS read = Transfer(t);
    if (HasBlocks()) {
        ASSERT_EQ(read, STATUS_SUCCESS);
        for (int i = 0; i < 256; ++i) {
            const uint8_t expected = i >= 0x20 && i < 0x2E ? target.registers[i] : 0;
            EXPECT_EQ(t.RegisterImage[i], expected) << "byte " << i;
        }
    } else {
        // No block engine: SiS runs out its wait; NVIDIA finds nothing done
        // on a controller that has not run a transfer yet. The record still
        // comes back, with nothing read.
        EXPECT_EQ(read, STATUS_TIMEOUT);
        for (int i = 0; i < 256; ++i)
            EXPECT_EQ(t.RegisterImage[i], 0) << "byte " << i;
    }

    t = Record(ORVANE_OP_WRITE_BLOCK);
    t.BlockOffset = 0x90;
    t.BlockWriteCount = 10;
    for (int i = 0; i < 256; ++i)
        t.BlockBuffer[i] = (uint8_t)(0xC0 + i);
    // The next request comes well after the block read's stop.
    board->machine.Advance(1000000);
    const NTSTATUS write = Transfer(t);
    if (HasBlocks()) {
        EXPECT_EQ(write, STATUS_SUCCESS);
        for (int i = 0x8E; i < 0x9C; ++i)
            EXPECT_EQ(target.registers[i], i >= 0x90 && i < 0x9A ? (uint8_t)(0xC0 + i) : (uint8_t)(i ^ 0x5A))
                << "register " << i;
    } else {
        EXPECT_EQ(write, STATUS_TIMEOUT);
        EXPECT_EQ(target.writes, 0u);
    }
}

TEST_P(Transfers, RefusedBlockRecordsReachNoPort)
{
    OrvaneTransfer read = Record(ORVANE_OP_READ_BLOCK);
    read.BlockOffset = 0x20;
    read.BlockLength = 16;
    OrvaneTransfer write = Record(ORVANE_OP_WRITE_BLOCK);
    write.BlockOffset = 250;
    write.BlockWriteCount = 7;
    const uint32_t accesses = board->machine.portAccessCount;
    EXPECT_EQ(Transfer(read), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(Transfer(write), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(board->machine.portAccessCount, accesses);
    EXPECT_EQ(target.writes, 0u);
}

TEST_P(Transfers, RegisterDumpByBlocks)
{
    OrvaneTransfer t = Record(ORVANE_OP_DUMP_BLOCKS);
    ASSERT_EQ(Transfer(t), STATUS_SUCCESS);
    EXPECT_EQ(t.CommandCode, ORVANE_OP_READ_BLOCK);
    EXPECT_EQ(t.BlockLength, 15);
    EXPECT_EQ(t.BlockOffset, 252);
    if (HasBlocks()) {
        EXPECT_EQ(0, std::memcmp(t.RegisterImage, target.registers, 256));
        EXPECT_EQ(0, std::memcmp(t.BlockBuffer, target.registers, 256));
    }
}

INSTANTIATE_TEST_SUITE_P(Boards, Transfers, ::testing::ValuesIn(kBoards),
                         [](const ::testing::TestParamInfo<BoardCase>& i) { return std::string(i.param.name); });

// AMD and VIA share their write routine: the same port sequence whichever of
// the two vendors selection found.
class AmdViaWrites : public BoardWithChipset {};

TEST_F(AmdViaWrites, SameSequenceOnBothVendors)
{
    std::vector<std::pair<uint16_t, uint32_t>> sequences[2];
    const BoardCase cases[2] = {kBoards[0], kBoards[3]};  // amd_4385, via_smbus
    for (int n = 0; n < 2; ++n) {
        SCOPED_TRACE(cases[n].name);
        Build(cases[n]);
        const uint16_t base = board->spec->hostBase;
        OrvaneTransfer t = Record(ORVANE_OP_WRITE_WORD, 0x44, 0x1234);
        t.CommandCode = ORVANE_OP_WRITE_BLOCK;
        t.BlockOffset = 0x40;
        t.BlockWriteCount = 3;
        board->machine.StartLog();
        ASSERT_EQ(Transfer(t), STATUS_SUCCESS);
        t.CommandCode = ORVANE_OP_WRITE_WORD;
        ASSERT_EQ(Transfer(t), STATUS_SUCCESS);
        board->machine.StopLog();
        ASSERT_FALSE(board->machine.logOverflow);
        for (int i = 0; i < board->machine.LogCount(); ++i) {
            const sim::Access& a = board->machine.LogEntry(i);
            if (a.kind == sim::AccessKind::Out8 && a.port >= base && a.port < base + 0x20)
                sequences[n].emplace_back((uint16_t)(a.port - base), a.value);
        }
    }
    EXPECT_FALSE(sequences[0].empty());
    EXPECT_EQ(sequences[0], sequences[1]);
}

}  // namespace
}  // namespace chipsets
