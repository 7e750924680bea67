// SMBus host engines of the AMD, VIA, ALi, SiS and NVIDIA chipsets. None of
// them uses the time-out timer: every wait is a poll that reads a register at
// most a fixed number of times.
//
// AMD, VIA and ALi controllers share one register layout (status, control,
// command, address, two data registers and a block data register at the same
// offsets) and one way of running a transfer; they differ in codes, in which
// registers take the block start and the read address, in their poll limit
// and in the delays around a transfer. One pair of routines runs all three,
// each controller given as a row of that data. SiS and NVIDIA run their own
// sequences.
#include "orvane_engines.h"
#include "orvane_platform.h"

namespace {

// The data pair of a byte or word transfer: which of the two values applies.
enum WidthIndex { kByte = 0, kWord = 1, kWidthCount = 2 };

constexpr ULONG kWriteSettleMs = 10;     // after every byte or word write
constexpr ULONG kBlockSettleMs = 100;    // before every block read, after every block write

// ---------------------------------------------------------------------------
// Bounded polls

constexpr ULONG kTransferPollLimit = 65535;  // AMD, VIA, SiS and NVIDIA transfer waits
constexpr ULONG kSisIdlePollLimit = 4096;    // SiS busy-flag wait before a read
constexpr ULONG kAliPollLimit = 1000;        // every ALi wait

// Reads the port until (value & mask) == expected, at most limit times; a
// match on the last permitted read still counts. *last gets the last value read.
bool PollPort(USHORT port, UCHAR mask, UCHAR expected, ULONG limit, UCHAR* last = nullptr)
{
    UCHAR value = 0;
    bool met = false;
    for (ULONG reads = 0; reads < limit && !met; ++reads) {
        value = OrvanePortIn8(port);
        met = (UCHAR)(value & mask) == expected;
    }
    if (last != nullptr)
        *last = value;
    return met;
}

// A condition no register value meets: a wait for the result of a start code
// that was never written runs out.
constexpr UCHAR kNeverMask = 0x00;
constexpr UCHAR kNeverValue = 0x01;

USHORT BasePort(const OrvaneDeviceExtension* ext) { return (USHORT)ext->SmbusBase; }

// Which member of a byte/word pair the operation code selects; false for
// anything else.
bool WidthOf(UCHAR code, UCHAR byteCode, UCHAR wordCode, WidthIndex* width)
{
    if (code == byteCode) {
        *width = kByte;
        return true;
    }
    if (code == wordCode) {
        *width = kWord;
        return true;
    }
    return false;
}

// ---------------------------------------------------------------------------
// AMD, VIA and ALi

// Register offsets from the controller's base.
constexpr USHORT kHostStatus = 0x00;
constexpr USHORT kAliControl1 = 0x01;    // ALi: last-byte control
constexpr USHORT kHostControl = 0x02;
constexpr USHORT kHostCommand = 0x03;
constexpr USHORT kHostAddress = 0x04;
constexpr USHORT kHostData0 = 0x05;      // also the byte count of a block
constexpr USHORT kHostData1 = 0x06;
constexpr USHORT kHostBlockData = 0x07;

constexpr UCHAR kHostStatusClear = 0xFF;          // every status bit is cleared by writing 1
constexpr UCHAR kHostByteDone = 0x80;             // block byte transferred (both layouts)
constexpr UCHAR kAmdStatusIdle = 0x00;
constexpr UCHAR kAmdStatusDone = 0x02;            // interrupt: transfer complete
constexpr UCHAR kAliStatusReady = 0x80;           // host idle, or done with its step

// AMD and VIA host control codes: start 0x40, protocol in bits 2 to 4, last
// byte 0x20, kill 0x02.
constexpr UCHAR kAmdStartByteData = 0x48;
constexpr UCHAR kAmdStartWordData = 0x4C;
constexpr UCHAR kAmdByteDataProtocol = 0x08;
constexpr UCHAR kAmdWordDataProtocol = 0x0C;
constexpr UCHAR kAmdBlockProtocol = 0x14;
constexpr UCHAR kAmdStartBlock = 0x54;
constexpr UCHAR kAmdBlockLastByte = 0x34;
constexpr UCHAR kAmdBlockKill = 0x36;

// ALi host control codes: start 0x40, protocol in bits 3 to 5, kill 0x04;
// the last byte is announced in control register 1.
constexpr UCHAR kAliStartByteData = 0x50;
constexpr UCHAR kAliStartWordData = 0x58;
constexpr UCHAR kAliBlockProtocol = 0x28;
constexpr UCHAR kAliStartBlock = 0x68;
constexpr UCHAR kAliLastByte = 0x40;
constexpr UCHAR kAliKill = 0x04;
constexpr UCHAR kAliBlockWriteKill = 0x36;

// What tells one controller of the layout from another.
struct HostModel {
    ULONG pollLimit;
    ULONG readDelayMs;                  // before a byte or word read
    UCHAR idleStatus;                   // status after a clear, with the host idle
    UCHAR startCode[kWidthCount];       // byte data, word data
    USHORT startedPort;                 // read back after the start code...
    UCHAR startedValue[kWidthCount];    // ...until it holds this
    UCHAR doneMask;                     // status bit of a completed byte or word transfer
    bool probeControl1;                 // reads control register 1 once after a time-out
    UCHAR blockProtocol;                // block protocol chosen, not started
    UCHAR blockStart;
    USHORT blockStartPort;              // takes the first register of a block
    USHORT blockReadAddressPort;        // takes the address with the read bit
    USHORT lastBytePort;                // announces the last block byte...
    UCHAR lastByteCode;                 // ...with this code
    UCHAR blockReadAbort;
    UCHAR blockWriteAbort;
};

constexpr HostModel kAmdHost = {
    kTransferPollLimit, 0, kAmdStatusIdle,
    {kAmdStartByteData, kAmdStartWordData},
    kHostControl, {kAmdByteDataProtocol, kAmdWordDataProtocol}, kAmdStatusDone, false,
    kAmdBlockProtocol, kAmdStartBlock, kHostCommand, kHostAddress,
    kHostControl, kAmdBlockLastByte, kAmdBlockKill, kAmdBlockKill,
};

constexpr ULONG kViaReadDelayMs = 1;

constexpr HostModel kViaHost = {
    kTransferPollLimit, kViaReadDelayMs, kAmdStatusIdle,
    {kAmdStartByteData, kAmdStartWordData},
    kHostControl, {kAmdByteDataProtocol, kAmdWordDataProtocol}, kAmdStatusDone, false,
    kAmdBlockProtocol, kAmdStartBlock, kHostCommand, kHostAddress,
    kHostControl, kAmdBlockLastByte, kAmdBlockKill, kAmdBlockKill,
};

constexpr HostModel kAliHost = {
    kAliPollLimit, 0, kAliStatusReady,
    {kAliStartByteData, kAliStartWordData},
    kHostStatus, {kAliStatusReady, kAliStatusReady}, kAliStatusReady, true,
    kAliBlockProtocol, kAliStartBlock, kHostBlockData, kHostCommand,
    kAliControl1, kAliLastByte, kAliKill, kAliBlockWriteKill,
};

void ProbeControl1(const HostModel& m, USHORT base)
{
    if (m.probeControl1)
        (void)OrvanePortIn8((USHORT)(base + kAliControl1));
}

// The common tail of a byte or word transfer, once address, command and data
// are in place: wait for the idle status, start, wait for the start to show,
// wait for completion.
NTSTATUS HostRunTransfer(const HostModel& m, USHORT base, bool haveWidth, WidthIndex width)
{
    OrvanePortOut8((USHORT)(base + kHostStatus), kHostStatusClear);
    if (!PollPort((USHORT)(base + kHostStatus), 0xFF, m.idleStatus, m.pollLimit)) {
        ProbeControl1(m, base);
        return STATUS_TIMEOUT;
    }
    if (haveWidth)
        OrvanePortOut8((USHORT)(base + kHostControl), m.startCode[width]);
    const bool started = haveWidth
        ? PollPort((USHORT)(base + m.startedPort), 0xFF, m.startedValue[width], m.pollLimit)
        : PollPort((USHORT)(base + m.startedPort), kNeverMask, kNeverValue, m.pollLimit);
    if (!started) {
        ProbeControl1(m, base);
        return STATUS_TIMEOUT;
    }
    if (!PollPort((USHORT)(base + kHostStatus), m.doneMask, m.doneMask, m.pollLimit))
        return STATUS_TIMEOUT;
    return STATUS_SUCCESS;
}

NTSTATUS HostBlockRead(const HostModel& m, OrvaneDeviceExtension* ext)
{
    OrvaneTransfer* t = &ext->Transfer;
    const USHORT base = BasePort(ext);
    const ULONG start = OrvaneBlockReadStart(t);
    const ULONG count = OrvaneBlockReadCount(t);
    // A started block makes the controller clock in a byte and hold the bus
    // until software takes it: with nothing to take, start nothing.
    if (count == 0)
        return STATUS_SUCCESS;

    OrvaneDelayMs(kBlockSettleMs);
    OrvanePortOut8((USHORT)(base + kHostControl), m.blockProtocol);
    OrvanePortOut8((USHORT)(base + kHostAddress), t->DeviceAddr);
    OrvanePortOut8((USHORT)(base + m.blockStartPort), (UCHAR)start);
    // The byte count is BlockLength (one more than the bytes taken), as far
    // as the buffer allows.
    OrvanePortOut8((USHORT)(base + kHostData0), (UCHAR)(count + 1));
    OrvanePortOut8((USHORT)(base + m.blockReadAddressPort), (UCHAR)(t->DeviceAddr | 1));
    OrvanePortOut8((USHORT)(base + kHostStatus), kHostStatusClear);
    OrvanePortOut8((USHORT)(base + kHostControl), m.blockStart);

    for (ULONG i = 0; i < count; ++i) {
        // Each byte gets the full poll limit.
        if (!PollPort((USHORT)(base + kHostStatus), kHostByteDone, kHostByteDone, m.pollLimit)) {
            OrvanePortOut8((USHORT)(base + kHostControl), m.blockReadAbort);
            OrvanePortOut8((USHORT)(base + kHostStatus), kHostStatusClear);
            ProbeControl1(m, base);
            return STATUS_TIMEOUT;
        }
        // The controller must know before the last byte is released.
        if (i + 1 == count)
            OrvanePortOut8((USHORT)(base + m.lastBytePort), m.lastByteCode);
        t->BlockBuffer[start + i] = OrvanePortIn8((USHORT)(base + kHostBlockData));
        OrvanePortOut8((USHORT)(base + kHostStatus), kHostStatusClear);
    }
    OrvanePortOut8((USHORT)(base + kHostStatus), kHostStatusClear);
    return STATUS_SUCCESS;
}

NTSTATUS HostBlockWrite(const HostModel& m, OrvaneDeviceExtension* ext)
{
    OrvaneTransfer* t = &ext->Transfer;
    const USHORT base = BasePort(ext);
    const ULONG start = OrvaneBlockWriteStart(t);
    const ULONG count = OrvaneBlockWriteCount(t);

    OrvanePortOut8((USHORT)(base + kHostControl), m.blockProtocol);
    OrvanePortOut8((USHORT)(base + m.blockStartPort), (UCHAR)start);
    OrvanePortOut8((USHORT)(base + kHostData0), (UCHAR)count);
    OrvanePortOut8((USHORT)(base + kHostAddress), t->DeviceAddr);
    OrvanePortOut8((USHORT)(base + kHostStatus), kHostStatusClear);
    OrvanePortOut8((USHORT)(base + kHostControl), m.blockStart);

    for (ULONG i = 0; i < count; ++i) {
        OrvanePortOut8((USHORT)(base + kHostBlockData), t->BlockBuffer[start + i]);
        if (!PollPort((USHORT)(base + kHostStatus), kHostByteDone, kHostByteDone, m.pollLimit)) {
            ProbeControl1(m, base);
            OrvanePortOut8((USHORT)(base + kHostControl), m.blockWriteAbort);
            OrvanePortOut8((USHORT)(base + kHostStatus), kHostStatusClear);
            return STATUS_TIMEOUT;
        }
        OrvanePortOut8((USHORT)(base + kHostStatus), kHostStatusClear);
    }
    OrvaneDelayMs(kBlockSettleMs);
    return STATUS_SUCCESS;
}

NTSTATUS HostRead(const HostModel& m, OrvaneDeviceExtension* ext)
{
    OrvaneTransfer* t = &ext->Transfer;
    if (t->CommandCode == ORVANE_OP_READ_BLOCK)
        return HostBlockRead(m, ext);

    const USHORT base = BasePort(ext);
    WidthIndex width = kByte;
    const bool haveWidth = WidthOf(t->CommandCode, ORVANE_OP_READ_BYTE, ORVANE_OP_READ_WORD, &width);
    if (m.readDelayMs != 0)
        OrvaneDelayMs(m.readDelayMs);
    OrvanePortOut8((USHORT)(base + kHostAddress), (UCHAR)(t->DeviceAddr + 1));
    OrvanePortOut8((USHORT)(base + kHostCommand), (UCHAR)t->IoPort);
    const NTSTATUS status = HostRunTransfer(m, base, haveWidth, width);
    if (status != STATUS_SUCCESS)
        return status;
    const USHORT low = OrvanePortIn8((USHORT)(base + kHostData0));
    if (width == kByte) {
        t->InputValue = low;
    } else {
        const USHORT high = OrvanePortIn8((USHORT)(base + kHostData1));
        t->InputValue = (USHORT)(low | high << 8);
    }
    return STATUS_SUCCESS;
}

NTSTATUS HostWrite(const HostModel& m, OrvaneDeviceExtension* ext)
{
    OrvaneTransfer* t = &ext->Transfer;
    if (t->CommandCode == ORVANE_OP_WRITE_BLOCK)
        return HostBlockWrite(m, ext);

    const USHORT base = BasePort(ext);
    WidthIndex width = kByte;
    const bool haveWidth = WidthOf(t->CommandCode, ORVANE_OP_WRITE_BYTE, ORVANE_OP_WRITE_WORD, &width);
    OrvanePortOut8((USHORT)(base + kHostAddress), t->DeviceAddr);
    OrvanePortOut8((USHORT)(base + kHostCommand), (UCHAR)t->IoPort);
    if (haveWidth) {
        OrvanePortOut8((USHORT)(base + kHostData0), (UCHAR)t->OutputValue);
        if (width == kWord)
            OrvanePortOut8((USHORT)(base + kHostData1), (UCHAR)(t->OutputValue >> 8));
    }
    const NTSTATUS status = HostRunTransfer(m, base, haveWidth, width);
    if (status != STATUS_SUCCESS)
        return status;
    OrvaneDelayMs(kWriteSettleMs);
    return STATUS_SUCCESS;
}

// ---------------------------------------------------------------------------
// SiS

constexpr USHORT kSisStatus = 0x00;
constexpr USHORT kSisBusyFlags = 0x02;
constexpr USHORT kSisHostControl = 0x03;
constexpr USHORT kSisAddress = 0x04;
constexpr USHORT kSisCommand = 0x05;

constexpr UCHAR kSisStatusClear = 0xFF;
constexpr UCHAR kSisStatusIdle = 0x00;
constexpr UCHAR kSisStatusDone = 0x08;        // the whole status reads this after a good transfer
constexpr UCHAR kSisHostBusy = 0x03;          // host busy, bus busy
constexpr UCHAR kSisBusBusy = 0x02;
constexpr UCHAR kSisStartByteData = 0x12;
constexpr UCHAR kSisStartWordData = 0x13;
constexpr UCHAR kSisKill = 0x20;

// The data registers move with the ISA bridge: the 0x0968 parts keep them at
// +0x10 and +0x11, the others at +8 and +9.
struct SisDataPorts {
    USHORT isaDeviceId;  // 0: any other bridge
    USHORT data0, data1;
};

constexpr USHORT kSis968IsaDeviceId = 0x0968;
constexpr SisDataPorts kSisDataPorts[] = {
    {kSis968IsaDeviceId, 0x10, 0x11},
    {0, 0x08, 0x09},
};

const SisDataPorts& SisDataFor(const OrvaneDeviceExtension* ext)
{
    for (const SisDataPorts& row : kSisDataPorts)
        if (row.isaDeviceId == ext->IsaBridge.DeviceId)
            return row;
    return kSisDataPorts[sizeof(kSisDataPorts) / sizeof(kSisDataPorts[0]) - 1];
}

// Starts the transfer and waits for its done status; nothing is cleaned up
// when it does not come.
bool SisStartAndWait(USHORT base, bool haveWidth, WidthIndex width)
{
    static constexpr UCHAR kStart[kWidthCount] = {kSisStartByteData, kSisStartWordData};
    if (!haveWidth)
        return PollPort((USHORT)(base + kSisStatus), kNeverMask, kNeverValue, kTransferPollLimit);
    OrvanePortOut8((USHORT)(base + kSisHostControl), kStart[width]);
    return PollPort((USHORT)(base + kSisStatus), 0xFF, kSisStatusDone, kTransferPollLimit);
}

// ---------------------------------------------------------------------------
// NVIDIA

constexpr USHORT kNvProtocol = 0x00;
constexpr USHORT kNvStatus = 0x01;
constexpr USHORT kNvAddress = 0x02;
constexpr USHORT kNvCommand = 0x03;
constexpr USHORT kNvData0 = 0x04;
constexpr USHORT kNvData1 = 0x05;

constexpr UCHAR kNvStatusDone = 0x80;
constexpr UCHAR kNvStatusErrorMask = 0x1F;
constexpr UCHAR kNvStatusClear = 0xFF;
constexpr UCHAR kNvReadByteData = 0x07;
constexpr UCHAR kNvReadWordData = 0x09;
constexpr UCHAR kNvWriteByteData = 0x06;
constexpr UCHAR kNvWriteWordData = 0x08;

// Waits for the done bit. A wait that runs out, and a done status with an
// error code, clear the status; a good status is left as it is.
NTSTATUS NvidiaStatusWait(USHORT base)
{
    UCHAR status = 0;
    if (!PollPort((USHORT)(base + kNvStatus), kNvStatusDone, kNvStatusDone, kTransferPollLimit, &status)) {
        OrvanePortOut8((USHORT)(base + kNvStatus), kNvStatusClear);
        return STATUS_TIMEOUT;
    }
    if ((status & kNvStatusErrorMask) != 0) {
        OrvanePortOut8((USHORT)(base + kNvStatus), kNvStatusClear);
        return STATUS_UNSUCCESSFUL;
    }
    return STATUS_SUCCESS;
}

}  // namespace

