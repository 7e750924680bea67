// Keeps a Wine session alive while the hosted-driver tests run: Wine stops
// services.exe and the device host when the last user process of the
// session exits. Being the session's first process, it also hands its output
// (the session log) to the wineserver, services.exe and the device host. The
// harness ends it with the wineserver; the bound ends a session that the
// harness left behind.
#include <windows.h>

#include <stdio.h>

namespace {
constexpr DWORD kSessionBoundMs = 30 * 60 * 1000;
}

int main()
{
    // The session is up (wineserver, services.exe) once this runs; the
    // harness waits for the line.
    printf("keep-alive: session ready\n");
    fflush(stdout);
    Sleep(kSessionBoundMs);
    return 0;
}
