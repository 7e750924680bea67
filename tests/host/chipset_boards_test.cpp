// The AMD, VIA, ALi, SiS and NVIDIA engines behind a real selection on the
// ready-made boards: the base, vendor and ISA bridge that selection leaves are
// the ones the engines and the controller model at that base agree on.
#include "chipset_fixture.h"

#include <string>

namespace chipsets {
namespace {

using SelectedChipset = ChipsetOnBoard;

TEST_P(SelectedChipset, WordWriteAndReadBackReachTheTarget)
{
    ASSERT_NE(Pick(true), nullptr) << "vendor " << std::hex << ext->ChipsetBridge.VendorId;
    OrvaneTransfer& t = ext->Transfer;
    std::memset(&t, 0, sizeof t);
    t.DeviceAddr = kTargetAddr;
    t.IoPort = 0x3C;
    t.OutputValue = 0xC3A5;
    t.CommandCode = ORVANE_OP_WRITE_WORD;
    ASSERT_EQ(Pick(false)(ext.get()), STATUS_SUCCESS);
    EXPECT_EQ(target.registers[0x3C], 0xA5);
    EXPECT_EQ(target.registers[0x3D], 0xC3);
    t.CommandCode = ORVANE_OP_READ_WORD;
    ASSERT_EQ(Pick(true)(ext.get()), STATUS_SUCCESS);
    EXPECT_EQ(USHORT(t.InputValue), 0xC3A5);
    t.IoPort = 0x80;
    t.CommandCode = ORVANE_OP_READ_BYTE;
    ASSERT_EQ(Pick(true)(ext.get()), STATUS_SUCCESS);
    EXPECT_EQ(USHORT(t.InputValue), 0x80 ^ 0x5A);
    EXPECT_EQ(other.writes, 0u);
}

INSTANTIATE_TEST_SUITE_P(Boards, SelectedChipset, ::testing::ValuesIn(kBoards),
                         [](const ::testing::TestParamInfo<BoardCase>& i) { return std::string(i.param.name); });

}  // namespace
}  // namespace chipsets
