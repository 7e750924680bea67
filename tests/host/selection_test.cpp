// Adapter selection through the device-control entry on the ready-made
// boards: every chipset family and variant, the south-bridge adjustment and
// its restore, the GPIO and parallel-port lookups, the scan's reads, and the
// consistency of the selection tables themselves.
#include "board_fixture.h"

#include <set>
#include <string>

#include "boards.h"
#include "orvane_ioctl.h"
#include "orvane_selection.h"

// Found by argument lookup: the record lives in the global namespace.
static std::ostream& operator<<(std::ostream& os, const OrvanePciLocation& l)
{
    return os << std::hex << l.VendorId << ":" << l.DeviceId << "@" << int(l.Bus) << ":" << int(l.Device)
              << "." << int(l.Function) << std::dec;
}

namespace {

using sim::BoardId;

struct Loc {
    USHORT vendor, device;
    UCHAR bus, dev, fn;
};
bool operator==(const Loc& a, const OrvanePciLocation& b)
{
    return a.vendor == b.VendorId && a.device == b.DeviceId && a.bus == b.Bus && a.dev == b.Device &&
           a.fn == b.Function;
}
constexpr Loc kNone{0, 0, 0, 0, 0};

struct alignas(sim::Board) BoardStorage {
    unsigned char bytes[sizeof(sim::Board)];
};

class Selection : public BoardTest {
protected:
    ~Selection() override
    {
        if (board != nullptr)
            board->~Board();
    }

    sim::Board* Use(BoardId id)
    {
        if (board != nullptr)
            board->~Board();
        storage = std::make_unique<BoardStorage>();
        board = sim::BuildBoard(storage.get(), sizeof(BoardStorage), id);
        if (board != nullptr)
            sim::SetCurrent(&board->machine);
        return board;
    }
    sim::Machine& M() { return board->machine; }

    NTSTATUS Select(ULONG type)
    {
        std::vector<unsigned char> buffer(4);
        std::memcpy(buffer.data(), &type, 4);
        return Send(IOCTL_ORVANE_SELECT_INTERFACE, buffer, 4, 0).status;
    }
    void Restore()
    {
        std::vector<unsigned char> buffer(1);
        EXPECT_EQ(Send(IOCTL_ORVANE_RESTORE_CHIPSET, buffer, 0, 0).status, STATUS_SUCCESS);
    }
    OrvanePciLocation Location(ULONG code)
    {
        OrvanePciLocation l{};
        EXPECT_EQ(Query(code, &l, sizeof(l)).status, STATUS_SUCCESS);
        return l;
    }
    ULONG SmbusBase()
    {
        ULONG v = 0;
        EXPECT_EQ(Query(IOCTL_ORVANE_GET_SMBUS_BASE, &v, 4).bytes, 4u);
        return v;
    }
    USHORT GpioBase()
    {
        USHORT v = 0;
        EXPECT_EQ(Query(IOCTL_ORVANE_GET_GPIO_BASE, &v, 2).bytes, 2u);
        return v;
    }
    USHORT ParallelBase()
    {
        USHORT v = 0;
        EXPECT_EQ(Query(IOCTL_ORVANE_GET_PARALLEL_BASE, &v, 2).bytes, 2u);
        return v;
    }
    std::vector<unsigned char> Snapshot() const
    {
        std::vector<unsigned char> s(sizeof(OrvaneDeviceExtension));
        std::memcpy(s.data(), ext.get(), s.size());
        return s;
    }

