// Boards of the Wine-hosted test driver. Every part is placement-constructed
// in static storage when the board is built: the image has no C++ runtime to
// run global constructors, and it allocates nothing.
#include "test_boards.h"

#include <new>

#include "boards.h"
#include "smbus_hosts.h"

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
    uint16_t base = 0;
    uint8_t registers[kMaxPorts] = {};
};

constexpr uint8_t kControllerAddress = 0x94;  // the firmware controller, 8-bit form
constexpr uint16_t kVendorSis = 0x1039;
constexpr uint16_t kSisDataAt10Bridge = 0x0968;  // these south bridges moved the data registers
constexpr uint32_t kGpioRegisterA = 0x60;        // the pins of the first GPIO interface type

// Static storage for the board and the models placed on it; one board is
// built per driver load.
constexpr size_t kModelStorage = 512;
constexpr int kModelSlots = 3;
alignas(sim::Board) unsigned char boardStorage[sizeof(sim::Board)];
alignas(16) unsigned char modelStorage[kModelSlots][kModelStorage];
int modelsPlaced = 0;

template <typename Model, typename... Args>
Model* Place(Args... args)
{
    static_assert(sizeof(Model) <= kModelStorage && alignof(Model) <= 16, "model storage too small");
    if (modelsPlaced == kModelSlots)
        return nullptr;
    return new (modelStorage[modelsPlaced++]) Model(args...);
}

bool EquipAmdVia(sim::Board& b)
{
    sim::AmdViaSmbus* host = Place<sim::AmdViaSmbus>();
    if (host == nullptr)
        return false;
    host->Connect(&b.machine, b.spec->hostBase, &b.smbus);
    return b.AttachHost(host);
}

bool EquipAli(sim::Board& b)
{
    sim::AliSmbus* host = Place<sim::AliSmbus>();
    if (host == nullptr)
        return false;
    host->Connect(&b.machine, b.spec->hostBase, &b.smbus);
    return b.AttachHost(host);
}

bool EquipSis(sim::Board& b)
{
    sim::SisSmbus* host = Place<sim::SisSmbus>();
    if (host == nullptr)
        return false;
    const bool moved = b.Function(kVendorSis, kSisDataAt10Bridge) != nullptr;
    host->Connect(&b.machine, b.spec->hostBase, &b.smbus,
                  moved ? sim::SisSmbus::Variant::DataAt10 : sim::SisSmbus::Variant::DataAt8);
    return b.AttachHost(host);
}

bool EquipNvidia(sim::Board& b)
{
    sim::NvidiaSmbus* first = Place<sim::NvidiaSmbus>();
    sim::NvidiaSmbus* second = Place<sim::NvidiaSmbus>();
    if (first == nullptr || second == nullptr)
        return false;
    first->Connect(&b.machine, b.spec->hostBase, &b.smbus);
    second->Connect(&b.machine, b.spec->hostBase2, &b.smbus2);
    return b.AttachHost(first) && b.AttachHost(second, true);
}

bool EquipGpio(sim::Board& b) { return b.EquipGpio(kGpioRegisterA); }
bool EquipParallel(sim::Board& b) { return b.EquipParallel(); }

// Until the Intel host-controller model is on the board.
bool EquipRegisterWindow(sim::Board& b)
{
    RegisterWindow* window = Place<RegisterWindow>(b.spec->hostBase);
    return window != nullptr && b.AttachHost(window);
}

struct Equipment {
    sim::BoardHost host;
    bool (*equip)(sim::Board&);
};

constexpr Equipment kEquipment[] = {
    {sim::BoardHost::Intel, EquipRegisterWindow},
    {sim::BoardHost::Intel8119, EquipRegisterWindow},
    {sim::BoardHost::Amd, EquipAmdVia},
    {sim::BoardHost::Via, EquipAmdVia},
    {sim::BoardHost::Ali, EquipAli},
    {sim::BoardHost::Sis, EquipSis},
    {sim::BoardHost::Nvidia, EquipNvidia},
    {sim::BoardHost::Gpio, EquipGpio},
    {sim::BoardHost::Parallel, EquipParallel},
};

// Puts the model of the board's adapter on its ports and the controller's
// stand-in on its first SMBus segment.
bool Equip(sim::Board& board)
{
    modelsPlaced = 0;
    // A board whose adapter has no base (selection finds none) carries no model.
    const bool hasPorts = board.spec->hostBase != 0 && board.spec->hostPorts != 0;
    for (const Equipment& e : kEquipment)
        if (hasPorts && e.host == board.spec->host && !e.equip(board))
            return false;
    sim::RegisterTarget* controller = Place<sim::RegisterTarget>();
    if (controller == nullptr)
        return false;
    controller->address8 = kControllerAddress;
    return board.AttachTarget(controller);
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
    if (board == nullptr || !Equip(*board))
        return nullptr;
    return &board->machine;
}

}  // namespace test_boards
