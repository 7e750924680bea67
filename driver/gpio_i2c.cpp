// Placeholder until this engine is built: it carries no transfer.
#include "orvane_engines.h"

NTSTATUS GpioI2cRead(OrvaneDeviceExtension* ext) { (void)ext; return STATUS_UNSUCCESSFUL; }
NTSTATUS GpioI2cWrite(OrvaneDeviceExtension* ext) { (void)ext; return STATUS_UNSUCCESSFUL; }
