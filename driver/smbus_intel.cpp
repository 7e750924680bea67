// Intel SMBus host controller engine: the common register set of the Intel
// chipsets and the variant of the south bridge with device id 0x8119. Every
// wait is a timed wait: arm the two-second window, then poll the register,
// re-reading TimeoutFired on every pass.
#include "orvane_engines.h"
#include "orvane_platform.h"

namespace {

constexpr USHORT kVariant8119DeviceId = 0x8119;

// Common register set, offsets from the SMBus base.
constexpr USHORT kHostStatus = 0;
constexpr USHORT kHostControl = 2;
constexpr USHORT kHostCommand = 3;
constexpr USHORT kSlaveAddress = 4;
constexpr USHORT kHostData0 = 5;
constexpr USHORT kHostData1 = 6;
constexpr USHORT kBlockData = 7;

constexpr UCHAR kStatusClearAll = 0xFF;
constexpr UCHAR kStatusIdle = 0x00;
constexpr UCHAR kStatusDone = 0x02;       // transfer completed
constexpr UCHAR kStatusByteDone = 0x80;   // one block byte moved

constexpr UCHAR kControlStartByte = 0x48;
constexpr UCHAR kControlStartedByte = 0x08;
constexpr UCHAR kControlStartWord = 0x4C;
constexpr UCHAR kControlStartedWord = 0x0C;
constexpr UCHAR kControlBlock = 0x14;
constexpr UCHAR kControlStartBlock = 0x54;
constexpr UCHAR kControlLastByte = 0x34;
constexpr UCHAR kControlKill = 0x36;

// The 0x8119 variant's register set.
constexpr USHORT kV2Control = 0;
constexpr USHORT kV2Status = 1;
constexpr USHORT kV2Setup2 = 2;
constexpr USHORT kV2Setup3 = 3;
constexpr USHORT kV2SlaveAddress = 4;
constexpr USHORT kV2Command = 5;
constexpr USHORT kV2Data0 = 6;
constexpr USHORT kV2Data1 = 7;
constexpr USHORT kV2BlockWindow = 0x20;
constexpr ULONG kV2BlockWindowSize = 32;

constexpr UCHAR kV2ControlPrepare = 0x08;     // before every status clear
constexpr UCHAR kV2ControlBlock = 0x05;       // block protocol; also aborts a block
constexpr UCHAR kV2ControlStartByte = 0x12;
constexpr UCHAR kV2ControlStartedByte = 0x02;
constexpr UCHAR kV2ControlStartWord = 0x13;
constexpr UCHAR kV2ControlStartedWord = 0x03;
constexpr UCHAR kV2ControlStartBlock = 0x15;
constexpr UCHAR kV2StatusClear = 0x0F;
constexpr UCHAR kV2StatusClearAll = 0xFF;
constexpr UCHAR kV2StatusIdle = 0x00;
constexpr UCHAR kV2StatusDone = 0x01;
constexpr UCHAR kV2Setup2Value = 0x54;
constexpr UCHAR kV2Setup3Value = 0x00;

constexpr ULONG kByteWriteSettleMs = 10;
constexpr ULONG kBlockSettleMs = 100;

// Start and started codes of the byte and word protocols, by CommandCode.
struct ProtocolCodes {
    UCHAR read, write;     // CommandCode of the read and the write
    UCHAR start, started;  // common variant
    UCHAR v2Start, v2Started;
};
constexpr ProtocolCodes kProtocols[] = {
    {ORVANE_OP_READ_BYTE, ORVANE_OP_WRITE_BYTE, kControlStartByte, kControlStartedByte, kV2ControlStartByte,
     kV2ControlStartedByte},
    {ORVANE_OP_READ_WORD, ORVANE_OP_WRITE_WORD, kControlStartWord, kControlStartedWord, kV2ControlStartWord,
     kV2ControlStartedWord},
};

const ProtocolCodes* ProtocolFor(UCHAR commandCode)
{
    for (const ProtocolCodes& p : kProtocols)
        if (p.read == commandCode || p.write == commandCode)
            return &p;
    return nullptr;  // writes nothing; the wait that depends on it can only time out
}

enum class Until : UCHAR { Equals, AnyBit };

class Controller {
public:
    explicit Controller(OrvaneDeviceExtension* ext)
        : ext(ext), t(ext->Transfer), base((USHORT)(ext->SmbusBase & 0xFFFF))
    {
    }

