// Boards of the Wine-hosted test driver. Every part is placement-constructed
// in static storage when the board is built: the image has no C++ runtime to
// run global constructors, and a kernel driver has no heap of its own here.
#include "test_boards.h"

#include <new>

#include "../board_layout.h"

namespace test_boards {
namespace {

using namespace board_layout;

constexpr uint8_t kClassBridge = 0x06, kSubclassHost = 0x00, kSubclassIsa = 0x01;
constexpr uint8_t kClassSerialBus = 0x0C, kSubclassSmbus = 0x05;
constexpr unsigned kSmbusBarOffset = 0x20;       // BAR4: the I/O window
constexpr uint32_t kBarIoSpace = 0x1;
constexpr unsigned kSmbusHostConfigOffset = 0x40;
constexpr uint8_t kSmbusHostEnable = 0x01;

// Stands in for the SMBus host controller's register window until its model
// is on this board: every register holds what was last written to it.
class RegisterWindow : public sim::PortDevice {
public:
    uint8_t In8(uint16_t port) override { return registers[(port - kSmbusBase) % kSmbusPortCount]; }
    void Out8(uint16_t port, uint8_t value) override
    {
        registers[(port - kSmbusBase) % kSmbusPortCount] = value;
    }

private:
    uint8_t registers[kSmbusPortCount] = {};
};

alignas(sim::Machine) unsigned char machineStorage[sizeof(sim::Machine)];
alignas(RegisterWindow) unsigned char windowStorage[sizeof(RegisterWindow)];

sim::Machine* NewMachine() { return new (machineStorage) sim::Machine(); }

// An Intel chipset: host bridge, ISA bridge and the SMBus function with its
// I/O window enabled.
sim::Machine* BuildIntel()
{
    sim::Machine* m = NewMachine();
    m->AddPciFunction(0, 0, 0, kVendorIntel, kHostBridgeDeviceId, kClassBridge, kSubclassHost);
    m->AddPciFunction(0, kSmbusPciDevice, 0, kVendorIntel, kIsaBridgeDeviceId, kClassBridge, kSubclassIsa);
    sim::PciFunction* smbus = m->AddPciFunction(0, kSmbusPciDevice, kSmbusPciFunction, kVendorIntel,
                                                kSmbusDeviceId, kClassSerialBus, kSubclassSmbus);
    smbus->Set32(kSmbusBarOffset, kSmbusBase | kBarIoSpace);
    smbus->Set8(kSmbusHostConfigOffset, kSmbusHostEnable);
    m->Claim(kSmbusBase, kSmbusPortCount, new (windowStorage) RegisterWindow());
    return m;
}

// No PCI functions and no devices: every adapter lookup finds nothing.
sim::Machine* BuildEmpty() { return NewMachine(); }

constexpr Board kBoards[] = {
    {L"intel", BuildIntel},
    {L"empty", BuildEmpty},
};

WCHAR Lower(WCHAR c) { return c >= L'A' && c <= L'Z' ? (WCHAR)(c - L'A' + L'a') : c; }

bool SameName(const WCHAR* known, const WCHAR* name, ULONG length)
{
    ULONG i = 0;
    for (; i < length && known[i] != 0; ++i)
        if (Lower(known[i]) != Lower(name[i]))
            return false;
    return i == length && known[i] == 0;
}

}  // namespace

const Board* Find(const WCHAR* name, ULONG length)
{
    for (const Board& board : kBoards)
        if (SameName(board.name, name, length))
            return &board;
    return nullptr;
}

const Board& Default() { return kBoards[0]; }

}  // namespace test_boards
