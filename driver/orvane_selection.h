// Adapter selection: the PCI scan, the south-bridge adjustment, the SMBus,
// GPIO and parallel-port base lookups, and the tables that drive them. The
// tables live here so that the host tests can check them for consistency.
#ifndef ORVANE_SELECTION_H
#define ORVANE_SELECTION_H

#include "orvane_core.h"

namespace OrvaneSelection {

// PCI vendor ids of the chipset families.
constexpr USHORT kVendorIntel = 0x8086;
constexpr USHORT kVendorAmd = 0x1022;
constexpr USHORT kVendorNvidia = 0x10DE;
constexpr USHORT kVendorVia = 0x1106;
constexpr USHORT kVendorSis = 0x1039;
constexpr USHORT kVendorAli = 0x10B9;
constexpr USHORT kVendorNone = 0x0000;
// What an empty slot answers in its vendor field.
constexpr USHORT kVendorAbsent = 0xFFFF;

// Class and subclass of the functions selection looks for.
struct OrvanePciClass {
    UCHAR classCode;
    UCHAR subclass;
};
constexpr OrvanePciClass kClassChipsetBridge{0x06, 0x04};  // PCI-to-PCI bridge
constexpr OrvanePciClass kClassIsaBridge{0x06, 0x01};      // ISA/LPC bridge
constexpr OrvanePciClass kClassSmbus{0x0C, 0x05};          // SMBus controller
constexpr OrvanePciClass kClassDisplay{0x03, 0x00};        // VGA display controller

// The scan's extent: 255 buses (not 256), 32 devices, every function number.
constexpr ULONG kScanBuses = 255;
constexpr ULONG kScanDevices = 32;
constexpr ULONG kScanFunctions = 8;

// The PCI vendor id each interface type looks for, indexed by InterfaceType.
// The entries of types that select nothing (0, 2, 3, 10, 12, 14) are never read.
inline constexpr USHORT InterfaceVendorTable[] = {
    kVendorNone,    //  0
    kVendorIntel,   //  1 ORVANE_IF_INTEL
    kVendorNone,    //  2 ORVANE_IF_PARALLEL
    kVendorNone,    //  3
    kVendorAmd,     //  4 ORVANE_IF_GPIO_A (the display controller is looked for under 0x1022)
    kVendorAmd,     //  5 ORVANE_IF_GPIO_B
    kVendorAmd,     //  6 ORVANE_IF_GPIO_C
    kVendorNvidia,  //  7 ORVANE_IF_NVIDIA_1
    kVendorNvidia,  //  8 ORVANE_IF_NVIDIA_2
    kVendorVia,     //  9 ORVANE_IF_VIA
    kVendorNone,    // 10
    kVendorNone,    // 11 ORVANE_IF_RESERVED_11
    kVendorNone,    // 12
    kVendorSis,     // 13 ORVANE_IF_SIS
    kVendorNone,    // 14
    kVendorAli,     // 15 ORVANE_IF_ALI
    kVendorAmd,     // 16 ORVANE_IF_AMD
};
constexpr ULONG kInterfaceVendorCount = sizeof(InterfaceVendorTable) / sizeof(InterfaceVendorTable[0]);

// What selection does for an interface type.
enum class OrvaneSelectGroup : UCHAR { Nothing, Chipset, Parallel, Display };
struct OrvaneSelectRow {
    ULONG type;
    OrvaneSelectGroup group;
};
inline constexpr OrvaneSelectRow kSelectGroups[] = {
    {ORVANE_IF_INTEL, OrvaneSelectGroup::Chipset},
    {ORVANE_IF_PARALLEL, OrvaneSelectGroup::Parallel},
    {ORVANE_IF_GPIO_A, OrvaneSelectGroup::Display},
    {ORVANE_IF_GPIO_B, OrvaneSelectGroup::Display},
    {ORVANE_IF_GPIO_C, OrvaneSelectGroup::Display},
    {ORVANE_IF_NVIDIA_1, OrvaneSelectGroup::Chipset},
    {ORVANE_IF_NVIDIA_2, OrvaneSelectGroup::Chipset},
    {ORVANE_IF_VIA, OrvaneSelectGroup::Chipset},
    {ORVANE_IF_RESERVED_11, OrvaneSelectGroup::Chipset},
    {ORVANE_IF_SIS, OrvaneSelectGroup::Chipset},
    {ORVANE_IF_ALI, OrvaneSelectGroup::Chipset},
    {ORVANE_IF_AMD, OrvaneSelectGroup::Chipset},
};

// Marks a table entry that has no device-id variant.
constexpr USHORT kNoDeviceId = 0x0000;

// The south-bridge register that selection adjusts, by chipset vendor: the
// offset in the ISA bridge (with a variant for one ISA bridge device id),
// bits the vendor always sets, and where the old value is kept.
struct OrvaneAdjustRow {
    USHORT vendor;
    UCHAR offset;
    USHORT variantDeviceId;  // kNoDeviceId: no variant
    UCHAR variantOffset;
    ULONG vendorSet;         // bits set before the device-id change
    ULONG OrvaneDeviceExtension::*saved;  // nullptr: the old value is not kept
};
constexpr ULONG kViaSmbusHostEnable = 0x00010000u;  // bit 16 of the dword at 0xD0
inline constexpr OrvaneAdjustRow kAdjustTable[] = {
    {kVendorIntel, 0xF0, 0x8119, 0x40, 0, &OrvaneDeviceExtension::SavedIntelEnable},
    {kVendorNvidia, 0x8C, kNoDeviceId, 0, 0, &OrvaneDeviceExtension::SavedNvidiaEnable},
    {kVendorVia, 0xD0, kNoDeviceId, 0, kViaSmbusHostEnable, nullptr},
    {kVendorSis, 0x74, 0x0968, 0x9A, 0, nullptr},
    {kVendorAli, 0x80, kNoDeviceId, 0, 0, nullptr},
};

// The change made to the adjusted register by ISA bridge device id, whatever
// the vendor: v := (v AND keep) OR set. Ids not listed are written back unchanged.
struct OrvaneDeviceChangeRow {
    USHORT deviceId;
    ULONG keep;
    ULONG set;
};
inline constexpr OrvaneDeviceChangeRow kDeviceChangeTable[] = {
    {0x0008, ~0x10000000u, 0},                    // clear bit 28
    {0x0050, ~0x00010000u, 0},                    // clear bit 16
    {0x0060, ~0x00010000u, 0},
    {0x0964, 0xFFFFFFFFu, 0x00030000u},           // set bits 16 and 17
    {0x0965, 0xFFFFFFFFu, 0x00030000u},
    {0x0968, 0xFFFFFFFFu, 0x00000003u},           // set bits 0 and 1
    {0x1563, 0xFFFFFFFFu, 0x00000003u},
    {0x2410, ~0x00080000u, 0x01000000u},          // clear bit 19, set bit 24
    {0x2420, ~0x00080000u, 0x01000000u},
    {0x2440, ~0x00080000u, 0x01000000u},
    {0x244C, ~0x00080000u, 0x01000000u},
    {0x24C0, 0x00F60000u, 0x00010000u},
    {0x8119, 0xFFFFFFFFu, 0x80000000u},           // set bit 31
};

// How the SMBus base is found, by chipset vendor. A vendor first runs its
// lead scan; then the first of its base rows whose condition holds does its
// own scan and computes the base.
enum class OrvaneScan : UCHAR {
    None,
    IsaIntoIsa,       // ISA scan into IsaBridge
    Smbus,            // SMBus scan into SmbusDevice
    IsaIntoSmbus,     // ISA scan into SmbusDevice
    SmbusElseIsa,     // SMBus scan; if nothing is found, ISA scan into SmbusDevice
};
struct OrvaneSmbusVendorRule {
    USHORT vendor;
    OrvaneScan leadScan;
    bool clearBaseBit0;     // the found base has bit 0 cleared
    bool readsChipsetIo;    // the chipset I/O base is read afterwards (NVIDIA)
};
inline constexpr OrvaneSmbusVendorRule kSmbusVendorRules[] = {
    {kVendorIntel, OrvaneScan::IsaIntoIsa, true, false},
    {kVendorNvidia, OrvaneScan::Smbus, true, true},
    {kVendorVia, OrvaneScan::None, true, false},
    {kVendorSis, OrvaneScan::IsaIntoIsa, true, false},
    {kVendorAli, OrvaneScan::None, false, false},
    {kVendorAmd, OrvaneScan::Smbus, true, false},
};

enum class OrvaneBaseWhen : UCHAR {
    Always,
    IsaDeviceIs,             // IsaBridge.DeviceId == id
    SmbusDeviceIs,           // SmbusDevice.DeviceId == id
    TypeAndSmbusBelow,       // InterfaceType == type and SmbusDevice.DeviceId < id
    TypeIs,                  // InterfaceType == type
};
enum class OrvaneBaseSource : UCHAR {
    Unchanged,     // SmbusBase keeps its value; the step still counts as found
    ConfigDword,   // ((dword at offset of SmbusDevice AND mask) >> shift) + add
    PmIndex,       // I(pmHigh) << 8, OR (I(pmLow) AND mask) when pmLow is given
};
struct OrvaneBaseRow {
    USHORT vendor;
    OrvaneBaseWhen when;
    USHORT id;
    ULONG type;
    OrvaneScan scan;
    OrvaneBaseSource source;
    UCHAR offset;        // ConfigDword: configuration offset; PmIndex: high-byte index
    ULONG mask;
    UCHAR shift;
    USHORT add;
    bool hasLow;         // PmIndex: a low byte is read too
    UCHAR lowIndex;
};
constexpr USHORT kNvidiaSmbusNewBars = 0x026F;  // SMBus ids from here on use BAR4/BAR5
inline constexpr OrvaneBaseRow kBaseTable[] = {
    // vendor        when                              id      type                scan                       source                       off   mask          sh add   low
    {kVendorIntel,  OrvaneBaseWhen::IsaDeviceIs,       0x8119, 0,                  OrvaneScan::IsaIntoSmbus,  OrvaneBaseSource::ConfigDword, 0x40, 0x7FFFFFFFu, 0, 0,    false, 0},
    {kVendorIntel,  OrvaneBaseWhen::Always,            0,      0,                  OrvaneScan::Smbus,         OrvaneBaseSource::ConfigDword, 0x20, 0xFFFFFFFFu, 0, 0,    false, 0},
    {kVendorNvidia, OrvaneBaseWhen::TypeAndSmbusBelow, kNvidiaSmbusNewBars, ORVANE_IF_NVIDIA_1, OrvaneScan::None, OrvaneBaseSource::ConfigDword, 0x50, 0xFFFFFFFFu, 0, 0, false, 0},
    {kVendorNvidia, OrvaneBaseWhen::TypeIs,            0,      ORVANE_IF_NVIDIA_1, OrvaneScan::None,          OrvaneBaseSource::ConfigDword, 0x20, 0xFFFFFFFFu, 0, 0,    false, 0},
    {kVendorNvidia, OrvaneBaseWhen::TypeAndSmbusBelow, kNvidiaSmbusNewBars, ORVANE_IF_NVIDIA_2, OrvaneScan::None, OrvaneBaseSource::ConfigDword, 0x54, 0xFFFFFFFFu, 0, 0, false, 0},
    {kVendorNvidia, OrvaneBaseWhen::TypeIs,            0,      ORVANE_IF_NVIDIA_2, OrvaneScan::None,          OrvaneBaseSource::ConfigDword, 0x24, 0xFFFFFFFFu, 0, 0,    false, 0},
    {kVendorVia,    OrvaneBaseWhen::Always,            0,      0,                  OrvaneScan::SmbusElseIsa,  OrvaneBaseSource::ConfigDword, 0xD0, 0x0000FFFFu, 0, 0,    false, 0},
    {kVendorSis,    OrvaneBaseWhen::IsaDeviceIs,       0x0008, 0,                  OrvaneScan::Smbus,         OrvaneBaseSource::ConfigDword, 0x20, 0xFFFFFFFEu, 0, 0,    false, 0},
    {kVendorSis,    OrvaneBaseWhen::IsaDeviceIs,       0x0964, 0,                  OrvaneScan::IsaIntoSmbus,  OrvaneBaseSource::ConfigDword, 0x74, 0x0000FF00u, 0, 0xE0, false, 0},
    {kVendorSis,    OrvaneBaseWhen::IsaDeviceIs,       0x0965, 0,                  OrvaneScan::IsaIntoSmbus,  OrvaneBaseSource::ConfigDword, 0x74, 0x0000FF00u, 0, 0xD0, false, 0},
    {kVendorSis,    OrvaneBaseWhen::IsaDeviceIs,       0x0968, 0,                  OrvaneScan::IsaIntoSmbus,  OrvaneBaseSource::ConfigDword, 0x9A, 0x0000FF00u, 0, 0,    false, 0},
    {kVendorSis,    OrvaneBaseWhen::Always,            0,      0,                  OrvaneScan::None,          OrvaneBaseSource::Unchanged,   0,    0,           0, 0,    false, 0},
    {kVendorAli,    OrvaneBaseWhen::Always,            0,      0,                  OrvaneScan::Smbus,         OrvaneBaseSource::ConfigDword, 0x80, 0xFFFFFFFFu, 4, 0,    false, 0},
    {kVendorAmd,    OrvaneBaseWhen::SmbusDeviceIs,     0x4385, 0,                  OrvaneScan::None,          OrvaneBaseSource::PmIndex,     0x2D, 0x000000FEu, 0, 0,    true,  0x2C},
    {kVendorAmd,    OrvaneBaseWhen::SmbusDeviceIs,     0x790B, 0,                  OrvaneScan::None,          OrvaneBaseSource::PmIndex,     0x01, 0,           0, 0,    false, 0},
    {kVendorAmd,    OrvaneBaseWhen::Always,            0,      0,                  OrvaneScan::None,          OrvaneBaseSource::ConfigDword, 0x90, 0xFFFFFFFFu, 0, 0,    false, 0},
};

// The AMD power-management index/data pair.
constexpr USHORT kAmdPmIndexPort = 0xCD6;
constexpr USHORT kAmdPmDataPort = 0xCD7;

// NVIDIA chipset bridges that carry a chipset I/O window, and where its base
// sits in the ISA bridge.
inline constexpr USHORT kNvidiaChipsetIoBridges[] = {0x005C, 0x003D};
constexpr UCHAR kNvidiaChipsetIoBaseOffset = 0x68;

// Display controller base address registers: BAR4, and BAR1 when BAR4 holds
// no I/O base; the GPIO window's base is bits 8 to 15.
constexpr UCHAR kDisplayBar4 = 0x20;
constexpr UCHAR kDisplayBar1 = 0x14;
constexpr ULONG kDisplayIoBaseMask = 0x0000FF00u;

}  // namespace OrvaneSelection

// The routines of selection, besides OrvaneSelectInterface and
// OrvaneRestoreSmbus (orvane_core.h).
void OrvaneFindPciFunction(UCHAR subclass, UCHAR classCode, OrvanePciLocation* record, ULONG interfaceType);
void OrvaneEnableSmbus(OrvaneDeviceExtension* ext);
bool OrvaneFindSmbusBase(OrvaneDeviceExtension* ext);
NTSTATUS OrvaneGetParallelPort(OrvaneDeviceExtension* ext);

#endif
