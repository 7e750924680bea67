// The library's side of the driver's control interface: adapter selection,
// single port bytes through the driver, and SMBus byte and word transactions
// run from user mode on an Intel-compatible host controller, one driver
// request per register access.
#include "hotkey_core.h"
#include "hotkey_seams.h"

namespace hotkey {

namespace {

// Intel-compatible SMBus host-controller registers, offsets from the base.
constexpr uint32_t kHostStatus = 0;
constexpr uint32_t kHostControl = 2;
constexpr uint32_t kHostCommand = 3;
constexpr uint32_t kHostSlaveAddress = 4;
constexpr uint32_t kHostData0 = 5;
constexpr uint32_t kHostData1 = 6;

constexpr uint8_t kHostStatusClearAll = 0xFF;
constexpr uint8_t kHostStatusIdle = 0x00;
constexpr uint8_t kHostStatusDone = 0x02;         // transaction finished
constexpr uint8_t kHostStatusDeviceError = 0x04;  // no acknowledge
constexpr uint8_t kHostControlStart = 0x40;
constexpr uint8_t kHostControlByteData = 0x08;
constexpr uint8_t kHostControlWordData = 0x0C;
constexpr uint8_t kSlaveAddressRead = 0x01;

// Every wait on the host controller polls at most this many times, one
// driver request per poll, without sleeping.
constexpr uint32_t kHostWaitReads = 200000;

// Interface types that the driver's selection knows; the others are not sent.
constexpr int32_t kSelectableTypes[] = {
    ORVANE_IF_INTEL, ORVANE_IF_PARALLEL, ORVANE_IF_GPIO_A, ORVANE_IF_GPIO_B,
    ORVANE_IF_GPIO_C, ORVANE_IF_NVIDIA_1, ORVANE_IF_NVIDIA_2, ORVANE_IF_VIA,
    ORVANE_IF_RESERVED_11, ORVANE_IF_SIS, ORVANE_IF_ALI, ORVANE_IF_AMD,
};

// The transaction kinds a transfer record can ask for.
struct TransactionKind {
    uint8_t commandCode;
    bool read;
    uint8_t protocol;  // host-control value without the start bit
    int dataBytes;
};
constexpr TransactionKind kTransactionKinds[] = {
    {ORVANE_OP_READ_BYTE, true, kHostControlByteData, 1},
    {ORVANE_OP_WRITE_BYTE, false, kHostControlByteData, 1},
    {ORVANE_OP_READ_WORD, true, kHostControlWordData, 2},
    {ORVANE_OP_WRITE_WORD, false, kHostControlWordData, 2},
};

bool Selectable(int32_t type)
{
    for (int32_t t : kSelectableTypes)
        if (t == type)
            return true;
    return false;
}

// The kind of a write (or read) transaction, or nullptr: such a code starts
// nothing and fails at the control-register wait.
const TransactionKind* FindKind(uint8_t commandCode, bool read)
{
    for (const TransactionKind& k : kTransactionKinds)
        if (k.commandCode == commandCode && k.read == read)
            return &k;
    return nullptr;
}

bool Out(uint32_t reg, uint8_t value) { return WritePortByte(OrvaneBaseAddress + reg, value); }
bool In(uint32_t reg, uint8_t* value) { return ReadPortByte(OrvaneBaseAddress + reg, value); }

// The outcome of one bounded wait.
enum class Wait { Met, TimedOut, PortFailed };

// Polls the status register until it reads idle.
Wait WaitStatusIdle(uint8_t* last)
{
    for (uint32_t i = 0; i < kHostWaitReads; ++i) {
        if (!In(kHostStatus, last))
            return Wait::PortFailed;
        if (*last == kHostStatusIdle)
            return Wait::Met;
    }
    return Wait::TimedOut;
}

// Polls the control register until it shows the protocol without the start
// bit; with no known kind it never matches.
Wait WaitControl(const TransactionKind* kind, uint8_t* last)
{
    for (uint32_t i = 0; i < kHostWaitReads; ++i) {
        if (!In(kHostControl, last))
            return Wait::PortFailed;
        if (kind != nullptr && *last == kind->protocol)
            return Wait::Met;
    }
    return Wait::TimedOut;
}

// Polls the status register until the transaction is done or failed; met
// only when it finished without a device error.
Wait WaitFinished(uint8_t* last)
{
    for (uint32_t i = 0; i < kHostWaitReads; ++i) {
        if (!In(kHostStatus, last))
            return Wait::PortFailed;
        if (*last & (kHostStatusDone | kHostStatusDeviceError))
            return (*last & kHostStatusDeviceError) ? Wait::TimedOut : Wait::Met;
    }
    return Wait::TimedOut;
}

constexpr int kOk = 0;
constexpr int kFailed = 2;

// A transaction can run only on a host controller the driver reported.
bool HaveBase(const char* direction)
{
    if (OrvaneBaseAddress != 0)
        return true;
    TraceLine("%s: no SMBus base address, select an interface first", direction);
    return false;
}

int PortFailed(const char* direction)
{
    TraceLine("%s: port request FAIL", direction);
    return kFailed;
}

}  // namespace

bool ReadPortByte(uint32_t port, uint8_t* value)
{
    OrvanePortAccess access = {};
    access.Address = port;
    if (!DeviceRequest(IOCTL_ORVANE_READ_PORT_BYTE, &access, sizeof access, &access, sizeof access))
        return false;
    *value = (uint8_t)(access.ReadValue & 0xFF);
    return true;
}

bool WritePortByte(uint32_t port, uint8_t value)
{
    OrvanePortAccess access = {};
    access.Address = port;
    access.WriteValue = value;
    return DeviceRequest(IOCTL_ORVANE_WRITE_PORT_BYTE, &access, sizeof access, &access, sizeof access);
}

}  // namespace hotkey

