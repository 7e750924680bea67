// Stand-in for the programs around the updater. Started by the updater (as
// install.exe, uninstall.exe, 218_Win.exe or a product uninstaller) it appends
// one line to the log named by UPDATER_STANDIN_LOG: its own name, its
// arguments, its working directory and the status value "Zelvar" it sees.
// As 218_Win.exe with /WA it also looks at the updater's popup; with /G it
// prints a version line (which cmd.exe redirects into Version.txt).
// Started by a test with a first argument of "--" it does one test chore:
//   --sleep MS                 stay alive (a process to be found or killed)
//   --register-uninstall TEXT  store TEXT as the product's UninstallString
//   --create-status-key        make the control-center product's key
//   --status                   print the state of the status value and its key
//   --find-popup MS            wait for the popup, print its state
//   --press KEY                post a key (escape or enter) to the popup
//   --watch-status MS          print each new status value as it appears, until
//                              the value is deleted after it was seen (or MS pass)
#include <windows.h>

#include <stdio.h>
#include <wchar.h>

#include <string>

namespace {

constexpr wchar_t kStatusKey[] = L"SOFTWARE\\WOW6432Node\\Kavri\\Tessarine\\Component\\Support";
constexpr wchar_t kStatusKey32[] = L"SOFTWARE\\Kavri\\Tessarine\\Component\\Support";
constexpr wchar_t kUninstallKey[] =
    L"SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\{5E0C2B91-7A44-4C1D-9F03-2B8E6D41A7C2}}_is1";
// Where the products themselves (64-bit installers) put their keys.
constexpr wchar_t kStatusKeyCanonical[] = L"SOFTWARE\\Wow6432Node\\Kavri\\Tessarine\\Component\\Support";
constexpr int kPopupTextId = 1000;
constexpr DWORD kProbeGapMs = 6000;

std::wstring StatusKey()
{
    SYSTEM_INFO info = {};
    GetNativeSystemInfo(&info);
    return info.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_AMD64 ? kStatusKey : kStatusKey32;
}

std::string Utf8(const std::wstring& text)
{
    if (text.empty())
        return std::string();
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &out[0], n, nullptr, nullptr);
    return out;
}

void Log(const std::wstring& line)
{
    wchar_t path[MAX_PATH];
    if (!GetEnvironmentVariableW(L"UPDATER_STANDIN_LOG", path, MAX_PATH))
        return;
    HANDLE file = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    const std::string text = Utf8(line) + "\n";
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
}

// "absent" or the value's text.
// Reads the status value; false when it (or its key) does not exist.
bool ReadStatus(bool* keyExists, std::wstring* value)
{
    HKEY key = nullptr;
    *keyExists = RegOpenKeyExW(HKEY_LOCAL_MACHINE, StatusKey().c_str(), 0, KEY_QUERY_VALUE, &key) == ERROR_SUCCESS;
    if (!*keyExists)
        return false;
    wchar_t buffer[512] = {};
    DWORD bytes = sizeof buffer - sizeof(wchar_t);
    const LONG rc = RegQueryValueExW(key, L"Zelvar", nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &bytes);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS)
        return false;
    *value = buffer;
    return true;
}

std::wstring StatusValue(bool* keyExists)
{
    std::wstring value;
    return ReadStatus(keyExists, &value) ? value : L"absent";
}

// Everything of the command line after the program name, as the program got it.
std::wstring Arguments()
{
    const wchar_t* p = GetCommandLineW();
    bool quoted = false;
    for (; *p && (quoted || (*p != L' ' && *p != L'\t')); ++p)
        if (*p == L'"')
            quoted = !quoted;
    while (*p == L' ' || *p == L'\t')
        ++p;
    return p;
}

std::wstring OwnName()
{
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    const wchar_t* slash = wcsrchr(path, L'\\');
    return slash ? slash + 1 : path;
}

struct PopupSearch {
    HWND found = nullptr;
};

BOOL CALLBACK FindPopup(HWND window, LPARAM param)
{
    wchar_t cls[64] = {};
    GetClassNameW(window, cls, 64);
    HWND text = GetDlgItem(window, kPopupTextId);
    wchar_t buffer[160] = {};
    // The popup once it is on the screen (it is created hidden and shown
    // when its initialisation has returned).
    if (wcscmp(cls, L"#32770") == 0 && IsWindowVisible(window) && text && GetWindowTextW(text, buffer, 160) &&
        wcsncmp(buffer, L"ZELVAR FW", 9) == 0) {
        reinterpret_cast<PopupSearch*>(param)->found = window;
        return FALSE;
    }
    return TRUE;
}

HWND WaitForPopup(DWORD ms)
{
    for (DWORD waited = 0;; waited += 100) {
        PopupSearch search;
        EnumWindows(FindPopup, reinterpret_cast<LPARAM>(&search));
        if (search.found || waited >= ms)
            return search.found;
        Sleep(100);
    }
}

