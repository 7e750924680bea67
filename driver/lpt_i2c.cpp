// Placeholder until this engine is built: it carries no transfer.
#include "orvane_engines.h"

NTSTATUS LptI2cRead(OrvaneDeviceExtension* ext) { (void)ext; return STATUS_UNSUCCESSFUL; }
NTSTATUS LptI2cWrite(OrvaneDeviceExtension* ext) { (void)ext; return STATUS_UNSUCCESSFUL; }
