#ifndef TESTS_QEMU_CHECKS_H
#define TESTS_QEMU_CHECKS_H

// Records one check: prints "CHECK PASS|FAIL <name>: <detail>".
void QemuCheck(bool ok, const char* name, const char* format, ...) __attribute__((format(printf, 3, 4)));
// The checks against the q35 machine's SMBus controller.
void RunQemuChecks();

#endif
