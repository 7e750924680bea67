// Zelvar_FW_Update_Tool: the application object and the popup dialog that
// owns the update.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <string>

#include "dialog_layer.h"
#include "resource.h"
#include "update_sequence.h"

class CZelvar_FW_Update_ToolApp : public CWinAppBase {
public:
    CZelvar_FW_Update_ToolApp();
    BOOL InitInstance() override;
};

class CZelvar_FW_Update_ToolDlg : public CModalDialog, public UpdateSequence {
public:
    enum { IDD = IDD_UPDATE_POPUP };

    CZelvar_FW_Update_ToolDlg();

    // Runs cmd.exe with the parameters in the working directory, hidden, and
    // waits for it, dispatching one queued message per pass; the current
    // directory is m_appDir afterwards.
    void RunCommand(const std::wstring& workDir, const std::wstring& parameters) override;
    // Starts the product's silent uninstall, if the product is registered.
    void UninstallProduct() override;
    // Enables the shutdown privilege and asks for a forced reboot.
    void RestartWindows() override;

    // The shutdown request, replaceable so that tests never restart anything.
    using ExitWindowsFn = BOOL(WINAPI*)(UINT flags, DWORD reason);
    ExitWindowsFn m_exitWindows = ExitWindowsEx;
    // The uninstaller start, replaceable likewise.
    using ShellExecuteFn = HINSTANCE(WINAPI*)(HWND, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR, INT);
    ShellExecuteFn m_shellExecute = ShellExecuteW;

    void OnCancel() override;

    CStaticControl m_progressText;
    HICON m_hIcon;

protected:
    BOOL OnInitDialog() override;
    void DoDataExchange() override;
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) override;

    bool OnPaint();
    HCURSOR OnQueryDragIcon();
    void OnTimer(UINT_PTR id);

    void KillProcesses(const std::wstring& text) override;
    void WaitForProcess(const std::wstring& text) override;
    void WriteStatusValue(const std::wstring& key, const std::wstring& name, const std::wstring& text) override;
    bool DeleteStatusValue(const std::wstring& key, const std::wstring& name) override;
    std::wstring FindFirmware() override;
    bool NativeX64() override;
    void Pause(unsigned milliseconds) override;
    void StartDotsTimer() override;
    void StopDotsTimer() override;
    void ReleaseInput() override;
    void PostUpdateMessage(unsigned message) override;

private:
    struct MessageEntry;
    static const MessageEntry kMessageMap[];
};