NTSTATUS SmbusAmdRead(OrvaneDeviceExtension* ext) { return HostRead(kAmdHost, ext); }
NTSTATUS SmbusViaRead(OrvaneDeviceExtension* ext) { return HostRead(kViaHost, ext); }
// AMD and VIA controllers take their writes the same way.
NTSTATUS SmbusAmdViaWrite(OrvaneDeviceExtension* ext) { return HostWrite(kAmdHost, ext); }
NTSTATUS SmbusAliRead(OrvaneDeviceExtension* ext) { return HostRead(kAliHost, ext); }
NTSTATUS SmbusAliWrite(OrvaneDeviceExtension* ext) { return HostWrite(kAliHost, ext); }

// SiS controllers have no block transfer: a block code starts nothing and the
// completion wait runs out.
NTSTATUS SmbusSisRead(OrvaneDeviceExtension* ext)
{
    OrvaneTransfer* t = &ext->Transfer;
    const USHORT base = BasePort(ext);
    const SisDataPorts& data = SisDataFor(ext);
    WidthIndex width = kByte;
    const bool haveWidth = WidthOf(t->CommandCode, ORVANE_OP_READ_BYTE, ORVANE_OP_READ_WORD, &width);

    OrvanePortOut8((USHORT)(base + kSisStatus), kSisStatusClear);
    if (!PollPort((USHORT)(base + kSisBusyFlags), kSisHostBusy, 0, kSisIdlePollLimit)) {
        OrvanePortOut8((USHORT)(base + kSisHostControl), kSisKill);
        return STATUS_TIMEOUT;
    }
    OrvanePortOut8((USHORT)(base + kSisAddress), (UCHAR)(t->DeviceAddr + 1));
    OrvanePortOut8((USHORT)(base + kSisCommand), (UCHAR)t->IoPort);
    if (!SisStartAndWait(base, haveWidth, width))
        return STATUS_TIMEOUT;
    const USHORT low = OrvanePortIn8((USHORT)(base + data.data0));
    if (width == kByte) {
        t->InputValue = low;
    } else {
        const USHORT high = OrvanePortIn8((USHORT)(base + data.data1));
        t->InputValue = (USHORT)(low | high << 8);
    }
    return STATUS_SUCCESS;
}

