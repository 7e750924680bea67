#include "Zelvar_FW_Update_Tool.h"

#include <commctrl.h>
#include <shellapi.h>

#include <cstdlib>
#include <vector>

#include "operations.h"
#include "updater_logic.h"

namespace {

// The restart-manager support the application object announces.
constexpr DWORD kRestartManagerSupportRestart = 1;

// RunCommand's wait: a sleep, at most one dispatched message, then a short
// look at the process, per pass.
constexpr DWORD kCommandPassSleepMs = 1000;
constexpr DWORD kCommandPassWaitMs = 100;

// The restart: a forced reboot, no reason code.
constexpr UINT kRestartFlags = EWX_REBOOT | EWX_FORCE;
constexpr DWORD kRestartReason = 0;
constexpr wchar_t kShutdownPrivilege[] = L"SeShutdownPrivilege";
constexpr wchar_t kRestartErrorText[] = L"Exit Error";
constexpr wchar_t kTokenErrorTitle[] = L"OpenProcessToken() failed";
constexpr wchar_t kPrivilegeErrorTitle[] = L"LookupPrivilegeValue() failed";

// The command line as split once by the dialog's initialisation.
int g_argumentCount = 0;
LPWSTR* g_arguments = nullptr;

std::wstring ModulePath()
{
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD got = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (got == 0)
            return std::wstring();
        if (got < buffer.size())
            return std::wstring(buffer.data(), got);
        // Truncated: a path longer than MAX_PATH gets a bigger buffer rather
        // than a wrong directory.
        buffer.resize(buffer.size() * 2);
    }
}

}  // namespace

// ---------------------------------------------------------------------------
// Application

CZelvar_FW_Update_ToolApp::CZelvar_FW_Update_ToolApp()
{
    m_dwRestartManagerSupportFlags = kRestartManagerSupportRestart;
}

BOOL CZelvar_FW_Update_ToolApp::InitInstance()
{
    INITCOMMONCONTROLSEX controls = {};
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_WIN95_CLASSES;
    InitCommonControlsEx(&controls);

    CZelvar_FW_Update_ToolDlg dlg;
    m_pMainWnd = &dlg;
    const INT_PTR result = dlg.DoModal();
    // Input is never left blocked once the popup is gone.
    BlockInput(FALSE);
    std::exit(updater::ExitCodeForDialogResult(result));
}

// ---------------------------------------------------------------------------
// Dialog

struct CZelvar_FW_Update_ToolDlg::MessageEntry {
    UINT message;
    bool (*handler)(CZelvar_FW_Update_ToolDlg& dlg, WPARAM wParam, LPARAM lParam, INT_PTR& result);
};

const CZelvar_FW_Update_ToolDlg::MessageEntry CZelvar_FW_Update_ToolDlg::kMessageMap[] = {
    {WM_PAINT, [](CZelvar_FW_Update_ToolDlg& d, WPARAM, LPARAM, INT_PTR&) { return d.OnPaint(); }},
    {WM_QUERYDRAGICON,
     [](CZelvar_FW_Update_ToolDlg& d, WPARAM, LPARAM, INT_PTR& r) {
         r = reinterpret_cast<INT_PTR>(d.OnQueryDragIcon());
         return true;
     }},
    {WM_TIMER,
     [](CZelvar_FW_Update_ToolDlg& d, WPARAM w, LPARAM, INT_PTR&) {
         d.OnTimer(w);
         return false;  // the base handling follows
     }},
    {WM_UPDATE_WITH_STATUS,
     [](CZelvar_FW_Update_ToolDlg& d, WPARAM w, LPARAM l, INT_PTR& r) {
         r = d.OnUpdateWithStatus(w, l);
         return true;
     }},
    {WM_UPDATE_AND_RESTART,
     [](CZelvar_FW_Update_ToolDlg& d, WPARAM w, LPARAM l, INT_PTR& r) {
         r = d.OnUpdateAndRestart(w, l);
         return true;
     }},
};

CZelvar_FW_Update_ToolDlg::CZelvar_FW_Update_ToolDlg()
    : CModalDialog(IDD), m_hIcon(LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_UPDATER)))
{
}

bool CZelvar_FW_Update_ToolDlg::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result)
{
    for (const MessageEntry& e : kMessageMap)
        if (e.message == message)
            return e.handler(*this, wParam, lParam, result);
    return false;
}

void CZelvar_FW_Update_ToolDlg::DoDataExchange()
{
    m_progressText.Attach(GetDlgItem(m_hWnd, IDC_PROGRESS_TEXT));
}

BOOL CZelvar_FW_Update_ToolDlg::OnInitDialog()
{
    CModalDialog::OnInitDialog();

    SendMessageW(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    SendMessageW(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));

    g_arguments = CommandLineToArgvW(GetCommandLineW(), &g_argumentCount);

    // No taskbar button for the popup.
    SetWindowLongW(m_hWnd, GWL_EXSTYLE, GetWindowLongW(m_hWnd, GWL_EXSTYLE) & ~WS_EX_APPWINDOW);

    m_appDir = updater::AppDirFromModulePath(ModulePath());
    m_driverDir = updater::DriverDirFor(m_appDir, IsNativeX64());

    std::vector<std::wstring> arguments;
    for (int i = 0; g_arguments && i < g_argumentCount; ++i)
        arguments.emplace_back(g_arguments[i]);
    HandleArguments(arguments);
    return TRUE;
}