using namespace hotkey;

extern "C" int HOTKEY_CALL SelectInterfaceType(int32_t interfaceType, uint8_t baseAddr)
{
    int result = 1;
    InterfaceType = interfaceType;
    if (Selectable(InterfaceType)) {
        int32_t type = InterfaceType;
        const bool selected = DeviceRequest(IOCTL_ORVANE_SELECT_INTERFACE, &type, sizeof type, nullptr, 0);
        TraceLine("SelectInterfaceType Result=0x%x InterfaceType=%x BaseAddr=%x", selected ? 1u : 0u,
                  (unsigned)InterfaceType, (unsigned)baseAddr);
        bool based;
        if (InterfaceType == (int32_t)ORVANE_IF_PARALLEL) {
            uint16_t base = ParallelBaseAddr;
            based = DeviceRequest(IOCTL_ORVANE_GET_PARALLEL_BASE, nullptr, 0, &base, sizeof base);
            if (based)
                ParallelBaseAddr = base;
        } else {
            uint32_t base = OrvaneBaseAddress;
            based = DeviceRequest(IOCTL_ORVANE_GET_SMBUS_BASE, nullptr, 0, &base, sizeof base);
            if (based)
                OrvaneBaseAddress = base;
            TraceLine("SelectInterfaceType Result=0x%x", based ? 1u : 0u);
            TraceLine("SelectInterfaceType OrvaneBaseAddress=0x%x", (unsigned)OrvaneBaseAddress);
        }
        // A failed selection is a failure even when the base query answers:
        // the base it returns belongs to an earlier selection.
        result = selected && based ? 1 : 0;
    }
    ControllerAddr = baseAddr != 0 ? baseAddr : kDefaultControllerAddr;
    return result;
}

