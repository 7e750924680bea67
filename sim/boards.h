// Ready-made boards for the simulated PC: one per chipset family and variant
// that adapter selection tells apart. A board is data, a short list of PCI
// functions with the configuration values that matter, plus the AMD
// power-management registers and the parallel-port driver's answer; a Board
// object is that data laid into a Machine.
//
// The SMBus base registers are in configuration space, so selection finds the
// base the board names; a host-controller model and I2C targets attach there.
//
// Fixed storage only: boards are built into caller-provided memory by
// placement, with no heap and no constructors that run before main.
#ifndef SIM_BOARDS_H
#define SIM_BOARDS_H

#include <stddef.h>
#include <stdint.h>

#include "display_gpio.h"
#include "i2c.h"
#include "i2c_wire.h"
#include "machine.h"
#include "parallel_port.h"
#include "r39218.h"

namespace sim {

// The AMD power-management index/data pair: a register index written to
// 0xCD6 selects the byte that 0xCD7 then reads or writes.
class PmIndexPorts : public PortDevice {
public:
    static constexpr uint16_t kIndexPort = 0xCD6;
    static constexpr uint16_t kDataPort = 0xCD7;

    constexpr PmIndexPorts() = default;
    uint8_t In8(uint16_t port) override;
    void Out8(uint16_t port, uint8_t value) override;

    uint8_t registers[256] = {};
    uint8_t index = 0;
    // The indexes of the data-port reads, in order (the first kMaxReads).
    static constexpr int kMaxReads = 8;
    uint8_t readIndexes[kMaxReads] = {};
    int dataReads = 0;
};

// One dword of configuration space: its value and the bits software may write.
struct ConfigValue {
    uint8_t offset;  // 0 marks an unused entry (offset 0 holds the ids)
    uint32_t value;
    uint32_t writable;
};

struct BoardFunction {
    static constexpr int kMaxValues = 5;
    uint8_t bus, device, function;
    uint16_t vendorId;  // 0 marks an unused entry
    uint16_t deviceId;
    uint8_t classCode, subclass;
    ConfigValue values[kMaxValues];
};

// Which model serves the board's adapter at its base.
enum class BoardHost : uint8_t { None, Intel, Intel8119, Nvidia, Via, Sis, Ali, Amd, Gpio, Parallel };

enum class BoardId : uint8_t {
    Intel2410,     // ICH: ISA bridge 0x2410
    Intel2420,     // ICH0
    Intel2440,     // ICH2
    Intel244C,     // ICH2-M
    Intel24C0,     // ICH4
    Intel8119,     // SCH: the SMBus base lives in the LPC bridge at 0x40
    IntelIch7,     // an ISA bridge id without a change; a foreign bridge, two Intel bridges, two SMBus functions
    IntelNoSmbus,  // chipset and ISA bridge, no SMBus function
    NvidiaOld,     // SMBus id below 0x026F: bases at 0x50/0x54; ISA bridge 0x0060
    NvidiaNew,     // SMBus id at or above 0x026F: bases at 0x20/0x24; ISA bridge 0x0050
    NvidiaIo5C,    // chipset bridge 0x005C: chipset I/O base in the ISA bridge at 0x68
    NvidiaIo3D,    // chipset bridge 0x003D
    ViaSmbus,      // an SMBus function holds the base at 0xD0
    ViaIsaOnly,    // no SMBus function: the ISA bridge holds it
    Sis0008,
    Sis0964,
    Sis0965,
    Sis0968,
    Sis0966,       // an ISA bridge id with no base rule
    Ali1563,
    Ali1533,       // an ISA bridge id without a change
    Amd4385,       // base from PM registers 0x2D and 0x2C
    Amd790B,       // base from PM register 0x01
    AmdOther,      // base at 0x90 of the SMBus function
    DisplayBar4,   // display controller with an I/O base in BAR4
    DisplayBar1,   // BAR4 holds no I/O base: BAR1 is used
    Parallel,      // the system's parallel-port driver knows ParallelPort0
    Empty,         // nothing at all on the PCI bus
    kCount
};

struct BoardSpec {
    static constexpr int kMaxFunctions = 7;
    static constexpr int kMaxPm = 3;
    BoardId id;
    const char* name;
    BoardHost host;
    uint16_t hostBase;    // where the adapter's ports sit (first NVIDIA channel)
    uint16_t hostBase2;   // second NVIDIA channel
    uint16_t hostPorts;   // span of the adapter's ports
    BoardFunction functions[kMaxFunctions];
    struct { uint8_t index, value; } pm[kMaxPm];  // index 0 with value 0 marks unused
    NTSTATUS parallelStatus;
    ULONGLONG parallelController;
};

const BoardSpec* FindBoard(BoardId id);
const BoardSpec* BoardAt(int index);  // nullptr past the end
constexpr int kBoardCount = (int)BoardId::kCount;

// A board laid into a machine: the PCI functions, the PM index pair, the
// SMBus segments that a host-controller model serves at the base (the second
// for the second NVIDIA channel), and the bit-banged adapters' models with
// their wire onto the first segment.
struct Board {
    Machine machine;
    PmIndexPorts pm;
    I2cBus smbus;
    I2cBus smbus2;
    I2cWire wire;
    DisplayGpio gpio;
    ParallelPort lpt;
    // The R39218 controller; on the default Intel board it sits on smbus at 0x94.
    R39218 controller;
    const BoardSpec* spec = nullptr;

    // Puts a port device (a host-controller model) on the board's ports at
    // hostBase, or at hostBase2 for the second NVIDIA channel.
    bool AttachHost(PortDevice* host, bool secondChannel = false);
    bool AttachTarget(I2cTarget* target) { return smbus.Attach(target); }
    PciFunction* Function(uint16_t vendorId, uint16_t deviceId);
    // The GPIO boards: the display controller's window at hostBase, with
    // the pins on gpioRegister, driving the wire onto smbus.
    bool EquipGpio(uint32_t gpioRegister);
    // The parallel board: the port at hostBase, driving the wire onto smbus.
    bool EquipParallel();
};

// Builds the board into storage (at least sizeof(Board) bytes, suitably
// aligned); returns nullptr when the storage does not fit or the id is unknown.
Board* BuildBoard(void* storage, size_t size, BoardId id);

// The default board of the test driver: an Intel chipset whose SMBus host sits
// at IntelBoardBase; a host-controller model and the controller at 8-bit
// address 0x94 attach to it.
constexpr BoardId kIntelBoard = BoardId::IntelIch7;
Board* BuildIntelBoard(void* storage, size_t size);

}  // namespace sim

#endif
