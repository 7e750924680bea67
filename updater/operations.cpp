#include "operations.h"

#include <tlhelp32.h>

#include <vector>

#include "updater_logic.h"

namespace {

// Process snapshots take every kind of entry, for the whole system.
constexpr DWORD kSnapshotFlags = TH32CS_SNAPALL;

// Calls visit for every process entry of a fresh snapshot until it returns true.
template <typename Visit>
bool ForEachProcess(Visit visit)
{
    HANDLE snapshot = CreateToolhelp32Snapshot(kSnapshotFlags, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return false;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof entry;
    bool stopped = false;
    for (BOOL more = Process32FirstW(snapshot, &entry); more && !stopped; more = Process32NextW(snapshot, &entry))
        stopped = visit(entry);
    CloseHandle(snapshot);
    return stopped;
}

}  // namespace

#ifndef _WIN64
static_assert(sizeof(PROCESSENTRY32W) == 556, "the tool-help record of a 32-bit program");
#endif

void KillProcessByName(const std::wstring& text)
{
    ForEachProcess([&](const PROCESSENTRY32W& entry) {
        if (updater::ContainsText(entry.szExeFile, text)) {
            HANDLE process = OpenProcess(PROCESS_TERMINATE, FALSE, entry.th32ProcessID);
            if (process) {
                TerminateProcess(process, 0);
                CloseHandle(process);
            }
        }
        return false;
    });
}

bool WaitForProcessByName(const std::wstring& text, DWORD limitMs)
{
    for (DWORD waited = 0; waited < limitMs;) {
        Sleep(kProcessWaitPassMs);
        waited += kProcessWaitPassMs;
        if (ForEachProcess([&](const PROCESSENTRY32W& entry) { return updater::ContainsText(entry.szExeFile, text); }))
            return true;
    }
    return false;
}

std::wstring ReadRegString(HKEY root, const std::wstring& path, const std::wstring& name,
                           const std::wstring& defaultText, REGSAM access)
{
    std::wstring result = defaultText;
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, access, &key) != ERROR_SUCCESS)
        return result;
    std::vector<wchar_t> buffer(kRegStringCapacity, L'\0');
    DWORD bytes = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
    if (RegQueryValueExW(key, name.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(buffer.data()), &bytes) ==
        ERROR_SUCCESS) {
        const std::size_t chars = bytes / sizeof(wchar_t);
        std::size_t length = 0;
        while (length < chars && buffer[length] != L'\0')
            ++length;
        // A text that fills the whole buffer without its NUL is longer than
        // the buffer holds: it counts as missing, like one that did not fit.
        if (length < kRegStringCapacity)
            result.assign(buffer.data(), length);
    }
    RegCloseKey(key);
    return result;
}

void WriteRegString(HKEY root, const std::wstring& path, const std::wstring& name, const std::wstring& text)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) {
        key = nullptr;
        if (RegCreateKeyExW(root, path.c_str(), 0, const_cast<wchar_t*>(L""), REG_OPTION_NON_VOLATILE,
                            KEY_READ | KEY_WRITE, nullptr, &key, nullptr) != ERROR_SUCCESS)
            return;
    }
    RegSetValueExW(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                   static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
}

bool DeleteRegValue(HKEY root, const std::wstring& path, const std::wstring& name)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_WRITE, &key) != ERROR_SUCCESS)
        return false;
    const bool deleted = RegDeleteValueW(key, name.c_str()) == ERROR_SUCCESS;
    RegCloseKey(key);
    return deleted;
}

std::wstring FindFirmwareFile(const std::wstring& appDir)
{
    std::vector<updater::DirEntry> entries;
    WIN32_FIND_DATAW data;
    HANDLE search = FindFirstFileW((appDir + L"\\*.*").c_str(), &data);
    if (search == INVALID_HANDLE_VALUE)
        return std::wstring();
    do {
        entries.push_back({data.cFileName, (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0});
    } while (FindNextFileW(search, &data));
    FindClose(search);
    return updater::PickFirmwareFile(entries);
}

bool IsNativeX64()
{
    using NativeInfoFn = void(WINAPI*)(LPSYSTEM_INFO);
    HMODULE kernel = GetModuleHandleW(L"kernel32");
    if (!kernel)
        return false;
    auto getNativeSystemInfo =
        reinterpret_cast<NativeInfoFn>(reinterpret_cast<void*>(GetProcAddress(kernel, "GetNativeSystemInfo")));
    if (!getNativeSystemInfo)
        return false;
    SYSTEM_INFO info = {};
    getNativeSystemInfo(&info);
    return info.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_AMD64;
}
