// Adapter selection: finds, for the selected interface type, the PCI functions
// and the I/O base of the adapter, and restores the south-bridge register that
// selection changed.
#include "orvane_core.h"
#include "orvane_platform.h"

namespace {

// Interface types that name no adapter: selection succeeds and touches nothing.
bool SelectsNothing(ULONG type)
{
    switch (type) {
    case ORVANE_IF_INTEL: case ORVANE_IF_PARALLEL: case ORVANE_IF_GPIO_A:
    case ORVANE_IF_GPIO_B: case ORVANE_IF_GPIO_C: case ORVANE_IF_NVIDIA_1:
    case ORVANE_IF_NVIDIA_2: case ORVANE_IF_VIA: case ORVANE_IF_RESERVED_11:
    case ORVANE_IF_SIS: case ORVANE_IF_ALI: case ORVANE_IF_AMD:
        return false;
    }
    return true;
}

}  // namespace

NTSTATUS OrvaneSelectInterface(OrvaneDeviceExtension* ext)
{
    if (SelectsNothing(ext->InterfaceType))
        return STATUS_SUCCESS;
    // The PCI scan and the base lookups are not built yet.
    return STATUS_UNSUCCESSFUL;
}

void OrvaneRestoreSmbus(OrvaneDeviceExtension* ext)
{
    (void)ext;  // nothing has been changed yet that needs restoring
}