    std::unique_ptr<BoardStorage> storage;
    sim::Board* board = nullptr;
};

// One chipset selection on one board and everything it should leave behind.
struct ChipsetCase {
    const char* name;
    BoardId board;
    ULONG type;
    NTSTATUS status;
    Loc chipset, isa, smbus;
    ULONG base;
    // The one south-bridge write (count 0: none), in the ISA bridge.
    int writes;
    UCHAR offset;
    ULONG written;
    ULONG savedIntel, savedNvidia;
    USHORT chipsetIo;
};

constexpr ULONG kIntel = ORVANE_IF_INTEL, kNv1 = ORVANE_IF_NVIDIA_1, kNv2 = ORVANE_IF_NVIDIA_2,
                kVia = ORVANE_IF_VIA, kSis = ORVANE_IF_SIS, kAli = ORVANE_IF_ALI, kAmd = ORVANE_IF_AMD;

const ChipsetCase kChipsetCases[] = {
    // Intel: the ICH ids clear bit 19 and set bit 24 of 0xF0, which is kept.
    {"intel_2410", BoardId::Intel2410, kIntel, STATUS_SUCCESS, {0x8086, 0x2418, 0, 30, 0},
     {0x8086, 0x2410, 0, 31, 0}, {0x8086, 0x2413, 0, 31, 3}, 0x1800, 1, 0xF0, 0x01000F01, 0x00080F01, 0, 0},
    {"intel_2420", BoardId::Intel2420, kIntel, STATUS_SUCCESS, {0x8086, 0x2428, 0, 30, 0},
     {0x8086, 0x2420, 0, 31, 0}, {0x8086, 0x2423, 0, 31, 3}, 0x1820, 1, 0xF0, 0x01000F01, 0x00080F01, 0, 0},
    {"intel_2440", BoardId::Intel2440, kIntel, STATUS_SUCCESS, {0x8086, 0x244E, 0, 30, 0},
     {0x8086, 0x2440, 0, 31, 0}, {0x8086, 0x2443, 0, 31, 3}, 0x1840, 1, 0xF0, 0x01000F01, 0x00080F01, 0, 0},
    {"intel_244c", BoardId::Intel244C, kIntel, STATUS_SUCCESS, {0x8086, 0x244E, 0, 30, 0},
     {0x8086, 0x244C, 0, 31, 0}, {0x8086, 0x2443, 0, 31, 3}, 0x1860, 1, 0xF0, 0x01000F01, 0x00080F01, 0, 0},
    {"intel_24c0", BoardId::Intel24C0, kIntel, STATUS_SUCCESS, {0x8086, 0x244E, 0, 30, 0},
     {0x8086, 0x24C0, 0, 31, 0}, {0x8086, 0x24C3, 0, 31, 3}, 0x1880, 1, 0xF0, 0x00F70000, 0x00FF0F01, 0, 0},
    // 0x8119: bit 31 of 0x40 is set; the base comes from that register of the
    // LPC bridge with bits 31 and 0 cleared.
    {"intel_8119", BoardId::Intel8119, kIntel, STATUS_SUCCESS, {0x8086, 0x8110, 0, 28, 0},
     {0x8086, 0x8119, 0, 31, 0}, {0x8086, 0x8119, 0, 31, 0}, 0x1040, 1, 0x40, 0x80001041, 0x00001041, 0, 0},
    // Another id: written back unchanged; the first Intel bridge and the first
    // SMBus function win.
    {"intel_other", BoardId::IntelIch7, kIntel, STATUS_SUCCESS, {0x8086, 0x27D0, 0, 28, 0},
     {0x8086, 0x27B8, 0, 31, 0}, {0x8086, 0x27DA, 0, 31, 3}, 0x0400, 1, 0xF0, 0xFED1C001, 0xFED1C001, 0, 0},
    // No SMBus function: failure, the bridge and the adjustment stay.
    {"intel_no_smbus", BoardId::IntelNoSmbus, kIntel, STATUS_UNSUCCESSFUL, {0x8086, 0x244E, 0, 30, 0},
     {0x8086, 0x2440, 0, 31, 0}, kNone, 0, 1, 0xF0, 0x01000F01, 0x00080F01, 0, 0},

    // NVIDIA: 0x8C of the ISA bridge, kept; 0x0050/0x0060 clear bit 16.
    {"nvidia_old_ch1", BoardId::NvidiaOld, kNv1, STATUS_SUCCESS, {0x10DE, 0x01E8, 0, 30, 0},
     {0x10DE, 0x0060, 0, 1, 0}, {0x10DE, 0x0064, 0, 1, 1}, 0x5000, 1, 0x8C, 0x00000203, 0, 0x00010203, 0},
    {"nvidia_old_ch2", BoardId::NvidiaOld, kNv2, STATUS_SUCCESS, {0x10DE, 0x01E8, 0, 30, 0},
     {0x10DE, 0x0060, 0, 1, 0}, {0x10DE, 0x0064, 0, 1, 1}, 0x5100, 1, 0x8C, 0x00000203, 0, 0x00010203, 0},
    {"nvidia_new_ch1", BoardId::NvidiaNew, kNv1, STATUS_SUCCESS, {0x10DE, 0x0370, 0, 30, 0},
     {0x10DE, 0x0050, 0, 1, 0}, {0x10DE, 0x0368, 0, 1, 1}, 0x6000, 1, 0x8C, 0x00001234, 0, 0x00011234, 0},
    {"nvidia_new_ch2", BoardId::NvidiaNew, kNv2, STATUS_SUCCESS, {0x10DE, 0x0370, 0, 30, 0},
     {0x10DE, 0x0050, 0, 1, 0}, {0x10DE, 0x0368, 0, 1, 1}, 0x6100, 1, 0x8C, 0x00001234, 0, 0x00011234, 0},
    // The chipset bridges 0x005C and 0x003D carry the chipset I/O base.
    {"nvidia_io_005c", BoardId::NvidiaIo5C, kNv1, STATUS_SUCCESS, {0x10DE, 0x005C, 0, 9, 0},
     {0x10DE, 0x0050, 0, 1, 0}, {0x10DE, 0x0052, 0, 1, 1}, 0x4C00, 1, 0x8C, 0x00000000, 0, 0x00010000, 0x1000},
    {"nvidia_io_003d", BoardId::NvidiaIo3D, kNv2, STATUS_SUCCESS, {0x10DE, 0x003D, 0, 6, 0},
     {0x10DE, 0x0360, 0, 1, 0}, {0x10DE, 0x0368, 0, 1, 1}, 0x4D40, 1, 0x8C, 0x000000FF, 0, 0x000000FF, 0x2000},

    // VIA: bit 16 of 0xD0 is set, nothing kept; the low 16 bits of 0xD0.
    {"via_smbus", BoardId::ViaSmbus, kVia, STATUS_SUCCESS, {0x1106, 0x8598, 0, 1, 0},
     {0x1106, 0x0686, 0, 7, 0}, {0x1106, 0x3057, 0, 7, 4}, 0x6000, 1, 0xD0, 0x00010000, 0, 0, 0},
    {"via_isa_only", BoardId::ViaIsaOnly, kVia, STATUS_SUCCESS, {0x1106, 0xB168, 0, 1, 0},
     {0x1106, 0x3227, 0, 17, 0}, {0x1106, 0x3227, 0, 17, 0}, 0x0400, 1, 0xD0, 0x00010401, 0, 0, 0},

    // SiS: 0x74, or 0x9A for 0x0968; nothing kept.
    {"sis_0008", BoardId::Sis0008, kSis, STATUS_SUCCESS, {0x1039, 0x0001, 0, 1, 0},
     {0x1039, 0x0008, 0, 2, 0}, {0x1039, 0x0016, 0, 2, 1}, 0x0C00, 1, 0x74, 0x00000080, 0, 0, 0},
    {"sis_0964", BoardId::Sis0964, kSis, STATUS_SUCCESS, {0x1039, 0x0001, 0, 1, 0},
     {0x1039, 0x0964, 0, 2, 0}, {0x1039, 0x0964, 0, 2, 0}, 0x0BE0, 1, 0x74, 0x00030B12, 0, 0, 0},
    {"sis_0965", BoardId::Sis0965, kSis, STATUS_SUCCESS, {0x1039, 0x0001, 0, 1, 0},
     {0x1039, 0x0965, 0, 2, 0}, {0x1039, 0x0965, 0, 2, 0}, 0x0BD0, 1, 0x74, 0x00030B12, 0, 0, 0},
    {"sis_0968", BoardId::Sis0968, kSis, STATUS_SUCCESS, {0x1039, 0x0001, 0, 1, 0},
     {0x1039, 0x0968, 0, 2, 0}, {0x1039, 0x0968, 0, 2, 0}, 0x0C00, 1, 0x9A, 0x00000C03, 0, 0, 0},
    {"sis_other", BoardId::Sis0966, kSis, STATUS_SUCCESS, {0x1039, 0x0001, 0, 1, 0},
     {0x1039, 0x0966, 0, 2, 0}, kNone, 0, 1, 0x74, 0x00000B12, 0, 0, 0},

    // ALi: 0x80 of the ISA bridge; the base is 0x80 of the SMBus function
    // shifted right by 4, and keeps bit 0.
    {"ali_1563", BoardId::Ali1563, kAli, STATUS_SUCCESS, {0x10B9, 0x5247, 0, 1, 0},
     {0x10B9, 0x1563, 0, 7, 0}, {0x10B9, 0x7101, 0, 17, 0}, 0x0E80, 1, 0x80, 0x00000043, 0, 0, 0},
    {"ali_other", BoardId::Ali1533, kAli, STATUS_SUCCESS, {0x10B9, 0x5243, 0, 1, 0},
     {0x10B9, 0x1533, 0, 7, 0}, {0x10B9, 0x7101, 0, 17, 0}, 0x00E1, 1, 0x80, 0x12345678, 0, 0, 0},

    // AMD: no adjustment, no ISA scan.
    {"amd_4385", BoardId::Amd4385, kAmd, STATUS_SUCCESS, {0x1022, 0x9603, 0, 2, 0}, kNone,
     {0x1022, 0x4385, 0, 20, 0}, 0x0B10, 0, 0, 0, 0, 0, 0},
    {"amd_790b", BoardId::Amd790B, kAmd, STATUS_SUCCESS, {0x1022, 0x1512, 0, 2, 0}, kNone,
     {0x1022, 0x790B, 0, 20, 0}, 0x0B00, 0, 0, 0, 0, 0, 0},
    {"amd_other", BoardId::AmdOther, kAmd, STATUS_SUCCESS, {0x1022, 0x1412, 0, 2, 0}, kNone,
     {0x1022, 0x780B, 0, 20, 0}, 0x0B20, 0, 0, 0, 0, 0, 0},

    // A machine without the type's vendor, type 11, and an empty machine.
    {"no_via_on_intel", BoardId::IntelIch7, kVia, STATUS_NO_SUCH_DEVICE, kNone, kNone, kNone, 0, 0, 0, 0, 0, 0, 0},
    {"no_amd_on_nvidia", BoardId::NvidiaOld, kAmd, STATUS_NO_SUCH_DEVICE, kNone, kNone, kNone, 0, 0, 0, 0, 0, 0, 0},
    {"type_11", BoardId::IntelIch7, ORVANE_IF_RESERVED_11, STATUS_NO_SUCH_DEVICE, kNone, kNone, kNone, 0, 0, 0, 0, 0, 0, 0},
    {"empty_machine", BoardId::Empty, kIntel, STATUS_NO_SUCH_DEVICE, kNone, kNone, kNone, 0, 0, 0, 0, 0, 0, 0},
};

class ChipsetSelection : public Selection, public ::testing::WithParamInterface<ChipsetCase> {};

TEST_P(ChipsetSelection, LeavesTheAdapterStateOfTheBoard)
{
    const ChipsetCase& c = GetParam();
    ASSERT_NE(Use(c.board), nullptr);
    sim::PciFunction* isa = c.isa.vendor ? board->Function(c.isa.vendor, c.isa.device) : nullptr;

    EXPECT_EQ(Select(c.type), c.status);
    EXPECT_EQ(ext->InterfaceType, c.type);
    EXPECT_TRUE(c.chipset == Location(IOCTL_ORVANE_GET_CHIPSET_BRIDGE)) << Location(IOCTL_ORVANE_GET_CHIPSET_BRIDGE);
    EXPECT_TRUE(c.isa == Location(IOCTL_ORVANE_GET_ISA_BRIDGE)) << Location(IOCTL_ORVANE_GET_ISA_BRIDGE);
    EXPECT_TRUE(c.smbus == Location(IOCTL_ORVANE_GET_SMBUS_DEVICE)) << Location(IOCTL_ORVANE_GET_SMBUS_DEVICE);
    EXPECT_EQ(SmbusBase(), c.base) << std::hex << SmbusBase();
    EXPECT_EQ(ext->SavedIntelEnable, c.savedIntel) << std::hex << ext->SavedIntelEnable;
    EXPECT_EQ(ext->SavedNvidiaEnable, c.savedNvidia) << std::hex << ext->SavedNvidiaEnable;
    EXPECT_EQ(ext->ChipsetIoBase, c.chipsetIo);
    EXPECT_EQ(ext->GpioBase, 0);
    EXPECT_EQ(ext->ParallelPortBase, 0);
    EXPECT_EQ(USHORT(ext->DisplayDevice.VendorId), 0);

    EXPECT_EQ(M().pciWriteCount, (uint32_t)c.writes);
    if (c.writes) {
        ASSERT_NE(isa, nullptr);
        EXPECT_EQ(isa->Get32(c.offset), c.written) << std::hex << isa->Get32(c.offset);
    }
    // The board's base is where selection points, so a host model put there
    // is the one the engines reach.
    if (c.status == STATUS_SUCCESS && board->spec->hostBase != 0) {
        const bool second = c.type == kNv2;
        EXPECT_EQ(c.base, second ? board->spec->hostBase2 : board->spec->hostBase);
    }
}

INSTANTIATE_TEST_SUITE_P(Boards, ChipsetSelection, ::testing::ValuesIn(kChipsetCases),
                         [](const ::testing::TestParamInfo<ChipsetCase>& i) { return std::string(i.param.name); });

TEST_F(Selection, EveryBoardIsBuiltWithItsFunctions)
{
    for (int i = 0; i < sim::kBoardCount; ++i) {
        const sim::BoardSpec* spec = sim::BoardAt(i);
        ASSERT_NE(spec, nullptr);
        ASSERT_NE(Use(spec->id), nullptr) << spec->name;
        for (const sim::BoardFunction& f : spec->functions) {
            if (f.vendorId == 0)
                continue;
            sim::PciFunction* pci = M().FindPci(f.bus, f.device, f.function);
            ASSERT_NE(pci, nullptr) << spec->name;
            EXPECT_EQ(pci->VendorId(), f.vendorId);
            EXPECT_EQ(pci->DeviceId(), f.deviceId);
        }
    }
    EXPECT_EQ(sim::BoardAt(sim::kBoardCount), nullptr);
    // Too small or misaligned storage is refused.
    auto s = std::make_unique<BoardStorage>();
    EXPECT_EQ(sim::BuildBoard(s.get(), sizeof(BoardStorage) - 1, BoardId::Empty), nullptr);
    EXPECT_EQ(sim::BuildBoard(s->bytes + 1, sizeof(BoardStorage) - 1, BoardId::Empty), nullptr);
    EXPECT_EQ(sim::BuildBoard(s.get(), sizeof(BoardStorage), BoardId::kCount), nullptr);
}

TEST_F(Selection, TheIntelBoardIsReadyForTheTestDriver)
{
    auto s = std::make_unique<BoardStorage>();
    sim::Board* b = sim::BuildIntelBoard(s.get(), sizeof(BoardStorage));
    ASSERT_NE(b, nullptr);
    sim::SetCurrent(&b->machine);
    EXPECT_EQ(Select(kIntel), STATUS_SUCCESS);
    EXPECT_EQ(SmbusBase(), b->spec->hostBase);
    EXPECT_EQ(b->spec->host, sim::BoardHost::Intel);
    b->~Board();
}

// Step 5 of chipset selection: bit 0 of the base is cleared for every vendor
// but ALi, whatever the register held.
TEST_F(Selection, BaseBit0IsClearedForAllButAli)
{
    struct Case {
        BoardId board;
        ULONG type;
        UCHAR offset;
        ULONG value, base;
    } cases[] = {
        {BoardId::IntelIch7, kIntel, 0x20, 0x00000403, 0x0402},
        {BoardId::NvidiaOld, kNv1, 0x50, 0x00005003, 0x5002},
        {BoardId::ViaSmbus, kVia, 0xD0, 0x00006003, 0x6002},
        {BoardId::Sis0008, kSis, 0x20, 0x00000C03, 0x0C02},
        {BoardId::AmdOther, kAmd, 0x90, 0x00000B23, 0x0B22},
        {BoardId::Ali1563, kAli, 0x80, 0x00000E13, 0x00E1},
    };
    for (const Case& c : cases) {
        Use(c.board);
        std::memset(ext.get(), 0, sizeof(*ext));
        const sim::BoardFunction* smbusFn = nullptr;
        for (const sim::BoardFunction& f : board->spec->functions)
            if (f.vendorId && f.classCode == 0x0C && smbusFn == nullptr)
                smbusFn = &f;
        ASSERT_NE(smbusFn, nullptr);
        M().FindPci(smbusFn->bus, smbusFn->device, smbusFn->function)->Set32(c.offset, c.value);
        EXPECT_EQ(Select(c.type), STATUS_SUCCESS);
        EXPECT_EQ(SmbusBase(), c.base) << board->spec->name;
    }
}

TEST_F(Selection, NvidiaChoosesBarsByTheSmbusDeviceId)
{
    struct Case {
        USHORT smbusId;
        ULONG type, base;
    } cases[] = {
        {0x026E, kNv1, 0x5000}, {0x026E, kNv2, 0x5100}, {0x026F, kNv1, 0x7000}, {0x026F, kNv2, 0x7100},
    };
    for (const Case& c : cases) {
        Use(BoardId::NvidiaOld);
        std::memset(ext.get(), 0, sizeof(*ext));
        board->Function(0x10DE, 0x0064)->Set16(0x02, c.smbusId);
        EXPECT_EQ(Select(c.type), STATUS_SUCCESS);
        EXPECT_EQ(SmbusBase(), c.base) << std::hex << c.smbusId << " type " << c.type;
    }
}

TEST_F(Selection, NvidiaChipsetIoBaseOnlyForItsBridgesAndOnlyWithAnIsaBridge)
{
    // A bridge id without the window leaves the base alone.
    Use(BoardId::NvidiaOld);
    ext->ChipsetIoBase = 0x7770;
    EXPECT_EQ(Select(kNv1), STATUS_SUCCESS);
    EXPECT_EQ(ext->ChipsetIoBase, 0x7770);

    // The window's bridge, but no ISA bridge: the base stays too, and the
    // adjustment had nothing to do.
    Use(BoardId::NvidiaIo5C);
    std::memset(ext.get(), 0, sizeof(*ext));
    ext->ChipsetIoBase = 0x7770;
    ext->SavedNvidiaEnable = 0x5A5A;
    board->Function(0x10DE, 0x0050)->present = false;
    EXPECT_EQ(Select(kNv1), STATUS_SUCCESS);
    EXPECT_EQ(ext->ChipsetIoBase, 0x7770);
    EXPECT_EQ(ext->SavedNvidiaEnable, 0x5A5Au);
    EXPECT_EQ(USHORT(ext->IsaBridge.VendorId), 0);
    EXPECT_EQ(SmbusBase(), 0x4C00u);
    EXPECT_EQ(M().pciWriteCount, 0u);

    // With the window, the chipset dword requests reach it.
    Use(BoardId::NvidiaIo5C);
    std::memset(ext.get(), 0, sizeof(*ext));
    LatchPorts window;
    window.dword = 0xCAFEF00D;
    M().Claim(0x1000, 0x100, &window);
    ASSERT_EQ(Select(kNv1), STATUS_SUCCESS);
    OrvanePortAccess access{};
    access.Address = 0x40;
    EXPECT_EQ(SendRecord(IOCTL_ORVANE_READ_CHIPSET_DWORD, access).bytes, 19u);
    EXPECT_EQ(access.ReadValue, 0xCAFEF00Du);
}

TEST_F(Selection, AmdReadsTheIndexPairInOrderAndWritesNoConfiguration)
{
    struct Case {
        BoardId board;
        std::vector<uint8_t> indexes;
    } cases[] = {
        {BoardId::Amd4385, {0x2D, 0x2C}},
        {BoardId::Amd790B, {0x01}},
        {BoardId::AmdOther, {}},
    };
    for (const Case& c : cases) {
        Use(c.board);
        std::memset(ext.get(), 0, sizeof(*ext));
        ASSERT_EQ(Select(kAmd), STATUS_SUCCESS);
        ASSERT_EQ(board->pm.dataReads, (int)c.indexes.size()) << board->spec->name;
        for (size_t i = 0; i < c.indexes.size(); ++i)
            EXPECT_EQ(board->pm.readIndexes[i], c.indexes[i]);
        EXPECT_EQ(M().pciWriteCount, 0u);
        // The ISA bridge on the board is not touched and not reported.
        EXPECT_EQ(USHORT(ext->IsaBridge.VendorId), 0);
    }
    // The low PM byte loses bit 0 in the lookup itself, before selection
    // clears bit 0 of every AMD base.
    Use(BoardId::Amd4385);
    std::memset(ext.get(), 0, sizeof(*ext));
    ext->InterfaceType = kAmd;
    ext->ChipsetBridge = {0x1022, 0x9603, 0, 2, 0};
    ASSERT_TRUE(OrvaneFindSmbusBase(ext.get()));
    EXPECT_EQ(ext->SmbusBase, 0x0B10u);
}

TEST_F(Selection, SisWithoutABaseRuleKeepsTheOldBase)
{
    Use(BoardId::Sis0966);
    ext->SmbusBase = 0x1230;
    ext->SmbusDevice = {0x1039, 0x0016, 0, 2, 1};
    EXPECT_EQ(Select(kSis), STATUS_SUCCESS);
    EXPECT_EQ(SmbusBase(), 0x1230u);
    EXPECT_TRUE((Loc{0x1039, 0x0016, 0, 2, 1}) == ext->SmbusDevice);
}

TEST_F(Selection, ViaWithNeitherSmbusNorIsaBridgeFails)
{
    Use(BoardId::ViaIsaOnly);
    board->Function(0x1106, 0x3227)->present = false;
    ext->SmbusBase = 0x4444;
    EXPECT_EQ(Select(kVia), STATUS_UNSUCCESSFUL);
    EXPECT_EQ(USHORT(ext->ChipsetBridge.VendorId), 0x1106);
    EXPECT_EQ(USHORT(ext->SmbusDevice.VendorId), 0);
    EXPECT_EQ(SmbusBase(), 0x4444u);
}

// A selection that finds no adapter of the type's vendor clears the chipset
// bridge and leaves every other field as it was.
TEST_F(Selection, MissingVendorClearsOnlyTheChipsetBridge)
{
    for (ULONG type : {kVia, (ULONG)ORVANE_IF_RESERVED_11, kAmd, kNv1, kSis, kAli}) {
        Use(BoardId::IntelIch7);
        std::memset(ext.get(), 0, sizeof(*ext));
        ASSERT_EQ(Select(kIntel), STATUS_SUCCESS);
        ext->ParallelPortBase = 0x378;
        ext->GpioBase = 0xE000;
        ext->ChipsetIoBase = 0x1000;
        std::vector<unsigned char> before = Snapshot();
        const uint32_t writes = M().pciWriteCount;

        EXPECT_EQ(Select(type), STATUS_NO_SUCH_DEVICE) << type;
        EXPECT_EQ(USHORT(ext->ChipsetBridge.VendorId), 0);
        EXPECT_EQ(ext->InterfaceType, type);
        std::vector<unsigned char> after = Snapshot();
        // Everything but ChipsetBridge and InterfaceType is byte-identical.
        std::memset(before.data() + offsetof(OrvaneDeviceExtension, ChipsetBridge), 0, sizeof(OrvanePciLocation));
        std::memcpy(before.data() + offsetof(OrvaneDeviceExtension, InterfaceType), &type, 4);
        EXPECT_EQ(before, after) << type;
        EXPECT_EQ(M().pciWriteCount, writes);
    }
}

TEST_F(Selection, TypesThatSelectNothingTouchNothing)
{
    Use(BoardId::IntelIch7);
    ASSERT_EQ(Select(kIntel), STATUS_SUCCESS);
    for (ULONG type : {0u, 3u, 10u, 12u, 14u, 17u, 0x100u, 0xFFFFFFFFu}) {
        std::vector<unsigned char> before = Snapshot();
        const uint32_t reads = M().pciReadCount, writes = M().pciWriteCount, ports = M().portAccessCount;
        EXPECT_EQ(Select(type), STATUS_SUCCESS) << type;
        std::memcpy(before.data() + offsetof(OrvaneDeviceExtension, InterfaceType), &type, 4);
        EXPECT_EQ(Snapshot(), before) << type;
        EXPECT_EQ(M().pciReadCount, reads);
        EXPECT_EQ(M().pciWriteCount, writes);
        EXPECT_EQ(M().portAccessCount, ports);
        EXPECT_EQ(M().parallelQueries, 0u);
    }
}

// --- The scan ---------------------------------------------------------------

constexpr uint32_t kEmptyScanReads = 2u * 255 * 32 * 8;  // 130,560

TEST_F(Selection, AScanThatFindsNothingReadsEverySlotOfBuses0To254)
{
    Use(BoardId::Empty);
    OrvanePciLocation record{0x1111, 0x2222, 3, 4, 5};
    M().StartLog();
    OrvaneFindPciFunction(0x04, 0x06, &record, kIntel);
    M().StopLog();
    EXPECT_EQ(M().pciReadCount, kEmptyScanReads);
    EXPECT_TRUE(kNone == record) << record;
    // The first reads: subclass then class of 0:0.0, then 0:0.1 (every
    // function number, whatever function 0 says), one byte each.
    ASSERT_GE(M().LogCount(), 4);
    const uint16_t slots[] = {0x0000, 0x0000, 0x0020, 0x0020};
    const uint16_t offsets[] = {0x0A, 0x0B, 0x0A, 0x0B};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(M().LogEntry(i).kind, sim::AccessKind::PciRead);
        EXPECT_EQ(M().LogEntry(i).slot, slots[i]) << i;
        EXPECT_EQ(M().LogEntry(i).port, offsets[i]) << i;
        EXPECT_EQ(M().LogEntry(i).length, 1) << i;
    }
}

