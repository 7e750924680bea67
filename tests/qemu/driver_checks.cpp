// Checks of the driver core on the q35 machine: selection of the Intel SMBus
// controller, the base query, and transfers of every operation against the
// SPD EEPROM at 8-bit address 0xA0.
#include <string.h>

#include "orvane_core.h"
#include "orvane_ioctl.h"
#include "qemu_checks.h"

void RunLibraryChecks(OrvaneDeviceExtension* ext);

namespace {

constexpr UCHAR kEeprom = 0xA0;   // 7-bit 0x50, the first SPD EEPROM
constexpr UCHAR kAbsent = 0x60;   // nothing answers here
constexpr USHORT kIch9Smbus = 0x2930;
constexpr ULONG kIch9SmbusBase = 0x0700;

OrvaneDeviceExtension ext;

NTSTATUS Request(ULONG code, void* buffer, ULONG inLen, ULONG outLen, ULONG* bytes)
{
    return OrvaneDeviceControl(&ext, code, buffer, inLen, outLen, bytes);
}

NTSTATUS Transfer(OrvaneTransfer* t)
{
    ULONG bytes = 0;
    return Request(IOCTL_ORVANE_TRANSFER, t, sizeof *t, sizeof *t, &bytes);
}

OrvaneTransfer Record(UCHAR op, UCHAR address, USHORT reg)
{
    OrvaneTransfer t;
    memset(&t, 0, sizeof t);
    t.CommandCode = op;
    t.DeviceAddr = address;
    t.IoPort = reg;
    return t;
}

// The configuration requests through mechanism 1: the SMBus function's ids
// and its I/O base register, in four-byte and unaligned reads.
void ConfigurationAccess()
{
    OrvanePortAccess a;
    memset(&a, 0, sizeof a);
    a.Bus = 0;
    a.Device = 0x1F;
    a.Function = 3;
    ULONG bytes = 0;
    Request(IOCTL_ORVANE_READ_PCI_CONFIG, &a, 19, 19, &bytes);
    QemuCheck(a.ReadValue == ((ULONG)kIch9Smbus << 16 | 0x8086), "pci-ids", "dword 0 of 00:1f.3 = 0x%08X",
              (unsigned)a.ReadValue);
    a.Address = 0x20;
    Request(IOCTL_ORVANE_READ_PCI_CONFIG, &a, 19, 19, &bytes);
    QemuCheck(a.ReadValue == (kIch9SmbusBase | 1), "pci-bar", "dword 0x20 = 0x%08X", (unsigned)a.ReadValue);
    a.Address = 0x02;  // device id and class revision bytes, unaligned
    Request(IOCTL_ORVANE_READ_PCI_CONFIG, &a, 19, 19, &bytes);
    QemuCheck((a.ReadValue & 0xFFFF) == kIch9Smbus, "pci-unaligned", "dword 0x02 = 0x%08X", (unsigned)a.ReadValue);
    a.Device = 0x1C;  // an empty slot
    a.Address = 0;
    Request(IOCTL_ORVANE_READ_PCI_CONFIG, &a, 19, 19, &bytes);
    QemuCheck(a.ReadValue == 0xFFFFFFFFu, "pci-empty", "dword 0 of 00:1c.3 = 0x%08X", (unsigned)a.ReadValue);
}

bool Select()
{
    ULONG type = ORVANE_IF_INTEL, bytes = 0;
    NTSTATUS status = Request(IOCTL_ORVANE_SELECT_INTERFACE, &type, 4, 0, &bytes);
    QemuCheck(status == STATUS_SUCCESS, "select-intel", "status 0x%08X", (unsigned)status);

    ULONG base = 0;
    status = Request(IOCTL_ORVANE_GET_SMBUS_BASE, &base, 0, 4, &bytes);
    QemuCheck(status == STATUS_SUCCESS && bytes == 4 && base == kIch9SmbusBase, "smbus-base",
              "base 0x%04X (%u bytes)", (unsigned)base, (unsigned)bytes);

    OrvanePciLocation smbus;
    status = Request(IOCTL_ORVANE_GET_SMBUS_DEVICE, &smbus, 0, 7, &bytes);
    QemuCheck(status == STATUS_SUCCESS && smbus.VendorId == 0x8086 && smbus.DeviceId == kIch9Smbus &&
                  smbus.Bus == 0 && smbus.Device == 0x1F && smbus.Function == 3,
              "smbus-device", "%04X:%04X at %02X:%02X.%u", smbus.VendorId, smbus.DeviceId, smbus.Bus,
              smbus.Device, smbus.Function);

    OrvanePciLocation bridge;
    Request(IOCTL_ORVANE_GET_CHIPSET_BRIDGE, &bridge, 0, 7, &bytes);
    QemuCheck(bridge.VendorId == 0x8086, "chipset-bridge", "%04X:%04X at %02X:%02X.%u", bridge.VendorId,
              bridge.DeviceId, bridge.Bus, bridge.Device, bridge.Function);
    OrvanePciLocation isa;
    Request(IOCTL_ORVANE_GET_ISA_BRIDGE, &isa, 0, 7, &bytes);
    QemuCheck(isa.VendorId == 0x8086 && isa.DeviceId == 0x2918, "isa-bridge", "%04X:%04X at %02X:%02X.%u",
              isa.VendorId, isa.DeviceId, isa.Bus, isa.Device, isa.Function);
    return base == kIch9SmbusBase;
}

void ByteAndWordOperations()
{
    // Write a pattern with byte writes (op 5 reads each byte back).
    bool writesOk = true;
    for (USHORT reg = 0x10; reg < 0x20; ++reg) {
        OrvaneTransfer t = Record(ORVANE_OP_WRITE_BYTE, kEeprom, reg);
        t.OutputValue = (USHORT)(0xA0 + reg);
        const NTSTATUS status = Transfer(&t);
        if (status != STATUS_SUCCESS || t.InputValue != 0xA0 + reg || t.CommandCode != ORVANE_OP_READ_BYTE) {
            QemuCheck(false, "write-byte", "reg 0x%02X status 0x%08X read back 0x%04X op %u", reg,
                      (unsigned)status, t.InputValue, t.CommandCode);
            writesOk = false;
            break;
        }
    }
    if (writesOk)
        QemuCheck(true, "write-byte", "16 byte writes read back");

    OrvaneTransfer r = Record(ORVANE_OP_READ_BYTE, kEeprom, 0x13);
    NTSTATUS status = Transfer(&r);
    QemuCheck(status == STATUS_SUCCESS && r.InputValue == 0xB3, "read-byte", "status 0x%08X value 0x%04X",
              (unsigned)status, r.InputValue);

    // A word read is the byte at the register and the next one.
    OrvaneTransfer w = Record(ORVANE_OP_READ_WORD, kEeprom, 0x14);
    status = Transfer(&w);
    QemuCheck(status == STATUS_SUCCESS && w.InputValue == (0xB4 | 0xB5 << 8) && w.CommandCode == ORVANE_OP_READ_WORD,
              "read-word", "status 0x%08X value 0x%04X", (unsigned)status, w.InputValue);

    OrvaneTransfer ww = Record(ORVANE_OP_WRITE_WORD, kEeprom, 0x30);
    ww.OutputValue = 0x5AC3;
    status = Transfer(&ww);
    OrvaneTransfer lo = Record(ORVANE_OP_READ_BYTE, kEeprom, 0x30), hi = Record(ORVANE_OP_READ_BYTE, kEeprom, 0x31);
    Transfer(&lo);
    Transfer(&hi);
    QemuCheck(status == STATUS_SUCCESS && ww.InputValue == 0x5AC3 && lo.InputValue == 0xC3 && hi.InputValue == 0x5A,
              "write-word", "status 0x%08X read back 0x%04X bytes %02X %02X", (unsigned)status, ww.InputValue,
              lo.InputValue, hi.InputValue);
}

void DumpAndBlockOperations()
{
    OrvaneTransfer dump = Record(ORVANE_OP_DUMP_BYTES, kEeprom, 0);
    NTSTATUS status = Transfer(&dump);
    bool pattern = true;
    for (int reg = 0x10; reg < 0x20; ++reg)
        pattern = pattern && dump.RegisterImage[reg] == 0xA0 + reg;
    QemuCheck(status == STATUS_SUCCESS && pattern && dump.RegisterImage[0x30] == 0xC3 &&
                  dump.CommandCode == ORVANE_OP_READ_BYTE && dump.IoPort == 255,
              "dump-bytes", "status 0x%08X op %u port %u", (unsigned)status, dump.CommandCode, dump.IoPort);

    // A register holding a count, as a device of the SMBus block protocol
    // answers: the controller takes the first byte as the count.
    const UCHAR counted[5] = {4, 0x61, 0x62, 0x63, 0x64};
    for (int i = 0; i < 5; ++i) {
        OrvaneTransfer w = Record(ORVANE_OP_WRITE_BYTE, kEeprom, (USHORT)(0x70 + i));
        w.OutputValue = counted[i];
        Transfer(&w);
    }
    OrvaneTransfer cb = Record(ORVANE_OP_READ_BLOCK, kEeprom, 0);
    cb.BlockOffset = 0x70;
    cb.BlockLength = 5;
    status = Transfer(&cb);
    // The controller runs the SMBus block protocol: the target's first byte
    // is the count, and the engine stores the data bytes that follow it.
    QemuCheck(status == STATUS_SUCCESS && memcmp(&cb.BlockBuffer[0x70], &counted[1], 4) == 0 &&
                  memcmp(&cb.RegisterImage[0x70], &counted[1], 4) == 0,
              "read-block", "status 0x%08X got %02X %02X %02X %02X %02X",
              (unsigned)status, cb.BlockBuffer[0x70], cb.BlockBuffer[0x71], cb.BlockBuffer[0x72], cb.BlockBuffer[0x73],
              cb.BlockBuffer[0x74]);

    OrvaneTransfer blocks = Record(ORVANE_OP_DUMP_BLOCKS, kEeprom, 0);
    status = Transfer(&blocks);
    // A plain EEPROM sends no count byte, so its block reads carry no data
    // here; the operation still runs its 19 blocks and rewrites its fields.
    QemuCheck(status == STATUS_SUCCESS && blocks.CommandCode == ORVANE_OP_READ_BLOCK && blocks.BlockLength == 15 &&
                  blocks.BlockOffset == 252,
              "dump-blocks", "status 0x%08X op %u length %d offset %d", (unsigned)status, blocks.CommandCode,
              (int)blocks.BlockLength, (int)blocks.BlockOffset);

    OrvaneTransfer bw = Record(ORVANE_OP_WRITE_BLOCK, kEeprom, 0);
    bw.BlockOffset = 0x40;
    bw.BlockWriteCount = 4;
    const UCHAR data[4] = {0x11, 0x22, 0x33, 0x44};
    memcpy(&bw.BlockBuffer[0x40], data, 4);
    status = Transfer(&bw);
    OrvaneTransfer check = Record(ORVANE_OP_DUMP_BYTES, kEeprom, 0);
    Transfer(&check);
    // The block protocol puts the count on the wire first; the first data
    // byte follows it.
    QemuCheck(status == STATUS_SUCCESS && check.RegisterImage[0x40] == 4 && check.RegisterImage[0x41] == 0x11,
              "write-block", "status 0x%08X, registers 0x40.. now %02X %02X %02X %02X",
              (unsigned)status, check.RegisterImage[0x40], check.RegisterImage[0x41], check.RegisterImage[0x42],
              check.RegisterImage[0x43]);
}

void AbsentDevice()
{
    // The engine reads no error bits: the completion bit never comes, and the
    // wait ends with the two-second window.
    OrvaneTransfer t = Record(ORVANE_OP_READ_BYTE, kAbsent, 0);
    t.InputValue = 0x4242;
    NTSTATUS status = Transfer(&t);
    QemuCheck(status == STATUS_TIMEOUT && t.InputValue == 0x4242, "absent-read", "status 0x%08X value 0x%04X",
              (unsigned)status, t.InputValue);
    // The controller must be usable again afterwards.
    OrvaneTransfer r = Record(ORVANE_OP_READ_BYTE, kEeprom, 0x13);
    status = Transfer(&r);
    QemuCheck(status == STATUS_SUCCESS && r.InputValue == 0xB3, "after-absent", "status 0x%08X value 0x%04X",
              (unsigned)status, r.InputValue);
}

}  // namespace

void RunQemuChecks()
{
    ConfigurationAccess();
    if (!Select())
        return;
    ByteAndWordOperations();
    DumpAndBlockOperations();
    AbsentDevice();
    RunLibraryChecks(&ext);
}
