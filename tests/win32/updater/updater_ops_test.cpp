// The updater's operations on the real system under Wine: the firmware-file
// search on real folders, the registry operations on the Wine registry, the
// process operations on real processes, the command runner through cmd.exe,
// the product uninstall lookup, and the restart request (its shutdown call
// replaced, so nothing restarts).
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "Zelvar_FW_Update_Tool.h"
#include "operations.h"
#include "updater_logic.h"

namespace {

std::wstring Widen(const std::string& s)
{
    return std::wstring(s.begin(), s.end());
}

// The build passes Unix paths; Wine reaches them through drive Z:.
std::wstring FromBuild(const char* unixPath)
{
    std::wstring path = L"Z:" + Widen(unixPath);
    std::replace(path.begin(), path.end(), L'/', L'\\');
    return path;
}

void RemoveTree(const std::wstring& dir)
{
    WIN32_FIND_DATAW data;
    HANDLE search = FindFirstFileW((dir + L"\\*").c_str(), &data);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = data.cFileName;
            if (name == L"." || name == L"..")
                continue;
            const std::wstring path = dir + L"\\" + name;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(path);
            else
                DeleteFileW(path.c_str());
        } while (FindNextFileW(search, &data));
        FindClose(search);
    }
    RemoveDirectoryW(dir.c_str());
}

// A fresh, empty folder under the temporary directory.
std::wstring FreshDir(const std::wstring& name)
{
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    // CTest runs the cases in parallel processes: one set of folders each.
    std::wstring dir = std::wstring(temp) + L"updater_test_" + name + L"_" + std::to_wstring(GetCurrentProcessId());
    RemoveTree(dir);
    CreateDirectoryW(dir.c_str(), nullptr);
    return dir;
}

void WriteFile(const std::wstring& path, const std::string& text)
{
    HANDLE f = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(f, INVALID_HANDLE_VALUE);
    DWORD n = 0;
    ::WriteFile(f, text.data(), static_cast<DWORD>(text.size()), &n, nullptr);
    CloseHandle(f);
}

std::string ReadFile(const std::wstring& path)
{
    HANDLE f = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                           nullptr);
    if (f == INVALID_HANDLE_VALUE)
        return std::string();
    std::string out(1 << 16, '\0');
    DWORD n = 0;
    ::ReadFile(f, &out[0], static_cast<DWORD>(out.size()), &n, nullptr);
    CloseHandle(f);
    out.resize(n);
    return out;
}

bool Exists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// A copy of the stand-in program under the given name.
std::wstring Standin(const std::wstring& dir, const std::wstring& name)
{
    const std::wstring path = dir + L"\\" + name;
    EXPECT_TRUE(CopyFileW(FromBuild(STANDIN_EXE).c_str(), path.c_str(), FALSE)) << STANDIN_EXE;
    return path;
}