TEST_F(Selection, EmptyChipsetSelectionReadsOneScan)
{
    Use(BoardId::Empty);
    EXPECT_EQ(Select(kIntel), STATUS_NO_SUCH_DEVICE);
    EXPECT_EQ(M().pciReadCount, kEmptyScanReads);
    EXPECT_EQ(M().pciWriteCount, 0u);
    // Type 11 scans all of it on a full board too: nothing has vendor 0.
    Use(BoardId::IntelIch7);
    EXPECT_EQ(Select(ORVANE_IF_RESERVED_11), STATUS_NO_SUCH_DEVICE);
    EXPECT_EQ(M().pciReadCount, kEmptyScanReads + 3);  // the three bridges' ids
}

TEST_F(Selection, TheScanStopsAtTheFirstMatchWithExactReads)
{
    Use(BoardId::IntelIch7);
    OrvanePciLocation record{};
    M().StartLog();
    OrvaneFindPciFunction(0x04, 0x06, &record, kIntel);
    M().StopLog();
    EXPECT_TRUE((Loc{0x8086, 0x27D0, 0, 28, 0}) == record) << record;
    // Bus 0, devices 0 to 27 with 8 functions each, then 0:28.0: two byte
    // reads per slot, and the id dword of both bridges whose class matched
    // (the foreign one at 0:1.0 and the Intel one).
    const uint32_t slots = 28 * 8 + 1;
    EXPECT_EQ(M().pciReadCount, 2 * slots + 2);
    ASSERT_EQ(M().LogCount(), (int)(2 * slots + 2));
    int dwordReads = 0;
    for (int i = 0; i < M().LogCount(); ++i) {
        const sim::Access& a = M().LogEntry(i);
        if (a.length == 4) {
            ++dwordReads;
            EXPECT_EQ(a.port, 0);
            EXPECT_TRUE(a.slot == (0 << 5 | 1) || a.slot == (0 << 5 | 28)) << a.slot;
        } else {
            EXPECT_EQ(a.length, 1);
        }
    }
    EXPECT_EQ(dwordReads, 2);
    const sim::Access& last = M().LogEntry(M().LogCount() - 1);
    EXPECT_EQ(last.slot, 28);
    EXPECT_EQ(last.length, 4);
}

