// Placeholder until this engine is built: it carries no transfer.
#include "orvane_engines.h"

NTSTATUS SmbusIntelRead(OrvaneDeviceExtension* ext) { (void)ext; return STATUS_UNSUCCESSFUL; }
NTSTATUS SmbusIntelWrite(OrvaneDeviceExtension* ext) { (void)ext; return STATUS_UNSUCCESSFUL; }
