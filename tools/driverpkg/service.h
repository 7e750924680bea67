// The driver's kernel service, shared by install.exe and uninstall.exe.
#ifndef TOOLS_DRIVERPKG_SERVICE_H
#define TOOLS_DRIVERPKG_SERVICE_H

#include <windows.h>

namespace pkg {

constexpr const wchar_t* kServiceName = L"Orvane";
constexpr const wchar_t* kImageName = L"Orvane.sys";
constexpr DWORD kStateWaitMs = 15000;  // longest wait for a start or stop to settle
constexpr DWORD kStatePollMs = 100;

// Prints "<tool>: <what>: <system message>" on stderr and returns 1.
int Fail(const wchar_t* what, DWORD error);
// Waits until the service leaves the pending state; returns its state (0 on failure).
DWORD WaitWhilePending(SC_HANDLE service, DWORD pending);

}  // namespace pkg

#endif
