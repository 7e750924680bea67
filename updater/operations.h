// The updater's process, registry and file operations on the real system.
#pragma once

#include <windows.h>

#include <string>

// Terminates every process whose image name contains the text (case-sensitive);
// does not wait for them to go.
void KillProcessByName(const std::wstring& text);

// Upper bound of the wait for the shell: after this long without a matching
// process the wait gives up, so a machine without the shell does not keep the
// updater hidden and waiting for ever.
constexpr DWORD kProcessWaitLimitMs = 10 * 60 * 1000;
constexpr DWORD kProcessWaitPassMs = 1000;

// Every second, the first time after one second, looks for a process whose
// image name contains the text; returns true when one exists, false when the
// limit has passed without one.
bool WaitForProcessByName(const std::wstring& text, DWORD limitMs = kProcessWaitLimitMs);

// The largest string value that ReadRegString accepts, in UTF-16 characters,
// terminating NUL included; anything longer counts as missing.
constexpr DWORD kRegStringCapacity = 20001;

std::wstring ReadRegString(HKEY root, const std::wstring& path, const std::wstring& name,
                           const std::wstring& defaultText, REGSAM access);
void WriteRegString(HKEY root, const std::wstring& path, const std::wstring& name, const std::wstring& text);
bool DeleteRegValue(HKEY root, const std::wstring& path, const std::wstring& name);

// The bare name of the last firmware image in the directory, or "".
std::wstring FindFirmwareFile(const std::wstring& appDir);

// Whether the machine (not this 32-bit process) is AMD64.
bool IsNativeX64();
