// install.exe: installs the Orvane.sys of this program's folder as a
// demand-start kernel service and starts it. An existing service is pointed
// at this image; a running one is left running. Exit 0 on success.
#include <stdio.h>
#include <wchar.h>

#include "service.h"

int wmain()
{
    wchar_t image[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, image, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return pkg::Fail(L"cannot find the program's folder", GetLastError());
    wchar_t* slash = wcsrchr(image, L'\\');
    if (slash == nullptr || (size_t)(slash + 1 - image) + wcslen(pkg::kImageName) >= MAX_PATH)
        return pkg::Fail(L"program path too long", ERROR_BUFFER_OVERFLOW);
    wcscpy(slash + 1, pkg::kImageName);
    if (GetFileAttributesW(image) == INVALID_FILE_ATTRIBUTES)
        return pkg::Fail(L"no driver image beside install.exe", GetLastError());

    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    if (manager == nullptr)
        return pkg::Fail(L"cannot open the service control manager", GetLastError());

    SC_HANDLE service = CreateServiceW(manager, pkg::kServiceName, pkg::kServiceName, SERVICE_ALL_ACCESS,
                                       SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, image,
                                       nullptr, nullptr, nullptr, nullptr, nullptr);
    if (service == nullptr && GetLastError() == ERROR_SERVICE_EXISTS) {
        service = OpenServiceW(manager, pkg::kServiceName, SERVICE_ALL_ACCESS);
        if (service != nullptr &&
            !ChangeServiceConfigW(service, SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, image,
                                  nullptr, nullptr, nullptr, nullptr, nullptr, nullptr)) {
            const DWORD error = GetLastError();
            CloseServiceHandle(service);
            CloseServiceHandle(manager);
            return pkg::Fail(L"cannot update the existing service", error);
        }
    }
    if (service == nullptr) {
        const DWORD error = GetLastError();
        CloseServiceHandle(manager);
        return pkg::Fail(L"cannot create the service", error);
    }

    int result = 0;
    if (!StartServiceW(service, 0, nullptr)) {
        const DWORD error = GetLastError();
        if (error != ERROR_SERVICE_ALREADY_RUNNING)
            result = pkg::Fail(L"cannot start the driver", error);
    } else if (pkg::WaitWhilePending(service, SERVICE_START_PENDING) != SERVICE_RUNNING) {
        result = pkg::Fail(L"the driver did not reach the running state", ERROR_SERVICE_REQUEST_TIMEOUT);
    }
    if (result == 0)
        wprintf(L"%ls installed and running (%ls)\n", pkg::kServiceName, image);
    CloseServiceHandle(service);
    CloseServiceHandle(manager);
    return result;
}
