// The AMD/VIA, ALi, SiS and NVIDIA SMBus host controllers on a simulated
// board: a register target on the controller's bus, the controller model at
// its base and a spy over its ports that counts reads and keeps every access
// in order with its virtual time.
#ifndef TESTS_HOST_CHIPSET_FIXTURE_H
#define TESTS_HOST_CHIPSET_FIXTURE_H

#include "board_fixture.h"

#include <utility>
#include <vector>

#include "boards.h"
#include "chipset_hosts.h"
#include "i2c.h"
#include "orvane_engines.h"
#include "smbus_hosts.h"

namespace chipsets {

constexpr USHORT kBase = 0x0C00;
constexpr USHORT kSecondBase = 0x0C40;  // NVIDIA's second channel
constexpr uint8_t kTargetAddr = 0xA0;
constexpr uint16_t kSpyPorts = 0x20;
constexpr sim::Nanos kMs = 1000000;

enum class Host { Amd, Via, Ali, Sis, Sis968, Nvidia1, Nvidia2 };

using Engine = NTSTATUS (*)(OrvaneDeviceExtension*);

struct HostCase {
    const char* name;
    Host host;
    USHORT vendorId;
    USHORT isaDeviceId;
    ULONG interfaceType;
    Engine read;
    Engine write;
    bool blocks;        // the controller has block transfers
    ULONG pollLimit;    // of the transfer waits
};

inline const HostCase kHosts[] = {
    {"amd", Host::Amd, 0x1022, 0x780B, ORVANE_IF_AMD, SmbusAmdRead, SmbusAmdViaWrite, true, 65535},
    {"via", Host::Via, 0x1106, 0x3227, ORVANE_IF_VIA, SmbusViaRead, SmbusAmdViaWrite, true, 65535},
    {"ali", Host::Ali, 0x10B9, 0x1563, ORVANE_IF_ALI, SmbusAliRead, SmbusAliWrite, true, 1000},
    {"sis", Host::Sis, 0x1039, 0x0008, ORVANE_IF_SIS, SmbusSisRead, SmbusSisWrite, false, 65535},
    {"sis968", Host::Sis968, 0x1039, 0x0968, ORVANE_IF_SIS, SmbusSisRead, SmbusSisWrite, false, 65535},
    {"nvidia1", Host::Nvidia1, 0x10DE, 0x0050, ORVANE_IF_NVIDIA_1, SmbusNvidiaRead, SmbusNvidiaWrite, false, 65535},
    {"nvidia2", Host::Nvidia2, 0x10DE, 0x0050, ORVANE_IF_NVIDIA_2, SmbusNvidiaRead, SmbusNvidiaWrite, false, 65535},
};

inline void PrintTo(const HostCase& c, std::ostream* os) { *os << c.name; }

inline const HostCase& CaseOf(Host h)
{
    for (const HostCase& c : kHosts)
        if (c.host == h)
            return c;
    return kHosts[0];
}

inline void PrintTo(Host h, std::ostream* os) { *os << CaseOf(h).name; }

// Sits over a controller's ports, passes every access on and remembers it.
class PortSpy : public sim::PortDevice {
public:
    struct Event {
        bool write;
        uint16_t offset;
        uint8_t value;
        sim::Nanos at;
    };

    void Wrap(sim::Machine* m, uint16_t at, sim::PortDevice* device)
    {
        machine = m;
        base = at;
        inner = device;
        m->Claim(at, kSpyPorts, this);
    }

    uint8_t In8(uint16_t port) override
    {
        const uint8_t v = inner->In8(port);
        ++reads[(port - base) % kSpyPorts];
        events.push_back({false, (uint16_t)(port - base), v, machine->Now()});
        return v;
    }
    void Out8(uint16_t port, uint8_t value) override
    {
        events.push_back({true, (uint16_t)(port - base), value, machine->Now()});
        inner->Out8(port, value);
    }

