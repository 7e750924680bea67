// I2C on two lines of a PC parallel port, clocked by software. SDA is data
// bit 0; SCL is control bit 0, inverted on its way to the connector; control
// bit 5 turns the data port around so that SDA can be read. Every change of a
// line is a read-modify-write of its whole register. The engine carries a
// one-byte register read and a one-byte register write, whatever the
// operation code asks for, and detects no failure: acknowledges are clocked
// but not evaluated.
#include "orvane_engines.h"
#include "orvane_platform.h"

namespace {

constexpr USHORT kControlOffset = 2;     // control port = data port + 2
constexpr UCHAR kDataSda = 0x01;         // data bit 0: level driven on SDA / SDA read back
constexpr UCHAR kControlSclLow = 0x01;   // control bit 0: set pulls SCL low
constexpr UCHAR kControlDataInput = 0x20;  // control bit 5: data port is an input (SDA released)
constexpr UCHAR kReadFlag = 0x01;        // bit 0 of the 8-bit address: read

void SetBits(USHORT port, UCHAR bits)
{
    OrvanePortOut8(port, (UCHAR)(OrvanePortIn8(port) | bits));
}

void ClearBits(USHORT port, UCHAR bits)
{
    OrvanePortOut8(port, (UCHAR)(OrvanePortIn8(port) & ~bits));
}

USHORT ControlPort(USHORT dataPort) { return (USHORT)(dataPort + kControlOffset); }

void SclLow(USHORT dataPort) { SetBits(ControlPort(dataPort), kControlSclLow); }
void SclHigh(USHORT dataPort) { ClearBits(ControlPort(dataPort), kControlSclLow); }
void SdaLow(USHORT dataPort) { ClearBits(dataPort, kDataSda); }
void SdaHigh(USHORT dataPort) { SetBits(dataPort, kDataSda); }
void Release(USHORT dataPort) { SetBits(ControlPort(dataPort), kControlDataInput); }
void Drive(USHORT dataPort) { ClearBits(ControlPort(dataPort), kControlDataInput); }

UCHAR CommandByte(const OrvaneTransfer& t) { return (UCHAR)(t.IoPort & 0xFF); }

}  // namespace

void LptI2cStart(USHORT dataPort)
{
    OrvaneIoDelay();
    SdaLow(dataPort);
    OrvaneIoDelay();
    SclLow(dataPort);
}

void LptI2cStop(USHORT dataPort)
{
    SclLow(dataPort);
    // SDA goes low in the data register before the port drives, so the line
    // is pulled low the moment the port turns around.
    SdaLow(dataPort);
    Drive(dataPort);
    OrvaneIoDelay();
    SclHigh(dataPort);
    OrvaneIoDelay();
    SdaHigh(dataPort);
}

void LptI2cSendByte(USHORT dataPort, UCHAR value)
{
    Drive(dataPort);
    for (int bit = 7; bit >= 0; --bit) {
        SclLow(dataPort);
        if ((value >> bit) & 1)
            SdaHigh(dataPort);
        else
            SdaLow(dataPort);
        OrvaneIoDelay();
        SclHigh(dataPort);
        OrvaneIoDelay();
    }
    // Acknowledge clock: the target's answer is clocked and read, not judged.
    SclLow(dataPort);
    Release(dataPort);
    OrvaneIoDelay();
    SclHigh(dataPort);
    OrvaneIoDelay();
    (void)OrvanePortIn8(dataPort);
    OrvaneIoDelay();
    SclLow(dataPort);
}

NTSTATUS LptI2cRead(OrvaneDeviceExtension* ext)
{
    const USHORT port = ext->ParallelPortBase;
    OrvaneTransfer& t = ext->Transfer;

    // Command phase and data phase are two bus transactions.
    LptI2cStart(port);
    LptI2cSendByte(port, t.DeviceAddr);
    LptI2cSendByte(port, CommandByte(t));
    LptI2cStop(port);

    LptI2cStart(port);
    LptI2cSendByte(port, (UCHAR)(t.DeviceAddr + kReadFlag));
    Release(port);
    UCHAR result = 0;
    for (int bit = 7; bit >= 0; --bit) {
        SclLow(port);
        OrvaneIoDelay();
        SclHigh(port);
        OrvaneIoDelay();
        if (OrvanePortIn8(port) & kDataSda)
            result = (UCHAR)(result | (1u << bit));
    }
    // Not-acknowledge clock: the one byte is all the master takes.
    Drive(port);
    SclLow(port);
    OrvaneIoDelay();
    SdaHigh(port);
    SclHigh(port);
    OrvaneIoDelay();
    SclLow(port);

    t.InputValue = result;
    LptI2cStop(port);
    return STATUS_SUCCESS;
}

NTSTATUS LptI2cWrite(OrvaneDeviceExtension* ext)
{
    const USHORT port = ext->ParallelPortBase;
    const OrvaneTransfer& t = ext->Transfer;

    LptI2cStart(port);
    LptI2cSendByte(port, t.DeviceAddr);
    LptI2cSendByte(port, CommandByte(t));
    LptI2cSendByte(port, (UCHAR)(t.OutputValue & 0xFF));
    LptI2cStop(port);
    return STATUS_SUCCESS;
}
