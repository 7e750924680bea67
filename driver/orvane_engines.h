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

#endif
