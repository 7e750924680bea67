// The simulated PC: PCI functions with configuration space and write masks,
// an I/O port space that devices claim in ranges, an optional access log, a
// virtual clock and the driver's time-out timer.
//
// Fixed-size storage only, no heap, no exceptions and no constructors that
// must run before main: the same code links into the host tests and into the
// Wine-hosted test driver.
#ifndef SIM_MACHINE_H
#define SIM_MACHINE_H

#include <stdint.h>

#include "orvane_types.h"

struct OrvaneDeviceExtension;

namespace sim {

// The machine's own bookkeeping on every port access (the clock, the owner
// search, the spin and log state) touches nothing but the machine's members;
// under AddressSanitizer its checks there cost more than the simulated access
// and guard none of the driver's memory, so those routines go without them.
#if defined(__clang__) || defined(__GNUC__)
#define SIM_UNCHECKED_BOOKKEEPING __attribute__((no_sanitize_address))
#else
#define SIM_UNCHECKED_BOOKKEEPING
#endif

// Simulated time, in nanoseconds.
using Nanos = uint64_t;
constexpr Nanos kPortAccessCost = 1000;  // one I/O instruction on the ISA/LPC side, about 1 us

// A device on the port space. The defaults float the bus (reads 0xFF).
class PortDevice {
public:
    virtual uint8_t In8(uint16_t port) { (void)port; return 0xFF; }
    virtual void Out8(uint16_t port, uint8_t value) { (void)port; (void)value; }
    virtual uint32_t In32(uint16_t port);
    virtual void Out32(uint16_t port, uint32_t value);
    // Called when the virtual clock moves on, so that devices can finish
    // work that takes bus time.
    virtual void Tick(Nanos now) { (void)now; }

protected:
    constexpr PortDevice() = default;
    ~PortDevice() = default;
};

struct PciFunction {
    uint8_t bus = 0, device = 0, function = 0;
    bool present = false;
    uint8_t config[256] = {};
    uint8_t writeMask[256] = {};  // 1 bits may be written by software
    uint32_t readCount = 0;       // configuration reads that reached this function

    uint16_t VendorId() const { return (uint16_t)(config[0] | config[1] << 8); }
    uint16_t DeviceId() const { return (uint16_t)(config[2] | config[3] << 8); }
    void Set8(unsigned offset, uint8_t value) { config[offset & 0xFF] = value; }
    void Set16(unsigned offset, uint16_t value);
    void Set32(unsigned offset, uint32_t value);
    uint32_t Get32(unsigned offset) const;
    // Lets software write the given bits of the dword at offset.
    void Writable32(unsigned offset, uint32_t mask);
};

enum class AccessKind : uint8_t { In8, Out8, In32, Out32, PciRead, PciWrite };
struct Access {
    AccessKind kind;
    uint16_t port;     // port, or configuration offset
    uint32_t value;
    uint16_t slot;     // PCI only: bus << 8 | slot
    uint8_t length;    // PCI only
};

class Machine {
public:
    static constexpr int kMaxPciFunctions = 48;
    static constexpr int kMaxClaims = 24;
    static constexpr int kLogCapacity = 8192;

    // PCI. Functions are matched by bus/device/function; empty slots read all ones.
    PciFunction* AddPciFunction(uint8_t bus, uint8_t device, uint8_t function,
                                uint16_t vendorId, uint16_t deviceId,
                                uint8_t classCode, uint8_t subclass);
    PciFunction* FindPci(uint8_t bus, uint8_t device, uint8_t function);
    ULONG PciRead(ULONG bus, ULONG slot, void* buffer, ULONG offset, ULONG length);
    ULONG PciWrite(ULONG bus, ULONG slot, const void* buffer, ULONG offset, ULONG length);
    uint32_t pciReadCount = 0;   // configuration reads of any slot, empty ones included
    uint32_t pciWriteCount = 0;  // configuration writes of any slot, empty ones included

