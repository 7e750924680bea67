// Adapter selection: finds, for the selected interface type, the PCI functions
// and the I/O base of the adapter, applies the south-bridge adjustment, and
// restores the register that the adjustment changed.
#include "orvane_selection.h"

#include "orvane_platform.h"

using namespace OrvaneSelection;

namespace {

constexpr UCHAR kCfgVendorDevice = 0x00;
constexpr UCHAR kCfgSubclass = 0x0A;
constexpr UCHAR kCfgClass = 0x0B;
constexpr ULONG kBaseBit0 = 0x00000001u;
constexpr USHORT kIoBaseBit0 = 0x0001;

ULONG Slot(const OrvanePciLocation& location)
{
    return (ULONG)(location.Function & 7) << 5 | (ULONG)(location.Device & 0x1F);
}

ULONG ReadDword(const OrvanePciLocation& location, ULONG offset)
{
    ULONG value = 0;
    (void)OrvanePciRead(location.Bus, Slot(location), &value, offset, 4);
    return value;
}

USHORT ReadWord(const OrvanePciLocation& location, ULONG offset)
{
    USHORT value = 0;
    (void)OrvanePciRead(location.Bus, Slot(location), &value, offset, 2);
    return value;
}

void WriteDword(const OrvanePciLocation& location, ULONG offset, ULONG value)
{
    (void)OrvanePciWrite(location.Bus, Slot(location), &value, offset, 4);
}

bool Found(const OrvanePciLocation& location) { return location.VendorId != kVendorNone; }

USHORT VendorFor(ULONG type)
{
    return type < kInterfaceVendorCount ? InterfaceVendorTable[type] : kVendorNone;
}

OrvaneSelectGroup GroupOf(ULONG type)
{
    for (const OrvaneSelectRow& row : kSelectGroups)
        if (row.type == type)
            return row.group;
    return OrvaneSelectGroup::Nothing;
}

void Scan(OrvanePciClass cls, OrvanePciLocation* record, ULONG type)
{
    OrvaneFindPciFunction(cls.subclass, cls.classCode, record, type);
}

const OrvaneAdjustRow* AdjustRowFor(USHORT vendor)
{
    for (const OrvaneAdjustRow& row : kAdjustTable)
        if (row.vendor == vendor)
            return &row;
    return nullptr;
}

UCHAR AdjustOffset(const OrvaneAdjustRow& row, const OrvanePciLocation& isa)
{
    if (row.variantDeviceId != kNoDeviceId && isa.DeviceId == row.variantDeviceId)
        return row.variantOffset;
    return row.offset;
}

const OrvaneDeviceChangeRow* DeviceChangeFor(USHORT deviceId)
{
    for (const OrvaneDeviceChangeRow& row : kDeviceChangeTable)
        if (row.deviceId == deviceId)
            return &row;
    return nullptr;
}

const OrvaneSmbusVendorRule* VendorRuleFor(USHORT vendor)
{
    for (const OrvaneSmbusVendorRule& rule : kSmbusVendorRules)
        if (rule.vendor == vendor)
            return &rule;
    return nullptr;
}

bool Holds(const OrvaneBaseRow& row, const OrvaneDeviceExtension* ext)
{
    switch (row.when) {
    case OrvaneBaseWhen::Always: return true;
    case OrvaneBaseWhen::IsaDeviceIs: return ext->IsaBridge.DeviceId == row.id;
    case OrvaneBaseWhen::SmbusDeviceIs: return ext->SmbusDevice.DeviceId == row.id;
    case OrvaneBaseWhen::TypeAndSmbusBelow:
        return ext->InterfaceType == row.type && ext->SmbusDevice.DeviceId < row.id;
    case OrvaneBaseWhen::TypeIs: return ext->InterfaceType == row.type;
    }
    return false;
}

const OrvaneBaseRow* BaseRowFor(const OrvaneDeviceExtension* ext)
{
    for (const OrvaneBaseRow& row : kBaseTable)
        if (row.vendor == ext->ChipsetBridge.VendorId && Holds(row, ext))
            return &row;
    return nullptr;
}

// Runs one scan step of the SMBus base lookup; false when it finds nothing.
bool RunScan(OrvaneScan scan, OrvaneDeviceExtension* ext)
{
    const ULONG type = ext->InterfaceType;
    switch (scan) {
    case OrvaneScan::None:
        return true;
    case OrvaneScan::IsaIntoIsa:
        Scan(kClassIsaBridge, &ext->IsaBridge, type);
        return Found(ext->IsaBridge);
    case OrvaneScan::Smbus:
        Scan(kClassSmbus, &ext->SmbusDevice, type);
        return Found(ext->SmbusDevice);
    case OrvaneScan::IsaIntoSmbus:
        Scan(kClassIsaBridge, &ext->SmbusDevice, type);
        return Found(ext->SmbusDevice);
    case OrvaneScan::SmbusElseIsa:
        Scan(kClassSmbus, &ext->SmbusDevice, type);
        if (!Found(ext->SmbusDevice))
            Scan(kClassIsaBridge, &ext->SmbusDevice, type);
        return Found(ext->SmbusDevice);
    }
    return false;
}

// I(index): the index goes to 0xCD6, then 0xCD7 yields that register's byte.
UCHAR PmIndexRead(UCHAR index)
{
    OrvanePortOut8(kAmdPmIndexPort, index);
    return OrvanePortIn8(kAmdPmDataPort);
}

ULONG ComputeBase(const OrvaneBaseRow& row, const OrvaneDeviceExtension* ext)
{
    switch (row.source) {
    case OrvaneBaseSource::Unchanged:
        break;
    case OrvaneBaseSource::ConfigDword:
        return ((ReadDword(ext->SmbusDevice, row.offset) & row.mask) >> row.shift) + row.add;
    case OrvaneBaseSource::PmIndex: {
        ULONG base = (ULONG)PmIndexRead(row.offset) << 8;
        if (row.hasLow)
            base |= PmIndexRead(row.lowIndex) & row.mask;
        return base;
    }
    }
    return ext->SmbusBase;
}

bool CarriesChipsetIo(USHORT chipsetDeviceId)
{
    for (USHORT id : kNvidiaChipsetIoBridges)
        if (id == chipsetDeviceId)
            return true;
    return false;
}

NTSTATUS SelectChipset(OrvaneDeviceExtension* ext)
{
    const ULONG type = ext->InterfaceType;
    ext->ChipsetBridge = OrvanePciLocation{};
    Scan(kClassChipsetBridge, &ext->ChipsetBridge, type);
    const USHORT vendor = ext->ChipsetBridge.VendorId;
    // Type 11 always ends here: its vendor entry is 0.
    if (vendor == kVendorNone || vendor != VendorFor(type))
        return STATUS_NO_SUCH_DEVICE;
    const OrvaneSmbusVendorRule* rule = VendorRuleFor(vendor);
    if (rule == nullptr)
        return STATUS_NO_SUCH_DEVICE;

    // AMD has no adjustment row and skips this step.
    if (AdjustRowFor(vendor) != nullptr)
        OrvaneEnableSmbus(ext);
    // When no SMBus function is found the adjustment stays in place; the
    // restore request is the way back.
    if (!OrvaneFindSmbusBase(ext))
        return STATUS_UNSUCCESSFUL;
    if (rule->clearBaseBit0)
        ext->SmbusBase &= ~kBaseBit0;
    return STATUS_SUCCESS;
}

NTSTATUS SelectDisplay(OrvaneDeviceExtension* ext)
{
    ext->DisplayDevice = OrvanePciLocation{};
    Scan(kClassDisplay, &ext->DisplayDevice, ext->InterfaceType);
    if (!Found(ext->DisplayDevice))
        return STATUS_NO_SUCH_DEVICE;
    ULONG v = ReadDword(ext->DisplayDevice, kDisplayBar4);
    if ((v & kDisplayIoBaseMask) == 0)
        v = ReadDword(ext->DisplayDevice, kDisplayBar1);
    ext->GpioBase = (USHORT)(v & kDisplayIoBaseMask);
    return STATUS_SUCCESS;
}

}  // namespace

