// Fuzz target: arbitrary device-control requests, transfer records above all,
// through OrvaneDeviceControl on a ready-made simulated board with its adapter
// model and a flaky register target. Any crash, out-of-bounds access or
// undefined behaviour is a finding, and so is a request that runs past the
// longest virtual time its waits allow, or a transfer that writes the record's
// reserved field.
//
// Input: board, interface type, the target's dropped transactions, then up to
// kMaxRequests requests (selector, lengths, payload).
#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include <new>

#include "boards.h"
#include "chipset_hosts.h"
#include "i2c.h"
#include "machine.h"
#include "orvane_core.h"

namespace {

constexpr uint8_t kTargetAddr = 0xA0;
constexpr int kMaxRequests = 4;
constexpr int kMaxDrops = 3;             // a dropped transaction on Intel costs a two-second wait
constexpr uint32_t kMaxBuffer = 1024;
constexpr uint32_t kTransferBytes = sizeof(OrvaneTransfer);
constexpr sim::Nanos kSecond = 1000000000ull;
constexpr sim::Nanos kSpinCap = 1000000ull;  // 1 ms
// The longest request: a byte dump on Intel whose 256 reads each run out
// three two-second waits, with room for the fixed delays and the port time.
constexpr sim::Nanos kRequestBound = 256ull * 3 * 2 * kSecond + 60 * kSecond;

const uint32_t kCodes[] = {
    IOCTL_ORVANE_SELECT_INTERFACE,   IOCTL_ORVANE_TRANSFER,           IOCTL_ORVANE_RESTORE_CHIPSET,
    IOCTL_ORVANE_GET_CHIPSET_BRIDGE, IOCTL_ORVANE_GET_ISA_BRIDGE,     IOCTL_ORVANE_GET_SMBUS_DEVICE,
    IOCTL_ORVANE_GET_PARALLEL_BASE,  IOCTL_ORVANE_GET_SMBUS_BASE,     IOCTL_ORVANE_GET_DISPLAY_DEVICE,
    IOCTL_ORVANE_GET_GPIO_BASE,      IOCTL_ORVANE_READ_PORT_BYTE,     IOCTL_ORVANE_WRITE_PORT_BYTE,
    IOCTL_ORVANE_READ_PCI_CONFIG,    IOCTL_ORVANE_WRITE_PCI_CONFIG,   IOCTL_ORVANE_READ_CHIPSET_DWORD,
    IOCTL_ORVANE_WRITE_CHIPSET_DWORD,
};
constexpr int kCodeCount = sizeof(kCodes) / sizeof(kCodes[0]);

// A register target that leaves chosen transactions unacknowledged, as a
// device on a noisy bus would, at most kMaxDrops of them.
class FlakyTarget final : public sim::RegisterTarget {
public:
    bool Start(uint8_t a) override
    {
        const uint32_t n = starts++;
        if (n < 64 && (dropMask >> n & 1) != 0 && drops < kMaxDrops) {
            ++drops;
            return false;
        }
        return RegisterTarget::Start(a);
    }
    uint64_t dropMask = 0;
    uint32_t starts = 0;
    int drops = 0;
};

struct Reader {
    const uint8_t* data;
    size_t size;
    size_t at = 0;
    uint8_t Byte() { return at < size ? data[at++] : 0; }
    uint32_t Dword()
    {
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i)
            v |= (uint32_t)Byte() << (8 * i);
        return v;
    }
    bool Done() const { return at >= size; }
};

// The interface type the board's adapter answers to.
ULONG NaturalType(const sim::BoardSpec* spec, uint8_t pick)
{
    using H = sim::BoardHost;
    switch (spec->host) {
    case H::Intel:
    case H::Intel8119: return ORVANE_IF_INTEL;
    case H::Nvidia: return pick & 1 ? ORVANE_IF_NVIDIA_2 : ORVANE_IF_NVIDIA_1;
    case H::Via: return ORVANE_IF_VIA;
    case H::Sis: return ORVANE_IF_SIS;
    case H::Ali: return ORVANE_IF_ALI;
    case H::Amd: return ORVANE_IF_AMD;
    case H::Gpio: return ORVANE_IF_GPIO_A + pick % 3;
    case H::Parallel: return ORVANE_IF_PARALLEL;
    case H::None: break;
    }
    return pick % 20;
}

uint32_t GpioRegisterFor(ULONG type, uint8_t pick)
{
    switch (type) {
    case ORVANE_IF_GPIO_A: return 0x60;
    case ORVANE_IF_GPIO_B: return 0x64;
    default: return pick & 2 ? 0x6C : 0x68;
    }
}

