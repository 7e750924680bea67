// The device-control dispatch of the driver core against a small simulated
// board: size rules, raw port and configuration access, chipset dword access,
// location and base queries, and state across requests.
#include "board_fixture.h"

#include "orvane_ioctl.h"

namespace {

enum class Rule { Any, Exact, AtLeast };
struct SizeCase {
    const char* name;
    ULONG code;
    Rule in;
    ULONG inSize;
    Rule out;
    ULONG outSize;
};

// What the control interface promises for each code, written out again here
// so that the table in the driver is checked against it.
const SizeCase kSizeCases[] = {
    {"select", IOCTL_ORVANE_SELECT_INTERFACE, Rule::Exact, 4, Rule::Any, 0},
    {"transfer", IOCTL_ORVANE_TRANSFER, Rule::Exact, 536, Rule::Exact, 536},
    {"restore", IOCTL_ORVANE_RESTORE_CHIPSET, Rule::Any, 0, Rule::Any, 0},
    {"chipset_bridge", IOCTL_ORVANE_GET_CHIPSET_BRIDGE, Rule::Any, 0, Rule::Exact, 7},
    {"isa_bridge", IOCTL_ORVANE_GET_ISA_BRIDGE, Rule::Any, 0, Rule::Exact, 7},
    {"smbus_device", IOCTL_ORVANE_GET_SMBUS_DEVICE, Rule::Any, 0, Rule::Exact, 7},
    {"parallel_base", IOCTL_ORVANE_GET_PARALLEL_BASE, Rule::Any, 0, Rule::AtLeast, 2},
    {"smbus_base", IOCTL_ORVANE_GET_SMBUS_BASE, Rule::Any, 0, Rule::AtLeast, 4},
    {"display_device", IOCTL_ORVANE_GET_DISPLAY_DEVICE, Rule::Any, 0, Rule::Exact, 7},
    {"gpio_base", IOCTL_ORVANE_GET_GPIO_BASE, Rule::Any, 0, Rule::AtLeast, 2},
    {"read_port", IOCTL_ORVANE_READ_PORT_BYTE, Rule::Exact, 19, Rule::Exact, 19},
    {"write_port", IOCTL_ORVANE_WRITE_PORT_BYTE, Rule::Exact, 19, Rule::Any, 0},
    {"read_pci", IOCTL_ORVANE_READ_PCI_CONFIG, Rule::Exact, 19, Rule::Exact, 19},
    {"write_pci", IOCTL_ORVANE_WRITE_PCI_CONFIG, Rule::Exact, 19, Rule::Any, 0},
    {"read_chipset", IOCTL_ORVANE_READ_CHIPSET_DWORD, Rule::Exact, 19, Rule::Exact, 19},
    {"write_chipset", IOCTL_ORVANE_WRITE_CHIPSET_DWORD, Rule::Exact, 19, Rule::Exact, 19},
};

bool Accepts(Rule rule, ULONG size, ULONG length)
{
    switch (rule) {
    case Rule::Any: return true;
    case Rule::Exact: return length == size;
    case Rule::AtLeast: return length >= size;
    }
    return false;
}

std::vector<ULONG> Probes(ULONG size)
{
    std::vector<ULONG> p{0, 1, 4096};
    if (size > 0)
        p.insert(p.end(), {size - 1, size, size + 1});
    return p;
}

class SizeRules : public BoardTest, public ::testing::WithParamInterface<SizeCase> {};

TEST_P(SizeRules, RefusedLengthsChangeNothing)
{
    const SizeCase& c = GetParam();
    // A distinctive starting state, so a refused request that wrote anything shows.
    ext->InterfaceType = 77;
    ext->SmbusBase = 0x1234;
    std::memset(&ext->Transfer, 0x5A, sizeof(ext->Transfer));
    std::memset(&ext->PortAccess, 0x3C, sizeof(ext->PortAccess));
    ext->Transfer.CommandCode = 0;  // a transfer that passes the size test does nothing either

    for (ULONG in : Probes(c.inSize)) {
        for (ULONG out : Probes(c.outSize)) {
            SCOPED_TRACE(testing::Message() << c.name << " in=" << in << " out=" << out);
            std::vector<unsigned char> before(sizeof(OrvaneDeviceExtension));
            std::memcpy(before.data(), ext.get(), before.size());
            std::vector<unsigned char> buffer(8192, 0);
            std::memcpy(buffer.data(), &ext->InterfaceType, 4);  // a select re-stores the same type
            const uint32_t accessesBefore = machine->portAccessCount + machine->pciReadCount;

            const Reply r = Send(c.code, buffer, in, out);
            if (Accepts(c.in, c.inSize, in) && Accepts(c.out, c.outSize, out)) {
                EXPECT_NE(r.status, STATUS_INVALID_PARAMETER);
            } else {
                EXPECT_EQ(r.status, STATUS_INVALID_PARAMETER);
                EXPECT_EQ(r.bytes, 0u);
                EXPECT_EQ(0, std::memcmp(before.data(), ext.get(), before.size()));
                EXPECT_EQ(accessesBefore, machine->portAccessCount + machine->pciReadCount);
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(EveryCode, SizeRules, ::testing::ValuesIn(kSizeCases),
                         [](const auto& info) { return std::string(info.param.name); });

class Dispatch : public BoardTest {
protected:
    void SetUp() override { ASSERT_TRUE(machine->Claim(0x3000, 0x100, &ports)); }
    LatchPorts ports;
};

TEST_F(Dispatch, UnknownCodesAreInvalidDeviceRequests)
{
    for (ULONG code : {0u, ORVANE_CTL_CODE(0xC00), ORVANE_CTL_CODE(0xC11), IOCTL_ORVANE_SELECT_INTERFACE | 1u,
                       0x00220000u}) {
        std::vector<unsigned char> buffer(64);
        const Reply r = Send(code, buffer, 19, 19);
        EXPECT_EQ(r.status, STATUS_INVALID_DEVICE_REQUEST) << std::hex << code;
        EXPECT_EQ(r.bytes, 0u);
    }
    EXPECT_EQ(machine->portAccessCount, 0u);
}

TEST_F(Dispatch, ReadPortByteZeroExtendsAndKeepsTheRest)
{
    ports.reads8[0x42] = 0xA5;
    OrvanePortAccess a{};
    a.Address = 0xABCD3042;  // only the low 16 bits name the port
    a.ReadValue = 0xFFFFFFFF;
    a.WriteValue = 0x11223344;
    a.Reserved = 0x55667788;
    a.Bus = 9;
    a.Device = 0xEE;
    a.Function = 0xDD;
    OrvanePortAccess sent = a;

    const Reply r = SendRecord(IOCTL_ORVANE_READ_PORT_BYTE, a);
    EXPECT_EQ(r.status, STATUS_SUCCESS);
    EXPECT_EQ(r.bytes, 19u);
    EXPECT_EQ(a.ReadValue, 0x000000A5u);
    sent.ReadValue = 0xA5;
    EXPECT_EQ(0, std::memcmp(&a, &sent, sizeof(a)));
    EXPECT_EQ(ports.writeCount, 0);
}

TEST_F(Dispatch, WritePortByteSendsTheLowByteAndEchoesOnlyWhatFits)
{
    struct Case {
        ULONG outLen;
        ULONG bytes;
    };
    for (Case c : {Case{19, 19}, Case{0, 0}, Case{18, 0}, Case{64, 19}}) {
        OrvanePortAccess a{};
        a.Address = 0x30A0;
        a.WriteValue = 0xCAFE0100u + c.outLen;
        OrvanePortAccess sent = a;
        const Reply r = SendRecord(IOCTL_ORVANE_WRITE_PORT_BYTE, a, c.outLen);
        EXPECT_EQ(r.status, STATUS_SUCCESS);
        EXPECT_EQ(r.bytes, c.bytes) << "out " << c.outLen;
        EXPECT_EQ(ports.writes8[0xA0], (uint8_t)c.outLen);
        EXPECT_EQ(0, std::memcmp(&a, &sent, sizeof(a))) << "the record comes back as sent";
    }
}

TEST_F(Dispatch, PciConfigurationUsesTheMaskedSlot)
{
    sim::PciFunction* f = machine->AddPciFunction(3, 0x1F, 7, 0x8086, 0x2930, 0x0C, 0x05);
    ASSERT_NE(f, nullptr);
    f->Set32(0x40, 0x0000EF01);
    f->Writable32(0x40, 0x0000FFFF);

    OrvanePortAccess a{};
    a.Address = 0x40;
    a.Bus = 3;
    a.Device = 0xFF;    // only bits 0-4 count
    a.Function = 0xFF;  // only bits 0-2 count
    Reply r = SendRecord(IOCTL_ORVANE_READ_PCI_CONFIG, a);
    EXPECT_EQ(r.status, STATUS_SUCCESS);
    EXPECT_EQ(r.bytes, 19u);
    EXPECT_EQ(a.ReadValue, 0x0000EF01u);

    a.WriteValue = 0xFFFF1234;  // the upper half is read-only on this function
    r = SendRecord(IOCTL_ORVANE_WRITE_PCI_CONFIG, a);
    EXPECT_EQ(r.status, STATUS_SUCCESS);
    EXPECT_EQ(r.bytes, 19u);
    EXPECT_EQ(f->Get32(0x40), 0x00001234u);

    a.WriteValue = 0x9999;
    r = SendRecord(IOCTL_ORVANE_WRITE_PCI_CONFIG, a, 4);
    EXPECT_EQ(r.bytes, 0u) << "a short output buffer gets no bytes";
    EXPECT_EQ(f->Get32(0x40), 0x00009999u);

    // An empty slot reads all ones, and the request still succeeds.
    a.Bus = 4;
    r = SendRecord(IOCTL_ORVANE_READ_PCI_CONFIG, a);
    EXPECT_EQ(r.status, STATUS_SUCCESS);
    EXPECT_EQ(a.ReadValue, 0xFFFFFFFFu);
}

struct ChipsetCase {
    uint16_t vendor, device;
    bool allowed;
};

TEST_F(Dispatch, ChipsetDwordRequestsOnlyOnTheTwoNvidiaChipsets)
{
    const ChipsetCase cases[] = {
        {0x10DE, 0x005C, true},  {0x10DE, 0x003D, true},  {0x10DE, 0x0264, false},
        {0x8086, 0x005C, false}, {0x0000, 0x0000, false}, {0x1022, 0x003D, false},
    };
    for (const ChipsetCase& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.vendor << ":" << c.device);
        ext->ChipsetBridge.VendorId = c.vendor;
        ext->ChipsetBridge.DeviceId = c.device;
        ext->ChipsetIoBase = 0x3000;
        ports.dword = 0x87654321;
        ports.dwordWriteCount = 0;
        const uint32_t accesses = machine->portAccessCount;

        OrvanePortAccess a{};
        a.Address = 0x10040;  // (0x3000 + 0x10040) & 0xFFFF = 0x3040
        Reply r = SendRecord(IOCTL_ORVANE_READ_CHIPSET_DWORD, a);
        EXPECT_EQ(r.status, STATUS_SUCCESS);
        EXPECT_EQ(r.bytes, c.allowed ? 19u : 0u);

        machine->StartLog();
        OrvanePortAccess w{};
        w.Address = 0x10040;
        w.WriteValue = 0x00C0FFEE;
        OrvanePortAccess sent = w;
        r = SendRecord(IOCTL_ORVANE_WRITE_CHIPSET_DWORD, w);
        machine->StopLog();
        EXPECT_EQ(r.status, STATUS_SUCCESS);
        EXPECT_EQ(0, std::memcmp(&w, &sent, sizeof(w)));
        if (!c.allowed) {
            EXPECT_EQ(machine->portAccessCount, accesses) << "no port may be touched";
            EXPECT_EQ(r.bytes, 0u);
            continue;
        }
        EXPECT_EQ(a.ReadValue, 0x87654321u);
        EXPECT_EQ(r.bytes, 19u);
        // Read, write back with bit 31 clear, then the new value.
        ASSERT_EQ(machine->LogCount(), 3);
        EXPECT_EQ(machine->LogEntry(0).kind, sim::AccessKind::In32);
        EXPECT_EQ(machine->LogEntry(0).port, 0x3040);
        EXPECT_EQ(machine->LogEntry(1).kind, sim::AccessKind::Out32);
        EXPECT_EQ(machine->LogEntry(1).value, 0x07654321u);
        EXPECT_EQ(machine->LogEntry(2).kind, sim::AccessKind::Out32);
        EXPECT_EQ(machine->LogEntry(2).port, 0x3040);
        EXPECT_EQ(machine->LogEntry(2).value, 0x00C0FFEEu);
    }
}

TEST_F(Dispatch, QueriesReturnZerosBeforeSelectionAndTheFieldsAfter)
{
    struct QueryCase {
        ULONG code;
        ULONG outLen;
        ULONG bytes;
    };
    const QueryCase queries[] = {
        {IOCTL_ORVANE_GET_CHIPSET_BRIDGE, 7, 7}, {IOCTL_ORVANE_GET_ISA_BRIDGE, 7, 7},
        {IOCTL_ORVANE_GET_SMBUS_DEVICE, 7, 7},   {IOCTL_ORVANE_GET_DISPLAY_DEVICE, 7, 7},
        {IOCTL_ORVANE_GET_PARALLEL_BASE, 2, 2},  {IOCTL_ORVANE_GET_SMBUS_BASE, 8, 4},
        {IOCTL_ORVANE_GET_GPIO_BASE, 16, 2},
    };
    for (const QueryCase& q : queries) {
        unsigned char out[16];
        const Reply r = Query(q.code, out, q.outLen);
        EXPECT_EQ(r.status, STATUS_SUCCESS);
        EXPECT_EQ(r.bytes, q.bytes);
        for (ULONG i = 0; i < q.bytes; ++i)
            EXPECT_EQ(out[i], 0) << std::hex << q.code;
    }

    ext->ChipsetBridge = {0x10DE, 0x0264, 0, 1, 0};
    ext->IsaBridge = {0x8086, 0x3A18, 0, 0x1F, 0};
    ext->SmbusDevice = {0x8086, 0x3A30, 0, 0x1F, 3};
    ext->DisplayDevice = {0x1002, 0x9615, 1, 5, 0};
    ext->ParallelPortBase = 0x0378;
    ext->SmbusBase = 0x0001F001;
    ext->GpioBase = 0xB000;
    const struct {
        ULONG code;
        ULONG len;
        std::vector<unsigned char> expect;
    } filled[] = {
        {IOCTL_ORVANE_GET_CHIPSET_BRIDGE, 7, {0xDE, 0x10, 0x64, 0x02, 0, 1, 0}},
        {IOCTL_ORVANE_GET_ISA_BRIDGE, 7, {0x86, 0x80, 0x18, 0x3A, 0, 0x1F, 0}},
        {IOCTL_ORVANE_GET_SMBUS_DEVICE, 7, {0x86, 0x80, 0x30, 0x3A, 0, 0x1F, 3}},
        {IOCTL_ORVANE_GET_DISPLAY_DEVICE, 7, {0x02, 0x10, 0x15, 0x96, 1, 5, 0}},
        {IOCTL_ORVANE_GET_PARALLEL_BASE, 2, {0x78, 0x03}},
        {IOCTL_ORVANE_GET_SMBUS_BASE, 4, {0x01, 0xF0, 0x01, 0x00}},
        {IOCTL_ORVANE_GET_GPIO_BASE, 2, {0x00, 0xB0}},
    };
    for (const auto& q : filled) {
        std::vector<unsigned char> out(q.len);
        const Reply r = Query(q.code, out.data(), q.len);
        EXPECT_EQ(r.bytes, q.len);
        EXPECT_EQ(out, q.expect) << std::hex << q.code;
    }
}

TEST_F(Dispatch, SelectionStateSurvivesAcrossRequests)
{
    // A type that names no adapter selects nothing and succeeds.
    for (ULONG type : {0u, 3u, 10u, 12u, 14u, 17u, 0xFFFFFFFFu}) {
        std::vector<unsigned char> buffer(4);
        std::memcpy(buffer.data(), &type, 4);
        const Reply r = Send(IOCTL_ORVANE_SELECT_INTERFACE, buffer, 4, 0);
        EXPECT_EQ(r.status, STATUS_SUCCESS) << type;
        EXPECT_EQ(r.bytes, 0u);
        EXPECT_EQ(ext->InterfaceType, type);
    }
    EXPECT_EQ(machine->pciReadCount + machine->portAccessCount, 0u) << "nothing is touched";

    // A refused select leaves the earlier type in force.
    std::vector<unsigned char> buffer{14, 0, 0, 0, 0};
    EXPECT_EQ(Send(IOCTL_ORVANE_SELECT_INTERFACE, buffer, 5, 0).status, STATUS_INVALID_PARAMETER);
    EXPECT_EQ(Send(IOCTL_ORVANE_SELECT_INTERFACE, buffer, 3, 0).status, STATUS_INVALID_PARAMETER);
    EXPECT_EQ(ext->InterfaceType, 0xFFFFFFFFu);
}

TEST_F(Dispatch, TransferWithAnUnknownOperationTouchesNoBus)
{
    for (UCHAR op : {0, 1, 2, 11, 12, 0xFF}) {
        OrvaneTransfer t{};
        t.CommandCode = op;
        t.DeviceAddr = 0x94;
        const Reply r = SendRecord(IOCTL_ORVANE_TRANSFER, t);
        EXPECT_EQ(r.status, STATUS_INVALID_DEVICE_REQUEST) << int(op);
        EXPECT_EQ(r.bytes, 0u);
    }
    EXPECT_EQ(machine->portAccessCount, 0u);
}

TEST_F(Dispatch, TransferBeforeAnySelectionFails)
{
    for (UCHAR op = ORVANE_OP_DUMP_BYTES; op <= ORVANE_OP_DUMP_BLOCKS; ++op) {
        OrvaneTransfer t{};
        t.CommandCode = op;
        t.BlockLength = 1;  // a block read within the record's limits
        t.Reserved = 0x12345678;
        OrvaneTransfer sent = t;
        const Reply r = SendRecord(IOCTL_ORVANE_TRANSFER, t);
        EXPECT_EQ(r.status, STATUS_UNSUCCESSFUL) << int(op);
        EXPECT_EQ(r.bytes, 0u);
        EXPECT_EQ(0, std::memcmp(&t, &sent, sizeof(t))) << "a failed transfer is not copied back";
    }
}

TEST_F(Dispatch, RestoreWithoutASouthBridgeChangeWritesNothing)
{
    machine->StartLog();
    for (ULONG type : {0u, 2u, 9u, 13u, 15u, 16u}) {
        ext->InterfaceType = type;
        std::vector<unsigned char> buffer(1);
        const Reply r = Send(IOCTL_ORVANE_RESTORE_CHIPSET, buffer, 0, 0);
        EXPECT_EQ(r.status, STATUS_SUCCESS);
        EXPECT_EQ(r.bytes, 0u);
    }
    machine->StopLog();
    EXPECT_EQ(machine->LogCount(), 0);
}

}  // namespace