TEST_F(Selection, TheScanTriesFunctionsWithoutFunctionZeroAndHigherBuses)
{
    Use(BoardId::Empty);
    // Function 6 of a device whose function 0 is absent, on bus 254, the last
    // bus scanned; a function on bus 255 is never reached.
    M().AddPciFunction(255, 0, 0, 0x8086, 0x1111, 0x0C, 0x05);
    M().AddPciFunction(254, 17, 6, 0x8086, 0x2222, 0x0C, 0x05);
    OrvanePciLocation record{};
    OrvaneFindPciFunction(0x05, 0x0C, &record, kIntel);
    EXPECT_TRUE((Loc{0x8086, 0x2222, 254, 17, 6}) == record) << record;

    Use(BoardId::Empty);
    M().AddPciFunction(255, 0, 0, 0x8086, 0x1111, 0x0C, 0x05);
    OrvaneFindPciFunction(0x05, 0x0C, &record, kIntel);
    EXPECT_TRUE(kNone == record) << record;
}

TEST_F(Selection, TheScanMatchesClassSubclassAndVendorTogether)
{
    Use(BoardId::Empty);
    M().AddPciFunction(0, 1, 0, 0x8086, 0x0001, 0x05, 0x0C);  // class and subclass swapped
    M().AddPciFunction(0, 2, 0, 0x8086, 0x0002, 0x0C, 0x00);  // right class, wrong subclass
    M().AddPciFunction(0, 3, 0, 0x1022, 0x0003, 0x0C, 0x05);  // another vendor
    M().AddPciFunction(0, 4, 0, 0x8086, 0x0004, 0x0C, 0x05);
    M().AddPciFunction(0, 5, 0, 0x8086, 0x0005, 0x0C, 0x05);  // a later match
    OrvanePciLocation record{};
    OrvaneFindPciFunction(0x05, 0x0C, &record, kIntel);
    EXPECT_TRUE((Loc{0x8086, 0x0004, 0, 4, 0}) == record) << record;
    OrvaneFindPciFunction(0x05, 0x0C, &record, kAmd);
    EXPECT_TRUE((Loc{0x1022, 0x0003, 0, 3, 0}) == record) << record;
}

