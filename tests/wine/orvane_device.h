// The device as a 32-bit program reaches it: \\.\Orvane opened the way the
// library opens it, and one request through DeviceIoControl.
#ifndef TESTS_WINE_ORVANE_DEVICE_H
#define TESTS_WINE_ORVANE_DEVICE_H

#include <windows.h>

#include <stdint.h>
#include <string.h>

#include "orvane_ioctl.h"

namespace orvane_device {

// A device handle that closes itself.
class Handle {
public:
    Handle()
        : handle(CreateFileA("\\\\.\\Orvane", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr)),
          openError(handle == INVALID_HANDLE_VALUE ? GetLastError() : 0)
    {
    }
    ~Handle()
    {
        if (handle != INVALID_HANDLE_VALUE)
            CloseHandle(handle);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;

    bool Open() const { return handle != INVALID_HANDLE_VALUE; }
    HANDLE Get() const { return handle; }
    DWORD OpenError() const { return openError; }

private:
    HANDLE handle;
    DWORD openError;
};

struct Reply {
    bool ok;
    DWORD error;  // GetLastError() when !ok
    DWORD bytes;  // the returned count; left at kUnwritten when the system wrote none
};
constexpr DWORD kUnwritten = 0xDEADBEEF;

inline Reply Control(const Handle& device, DWORD code, void* in, DWORD inLen, void* out, DWORD outLen)
{
    DWORD bytes = kUnwritten;
    const BOOL ok = DeviceIoControl(device.Get(), code, in, inLen, out, outLen, &bytes, nullptr);
    return {ok != FALSE, ok ? 0 : GetLastError(), bytes};
}

inline OrvanePortAccess PortRecord(uint32_t address, uint32_t writeValue = 0)
{
    OrvanePortAccess access;
    memset(&access, 0, sizeof(access));
    access.Address = address;
    access.WriteValue = writeValue;
    return access;
}

inline Reply WritePort(const Handle& device, uint16_t port, uint8_t value)
{
    OrvanePortAccess access = PortRecord(port, value);
    return Control(device, IOCTL_ORVANE_WRITE_PORT_BYTE, &access, sizeof(access), &access, sizeof(access));
}

// Reads one port byte into *value.
inline Reply ReadPort(const Handle& device, uint16_t port, uint8_t* value)
{
    OrvanePortAccess access = PortRecord(port);
    access.ReadValue = 0xCCCCCCCCu;
    const Reply r = Control(device, IOCTL_ORVANE_READ_PORT_BYTE, &access, sizeof(access), &access, sizeof(access));
    *value = (uint8_t)access.ReadValue;
    return r;
}

}  // namespace orvane_device

#endif