    // Port space.
    bool Claim(uint16_t first, uint16_t count, PortDevice* device);
    uint8_t In8(uint16_t port);
    void Out8(uint16_t port, uint8_t value);
    uint32_t In32(uint16_t port);
    void Out32(uint16_t port, uint32_t value);
    uint32_t portAccessCount = 0;

    // Access log; a full log stops recording and sets logOverflow.
    void StartLog() { logging = true; logCount = 0; logOverflow = false; }
    void StopLog() { logging = false; }
    int LogCount() const { return logCount; }
    const Access& LogEntry(int i) const { return log[i]; }
    bool logOverflow = false;

    // Virtual clock and the time-out timer. Each port access costs
    // kPortAccessCost; with realClock set (a clock in nanoseconds that starts
    // near zero), an access also brings the virtual clock up to the real one,
    // so bus time passes while requests arrive slowly from another process.
    Nanos Now() const { return now; }
    Nanos (*realClock)() = nullptr;
    // A slow bus under a spinning timed wait: with spinCap set, a read of the
    // port read just before, which then returned the same value as the read
    // before it, costs twice that read while the time-out timer runs, up to
    // spinCap. A wait that only its window ends then takes thousands of reads
    // instead of millions, and a change is seen at most one read late. Any
    // other access, or a changed value, brings the cost back to one access.
    // Zero (the default) keeps every access at kPortAccessCost.
    Nanos spinCap = 0;
    SIM_UNCHECKED_BOOKKEEPING void Advance(Nanos delta);
    void SetTimer(OrvaneDeviceExtension* ext, LONGLONG dueTime);
    void CancelTimer();
    bool TimerArmed() const { return timerExt != nullptr; }
    uint32_t timerSetCount = 0;
    KIRQL irql = PASSIVE_LEVEL;
    Nanos sleptNs = 0;      // time spent in the sleeping delay
    Nanos stalledNs = 0;    // time spent in processor stalls
    uint32_t stallCalls = 0;

    // What the system's parallel-port driver answers.
    NTSTATUS parallelStatus = STATUS_OBJECT_NAME_NOT_FOUND;
    ULONGLONG parallelController = 0;
    uint32_t parallelQueries = 0;

private:
    struct Claimed {
        uint16_t first, count;
        PortDevice* device;
    };
    SIM_UNCHECKED_BOOKKEEPING PortDevice* Owner(uint16_t port);
    SIM_UNCHECKED_BOOKKEEPING void AccessTime(Nanos step);
    SIM_UNCHECKED_BOOKKEEPING Nanos ReadCost(uint16_t port);
    SIM_UNCHECKED_BOOKKEEPING void NoteRead(uint16_t port, uint32_t value);
    SIM_UNCHECKED_BOOKKEEPING void BreakSpin();
    void Record(AccessKind kind, uint16_t port, uint32_t value, uint16_t slot = 0, uint8_t length = 0)
    {
        if (logging)
            Append(kind, port, value, slot, length);
    }
    void Append(AccessKind kind, uint16_t port, uint32_t value, uint16_t slot, uint8_t length);

    PciFunction pci[kMaxPciFunctions] = {};
    int pciCount = 0;
    uint32_t busesWithFunctions[256 / 32] = {};  // a scan of empty buses skips the search
    Claimed claims[kMaxClaims] = {};
    int claimCount = 0;
    bool logging = false;
    int logCount = 0;
    Access log[kLogCapacity] = {};
    Nanos now = 0;
    Nanos timerDue = 0;
    // The spinning read: port and last value (when the last access was a read),
    // whether it repeated the read before, and what the next repeat costs.
    uint16_t spinPort = 0;
    uint32_t spinValue = 0;
    bool spinHaveRead = false;
    bool spinRepeated = false;
    Nanos spinStep = kPortAccessCost;
    OrvaneDeviceExtension* timerExt = nullptr;
};

// The machine the platform seam talks to. Tests set it around each case.
Machine* Current();
void SetCurrent(Machine* machine);

}  // namespace sim

#endif
