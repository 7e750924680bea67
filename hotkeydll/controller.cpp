// The R39218 controller's register protocol: raw register access, the
// identification, version, button and self-test queries, and random and
// sequential access to its 8 KiB ROM. Every register access is one SMBus
// byte transaction at ControllerAddr.
#include <string.h>

#include "hotkey_core.h"
#include "hotkey_seams.h"

namespace hotkey {

namespace {

// Controller registers.
constexpr uint8_t kRegSelfTest = 0x00;        // write: start; read: busy while running
constexpr uint8_t kRegSelfTestResult = 0x01;
constexpr uint8_t kRegButton = 0x08;
constexpr uint8_t kRegRomAddrLow = 0x80;
constexpr uint8_t kRegRomAddrHigh = 0x81;
constexpr uint8_t kRegRomData = 0x82;
constexpr uint8_t kRegRomMode = 0x83;         // write: access mode; read: access status
constexpr uint8_t kRegRomReadPrepare = 0x84;  // written 0 before a random-access read
constexpr uint8_t kRegIdLow = 0x86;
constexpr uint8_t kRegIdHigh = 0x87;

constexpr uint8_t kRomModeClosed = 0x00;
constexpr uint8_t kRomModeRandom = 0x01;
constexpr uint8_t kRomModeSequential = 0x03;
constexpr uint8_t kRomStatusSequentialOpen = 0x03;  // both bits while sequential access is open
constexpr uint8_t kRomStatusWriteBusy = 0x10;

constexpr uint16_t kChipId = 0x3921;
constexpr uint8_t kSelfTestStart = 0x01;
constexpr uint8_t kSelfTestRunning = 0x01;
constexpr uint8_t kSelfTestPassed = 0xAA;
constexpr int kSelfTestReads = 100;            // reads of the busy register at most
constexpr uint32_t kSelfTestPauseMs = 200;     // between two of them

constexpr uint16_t kRomVersionAddr = 0x1FFE;
constexpr uint16_t kRomSubVersionAddr = 0x1FFF;

// Status polls of one sequential data write before it counts as failed.
constexpr int kWriteBusyPolls = 1000;

uint8_t Low(uint32_t v) { return (uint8_t)(v & 0xFF); }
uint8_t High(uint32_t v) { return (uint8_t)((v >> 8) & 0xFF); }

bool Seek(uint32_t address) { return WriteRegister(kRegRomAddrLow, Low(address)) && WriteRegister(kRegRomAddrHigh, High(address)); }

bool OpenRandom(uint32_t address, bool forRead)
{
    if (forRead && !WriteRegister(kRegRomReadPrepare, 0x00))
        return false;
    return WriteRegister(kRegRomMode, kRomModeRandom) && Seek(address);
}

bool OpenSequential()
{
    if (RWFlag != 0)
        return true;
    if (!WriteRegister(kRegRomMode, kRomModeSequential) || !Seek(0x0000))
        return false;
    RWFlag = 1;
    return true;
}

}  // namespace

bool ReadRegister(uint8_t reg, uint8_t* value)
{
    OrvaneTransfer t;
    memset(&t, 0, sizeof t);
    t.DeviceAddr = ControllerAddr;
    t.IoPort = reg;
    t.CommandCode = ORVANE_OP_READ_BYTE;
    if (CHIPSET_inport_intel1(&t) != 0)
        return false;
    *value = (uint8_t)(t.InputValue & 0xFF);
    return true;
}

bool WriteRegister(uint8_t reg, uint8_t value)
{
    OrvaneTransfer t;
    memset(&t, 0, sizeof t);
    t.DeviceAddr = ControllerAddr;
    t.IoPort = reg;
    t.OutputValue = value;
    t.CommandCode = ORVANE_OP_WRITE_BYTE;
    return CHIPSET_outport_intel1(&t) == 0;
}

bool SequentialRead(uint8_t* value)
{
    return OpenSequential() && ReadRegister(kRegRomData, value);
}

bool SequentialWrite(uint32_t address, uint8_t data)
{
    TraceLine("addr=%x data=%x\n", (unsigned)address, (unsigned)data);
    if (!OpenSequential() || !WriteRegister(kRegRomData, data))
        return false;
    for (int poll = 0; poll < kWriteBusyPolls; ++poll) {
        uint8_t status = 0;
        if (!ReadRegister(kRegRomMode, &status))
            return false;
        if ((status & kRomStatusSequentialOpen) != kRomStatusSequentialOpen) {
            if (!ReadRegister(kRegRomMode, &status) ||
                (status & kRomStatusSequentialOpen) != kRomStatusSequentialOpen)
                return false;
        }
        if ((status & kRomStatusWriteBusy) == 0)
            return true;
    }
    TraceLine("SPIWrite: write still in progress after %d polls", kWriteBusyPolls);
    return false;
}

}  // namespace hotkey

using namespace hotkey;

extern "C" int HOTKEY_CALL I2CReadByte(uint8_t reg, uint8_t* value)
{
    uint8_t v = 0;
    if (!ReadRegister(reg, &v))
        return 0;
    *value = v;
    return 1;
}