    void Clear()
    {
        events.clear();
        for (uint32_t& r : reads)
            r = 0;
    }
    std::vector<std::pair<uint16_t, uint8_t>> Writes() const
    {
        std::vector<std::pair<uint16_t, uint8_t>> w;
        for (const Event& e : events)
            if (e.write)
                w.emplace_back(e.offset, e.value);
        return w;
    }
    bool Wrote(uint16_t offset) const
    {
        for (const Event& e : events)
            if (e.write && e.offset == offset)
                return true;
        return false;
    }
    // Index in events of the first write of value to offset, -1 if none.
    int FindWrite(uint16_t offset, uint8_t value, int from = 0) const
    {
        for (int i = from; i < (int)events.size(); ++i)
            if (events[i].write && events[i].offset == offset && events[i].value == value)
                return i;
        return -1;
    }

    uint32_t reads[kSpyPorts] = {};
    std::vector<Event> events;

private:
    sim::Machine* machine = nullptr;
    sim::PortDevice* inner = nullptr;
    uint16_t base = 0;
};

class ChipsetBoard : public BoardTest {
protected:
    ChipsetBoard()
    {
        target.address8 = kTargetAddr;
        bus.Attach(&target);
        secondTarget.address8 = kTargetAddr;
        secondBus.Attach(&secondTarget);
        for (int i = 0; i < 256; ++i) {
            target.registers[i] = (uint8_t)(i * 7 + 3);
            secondTarget.registers[i] = (uint8_t)(0xFF - i);
        }
    }

    // Puts the case's controller on the board and fills the extension as
    // selection leaves it.
    void Use(const HostCase& c)
    {
        hc = c;
        ext->ChipsetBridge.VendorId = c.vendorId;
        ext->IsaBridge.DeviceId = c.isaDeviceId;
        ext->InterfaceType = c.interfaceType;
        ext->SmbusBase = kBase;
        switch (c.host) {
        case Host::Amd:
        case Host::Via:
            ASSERT_TRUE(amd.Install(machine.get(), kBase, &bus));
            spy.Wrap(machine.get(), kBase, &amd);
            break;
        case Host::Ali:
            ASSERT_TRUE(ali.Install(machine.get(), kBase, &bus));
            spy.Wrap(machine.get(), kBase, &ali);
            break;
        case Host::Sis:
        case Host::Sis968:
            ASSERT_TRUE(sis.Install(machine.get(), kBase, &bus,
                                    c.host == Host::Sis968 ? sim::SisSmbus::Variant::DataAt10
                                                           : sim::SisSmbus::Variant::DataAt8));
            spy.Wrap(machine.get(), kBase, &sis);
            break;
        case Host::Nvidia1:
        case Host::Nvidia2:
            // Both channels are there; the case's channel carries the target
            // under test, the other one a different register pattern.
            ASSERT_TRUE(nvidia.Install(machine.get(), kBase, c.host == Host::Nvidia1 ? &bus : &secondBus));
            ASSERT_TRUE(nvidiaSecond.Install(machine.get(), kSecondBase,
                                             c.host == Host::Nvidia1 ? &secondBus : &bus));
            if (c.host == Host::Nvidia2) {
                ext->SmbusBase = kSecondBase;
                spy.Wrap(machine.get(), kSecondBase, &nvidiaSecond);
            } else {
                spy.Wrap(machine.get(), kBase, &nvidia);
            }
            break;
        }
    }

    sim::SmbusSequencer& Seq()
    {
        switch (hc.host) {
        case Host::Amd:
        case Host::Via: return amd.seq;
        case Host::Ali: return ali.seq;
        case Host::Sis:
        case Host::Sis968: return sis.seq;
        case Host::Nvidia1: return nvidia.seq;
        case Host::Nvidia2: return nvidiaSecond.seq;
        }
        return amd.seq;
    }

    NTSTATUS Read(uint16_t reg, uint8_t code = ORVANE_OP_READ_BYTE)
    {
        ext->Transfer.DeviceAddr = kTargetAddr;
        ext->Transfer.IoPort = reg;
        ext->Transfer.CommandCode = code;
        return hc.read(ext.get());
    }

    NTSTATUS Write(uint16_t reg, uint16_t value, uint8_t code = ORVANE_OP_WRITE_BYTE)
    {
        ext->Transfer.DeviceAddr = kTargetAddr;
        ext->Transfer.IoPort = reg;
        ext->Transfer.OutputValue = value;
        ext->Transfer.CommandCode = code;
        return hc.write(ext.get());
    }

