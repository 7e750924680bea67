// The DLL's frame on Windows: the device connection opened at load and closed
// at unload, and the three seams of the core as DeviceIoControl on the device
// handle, OutputDebugStringA and Sleep.
#include <windows.h>

#include "hotkey_core.h"
#include "hotkey_seams.h"

namespace {

constexpr char kDevicePath[] = "\\\\.\\Orvane";

}  // namespace

HANDLE hDevice = INVALID_HANDLE_VALUE;

namespace hotkey {

bool DeviceRequest(uint32_t code, void* input, uint32_t inLen, void* output, uint32_t outLen)
{
    DWORD bytes = 0;
    return DeviceIoControl(hDevice, code, input, inLen, output, outLen, &bytes, nullptr) != FALSE;
}

void DebugOutput(const char* line) { OutputDebugStringA(line); }

void SleepMs(uint32_t milliseconds) { Sleep(milliseconds); }

}  // namespace hotkey

namespace {

void OpenDevice()
{
    using hotkey::TraceLine;
    if (hDevice == INVALID_HANDLE_VALUE) {
        TraceLine("CreateFile ******************");
        hDevice = CreateFileA(kDevicePath, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
        const DWORD error = GetLastError();
        TraceLine("CreateFile hDevice=0x%x GetLastError=%x", (unsigned)(UINT_PTR)hDevice, (unsigned)error);
    }
    if (hDevice == INVALID_HANDLE_VALUE)
        TraceLine("Open device driver FAIL");
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    (void)instance;
    (void)reserved;
    switch (reason) {
    case DLL_PROCESS_ATTACH:
        OpenDevice();
        if (hDevice == INVALID_HANDLE_VALUE) {
            hotkey::TraceLine("Open device driver FAIL");
            return FALSE;
        }
        return TRUE;
    case DLL_PROCESS_DETACH:
        if (hDevice != INVALID_HANDLE_VALUE)
            CloseHandle(hDevice);
        hDevice = INVALID_HANDLE_VALUE;
        return TRUE;
    default:
        return TRUE;
    }
}