extern "C" int HOTKEY_CALL I2CWriteByte(uint8_t reg, uint8_t value) { return WriteRegister(reg, value) ? 1 : 0; }

extern "C" int HOTKEY_CALL CheckICID(int* match)
{
    TraceLine("Enter CheckICID\n");
    uint8_t high = 0, low = 0;
    if (!ReadRegister(kRegIdHigh, &high) || !ReadRegister(kRegIdLow, &low))
        return 1;
    const unsigned id = (unsigned)high << 8 | low;
    *match = id == kChipId ? 1 : 0;
    TraceLine("Exit CheckICID %x\n", id);
    return 0;
}

extern "C" int HOTKEY_CALL GetICVersion(int* version)
{
    TraceLine("Enter GetICVersion\n");
    uint8_t v = 0;
    if (!OpenRandom(kRomVersionAddr, true) || !ReadRegister(kRegRomData, &v))
        return 0;
    *version = v;
    if (!WriteRegister(kRegRomMode, kRomModeClosed))
        return 0;
    TraceLine("\r Version = %x ", (unsigned)v);
    return 1;
}

extern "C" int HOTKEY_CALL GetVersion218(int* version, int* subVersion)
{
    *version = 1;
    uint8_t v = 0;
    if (!OpenRandom(kRomVersionAddr, false) || !ReadRegister(kRegRomData, &v))
        return 0;
    *version = v;
    TraceLine("Version=%x", (unsigned)v);
    if (!Seek(kRomSubVersionAddr) || !ReadRegister(kRegRomData, &v))
        return 0;
    *subVersion = v;
    TraceLine("sub Version=%x", (unsigned)v);
    return WriteRegister(kRegRomMode, kRomModeClosed) ? 1 : 0;
}

extern "C" int HOTKEY_CALL GetBotton218(int* pressed)
{
    *pressed = 1;
    uint8_t v = 0;
    if (!ReadRegister(kRegButton, &v))
        return 0;
    TraceLine("GetBotton218 result=0x%x", 0u);
    TraceLine("ICR8:%x", (unsigned)v);
    if (v != 0) {
        TraceLine("\nPass");
    } else {
        *pressed = 0;
        TraceLine("\nFail");
    }
    return 1;
}

extern "C" int HOTKEY_CALL Test218(int* passed)
{
    *passed = 1;
    if (!WriteRegister(kRegSelfTest, kSelfTestStart))
        return 0;
    // At least one pause, at most kSelfTestReads reads; the result is read
    // even when the last read still shows the test running.
    for (int reads = 1;; ++reads) {
        uint8_t v = 0;
        if (!ReadRegister(kRegSelfTest, &v))
            return 0;
        if (reads == kSelfTestReads)
            break;
        SleepMs(kSelfTestPauseMs);
        if (v != kSelfTestRunning)
            break;
    }
    uint8_t result = 0;
    if (!ReadRegister(kRegSelfTestResult, &result))
        return 0;
    TraceLine("218Test result=0x%x", 0u);
    TraceLine("ICR01:%x", (unsigned)result);
    if (result == kSelfTestPassed) {
        TraceLine("\nPass");
    } else {
        *passed = 0;  // 0x55, the failed result, and any other value alike
        TraceLine("\nFail");
    }
    return 1;
}

extern "C" int HOTKEY_CALL ROMRead(uint32_t address, uint8_t* value)
{
    TraceLine("Enter ROMRead\n");
    uint8_t v = 0;
    if (!OpenRandom(address, true) || !ReadRegister(kRegRomData, &v))
        return 0;
    *value = v;
    TraceLine("\r data = %x ", (unsigned)v);
    return 1;
}

extern "C" int HOTKEY_CALL ROMWrite(uint32_t address, uint32_t data)
{
    TraceLine("Enter ROMWrite\n");
    if (!OpenRandom(address, false) || !WriteRegister(kRegRomData, Low(data)))
        return 0;
    TraceLine("\r data = %x ", (unsigned)Low(data));
    return 1;
}

extern "C" int HOTKEY_CALL SPIRead(uint32_t address)
{
    (void)address;
    uint8_t v = 0;
    return SequentialRead(&v) ? v : 1;
}

extern "C" int HOTKEY_CALL SPIWrite(uint32_t address, uint32_t data)
{
    return SequentialWrite(address, (uint8_t)(data & 0xFF)) ? 0 : 1;
}

extern "C" int HOTKEY_CALL SDKRead(uint32_t address, uint8_t* value)
{
    *value = (uint8_t)SPIRead(address);
    return 0;
}

extern "C" int HOTKEY_CALL ResetRWFlag(void)
{
    RWFlag = 0;
    return 0;
}

extern "C" int HOTKEY_CALL ExitCmd(void)
{
    return WriteRegister(kRegRomAddrLow, 0x00) && WriteRegister(kRegRomAddrHigh, 0x00) ? 0 : 1;
}
