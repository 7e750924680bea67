// Selection and transfer end to end through the device-control entry: on
// each ready-made board, with the board's adapter model at the base it names,
// IOCTL_ORVANE_SELECT_INTERFACE finds the adapter and IOCTL_ORVANE_TRANSFER
// then reads a byte of a target behind it.
#include "board_fixture.h"

#include <string>

#include "boards.h"
#include "chipset_hosts.h"
#include "orvane_ioctl.h"

namespace {

using sim::BoardId;

constexpr uint8_t kTarget = 0xA0;
constexpr uint8_t kRegister = 0x3C;
constexpr uint8_t kPattern = 0x5A;

enum class Adapter : uint8_t { Chipset, Gpio, Parallel };

struct Case {
    const char* name;
    BoardId board;
    ULONG type;
    Adapter adapter;
    uint32_t gpioRegister;  // the register whose pins carry the bus (GPIO boards)
    bool secondChannel;     // the target sits on the second NVIDIA channel
};

const Case kCases[] = {
    {"intel_2410", BoardId::Intel2410, ORVANE_IF_INTEL, Adapter::Chipset, 0, false},
    {"intel_2420", BoardId::Intel2420, ORVANE_IF_INTEL, Adapter::Chipset, 0, false},
    {"intel_2440", BoardId::Intel2440, ORVANE_IF_INTEL, Adapter::Chipset, 0, false},
    {"intel_244c", BoardId::Intel244C, ORVANE_IF_INTEL, Adapter::Chipset, 0, false},
    {"intel_24c0", BoardId::Intel24C0, ORVANE_IF_INTEL, Adapter::Chipset, 0, false},
    {"intel_8119", BoardId::Intel8119, ORVANE_IF_INTEL, Adapter::Chipset, 0, false},
    {"intel_other", BoardId::IntelIch7, ORVANE_IF_INTEL, Adapter::Chipset, 0, false},
    {"amd_4385", BoardId::Amd4385, ORVANE_IF_AMD, Adapter::Chipset, 0, false},
    {"amd_790b", BoardId::Amd790B, ORVANE_IF_AMD, Adapter::Chipset, 0, false},
    {"amd_other", BoardId::AmdOther, ORVANE_IF_AMD, Adapter::Chipset, 0, false},
    {"via_smbus", BoardId::ViaSmbus, ORVANE_IF_VIA, Adapter::Chipset, 0, false},
    {"via_isa_only", BoardId::ViaIsaOnly, ORVANE_IF_VIA, Adapter::Chipset, 0, false},
    {"ali_1563", BoardId::Ali1563, ORVANE_IF_ALI, Adapter::Chipset, 0, false},
    {"ali_other", BoardId::Ali1533, ORVANE_IF_ALI, Adapter::Chipset, 0, false},
    {"sis_0008", BoardId::Sis0008, ORVANE_IF_SIS, Adapter::Chipset, 0, false},
    {"sis_0964", BoardId::Sis0964, ORVANE_IF_SIS, Adapter::Chipset, 0, false},
    {"sis_0965", BoardId::Sis0965, ORVANE_IF_SIS, Adapter::Chipset, 0, false},
    {"sis_0968", BoardId::Sis0968, ORVANE_IF_SIS, Adapter::Chipset, 0, false},
    {"nvidia_old_ch1", BoardId::NvidiaOld, ORVANE_IF_NVIDIA_1, Adapter::Chipset, 0, false},
    {"nvidia_old_ch2", BoardId::NvidiaOld, ORVANE_IF_NVIDIA_2, Adapter::Chipset, 0, true},
    {"nvidia_new_ch1", BoardId::NvidiaNew, ORVANE_IF_NVIDIA_1, Adapter::Chipset, 0, false},
    {"nvidia_new_ch2", BoardId::NvidiaNew, ORVANE_IF_NVIDIA_2, Adapter::Chipset, 0, true},
    {"nvidia_io_005c", BoardId::NvidiaIo5C, ORVANE_IF_NVIDIA_1, Adapter::Chipset, 0, false},
    {"nvidia_io_003d", BoardId::NvidiaIo3D, ORVANE_IF_NVIDIA_2, Adapter::Chipset, 0, true},
    {"gpio_a", BoardId::DisplayBar4, ORVANE_IF_GPIO_A, Adapter::Gpio, 0x60, false},
    {"gpio_b", BoardId::DisplayBar4, ORVANE_IF_GPIO_B, Adapter::Gpio, 0x64, false},
    {"gpio_c_listed", BoardId::DisplayBar4, ORVANE_IF_GPIO_C, Adapter::Gpio, 0x68, false},
    {"gpio_c_bar1", BoardId::DisplayBar1, ORVANE_IF_GPIO_C, Adapter::Gpio, 0x6C, false},
    {"parallel", BoardId::Parallel, ORVANE_IF_PARALLEL, Adapter::Parallel, 0, false},
};

struct alignas(sim::Board) BoardStorage {
    unsigned char bytes[sizeof(sim::Board)];
};

class SelectThenTransfer : public BoardTest, public ::testing::WithParamInterface<Case> {
protected:
    ~SelectThenTransfer() override
    {
        if (board != nullptr)
            board->~Board();
    }

