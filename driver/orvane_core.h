// The driver core: the device extension and the IRP-free entry points that the
// kernel frame, the Wine-hosted test driver and the host tests all call.
#ifndef ORVANE_CORE_H
#define ORVANE_CORE_H

#include "orvane_types.h"
#include "orvane_ioctl.h"

// The driver's only state. The platform allocates it zero-filled with the
// device object; it lives until the device is deleted at unload.
struct OrvaneDeviceExtension {
    OrvanePciLocation ChipsetBridge;
    OrvanePciLocation IsaBridge;
    OrvanePciLocation DisplayDevice;
    OrvanePciLocation SmbusDevice;
    ULONG SavedIntelEnable;
    ULONG SavedNvidiaEnable;
    ULONG InterfaceType;
    USHORT ParallelPortBase;
    ULONG SmbusBase;
    USHORT ChipsetIoBase;
    USHORT GpioBase;
    OrvaneTransfer Transfer;
    OrvanePortAccess PortAccess;
    KDPC TimeoutDpc;
    KTIMER TimeoutTimer;
    volatile ULONG TimeoutFired;
    // Held around each device-control request: requests share the working
    // records, the adapter state and the one bus, so they must not overlap.
    OrvaneRequestLock RequestLock;
};

// Handles one device-control request on the buffered system buffer. Applies
// the size test of the code first; returns the status and stores in *bytes the
// count of output bytes to hand back.
NTSTATUS OrvaneDeviceControl(OrvaneDeviceExtension* ext, ULONG code, void* systemBuffer,
                             ULONG inLen, ULONG outLen, ULONG* bytes);

// Adapter selection (selection unit). Called with the new InterfaceType stored.
NTSTATUS OrvaneSelectInterface(OrvaneDeviceExtension* ext);
// Writes back the south-bridge register that selection changed.
void OrvaneRestoreSmbus(OrvaneDeviceExtension* ext);
// Executes ext->Transfer on the selected adapter (transfer routing unit).
NTSTATUS OrvaneExecuteTransfer(OrvaneDeviceExtension* ext);

// Timing services shared by selection and the engines.
void OrvaneDelayMs(ULONG milliseconds);
void OrvaneIoDelay();
void OrvaneArmTimeout(OrvaneDeviceExtension* ext);
// Routine of TimeoutDpc; its context is the extension.
#if defined(ORVANE_KERNEL)
extern "C" KDEFERRED_ROUTINE OrvaneTimeoutDpc;
#else
extern "C" void OrvaneTimeoutDpc(KDPC* dpc, PVOID context, PVOID arg1, PVOID arg2);
#endif

#endif