void OrvaneFindPciFunction(UCHAR subclass, UCHAR classCode, OrvanePciLocation* record, ULONG interfaceType)
{
    const USHORT wanted = VendorFor(interfaceType);
    for (ULONG bus = 0; bus < kScanBuses; ++bus) {
        for (ULONG device = 0; device < kScanDevices; ++device) {
            // Every function number is tried, whatever the header type says.
            for (ULONG function = 0; function < kScanFunctions; ++function) {
                const ULONG slot = function << 5 | device;
                UCHAR sub = 0;
                UCHAR cls = 0;
                (void)OrvanePciRead(bus, slot, &sub, kCfgSubclass, 1);
                (void)OrvanePciRead(bus, slot, &cls, kCfgClass, 1);
                if (sub != subclass || cls != classCode)
                    continue;
                ULONG ids = kVendorAbsent;
                (void)OrvanePciRead(bus, slot, &ids, kCfgVendorDevice, 4);
                const USHORT vendor = (USHORT)(ids & 0xFFFF);
                if (vendor == kVendorAbsent || vendor != wanted)
                    continue;
                record->VendorId = vendor;
                record->DeviceId = (USHORT)(ids >> 16);
                record->Bus = (UCHAR)bus;
                record->Device = (UCHAR)device;
                record->Function = (UCHAR)function;
                return;
            }
        }
    }
    *record = OrvanePciLocation{};
}

