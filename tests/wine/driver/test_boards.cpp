// Boards of the Wine-hosted test driver. Every part is placement-constructed
// in static storage when the board is built: the image has no C++ runtime to
// run global constructors, and it allocates nothing.
#include "test_boards.h"

#include <new>

#include "boards.h"

namespace test_boards {
namespace {

// Stands in for an adapter's register window until the model of its host
// controller sits on the board: every register holds what was last written.
class RegisterWindow : public sim::PortDevice {
public:
    static constexpr int kMaxPorts = 32;
    explicit RegisterWindow(uint16_t base) : base(base) {}
    uint8_t In8(uint16_t port) override { return registers[(uint16_t)(port - base) % kMaxPorts]; }
    void Out8(uint16_t port, uint8_t value) override { registers[(uint16_t)(port - base) % kMaxPorts] = value; }

private:
    uint16_t base;
    uint8_t registers[kMaxPorts] = {};
};

alignas(sim::Board) unsigned char boardStorage[sizeof(sim::Board)];
alignas(RegisterWindow) unsigned char windowStorage[sizeof(RegisterWindow)];

// Puts the models of the board's adapter on its ports.
void AttachModels(sim::Board& board)
{
    if (board.spec->host == sim::BoardHost::None || board.spec->hostPorts == 0)
        return;
    board.AttachHost(new (windowStorage) RegisterWindow(board.spec->hostBase));
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
    const sim::BoardSpec* spec = name == nullptr ? sim::FindBoard(sim::kIntelBoard) : FindByName(name, length);
    if (spec == nullptr)
        return nullptr;
    sim::Board* board = sim::BuildBoard(boardStorage, sizeof(boardStorage), spec->id);
    if (board == nullptr)
        return nullptr;
    AttachModels(*board);
    return &board->machine;
}

}  // namespace test_boards
