// The library's user-mode SMBus transactions over the same port backend: its
// driver channel calls the driver core in-process, as the host tests do.
#include <string.h>
#include <time.h>

#include "hotkey_exports.h"
#include "hotkey_seams.h"
#include "orvane_core.h"
#include "qemu_checks.h"

namespace {

constexpr UCHAR kEeprom = 0xA0;
constexpr UCHAR kAbsent = 0x60;

OrvaneDeviceExtension* device = nullptr;
unsigned requests = 0;

OrvaneTransfer Record(UCHAR op, UCHAR address, USHORT reg, USHORT value = 0)
{
    OrvaneTransfer t;
    memset(&t, 0, sizeof t);
    t.CommandCode = op;
    t.DeviceAddr = address;
    t.IoPort = reg;
    t.OutputValue = value;
    return t;
}

}  // namespace

namespace hotkey {

// Buffered I/O: one system buffer holds the input and receives the output.
bool DeviceRequest(uint32_t code, void* input, uint32_t inLen, void* output, uint32_t outLen)
{
    static unsigned char buffer[1024];
    if (inLen > sizeof buffer || outLen > sizeof buffer)
        return false;
    ++requests;
    memset(buffer, 0, sizeof buffer);
    if (input != nullptr)
        memcpy(buffer, input, inLen);
    ULONG bytes = 0;
    const NTSTATUS status = OrvaneDeviceControl(device, code, buffer, inLen, outLen, &bytes);
    if (output != nullptr && bytes <= outLen)
        memcpy(output, buffer, bytes);
    return NT_SUCCESS(status);
}

void DebugOutput(const char* line) { (void)line; }

void SleepMs(uint32_t milliseconds)
{
    timespec t{(time_t)(milliseconds / 1000), (long)(milliseconds % 1000) * 1000000L};
    nanosleep(&t, nullptr);
}

}  // namespace hotkey

void RunLibraryChecks(OrvaneDeviceExtension* ext)
{
    device = ext;
    const int selected = SelectInterfaceType(ORVANE_IF_INTEL, kEeprom);
    QemuCheck(selected != 0, "lib-select", "SelectInterfaceType gave %d", selected);

    OrvaneTransfer w = Record(ORVANE_OP_WRITE_BYTE, kEeprom, 0x50, 0x1234);
    int r = CHIPSET_outport_intel1(&w);
    OrvaneTransfer b = Record(ORVANE_OP_READ_BYTE, kEeprom, 0x50);
    const int rb = CHIPSET_inport_intel1(&b);
    QemuCheck(r == 0 && rb == 0 && b.InputValue == 0x34, "lib-byte", "write %d, read %d value 0x%04X", r, rb,
              b.InputValue);

    OrvaneTransfer ww = Record(ORVANE_OP_WRITE_WORD, kEeprom, 0x52, 0xBEEF);
    r = CHIPSET_outport_intel1(&ww);
    OrvaneTransfer wr = Record(ORVANE_OP_READ_WORD, kEeprom, 0x52);
    const int rw = CHIPSET_inport_intel1(&wr);
    OrvaneTransfer lo = Record(ORVANE_OP_READ_BYTE, kEeprom, 0x52), hi = Record(ORVANE_OP_READ_BYTE, kEeprom, 0x53);
    CHIPSET_inport_intel1(&lo);
    CHIPSET_inport_intel1(&hi);
    QemuCheck(r == 0 && rw == 0 && wr.InputValue == 0xBEEF && lo.InputValue == 0xEF && hi.InputValue == 0xBE,
              "lib-word", "write %d, read %d value 0x%04X, bytes %02X %02X", r, rw, wr.InputValue, lo.InputValue,
              hi.InputValue);

    // The driver's own engine sees what the library wrote.
    OrvaneTransfer t = Record(ORVANE_OP_READ_WORD, kEeprom, 0x52);
    ULONG bytes = 0;
    const NTSTATUS status = OrvaneDeviceControl(ext, IOCTL_ORVANE_TRANSFER, &t, sizeof t, sizeof t, &bytes);
    QemuCheck(status == STATUS_SUCCESS && t.InputValue == 0xBEEF, "lib-then-engine", "status 0x%08X value 0x%04X",
              (unsigned)status, t.InputValue);

    OrvaneTransfer ar = Record(ORVANE_OP_READ_BYTE, kAbsent, 0);
    ar.InputValue = 0x5555;
    const unsigned before = requests;
    const int absentRead = CHIPSET_inport_intel1(&ar);
    OrvaneTransfer aw = Record(ORVANE_OP_WRITE_BYTE, kAbsent, 0, 1);
    const int absentWrite = CHIPSET_outport_intel1(&aw);
    QemuCheck(absentRead == 2 && absentWrite == 2 && ar.InputValue == 0x5555, "lib-absent",
              "read %d, write %d, value kept 0x%04X, %u requests", absentRead, absentWrite, ar.InputValue,
              requests - before);
}
