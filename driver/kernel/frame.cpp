// Kernel frame of the driver: the entry point, the one device object with its
// symbolic link, the open/close/unload routines and the device-control
// dispatch that unpacks each request, runs the core and completes it.
#include <ntifs.h>

#include "orvane_core.h"

namespace {

// The two principals the device's DACL admits, built here rather than taken
// from SeExports so that the image needs no exported data (Wine, which hosts
// the test build of this frame, exports SeExports only as a stub).
struct WellKnownSid {
    UCHAR Revision;
    UCHAR SubAuthorityCount;
    SID_IDENTIFIER_AUTHORITY IdentifierAuthority;
    ULONG SubAuthority[2];
};
WellKnownSid localSystemSid = {SID_REVISION, 1, SECURITY_NT_AUTHORITY, {SECURITY_LOCAL_SYSTEM_RID, 0}};
WellKnownSid administratorsSid = {SID_REVISION, 2, SECURITY_NT_AUTHORITY,
                                  {SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS}};

// Only SYSTEM and the Administrators group may open the device: its requests
// give raw port and configuration access. Equivalent to the descriptor
// "D:P(A;;GA;;;SY)(A;;GA;;;BA)".
NTSTATUS RestrictDeviceAccess(PDEVICE_OBJECT device)
{
    static UCHAR aclBuffer[128];
    SECURITY_DESCRIPTOR descriptor;
    PACL acl = reinterpret_cast<PACL>(aclBuffer);

    NTSTATUS status = RtlCreateSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
    if (NT_SUCCESS(status))
        status = RtlCreateAcl(acl, sizeof(aclBuffer), ACL_REVISION);
    if (NT_SUCCESS(status))
        status = RtlAddAccessAllowedAce(acl, ACL_REVISION, GENERIC_ALL, &localSystemSid);
    if (NT_SUCCESS(status))
        status = RtlAddAccessAllowedAce(acl, ACL_REVISION, GENERIC_ALL, &administratorsSid);
    if (NT_SUCCESS(status))
        status = RtlSetDaclSecurityDescriptor(&descriptor, TRUE, acl, FALSE);
    if (!NT_SUCCESS(status))
        return status;
    // Protected DACL: nothing is inherited from the object directory.
    descriptor.Control |= SE_DACL_PROTECTED;

    HANDLE handle = nullptr;
    status = ObOpenObjectByPointer(device, OBJ_KERNEL_HANDLE, nullptr, WRITE_DAC, nullptr,
                                   KernelMode, &handle);
    if (!NT_SUCCESS(status))
        return status;
    status = ZwSetSecurityObject(handle, DACL_SECURITY_INFORMATION, &descriptor);
    ZwClose(handle);
    return status;
}

NTSTATUS Complete(PIRP irp, NTSTATUS status, ULONG_PTR bytes)
{
    irp->IoStatus.Status = status;
    irp->IoStatus.Information = bytes;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return status;
}

OrvaneDeviceExtension* ExtensionOf(PDEVICE_OBJECT device)
{
    return static_cast<OrvaneDeviceExtension*>(device->DeviceExtension);
}

}  // namespace

