#include "service.h"

#include <stdio.h>

namespace pkg {

int Fail(const wchar_t* what, DWORD error)
{
    wchar_t text[512] = L"";
    FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, text,
                   sizeof text / sizeof text[0], nullptr);
    // One line: drop the message's own line end.
    for (wchar_t* p = text; *p; ++p)
        if (*p == L'\r' || *p == L'\n')
            *p = L' ';
    fwprintf(stderr, L"%ls: %ls (error %lu) %ls\n", kServiceName, what, error, text);
    return 1;
}

DWORD WaitWhilePending(SC_HANDLE service, DWORD pending)
{
    SERVICE_STATUS status = {};
    for (DWORD waited = 0;; waited += kStatePollMs) {
        if (!QueryServiceStatus(service, &status))
            return 0;
        if (status.dwCurrentState != pending || waited >= kStateWaitMs)
            return status.dwCurrentState;
        Sleep(kStatePollMs);
    }
}

}  // namespace pkg
