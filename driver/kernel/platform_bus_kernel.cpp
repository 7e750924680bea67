// Bus half of the platform seam in the kernel: port instructions, the HAL's
// PCI configuration access and the system parallel-port driver.
#include <ntddk.h>
#include <parallel.h>

#include "orvane_core.h"
#include "orvane_platform.h"

UCHAR OrvanePortIn8(USHORT port) { return __inbyte(port); }
void OrvanePortOut8(USHORT port, UCHAR value) { __outbyte(port, value); }
ULONG OrvanePortIn32(USHORT port) { return __indword(port); }
void OrvanePortOut32(USHORT port, ULONG value) { __outdword(port, value); }

ULONG OrvanePciRead(ULONG bus, ULONG slot, void* buffer, ULONG offset, ULONG length)
{
    return HalGetBusDataByOffset(PCIConfiguration, bus, slot, buffer, offset, length);
}

ULONG OrvanePciWrite(ULONG bus, ULONG slot, const void* buffer, ULONG offset, ULONG length)
{
    return HalSetBusDataByOffset(PCIConfiguration, bus, slot, const_cast<void*>(buffer), offset, length);
}

namespace {

// Where the system's parallel-port driver publishes its ports.
constexpr wchar_t kParallelPortDevice[] = L"\\Device\\ParallelPort0";
constexpr ULONG kGetParallelPortInfo = 0x00160030;  // IOCTL_INTERNAL_GET_PARALLEL_PORT_INFO
static_assert(IOCTL_INTERNAL_GET_PARALLEL_PORT_INFO == kGetParallelPortInfo, "control code");
#if defined(_WIN64)
static_assert(sizeof(PARALLEL_PORT_INFORMATION) == 56, "the x64 record is 56 bytes");
#endif
// The parallel-port driver answers the query at once; a request still open
// after this long is cancelled, and its completion awaited, since it refers
// to this frame's event, status block and buffer.
constexpr LONGLONG kParallelInfoWait = -2LL * 10 * 1000 * 1000;  // 2 s, relative, 100 ns units

}  // namespace

NTSTATUS OrvaneParallelPortController(ULONGLONG* controller)
{
    UNICODE_STRING name;
    RtlInitUnicodeString(&name, kParallelPortDevice);
    PFILE_OBJECT file = nullptr;
    PDEVICE_OBJECT device = nullptr;
    NTSTATUS status = IoGetDeviceObjectPointer(&name, FILE_READ_ATTRIBUTES, &file, &device);
    if (!NT_SUCCESS(status))
        return status;

    KEVENT done;
    KeInitializeEvent(&done, NotificationEvent, FALSE);
    IO_STATUS_BLOCK ioStatus = {};
    PARALLEL_PORT_INFORMATION info = {};
    PIRP irp = IoBuildDeviceIoControlRequest(kGetParallelPortInfo, device, nullptr, 0, &info,
                                             sizeof(info), TRUE, &done, &ioStatus);
    if (irp == nullptr) {
        ObDereferenceObject(file);
        return STATUS_UNSUCCESSFUL;
    }
    status = IoCallDriver(device, irp);
    if (status == STATUS_PENDING) {
        LARGE_INTEGER wait;
        wait.QuadPart = kParallelInfoWait;
        if (KeWaitForSingleObject(&done, Executive, KernelMode, FALSE, &wait) == STATUS_TIMEOUT) {
            IoCancelIrp(irp);
            KeWaitForSingleObject(&done, Executive, KernelMode, FALSE, nullptr);
        }
        status = ioStatus.Status;
    }
    ObDereferenceObject(file);
    if (NT_SUCCESS(status))
        *controller = (ULONGLONG)info.OriginalController.QuadPart;
    return status;
}