NTSTATUS SmbusSisWrite(OrvaneDeviceExtension* ext)
{
    OrvaneTransfer* t = &ext->Transfer;
    const USHORT base = BasePort(ext);
    const SisDataPorts& data = SisDataFor(ext);
    WidthIndex width = kByte;
    const bool haveWidth = WidthOf(t->CommandCode, ORVANE_OP_WRITE_BYTE, ORVANE_OP_WRITE_WORD, &width);

    OrvanePortOut8((USHORT)(base + kSisAddress), t->DeviceAddr);
    OrvanePortOut8((USHORT)(base + kSisCommand), (UCHAR)t->IoPort);
    if (haveWidth) {
        OrvanePortOut8((USHORT)(base + data.data0), (UCHAR)t->OutputValue);
        if (width == kWord)
            OrvanePortOut8((USHORT)(base + data.data1), (UCHAR)(t->OutputValue >> 8));
    }
    OrvanePortOut8((USHORT)(base + kSisStatus), kSisStatusClear);
    if (!PollPort((USHORT)(base + kSisStatus), 0xFF, kSisStatusIdle, kTransferPollLimit))
        return STATUS_TIMEOUT;
    if (!SisStartAndWait(base, haveWidth, width))
        return STATUS_TIMEOUT;
    // The controller still drives the stop after it reports done.
    if (!PollPort((USHORT)(base + kSisBusyFlags), kSisBusBusy, 0, kTransferPollLimit))
        return STATUS_TIMEOUT;
    OrvaneDelayMs(kWriteSettleMs);
    return STATUS_SUCCESS;
}

