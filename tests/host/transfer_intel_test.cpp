// Transfer routing and the Intel SMBus host engine (common register set and
// the 0x8119 variant) against the Intel host-controller models and a plain
// register target, on the virtual clock.
#include "board_fixture.h"

#include <vector>

#include "i2c.h"
#include "orvane_engines.h"
#include "smbus_hosts.h"

namespace {

constexpr USHORT kBase = 0x0400;
constexpr uint8_t kTarget = 0xA0;
constexpr uint8_t kAbsent = 0x60;
constexpr sim::Nanos kSecond = 1000000000;

enum class Variant { Common, V8119 };

class IntelBoard : public BoardTest, public ::testing::WithParamInterface<Variant> {
protected:
    void SetUp() override { Build(GetParam()); }

    void Build(Variant v)
    {
        variant = v;
        target.address8 = kTarget;
        for (int i = 0; i < 256; ++i)
            target.registers[i] = (uint8_t)(i ^ 0x5A);
        bus.Attach(&target);
        if (v == Variant::Common) {
            common.Connect(machine.get(), kBase, &bus);
            machine->Claim(kBase, IntelSmbus::kPortCount, &common);
        } else {
            v2.Connect(machine.get(), kBase, &bus);
            machine->Claim(kBase, sim::Intel8119Smbus::kPortCount, &v2);
        }
        ext->InterfaceType = ORVANE_IF_INTEL;
        ext->ChipsetBridge.VendorId = 0x8086;
        ext->IsaBridge.DeviceId = v == Variant::V8119 ? 0x8119 : 0x27B8;
        ext->SmbusBase = kBase;
    }

    using IntelSmbus = sim::IntelSmbus;

    NTSTATUS Run(OrvaneTransfer& t)
    {
        ULONG bytes = 0;
        const Reply r = SendRecord(IOCTL_ORVANE_TRANSFER, t);
        (void)bytes;
        return r.status;
    }

    static OrvaneTransfer Record(UCHAR op, uint8_t address, USHORT reg, USHORT value = 0)
    {
        OrvaneTransfer t{};
        t.CommandCode = op;
        t.DeviceAddr = address;
        t.IoPort = reg;
        t.OutputValue = value;
        return t;
    }

    // Port writes of the last logged stretch, as (offset, value).
    std::vector<std::pair<int, int>> LoggedWrites() const
    {
        std::vector<std::pair<int, int>> w;
        for (int i = 0; i < machine->LogCount(); ++i) {
            const sim::Access& a = machine->LogEntry(i);
            if (a.kind == sim::AccessKind::Out8 && a.port >= kBase && a.port < kBase + 0x40)
                w.emplace_back(a.port - kBase, (int)a.value);
        }
        return w;
    }

