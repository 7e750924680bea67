// The AMD, VIA, ALi, SiS and NVIDIA engines behind a real selection on the
// ready-made boards: the base, vendor and ISA bridge that selection leaves are
// the ones the engines and the controller model at that base agree on.
#include "board_fixture.h"

#include <string>

#include "boards.h"
#include "i2c.h"
#include "orvane_engines.h"
#include "smbus_hosts.h"

namespace {

using sim::BoardId;

constexpr uint8_t kTarget = 0xA0;

struct alignas(sim::Board) BoardStorage {
    unsigned char bytes[sizeof(sim::Board)];
};

struct BoardCase {
    const char* name;
    BoardId board;
    ULONG type;
    bool secondChannel;
};

const BoardCase kBoards[] = {
    {"amd_4385", BoardId::Amd4385, ORVANE_IF_AMD, false},
    {"amd_790b", BoardId::Amd790B, ORVANE_IF_AMD, false},
    {"amd_other", BoardId::AmdOther, ORVANE_IF_AMD, false},
    {"via_smbus", BoardId::ViaSmbus, ORVANE_IF_VIA, false},
    {"via_isa_only", BoardId::ViaIsaOnly, ORVANE_IF_VIA, false},
    {"ali_1563", BoardId::Ali1563, ORVANE_IF_ALI, false},
    {"ali_other", BoardId::Ali1533, ORVANE_IF_ALI, false},
    {"sis_0008", BoardId::Sis0008, ORVANE_IF_SIS, false},
    {"sis_0964", BoardId::Sis0964, ORVANE_IF_SIS, false},
    {"sis_0968", BoardId::Sis0968, ORVANE_IF_SIS, false},
    {"nvidia_old_ch1", BoardId::NvidiaOld, ORVANE_IF_NVIDIA_1, false},
    {"nvidia_old_ch2", BoardId::NvidiaOld, ORVANE_IF_NVIDIA_2, true},
    {"nvidia_new_ch1", BoardId::NvidiaNew, ORVANE_IF_NVIDIA_1, false},
    {"nvidia_new_ch2", BoardId::NvidiaNew, ORVANE_IF_NVIDIA_2, true},
};

class SelectedChipset : public BoardTest, public ::testing::WithParamInterface<BoardCase> {
protected:
    ~SelectedChipset() override
    {
        if (board != nullptr)
            board->~Board();
    }

    void SetUp() override
    {
        const BoardCase& c = GetParam();
        storage = std::make_unique<BoardStorage>();
        board = sim::BuildBoard(storage.get(), sizeof(BoardStorage), c.board);
        ASSERT_NE(board, nullptr);
        sim::SetCurrent(&board->machine);
        target.address8 = kTarget;
        other.address8 = kTarget;
        for (int i = 0; i < 256; ++i) {
            target.registers[i] = (uint8_t)(i ^ 0x5A);
            other.registers[i] = (uint8_t)~i;
        }
        // The channel under test carries the target; on NVIDIA boards the
        // other channel carries a second device at the same address.
        sim::I2cBus& mine = c.secondChannel ? board->smbus2 : board->smbus;
        sim::I2cBus& theirs = c.secondChannel ? board->smbus : board->smbus2;
        ASSERT_TRUE(mine.Attach(&target));
        ASSERT_TRUE(theirs.Attach(&other));
        sim::Machine* m = &board->machine;
        const uint16_t base = board->spec->hostBase, base2 = board->spec->hostBase2;
        switch (board->spec->host) {
        case sim::BoardHost::Amd:
        case sim::BoardHost::Via:
            amd.Connect(m, base, &board->smbus);
            ASSERT_TRUE(board->AttachHost(&amd));
            break;
        case sim::BoardHost::Ali:
            ali.Connect(m, base, &board->smbus);
            ASSERT_TRUE(board->AttachHost(&ali));
            break;
        case sim::BoardHost::Sis: {
            // The 0x0968 south bridges moved the data registers.
            const bool moved = board->Function(0x1039, 0x0968) != nullptr;
            sis.Connect(m, base, &board->smbus,
                        moved ? sim::SisSmbus::Variant::DataAt10 : sim::SisSmbus::Variant::DataAt8);
            ASSERT_TRUE(board->AttachHost(&sis));
            break;
        }
        case sim::BoardHost::Nvidia:
            nvidia.Connect(m, base, &board->smbus);
            nvidia2.Connect(m, base2, &board->smbus2);
            ASSERT_TRUE(board->AttachHost(&nvidia));
            ASSERT_TRUE(board->AttachHost(&nvidia2, true));
            break;
        default:
            FAIL() << "not a board of these engines";
        }
        ULONG type = c.type;
        std::vector<unsigned char> buffer(4);
        std::memcpy(buffer.data(), &type, 4);
        ASSERT_EQ(Send(IOCTL_ORVANE_SELECT_INTERFACE, buffer, 4, 0).status, STATUS_SUCCESS);
        ASSERT_EQ((USHORT)ext->SmbusBase, c.secondChannel ? base2 : base);
    }

    // The engine pair of the vendor that selection found.
    using Engine = NTSTATUS (*)(OrvaneDeviceExtension*);
    Engine Pick(bool read) const
    {
        switch (ext->ChipsetBridge.VendorId) {
        case 0x1022: return read ? SmbusAmdRead : SmbusAmdViaWrite;
        case 0x1106: return read ? SmbusViaRead : SmbusAmdViaWrite;
        case 0x10B9: return read ? SmbusAliRead : SmbusAliWrite;
        case 0x1039: return read ? SmbusSisRead : SmbusSisWrite;
        case 0x10DE: return read ? SmbusNvidiaRead : SmbusNvidiaWrite;
        default: return nullptr;
        }
    }

    std::unique_ptr<BoardStorage> storage;
    sim::Board* board = nullptr;
    sim::RegisterTarget target, other;
    sim::AmdViaSmbus amd;
    sim::AliSmbus ali;
    sim::SisSmbus sis;
    sim::NvidiaSmbus nvidia, nvidia2;
};

TEST_P(SelectedChipset, WordWriteAndReadBackReachTheTarget)
{
    ASSERT_NE(Pick(true), nullptr) << "vendor " << std::hex << ext->ChipsetBridge.VendorId;
    OrvaneTransfer& t = ext->Transfer;
    std::memset(&t, 0, sizeof t);
    t.DeviceAddr = kTarget;
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