void OrvaneEnableSmbus(OrvaneDeviceExtension* ext)
{
    const OrvaneAdjustRow* row = AdjustRowFor(ext->ChipsetBridge.VendorId);
    if (row == nullptr)
        return;
    Scan(kClassIsaBridge, &ext->IsaBridge, ext->InterfaceType);
    if (!Found(ext->IsaBridge))
        return;
    const UCHAR offset = AdjustOffset(*row, ext->IsaBridge);
    ULONG v = ReadDword(ext->IsaBridge, offset);
    if (row->saved != nullptr)
        ext->*(row->saved) = v;
    v |= row->vendorSet;
    if (const OrvaneDeviceChangeRow* change = DeviceChangeFor(ext->IsaBridge.DeviceId))
        v = (v & change->keep) | change->set;
    // Written back even when unchanged.
    WriteDword(ext->IsaBridge, offset, v);
}

bool OrvaneFindSmbusBase(OrvaneDeviceExtension* ext)
{
    const OrvaneSmbusVendorRule* rule = VendorRuleFor(ext->ChipsetBridge.VendorId);
    if (rule == nullptr || !RunScan(rule->leadScan, ext))
        return false;
    const OrvaneBaseRow* row = BaseRowFor(ext);
    if (row == nullptr || !RunScan(row->scan, ext))
        return false;
    ext->SmbusBase = ComputeBase(*row, ext);

    if (rule->readsChipsetIo && CarriesChipsetIo(ext->ChipsetBridge.DeviceId)) {
        Scan(kClassIsaBridge, &ext->IsaBridge, ext->InterfaceType);
        if (Found(ext->IsaBridge))
            ext->ChipsetIoBase = (USHORT)(ReadWord(ext->IsaBridge, kNvidiaChipsetIoBaseOffset) & ~kIoBaseBit0);
    }
    return true;
}

NTSTATUS OrvaneGetParallelPort(OrvaneDeviceExtension* ext)
{
    ULONGLONG controller = 0;
    const NTSTATUS status = OrvaneParallelPortController(&controller);
    // On failure the old base stays.
    if (NT_SUCCESS(status))
        ext->ParallelPortBase = (USHORT)(controller & 0xFFFF);
    return status;
}

NTSTATUS OrvaneSelectInterface(OrvaneDeviceExtension* ext)
{
    switch (GroupOf(ext->InterfaceType)) {
    case OrvaneSelectGroup::Chipset: return SelectChipset(ext);
    case OrvaneSelectGroup::Parallel: return OrvaneGetParallelPort(ext);
    case OrvaneSelectGroup::Display: return SelectDisplay(ext);
    case OrvaneSelectGroup::Nothing: break;
    }
    return STATUS_SUCCESS;
}

void OrvaneRestoreSmbus(OrvaneDeviceExtension* ext)
{
    const OrvaneAdjustRow* row = AdjustRowFor(ext->ChipsetBridge.VendorId);
    if (row == nullptr || row->saved == nullptr)
        return;
    // Without an ISA bridge the adjustment never ran and there is nothing to
    // put back; writing anyway would land in function 0:0.0.
    if (!Found(ext->IsaBridge))
        return;
    WriteDword(ext->IsaBridge, AdjustOffset(*row, ext->IsaBridge), ext->*(row->saved));
}