// --- The adjustment and its restore -----------------------------------------

TEST_F(Selection, RestoreWritesTheSavedRegisterBackEachTime)
{
    struct Case {
        BoardId board;
        ULONG type;
        USHORT isaId;
        UCHAR offset;
        ULONG original, adjusted;
    } cases[] = {
        {BoardId::Intel2440, kIntel, 0x2440, 0xF0, 0x00080F01, 0x01000F01},
        {BoardId::Intel8119, kIntel, 0x8119, 0x40, 0x00001041, 0x80001041},
        {BoardId::NvidiaOld, kNv1, 0x0060, 0x8C, 0x00010203, 0x00000203},
        {BoardId::NvidiaNew, kNv2, 0x0050, 0x8C, 0x00011234, 0x00001234},
    };
    for (const Case& c : cases) {
        Use(c.board);
        std::memset(ext.get(), 0, sizeof(*ext));
        sim::PciFunction* isa = board->Function(board->spec->functions[0].vendorId, c.isaId);
        ASSERT_NE(isa, nullptr);
        ASSERT_EQ(Select(c.type), STATUS_SUCCESS);
        EXPECT_EQ(isa->Get32(c.offset), c.adjusted);
        Restore();
        EXPECT_EQ(isa->Get32(c.offset), c.original) << board->spec->name;
        EXPECT_EQ(M().pciWriteCount, 2u);
        // A second restore writes the same value again; nothing is read.
        isa->Set32(c.offset, 0x0BADF00D);
        const uint32_t reads = M().pciReadCount;
        Restore();
        EXPECT_EQ(isa->Get32(c.offset), c.original);
        EXPECT_EQ(M().pciWriteCount, 3u);
        EXPECT_EQ(M().pciReadCount, reads);
    }
}

