#include "updater_logic.h"

namespace updater {

namespace {

struct SwitchForm {
    const wchar_t* text;
    Switch kind;
};

constexpr SwitchForm kSwitches[] = {
    {L"-V", Switch::VersionQuery},
    {L"-F", Switch::ReportedUpdate},
    {L"-S", Switch::UpdateAndRestart},
};

// Blocks of dots that the animation folds back, and what it appends.
constexpr wchar_t kFullDots[] = L"...............";
constexpr wchar_t kRestartDots[] = L".....";
constexpr wchar_t kOneDot[] = L".";

// cmd.exe reads these in a command line as operators or variable expansions.
constexpr wchar_t kShellSpecials[] = L"&|<>^%";

constexpr wchar_t kStatusKeyWow64[] = L"SOFTWARE\\WOW6432Node\\Kavri\\Tessarine\\Component\\Support";
constexpr wchar_t kStatusKeyNative[] = L"SOFTWARE\\Kavri\\Tessarine\\Component\\Support";
constexpr wchar_t kWow6432Component[] = L"Wow6432Node\\";

// Modal results of the dialog manager.
constexpr std::intptr_t kResultOk = 1;
constexpr std::intptr_t kResultCancel = 2;
constexpr int kExitOk = 0;
constexpr int kExitCancel = 1;
constexpr int kExitNoDialog = 2;

std::wstring ReplaceAll(std::wstring text, const std::wstring& from, const std::wstring& to)
{
    std::wstring out;
    std::size_t pos = 0;
    for (;;) {
        const std::size_t hit = text.find(from, pos);
        if (hit == std::wstring::npos)
            break;
        out.append(text, pos, hit - pos);
        out += to;
        pos = hit + from.size();
    }
    out.append(text, pos, std::wstring::npos);
    return out;
}

}  // namespace

const wchar_t kStatusValueName[] = L"Zelvar";
const wchar_t kUninstallEntryPath[] =
    L"SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
    L"{5E0C2B91-7A44-4C1D-9F03-2B8E6D41A7C2}}_is1";
const wchar_t kUninstallValueName[] = L"UninstallString";
const wchar_t kUninstallParameters[] = L"/VERYSILENT /NORESTART";

std::wstring ToUpperAscii(std::wstring text)
{
    for (wchar_t& c : text)
        if (c >= L'a' && c <= L'z')
            c = static_cast<wchar_t>(c - L'a' + L'A');
    return text;
}

Switch ParseSwitch(const std::wstring& argument)
{
    const std::wstring upper = ToUpperAscii(argument);
    for (const SwitchForm& s : kSwitches)
        if (upper == s.text)
            return s.kind;
    return Switch::None;
}

int ExitCodeForDialogResult(std::intptr_t result)
{
    if (result == kResultOk)
        return kExitOk;
    if (result == kResultCancel)
        return kExitCancel;
    return kExitNoDialog;
}

std::wstring AdvanceDots(const std::wstring& text)
{
    return ReplaceAll(text, kFullDots, kRestartDots) + kOneDot;
}

std::wstring AppDirFromModulePath(const std::wstring& modulePath)
{
    const std::size_t slash = modulePath.rfind(L'\\');
    if (slash == std::wstring::npos)
        return modulePath;
    return modulePath.substr(0, slash);
}

std::wstring DriverDirFor(const std::wstring& appDir, bool nativeX64)
{
    return appDir + L"\\driver\\" + (nativeX64 ? L"x64" : L"x86");
}

std::wstring StatusKeyFor(bool nativeX64)
{
    return nativeX64 ? kStatusKeyWow64 : kStatusKeyNative;
}

bool ContainsText(const std::wstring& haystack, const std::wstring& needle)
{
    return haystack.find(needle) != std::wstring::npos;
}

bool IsFirmwareCandidate(const DirEntry& entry)
{
    if (entry.isDirectory || entry.name == L"." || entry.name == L"..")
        return false;
    if (!ContainsText(entry.name, L".bin"))
        return false;
    return entry.name.find_first_of(kShellSpecials) == std::wstring::npos;
}

std::wstring PickFirmwareFile(const std::vector<DirEntry>& entries)
{
    std::wstring chosen;
    for (const DirEntry& e : entries)
        if (IsFirmwareCandidate(e))
            chosen = e.name;
    return chosen;
}

std::wstring WithoutWow6432Node(std::wstring path)
{
    return ReplaceAll(std::move(path), kWow6432Component, L"");
}

std::wstring WithoutQuotes(std::wstring text)
{
    return ReplaceAll(std::move(text), L"\"", L"");
}

std::wstring UninstallerPath(const std::function<std::wstring(const std::wstring& keyPath)>& readUninstallString)
{
    std::wstring command = readUninstallString(kUninstallEntryPath);
    if (command.empty())
        command = readUninstallString(WithoutWow6432Node(kUninstallEntryPath));
    return WithoutQuotes(command);
}

}  // namespace updater