int Dots(HWND popup)
{
    wchar_t buffer[160] = {};
    GetWindowTextW(GetDlgItem(popup, kPopupTextId), buffer, 160);
    const wchar_t* line = wcschr(buffer, L'\n');
    int n = 0;
    for (const wchar_t* p = line ? line + 1 : buffer; *p == L'.'; ++p)
        ++n;
    return n;
}

// One line describing the popup: where it is, its styles and its dots.
std::wstring PopupState(HWND popup)
{
    RECT rect = {};
    GetWindowRect(popup, &rect);
    const LONG style = GetWindowLongW(popup, GWL_STYLE);
    const LONG exStyle = GetWindowLongW(popup, GWL_EXSTYLE);
    wchar_t line[256];
    swprintf(line, 256, L"popup at %ld,%ld topmost %d caption %d border %d appwindow %d visible %d owner %d dots %d",
             rect.left, rect.top, (exStyle & WS_EX_TOPMOST) ? 1 : 0, (style & WS_DLGFRAME) ? 1 : 0,
             (style & WS_BORDER) ? 1 : 0, (exStyle & WS_EX_APPWINDOW) ? 1 : 0, IsWindowVisible(popup) ? 1 : 0,
             GetWindow(popup, GW_OWNER) ? 1 : 0, Dots(popup));
    return line;
}

int Chore(int argc, wchar_t** argv)
{
    const std::wstring chore = argv[1];
    if (chore == L"--sleep" && argc > 2) {
        Sleep(static_cast<DWORD>(_wtoi(argv[2])));
        return 7;
    }
    if (chore == L"--register-uninstall" && argc > 2) {
        HKEY key = nullptr;
        // Written through the 64-bit view at its literal path, as the
        // product's installer files it.
        if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kUninstallKey, 0, nullptr, 0, KEY_WRITE | KEY_WOW64_64KEY, nullptr, &key,
                            nullptr))
            return 1;
        const std::wstring text = argv[2];
        RegSetValueExW(key, L"UninstallString", 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                       static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
        RegCloseKey(key);
        return 0;
    }
    if (chore == L"--create-status-key") {
        HKEY key = nullptr;
        if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kStatusKeyCanonical, 0, nullptr, 0, KEY_WRITE | KEY_WOW64_64KEY, nullptr,
                            &key, nullptr))
            return 1;
        RegCloseKey(key);
        return 0;
    }
    if (chore == L"--status") {
        bool keyExists = false;
        const std::wstring value = StatusValue(&keyExists);
        printf("key %s value %s\n", keyExists ? "present" : "absent", Utf8(value).c_str());
        return 0;
    }
    if (chore == L"--watch-status" && argc > 2) {
        // Polled, so a text that stands for less than a poll may be missed.
        constexpr DWORD kPollMs = 10;
        const DWORD bound = static_cast<DWORD>(_wtoi(argv[2]));
        bool seen = false;
        std::wstring last;
        for (DWORD waited = 0; waited < bound; waited += kPollMs) {
            bool keyExists = false;
            std::wstring value;
            const bool present = ReadStatus(&keyExists, &value);
            if (present && (!seen || last != value)) {
                seen = true;
                last = value;
                printf("status: %s\n", Utf8(last).c_str());
                fflush(stdout);
            } else if (!present && seen) {
                printf("status: (value deleted, key %s)\n", keyExists ? "kept" : "gone");
                fflush(stdout);
                return 0;
            }
            Sleep(kPollMs);
        }
        return 1;
    }
    if (chore == L"--find-popup" && argc > 2) {
        HWND popup = WaitForPopup(static_cast<DWORD>(_wtoi(argv[2])));
        if (!popup) {
            printf("no popup\n");
            return 1;
        }
        printf("%s\n", Utf8(PopupState(popup)).c_str());
        return 0;
    }
    if (chore == L"--press" && argc > 2) {
        HWND popup = WaitForPopup(10000);
        if (!popup)
            return 1;
        const WPARAM key = std::wstring(argv[2]) == L"enter" ? VK_RETURN : VK_ESCAPE;
        PostMessageW(popup, WM_KEYDOWN, key, 1);
        PostMessageW(popup, WM_KEYUP, key, 0xC0000001);
        return 0;
    }
    return 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc > 1 && wcsncmp(argv[1], L"--", 2) == 0)
        return Chore(argc, argv);

    bool keyExists = false;
    wchar_t cwd[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, cwd);
    const std::wstring name = OwnName();
    const std::wstring args = Arguments();
    Log(name + L"|" + args + L"|" + cwd + L"|" + StatusValue(&keyExists));

    if (_wcsicmp(name.c_str(), L"218_Win.exe") == 0) {
        if (args.find(L"/G") != std::wstring::npos)
            printf("R39218 firmware version 3.7\n");
        if (args.find(L"/WA") != std::wstring::npos) {
            // While the flasher runs the popup is up and its dots move.
            HWND popup = WaitForPopup(5000);
            if (popup) {
                Log(L"probe " + PopupState(popup));
                Sleep(kProbeGapMs);
                Log(L"probe " + PopupState(popup));
            } else {
                Log(L"probe no popup");
            }
        }
    }
    return 0;
}