TEST_F(Selection, ASecondSelectionSavesTheAdjustedValue)
{
    Use(BoardId::Intel2440);
    sim::PciFunction* isa = board->Function(0x8086, 0x2440);
    ASSERT_EQ(Select(kIntel), STATUS_SUCCESS);
    EXPECT_EQ(ext->SavedIntelEnable, 0x00080F01u);
    ASSERT_EQ(Select(kIntel), STATUS_SUCCESS);
    EXPECT_EQ(ext->SavedIntelEnable, 0x01000F01u);
    Restore();
    // The value from before the first selection does not come back.
    EXPECT_EQ(isa->Get32(0xF0), 0x01000F01u);
}

TEST_F(Selection, RestoreOnlyForIntelAndNvidiaTypesAndBridges)
{
    struct Case {
        BoardId board;
        ULONG type;
    } cases[] = {
        {BoardId::ViaSmbus, kVia}, {BoardId::Sis0964, kSis}, {BoardId::Ali1563, kAli},
        {BoardId::Amd4385, kAmd}, {BoardId::IntelIch7, kVia},  // the failed selection cleared the bridge
    };
    for (const Case& c : cases) {
        Use(c.board);
        std::memset(ext.get(), 0, sizeof(*ext));
        (void)Select(c.type);
        ext->SavedIntelEnable = 0x11111111;
        ext->SavedNvidiaEnable = 0x22222222;
        const uint32_t writes = M().pciWriteCount;
        Restore();
        EXPECT_EQ(M().pciWriteCount, writes) << board->spec->name;
    }
    // The Intel type over an NVIDIA bridge left by an NVIDIA selection: the
    // dispatch lets it through and the NVIDIA register is written back.
    Use(BoardId::NvidiaOld);
    std::memset(ext.get(), 0, sizeof(*ext));
    ASSERT_EQ(Select(kNv1), STATUS_SUCCESS);
    ext->InterfaceType = kIntel;
    Restore();
    EXPECT_EQ(board->Function(0x10DE, 0x0060)->Get32(0x8C), 0x00010203u);
}

