// I2C on a pair of general-purpose pins of the display controller, clocked
// by software. The pins live in one 32-bit GPIO register, reached through the
// controller's index/data window at GpioBase; every line change selects the
// register, reads it, changes its bits and writes it back. The engine carries
// a one-byte register read and a one-byte register write, whatever the
// operation code asks for, and detects no failure.
#include "orvane_engines.h"
#include "orvane_platform.h"

namespace {

constexpr USHORT kIndexOffset = 0;  // 32-bit index register of the window
constexpr USHORT kDataOffset = 4;   // 32-bit data register of the window

constexpr ULONG kGpioSdaLevel = 1u << 0;    // level driven on SDA
constexpr ULONG kGpioSclLevel = 1u << 1;    // level driven on SCL
constexpr ULONG kGpioSdaIn = 1u << 8;       // level read back from SDA
constexpr ULONG kGpioSdaEnable = 1u << 16;  // the controller drives SDA
constexpr ULONG kGpioSclEnable = 1u << 17;  // the controller drives SCL

constexpr UCHAR kReadFlag = 0x01;  // bit 0 of the 8-bit address: read

// Which GPIO register carries the pins, by interface type and, for the third
// type, by the display controller's device id.
constexpr ULONG kGpioRegisterA = 0x60;
constexpr ULONG kGpioRegisterB = 0x64;
constexpr ULONG kGpioRegisterC = 0x68;
constexpr ULONG kGpioRegisterOther = 0x6C;  // the third type on any other controller

constexpr USHORT kRegisterCDevices[] = {0x4144, 0x4150, 0x4152, 0x554D, 0x5E4B};

ULONG GpioRegister(const OrvaneDeviceExtension* ext)
{
    switch (ext->InterfaceType) {
    case ORVANE_IF_GPIO_A:
        return kGpioRegisterA;
    case ORVANE_IF_GPIO_B:
        return kGpioRegisterB;
    default:
        break;
    }
    for (USHORT id : kRegisterCDevices)
        if (ext->DisplayDevice.DeviceId == id)
            return kGpioRegisterC;
    return kGpioRegisterOther;
}

ULONG ReadGpio(OrvaneDeviceExtension* ext)
{
    OrvanePortOut32((USHORT)(ext->GpioBase + kIndexOffset), GpioRegister(ext));
    return OrvanePortIn32((USHORT)(ext->GpioBase + kDataOffset));
}

// One complete read-modify-write of the GPIO register.
void ChangeGpio(OrvaneDeviceExtension* ext, ULONG set, ULONG clear)
{
    const ULONG value = ReadGpio(ext);
    OrvanePortOut32((USHORT)(ext->GpioBase + kDataOffset), (value & ~clear) | set);
}

UCHAR CommandByte(const OrvaneTransfer& t) { return (UCHAR)(t.IoPort & 0xFF); }

// The end of every transaction: one more clock with both lines driven high.
// SDA is already high when SCL rises, so this forms no stop condition.
void ClosingClock(OrvaneDeviceExtension* ext)
{
    GpioSclLow(ext);
    GpioSdaHigh(ext);
    OrvaneIoDelay();
    GpioSclHigh(ext);
}

}  // namespace

void GpioSdaLow(OrvaneDeviceExtension* ext) { ChangeGpio(ext, kGpioSdaEnable, kGpioSdaLevel); }
void GpioSdaHigh(OrvaneDeviceExtension* ext) { ChangeGpio(ext, kGpioSdaLevel | kGpioSdaEnable, 0); }
void GpioSclLow(OrvaneDeviceExtension* ext) { ChangeGpio(ext, kGpioSclEnable, kGpioSclLevel); }
void GpioSclHigh(OrvaneDeviceExtension* ext) { ChangeGpio(ext, kGpioSclLevel | kGpioSclEnable, 0); }
void GpioSdaRelease(OrvaneDeviceExtension* ext) { ChangeGpio(ext, 0, kGpioSdaEnable); }
void GpioSdaDrive(OrvaneDeviceExtension* ext) { ChangeGpio(ext, kGpioSdaEnable, 0); }

ULONG GpioSdaRead(OrvaneDeviceExtension* ext)
{
    return (ReadGpio(ext) & kGpioSdaIn) != 0 ? 1 : 0;
}

void GpioI2cStart(OrvaneDeviceExtension* ext)
{
    OrvaneIoDelay();
    GpioSdaLow(ext);
    OrvaneIoDelay();
    GpioSclLow(ext);
}

ULONG GpioI2cSendByte(OrvaneDeviceExtension* ext, UCHAR value)
{
    // SDA is driven again at the level last written to its level bit, which
    // is the last bit of the previous byte.
    GpioSdaDrive(ext);
    for (int bit = 7; bit >= 0; --bit) {
        GpioSclLow(ext);
        if ((value >> bit) & 1)
            GpioSdaHigh(ext);
        else
            GpioSdaLow(ext);
        OrvaneIoDelay();
        GpioSclHigh(ext);
        OrvaneIoDelay();
    }
    // Acknowledge clock; the byte ends with SCL high and SDA released.
    GpioSclLow(ext);
    GpioSdaRelease(ext);
    OrvaneIoDelay();
    GpioSclHigh(ext);
    OrvaneIoDelay();
    return GpioSdaRead(ext);
}

NTSTATUS GpioI2cRead(OrvaneDeviceExtension* ext)
{
    OrvaneTransfer& t = ext->Transfer;

    // The acknowledges that GpioI2cSendByte returns are not judged.
    GpioI2cStart(ext);
    (void)GpioI2cSendByte(ext, t.DeviceAddr);
    (void)GpioI2cSendByte(ext, CommandByte(t));

    // Repeated start: bring both lines high, then a start condition.
    GpioSclLow(ext);
    GpioSdaHigh(ext);
    OrvaneIoDelay();
    GpioSclHigh(ext);
    GpioI2cStart(ext);

    (void)GpioI2cSendByte(ext, (UCHAR)(t.DeviceAddr + kReadFlag));
    GpioSdaRelease(ext);
    UCHAR result = 0;
    for (int bit = 7; bit >= 0; --bit) {
        GpioSclLow(ext);
        OrvaneIoDelay();
        GpioSclHigh(ext);
        OrvaneIoDelay();
        if (GpioSdaRead(ext) != 0)
            result = (UCHAR)(result | (1u << bit));
    }
    // Not-acknowledge clock: the one byte is all the master takes.
    GpioSdaRelease(ext);
    GpioSclLow(ext);
    OrvaneIoDelay();
    GpioSdaHigh(ext);
    GpioSclHigh(ext);

    t.InputValue = result;
    ClosingClock(ext);
    return STATUS_SUCCESS;
}

NTSTATUS GpioI2cWrite(OrvaneDeviceExtension* ext)
{
    const OrvaneTransfer& t = ext->Transfer;

    GpioI2cStart(ext);
    (void)GpioI2cSendByte(ext, t.DeviceAddr);
    (void)GpioI2cSendByte(ext, CommandByte(t));
    (void)GpioI2cSendByte(ext, (UCHAR)(t.OutputValue & 0xFF));
    ClosingClock(ext);
    return STATUS_SUCCESS;
}