    std::unique_ptr<BoardStorage> storage = std::make_unique<BoardStorage>();
    std::unique_ptr<sim::ChipsetHosts> hosts = std::make_unique<sim::ChipsetHosts>();
    sim::Board* board = nullptr;
    sim::RegisterTarget target, other;
};

TEST_P(SelectThenTransfer, ReadsAByteBehindTheFoundAdapter)
{
    const Case& c = GetParam();
    board = sim::BuildBoard(storage.get(), sizeof(BoardStorage), c.board);
    ASSERT_NE(board, nullptr);
    sim::SetCurrent(&board->machine);
    target.address8 = kTarget;
    other.address8 = kTarget;
    for (int i = 0; i < 256; ++i) {
        target.registers[i] = (uint8_t)(i ^ kPattern);
        other.registers[i] = (uint8_t)~i;
    }
    // On NVIDIA boards the other channel has a device at the same address,
    // so a read on the wrong channel shows.
    ASSERT_TRUE((c.secondChannel ? board->smbus2 : board->smbus).Attach(&target));
    ASSERT_TRUE((c.secondChannel ? board->smbus : board->smbus2).Attach(&other));
    switch (c.adapter) {
    case Adapter::Chipset: ASSERT_TRUE(hosts->Equip(*board)); break;
    case Adapter::Gpio: ASSERT_TRUE(board->EquipGpio(c.gpioRegister)); break;
    case Adapter::Parallel: ASSERT_TRUE(board->EquipParallel()); break;
    }

    ULONG type = c.type;
    std::vector<unsigned char> select(4);
    std::memcpy(select.data(), &type, 4);
    ASSERT_EQ(Send(IOCTL_ORVANE_SELECT_INTERFACE, select, 4, 0).status, STATUS_SUCCESS);

    OrvaneTransfer t{};
    t.DeviceAddr = kTarget;
    t.IoPort = kRegister;
    t.CommandCode = ORVANE_OP_READ_BYTE;
    const Reply r = SendRecord(IOCTL_ORVANE_TRANSFER, t);
    EXPECT_EQ(r.status, STATUS_SUCCESS);
    EXPECT_EQ(r.bytes, sizeof(OrvaneTransfer));
    EXPECT_EQ(USHORT(t.InputValue), kRegister ^ kPattern);
    EXPECT_EQ(t.CommandCode, ORVANE_OP_READ_BYTE);
    EXPECT_EQ(other.writes, 0u);
}

INSTANTIATE_TEST_SUITE_P(Boards, SelectThenTransfer, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Case>& i) { return std::string(i.param.name); });

}  // namespace

namespace {

// The default board of the test driver: the controller at 0x94 answers its
// identification behind the Intel host that selection finds.
TEST_F(BoardTest, TheDefaultIntelBoardReachesTheController)
{
    auto storage = std::make_unique<BoardStorage>();
    auto hosts = std::make_unique<sim::ChipsetHosts>();
    sim::Board* board = sim::BuildIntelBoard(storage.get(), sizeof(BoardStorage));
    ASSERT_NE(board, nullptr);
    sim::SetCurrent(&board->machine);
    ASSERT_TRUE(hosts->Equip(*board));

    ULONG type = ORVANE_IF_INTEL;
    std::vector<unsigned char> select(4);
    std::memcpy(select.data(), &type, 4);
    ASSERT_EQ(Send(IOCTL_ORVANE_SELECT_INTERFACE, select, 4, 0).status, STATUS_SUCCESS);

    USHORT id = 0;
    for (uint8_t reg : {sim::R39218::kRegIdLow, sim::R39218::kRegIdHigh}) {
        OrvaneTransfer t{};
        t.DeviceAddr = sim::R39218::kDefaultAddress8;
        t.IoPort = reg;
        t.CommandCode = ORVANE_OP_READ_BYTE;
        ASSERT_EQ(SendRecord(IOCTL_ORVANE_TRANSFER, t).status, STATUS_SUCCESS);
        id = (USHORT)(id >> 8 | (USHORT(t.InputValue) & 0xFF) << 8);
    }
    EXPECT_EQ(id, sim::R39218::kChipId);
    board->~Board();
}

}  // namespace
