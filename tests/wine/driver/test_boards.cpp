// Boards of the Wine-hosted test driver. Every part is placement-constructed
// in static storage when the board is built: the image has no C++ runtime to
// run global constructors, and it allocates nothing.
#include "test_boards.h"

#include <new>

#include "boards.h"
#include "chipset_hosts.h"

namespace test_boards {
namespace {

constexpr uint32_t kGpioRegisterA = 0x60;  // the pins of the first GPIO interface type

// One board per driver load, with the models its adapter may need.
alignas(sim::Board) unsigned char boardStorage[sizeof(sim::Board)];
alignas(sim::ChipsetHosts) unsigned char chipsetHostsStorage[sizeof(sim::ChipsetHosts)];

bool EquipChipsetHost(sim::Board& b) { return (new (chipsetHostsStorage) sim::ChipsetHosts())->Equip(b); }
bool EquipGpio(sim::Board& b) { return b.EquipGpio(kGpioRegisterA); }
bool EquipParallel(sim::Board& b) { return b.EquipParallel(); }

struct Equipment {
    sim::BoardHost host;
    bool (*equip)(sim::Board&);
};

constexpr Equipment kEquipment[] = {
    {sim::BoardHost::Intel, EquipChipsetHost},
    {sim::BoardHost::Intel8119, EquipChipsetHost},
    {sim::BoardHost::Amd, EquipChipsetHost},
    {sim::BoardHost::Via, EquipChipsetHost},
    {sim::BoardHost::Ali, EquipChipsetHost},
    {sim::BoardHost::Sis, EquipChipsetHost},
    {sim::BoardHost::Nvidia, EquipChipsetHost},
    {sim::BoardHost::Gpio, EquipGpio},
    {sim::BoardHost::Parallel, EquipParallel},
};

// Puts the model of the board's adapter on its ports and the R39218 on its
// first SMBus segment (at its default address, 0x94).
bool Equip(sim::Board& board)
{
    // A board whose adapter has no base (selection finds none) carries no model.
    const bool hasPorts = board.spec->hostBase != 0 && board.spec->hostPorts != 0;
    for (const Equipment& e : kEquipment)
        if (hasPorts && e.host == board.spec->host && !e.equip(board))
            return false;
    return board.smbus.Find(board.controller.address8) == &board.controller ||
           board.AttachTarget(&board.controller);
}

WCHAR Lower(WCHAR c) { return c >= L'A' && c <= L'Z' ? (WCHAR)(c - L'A' + L'a') : c; }

bool SameName(const char* known, const WCHAR* name, ULONG length)
{
    ULONG i = 0;
    for (; i < length && known[i] != 0; ++i)
        if (Lower((WCHAR)(unsigned char)known[i]) != Lower(name[i]))
            return false;
    return i == length && known[i] == 0;
}

const sim::BoardSpec* FindByName(const WCHAR* name, ULONG length)
{
    for (int i = 0; const sim::BoardSpec* spec = sim::BoardAt(i); ++i)
        if (SameName(spec->name, name, length))
            return spec;
    return nullptr;
}

// The default Intel board with a controller that misbehaves in one way, for
// the end-to-end runs of the library's programming.
constexpr int32_t kRejectedRomAddress = 0x100;
constexpr uint8_t kWrongSignature[2] = {0x92, 0x19};

void RejectOneByteOnce(sim::R39218& chip)
{
    chip.nackRomFrom = kRejectedRomAddress;
    chip.nackRomTimes = 1;
}

void WrongSignature(sim::R39218& chip)
{
    chip.rom[sim::R39218::kSignatureAddr] = kWrongSignature[0];
    chip.rom[sim::R39218::kSignatureAddr + 1] = kWrongSignature[1];
}

struct ChipVariant {
    const char* name;
    void (*apply)(sim::R39218&);
};

constexpr ChipVariant kChipVariants[] = {
    {"intel-reject-once", RejectOneByteOnce},      // one ROM byte not acknowledged, the first time only
    {"intel-bad-signature", WrongSignature},       // a ROM that is not an R39218's
};

const ChipVariant* FindVariant(const WCHAR* name, ULONG length)
{
    for (const ChipVariant& v : kChipVariants)
        if (SameName(v.name, name, length))
            return &v;
    return nullptr;
}

sim::Board* builtBoard = nullptr;

}  // namespace

sim::Machine* Build(const WCHAR* name, ULONG length)
{
    sim::Board* board = nullptr;
    const ChipVariant* variant = name != nullptr ? FindVariant(name, length) : nullptr;
    if (name == nullptr || variant != nullptr) {
        board = sim::BuildIntelBoard(boardStorage, sizeof(boardStorage));
        if (board != nullptr && variant != nullptr)
            variant->apply(board->controller);
    } else if (const sim::BoardSpec* spec = FindByName(name, length)) {
        board = sim::BuildBoard(boardStorage, sizeof(boardStorage), spec->id);
    }
    if (board == nullptr || !Equip(*board))
        return nullptr;
    builtBoard = board;
    return &board->machine;
}

sim::R39218* Chip() { return builtBoard != nullptr ? &builtBoard->controller : nullptr; }

}  // namespace test_boards