    Variant variant = Variant::Common;
    sim::I2cBus bus;
    sim::RegisterTarget target;
    IntelSmbus common;
    sim::Intel8119Smbus v2;
};

TEST_P(IntelBoard, ByteAndWordOperationsReachTheTarget)
{
    OrvaneTransfer r = Record(ORVANE_OP_READ_BYTE, kTarget, 0x33);
    EXPECT_EQ(Run(r), STATUS_SUCCESS);
    EXPECT_EQ(int(r.InputValue), 0x33 ^ 0x5A);

    OrvaneTransfer w = Record(ORVANE_OP_WRITE_BYTE, kTarget, 0x10, 0xAB77);
    EXPECT_EQ(Run(w), STATUS_SUCCESS);
    EXPECT_EQ(target.registers[0x10], 0x77) << "only the low byte is written";
    EXPECT_EQ(target.registers[0x11], 0x11 ^ 0x5A);
    EXPECT_EQ(int(w.InputValue), 0x77) << "the byte is read back";
    EXPECT_EQ(int(w.CommandCode), ORVANE_OP_READ_BYTE);

    OrvaneTransfer ww = Record(ORVANE_OP_WRITE_WORD, kTarget, 0x20, 0xBEEF);
    EXPECT_EQ(Run(ww), STATUS_SUCCESS);
    EXPECT_EQ(target.registers[0x20], 0xEF);
    EXPECT_EQ(target.registers[0x21], 0xBE);
    EXPECT_EQ(int(ww.InputValue), 0xBEEF);
    EXPECT_EQ(int(ww.CommandCode), ORVANE_OP_READ_WORD);

    OrvaneTransfer rw = Record(ORVANE_OP_READ_WORD, kTarget, 0x40);
    EXPECT_EQ(Run(rw), STATUS_SUCCESS);
    EXPECT_EQ(int(rw.InputValue), (0x40 ^ 0x5A) | (0x41 ^ 0x5A) << 8) << "first byte in the low half";
}

TEST_P(IntelBoard, BlockReadsStartNoHigherThan242)
{
    struct Case {
        int offset, length;
        int start, count;
    };
    for (Case c : {Case{0x10, 9, 0x10, 8}, Case{249, 8, 242, 7}, Case{0, 1, 0, 0}, Case{255, 1, 242, 0}}) {
        SCOPED_TRACE(testing::Message() << "offset " << c.offset << " length " << c.length);
        OrvaneTransfer t = Record(ORVANE_OP_READ_BLOCK, kTarget, 0);
        t.BlockOffset = c.offset;
        t.BlockLength = c.length;
        std::memset(t.BlockBuffer, 0xEE, sizeof t.BlockBuffer);
        machine->StartLog();
        EXPECT_EQ(Run(t), STATUS_SUCCESS);
        machine->StopLog();
        EXPECT_EQ(int(t.CommandCode), ORVANE_OP_READ_BLOCK);
        for (int i = 0; i < 256; ++i) {
            const bool inBlock = i >= c.start && i < c.start + c.count;
            EXPECT_EQ(t.BlockBuffer[i], inBlock ? (uint8_t)(i ^ 0x5A) : 0xEE) << i;
            if (inBlock) {
                EXPECT_EQ(t.RegisterImage[i], (uint8_t)(i ^ 0x5A)) << "copied into the image " << i;
            }
        }
        // The command register gets the block's start.
        const int commandOffset = variant == Variant::Common ? 3 : 5;
        bool sawStart = false;
        for (auto [offset, value] : LoggedWrites())
            sawStart = sawStart || (offset == commandOffset && value == c.start);
        EXPECT_TRUE(sawStart);
    }
}

TEST_P(IntelBoard, DumpsReturnTheRegistersAndTheRewrittenFields)
{
    OrvaneTransfer bytes = Record(ORVANE_OP_DUMP_BYTES, kTarget, 0);
    EXPECT_EQ(Run(bytes), STATUS_SUCCESS);
    EXPECT_EQ(int(bytes.CommandCode), ORVANE_OP_READ_BYTE);
    EXPECT_EQ(int(bytes.IoPort), 255);
    OrvaneTransfer blocks = Record(ORVANE_OP_DUMP_BLOCKS, kTarget, 0);
    EXPECT_EQ(Run(blocks), STATUS_SUCCESS);
    EXPECT_EQ(int(blocks.CommandCode), ORVANE_OP_READ_BLOCK);
    EXPECT_EQ(int(blocks.BlockLength), 15);
    EXPECT_EQ(int(blocks.BlockOffset), 252);
    for (int i = 0; i < 256; ++i) {
        EXPECT_EQ(bytes.RegisterImage[i], (uint8_t)(i ^ 0x5A)) << i;
        EXPECT_EQ(blocks.RegisterImage[i], (uint8_t)(i ^ 0x5A)) << i;
    }
}

TEST_P(IntelBoard, AnAbsentTargetTimesOutAfterTwoSecondsAndLeavesTheValue)
{
    OrvaneTransfer t = Record(ORVANE_OP_READ_BYTE, kAbsent, 0);
    t.InputValue = 0x1234;
    const sim::Nanos start = machine->Now();
    EXPECT_EQ(Run(t), STATUS_TIMEOUT);
    EXPECT_EQ(int(t.InputValue), 0x1234);
    const sim::Nanos took = machine->Now() - start;
    EXPECT_GE(took, 2 * kSecond);
    EXPECT_LT(took, 3 * kSecond);

    // A write whose completion never comes still reads back; the read decides.
    OrvaneTransfer w = Record(ORVANE_OP_WRITE_BYTE, kAbsent, 0, 5);
    EXPECT_EQ(Run(w), STATUS_TIMEOUT);
    EXPECT_EQ(int(w.CommandCode), ORVANE_OP_READ_BYTE);

    // The window left running by the last wait has fired by now; the next
    // transfer's waits arm afresh and are not cut short by it.
    machine->Advance(3 * kSecond);
    EXPECT_EQ(ext->TimeoutFired, 1u);
    OrvaneTransfer r = Record(ORVANE_OP_READ_BYTE, kTarget, 7);
    EXPECT_EQ(Run(r), STATUS_SUCCESS);
    EXPECT_EQ(int(r.InputValue), 7 ^ 0x5A);
}

// The engine's fixed delays, seen on the virtual clock as sleeping time: a
// byte or word write settles for 10 ms, a block read waits 100 ms before it
// starts and a block write 100 ms after its last byte; reads of bytes and
// words wait for nothing but the controller. Writes are followed by their
// read-back, which adds no delay.
TEST_P(IntelBoard, FixedDelaysOfEachOperation)
{
    constexpr sim::Nanos kMs = 1000000;
    const struct {
        UCHAR op;
        sim::Nanos slept;
    } cases[] = {
        {ORVANE_OP_READ_BYTE, 0},         {ORVANE_OP_WRITE_BYTE, 10 * kMs},  {ORVANE_OP_READ_WORD, 0},
        {ORVANE_OP_WRITE_WORD, 10 * kMs}, {ORVANE_OP_READ_BLOCK, 100 * kMs}, {ORVANE_OP_WRITE_BLOCK, 100 * kMs},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(int(c.op));
        // A block read returns while the controller still sends its stop; a
        // request that follows within that bus time finds it busy and its
        // start is not taken. Requests from a program come further apart.
        machine->Advance(kMs);
        OrvaneTransfer t = Record(c.op, kTarget, 0x20, 0x1234);
        t.BlockOffset = 0x20;
        t.BlockLength = 4;
        t.BlockWriteCount = 4;
        const sim::Nanos before = machine->sleptNs;
        EXPECT_EQ(Run(t), STATUS_SUCCESS);
        EXPECT_EQ(machine->sleptNs - before, c.slept);
    }
}

TEST_P(IntelBoard, BlockWriteSendsFromTheOffset)
{
    OrvaneTransfer t = Record(ORVANE_OP_WRITE_BLOCK, kTarget, 0);
    t.BlockOffset = 0x60;
    t.BlockWriteCount = 4;
    t.BlockLength = 4;  // the 0x8119 variant takes its byte count from here
    const uint8_t data[] = {1, 2, 3, 4};
    std::memcpy(&t.BlockBuffer[0x60], data, 4);
    const sim::Nanos start = machine->Now();
    EXPECT_EQ(Run(t), STATUS_SUCCESS);
    EXPECT_GE(machine->Now() - start, 100000000u) << "100 ms after a block write";
    // The 0x8119 controller keeps sending from its window after the engine
    // has handed it the bytes; let its bus finish.
    for (int i = 0; i < 100; ++i)
        machine->Advance(10000);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(target.registers[0x60 + i], data[i]) << i;
}

INSTANTIATE_TEST_SUITE_P(Variants, IntelBoard, ::testing::Values(Variant::Common, Variant::V8119),
                         [](const auto& info) { return info.param == Variant::Common ? "common" : "v8119"; });

using IntelCommon = IntelBoard;
INSTANTIATE_TEST_SUITE_P(Common, IntelCommon, ::testing::Values(Variant::Common),
                         [](const auto&) { return std::string("common"); });

TEST_P(IntelCommon, ByteReadFollowsTheRegisterSequence)
{
    machine->StartLog();
    OrvaneTransfer t = Record(ORVANE_OP_READ_BYTE, kTarget, 0x42);
    EXPECT_EQ(Run(t), STATUS_SUCCESS);
    machine->StopLog();
    const std::vector<std::pair<int, int>> expect = {{4, kTarget + 1}, {3, 0x42}, {0, 0xFF}, {2, 0x48}};
    EXPECT_EQ(LoggedWrites(), expect);
}

TEST_P(IntelCommon, LastByteCodeComesBeforeTheLastByteIsTaken)
{
    OrvaneTransfer t = Record(ORVANE_OP_READ_BLOCK, kTarget, 0);
    t.BlockOffset = 0;
    t.BlockLength = 15;
    machine->StartLog();
    EXPECT_EQ(Run(t), STATUS_SUCCESS);
    machine->StopLog();
    int blockReads = 0, readsBeforeLast = -1;
    for (int i = 0; i < machine->LogCount(); ++i) {
        const sim::Access& a = machine->LogEntry(i);
        if (a.kind == sim::AccessKind::In8 && a.port == kBase + 7)
            ++blockReads;
        if (a.kind == sim::AccessKind::Out8 && a.port == kBase + 2 && a.value == 0x34)
            readsBeforeLast = blockReads;
    }
    EXPECT_EQ(blockReads, 14);
    EXPECT_EQ(readsBeforeLast, 13);
}

struct RoutingCase {
    ULONG type;
    USHORT vendor;
};

TEST_F(BoardTest, RoutingWithoutAnEngineFailsAndTouchesNoBus)
{
    const RoutingCase cases[] = {
        {0, 0x8086}, {3, 0x8086}, {10, 0x8086}, {12, 0x8086}, {14, 0x8086}, {17, 0x8086},
        {ORVANE_IF_INTEL, 0x0000}, {ORVANE_IF_INTEL, 0x1002}, {ORVANE_IF_RESERVED_11, 0x1234},
    };
    for (const RoutingCase& c : cases) {
        ext->InterfaceType = c.type;
        ext->ChipsetBridge.VendorId = c.vendor;
        for (UCHAR op = ORVANE_OP_DUMP_BYTES; op <= ORVANE_OP_DUMP_BLOCKS; ++op) {
            OrvaneTransfer t{};
            t.CommandCode = op;
            t.BlockLength = 3;
            t.BlockOffset = 7;
            t.BlockBuffer[7] = 0x99;
            t.BlockBuffer[8] = 0x98;
            std::memcpy(&ext->Transfer, &t, sizeof t);
            EXPECT_EQ(OrvaneExecuteTransfer(ext.get()), STATUS_UNSUCCESSFUL) << c.type << " " << int(op);
            if (op == ORVANE_OP_READ_BLOCK) {
                EXPECT_EQ(ext->Transfer.RegisterImage[7], 0x99) << "a failed block read still copies";
                EXPECT_EQ(ext->Transfer.RegisterImage[8], 0x98);
            }
        }
    }
    EXPECT_EQ(machine->portAccessCount, 0u);
}

TEST_F(BoardTest, BlockFieldsOutsideTheRecordAreRefusedBeforeTheBus)
{
    ext->InterfaceType = ORVANE_IF_INTEL;
    ext->ChipsetBridge.VendorId = 0x8086;
    ext->SmbusBase = kBase;
    struct Case {
        UCHAR op;
        LONG length, offset;
        ULONG writeCount;
        bool refused;
    };
    const Case cases[] = {
        {ORVANE_OP_READ_BLOCK, 16, 0, 0, true},     {ORVANE_OP_READ_BLOCK, 15, -1, 0, true},
        {ORVANE_OP_READ_BLOCK, 15, 256, 0, true},   {ORVANE_OP_READ_BLOCK, 0x7FFFFFFF, 0, 0, true},
        {ORVANE_OP_READ_BLOCK, 15, 242, 0, false},  {ORVANE_OP_WRITE_BLOCK, 0, 250, 7, true},
        {ORVANE_OP_WRITE_BLOCK, 0, 250, 6, false},  {ORVANE_OP_WRITE_BLOCK, 0, -4, 1, true},
        {ORVANE_OP_WRITE_BLOCK, 0, 0, 0xFFFFFFFFu, true},
        // A block read moves 1 to 14 bytes and ends at register 255 at the latest.
        {ORVANE_OP_READ_BLOCK, 0, 5, 0, true},      {ORVANE_OP_READ_BLOCK, -1, 5, 0, true},
        {ORVANE_OP_READ_BLOCK, 15, 250, 0, true},   {ORVANE_OP_READ_BLOCK, 8, 250, 0, true},
        {ORVANE_OP_READ_BLOCK, 8, 249, 0, false},   {ORVANE_OP_READ_BLOCK, 1, 255, 0, false},
        {ORVANE_OP_WRITE_BLOCK, 0, 0, 33, false},   // the common register set has no window
        // Operations that do not use the block fields do not look at them.
        {ORVANE_OP_READ_BYTE, -9, -9, 0xFFFFFFFFu, false},
        {ORVANE_OP_DUMP_BLOCKS, -9, -9, 0xFFFFFFFFu, false},
    };
    for (const Case& c : cases) {
        OrvaneTransfer t{};
        t.CommandCode = c.op;
        t.DeviceAddr = kTarget;
        t.BlockLength = c.length;
        t.BlockOffset = c.offset;
        t.BlockWriteCount = c.writeCount;
        std::memcpy(&ext->Transfer, &t, sizeof t);
        const uint32_t before = machine->portAccessCount;
        const NTSTATUS status = OrvaneExecuteTransfer(ext.get());
        if (c.refused) {
            EXPECT_EQ(status, STATUS_INVALID_PARAMETER) << int(c.op) << " " << c.length << " " << c.offset;
            EXPECT_EQ(machine->portAccessCount, before);
        } else {
            EXPECT_NE(status, STATUS_INVALID_PARAMETER);
        }
    }

    // The 0x8119 variant's block window holds 32 bytes.
    ext->IsaBridge.DeviceId = 0x8119;
    for (ULONG count : {32u, 33u}) {
        OrvaneTransfer t{};
        t.CommandCode = ORVANE_OP_WRITE_BLOCK;
        t.DeviceAddr = kTarget;
        t.BlockWriteCount = count;
        t.BlockLength = (LONG)count;
        std::memcpy(&ext->Transfer, &t, sizeof t);
        const uint32_t before = machine->portAccessCount;
        const NTSTATUS status = OrvaneExecuteTransfer(ext.get());
        if (count > 32) {
            EXPECT_EQ(status, STATUS_INVALID_PARAMETER);
            EXPECT_EQ(machine->portAccessCount, before);
        } else {
            EXPECT_NE(status, STATUS_INVALID_PARAMETER);
        }
    }
}

}  // namespace