    void Out(USHORT offset, UCHAR value) { OrvanePortOut8((USHORT)(base + offset), value); }
    UCHAR In(USHORT offset) { return OrvanePortIn8((USHORT)(base + offset)); }

    // One timed wait; true when the condition held before the window closed.
    bool WaitFor(USHORT offset, Until kind, UCHAR value)
    {
        OrvaneArmTimeout(ext);
        for (;;) {
            if (ext->TimeoutFired != 0)
                break;
            const UCHAR v = In(offset);
            if (kind == Until::Equals ? v == value : (v & value) != 0)
                break;
        }
        return ext->TimeoutFired == 0;
    }

    OrvaneDeviceExtension* ext;
    OrvaneTransfer& t;
    USHORT base;
};

bool Is8119(const OrvaneDeviceExtension* ext) { return ext->IsaBridge.DeviceId == kVariant8119DeviceId; }

UCHAR CommandByte(const OrvaneTransfer& t) { return (UCHAR)t.IoPort; }

// Waits for the control register to show the protocol as started, when the
// CommandCode names one; otherwise nothing was started and only the window ends it.
bool WaitStarted(Controller& c, USHORT controlOffset, const ProtocolCodes* p, bool v2)
{
    if (p == nullptr) {
        OrvaneArmTimeout(c.ext);
        while (c.ext->TimeoutFired == 0)
            (void)c.In(controlOffset);
        return false;
    }
    return c.WaitFor(controlOffset, Until::Equals, v2 ? p->v2Started : p->started);
}

NTSTATUS ReadByteWordCommon(Controller& c)
{
    const ProtocolCodes* p = ProtocolFor(c.t.CommandCode);
    c.Out(kSlaveAddress, (UCHAR)(c.t.DeviceAddr + 1));
    c.Out(kHostCommand, CommandByte(c.t));
    c.Out(kHostStatus, kStatusClearAll);
    if (!c.WaitFor(kHostStatus, Until::Equals, kStatusIdle))
        return STATUS_TIMEOUT;
    if (p != nullptr)
        c.Out(kHostControl, p->start);
    if (!WaitStarted(c, kHostControl, p, false))
        return STATUS_TIMEOUT;
    if (!c.WaitFor(kHostStatus, Until::AnyBit, kStatusDone))
        return STATUS_TIMEOUT;
    const USHORT low = c.In(kHostData0);
    c.t.InputValue = p->read == ORVANE_OP_READ_WORD ? (USHORT)(low | c.In(kHostData1) << 8) : low;
    return STATUS_SUCCESS;
}

void SetupV2(Controller& c)
{
    c.Out(kV2Setup2, kV2Setup2Value);
    c.Out(kV2Setup3, kV2Setup3Value);
}

NTSTATUS ReadByteWordV2(Controller& c)
{
    const ProtocolCodes* p = ProtocolFor(c.t.CommandCode);
    SetupV2(c);
    c.Out(kV2SlaveAddress, (UCHAR)(c.t.DeviceAddr + 1));
    c.Out(kV2Command, CommandByte(c.t));
    c.Out(kV2Control, kV2ControlPrepare);
    c.Out(kV2Status, kV2StatusClear);
    if (!c.WaitFor(kV2Status, Until::Equals, kV2StatusIdle))
        return STATUS_TIMEOUT;
    if (p != nullptr)
        c.Out(kV2Control, p->v2Start);
    if (!WaitStarted(c, kV2Control, p, true))
        return STATUS_TIMEOUT;
    if (!c.WaitFor(kV2Status, Until::AnyBit, kV2StatusDone))
        return STATUS_TIMEOUT;
    const USHORT low = c.In(kV2Data0);
    c.t.InputValue = p->read == ORVANE_OP_READ_WORD ? (USHORT)(low | c.In(kV2Data1) << 8) : low;
    return STATUS_SUCCESS;
}

NTSTATUS ReadBlockCommon(Controller& c)
{
    const UCHAR start = (UCHAR)OrvaneBlockReadStart(&c.t);
    const ULONG n = OrvaneBlockReadCount(&c.t);
    c.Out(kHostControl, kControlBlock);
    c.Out(kSlaveAddress, c.t.DeviceAddr);
    c.Out(kHostCommand, start);
    c.Out(kHostData0, (UCHAR)c.t.BlockLength);
    c.Out(kSlaveAddress, (UCHAR)(c.t.DeviceAddr | 1));
    c.Out(kHostStatus, kStatusClearAll);
    c.Out(kHostControl, kControlStartBlock);
    for (ULONG i = 0; i < n; ++i) {
        if (!c.WaitFor(kHostStatus, Until::AnyBit, kStatusByteDone)) {
            c.Out(kHostControl, kControlKill);
            c.Out(kHostStatus, kStatusClearAll);
            return STATUS_TIMEOUT;
        }
        if (i == n - 1)
            c.Out(kHostControl, kControlLastByte);  // before the last byte is taken
        c.t.BlockBuffer[start + i] = c.In(kBlockData);
        c.Out(kHostStatus, kStatusClearAll);
    }
    c.Out(kHostStatus, kStatusClearAll);
    return STATUS_SUCCESS;
}

NTSTATUS ReadBlockV2(Controller& c)
{
    const UCHAR start = (UCHAR)OrvaneBlockReadStart(&c.t);
    const ULONG n = OrvaneBlockReadCount(&c.t);  // at most 14: inside the 32-byte window
    c.Out(kV2Control, kV2ControlPrepare);
    SetupV2(c);
    c.Out(kV2Control, kV2ControlBlock);
    c.Out(kV2SlaveAddress, c.t.DeviceAddr);
    c.Out(kV2Command, start);
    c.Out(kV2Data0, (UCHAR)c.t.BlockLength);
    c.Out(kV2SlaveAddress, (UCHAR)(c.t.DeviceAddr | 1));
    c.Out(kV2Control, kV2ControlPrepare);
    c.Out(kV2Status, kV2StatusClear);
    c.Out(kV2Control, kV2ControlStartBlock);
    for (ULONG i = 0; i < n; ++i) {
        // The completion bit is not cleared between bytes.
        if (!c.WaitFor(kV2Status, Until::AnyBit, kV2StatusDone)) {
            c.Out(kV2Control, kV2ControlBlock);
            c.Out(kV2Status, kV2StatusClearAll);
            return STATUS_TIMEOUT;
        }
        c.t.BlockBuffer[start + i] = c.In((USHORT)(kV2BlockWindow + i));
    }
    return STATUS_SUCCESS;
}

NTSTATUS WriteByteWordCommon(Controller& c)
{
    const ProtocolCodes* p = ProtocolFor(c.t.CommandCode);
    c.Out(kSlaveAddress, c.t.DeviceAddr);
    c.Out(kHostCommand, CommandByte(c.t));
    if (c.t.CommandCode == ORVANE_OP_WRITE_BYTE) {
        c.Out(kHostData0, (UCHAR)c.t.OutputValue);
    } else if (c.t.CommandCode == ORVANE_OP_WRITE_WORD) {
        c.Out(kHostData0, (UCHAR)c.t.OutputValue);
        c.Out(kHostData1, (UCHAR)(c.t.OutputValue >> 8));
    }
    c.Out(kHostStatus, kStatusClearAll);
    if (!c.WaitFor(kHostStatus, Until::Equals, kStatusIdle))
        return STATUS_TIMEOUT;
    if (p != nullptr)
        c.Out(kHostControl, p->start);
    if (!WaitStarted(c, kHostControl, p, false))
        return STATUS_TIMEOUT;
    if (!c.WaitFor(kHostStatus, Until::AnyBit, kStatusDone))
        return STATUS_TIMEOUT;
    OrvaneDelayMs(kByteWriteSettleMs);
    return STATUS_SUCCESS;
}

NTSTATUS WriteByteWordV2(Controller& c)
{
    const ProtocolCodes* p = ProtocolFor(c.t.CommandCode);
    SetupV2(c);
    c.Out(kV2SlaveAddress, c.t.DeviceAddr);
    c.Out(kV2Command, CommandByte(c.t));
    if (c.t.CommandCode == ORVANE_OP_WRITE_BYTE) {
        c.Out(kV2Data0, (UCHAR)c.t.OutputValue);
    } else if (c.t.CommandCode == ORVANE_OP_WRITE_WORD) {
        c.Out(kV2Data0, (UCHAR)c.t.OutputValue);
        c.Out(kV2Data1, (UCHAR)(c.t.OutputValue >> 8));
    }
    c.Out(kV2Control, kV2ControlPrepare);
    c.Out(kV2Status, kV2StatusClear);
    if (!c.WaitFor(kV2Status, Until::Equals, kV2StatusIdle))
        return STATUS_TIMEOUT;
    if (p != nullptr)
        c.Out(kV2Control, p->v2Start);
    if (!WaitStarted(c, kV2Control, p, true))
        return STATUS_TIMEOUT;
    // A write is finished only when the status shows completion and nothing else.
    if (!c.WaitFor(kV2Status, Until::Equals, kV2StatusDone))
        return STATUS_TIMEOUT;
    OrvaneDelayMs(kByteWriteSettleMs);
    return STATUS_SUCCESS;
}

NTSTATUS WriteBlockCommon(Controller& c)
{
    const ULONG start = OrvaneBlockWriteStart(&c.t);
    const ULONG n = OrvaneBlockWriteCount(&c.t);
    c.Out(kHostControl, kControlBlock);
    c.Out(kHostCommand, (UCHAR)start);
    c.Out(kHostData0, (UCHAR)c.t.BlockWriteCount);
    c.Out(kSlaveAddress, c.t.DeviceAddr);
    c.Out(kHostStatus, kStatusClearAll);
    c.Out(kHostControl, kControlStartBlock);
    for (ULONG i = 0; i < n; ++i) {
        c.Out(kBlockData, c.t.BlockBuffer[start + i]);
        if (!c.WaitFor(kHostStatus, Until::AnyBit, kStatusByteDone)) {
            c.Out(kHostControl, kControlKill);
            c.Out(kHostStatus, kStatusClearAll);
            return STATUS_TIMEOUT;
        }
        c.Out(kHostStatus, kStatusClearAll);
    }
    OrvaneDelayMs(kBlockSettleMs);
    return STATUS_SUCCESS;
}

NTSTATUS WriteBlockV2(Controller& c)
{
    const ULONG start = OrvaneBlockWriteStart(&c.t);
    const ULONG n = OrvaneBlockWriteCount(&c.t);
    // The variant's block window holds 32 bytes; a longer block cannot be
    // handed to the controller.
    if (n > kV2BlockWindowSize)
        return STATUS_INVALID_PARAMETER;
    SetupV2(c);
    c.Out(kV2Control, kV2ControlBlock);
    c.Out(kV2Command, (UCHAR)start);
    c.Out(kV2Data0, (UCHAR)c.t.BlockLength);
    c.Out(kV2SlaveAddress, c.t.DeviceAddr);
    c.Out(kV2Control, kV2ControlPrepare);
    c.Out(kV2Status, kV2StatusClear);
    c.Out(kV2Control, kV2ControlStartBlock);
    for (ULONG i = 0; i < n; ++i) {
        c.Out((USHORT)(kV2BlockWindow + i), c.t.BlockBuffer[start + i]);
        if (!c.WaitFor(kV2Status, Until::AnyBit, kV2StatusDone)) {
            c.Out(kV2Control, kV2ControlBlock);
            return STATUS_TIMEOUT;
        }
    }
    OrvaneDelayMs(kBlockSettleMs);
    return STATUS_SUCCESS;
}

}  // namespace

ULONG SmbusIntelBlockWriteLimit(const OrvaneDeviceExtension* ext)
{
    return Is8119(ext) ? kV2BlockWindowSize : (ULONG)ORVANE_REGISTER_COUNT;
}

NTSTATUS SmbusIntelRead(OrvaneDeviceExtension* ext)
{
    Controller c(ext);
    const bool v2 = Is8119(ext);
    if (ext->Transfer.CommandCode == ORVANE_OP_READ_BLOCK) {
        OrvaneDelayMs(kBlockSettleMs);
        return v2 ? ReadBlockV2(c) : ReadBlockCommon(c);
    }
    return v2 ? ReadByteWordV2(c) : ReadByteWordCommon(c);
}

NTSTATUS SmbusIntelWrite(OrvaneDeviceExtension* ext)
{
    Controller c(ext);
    const bool v2 = Is8119(ext);
    if (ext->Transfer.CommandCode == ORVANE_OP_WRITE_BLOCK)
        return v2 ? WriteBlockV2(c) : WriteBlockCommon(c);
    return v2 ? WriteByteWordV2(c) : WriteByteWordCommon(c);
}
