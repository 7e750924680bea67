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

#endif