TEST_F(Selection, RestoreWithoutAnIsaBridgeWritesNothing)
{
    // An Intel chipset bridge and nothing else: the adjustment found no ISA
    // bridge, so there is no register to put back.
    Use(BoardId::Empty);
    M().AddPciFunction(0, 30, 0, 0x8086, 0x244E, 0x06, 0x04);
    sim::PciFunction* host = M().AddPciFunction(0, 0, 0, 0x8086, 0x2770, 0x06, 0x00);
    host->Writable32(0xF0, 0xFFFFFFFF);
    ext->SavedIntelEnable = 0x12345678;
    EXPECT_EQ(Select(kIntel), STATUS_UNSUCCESSFUL);
    EXPECT_EQ(USHORT(ext->IsaBridge.VendorId), 0);
    Restore();
    EXPECT_EQ(M().pciWriteCount, 0u);
    EXPECT_EQ(host->Get32(0xF0), 0u);
}

TEST_F(Selection, TheAdjustmentReadsThenWritesOneDwordOfTheIsaBridge)
{
    Use(BoardId::NvidiaOld);
    ext->InterfaceType = kNv1;
    ext->ChipsetBridge = {0x10DE, 0x01E8, 0, 30, 0};
    M().StartLog();
    OrvaneEnableSmbus(ext.get());
    M().StopLog();
    // The ISA scan ends at 0:1.0 (slots 0:0.0 to 0:1.0, the id dword of the
    // match), then one 4-byte read and one 4-byte write at 0x8C.
    ASSERT_EQ(M().LogCount(), 9 * 2 + 1 + 2);
    const sim::Access& read = M().LogEntry(M().LogCount() - 2);
    const sim::Access& write = M().LogEntry(M().LogCount() - 1);
    EXPECT_EQ(read.kind, sim::AccessKind::PciRead);
    EXPECT_EQ(write.kind, sim::AccessKind::PciWrite);
    for (const sim::Access* a : {&read, &write}) {
        EXPECT_EQ(a->port, 0x8C);
        EXPECT_EQ(a->length, 4);
        EXPECT_EQ(a->slot, 0 << 8 | 1);
    }
    EXPECT_EQ(write.value, 0x00000203u);
}

TEST_F(Selection, TheDeviceIdChangeFollowsTheVendorBits)
{
    // VIA sets bit 16 first; an ISA bridge id whose change clears bit 16
    // then clears it again, whatever the vendor.
    Use(BoardId::ViaIsaOnly);
    sim::PciFunction* isa = board->Function(0x1106, 0x3227);
    isa->Set16(0x02, 0x0060);
    EXPECT_EQ(Select(kVia), STATUS_SUCCESS);
    EXPECT_EQ(isa->Get32(0xD0), 0x00000401u);
    // And an Intel ISA bridge with a SiS id gets the SiS change, at 0xF0.
    Use(BoardId::Intel2440);
    isa = board->Function(0x8086, 0x2440);
    isa->Set16(0x02, 0x0964);
    EXPECT_EQ(Select(kIntel), STATUS_SUCCESS);
    EXPECT_EQ(isa->Get32(0xF0), 0x000B0F01u);
}

// --- GPIO and parallel port -------------------------------------------------

TEST_F(Selection, DisplayControllerSelection)
{
    struct Case {
        BoardId board;
        ULONG type;
        NTSTATUS status;
        Loc display;
        USHORT base;
    } cases[] = {
        {BoardId::DisplayBar4, ORVANE_IF_GPIO_A, STATUS_SUCCESS, {0x1022, 0x4150, 1, 5, 0}, 0xE000},
        {BoardId::DisplayBar4, ORVANE_IF_GPIO_B, STATUS_SUCCESS, {0x1022, 0x4150, 1, 5, 0}, 0xE000},
        {BoardId::DisplayBar4, ORVANE_IF_GPIO_C, STATUS_SUCCESS, {0x1022, 0x4150, 1, 5, 0}, 0xE000},
        {BoardId::DisplayBar1, ORVANE_IF_GPIO_C, STATUS_SUCCESS, {0x1022, 0x9610, 1, 5, 0}, 0xD000},
        {BoardId::IntelIch7, ORVANE_IF_GPIO_A, STATUS_NO_SUCH_DEVICE, kNone, 0x4321},
    };
    for (const Case& c : cases) {
        Use(c.board);
        std::memset(ext.get(), 0, sizeof(*ext));
        ext->GpioBase = 0x4321;
        ext->DisplayDevice = {0x1111, 0x2222, 3, 4, 5};
        ext->SmbusBase = 0x0400;
        EXPECT_EQ(Select(c.type), c.status) << board->spec->name;
        EXPECT_TRUE(c.display == Location(IOCTL_ORVANE_GET_DISPLAY_DEVICE)) << ext->DisplayDevice;
        EXPECT_EQ(GpioBase(), c.base);
        EXPECT_EQ(ext->SmbusBase, 0x0400u);
        EXPECT_EQ(USHORT(ext->ChipsetBridge.VendorId), 0);
        EXPECT_EQ(M().pciWriteCount, 0u);
    }
}