extern "C" int HOTKEY_CALL CHIPSET_outport_intel1(OrvaneTransfer* t)
{
    TraceLine("outport DeviceAddr= %x IoPort= %x OutputValue= %x CommandCode= %x", (unsigned)t->DeviceAddr,
              (unsigned)t->IoPort, (unsigned)t->OutputValue, (unsigned)t->CommandCode);
    if (!HaveBase("outport"))
        return kFailed;
    const TransactionKind* kind = FindKind(t->CommandCode, false);
    if (!Out(kHostSlaveAddress, t->DeviceAddr) || !Out(kHostCommand, (uint8_t)(t->IoPort & 0xFF)))
        return PortFailed("outport");
    if (kind != nullptr) {
        if (!Out(kHostData0, (uint8_t)(t->OutputValue & 0xFF)))
            return PortFailed("outport");
        if (kind->dataBytes == 2 && !Out(kHostData1, (uint8_t)(t->OutputValue >> 8)))
            return PortFailed("outport");
    }
    if (!Out(kHostStatus, kHostStatusClearAll))
        return PortFailed("outport");

    uint8_t last = 0;
    switch (WaitStatusIdle(&last)) {
    case Wait::Met: break;
    case Wait::PortFailed: return PortFailed("outport");
    case Wait::TimedOut:
        TraceLine("x00, 0xFF Timeout (reg0 = %.2X)\n", (unsigned)last);
        return kFailed;
    }
    if (kind != nullptr && !Out(kHostControl, (uint8_t)(kHostControlStart | kind->protocol)))
        return PortFailed("outport");
    switch (WaitControl(kind, &last)) {
    case Wait::Met: break;
    case Wait::PortFailed: return PortFailed("outport");
    case Wait::TimedOut:
        TraceLine("Timeout (reg2 = %.2X) %x\r\n", (unsigned)last, (unsigned)t->CommandCode);
        return kFailed;
    }
    switch (WaitFinished(&last)) {
    case Wait::Met: break;
    case Wait::PortFailed: return PortFailed("outport");
    case Wait::TimedOut:
        TraceLine("INTR Timeout %x\n", (unsigned)last);
        return kFailed;
    }
    return kOk;
}

extern "C" int HOTKEY_CALL CHIPSET_inport_intel1(OrvaneTransfer* t)
{
    TraceLine("inport DeviceAddr= %x IoPort= %x OutputValue= %x CommandCode= %x", (unsigned)t->DeviceAddr,
              (unsigned)t->IoPort, (unsigned)t->OutputValue, (unsigned)t->CommandCode);
    if (!HaveBase("inport"))
        return kFailed;
    const TransactionKind* kind = FindKind(t->CommandCode, true);
    if (!Out(kHostSlaveAddress, (uint8_t)(t->DeviceAddr | kSlaveAddressRead)) ||
        !Out(kHostCommand, (uint8_t)(t->IoPort & 0xFF)) || !Out(kHostStatus, kHostStatusClearAll))
        return PortFailed("inport");

    uint8_t last = 0;
    switch (WaitStatusIdle(&last)) {
    case Wait::Met: break;
    case Wait::PortFailed: return PortFailed("inport");
    case Wait::TimedOut:
        TraceLine("R Timeout (reg0 = %.2X)\r\n", (unsigned)last);
        return kFailed;
    }
    if (kind != nullptr && !Out(kHostControl, (uint8_t)(kHostControlStart | kind->protocol)))
        return PortFailed("inport");
    switch (WaitControl(kind, &last)) {
    case Wait::Met: break;
    case Wait::PortFailed: return PortFailed("inport");
    case Wait::TimedOut: return kFailed;
    }
    switch (WaitFinished(&last)) {
    case Wait::Met: break;
    case Wait::PortFailed: return PortFailed("inport");
    case Wait::TimedOut: return kFailed;
    }
    uint8_t low = 0;
    if (!In(kHostData0, &low))
        return PortFailed("inport");
    uint8_t high = 0;
    if (kind->dataBytes == 2 && !In(kHostData1, &high))
        return PortFailed("inport");
    t->InputValue = (uint16_t)(high << 8 | low);
    return kOk;
}
