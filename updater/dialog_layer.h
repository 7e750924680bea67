// A small dialog framework over plain Win32: an application object, a modal
// dialog built on a dialog template, and a static-text control wrapper. The
// dialog manager gives the usual keyboard handling (Enter -> IDOK, Escape ->
// IDCANCEL); the derived dialog handles the rest of its messages.
#pragma once

#include <windows.h>

#include <string>

class CModalDialog;

class CWinAppBase {
public:
    CWinAppBase();
    virtual ~CWinAppBase() = default;
    // Runs the application; the updater's ends the process from inside.
    virtual BOOL InitInstance() { return TRUE; }

    HINSTANCE m_hInstance = nullptr;
    CModalDialog* m_pMainWnd = nullptr;
    DWORD m_dwRestartManagerSupportFlags = 0;
};

// The one application object of the process.
CWinAppBase* AppInstance();

class CStaticControl {
public:
    void Attach(HWND control) { m_hWnd = control; }
    HWND GetSafeHwnd() const { return m_hWnd; }
    std::wstring GetWindowText() const;
    void SetWindowText(const std::wstring& text);

private:
    HWND m_hWnd = nullptr;
};

class CModalDialog {
public:
    explicit CModalDialog(UINT templateId) : m_templateId(templateId) {}
    virtual ~CModalDialog() = default;

    // Creates the dialog from its template in the program's module and runs
    // it; the result is what EndDialog gave, or -1 if it could not be created.
    INT_PTR DoModal();
    HWND GetSafeHwnd() const { return m_hWnd; }

protected:
    virtual BOOL OnInitDialog();
    virtual void DoDataExchange() {}
    virtual void OnOK();
    virtual void OnCancel();
    // The derived dialog's message map: returns true if it handled the
    // message, with the handler's result in result; false leaves the message
    // to the dialog manager's default handling.
    virtual bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result);

    HWND m_hWnd = nullptr;

private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    UINT m_templateId;
};