TEST_F(Selection, ParallelPortLookup)
{
    struct Case {
        const char* name;
        NTSTATUS status;
        ULONGLONG controller;
        USHORT base;
    } cases[] = {
        {"found", STATUS_SUCCESS, 0x378, 0x378},
        {"low_16_bits", STATUS_SUCCESS, 0x0000000112340278ull, 0x0278},
        {"missing_device", STATUS_OBJECT_NAME_NOT_FOUND, 0x378, 0x3BC},
        {"failing_driver", STATUS_INVALID_DEVICE_REQUEST, 0x378, 0x3BC},
        {"request_not_built", STATUS_UNSUCCESSFUL, 0x378, 0x3BC},
    };
    for (const Case& c : cases) {
        Use(BoardId::Parallel);
        std::memset(ext.get(), 0, sizeof(*ext));
        ext->ParallelPortBase = 0x3BC;
        M().parallelStatus = c.status;
        M().parallelController = c.controller;
        EXPECT_EQ(Select(ORVANE_IF_PARALLEL), c.status) << c.name;
        EXPECT_EQ(ParallelBase(), c.base) << c.name;
        EXPECT_EQ(M().parallelQueries, 1u);
        EXPECT_EQ(M().pciReadCount, 0u);
        EXPECT_EQ(ext->InterfaceType, (ULONG)ORVANE_IF_PARALLEL);
    }
    // Boards other than the parallel one have no ParallelPort0.
    Use(BoardId::IntelIch7);
    ext->ParallelPortBase = 0x3BC;
    EXPECT_EQ(Select(ORVANE_IF_PARALLEL), STATUS_OBJECT_NAME_NOT_FOUND);
    EXPECT_EQ(ParallelBase(), 0x3BC);
}

// --- The tables -------------------------------------------------------------

TEST(SelectionTables, AreConsistent)
{
    using namespace OrvaneSelection;
    std::set<USHORT> ruleVendors;
    for (const OrvaneSmbusVendorRule& r : kSmbusVendorRules)
        EXPECT_TRUE(ruleVendors.insert(r.vendor).second) << "duplicate vendor rule " << std::hex << r.vendor;

    // Every vendor a chipset or GPIO type looks for has its base rule and
    // at least one base row.
    ASSERT_EQ(kInterfaceVendorCount, 17u);
    for (const OrvaneSelectRow& g : kSelectGroups) {
        if (g.group != OrvaneSelectGroup::Chipset && g.group != OrvaneSelectGroup::Display)
            continue;
        ASSERT_LT(g.type, kInterfaceVendorCount);
        const USHORT v = InterfaceVendorTable[g.type];
        if (v == kVendorNone)
            continue;
        EXPECT_TRUE(ruleVendors.count(v)) << "type " << g.type;
        int rows = 0;
        for (const OrvaneBaseRow& b : kBaseTable)
            rows += b.vendor == v;
        EXPECT_GT(rows, 0) << "type " << g.type;
    }
    // Every base row names a vendor with a rule, and no row is shadowed by an
    // unconditional row of the same vendor before it.
    std::set<USHORT> closed;
    for (const OrvaneBaseRow& b : kBaseTable) {
        EXPECT_TRUE(ruleVendors.count(b.vendor)) << std::hex << b.vendor;
        EXPECT_FALSE(closed.count(b.vendor)) << "unreachable row of " << std::hex << b.vendor;
        if (b.when == OrvaneBaseWhen::Always)
            closed.insert(b.vendor);
    }
    // Every adjustment row names a known vendor, once; AMD has none.
    std::set<USHORT> adjusted;
    for (const OrvaneAdjustRow& a : kAdjustTable) {
        EXPECT_TRUE(ruleVendors.count(a.vendor)) << std::hex << a.vendor;
        EXPECT_TRUE(adjusted.insert(a.vendor).second) << std::hex << a.vendor;
    }
    EXPECT_FALSE(adjusted.count(kVendorAmd));
    EXPECT_EQ(adjusted.size(), 5u);
    // No device id twice in the change table.
    std::set<USHORT> ids;
    for (const OrvaneDeviceChangeRow& d : kDeviceChangeTable)
        EXPECT_TRUE(ids.insert(d.deviceId).second) << std::hex << d.deviceId;
    // Types appear once in the group table.
    std::set<ULONG> types;
    for (const OrvaneSelectRow& g : kSelectGroups)
        EXPECT_TRUE(types.insert(g.type).second) << g.type;
}

// Every adjustment-table row, every device-id change row and every base row
// is exercised by one of the board cases above.
TEST(SelectionTables, EveryRowHasABoard)
{
    using namespace OrvaneSelection;
    std::set<USHORT> boardIsaIds, boardVendors;
    for (const ChipsetCase& c : kChipsetCases) {
        if (c.status != STATUS_SUCCESS)
            continue;
        boardIsaIds.insert(c.isa.device);
        boardVendors.insert(c.chipset.vendor);
    }
    for (const OrvaneDeviceChangeRow& d : kDeviceChangeTable)
        EXPECT_TRUE(boardIsaIds.count(d.deviceId)) << "no board with ISA bridge " << std::hex << d.deviceId;
    for (const OrvaneAdjustRow& a : kAdjustTable)
        EXPECT_TRUE(boardVendors.count(a.vendor)) << std::hex << a.vendor;
    for (const OrvaneSmbusVendorRule& r : kSmbusVendorRules)
        EXPECT_TRUE(boardVendors.count(r.vendor)) << std::hex << r.vendor;
}

}  // namespace
