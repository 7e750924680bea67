// Device-control dispatch of the driver core: the size test of every control
// code, the raw port and configuration requests, the chipset dword requests,
// the location and base queries, and the hand-over of selection, restore and
// transfer to their units.
#include "orvane_core.h"
#include "orvane_platform.h"
#include "orvane_selection.h"

namespace {

using OrvaneSelection::kVendorIntel;
using OrvaneSelection::kVendorNvidia;
constexpr ULONG kChipsetDwordWriteUnlock = 0x80000000u;  // bit 31, cleared before the write

// Interface types whose south-bridge register selection changes.
constexpr ULONG kRestoreTypes[] = {ORVANE_IF_INTEL, ORVANE_IF_NVIDIA_1, ORVANE_IF_NVIDIA_2};

// Buffer-size rule of one direction of a request.
enum class Size : UCHAR { Any, Exact, AtLeast };
struct SizeRule {
    Size kind;
    ULONG length;
};
struct RequestRule {
    ULONG code;
    SizeRule in;
    SizeRule out;
};

constexpr SizeRule kAny{Size::Any, 0};
constexpr SizeRule Exactly(ULONG n) { return {Size::Exact, n}; }
constexpr SizeRule AtLeast(ULONG n) { return {Size::AtLeast, n}; }

constexpr ULONG kLocationBytes = sizeof(OrvanePciLocation);
constexpr ULONG kPortBytes = sizeof(OrvanePortAccess);
constexpr ULONG kTransferBytes = sizeof(OrvaneTransfer);

constexpr RequestRule kRequestRules[] = {
    {IOCTL_ORVANE_SELECT_INTERFACE, Exactly(4), kAny},
    {IOCTL_ORVANE_TRANSFER, Exactly(kTransferBytes), Exactly(kTransferBytes)},
    {IOCTL_ORVANE_RESTORE_CHIPSET, kAny, kAny},
    {IOCTL_ORVANE_GET_CHIPSET_BRIDGE, kAny, Exactly(kLocationBytes)},
    {IOCTL_ORVANE_GET_ISA_BRIDGE, kAny, Exactly(kLocationBytes)},
    {IOCTL_ORVANE_GET_SMBUS_DEVICE, kAny, Exactly(kLocationBytes)},
    {IOCTL_ORVANE_GET_PARALLEL_BASE, kAny, AtLeast(2)},
    {IOCTL_ORVANE_GET_SMBUS_BASE, kAny, AtLeast(4)},
    {IOCTL_ORVANE_GET_DISPLAY_DEVICE, kAny, Exactly(kLocationBytes)},
    {IOCTL_ORVANE_GET_GPIO_BASE, kAny, AtLeast(2)},
    {IOCTL_ORVANE_READ_PORT_BYTE, Exactly(kPortBytes), Exactly(kPortBytes)},
    {IOCTL_ORVANE_WRITE_PORT_BYTE, Exactly(kPortBytes), kAny},
    {IOCTL_ORVANE_READ_PCI_CONFIG, Exactly(kPortBytes), Exactly(kPortBytes)},
    {IOCTL_ORVANE_WRITE_PCI_CONFIG, Exactly(kPortBytes), kAny},
    {IOCTL_ORVANE_READ_CHIPSET_DWORD, Exactly(kPortBytes), Exactly(kPortBytes)},
    {IOCTL_ORVANE_WRITE_CHIPSET_DWORD, Exactly(kPortBytes), Exactly(kPortBytes)},
};

bool Fits(SizeRule rule, ULONG length)
{
    switch (rule.kind) {
    case Size::Any: return true;
    case Size::Exact: return length == rule.length;
    case Size::AtLeast: return length >= rule.length;
    }
    return false;
}

const RequestRule* FindRule(ULONG code)
{
    for (const RequestRule& rule : kRequestRules)
        if (rule.code == code)
            return &rule;
    return nullptr;
}

void CopyBytes(void* to, const void* from, ULONG count)
{
    __builtin_memcpy(to, from, count);
}

// A location goes out as one 4-byte, one 2-byte and one 1-byte move.
void CopyLocation(void* buffer, const OrvanePciLocation& location)
{
    UCHAR* out = static_cast<UCHAR*>(buffer);
    const UCHAR* in = reinterpret_cast<const UCHAR*>(&location);
    CopyBytes(out, in, 4);
    CopyBytes(out + 4, in + 4, 2);
    out[6] = in[6];
}

ULONG PciSlot(const OrvanePortAccess& access)
{
    return (ULONG)(access.Function & 7) << 5 | (ULONG)(access.Device & 0x1F);
}

bool ChipsetDwordAllowed(const OrvaneDeviceExtension* ext)
{
    if (ext->ChipsetBridge.VendorId != kVendorNvidia)
        return false;
    // The NVIDIA chipsets whose I/O window selection looks up.
    for (USHORT device : OrvaneSelection::kNvidiaChipsetIoBridges)
        if (ext->ChipsetBridge.DeviceId == device)
            return true;
    return false;
}

bool RestoreAllowed(const OrvaneDeviceExtension* ext)
{
    bool typeMatches = false;
    for (ULONG type : kRestoreTypes)
        typeMatches = typeMatches || ext->InterfaceType == type;
    const USHORT vendor = ext->ChipsetBridge.VendorId;
    return typeMatches && (vendor == kVendorIntel || vendor == kVendorNvidia);
}

USHORT ChipsetPort(const OrvaneDeviceExtension* ext)
{
    return (USHORT)((ext->ChipsetIoBase + ext->PortAccess.Address) & 0xFFFF);
}

}  // namespace

