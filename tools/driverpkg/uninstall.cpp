// uninstall.exe: stops the Orvane kernel service and deletes it. A service
// that is not installed leaves nothing to do. Exit 0 on success.
#include <stdio.h>

#include "service.h"

int wmain()
{
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    if (manager == nullptr)
        return pkg::Fail(L"cannot open the service control manager", GetLastError());
    SC_HANDLE service = OpenServiceW(manager, pkg::kServiceName, SERVICE_STOP | SERVICE_QUERY_STATUS | DELETE);
    if (service == nullptr) {
        const DWORD error = GetLastError();
        CloseServiceHandle(manager);
        if (error == ERROR_SERVICE_DOES_NOT_EXIST) {
            wprintf(L"%ls is not installed\n", pkg::kServiceName);
            return 0;
        }
        return pkg::Fail(L"cannot open the service", error);
    }

    int result = 0;
    SERVICE_STATUS status = {};
    if (!ControlService(service, SERVICE_CONTROL_STOP, &status)) {
        const DWORD error = GetLastError();
        if (error != ERROR_SERVICE_NOT_ACTIVE)
            result = pkg::Fail(L"cannot stop the driver", error);
    } else if (pkg::WaitWhilePending(service, SERVICE_STOP_PENDING) != SERVICE_STOPPED) {
        result = pkg::Fail(L"the driver did not stop", ERROR_SERVICE_REQUEST_TIMEOUT);
    }
    if (result == 0 && !DeleteService(service)) {
        const DWORD error = GetLastError();
        if (error != ERROR_SERVICE_MARKED_FOR_DELETE)
            result = pkg::Fail(L"cannot delete the service", error);
    }
    if (result == 0)
        wprintf(L"%ls stopped and removed\n", pkg::kServiceName);
    CloseServiceHandle(service);
    CloseServiceHandle(manager);
    return result;
}