namespace {

// An Intel host controller that never finishes: its status register shows
// idle and no completion, its control register reads back as started. Each
// read of it takes a millisecond of bus time, so that the two-second windows
// run out after a few thousand polls.
class StuckController : public sim::PortDevice {
public:
    StuckController(sim::Machine* machine, Variant v) : machine(machine), v2(v == Variant::V8119) {}

    uint8_t In8(uint16_t port) override
    {
        machine->Advance(kReadCost);
        const uint16_t offset = (uint16_t)(port - kBase);
        if (offset == (v2 ? kV2Status : kStatus))
            return 0x00;                        // idle; neither done nor byte done
        if (offset == (v2 ? kV2Control : kControl))
            return v2 ? 0x02 : 0x08;            // the byte protocol shows as started
        return 0x00;
    }

    static constexpr sim::Nanos kReadCost = 1000000;  // 1 ms
    static constexpr uint16_t kStatus = 0, kControl = 2, kV2Control = 0, kV2Status = 1;
    static constexpr uint16_t kPorts = 0x40;

private:
    sim::Machine* machine;
    bool v2;
};

class IntelStuck : public BoardTest, public ::testing::WithParamInterface<Variant> {
protected:
    void SetUp() override
    {
        machine->Claim(kBase, StuckController::kPorts, &stuck);
        ext->InterfaceType = ORVANE_IF_INTEL;
        ext->ChipsetBridge.VendorId = 0x8086;
        ext->IsaBridge.DeviceId = GetParam() == Variant::V8119 ? 0x8119 : 0x27B8;
        ext->SmbusBase = kBase;
    }