// The board is built afresh for every input, into the same storage: a new
// allocation of its size would map and clear fresh pages each time.
struct alignas(sim::Board) BoardStorage {
    unsigned char bytes[sizeof(sim::Board)];
};
BoardStorage boardStorage;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Reader in{data, size};
    const sim::BoardSpec* spec = sim::BoardAt(in.Byte() % sim::kBoardCount);
    const uint8_t typeByte = in.Byte();
    const uint64_t dropMask = (uint64_t)in.Dword() | (uint64_t)in.Dword() << 32;

    auto* storage = &boardStorage;
    auto* hosts = new sim::ChipsetHosts;
    auto* target = new FlakyTarget;
    auto* ext = new OrvaneDeviceExtension;
    memset(ext, 0, sizeof *ext);
    sim::Board* board = sim::BuildBoard(storage, sizeof *storage, spec->id);
    if (board == nullptr)
        __builtin_trap();
    sim::SetCurrent(&board->machine);
    // A timed wait that spins on an unchanging register sees a slower bus,
    // so that a two-second window costs thousands of reads, not millions.
    board->machine.spinCap = kSpinCap;

    // The top twenty type bytes select any of the twenty types, one input in
    // thirteen: a type the board does not answer scans all of PCI (65,280
    // slots), which costs as much as a dozen inputs.
    constexpr uint8_t kAnyTypeFirst = 256 - 20;
    ULONG type = typeByte >= kAnyTypeFirst ? (ULONG)(typeByte - kAnyTypeFirst) : NaturalType(spec, typeByte);
    target->address8 = kTargetAddr;
    target->dropMask = dropMask;
    for (int i = 0; i < 256; ++i)
        target->registers[i] = (uint8_t)(i * 13 + 7);
    board->smbus.Attach(target);
    switch (spec->host) {
    case sim::BoardHost::Gpio: board->EquipGpio(GpioRegisterFor(type, typeByte)); break;
    case sim::BoardHost::Parallel: board->EquipParallel(); break;
    case sim::BoardHost::None: break;
    default: hosts->Equip(*board); break;
    }

    // Select the interface first, as every client does; later requests may select again.
    ULONG bytes = 0;
    OrvaneDeviceControl(ext, IOCTL_ORVANE_SELECT_INTERFACE, &type, sizeof type, 0, &bytes);

    for (int r = 0; r < kMaxRequests && !in.Done(); ++r) {
        const uint8_t selector = in.Byte();
        // Mostly transfers with the exact lengths; otherwise any code and lengths.
        uint32_t code = IOCTL_ORVANE_TRANSFER;
        uint32_t inLen = kTransferBytes, outLen = kTransferBytes;
        if (selector >= 0xC0) {
            code = selector >= 0xF8 ? in.Dword() : kCodes[selector % kCodeCount];
            inLen = ((uint32_t)in.Byte() | (uint32_t)in.Byte() << 8) % (kMaxBuffer + 1);
            outLen = ((uint32_t)in.Byte() | (uint32_t)in.Byte() << 8) % (kMaxBuffer + 1);
        }
        const uint32_t bufferLen = inLen > outLen ? inLen : outLen;
        auto* buffer = new uint8_t[bufferLen ? bufferLen : 1];
        for (uint32_t i = 0; i < inLen; ++i)
            buffer[i] = in.Byte();
        if (code == IOCTL_ORVANE_TRANSFER && inLen == kTransferBytes) {
            // One single transfer in sixteen to another address, mostly
            // nobody; dumps always go to the target. Each read of an absent
            // address runs a wait out (65,535 polls on most engines), and a
            // dump holds 256 of them.
            const uint8_t op = buffer[offsetof(OrvaneTransfer, CommandCode)];
            const bool dump = op == ORVANE_OP_DUMP_BYTES || op == ORVANE_OP_DUMP_BLOCKS;
            buffer[offsetof(OrvaneTransfer, DeviceAddr)] = dump || (selector & 15) != 0 ? kTargetAddr : buffer[0];
        }
        uint32_t reserved = 0;
        if (inLen >= kTransferBytes)
            memcpy(&reserved, buffer + offsetof(OrvaneTransfer, Reserved), 4);

        const sim::Nanos start = board->machine.Now();
        bytes = 0;
        const NTSTATUS status = OrvaneDeviceControl(ext, code, buffer, inLen, outLen, &bytes);
        if (board->machine.Now() - start > kRequestBound)
            __builtin_trap();  // a wait ran past its bound
        if (bytes > outLen)
            __builtin_trap();  // more bytes reported than the buffer holds
        if (code == IOCTL_ORVANE_TRANSFER && NT_SUCCESS(status)) {
            uint32_t back = 0;
            memcpy(&back, buffer + offsetof(OrvaneTransfer, Reserved), 4);
            if (back != reserved)
                __builtin_trap();  // the driver wrote outside the record's areas
        }
        delete[] buffer;
    }

    sim::SetCurrent(nullptr);
    board->~Board();
    delete ext;
    delete target;
    delete hosts;
    return 0;
}