// The protocol code carries the direction, so the address goes out as it is.
// A wait that runs out is reported as STATUS_TIMEOUT; the data registers are
// still taken, as before.
NTSTATUS SmbusNvidiaRead(OrvaneDeviceExtension* ext)
{
    static constexpr UCHAR kProtocol[kWidthCount] = {kNvReadByteData, kNvReadWordData};
    OrvaneTransfer* t = &ext->Transfer;
    const USHORT base = BasePort(ext);
    WidthIndex width = kByte;
    const bool haveWidth = WidthOf(t->CommandCode, ORVANE_OP_READ_BYTE, ORVANE_OP_READ_WORD, &width);

    OrvanePortOut8((USHORT)(base + kNvCommand), (UCHAR)t->IoPort);
    OrvanePortOut8((USHORT)(base + kNvAddress), t->DeviceAddr);
    if (haveWidth)
        OrvanePortOut8((USHORT)(base + kNvProtocol), kProtocol[width]);
    const NTSTATUS status = NvidiaStatusWait(base);
    if (!NT_SUCCESS(status))
        return status;
    if (haveWidth) {
        const USHORT low = OrvanePortIn8((USHORT)(base + kNvData0));
        if (width == kByte) {
            t->InputValue = low;
        } else {
            const USHORT high = OrvanePortIn8((USHORT)(base + kNvData1));
            t->InputValue = (USHORT)(low | high << 8);
        }
    }
    return status;
}

NTSTATUS SmbusNvidiaWrite(OrvaneDeviceExtension* ext)
{
    static constexpr UCHAR kProtocol[kWidthCount] = {kNvWriteByteData, kNvWriteWordData};
    OrvaneTransfer* t = &ext->Transfer;
    const USHORT base = BasePort(ext);
    WidthIndex width = kByte;
    const bool haveWidth = WidthOf(t->CommandCode, ORVANE_OP_WRITE_BYTE, ORVANE_OP_WRITE_WORD, &width);

    OrvanePortOut8((USHORT)(base + kNvCommand), (UCHAR)t->IoPort);
    OrvanePortOut8((USHORT)(base + kNvAddress), t->DeviceAddr);
    if (haveWidth) {
        OrvanePortOut8((USHORT)(base + kNvData0), (UCHAR)t->OutputValue);
        if (width == kWord)
            OrvanePortOut8((USHORT)(base + kNvData1), (UCHAR)(t->OutputValue >> 8));
        OrvanePortOut8((USHORT)(base + kNvProtocol), kProtocol[width]);
    }
    const NTSTATUS status = NvidiaStatusWait(base);
    if (!NT_SUCCESS(status))
        return status;
    OrvaneDelayMs(kWriteSettleMs);
    return status;
}
