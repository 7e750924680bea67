// /init of the QEMU test guest: runs the driver core's Intel selection and
// engine, and the library's user-mode transactions, against the q35
// machine's ICH9 SMBus controller and its SPD EEPROMs, prints one line per
// check and a summary, and powers the guest off.
#include <fcntl.h>
#include <stdarg.h>
#include <stdio.h>
#include <string.h>
#include <sys/mount.h>
#include <sys/reboot.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include "orvane_core.h"
#include "qemu_checks.h"

bool OrvaneLinuxPortAccess();

namespace {

int checks = 0;
int failures = 0;

void PowerOff()
{
    fflush(stdout);
    tcdrain(STDOUT_FILENO);
    sync();
    reboot(RB_POWER_OFF);
    for (;;)
        pause();  // /init must never return
}

void AttachConsole()
{
    mkdir("/dev", 0755);
    mount("devtmpfs", "/dev", "devtmpfs", 0, nullptr);
    const int fd = open("/dev/ttyS0", O_RDWR | O_NOCTTY);
    if (fd >= 0) {
        dup2(fd, STDOUT_FILENO);
        dup2(fd, STDERR_FILENO);
        if (fd > STDERR_FILENO)
            close(fd);
    }
    setvbuf(stdout, nullptr, _IOLBF, 0);
}

}  // namespace

void QemuCheck(bool ok, const char* name, const char* format, ...)
{
    char detail[256];
    va_list args;
    va_start(args, format);
    vsnprintf(detail, sizeof detail, format, args);
    va_end(args);
    ++checks;
    if (!ok)
        ++failures;
    printf("CHECK %s %s: %s\n", ok ? "PASS" : "FAIL", name, detail);
}

int main()
{
    AttachConsole();
    printf("QEMU-LEVEL START\n");
    const bool ports = OrvaneLinuxPortAccess();
    QemuCheck(ports, "iopl", "port access %s", ports ? "granted" : "refused");
    if (ports)
        RunQemuChecks();
    printf("QEMU-LEVEL SUMMARY checks=%d failures=%d\n", checks, failures);
    PowerOff();
}