    // Writes to the controller's registers between two log marks, as (offset, value).
    std::vector<std::pair<int, int>> Writes() const
    {
        std::vector<std::pair<int, int>> w;
        for (int i = 0; i < machine->LogCount(); ++i) {
            const sim::Access& a = machine->LogEntry(i);
            if (a.kind == sim::AccessKind::Out8 && a.port >= kBase && a.port < kBase + StuckController::kPorts)
                w.emplace_back(a.port - kBase, (int)a.value);
        }
        return w;
    }

    StuckController stuck{machine.get(), GetParam()};
};

INSTANTIATE_TEST_SUITE_P(Variants, IntelStuck, ::testing::Values(Variant::Common, Variant::V8119),
                         [](const auto& info) { return info.param == Variant::Common ? "common" : "v8119"; });

// Every one of the dump's 256 reads ends in its own two-second window (a
// time-out is a success-class status), so the dump runs to its end, stores
// the value the record already held and reports success.
TEST_P(IntelStuck, AByteDumpOnAControllerThatNeverCompletesRunsAllItsReads)
{
    OrvaneTransfer t{};
    t.CommandCode = ORVANE_OP_DUMP_BYTES;
    t.DeviceAddr = kTarget;
    t.InputValue = 0x77;
    const sim::Nanos start = machine->Now();
    const Reply r = SendRecord(IOCTL_ORVANE_TRANSFER, t);
    const sim::Nanos took = machine->Now() - start;

    EXPECT_EQ(r.status, STATUS_SUCCESS);
    EXPECT_EQ(int(t.CommandCode), ORVANE_OP_READ_BYTE);
    EXPECT_EQ(int(t.IoPort), 255);
    for (int i = 0; i < 256; ++i)
        ASSERT_EQ(t.RegisterImage[i], 0x77) << i;
    EXPECT_EQ(ext->TimeoutFired, 1u);
    // 256 windows of two seconds, each overrun by at most one slow poll.
    EXPECT_GE(took, 256 * 2 * kSecond);
    EXPECT_LT(took, 256 * (2 * kSecond + 20 * StuckController::kReadCost));
}

struct CleanUpCase {
    const char* name;
    Variant variant;
    UCHAR op;
    std::vector<std::pair<int, int>> lastWrites;  // what the engine writes once the window has run out
};

const CleanUpCase kCleanUps[] = {
    // The common set kills the block and clears the status; the variant puts
    // its control back to the block protocol (a read also clears the status;
    // a write leaves it, right after its first byte went into the window).
    {"common_block_read", Variant::Common, ORVANE_OP_READ_BLOCK, {{2, 0x36}, {0, 0xFF}}},
    {"common_block_write", Variant::Common, ORVANE_OP_WRITE_BLOCK, {{2, 0x36}, {0, 0xFF}}},
    {"v8119_block_read", Variant::V8119, ORVANE_OP_READ_BLOCK, {{0, 0x05}, {1, 0xFF}}},
    {"v8119_block_write", Variant::V8119, ORVANE_OP_WRITE_BLOCK, {{0, 0x15}, {0x20, 0x10}, {0, 0x05}}},
};

TEST_P(IntelStuck, ABlockThatTimesOutIsCleanedUpAfterOneWindow)
{
    for (const CleanUpCase& c : kCleanUps) {
        if (c.variant != GetParam())
            continue;
        SCOPED_TRACE(c.name);
        OrvaneTransfer t{};
        t.CommandCode = c.op;
        t.DeviceAddr = kTarget;
        t.BlockOffset = 0x10;
        t.BlockLength = 4;
        t.BlockWriteCount = 4;
        for (int i = 0; i < 256; ++i)
            t.BlockBuffer[i] = (UCHAR)i;
        machine->StartLog();
        const sim::Nanos start = machine->Now();
        const Reply r = SendRecord(IOCTL_ORVANE_TRANSFER, t);
        const sim::Nanos took = machine->Now() - start;
        machine->StopLog();

        EXPECT_EQ(r.status, STATUS_TIMEOUT);
        const std::vector<std::pair<int, int>> w = Writes();
        ASSERT_GE(w.size(), c.lastWrites.size());
        const std::vector<std::pair<int, int>> tail(w.end() - (long)c.lastWrites.size(), w.end());
        EXPECT_EQ(tail, c.lastWrites);
        // One window (and a block read's 100 ms before it), not one per byte.
        EXPECT_GE(took, 2 * kSecond);
        EXPECT_LT(took, 2 * kSecond + 200 * StuckController::kReadCost);
    }
}

}  // namespace