bool CZelvar_FW_Update_ToolDlg::OnPaint()
{
    if (!IsIconic(m_hWnd))
        return false;  // the dialog manager paints
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(m_hWnd, &paint);
    SendMessageW(m_hWnd, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    const int cxIcon = GetSystemMetrics(SM_CXICON);
    const int cyIcon = GetSystemMetrics(SM_CYICON);
    RECT rect;
    GetClientRect(m_hWnd, &rect);
    const int x = (rect.right - rect.left - cxIcon + 1) / 2;
    const int y = (rect.bottom - rect.top - cyIcon + 1) / 2;
    DrawIcon(dc, x, y, m_hIcon);
    EndPaint(m_hWnd, &paint);
    return true;
}

HCURSOR CZelvar_FW_Update_ToolDlg::OnQueryDragIcon()
{
    return static_cast<HCURSOR>(m_hIcon);
}

void CZelvar_FW_Update_ToolDlg::OnTimer(UINT_PTR id)
{
    if (id != ID_TIMER_DOTS)
        return;
    BlockInput(TRUE);
    m_progressText.SetWindowText(updater::AdvanceDots(m_progressText.GetWindowText()));
}

void CZelvar_FW_Update_ToolDlg::OnCancel()
{
    CModalDialog::OnCancel();
}

void CZelvar_FW_Update_ToolDlg::RunCommand(const std::wstring& workDir, const std::wstring& parameters)
{
    if (workDir.empty())
        return;
    SetCurrentDirectoryW(workDir.c_str());

    SHELLEXECUTEINFOW info = {};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS;
    info.hwnd = nullptr;
    info.lpVerb = nullptr;
    info.lpFile = L"cmd.exe";
    info.lpParameters = parameters.c_str();
    info.lpDirectory = L"";
    info.nShow = SW_HIDE;
    ShellExecuteExW(&info);

    for (;;) {
        Sleep(kCommandPassSleepMs);
        MSG msg;
        if (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&msg);
        const DWORD wait = WaitForSingleObject(info.hProcess, kCommandPassWaitMs);
        if (wait == WAIT_OBJECT_0 || wait == WAIT_FAILED)
            break;
    }
    if (info.hProcess)
        CloseHandle(info.hProcess);
    SetCurrentDirectoryW(m_appDir.c_str());
}

void CZelvar_FW_Update_ToolDlg::UninstallProduct()
{
    const std::wstring path = updater::UninstallerPath([](const std::wstring& keyPath) {
        return ReadRegString(HKEY_LOCAL_MACHINE, keyPath, updater::kUninstallValueName, L"", KEY_QUERY_VALUE);
    });
    if (path.empty())
        return;
    // Only an existing file is started: a folder would merely be opened in a
    // shell window, and a wildcard names no one program.
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return;
    m_shellExecute(nullptr, L"open", path.c_str(), updater::kUninstallParameters, nullptr, SW_HIDE);
}

void CZelvar_FW_Update_ToolDlg::RestartWindows()
{
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) {
        BlockInput(FALSE);
        MessageBoxW(nullptr, kRestartErrorText, kTokenErrorTitle, MB_SYSTEMMODAL);
        return;
    }
    TOKEN_PRIVILEGES privileges = {};
    if (!LookupPrivilegeValueW(nullptr, kShutdownPrivilege, &privileges.Privileges[0].Luid)) {
        CloseHandle(token);
        BlockInput(FALSE);
        MessageBoxW(nullptr, kRestartErrorText, kPrivilegeErrorTitle, MB_SYSTEMMODAL);
        return;
    }
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    AdjustTokenPrivileges(token, FALSE, &privileges, sizeof privileges, nullptr, nullptr);
    CloseHandle(token);
    m_exitWindows(kRestartFlags, kRestartReason);
}

void CZelvar_FW_Update_ToolDlg::KillProcesses(const std::wstring& text)
{
    KillProcessByName(text);
}

void CZelvar_FW_Update_ToolDlg::WaitForProcess(const std::wstring& text)
{
    WaitForProcessByName(text);
}

void CZelvar_FW_Update_ToolDlg::WriteStatusValue(const std::wstring& key, const std::wstring& name,
                                                 const std::wstring& text)
{
    WriteRegString(HKEY_LOCAL_MACHINE, key, name, text);
}

bool CZelvar_FW_Update_ToolDlg::DeleteStatusValue(const std::wstring& key, const std::wstring& name)
{
    return DeleteRegValue(HKEY_LOCAL_MACHINE, key, name);
}

std::wstring CZelvar_FW_Update_ToolDlg::FindFirmware()
{
    return FindFirmwareFile(m_appDir);
}

bool CZelvar_FW_Update_ToolDlg::NativeX64()
{
    return IsNativeX64();
}

void CZelvar_FW_Update_ToolDlg::Pause(unsigned milliseconds)
{
    Sleep(milliseconds);
}

void CZelvar_FW_Update_ToolDlg::StartDotsTimer()
{
    SetTimer(m_hWnd, ID_TIMER_DOTS, kDotsIntervalMs, nullptr);
}

void CZelvar_FW_Update_ToolDlg::StopDotsTimer()
{
    KillTimer(m_hWnd, ID_TIMER_DOTS);
}

void CZelvar_FW_Update_ToolDlg::ReleaseInput()
{
    BlockInput(FALSE);
}

void CZelvar_FW_Update_ToolDlg::PostUpdateMessage(unsigned message)
{
    PostMessageW(m_hWnd, message, 0, 0);
}