PROCESS_INFORMATION Start(const std::wstring& exe, const std::wstring& args)
{
    std::wstring cmd = L"\"" + exe + L"\" " + args;
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    EXPECT_TRUE(CreateProcessW(exe.c_str(), &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
    CloseHandle(pi.hThread);
    return pi;
}

// Whether a process of that image name is in the process list yet.
bool Listed(const std::wstring& name)
{
    return WaitForProcessByName(name, kProcessWaitPassMs);
}

// ---------------------------------------------------------------------------

TEST(UpdaterFirmwareSearch, RealFolders)
{
    struct Case {
        const char* what;
        std::vector<std::wstring> files;
        std::vector<std::wstring> dirs;
        std::wstring expected;
    };
    const Case cases[] = {
        {"upper case", {L"FW.BIN", L"218_Win.exe"}, {}, L""},
        {".bin inside the name", {L"update.bin.old", L"readme.txt"}, {}, L"update.bin.old"},
        {"a directory", {}, {L"image.bin"}, L""},
        {"a blank", {L"my fw.bin"}, {}, L"my fw.bin"},
        {"an ampersand", {L"a&b.bin"}, {}, L""},
        {"an ampersand beside a good one", {L"a&b.bin", L"good.bin"}, {L"image.bin"}, L"good.bin"},
        {"empty", {}, {}, L""},
    };
    for (const Case& c : cases) {
        const std::wstring dir = FreshDir(L"fw");
        for (const std::wstring& f : c.files)
            WriteFile(dir + L"\\" + f, "x");
        for (const std::wstring& d : c.dirs)
            CreateDirectoryW((dir + L"\\" + d).c_str(), nullptr);
        EXPECT_EQ(FindFirmwareFile(dir), c.expected) << c.what;
    }
    EXPECT_EQ(FindFirmwareFile(L"C:\\no\\such\\folder"), L"");
}

TEST(UpdaterFirmwareSearch, TwoCandidatesTheLastOfTheListingWins)
{
    const std::wstring dir = FreshDir(L"fw2");
    WriteFile(dir + L"\\fw_a.bin", "a");
    WriteFile(dir + L"\\fw_b.bin", "b");
    WriteFile(dir + L"\\notes.txt", "c");
    // The order is the file system's: list it the plain way.
    std::wstring last;
    WIN32_FIND_DATAW data;
    HANDLE search = FindFirstFileW((dir + L"\\*.*").c_str(), &data);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    do {
        if (std::wstring(data.cFileName).find(L".bin") != std::wstring::npos)
            last = data.cFileName;
    } while (FindNextFileW(search, &data));
    FindClose(search);
    EXPECT_TRUE(last == L"fw_a.bin" || last == L"fw_b.bin");
    EXPECT_EQ(FindFirmwareFile(dir), last);
}

// ---------------------------------------------------------------------------

class UpdaterRegistry : public ::testing::Test {
protected:
    const std::wstring kRoot = L"SOFTWARE\\UpdaterRegistryTest" + std::to_wstring(GetCurrentProcessId());
    void SetUp() override { RegDeleteTreeW(HKEY_LOCAL_MACHINE, kRoot.c_str()); }
    void TearDown() override { RegDeleteTreeW(HKEY_LOCAL_MACHINE, kRoot.c_str()); }

    static bool KeyExists(const std::wstring& path, REGSAM view = 0)
    {
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS)
            return false;
        RegCloseKey(key);
        return true;
    }
    static bool RawRead(const std::wstring& path, const std::wstring& name, DWORD* type, std::wstring* text,
                        REGSAM view = 0)
    {
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS)
            return false;
        std::vector<wchar_t> buffer(64, L'\0');
        DWORD bytes = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
        const LONG rc = RegQueryValueExW(key, name.c_str(), nullptr, type, reinterpret_cast<BYTE*>(buffer.data()), &bytes);
        RegCloseKey(key);
        if (rc != ERROR_SUCCESS)
            return false;
        EXPECT_EQ(bytes % 2, 0u);
        ASSERT_RAW_NUL(buffer, bytes);
        *text = buffer.data();
        return true;
    }
    static void ASSERT_RAW_NUL(const std::vector<wchar_t>& buffer, DWORD bytes)
    {
        // REG_SZ data carries its terminating NUL.
        ASSERT_GE(bytes, sizeof(wchar_t));
        EXPECT_EQ(buffer[bytes / sizeof(wchar_t) - 1], L'\0');
    }
    static void RawWrite(const std::wstring& path, const std::wstring& name, const std::wstring& data, bool withNul = true)
    {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        RegSetValueExW(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                       static_cast<DWORD>((data.size() + (withNul ? 1 : 0)) * sizeof(wchar_t)));
        RegCloseKey(key);
    }
};

TEST_F(UpdaterRegistry, WriteCreatesTheWholeKeyPathThenOverwrites)
{
    const std::wstring support = kRoot + L"\\Kavri\\Tessarine\\Component\\Support";
    ASSERT_FALSE(KeyExists(kRoot + L"\\Kavri"));
    WriteRegString(HKEY_LOCAL_MACHINE, support, L"Zelvar", L"Start!");
    DWORD type = 0;
    std::wstring text;
    ASSERT_TRUE(RawRead(support, L"Zelvar", &type, &text));
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(text, L"Start!");
    WriteRegString(HKEY_LOCAL_MACHINE, support, L"Zelvar", L"find explorer");
    ASSERT_TRUE(RawRead(support, L"Zelvar", &type, &text));
    EXPECT_EQ(text, L"find explorer");
}

