// The driver's platform seam for Linux on x86, used only by the QEMU test
// level: port instructions after iopl(3), PCI configuration through
// mechanism 1, delays with nanosleep and the time-out window as a
// CLOCK_MONOTONIC timer whose signal plays the DPC.
#include <signal.h>
#include <sys/io.h>
#include <time.h>

#include "orvane_core.h"
#include "orvane_platform.h"

namespace {

constexpr USHORT kConfigAddress = 0xCF8;
constexpr USHORT kConfigData = 0xCFC;
constexpr ULONG kConfigEnable = 0x80000000u;

OrvaneDeviceExtension* timerExtension = nullptr;
timer_t timeoutTimer;
bool timerCreated = false;

ULONG ConfigAddress(ULONG bus, ULONG slot, ULONG offset)
{
    const ULONG device = slot & 0x1F;
    const ULONG function = (slot >> 5) & 7;
    return kConfigEnable | (bus & 0xFF) << 16 | device << 11 | function << 8 | (offset & 0xFC);
}

void OnTimeout(int)
{
    if (timerExtension != nullptr)
        OrvaneTimeoutDpc(&timerExtension->TimeoutDpc, timerExtension, nullptr, nullptr);
}

}  // namespace

UCHAR OrvanePortIn8(USHORT port) { return inb(port); }
void OrvanePortOut8(USHORT port, UCHAR value) { outb(value, port); }
ULONG OrvanePortIn32(USHORT port) { return inl(port); }
void OrvanePortOut32(USHORT port, ULONG value) { outl(value, port); }

ULONG OrvanePciRead(ULONG bus, ULONG slot, void* buffer, ULONG offset, ULONG length)
{
    UCHAR* out = static_cast<UCHAR*>(buffer);
    for (ULONG i = 0; i < length && offset + i < 256; ++i) {
        const ULONG at = offset + i;
        outl(ConfigAddress(bus, slot, at), kConfigAddress);
        out[i] = inb((USHORT)(kConfigData + (at & 3)));
    }
    return length;
}

ULONG OrvanePciWrite(ULONG bus, ULONG slot, const void* buffer, ULONG offset, ULONG length)
{
    const UCHAR* in = static_cast<const UCHAR*>(buffer);
    if (length == 4 && (offset & 3) == 0) {
        // A whole aligned dword goes in one access, as the chipset expects
        // for registers with side effects.
        ULONG value = (ULONG)in[0] | (ULONG)in[1] << 8 | (ULONG)in[2] << 16 | (ULONG)in[3] << 24;
        outl(ConfigAddress(bus, slot, offset), kConfigAddress);
        outl(value, kConfigData);
        return 4;
    }
    for (ULONG i = 0; i < length && offset + i < 256; ++i) {
        const ULONG at = offset + i;
        outl(ConfigAddress(bus, slot, at), kConfigAddress);
        outb(in[i], (USHORT)(kConfigData + (at & 3)));
    }
    return length;
}

NTSTATUS OrvaneParallelPortController(ULONGLONG* controller)
{
    (void)controller;
    return STATUS_NO_SUCH_DEVICE;  // the guest has no parallel-port driver
}

KIRQL OrvaneCurrentIrql() { return PASSIVE_LEVEL; }

void OrvaneDelayExecution(LONGLONG interval)
{
    const LONGLONG ns = interval < 0 ? -interval * 100 : 0;
    timespec t{(time_t)(ns / 1000000000), (long)(ns % 1000000000)};
    while (nanosleep(&t, &t) != 0) {
    }
}

void OrvaneStallProcessor(ULONG microseconds)
{
    timespec start, now;
    clock_gettime(CLOCK_MONOTONIC, &start);
    const long long until = start.tv_sec * 1000000000LL + start.tv_nsec + microseconds * 1000LL;
    do {
        clock_gettime(CLOCK_MONOTONIC, &now);
    } while (now.tv_sec * 1000000000LL + now.tv_nsec < until);
}

void OrvaneSetTimeoutTimer(OrvaneDeviceExtension* ext, LONGLONG dueTime)
{
    if (!timerCreated) {
        struct sigaction action = {};
        action.sa_handler = OnTimeout;
        sigaction(SIGALRM, &action, nullptr);
        sigevent event = {};
        event.sigev_notify = SIGEV_SIGNAL;
        event.sigev_signo = SIGALRM;
        timer_create(CLOCK_MONOTONIC, &event, &timeoutTimer);
        timerCreated = true;
    }
    timerExtension = ext;
    const LONGLONG ns = dueTime < 0 ? -dueTime * 100 : 0;
    itimerspec spec = {};
    spec.it_value.tv_sec = (time_t)(ns / 1000000000);
    spec.it_value.tv_nsec = (long)(ns % 1000000000);
    timer_settime(timeoutTimer, 0, &spec, nullptr);
}

void OrvaneCancelTimeoutTimer(OrvaneDeviceExtension* ext)
{
    (void)ext;
    if (timerCreated) {
        itimerspec spec = {};
        timer_settime(timeoutTimer, 0, &spec, nullptr);
    }
}

bool OrvaneLinuxPortAccess() { return iopl(3) == 0; }
