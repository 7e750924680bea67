// Placeholder until this engine is built: it carries no transfer.
#include "orvane_engines.h"

NTSTATUS SmbusAmdRead(OrvaneDeviceExtension* ext) { (void)ext; return STATUS_UNSUCCESSFUL; }
NTSTATUS SmbusViaRead(OrvaneDeviceExtension* ext) { (void)ext; return STATUS_UNSUCCESSFUL; }
NTSTATUS SmbusAmdViaWrite(OrvaneDeviceExtension* ext) { (void)ext; return STATUS_UNSUCCESSFUL; }
NTSTATUS SmbusSisRead(OrvaneDeviceExtension* ext) { (void)ext; return STATUS_UNSUCCESSFUL; }
NTSTATUS SmbusSisWrite(OrvaneDeviceExtension* ext) { (void)ext; return STATUS_UNSUCCESSFUL; }
NTSTATUS SmbusAliRead(OrvaneDeviceExtension* ext) { (void)ext; return STATUS_UNSUCCESSFUL; }
NTSTATUS SmbusAliWrite(OrvaneDeviceExtension* ext) { (void)ext; return STATUS_UNSUCCESSFUL; }
NTSTATUS SmbusNvidiaRead(OrvaneDeviceExtension* ext) { (void)ext; return STATUS_UNSUCCESSFUL; }
NTSTATUS SmbusNvidiaWrite(OrvaneDeviceExtension* ext) { (void)ext; return STATUS_UNSUCCESSFUL; }