TEST_F(UpdaterRegistry, DeleteRemovesTheValueAndKeepsTheKey)
{
    const std::wstring support = kRoot + L"\\Support";
    WriteRegString(HKEY_LOCAL_MACHINE, support, L"Zelvar", L"start uninstall.exe");
    WriteRegString(HKEY_LOCAL_MACHINE, support, L"Other", L"stays");
    EXPECT_TRUE(DeleteRegValue(HKEY_LOCAL_MACHINE, support, L"Zelvar"));
    DWORD type = 0;
    std::wstring text;
    EXPECT_FALSE(RawRead(support, L"Zelvar", &type, &text));
    EXPECT_TRUE(KeyExists(support));
    EXPECT_TRUE(RawRead(support, L"Other", &type, &text));
    EXPECT_FALSE(DeleteRegValue(HKEY_LOCAL_MACHINE, support, L"Zelvar"));  // already gone
    EXPECT_FALSE(DeleteRegValue(HKEY_LOCAL_MACHINE, kRoot + L"\\Missing", L"Zelvar"));
    EXPECT_FALSE(KeyExists(kRoot + L"\\Missing"));  // deleting creates nothing
}

TEST_F(UpdaterRegistry, ReadGivesTheTextOrTheDefault)
{
    const std::wstring key = kRoot + L"\\Uninstall";
    const std::wstring longest(kRegStringCapacity - 1, L'x');
    RawWrite(key, L"Plain", L"C:\\p\\unins000.exe");
    RawWrite(key, L"Longest", longest);
    RawWrite(key, L"TooLong", std::wstring(kRegStringCapacity, L'y'));
    RawWrite(key, L"TooLongNoNul", std::wstring(kRegStringCapacity, L'z'), false);
    RawWrite(key, L"NoNul", L"abc", false);
    RawWrite(key, L"InnerNul", std::wstring(L"ab\0cd", 5));
    struct Case {
        const wchar_t* name;
        std::wstring expected;
    };
    const Case cases[] = {
        {L"Plain", L"C:\\p\\unins000.exe"},
        {L"Longest", longest},
        {L"TooLong", L"default"},
        {L"TooLongNoNul", L"default"},
        {L"NoNul", L"abc"},
        {L"InnerNul", L"ab"},
        {L"Missing", L"default"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ReadRegString(HKEY_LOCAL_MACHINE, key, c.name, L"default", KEY_QUERY_VALUE), c.expected)
            << std::string(c.name, c.name + wcslen(c.name));
    EXPECT_EQ(ReadRegString(HKEY_LOCAL_MACHINE, kRoot + L"\\None", L"Plain", L"d", KEY_QUERY_VALUE), L"d");
}

TEST(UpdaterRegistryView, ThirtyTwoBitProgramsUseTheWow64Branch)
{
    // The updater is a 32-bit program: on 64-bit Windows its HKLM\SOFTWARE is
    // the WOW6432Node branch of the 64-bit view, and a path that names
    // WOW6432Node itself reaches that same branch once the product has made
    // its key there.
    ASSERT_TRUE(IsNativeX64()) << "the test prefix is a 64-bit one";
    const std::wstring plain = L"SOFTWARE\\UpdaterViewTest\\Support";
    const std::wstring viaNode = L"SOFTWARE\\WOW6432Node\\UpdaterViewTest2\\Support";
    const auto clean = [] {
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\UpdaterViewTest");
        HKEY node = nullptr;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Wow6432Node", 0, KEY_ALL_ACCESS | KEY_WOW64_64KEY, &node) == 0) {
            RegDeleteTreeW(node, L"UpdaterViewTest2");
            RegCloseKey(node);
        }
    };
    clean();
    HKEY product = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Wow6432Node\\UpdaterViewTest2\\Support", 0, nullptr, 0,
                              KEY_WRITE | KEY_WOW64_64KEY, nullptr, &product, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(product);
    WriteRegString(HKEY_LOCAL_MACHINE, plain, L"Zelvar", L"one");
    WriteRegString(HKEY_LOCAL_MACHINE, viaNode, L"Zelvar", L"two");

    struct Case {
        std::wstring path;
        REGSAM view;
        std::wstring expected;
    };
    const Case cases[] = {
        {L"SOFTWARE\\WOW6432Node\\UpdaterViewTest\\Support", KEY_WOW64_64KEY, L"one"},
        {L"SOFTWARE\\UpdaterViewTest\\Support", KEY_WOW64_64KEY, L"-"},
        {L"SOFTWARE\\UpdaterViewTest\\Support", KEY_WOW64_32KEY, L"one"},
        {L"SOFTWARE\\UpdaterViewTest\\Support", 0, L"one"},
        {L"SOFTWARE\\Wow6432Node\\UpdaterViewTest2\\Support", KEY_WOW64_64KEY, L"two"},
        {L"SOFTWARE\\UpdaterViewTest2\\Support", 0, L"two"},
        {viaNode, 0, L"two"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ReadRegString(HKEY_LOCAL_MACHINE, c.path, L"Zelvar", L"-", KEY_QUERY_VALUE | c.view), c.expected)
            << std::string(c.path.begin(), c.path.end()) << " view " << c.view;
    EXPECT_TRUE(DeleteRegValue(HKEY_LOCAL_MACHINE, viaNode, L"Zelvar"));
    EXPECT_EQ(ReadRegString(HKEY_LOCAL_MACHINE, viaNode, L"Zelvar", L"-", KEY_QUERY_VALUE), L"-");
    clean();
}

// ---------------------------------------------------------------------------

TEST(UpdaterProcesses, KillTakesEveryNameThatContainsTheTextCaseSensitively)
{
    const std::wstring a = FreshDir(L"killA");
    const std::wstring b = FreshDir(L"killB");
    PROCESS_INFORMATION led = Start(Standin(a, L"Glimward.exe"), L"--sleep 60000");
    PROCESS_INFORMATION helper = Start(Standin(a, L"GlimwardHelper.exe"), L"--sleep 60000");
    PROCESS_INFORMATION lower = Start(Standin(b, L"glimward.exe"), L"--sleep 60000");
    ASSERT_TRUE(Listed(L"GlimwardHelper.exe"));
    ASSERT_TRUE(Listed(L"glimward.exe"));

    KillProcessByName(L"Glimward");

    for (HANDLE h : {led.hProcess, helper.hProcess}) {
        ASSERT_EQ(WaitForSingleObject(h, 10000), WAIT_OBJECT_0);
        DWORD code = 1234;
        GetExitCodeProcess(h, &code);
        EXPECT_EQ(code, 0u);  // terminated with exit code 0, not the stand-in's own 7
    }
    EXPECT_EQ(WaitForSingleObject(lower.hProcess, 1500), static_cast<DWORD>(WAIT_TIMEOUT));
    TerminateProcess(lower.hProcess, 9);
    for (HANDLE h : {led.hProcess, helper.hProcess, lower.hProcess})
        CloseHandle(h);
    KillProcessByName(L"NoSuchProcessAnywhere");  // nothing to do, no harm
}

TEST(UpdaterProcesses, WaitMatchesTheImageNameCaseSensitivelyWithinItsLimit)
{
    const std::wstring dir = FreshDir(L"wait");
    PROCESS_INFORMATION probe = Start(Standin(dir, L"Probewait.EXE"), L"--sleep 60000");
    EXPECT_TRUE(WaitForProcessByName(L"Probewait", 10000));
    EXPECT_TRUE(WaitForProcessByName(L"Probewait.EXE", 3000));
    EXPECT_FALSE(WaitForProcessByName(L"probewait", 3000));
    EXPECT_FALSE(WaitForProcessByName(L"Probewait.exe", 2000));
    TerminateProcess(probe.hProcess, 0);
    CloseHandle(probe.hProcess);

    const DWORD start = GetTickCount();
    EXPECT_FALSE(WaitForProcessByName(L"NoSuchProcessAnywhere", 2000));
    EXPECT_GE(GetTickCount() - start, 1900u);  // it gave up only at its limit
}

// ---------------------------------------------------------------------------

// The dialog object without its window: the command runner, the uninstall and
// the restart need none.
class UpdaterDialogOps : public ::testing::Test {
protected:
    void SetUp() override
    {
        appDir = FreshDir(L"app");
        workDir = FreshDir(L"work");
        dlg.m_appDir = appDir;
        GetCurrentDirectoryW(MAX_PATH, previous);
    }
    void TearDown() override { SetCurrentDirectoryW(previous); }

    static std::wstring CurrentDir()
    {
        wchar_t cwd[MAX_PATH];
        GetCurrentDirectoryW(MAX_PATH, cwd);
        return cwd;
    }

    CZelvar_FW_Update_ToolDlg dlg;
    std::wstring appDir;
    std::wstring workDir;
    wchar_t previous[MAX_PATH] = {};
};

TEST_F(UpdaterDialogOps, RunCommandWithoutDirectoryStartsNothing)
{
    SetCurrentDirectoryW(workDir.c_str());
    const DWORD start = GetTickCount();
    dlg.RunCommand(L"", L"/c echo ran> marker.txt");
    const DWORD took = GetTickCount() - start;
    EXPECT_LT(took, 900u) << "no wait pass at all";
    Sleep(1500);
    EXPECT_FALSE(Exists(workDir + L"\\marker.txt"));
    EXPECT_FALSE(Exists(appDir + L"\\marker.txt"));
    EXPECT_EQ(CurrentDir(), workDir);  // and the current directory is untouched
}

TEST_F(UpdaterDialogOps, RunCommandStartsInTheWorkingDirectoryAndReturnsToAppDir)
{
    WriteFile(workDir + L"\\probe.bat", "@cd> out.txt\r\n@echo %*>> out.txt\r\n");
    SetCurrentDirectoryW(FreshDir(L"elsewhere").c_str());
    const DWORD start = GetTickCount();
    dlg.RunCommand(workDir, L"/c probe.bat one  two");
    const DWORD took = GetTickCount() - start;
    const std::string out = ReadFile(workDir + L"\\out.txt");
    const std::wstring expectedDir = workDir + L"\r\none  two\r\n";
    EXPECT_EQ(Widen(out), expectedDir);
    EXPECT_GE(took, 1000u) << "even a command that ends at once takes one pass";
    EXPECT_EQ(CurrentDir(), appDir);
}

TEST_F(UpdaterDialogOps, RunCommandRedirectsAndWaitsForTheEnd)
{
    Standin(workDir, L"218_Win.exe");
    Standin(workDir, L"slow.exe");
    dlg.RunCommand(workDir, L"/c 218_Win.exe /G > Version.txt");
    EXPECT_EQ(ReadFile(workDir + L"\\Version.txt"), "R39218 firmware version 3.7\r\n");
    const DWORD start = GetTickCount();
    dlg.RunCommand(workDir, L"/c slow.exe --sleep 2500 && echo done> after.txt");
    EXPECT_GE(GetTickCount() - start, 2500u);
    EXPECT_TRUE(Exists(workDir + L"\\after.txt")) << "returned only after cmd.exe had ended";
    // A program that does not exist: cmd.exe still ends, and so does the wait.
    dlg.RunCommand(workDir, L"/c no_such_program.exe");
    EXPECT_EQ(CurrentDir(), appDir);
}

int g_dispatched = 0;
LRESULT CALLBACK CountingProc(HWND w, UINT m, WPARAM wp, LPARAM lp)
{
    if (m == WM_APP + 1)
        ++g_dispatched;
    return DefWindowProcW(w, m, wp, lp);
}

TEST_F(UpdaterDialogOps, RunCommandDispatchesOneQueuedMessagePerPass)
{
    WNDCLASSW wc = {};
    wc.lpfnWndProc = CountingProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"UpdaterCountingWindow";
    RegisterClassW(&wc);
    HWND window = CreateWindowW(wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
    ASSERT_NE(window, nullptr);
    g_dispatched = 0;
    for (int i = 0; i < 5; ++i)
        PostMessageW(window, WM_APP + 1, 0, 0);
    dlg.RunCommand(workDir, L"/c exit");
    EXPECT_EQ(g_dispatched, 1);  // a command that ends at once: one pass
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageW(&msg);
    EXPECT_EQ(g_dispatched, 5);
    DestroyWindow(window);
}

// The uninstaller start, recorded instead of run.
std::vector<std::wstring> g_started;
HINSTANCE WINAPI RecordStart(HWND owner, LPCWSTR verb, LPCWSTR file, LPCWSTR parameters, LPCWSTR directory, INT show)
{
    g_started.push_back(std::wstring(verb ? verb : L"(null)") + L"|" + file + L"|" + (parameters ? parameters : L"") +
                        L"|" + (directory ? directory : L"(null)") + L"|" + std::to_wstring(show) +
                        (owner ? L"|owner" : L""));
    return reinterpret_cast<HINSTANCE>(42);
}

class UpdaterUninstall : public UpdaterDialogOps {
protected:
    const std::wstring second = updater::WithoutWow6432Node(updater::kUninstallEntryPath);

    void SetUp() override
    {
        UpdaterDialogOps::SetUp();
        Clear();
        g_started.clear();
        dlg.m_shellExecute = RecordStart;
        uninstaller = Standin(appDir, L"unins000.exe");
    }
    void TearDown() override
    {
        Clear();
        UpdaterDialogOps::TearDown();
    }
    void Clear()
    {
        RegDeleteKeyExW(HKEY_LOCAL_MACHINE, second.c_str(), 0, 0);
    }
    void Store(const std::wstring& path, REGSAM view, const std::wstring& text)
    {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_WRITE | view, nullptr, &key,
                                  nullptr),
                  ERROR_SUCCESS);
        RegSetValueExW(key, L"UninstallString", 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                       static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
        RegCloseKey(key);
    }
    std::wstring Started(const std::wstring& file) const
    {
        return L"open|" + file + L"|/VERYSILENT /NORESTART|(null)|0";
    }
    std::wstring uninstaller;
};

// One case, since the entry's key is the machine's one: parallel cases would
// meet there.
TEST_F(UpdaterUninstall, StartsAnExistingUninstallerSilentlyAndNothingElse)
{
    // A quoted path to an existing program.
    Store(second, 0, L"\"" + uninstaller + L"\"");
    dlg.UninstallProduct();
    ASSERT_EQ(g_started.size(), 1u);
    EXPECT_EQ(g_started[0], Started(uninstaller));

    // On a 64-bit system both paths of the entry name one key of the 32-bit
    // program's view, so the entry stored without "Wow6432Node" is found by
    // the first lookup already. (The order of the lookups is a host test.)
    g_started.clear();
    const std::wstring other = Standin(appDir, L"other unins.exe");
    Store(second, 0, other);
    dlg.UninstallProduct();
    ASSERT_EQ(g_started.size(), 1u);
    EXPECT_EQ(g_started[0], Started(other));

    struct Case {
        const char* what;
        std::wstring text;
    };
    const Case cases[] = {
        {"empty", L""},
        {"missing file", L"\"" + appDir + L"\\gone.exe\""},
        {"arguments after the path", L"\"" + uninstaller + L"\" /SILENT"},
        {"a folder", appDir},
        {"a wildcard", appDir + L"\\unins*.exe"},
    };
    for (const Case& c : cases) {
        Clear();
        g_started.clear();
        Store(second, 0, c.text);
        dlg.UninstallProduct();
        EXPECT_TRUE(g_started.empty()) << c.what;
    }
    Clear();
    g_started.clear();
    dlg.UninstallProduct();  // no entry at all
    EXPECT_TRUE(g_started.empty());
}

// The restart request, recorded instead of sent.
std::vector<std::pair<UINT, DWORD>> g_restarts;
BOOL WINAPI RecordRestart(UINT flags, DWORD reason)
{
    g_restarts.emplace_back(flags, reason);
    return TRUE;
}

bool ShutdownPrivilegeEnabled()
{
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return false;
    LUID luid;
    LookupPrivilegeValueW(nullptr, L"SeShutdownPrivilege", &luid);
    std::vector<BYTE> buffer(4096);
    DWORD size = 0;
    bool enabled = false;
    if (GetTokenInformation(token, TokenPrivileges, buffer.data(), static_cast<DWORD>(buffer.size()), &size)) {
        const auto* privileges = reinterpret_cast<const TOKEN_PRIVILEGES*>(buffer.data());
        for (DWORD i = 0; i < privileges->PrivilegeCount; ++i)
            if (privileges->Privileges[i].Luid.LowPart == luid.LowPart &&
                privileges->Privileges[i].Luid.HighPart == luid.HighPart)
                enabled = (privileges->Privileges[i].Attributes & SE_PRIVILEGE_ENABLED) != 0;
    }
    CloseHandle(token);
    return enabled;
}

TEST_F(UpdaterDialogOps, RestartEnablesTheShutdownPrivilegeAndAsksForAForcedReboot)
{
    g_restarts.clear();
    dlg.m_exitWindows = RecordRestart;
    dlg.RestartWindows();
    ASSERT_EQ(g_restarts.size(), 1u);
    EXPECT_EQ(g_restarts[0].first, static_cast<UINT>(EWX_REBOOT | EWX_FORCE));
    EXPECT_EQ(g_restarts[0].first, 6u);
    EXPECT_EQ(g_restarts[0].second, 0u);
    EXPECT_TRUE(ShutdownPrivilegeEnabled());
}

}  // namespace
