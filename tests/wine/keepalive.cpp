// Keeps a Wine session alive while the hosted-driver tests run: Wine stops
// services.exe and the device host when the last user process of the
// session exits. The harness ends it with the wineserver; the bound ends a
// session that the harness left behind.
#include <windows.h>

namespace {
constexpr DWORD kSessionBoundMs = 30 * 60 * 1000;
}

int main()
{
    Sleep(kSessionBoundMs);
    return 0;
}