    NTSTATUS BlockRead(int32_t offset, int32_t length)
    {
        ext->Transfer.DeviceAddr = kTargetAddr;
        ext->Transfer.BlockOffset = offset;
        ext->Transfer.BlockLength = length;
        ext->Transfer.CommandCode = ORVANE_OP_READ_BLOCK;
        return hc.read(ext.get());
    }

    NTSTATUS BlockWrite(int32_t offset, uint32_t count)
    {
        ext->Transfer.DeviceAddr = kTargetAddr;
        ext->Transfer.BlockOffset = offset;
        ext->Transfer.BlockWriteCount = count;
        ext->Transfer.CommandCode = ORVANE_OP_WRITE_BLOCK;
        return hc.write(ext.get());
    }

    // A copy: the packed record's fields cannot be bound to references.
    uint16_t Input() const { return ext->Transfer.InputValue; }

    void FillBlockBuffer(uint8_t seed)
    {
        for (int i = 0; i < 256; ++i)
            ext->Transfer.BlockBuffer[i] = (uint8_t)(seed + i);
    }

    HostCase hc = kHosts[0];
    sim::I2cBus bus, secondBus;
    sim::RegisterTarget target, secondTarget;
    sim::AmdViaSmbus amd;
    sim::AliSmbus ali;
    sim::SisSmbus sis;
    sim::NvidiaSmbus nvidia, nvidiaSecond;
    PortSpy spy;
};

// ---------------------------------------------------------------------------
// The ready-made boards of these chipsets

using sim::BoardId;

struct alignas(sim::Board) BoardStorage {
    unsigned char bytes[sizeof(sim::Board)];
};

struct BoardCase {
    const char* name;
    BoardId board;
    ULONG type;
    bool secondChannel;
};

inline const BoardCase kBoards[] = {
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

// A ready-made board with the controller model of its chipset at the base
// selection finds, a register target on the selected channel and another on
// the other NVIDIA channel; the interface is selected through the device.
class BoardWithChipset : public BoardTest {
protected:
    ~BoardWithChipset() override { Drop(); }

    void Drop()
    {
        if (board != nullptr)
            board->~Board();
        board = nullptr;
        sim::SetCurrent(machine.get());
    }

    // Builds the case's board (replacing an earlier one) and selects its interface.
    void Build(const BoardCase& c)
    {
        Drop();
        storage = std::make_unique<BoardStorage>();
        board = sim::BuildBoard(storage.get(), sizeof(BoardStorage), c.board);
        ASSERT_NE(board, nullptr);
        sim::SetCurrent(&board->machine);
        target.address8 = kTargetAddr;
        other.address8 = kTargetAddr;
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
        ASSERT_TRUE(hosts.Equip(*board)) << "a board of these engines";
        const uint16_t base = board->spec->hostBase, base2 = board->spec->hostBase2;
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

    // The transfer request with this record; a success-class status hands the
    // whole record back.
    NTSTATUS Transfer(OrvaneTransfer& record)
    {
        const Reply r = SendRecord(IOCTL_ORVANE_TRANSFER, record);
        if (NT_SUCCESS(r.status)) {
            EXPECT_EQ(r.bytes, sizeof(OrvaneTransfer));
        }
        return r.status;
    }

    OrvaneTransfer Record(uint8_t code, uint16_t reg = 0, uint16_t value = 0)
    {
        OrvaneTransfer t;
        std::memset(&t, 0, sizeof t);
        t.DeviceAddr = kTargetAddr;
        t.IoPort = reg;
        t.OutputValue = value;
        t.CommandCode = code;
        return t;
    }

    bool HasBlocks() const
    {
        const sim::BoardHost h = board->spec->host;
        return h == sim::BoardHost::Amd || h == sim::BoardHost::Via || h == sim::BoardHost::Ali;
    }

    std::unique_ptr<BoardStorage> storage;
    sim::Board* board = nullptr;
    sim::RegisterTarget target, other;
    sim::ChipsetHosts hosts;
};

class ChipsetOnBoard : public BoardWithChipset, public ::testing::WithParamInterface<BoardCase> {
protected:
    void SetUp() override { Build(GetParam()); }
};

inline void PrintTo(const BoardCase& c, std::ostream* os) { *os << c.name; }

}  // namespace chipsets

#endif
