// The library's user-mode SMBus transactions over the same port backend.
#include "orvane_core.h"
#include "qemu_checks.h"

void RunLibraryChecks(OrvaneDeviceExtension* ext)
{
    (void)ext;
}
