// The AMD, VIA, ALi, SiS and NVIDIA SMBus engines, called directly with the
// extension as selection leaves it, against the controller models.
#include "chipset_fixture.h"

namespace chipsets {
namespace {

using Writes = std::vector<std::pair<uint16_t, uint8_t>>;

// One register write: offset from the base, value.
std::pair<uint16_t, uint8_t> W(int offset, int value) { return {(uint16_t)offset, (uint8_t)value}; }

class EveryHost : public ChipsetBoard, public ::testing::WithParamInterface<HostCase> {
protected:
    void SetUp() override { Use(GetParam()); }
    bool IsNvidia() const { return hc.host == Host::Nvidia1 || hc.host == Host::Nvidia2; }
};

TEST_P(EveryHost, ByteAndWordReadsTakeTheTargetRegisters)
{
    EXPECT_EQ(Read(0x1237), STATUS_SUCCESS);  // only the low byte of IoPort is the command
    EXPECT_EQ(Input(), target.registers[0x37]);
    EXPECT_EQ(Read(0x40, ORVANE_OP_READ_WORD), STATUS_SUCCESS);
    EXPECT_EQ(Input(), target.registers[0x40] | target.registers[0x41] << 8);
    EXPECT_EQ(Read(0xFE), STATUS_SUCCESS);
    EXPECT_EQ(Input(), target.registers[0xFE]) << "a byte read zero-extends";
    EXPECT_EQ(secondTarget.writes, 0u);
}

TEST_P(EveryHost, ByteAndWordWritesLandInTheTarget)
{
    EXPECT_EQ(Write(0x0512, 0x335A), STATUS_SUCCESS);
    EXPECT_EQ(target.registers[0x12], 0x5A);
    EXPECT_EQ(target.registers[0x13], (uint8_t)(0x13 * 7 + 3)) << "a byte write sends one byte";
    EXPECT_EQ(Write(0x20, 0xBEEF, ORVANE_OP_WRITE_WORD), STATUS_SUCCESS);
    EXPECT_EQ(target.registers[0x20], 0xEF);
    EXPECT_EQ(target.registers[0x21], 0xBE);
    EXPECT_EQ(target.writes, 3u);
    EXPECT_EQ(secondTarget.writes, 0u) << "the other channel stays quiet";
}

TEST_P(EveryHost, EachWriteSettlesTenMillisecondsAfterTheTransfer)
{
    ASSERT_EQ(Write(0x10, 0x77), STATUS_SUCCESS);
    EXPECT_EQ(machine->sleptNs, 10 * kMs);
    // The delay comes after the last register access of the transfer.
    ASSERT_FALSE(spy.events.empty());
    EXPECT_GE(machine->Now() - spy.events.back().at, 10 * kMs);
}

TEST_P(EveryHost, ReadsDoNotSleepExceptOnVia)
{
    ASSERT_EQ(Read(0x10), STATUS_SUCCESS);
    const sim::Nanos expected = hc.host == Host::Via ? 1 * kMs : 0;
    EXPECT_EQ(machine->sleptNs, expected);
    // On VIA the millisecond passes before the first register is written.
    ASSERT_FALSE(spy.events.empty());
    EXPECT_GE(spy.events.front().at, expected);
    EXPECT_LT(spy.events.front().at, expected + 10000);
}

TEST_P(EveryHost, AbsentTargetIsAFailedTransfer)
{
    target.present = false;
    ext->Transfer.InputValue = 0x1234;
    const NTSTATUS status = Read(0x10);
    if (IsNvidia()) {
        // The controller reports the missing acknowledge in its status code.
        EXPECT_EQ(status, STATUS_UNSUCCESSFUL);
        EXPECT_EQ(spy.Writes().back(), W(1, 0xFF)) << "status cleared";
    } else {
        // The others only ever wait for success: the wait runs out.
        EXPECT_EQ(status, STATUS_TIMEOUT);
    }
    EXPECT_EQ(Input(), 0x1234);
    machine->sleptNs = 0;
    EXPECT_NE(Write(0x10, 0x55), STATUS_SUCCESS);
    EXPECT_EQ(machine->sleptNs, 0u) << "a failed write does not settle";
}

TEST_P(EveryHost, TargetThatVanishesFailsTheNextTransfer)
{
    Seq().nackAfter = 1;
    EXPECT_EQ(Write(0x30, 0x42), STATUS_SUCCESS);
    EXPECT_EQ(target.registers[0x30], 0x42);
    EXPECT_NE(Read(0x30), STATUS_SUCCESS);
}

TEST_P(EveryHost, StuckControllerTimesOutWithinItsPollLimit)
{
    Seq().stuckBusy = true;
    ext->Transfer.InputValue = 0x1234;
    const NTSTATUS status = Read(0x10);
    EXPECT_EQ(status, STATUS_TIMEOUT);
    EXPECT_EQ(target.writes + bus.transactions, 0u) << "nothing reached the bus";
    uint32_t reads = 0;
    for (uint32_t r : spy.reads)
        reads += r;
    EXPECT_LE(reads, hc.pollLimit + 4);
}

TEST_P(EveryHost, BlockTransfers)
{
    FillBlockBuffer(0x40);
    OrvaneTransfer before = ext->Transfer;
    const NTSTATUS read = BlockRead(0x20, 15);
    if (!hc.blocks) {
        // No block engine: nothing moves; SiS runs out its completion wait,
        // NVIDIA finds no transfer done on a fresh controller.
        const uint16_t status = IsNvidia() ? 1 : 0;
        EXPECT_EQ(read, STATUS_TIMEOUT);
        EXPECT_EQ(spy.reads[status], 65535u) << "one full completion wait";
        EXPECT_EQ(0, std::memcmp(before.BlockBuffer, ext->Transfer.BlockBuffer, 256));
        spy.Clear();
        EXPECT_EQ(BlockWrite(0x20, 8), STATUS_TIMEOUT);
        // SiS reads its status once for the idle wait before the completion wait.
        EXPECT_EQ(spy.reads[status], IsNvidia() ? 65535u : 65536u);
        for (const PortSpy::Event& e : spy.events)
            EXPECT_FALSE(e.write && e.offset == (IsNvidia() ? 0 : 3)) << "no start code";
        EXPECT_EQ(bus.transactions, 0u);
        return;
    }
    EXPECT_EQ(read, STATUS_SUCCESS);
    for (int i = 0; i < 256; ++i) {
        const uint8_t expected = i >= 0x20 && i < 0x2E ? target.registers[i] : before.BlockBuffer[i];
        EXPECT_EQ(ext->Transfer.BlockBuffer[i], expected) << "byte " << i;
    }
    // A block read returns as the controller starts its stop; the next
    // request comes later than that.
    machine->Advance(kMs);
    EXPECT_EQ(BlockWrite(0x80, 12), STATUS_SUCCESS);
    for (int i = 0x7E; i < 0x8E; ++i) {
        const uint8_t expected = i >= 0x80 && i < 0x8C ? ext->Transfer.BlockBuffer[i] : (uint8_t)(i * 7 + 3);
        EXPECT_EQ(target.registers[i], expected) << "register " << i;
    }
    EXPECT_EQ(target.writes, 12u);
}

TEST_P(EveryHost, TransferTakesItsBusTimeAt100kHz)
{
    // Where the start code goes and which status bit shows completion.
    struct Completion {
        uint16_t startPort, statusPort;
        uint8_t doneMask;
    };
    Completion c = {2, 0, 0x02};
    if (hc.host == Host::Ali)
        c = {2, 0, 0x80};
    else if (hc.host == Host::Sis || hc.host == Host::Sis968)
        c = {3, 0, 0x08};
    else if (IsNvidia())
        c = {0, 1, 0x80};
    // Byte data read: start, address, command, repeated start, address, data,
    // stop = 39 bits; word data write: start, four bytes, stop = 38 bits.
    for (auto [code, bits] : {std::pair<uint8_t, int>{ORVANE_OP_READ_BYTE, 39}, {ORVANE_OP_WRITE_WORD, 38}}) {
        SCOPED_TRACE(int(code));
        spy.Clear();
        ASSERT_EQ(code == ORVANE_OP_READ_BYTE ? Read(0x10) : Write(0x10, 0x1234, code), STATUS_SUCCESS);
        sim::Nanos started = 0, done = 0;
        for (const PortSpy::Event& e : spy.events) {
            if (e.write && e.offset == c.startPort && started == 0)
                started = e.at;
            if (!e.write && e.offset == c.statusPort && started != 0 && (e.value & c.doneMask) != 0) {
                done = e.at;
                break;
            }
        }
        ASSERT_NE(started, 0u);
        ASSERT_NE(done, 0u);
        EXPECT_GE(done - started, (sim::Nanos)bits * sim::kSmbusBitTime);
        EXPECT_LE(done - started, (sim::Nanos)bits * sim::kSmbusBitTime + 3 * sim::kPortAccessCost);
    }
}

INSTANTIATE_TEST_SUITE_P(Hosts, EveryHost, ::testing::ValuesIn(kHosts),
                         [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------
// Blocks on the controllers that have them

class BlockHost : public ChipsetBoard, public ::testing::WithParamInterface<Host> {
protected:
    void SetUp() override { Use(CaseOf(GetParam())); }
    bool IsAli() const { return hc.host == Host::Ali; }
    // Where the first register of a block and the read address go, and how
    // the last byte is announced.
    uint16_t StartPort() const { return IsAli() ? 7 : 3; }
    uint16_t ReadAddressPort() const { return IsAli() ? 3 : 4; }
    std::pair<uint16_t, uint8_t> LastByte() const { return IsAli() ? W(1, 0x40)
                                                                    : W(2, 0x34); }
};

TEST_P(BlockHost, ReadSetUpSequence)
{
    ASSERT_EQ(BlockRead(0x30, 15), STATUS_SUCCESS);
    const Writes w = spy.Writes();
    ASSERT_GE(w.size(), 7u);
    const uint8_t protocol = IsAli() ? 0x28 : 0x14, start = IsAli() ? 0x68 : 0x54;
    const Writes setUp = {{2, protocol}, {4, kTargetAddr}, {StartPort(), 0x30}, {5, 15},
                          {ReadAddressPort(), kTargetAddr | 1}, {0, 0xFF}, {2, start}};
    EXPECT_EQ(Writes(w.begin(), w.begin() + 7), setUp);
}

TEST_P(BlockHost, ReadStartsNoHigherThan242)
{
    FillBlockBuffer(0);
    ASSERT_EQ(BlockRead(250, 15), STATUS_SUCCESS);
    EXPECT_GE(spy.FindWrite(StartPort(), 242), 0);
    EXPECT_EQ(spy.FindWrite(StartPort(), 250), -1);
    for (int i = 0; i < 256; ++i) {
        const uint8_t expected = i >= 242 ? target.registers[i] : (uint8_t)i;
        EXPECT_EQ(ext->Transfer.BlockBuffer[i], expected) << "byte " << i;
    }
}

TEST_P(BlockHost, LastByteIsAnnouncedBeforeItIsTaken)
{
    ASSERT_EQ(BlockRead(0, 15), STATUS_SUCCESS);
    // Fourteen bytes come from +7; the announcement sits between the 13th and the 14th.
    std::vector<int> dataReads;
    for (int i = 0; i < (int)spy.events.size(); ++i)
        if (!spy.events[i].write && spy.events[i].offset == 7)
            dataReads.push_back(i);
    ASSERT_EQ(dataReads.size(), 14u);
    const int last = spy.FindWrite(LastByte().first, LastByte().second);
    ASSERT_GE(last, 0);
    EXPECT_GT(last, dataReads[12]);
    EXPECT_LT(last, dataReads[13]);
    EXPECT_EQ(spy.FindWrite(LastByte().first, LastByte().second, last + 1), -1);
    // Every byte is released with a status clear, and one more clear ends the read.
    EXPECT_EQ(spy.Writes().back(), W(0, 0xFF));
    machine->Advance(kMs);
    EXPECT_FALSE(Seq().Active()) << "the controller finished the transaction";
    EXPECT_EQ(Read(0x44), STATUS_SUCCESS);
    EXPECT_EQ(Input(), target.registers[0x44]);
}

TEST_P(BlockHost, ReadWaitsAHundredMillisecondsFirst)
{
    ASSERT_EQ(BlockRead(0, 15), STATUS_SUCCESS);
    EXPECT_EQ(machine->sleptNs, 100 * kMs);
    ASSERT_FALSE(spy.events.empty());
    EXPECT_GE(spy.events.front().at, 100 * kMs);
}

TEST_P(BlockHost, ReadOfNoByteStartsNothing)
{
    // A started block would leave the controller holding a byte nobody takes.
    FillBlockBuffer(9);
    const OrvaneTransfer before = ext->Transfer;
    for (int32_t length : {1, 0, -7}) {
        EXPECT_EQ(BlockRead(0x10, length), STATUS_SUCCESS);
        EXPECT_EQ(0, std::memcmp(before.BlockBuffer, ext->Transfer.BlockBuffer, 256));
    }
    EXPECT_TRUE(spy.events.empty());
    EXPECT_EQ(Read(0x44), STATUS_SUCCESS);
    EXPECT_EQ(Input(), target.registers[0x44]);
}

TEST_P(BlockHost, WriteSequenceKeepsTheStartRegister)
{
    FillBlockBuffer(0x90);
    ASSERT_EQ(BlockWrite(250, 6), STATUS_SUCCESS);
    const Writes w = spy.Writes();
    const uint8_t protocol = IsAli() ? 0x28 : 0x14, start = IsAli() ? 0x68 : 0x54;
    const Writes setUp = {{2, protocol}, {StartPort(), 250}, {5, 6}, {4, kTargetAddr}, {0, 0xFF}, {2, start}};
    ASSERT_GE(w.size(), 6u + 12u);
    EXPECT_EQ(Writes(w.begin(), w.begin() + 6), setUp);
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(w[6 + 2 * i], W(7, (uint8_t)(0x90 + 250 + i)));
        EXPECT_EQ(w[7 + 2 * i], W(0, 0xFF));
        EXPECT_EQ(target.registers[250 + i], (uint8_t)(0x90 + 250 + i));
    }
    EXPECT_EQ(w.size(), 18u);
    EXPECT_EQ(machine->sleptNs, 100 * kMs);
    EXPECT_GE(machine->Now() - spy.events.back().at, 100 * kMs) << "the settle time follows the block";
}

TEST_P(BlockHost, ReadTimeOutAbortsTheBlock)
{
    target.present = false;
    FillBlockBuffer(1);
    const OrvaneTransfer before = ext->Transfer;
    spy.Clear();
    EXPECT_EQ(BlockRead(0x10, 15), STATUS_TIMEOUT);
    EXPECT_EQ(0, std::memcmp(before.BlockBuffer, ext->Transfer.BlockBuffer, 256)) << "no byte arrived";
    const Writes w = spy.Writes();
    ASSERT_GE(w.size(), 2u);
    const Writes tail(w.end() - 2, w.end());
    const Writes abort = {{2, (uint8_t)(IsAli() ? 0x04 : 0x36)}, {0, 0xFF}};
    EXPECT_EQ(tail, abort);
    EXPECT_EQ(spy.reads[0], hc.pollLimit) << "one full wait for the first byte";
    EXPECT_EQ(spy.reads[1], IsAli() ? 1u : 0u);
    if (IsAli()) {
        EXPECT_TRUE(!spy.events.back().write && spy.events.back().offset == 1) << "+1 read after the abort";
    }
    EXPECT_EQ(Input(), uint16_t(before.InputValue));
}

TEST_P(BlockHost, WriteTimeOutAbortsTheBlock)
{
    target.present = false;
    FillBlockBuffer(1);
    EXPECT_EQ(BlockWrite(0x10, 5), STATUS_TIMEOUT);
    const Writes w = spy.Writes();
    ASSERT_GE(w.size(), 3u);
    EXPECT_EQ(w[w.size() - 3], W(7, 0x11)) << "the first byte only";
    EXPECT_EQ(w[w.size() - 2], W(2, 0x36));
    EXPECT_EQ(w[w.size() - 1], W(0, 0xFF));
    EXPECT_EQ(spy.reads[1], IsAli() ? 1u : 0u);
    if (IsAli()) {
        // The probe of +1 comes before the abort.
        const int abort = spy.FindWrite(2, 0x36);
        ASSERT_GT(abort, 0);
        EXPECT_TRUE(!spy.events[abort - 1].write && spy.events[abort - 1].offset == 1);
    }
    EXPECT_EQ(machine->sleptNs, 0u);
}

TEST_P(BlockHost, BlockFieldsNeverReachPastTheBuffer)
{
    // Records that routing refuses; called directly the engines still stay
    // inside BlockBuffer.
    FillBlockBuffer(0);
    EXPECT_EQ(BlockRead(0x7F8, 200), STATUS_SUCCESS);  // start 0xF8 -> 242, at most 14 bytes
    for (int i = 0; i < 256; ++i)
        EXPECT_EQ(ext->Transfer.BlockBuffer[i], i >= 242 ? target.registers[i] : (uint8_t)i) << "byte " << i;
    machine->Advance(kMs);
    EXPECT_EQ(BlockRead(-5, -3), STATUS_SUCCESS);
    FillBlockBuffer(0);
    EXPECT_EQ(BlockWrite(0xFC, 1000), STATUS_SUCCESS);  // only registers 252 to 255
    EXPECT_EQ(target.writes, 4u);
    for (int i = 252; i < 256; ++i)
        EXPECT_EQ(target.registers[i], (uint8_t)i);
    machine->Advance(kMs);
    EXPECT_FALSE(Seq().Active()) << "the controller was told the clamped count";
}

INSTANTIATE_TEST_SUITE_P(Hosts, BlockHost, ::testing::Values(Host::Amd, Host::Via, Host::Ali),
                         [](const auto& info) { return std::string(CaseOf(info.param).name); });

// ---------------------------------------------------------------------------
// Exact sequences and the time-outs of each controller

class Sequences : public ChipsetBoard {};

TEST_F(Sequences, AmdAndViaByteReadAndWrite)
{
    Use(CaseOf(Host::Amd));
    ASSERT_EQ(Read(0x21), STATUS_SUCCESS);
    const Writes read = {{4, kTargetAddr + 1}, {3, 0x21}, {0, 0xFF}, {2, 0x48}};
    EXPECT_EQ(spy.Writes(), read);
    spy.Clear();
    ASSERT_EQ(Write(0x22, 0xA55A, ORVANE_OP_WRITE_WORD), STATUS_SUCCESS);
    const Writes write = {{4, kTargetAddr}, {3, 0x22}, {5, 0x5A}, {6, 0xA5}, {0, 0xFF}, {2, 0x4C}};
    EXPECT_EQ(spy.Writes(), write);
    // Same routine, same sequence, whichever of the two vendors selection found.
    ext->ChipsetBridge.VendorId = 0x1106;
    spy.Clear();
    ASSERT_EQ(Write(0x22, 0xA55A, ORVANE_OP_WRITE_WORD), STATUS_SUCCESS);
    EXPECT_EQ(spy.Writes(), write);
}

TEST_F(Sequences, AmdIdleWaitRunsOutWithoutAStart)
{
    Use(CaseOf(Host::Amd));
    amd.seq.stuckBusy = true;
    EXPECT_EQ(Read(0x10), STATUS_TIMEOUT);
    EXPECT_EQ(spy.reads[0], 65535u);
    EXPECT_FALSE(spy.Wrote(2)) << "no start code";
}

TEST_F(Sequences, AliByteReadSequenceAndProbeAfterTimeOut)
{
    Use(CaseOf(Host::Ali));
    ASSERT_EQ(Read(0x21, ORVANE_OP_READ_WORD), STATUS_SUCCESS);
    const Writes read = {{4, kTargetAddr + 1}, {3, 0x21}, {0, 0xFF}, {2, 0x58}};
    EXPECT_EQ(spy.Writes(), read);
    EXPECT_EQ(spy.reads[1], 0u);

    spy.Clear();
    ali.seq.stuckBusy = true;
    EXPECT_EQ(Read(0x21), STATUS_TIMEOUT);
    EXPECT_EQ(spy.reads[0], 1000u);
    EXPECT_EQ(spy.reads[1], 1u);
    EXPECT_FALSE(spy.Wrote(2));
    EXPECT_TRUE(!spy.events.back().write && spy.events.back().offset == 1);
}

TEST_F(Sequences, AliStartedWaitFailsOnADeviceError)
{
    Use(CaseOf(Host::Ali));
    target.present = false;
    EXPECT_EQ(Write(0x21, 0x44), STATUS_TIMEOUT);
    const Writes write = {{4, kTargetAddr}, {3, 0x21}, {5, 0x44}, {0, 0xFF}, {2, 0x50}};
    EXPECT_EQ(spy.Writes(), write);
    EXPECT_EQ(spy.reads[0], 1u + 1000u) << "the idle read, then the full started wait";
    EXPECT_EQ(spy.reads[1], 1u);
}

TEST_F(Sequences, SisStuckBusyFlagsKillWithoutAddressing)
{
    Use(CaseOf(Host::Sis));
    sis.seq.stuckBusy = true;
    EXPECT_EQ(Read(0x10), STATUS_TIMEOUT);
    const Writes w = {{0, 0xFF}, {3, 0x20}};
    EXPECT_EQ(spy.Writes(), w);
    EXPECT_EQ(spy.reads[2], 4096u);
}

TEST_F(Sequences, SisReadAndWriteSequences)
{
    // The 0x0968 bridges keep the data at +0x10 and +0x11 (the other layout
    // runs in the table above).
    Use(CaseOf(Host::Sis968));
    ASSERT_EQ(Read(0x31, ORVANE_OP_READ_WORD), STATUS_SUCCESS);
    const Writes read = {{0, 0xFF}, {4, kTargetAddr + 1}, {5, 0x31}, {3, 0x13}};
    EXPECT_EQ(spy.Writes(), read);
    EXPECT_EQ(spy.reads[0x10] + spy.reads[0x11], 2u) << "data from +0x10 and +0x11";
    EXPECT_EQ(spy.reads[8] + spy.reads[9], 0u);
    EXPECT_EQ(Input(), target.registers[0x31] | target.registers[0x32] << 8);

    spy.Clear();
    ASSERT_EQ(Write(0x33, 0x1234, ORVANE_OP_WRITE_WORD), STATUS_SUCCESS);
    const Writes write = {{4, kTargetAddr}, {5, 0x33}, {0x10, 0x34}, {0x11, 0x12}, {0, 0xFF}, {3, 0x13}};
    EXPECT_EQ(spy.Writes(), write);
    // The write waits for the bus to be free after the stop.
    EXPECT_GE(spy.reads[2], 2u);
    EXPECT_EQ(spy.events.back().offset, 2);
    EXPECT_EQ(spy.events.back().value & 0x02, 0);
}

TEST_F(Sequences, SisDeviceErrorIsNotDone)
{
    // The controller shows done together with the error bit; only a clean
    // done status counts.
    Use(CaseOf(Host::Sis));
    target.present = false;
    ext->Transfer.InputValue = 0x4321;
    EXPECT_EQ(Read(0x10), STATUS_TIMEOUT);
    EXPECT_EQ(spy.reads[0], 65535u);
    EXPECT_EQ(sis.status, 0x0A);
    EXPECT_EQ(Input(), 0x4321);
}

TEST_F(Sequences, NvidiaSequencesAndTheStatusLeftSet)
{
    Use(CaseOf(Host::Nvidia1));
    ASSERT_EQ(Read(0x21), STATUS_SUCCESS);
    const Writes read = {{3, 0x21}, {2, kTargetAddr}, {0, 0x07}};
    EXPECT_EQ(spy.Writes(), read);
    EXPECT_EQ(nvidia.status, 0x80) << "a good status is not cleared";

    spy.Clear();
    ASSERT_EQ(Write(0x22, 0xBEEF, ORVANE_OP_WRITE_WORD), STATUS_SUCCESS);
    const Writes write = {{3, 0x22}, {2, kTargetAddr}, {4, 0xEF}, {5, 0xBE}, {0, 0x08}};
    EXPECT_EQ(spy.Writes(), write);

    // A block code starts nothing; the done bit left from the write answers
    // the wait at once and no data moves.
    spy.Clear();
    FillBlockBuffer(3);
    const OrvaneTransfer before = ext->Transfer;
    EXPECT_EQ(BlockRead(0, 15), STATUS_SUCCESS);
    const Writes block = {{3, (uint8_t)before.IoPort}, {2, kTargetAddr}};
    EXPECT_EQ(spy.Writes(), block);
    EXPECT_EQ(0, std::memcmp(before.BlockBuffer, ext->Transfer.BlockBuffer, 256));
    EXPECT_EQ(Input(), uint16_t(before.InputValue));
    EXPECT_EQ(spy.reads[1], 1u);
}

TEST_F(Sequences, NvidiaErrorCodeFailsAndClears)
{
    Use(CaseOf(Host::Nvidia1));
    nvidia.forceErrorCode = 0x1F;
    ext->Transfer.InputValue = 0x2222;
    EXPECT_EQ(Read(0x21), STATUS_UNSUCCESSFUL);
    EXPECT_EQ(Input(), 0x2222);
    EXPECT_EQ(spy.Writes().back(), W(1, 0xFF));
    EXPECT_EQ(nvidia.status, 0);
    EXPECT_EQ(Write(0x21, 1), STATUS_UNSUCCESSFUL);
    EXPECT_EQ(machine->sleptNs, 0u);
}

TEST_F(Sequences, NvidiaTimeOutIsReportedAndTheDataIsStillTaken)
{
    Use(CaseOf(Host::Nvidia1));
    nvidia.seq.stuckBusy = true;
    nvidia.data0 = 0x5C;
    nvidia.data1 = 0x7D;
    EXPECT_EQ(Read(0x21, ORVANE_OP_READ_WORD), STATUS_TIMEOUT);
    EXPECT_EQ(spy.reads[1], 65535u);
    EXPECT_EQ(Input(), 0x7D5C);
    const Writes tail = {{0, 0x09}, {1, 0xFF}};
    const Writes w = spy.Writes();
    EXPECT_EQ(Writes(w.end() - 2, w.end()), tail);
    EXPECT_EQ(Write(0x21, 1), STATUS_TIMEOUT);
}

TEST_F(Sequences, NvidiaChannelsAreSeparateBuses)
{
    Use(CaseOf(Host::Nvidia1));
    ASSERT_EQ(Read(0x05), STATUS_SUCCESS);
    EXPECT_EQ(Input(), target.registers[0x05]);
    ext->SmbusBase = kSecondBase;  // what selecting the second channel leaves
    ASSERT_EQ(Read(0x05), STATUS_SUCCESS);
    EXPECT_EQ(Input(), secondTarget.registers[0x05]);
    ASSERT_EQ(Write(0x06, 0x99), STATUS_SUCCESS);
    EXPECT_EQ(secondTarget.registers[0x06], 0x99);
    EXPECT_EQ(target.writes, 0u);
}

// ---------------------------------------------------------------------------
// The bound of each poll: a condition that first holds on the last permitted
// read is success, one read later is a time-out.

// Answers each register from a script: `early` for the first `skip` reads
// (the waits before the one under test), then `before` until the k-th read of
// the wait under test, `at` on it and `after` from then on.
class ScriptedPorts : public sim::PortDevice {
public:
    struct Script {
        uint8_t after = 0;
        uint8_t before = 0, at = 0;
        uint32_t skip = 0;
        uint8_t early = 0;
        uint32_t k = 0;  // 0: no wait under test on this register
        uint32_t reads = 0;
    };
    uint8_t In8(uint16_t port) override
    {
        Script& s = scripts[(port - kBase) % kSpyPorts];
        const uint32_t r = ++s.reads;
        if (r <= s.skip)
            return s.early;
        if (s.k == 0 || r - s.skip > s.k)
            return s.after;
        return r - s.skip == s.k ? s.at : s.before;
    }
    void Out8(uint16_t port, uint8_t value) override { (void)port; (void)value; }
    Script scripts[kSpyPorts];
};

struct PollCase {
    const char* name;
    Host host;
    uint8_t code;
    uint16_t polled;                    // the register of the wait under test
    ScriptedPorts::Script polledScript;
    uint16_t other;                     // a register the other waits read
    ScriptedPorts::Script otherScript;
    uint32_t limit;
};

void PrintTo(const PollCase& c, std::ostream* os) { *os << c.name; }

constexpr uint8_t kRead = ORVANE_OP_READ_BYTE, kReadWord = ORVANE_OP_READ_WORD, kWrite = ORVANE_OP_WRITE_BYTE;

const PollCase kPolls[] = {
    // AMD/VIA: status idle (0), control started (0x08), status done (bit 1).
    {"amd_idle", Host::Amd, kRead, 0, {.after = 0x02, .before = 0x01, .at = 0x00}, 2, {.after = 0x08}, 65535},
    {"amd_done", Host::Amd, kRead, 0, {.after = 0x02, .before = 0x01, .at = 0x02, .skip = 1, .early = 0x00},
     2, {.after = 0x08}, 65535},
    {"via_started", Host::Via, kWrite, 2, {.after = 0x08, .before = 0x48, .at = 0x08},
     0, {.after = 0x02, .skip = 1, .early = 0x00}, 65535},
    // ALi: idle and started both read 0x80.
    {"ali_idle", Host::Ali, kReadWord, 0, {.after = 0x80, .before = 0x01, .at = 0x80}, 1, {}, 1000},
    {"ali_started", Host::Ali, kWrite, 0, {.after = 0x80, .before = 0x01, .at = 0x80, .skip = 1, .early = 0x80},
     1, {}, 1000},
    // SiS: busy flags clear, status idle (0), status done (8), bus free.
    {"sis_idle", Host::Sis, kRead, 2, {.after = 0x00, .before = 0x02, .at = 0x00}, 0, {.after = 0x08}, 4096},
    {"sis_done", Host::Sis, kRead, 0, {.after = 0x08, .before = 0x00, .at = 0x08}, 2, {}, 65535},
    {"sis_write_idle", Host::Sis, kWrite, 0, {.after = 0x08, .before = 0x01, .at = 0x00}, 2, {}, 65535},
    {"sis_bus_free", Host::Sis968, kWrite, 2, {.after = 0x00, .before = 0x02, .at = 0x00},
     0, {.after = 0x08, .skip = 1, .early = 0x00}, 65535},
    // NVIDIA: the done bit of the status.
    {"nvidia_status", Host::Nvidia1, kRead, 1, {.after = 0x80, .before = 0x00, .at = 0x80}, 0, {}, 65535},
};

class PollBound : public ChipsetBoard, public ::testing::WithParamInterface<PollCase> {};

TEST_P(PollBound, LastPermittedReadStillCounts)
{
    const PollCase& p = GetParam();
    for (uint32_t k : {p.limit, p.limit + 1}) {
        SCOPED_TRACE(k);
        sim::Machine m;
        sim::SetCurrent(&m);
        ScriptedPorts ports;
        ports.scripts[p.other] = p.otherScript;
        ports.scripts[p.polled] = p.polledScript;
        ports.scripts[p.polled].k = k;
        m.Claim(kBase, kSpyPorts, &ports);
        hc = CaseOf(p.host);
        ext->SmbusBase = kBase;
        ext->IsaBridge.DeviceId = hc.isaDeviceId;
        const NTSTATUS status = p.code == kWrite ? Write(0x10, 0x55, p.code) : Read(0x10, p.code);
        if (k == p.limit) {
            EXPECT_EQ(status, STATUS_SUCCESS);
        } else {
            EXPECT_EQ(status, STATUS_TIMEOUT);
            EXPECT_EQ(ports.scripts[p.polled].reads, p.polledScript.skip + p.limit) << "no read past the bound";
        }
        sim::SetCurrent(machine.get());
    }
}

INSTANTIATE_TEST_SUITE_P(Polls, PollBound, ::testing::ValuesIn(kPolls),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace chipsets
