// Entry of the Wine-hosted test driver: builds the simulated board that the
// service's Parameters\Board value names (the default board without one),
// makes it the machine behind the bus seam, then runs the driver's own
// DriverEntry. An unknown board name fails the load.
//
// The controller's ROM is saved when the driver has loaded, to
// C:\windows\temp\orvane-sim-rom-loaded.bin, and when it unloads, to
// C:\windows\temp\orvane-sim-rom.bin (the 8 KiB ROM, then the number of
// device-control requests served as four little-endian bytes), so that an
// end-to-end run can compare the ROM with the image it programmed, or with
// what the chip held, after the service has been removed.
#include <ntddk.h>

#include "machine.h"
#include "real_clock.h"
#include "test_boards.h"

extern "C" {
DRIVER_INITIALIZE DriverEntry;
DRIVER_INITIALIZE OrvaneSimEntry;
}

namespace {

constexpr ULONG kBoardNameMaxChars = 32;

// Reads the REG_SZ value Board of the service's Parameters key into name.
// A missing key or value reads as STATUS_OBJECT_NAME_NOT_FOUND.
NTSTATUS ReadBoardName(PUNICODE_STRING servicePath, WCHAR* name, ULONG* length)
{
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, servicePath, OBJ_KERNEL_HANDLE | OBJ_CASE_INSENSITIVE,
                               nullptr, nullptr);
    HANDLE service = nullptr;
    NTSTATUS status = ZwOpenKey(&service, KEY_READ, &attributes);
    if (!NT_SUCCESS(status))
        return status;

    UNICODE_STRING parametersName;
    RtlInitUnicodeString(&parametersName, L"Parameters");
    InitializeObjectAttributes(&attributes, &parametersName, OBJ_KERNEL_HANDLE | OBJ_CASE_INSENSITIVE,
                               service, nullptr);
    HANDLE parameters = nullptr;
    status = ZwOpenKey(&parameters, KEY_READ, &attributes);
    ZwClose(service);
    if (!NT_SUCCESS(status))
        return status;

    UNICODE_STRING valueName;
    RtlInitUnicodeString(&valueName, L"Board");
    union {
        KEY_VALUE_PARTIAL_INFORMATION info;
        UCHAR bytes[sizeof(KEY_VALUE_PARTIAL_INFORMATION) + kBoardNameMaxChars * sizeof(WCHAR)];
    } value;
    ULONG resultLength = 0;
    status = ZwQueryValueKey(parameters, &valueName, KeyValuePartialInformation, &value, sizeof(value),
                             &resultLength);
    ZwClose(parameters);
    if (!NT_SUCCESS(status))
        return status;
    if (value.info.Type != REG_SZ)
        return STATUS_OBJECT_TYPE_MISMATCH;

    const ULONG available = sizeof(value) - FIELD_OFFSET(KEY_VALUE_PARTIAL_INFORMATION, Data);
    ULONG chars = (value.info.DataLength < available ? value.info.DataLength : available) / sizeof(WCHAR);
    const WCHAR* data = reinterpret_cast<const WCHAR*>(value.info.Data);
    while (chars > 0 && data[chars - 1] == 0)
        --chars;
    if (chars > kBoardNameMaxChars)
        return STATUS_NAME_TOO_LONG;
    for (ULONG i = 0; i < chars; ++i)
        name[i] = data[i];
    *length = chars;
    return STATUS_SUCCESS;
}

PDRIVER_UNLOAD driverUnload = nullptr;
PDRIVER_DISPATCH driverDeviceControl = nullptr;
volatile LONG deviceControlRequests = 0;

NTSTATUS NTAPI SimDeviceControl(PDEVICE_OBJECT device, PIRP irp)
{
    InterlockedIncrement(&deviceControlRequests);
    return driverDeviceControl(device, irp);
}

// Writes the controller's ROM and the request count to the file at path; a
// failure only loses the file, which the run that looks for it reports.
void SaveRom(const WCHAR* file)
{
    const sim::R39218* chip = test_boards::Chip();
    if (chip == nullptr)
        return;
    UNICODE_STRING path;
    RtlInitUnicodeString(&path, file);
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &path, OBJ_KERNEL_HANDLE | OBJ_CASE_INSENSITIVE, nullptr, nullptr);
    HANDLE handle = nullptr;
    IO_STATUS_BLOCK io;
    if (!NT_SUCCESS(ZwCreateFile(&handle, GENERIC_WRITE | SYNCHRONIZE, &attributes, &io, nullptr, FILE_ATTRIBUTE_NORMAL,
                                 0, FILE_OVERWRITE_IF, FILE_SYNCHRONOUS_IO_NONALERT | FILE_NON_DIRECTORY_FILE,
                                 nullptr, 0)))
        return;
    const ULONG count = (ULONG)deviceControlRequests;
    const UCHAR countBytes[4] = {(UCHAR)count, (UCHAR)(count >> 8), (UCHAR)(count >> 16), (UCHAR)(count >> 24)};
    if (NT_SUCCESS(ZwWriteFile(handle, nullptr, nullptr, nullptr, &io, (PVOID)chip->rom, sizeof(chip->rom), nullptr,
                               nullptr)))
        ZwWriteFile(handle, nullptr, nullptr, nullptr, &io, (PVOID)countBytes, sizeof(countBytes), nullptr, nullptr);
    ZwClose(handle);
}

void NTAPI SimUnload(PDRIVER_OBJECT driver)
{
    driverUnload(driver);
    SaveRom(L"\\??\\C:\\windows\\temp\\orvane-sim-rom.bin");
}

}  // namespace

extern "C" NTSTATUS OrvaneSimEntry(PDRIVER_OBJECT driver, PUNICODE_STRING registryPath)
{
    WCHAR name[kBoardNameMaxChars];
    ULONG length = 0;
    const NTSTATUS status = ReadBoardName(registryPath, name, &length);
    if (!NT_SUCCESS(status) && status != STATUS_OBJECT_NAME_NOT_FOUND)
        return status;
    sim::Machine* machine = test_boards::Build(NT_SUCCESS(status) ? name : nullptr, length);
    if (machine == nullptr)
        return STATUS_INVALID_PARAMETER;
    test_boards::UseRealClock(machine);
    sim::SetCurrent(machine);
    deviceControlRequests = 0;
    const NTSTATUS entry = DriverEntry(driver, registryPath);
    if (NT_SUCCESS(entry)) {
        driverUnload = driver->DriverUnload;
        driver->DriverUnload = SimUnload;
        driverDeviceControl = driver->MajorFunction[IRP_MJ_DEVICE_CONTROL];
        driver->MajorFunction[IRP_MJ_DEVICE_CONTROL] = SimDeviceControl;
        SaveRom(L"\\??\\C:\\windows\\temp\\orvane-sim-rom-loaded.bin");
    }
    return entry;
}
