// Engine entry points of the transfer routing. Each performs one read
// (CommandCode 4, 6 or 8) or one write (5, 7 or 9) of ext->Transfer on its
// adapter and returns an NTSTATUS (STATUS_TIMEOUT when a hardware wait ran
// out, a success-class status).
#ifndef ORVANE_ENGINES_H
#define ORVANE_ENGINES_H

#include "orvane_core.h"

// Routing by interface type and chipset vendor.
NTSTATUS OrvaneEngineRead(OrvaneDeviceExtension* ext);
NTSTATUS OrvaneEngineWrite(OrvaneDeviceExtension* ext);

// Intel SMBus host controller (common register set and the 0x8119 variant).
NTSTATUS SmbusIntelRead(OrvaneDeviceExtension* ext);
NTSTATUS SmbusIntelWrite(OrvaneDeviceExtension* ext);
// Most bytes one block write may send on the selected Intel controller (the
// 0x8119 variant's block window holds 32).
ULONG SmbusIntelBlockWriteLimit(const OrvaneDeviceExtension* ext);

// AMD, VIA, SiS, ALi and NVIDIA SMBus host controllers.
NTSTATUS SmbusAmdRead(OrvaneDeviceExtension* ext);
NTSTATUS SmbusViaRead(OrvaneDeviceExtension* ext);
NTSTATUS SmbusAmdViaWrite(OrvaneDeviceExtension* ext);
NTSTATUS SmbusSisRead(OrvaneDeviceExtension* ext);
NTSTATUS SmbusSisWrite(OrvaneDeviceExtension* ext);
NTSTATUS SmbusAliRead(OrvaneDeviceExtension* ext);
NTSTATUS SmbusAliWrite(OrvaneDeviceExtension* ext);
NTSTATUS SmbusNvidiaRead(OrvaneDeviceExtension* ext);
NTSTATUS SmbusNvidiaWrite(OrvaneDeviceExtension* ext);

// Bit-banged I2C on the parallel port and on display-controller GPIO.
NTSTATUS LptI2cRead(OrvaneDeviceExtension* ext);
NTSTATUS LptI2cWrite(OrvaneDeviceExtension* ext);
NTSTATUS GpioI2cRead(OrvaneDeviceExtension* ext);
NTSTATUS GpioI2cWrite(OrvaneDeviceExtension* ext);

// Bus primitives of the parallel-port engine; each takes the data port.
void LptI2cStart(USHORT dataPort);
void LptI2cStop(USHORT dataPort);
void LptI2cSendByte(USHORT dataPort, UCHAR value);

// Line primitives of the GPIO engine, each one read-modify-write of the GPIO
// register; GpioSdaRead only reads and returns the SDA level (0 or 1).
void GpioSdaLow(OrvaneDeviceExtension* ext);
void GpioSdaHigh(OrvaneDeviceExtension* ext);
void GpioSclLow(OrvaneDeviceExtension* ext);
void GpioSclHigh(OrvaneDeviceExtension* ext);
void GpioSdaRelease(OrvaneDeviceExtension* ext);
void GpioSdaDrive(OrvaneDeviceExtension* ext);
ULONG GpioSdaRead(OrvaneDeviceExtension* ext);
// Bus primitives of the GPIO engine; GpioI2cSendByte returns the acknowledge
// bit as read (0: acknowledged).
void GpioI2cStart(OrvaneDeviceExtension* ext);
ULONG GpioI2cSendByte(OrvaneDeviceExtension* ext, UCHAR value);

// Block conventions shared by the SMBus host engines. A block read starts no
// higher than register 242, so that its 14 bytes end at register 255, and
// byte i of it belongs at BlockBuffer[start + i]; a block write starts at the
// low byte of BlockOffset as it is. The counts never reach past the end of
// BlockBuffer, whatever the record holds.
inline ULONG OrvaneBlockReadStart(const OrvaneTransfer* t)
{
    const ULONG start = (UCHAR)t->BlockOffset;
    return start > ORVANE_BLOCK_READ_START_MAX ? (ULONG)ORVANE_BLOCK_READ_START_MAX : start;
}

inline ULONG OrvaneBlockReadCount(const OrvaneTransfer* t)
{
    const ULONG room = ORVANE_REGISTER_COUNT - OrvaneBlockReadStart(t);
    if (t->BlockLength < 1)
        return 0;
    const ULONG n = (ULONG)t->BlockLength - 1;
    return n < room ? n : room;
}

inline ULONG OrvaneBlockWriteStart(const OrvaneTransfer* t) { return (UCHAR)t->BlockOffset; }

inline ULONG OrvaneBlockWriteCount(const OrvaneTransfer* t)
{
    const ULONG room = ORVANE_REGISTER_COUNT - OrvaneBlockWriteStart(t);
    return t->BlockWriteCount < room ? t->BlockWriteCount : room;
}

#endif
