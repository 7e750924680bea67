// The updater's portable rules: the command-line switches, the exit code, the
// dots animation, the registry paths and the firmware-file choice. Nothing
// here touches Windows, so the host tests run it as it stands.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace updater {

// The three switches of the command line, compared as a whole after upper-casing.
enum class Switch { None, VersionQuery, ReportedUpdate, UpdateAndRestart };

Switch ParseSwitch(const std::wstring& argument);

// Upper-cases the ASCII letters of a text (the switches are plain ASCII).
std::wstring ToUpperAscii(std::wstring text);

// Process exit code for the modal result of the dialog.
int ExitCodeForDialogResult(std::intptr_t result);

// One tick of the dots animation: every run of fifteen dots becomes five
// (left to right, without overlap), then one dot is appended.
std::wstring AdvanceDots(const std::wstring& text);

// The directory of the executable: the module path cut at its last backslash.
std::wstring AppDirFromModulePath(const std::wstring& modulePath);

// m_appDir\driver\x64 or m_appDir\driver\x86.
std::wstring DriverDirFor(const std::wstring& appDir, bool nativeX64);

// Key, under HKEY_LOCAL_MACHINE, of the status value "Zelvar".
std::wstring StatusKeyFor(bool nativeX64);

extern const wchar_t kStatusValueName[];

// Case-sensitive substring test, as process names and firmware names are matched.
bool ContainsText(const std::wstring& haystack, const std::wstring& needle);

// One entry of a directory listing, in the order the file system returns it.
struct DirEntry {
    std::wstring name;
    bool isDirectory;
};

// Whether a directory entry is a firmware image: a file whose name contains
// ".bin" (case-sensitive) and none of the characters that cmd.exe reads as
// operators or expansions.
bool IsFirmwareCandidate(const DirEntry& entry);

// The last candidate of the listing, or an empty name.
std::wstring PickFirmwareFile(const std::vector<DirEntry>& entries);

// The product's uninstall entry, looked up first with and then without the
// "Wow6432Node\" component.
extern const wchar_t kUninstallEntryPath[];
extern const wchar_t kUninstallValueName[];
extern const wchar_t kUninstallParameters[];

// Removes every "Wow6432Node\" (case-sensitive) from a key path.
std::wstring WithoutWow6432Node(std::wstring path);

// Removes every double quote from an uninstall command.
std::wstring WithoutQuotes(std::wstring text);

// The uninstaller's file path: "UninstallString" read (through the given
// reader, which returns "" for a missing value) at the entry's path with
// "Wow6432Node", then, if that gave nothing, at the path without it; its
// double quotes removed. Empty when neither lookup gave a text.
std::wstring UninstallerPath(const std::function<std::wstring(const std::wstring& keyPath)>& readUninstallString);

}  // namespace updater