NTSTATUS OrvaneDeviceControl(OrvaneDeviceExtension* ext, ULONG code, void* systemBuffer,
                             ULONG inLen, ULONG outLen, ULONG* bytes)
{
    *bytes = 0;
    const RequestRule* rule = FindRule(code);
    if (rule == nullptr)
        return STATUS_INVALID_DEVICE_REQUEST;
    if (!Fits(rule->in, inLen) || !Fits(rule->out, outLen))
        return STATUS_INVALID_PARAMETER;

    OrvanePortAccess& access = ext->PortAccess;
    switch (code) {
    case IOCTL_ORVANE_SELECT_INTERFACE:
        // The type is stored before selection runs, so it stays set even
        // when selection fails.
        CopyBytes(&ext->InterfaceType, systemBuffer, 4);
        return OrvaneSelectInterface(ext);

    case IOCTL_ORVANE_TRANSFER: {
        CopyBytes(&ext->Transfer, systemBuffer, kTransferBytes);
        const NTSTATUS status = OrvaneExecuteTransfer(ext);
        if (NT_SUCCESS(status)) {
            CopyBytes(systemBuffer, &ext->Transfer, kTransferBytes);
            *bytes = kTransferBytes;
        }
        return status;
    }

    case IOCTL_ORVANE_RESTORE_CHIPSET:
        if (RestoreAllowed(ext))
            OrvaneRestoreSmbus(ext);
        return STATUS_SUCCESS;

    case IOCTL_ORVANE_GET_CHIPSET_BRIDGE:
        CopyLocation(systemBuffer, ext->ChipsetBridge);
        *bytes = kLocationBytes;
        return STATUS_SUCCESS;
    case IOCTL_ORVANE_GET_ISA_BRIDGE:
        CopyLocation(systemBuffer, ext->IsaBridge);
        *bytes = kLocationBytes;
        return STATUS_SUCCESS;
    case IOCTL_ORVANE_GET_SMBUS_DEVICE:
        CopyLocation(systemBuffer, ext->SmbusDevice);
        *bytes = kLocationBytes;
        return STATUS_SUCCESS;
    case IOCTL_ORVANE_GET_DISPLAY_DEVICE:
        CopyLocation(systemBuffer, ext->DisplayDevice);
        *bytes = kLocationBytes;
        return STATUS_SUCCESS;
    case IOCTL_ORVANE_GET_PARALLEL_BASE:
        CopyBytes(systemBuffer, &ext->ParallelPortBase, 2);
        *bytes = 2;
        return STATUS_SUCCESS;
    case IOCTL_ORVANE_GET_SMBUS_BASE:
        CopyBytes(systemBuffer, &ext->SmbusBase, 4);
        *bytes = 4;
        return STATUS_SUCCESS;
    case IOCTL_ORVANE_GET_GPIO_BASE:
        CopyBytes(systemBuffer, &ext->GpioBase, 2);
        *bytes = 2;
        return STATUS_SUCCESS;

    case IOCTL_ORVANE_READ_PORT_BYTE:
        CopyBytes(&access, systemBuffer, kPortBytes);
        access.ReadValue = OrvanePortIn8((USHORT)(access.Address & 0xFFFF));
        CopyBytes(systemBuffer, &access, kPortBytes);
        *bytes = kPortBytes;
        return STATUS_SUCCESS;

    case IOCTL_ORVANE_WRITE_PORT_BYTE:
        CopyBytes(&access, systemBuffer, kPortBytes);
        OrvanePortOut8((USHORT)(access.Address & 0xFFFF), (UCHAR)(access.WriteValue & 0xFF));
        // The system buffer still holds the record as sent; never report
        // more of it than the caller's output buffer holds.
        *bytes = outLen >= kPortBytes ? kPortBytes : 0;
        return STATUS_SUCCESS;

    case IOCTL_ORVANE_READ_PCI_CONFIG: {
        CopyBytes(&access, systemBuffer, kPortBytes);
        ULONG value = 0;
        (void)OrvanePciRead(access.Bus, PciSlot(access), &value, access.Address, 4);
        access.ReadValue = value;
        CopyBytes(systemBuffer, &access, kPortBytes);
        *bytes = kPortBytes;
        return STATUS_SUCCESS;
    }

    case IOCTL_ORVANE_WRITE_PCI_CONFIG: {
        CopyBytes(&access, systemBuffer, kPortBytes);
        const ULONG value = access.WriteValue;
        (void)OrvanePciWrite(access.Bus, PciSlot(access), &value, access.Address, 4);
        *bytes = outLen >= kPortBytes ? kPortBytes : 0;
        return STATUS_SUCCESS;
    }

    case IOCTL_ORVANE_READ_CHIPSET_DWORD:
        CopyBytes(&access, systemBuffer, kPortBytes);
        if (!ChipsetDwordAllowed(ext))
            return STATUS_SUCCESS;
        access.ReadValue = OrvanePortIn32(ChipsetPort(ext));
        CopyBytes(systemBuffer, &access, kPortBytes);
        *bytes = kPortBytes;
        return STATUS_SUCCESS;

    case IOCTL_ORVANE_WRITE_CHIPSET_DWORD: {
        CopyBytes(&access, systemBuffer, kPortBytes);
        if (!ChipsetDwordAllowed(ext))
            return STATUS_SUCCESS;
        const USHORT port = ChipsetPort(ext);
        const ULONG current = OrvanePortIn32(port);
        OrvanePortOut32(port, current & ~kChipsetDwordWriteUnlock);
        OrvanePortOut32(port, access.WriteValue);
        *bytes = kPortBytes;
        return STATUS_SUCCESS;
    }
    }
    return STATUS_INVALID_DEVICE_REQUEST;
}