extern "C" {

DRIVER_INITIALIZE DriverEntry;
DRIVER_UNLOAD OrvaneUnload;
__drv_dispatchType(IRP_MJ_CREATE) DRIVER_DISPATCH OrvaneDispatchCreate;
__drv_dispatchType(IRP_MJ_CLOSE) DRIVER_DISPATCH OrvaneDispatchClose;
__drv_dispatchType(IRP_MJ_DEVICE_CONTROL) DRIVER_DISPATCH OrvaneDispatchDeviceControl;

NTSTATUS OrvaneDispatchCreate(PDEVICE_OBJECT device, PIRP irp)
{
    // The DPC and timer were initialised with the device: an open must not
    // reset a timer that a transfer on another handle is waiting on.
    (void)device;
    return Complete(irp, STATUS_SUCCESS, 0);
}

NTSTATUS OrvaneDispatchClose(PDEVICE_OBJECT device, PIRP irp)
{
    // The timer is left alone: a transfer on another handle may be using it,
    // and an idle window only expires and sets the flag.
    (void)device;
    return Complete(irp, STATUS_SUCCESS, 0);
}

NTSTATUS OrvaneDispatchDeviceControl(PDEVICE_OBJECT device, PIRP irp)
{
    OrvaneDeviceExtension* ext = ExtensionOf(device);
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    const ULONG code = stack->Parameters.DeviceIoControl.IoControlCode;
    const ULONG inLen = stack->Parameters.DeviceIoControl.InputBufferLength;
    const ULONG outLen = stack->Parameters.DeviceIoControl.OutputBufferLength;

    ULONG bytes = 0;
    // One request at a time: they share the working records and the bus. A
    // dispatcher mutex, not a fast one: the thread stays at PASSIVE_LEVEL, so
    // millisecond delays sleep and the completion of the request that
    // selection sends to the parallel-port driver (a special kernel APC) can
    // run while the lock is held.
    KeWaitForSingleObject(&ext->RequestLock, Executive, KernelMode, FALSE, nullptr);
    const NTSTATUS status =
        OrvaneDeviceControl(ext, code, irp->AssociatedIrp.SystemBuffer, inLen, outLen, &bytes);
    KeReleaseMutex(&ext->RequestLock, FALSE);
    return Complete(irp, status, bytes);
}

void OrvaneUnload(PDRIVER_OBJECT driver)
{
    UNICODE_STRING link;
    RtlInitUnicodeString(&link, L"\\DosDevices\\Orvane");
    IoDeleteSymbolicLink(&link);
    if (PDEVICE_OBJECT device = driver->DeviceObject) {
        // No DPC may run in an unloaded image: stop the timer and wait for a
        // DPC that is already queued.
        KeCancelTimer(&ExtensionOf(device)->TimeoutTimer);
        KeFlushQueuedDpcs();
        IoDeleteDevice(device);
    }
}

NTSTATUS DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING registryPath)
{
    (void)registryPath;
    UNICODE_STRING name;
    RtlInitUnicodeString(&name, L"\\Device\\Orvane");

    PDEVICE_OBJECT device = nullptr;
    NTSTATUS status = IoCreateDevice(driver, sizeof(OrvaneDeviceExtension), &name,
                                     FILE_DEVICE_UNKNOWN, FILE_DEVICE_SECURE_OPEN, FALSE, &device);
    if (!NT_SUCCESS(status))
        return status;

    OrvaneDeviceExtension* ext = ExtensionOf(device);
    KeInitializeDpc(&ext->TimeoutDpc, OrvaneTimeoutDpc, ext);
    KeInitializeTimer(&ext->TimeoutTimer);
    KeInitializeMutex(&ext->RequestLock, 0);

    status = RestrictDeviceAccess(device);
    if (!NT_SUCCESS(status)) {
        IoDeleteDevice(device);
        return status;
    }

    driver->MajorFunction[IRP_MJ_CREATE] = OrvaneDispatchCreate;
    driver->MajorFunction[IRP_MJ_CLOSE] = OrvaneDispatchClose;
    driver->MajorFunction[IRP_MJ_DEVICE_CONTROL] = OrvaneDispatchDeviceControl;
    driver->DriverUnload = OrvaneUnload;
    device->Flags |= DO_BUFFERED_IO;

    UNICODE_STRING link;
    RtlInitUnicodeString(&link, L"\\DosDevices\\Orvane");
    status = IoCreateSymbolicLink(&link, &name);
    if (!NT_SUCCESS(status)) {
        IoDeleteDevice(device);
        return status;
    }
    device->Flags &= ~DO_DEVICE_INITIALIZING;
    return status;
}

}  // extern "C"
