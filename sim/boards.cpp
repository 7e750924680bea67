#include "boards.h"

#include <new>

namespace sim {

uint8_t PmIndexPorts::In8(uint16_t port)
{
    if (port == kIndexPort)
        return index;
    if (dataReads < kMaxReads)
        readIndexes[dataReads] = index;
    ++dataReads;
    return registers[index];
}

void PmIndexPorts::Out8(uint16_t port, uint8_t value)
{
    if (port == kIndexPort)
        index = value;
    else
        registers[index] = value;
}

namespace {

// PCI classes as the boards need them: class, subclass.
#define HOST_BRIDGE 0x06, 0x00
#define PCI_BRIDGE 0x06, 0x04
#define ISA_BRIDGE 0x06, 0x01
#define SMBUS 0x0C, 0x05
#define DISPLAY 0x03, 0x00

constexpr uint32_t kAll = 0xFFFFFFFFu;
constexpr uint16_t kSmbusSpan = 0x20;
constexpr uint16_t kSmbus8119Span = 0x40;  // its block window ends at +0x3F
constexpr uint32_t kHostEnable = 0x00000001u;  // Intel SMBus host configuration (0x40): host enabled
constexpr uint16_t kGpioSpan = 8;
constexpr uint16_t kParallelSpan = 3;

// An ICH-style Intel board: hub-to-PCI bridge, ISA/LPC bridge with the
// register at 0xF0 that selection adjusts, SMBus function with its base in BAR4.
#define ICH_BOARD(ID, NAME, HOSTID, BRIDGEID, ISAID, F0, SMBID, BASE)                    \
    {BoardId::ID, NAME, BoardHost::Intel, BASE, 0, kSmbusSpan,                          \
     {{0, 0, 0, 0x8086, HOSTID, HOST_BRIDGE, {}},                                       \
      {0, 30, 0, 0x8086, BRIDGEID, PCI_BRIDGE, {}},                                     \
      {0, 31, 0, 0x8086, ISAID, ISA_BRIDGE, {{0xF0, F0, kAll}, {0x40, 0x00001001, 0}}}, \
      {0, 31, 3, 0x8086, SMBID, SMBUS, {{0x20, (uint32_t)(BASE) | 1, 0}, {0x40, kHostEnable, kAll}}}},             \
     {},                                                                                \
     STATUS_OBJECT_NAME_NOT_FOUND, 0}

#define SIS_BOARD(ID, NAME, ISAID, REG, VALUE, SMBUSFN, BASE)                            \
    {BoardId::ID, NAME, BoardHost::Sis, BASE, 0, kSmbusSpan,                            \
     {{0, 0, 0, 0x1039, 0x0648, HOST_BRIDGE, {}},                                       \
      {0, 1, 0, 0x1039, 0x0001, PCI_BRIDGE, {}},                                        \
      {0, 2, 0, 0x1039, ISAID, ISA_BRIDGE, {{REG, VALUE, kAll}}},                       \
      SMBUSFN},                                                                         \
     {},                                                                                \
     STATUS_OBJECT_NAME_NOT_FOUND, 0}

#define NO_FUNCTION {0, 0, 0, 0, 0, 0, 0, {}}

constexpr BoardSpec kBoards[] = {
    ICH_BOARD(Intel2410, "intel-2410", 0x7190, 0x2418, 0x2410, 0x00080F01u, 0x2413, 0x1800),
    ICH_BOARD(Intel2420, "intel-2420", 0x7190, 0x2428, 0x2420, 0x00080F01u, 0x2423, 0x1820),
    ICH_BOARD(Intel2440, "intel-2440", 0x1130, 0x244E, 0x2440, 0x00080F01u, 0x2443, 0x1840),
    ICH_BOARD(Intel244C, "intel-244c", 0x1A30, 0x244E, 0x244C, 0x00080F01u, 0x2443, 0x1860),
    ICH_BOARD(Intel24C0, "intel-24c0", 0x2560, 0x244E, 0x24C0, 0x00FF0F01u, 0x24C3, 0x1880),
    {BoardId::Intel8119, "intel-8119", BoardHost::Intel8119, 0x1040, 0, kSmbus8119Span,
     {{0, 0, 0, 0x8086, 0x8100, HOST_BRIDGE, {}},
      {0, 28, 0, 0x8086, 0x8110, PCI_BRIDGE, {}},
      {0, 31, 0, 0x8086, 0x8119, ISA_BRIDGE, {{0x40, 0x00001041u, kAll}, {0xF0, 0x12345678u, 0}}}},
     {},
     STATUS_OBJECT_NAME_NOT_FOUND, 0},
    {BoardId::IntelIch7, "intel-ich7", BoardHost::Intel, 0x0400, 0, kSmbusSpan,
     {{0, 0, 0, 0x8086, 0x2770, HOST_BRIDGE, {}},
      {0, 1, 0, 0x10B5, 0x8111, PCI_BRIDGE, {}},   // a bridge of another vendor comes first
      {0, 28, 0, 0x8086, 0x27D0, PCI_BRIDGE, {}},  // the first Intel bridge is the chipset bridge
      {0, 30, 0, 0x8086, 0x244E, PCI_BRIDGE, {}},
      {0, 31, 0, 0x8086, 0x27B8, ISA_BRIDGE, {{0xF0, 0xFED1C001u, kAll}}},
      {0, 31, 3, 0x8086, 0x27DA, SMBUS, {{0x20, 0x00000401u, 0}, {0x40, kHostEnable, kAll}}},
      {3, 0, 0, 0x8086, 0x27DA, SMBUS, {{0x20, 0x00000501u, 0}}}},  // a second SMBus function, never used
     {},
     STATUS_OBJECT_NAME_NOT_FOUND, 0},
    {BoardId::IntelNoSmbus, "intel-no-smbus", BoardHost::None, 0, 0, 0,
     {{0, 30, 0, 0x8086, 0x244E, PCI_BRIDGE, {}},
      {0, 31, 0, 0x8086, 0x2440, ISA_BRIDGE, {{0xF0, 0x00080F01u, kAll}}}},
     {},
     STATUS_OBJECT_NAME_NOT_FOUND, 0},

    {BoardId::NvidiaOld, "nvidia-old", BoardHost::Nvidia, 0x5000, 0x5100, kSmbusSpan,
     {{0, 0, 0, 0x10DE, 0x01E0, HOST_BRIDGE, {}},
      {0, 30, 0, 0x10DE, 0x01E8, PCI_BRIDGE, {}},
      {0, 1, 0, 0x10DE, 0x0060, ISA_BRIDGE, {{0x8C, 0x00010203u, kAll}, {0x68, 0x00000801u, 0}}},
      {0, 1, 1, 0x10DE, 0x0064, SMBUS,
       {{0x50, 0x00005001u, 0}, {0x54, 0x00005101u, 0}, {0x20, 0x00007001u, 0}, {0x24, 0x00007101u, 0}}}},
     {},
     STATUS_OBJECT_NAME_NOT_FOUND, 0},
    {BoardId::NvidiaNew, "nvidia-new", BoardHost::Nvidia, 0x6000, 0x6100, kSmbusSpan,
     {{0, 0, 0, 0x10DE, 0x0369, HOST_BRIDGE, {}},
      {0, 30, 0, 0x10DE, 0x0370, PCI_BRIDGE, {}},
      {0, 1, 0, 0x10DE, 0x0050, ISA_BRIDGE, {{0x8C, 0x00011234u, kAll}, {0x68, 0x00000801u, 0}}},
      {0, 1, 1, 0x10DE, 0x0368, SMBUS,
       {{0x20, 0x00006001u, 0}, {0x24, 0x00006101u, 0}, {0x50, 0x00007201u, 0}, {0x54, 0x00007301u, 0}}}},
     {},
     STATUS_OBJECT_NAME_NOT_FOUND, 0},
    {BoardId::NvidiaIo5C, "nvidia-io-005c", BoardHost::Nvidia, 0x4C00, 0x4C40, kSmbusSpan,
     {{0, 0, 0, 0x10DE, 0x005E, HOST_BRIDGE, {}},
      {0, 9, 0, 0x10DE, 0x005C, PCI_BRIDGE, {}},
      {0, 1, 0, 0x10DE, 0x0050, ISA_BRIDGE, {{0x8C, 0x00010000u, kAll}, {0x68, 0x00001001u, 0}}},
      {0, 1, 1, 0x10DE, 0x0052, SMBUS, {{0x50, 0x00004C01u, 0}, {0x54, 0x00004C41u, 0}}}},
     {},
     STATUS_OBJECT_NAME_NOT_FOUND, 0},
    {BoardId::NvidiaIo3D, "nvidia-io-003d", BoardHost::Nvidia, 0x4D00, 0x4D40, kSmbusSpan,
     {{0, 0, 0, 0x10DE, 0x0369, HOST_BRIDGE, {}},
      {0, 6, 0, 0x10DE, 0x003D, PCI_BRIDGE, {}},
      {0, 1, 0, 0x10DE, 0x0360, ISA_BRIDGE, {{0x8C, 0x000000FFu, kAll}, {0x68, 0x00002001u, 0}}},
      {0, 1, 1, 0x10DE, 0x0368, SMBUS, {{0x20, 0x00004D01u, 0}, {0x24, 0x00004D41u, 0}}}},
     {},
     STATUS_OBJECT_NAME_NOT_FOUND, 0},

    {BoardId::ViaSmbus, "via-smbus", BoardHost::Via, 0x6000, 0, kSmbusSpan,
     {{0, 0, 0, 0x1106, 0x0691, HOST_BRIDGE, {}},
      {0, 1, 0, 0x1106, 0x8598, PCI_BRIDGE, {}},
      {0, 7, 0, 0x1106, 0x0686, ISA_BRIDGE, {{0xD0, 0x00000000u, kAll}}},
      {0, 7, 4, 0x1106, 0x3057, SMBUS, {{0xD0, 0x00016001u, 0}}}},
     {},
     STATUS_OBJECT_NAME_NOT_FOUND, 0},
    {BoardId::ViaIsaOnly, "via-isa-only", BoardHost::Via, 0x0400, 0, kSmbusSpan,
     {{0, 0, 0, 0x1106, 0x3168, HOST_BRIDGE, {}},
      {0, 1, 0, 0x1106, 0xB168, PCI_BRIDGE, {}},
      {0, 17, 0, 0x1106, 0x3227, ISA_BRIDGE, {{0xD0, 0x00000401u, kAll}}}},
     {},
     STATUS_OBJECT_NAME_NOT_FOUND, 0},

    SIS_BOARD(Sis0008, "sis-0008", 0x0008, 0x74, 0x10000080u,
              (BoardFunction{0, 2, 1, 0x1039, 0x0016, SMBUS, {{0x20, 0x00000C01u, 0}}}), 0x0C00),
    SIS_BOARD(Sis0964, "sis-0964", 0x0964, 0x74, 0x00000B12u, NO_FUNCTION, 0x0BE0),
    SIS_BOARD(Sis0965, "sis-0965", 0x0965, 0x74, 0x00000B12u, NO_FUNCTION, 0x0BD0),
    SIS_BOARD(Sis0968, "sis-0968", 0x0968, 0x9A, 0x00000C00u, NO_FUNCTION, 0x0C00),
    SIS_BOARD(Sis0966, "sis-0966", 0x0966, 0x74, 0x00000B12u, NO_FUNCTION, 0),

    {BoardId::Ali1563, "ali-1563", BoardHost::Ali, 0x0E80, 0, kSmbusSpan,
     {{0, 0, 0, 0x10B9, 0x1689, HOST_BRIDGE, {}},
      {0, 1, 0, 0x10B9, 0x5247, PCI_BRIDGE, {}},
      {0, 7, 0, 0x10B9, 0x1563, ISA_BRIDGE, {{0x80, 0x00000040u, kAll}}},
      {0, 17, 0, 0x10B9, 0x7101, SMBUS, {{0x80, 0x0000E801u, 0}}}},
     {},
     STATUS_OBJECT_NAME_NOT_FOUND, 0},
    {BoardId::Ali1533, "ali-1533", BoardHost::Ali, 0x00E1, 0, kSmbusSpan,
     {{0, 0, 0, 0x10B9, 0x1541, HOST_BRIDGE, {}},
      {0, 1, 0, 0x10B9, 0x5243, PCI_BRIDGE, {}},
      {0, 7, 0, 0x10B9, 0x1533, ISA_BRIDGE, {{0x80, 0x12345678u, kAll}}},
      {0, 17, 0, 0x10B9, 0x7101, SMBUS, {{0x80, 0x00000E11u, 0}}}},
     {},
     STATUS_OBJECT_NAME_NOT_FOUND, 0},

    {BoardId::Amd4385, "amd-4385", BoardHost::Amd, 0x0B10, 0, kSmbusSpan,
     {{0, 0, 0, 0x1022, 0x9600, HOST_BRIDGE, {}},
      {0, 2, 0, 0x1022, 0x9603, PCI_BRIDGE, {}},
      {0, 20, 0, 0x1022, 0x4385, SMBUS, {{0x90, 0x00000C01u, 0}}},
      {0, 20, 3, 0x1022, 0x438D, ISA_BRIDGE, {{0xF0, 0x00000000u, kAll}, {0x80, 0x00000000u, kAll}}}},
     {{0x2C, 0x11}, {0x2D, 0x0B}, {0x01, 0x0D}},
     STATUS_OBJECT_NAME_NOT_FOUND, 0},
    {BoardId::Amd790B, "amd-790b", BoardHost::Amd, 0x0B00, 0, kSmbusSpan,
     {{0, 0, 0, 0x1022, 0x1510, HOST_BRIDGE, {}},
      {0, 2, 0, 0x1022, 0x1512, PCI_BRIDGE, {}},
      {0, 20, 0, 0x1022, 0x790B, SMBUS, {{0x90, 0x00000C01u, 0}}},
      {0, 20, 3, 0x1022, 0x790E, ISA_BRIDGE, {{0xF0, 0x00000000u, kAll}}}},
     {{0x01, 0x0B}, {0x2C, 0x21}, {0x2D, 0x0C}},
     STATUS_OBJECT_NAME_NOT_FOUND, 0},
    {BoardId::AmdOther, "amd-other", BoardHost::Amd, 0x0B20, 0, kSmbusSpan,
     {{0, 0, 0, 0x1022, 0x1410, HOST_BRIDGE, {}},
      {0, 2, 0, 0x1022, 0x1412, PCI_BRIDGE, {}},
      {0, 20, 0, 0x1022, 0x780B, SMBUS, {{0x90, 0x00000B21u, 0}}}},
     {{0x01, 0x0D}, {0x2C, 0x21}, {0x2D, 0x0C}},
     STATUS_OBJECT_NAME_NOT_FOUND, 0},

    // The GPIO types look for a display controller of vendor 0x1022; one of
    // vendor 0x1002 ahead of it is passed over.
    {BoardId::DisplayBar4, "display-bar4", BoardHost::Gpio, 0xE000, 0, kGpioSpan,
     {{0, 1, 0, 0x1002, 0x9610, DISPLAY, {{0x20, 0x0000C001u, 0}}},
      {1, 5, 0, 0x1022, 0x4150, DISPLAY, {{0x20, 0x0000E001u, 0}, {0x14, 0x0000D001u, 0}}}},
     {},
     STATUS_OBJECT_NAME_NOT_FOUND, 0},
    {BoardId::DisplayBar1, "display-bar1", BoardHost::Gpio, 0xD000, 0, kGpioSpan,
     {{1, 5, 0, 0x1022, 0x9610, DISPLAY, {{0x20, 0x000000F1u, 0}, {0x14, 0x0000D001u, 0}}}},
     {},
     STATUS_OBJECT_NAME_NOT_FOUND, 0},

    {BoardId::Parallel, "parallel", BoardHost::Parallel, 0x0378, 0, kParallelSpan,
     {{0, 0, 0, 0x8086, 0x2770, HOST_BRIDGE, {}}},
     {},
     STATUS_SUCCESS, 0x0378},
    {BoardId::Empty, "empty", BoardHost::None, 0, 0, 0, {}, {}, STATUS_OBJECT_NAME_NOT_FOUND, 0},
};

static_assert(sizeof(kBoards) / sizeof(kBoards[0]) == (size_t)BoardId::kCount, "one spec per board id");

constexpr bool IdsInOrder()
{
    for (int i = 0; i < kBoardCount; ++i)
        if ((int)kBoards[i].id != i)
            return false;
    return true;
}
static_assert(IdsInOrder(), "the board table is indexed by its id");

#undef HOST_BRIDGE
#undef PCI_BRIDGE
#undef ISA_BRIDGE
#undef SMBUS
#undef DISPLAY
#undef ICH_BOARD
#undef SIS_BOARD
#undef NO_FUNCTION

}  // namespace

const BoardSpec* FindBoard(BoardId id)
{
    const int i = (int)id;
    return i >= 0 && i < kBoardCount ? &kBoards[i] : nullptr;
}

const BoardSpec* BoardAt(int index)
{
    return index >= 0 && index < kBoardCount ? &kBoards[index] : nullptr;
}

bool Board::AttachHost(PortDevice* host, bool secondChannel)
{
    const uint16_t base = secondChannel ? spec->hostBase2 : spec->hostBase;
    if (spec->hostPorts == 0 || base == 0)
        return false;
    return machine.Claim(base, spec->hostPorts, host);
}

PciFunction* Board::Function(uint16_t vendorId, uint16_t deviceId)
{
    for (const BoardFunction& f : spec->functions)
        if (f.vendorId != 0 && f.vendorId == vendorId && f.deviceId == deviceId)
            return machine.FindPci(f.bus, f.device, f.function);
    return nullptr;
}

bool Board::EquipGpio(uint32_t gpioRegister)
{
    if (spec->host != BoardHost::Gpio)
        return false;
    wire.Connect(&smbus);
    return gpio.Connect(machine, spec->hostBase, gpioRegister, &wire);
}

bool Board::EquipParallel()
{
    if (spec->host != BoardHost::Parallel)
        return false;
    wire.Connect(&smbus);
    return lpt.Connect(machine, spec->hostBase, &wire);
}

Board* BuildBoard(void* storage, size_t size, BoardId id)
{
    const BoardSpec* spec = FindBoard(id);
    if (spec == nullptr || storage == nullptr || size < sizeof(Board) ||
        (uintptr_t)storage % alignof(Board) != 0)
        return nullptr;
    Board* board = new (storage) Board();
    board->spec = spec;
    Machine& m = board->machine;
    for (const BoardFunction& f : spec->functions) {
        if (f.vendorId == 0)
            continue;
        PciFunction* pci = m.AddPciFunction(f.bus, f.device, f.function, f.vendorId, f.deviceId,
                                            f.classCode, f.subclass);
        if (pci == nullptr)
            return nullptr;
        for (const ConfigValue& v : f.values) {
            if (v.offset == 0)
                continue;
            pci->Set32(v.offset, v.value);
            pci->Writable32(v.offset, v.writable);
        }
    }
    if (spec->host == BoardHost::Amd) {
        for (const auto& r : spec->pm)
            board->pm.registers[r.index] = r.value;
        m.Claim(PmIndexPorts::kIndexPort, 2, &board->pm);
    }
    m.parallelStatus = spec->parallelStatus;
    m.parallelController = spec->parallelController;
    return board;
}

Board* BuildIntelBoard(void* storage, size_t size)
{
    Board* board = BuildBoard(storage, size, kIntelBoard);
    if (board != nullptr && !board->AttachTarget(&board->controller))
        return nullptr;
    return board;
}

}  // namespace sim
