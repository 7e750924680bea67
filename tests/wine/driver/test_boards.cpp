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

}  // namespace

sim::Machine* Build(const WCHAR* name, ULONG length)
{
    sim::Board* board = nullptr;
    if (name == nullptr) {
        board = sim::BuildIntelBoard(boardStorage, sizeof(boardStorage));
    } else if (const sim::BoardSpec* spec = FindByName(name, length)) {
        board = sim::BuildBoard(boardStorage, sizeof(boardStorage), spec->id);
    }
    if (board == nullptr || !Equip(*board))
        return nullptr;
    return &board->machine;
}

}  // namespace test_boards
