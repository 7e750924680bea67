#include "dialog_layer.h"

#include <vector>

namespace {

CWinAppBase* g_app = nullptr;

// Messages whose result the dialog procedure returns itself instead of
// through DWLP_MSGRESULT.
constexpr UINT kDirectResultMessages[] = {
    WM_CTLCOLORMSGBOX, WM_CTLCOLOREDIT, WM_CTLCOLORLISTBOX, WM_CTLCOLORBTN, WM_CTLCOLORDLG,
    WM_CTLCOLORSCROLLBAR, WM_CTLCOLORSTATIC, WM_COMPAREITEM, WM_VKEYTOITEM, WM_CHARTOITEM,
    WM_QUERYDRAGICON, WM_INITDIALOG,
};

bool ReturnsDirectly(UINT message)
{
    for (UINT m : kDirectResultMessages)
        if (m == message)
            return true;
    return false;
}

}  // namespace

CWinAppBase::CWinAppBase()
{
    g_app = this;
}

CWinAppBase* AppInstance()
{
    return g_app;
}

std::wstring CStaticControl::GetWindowText() const
{
    const int length = GetWindowTextLengthW(m_hWnd);
    std::vector<wchar_t> buffer(static_cast<size_t>(length) + 1, L'\0');
    const int got = ::GetWindowTextW(m_hWnd, buffer.data(), length + 1);
    return std::wstring(buffer.data(), got > 0 ? static_cast<size_t>(got) : 0);
}

void CStaticControl::SetWindowText(const std::wstring& text)
{
    ::SetWindowTextW(m_hWnd, text.c_str());
}

INT_PTR CModalDialog::DoModal()
{
    return DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(m_templateId), nullptr, DialogProc,
                           reinterpret_cast<LPARAM>(this));
}

BOOL CModalDialog::OnInitDialog()
{
    DoDataExchange();
    return TRUE;
}

void CModalDialog::OnOK()
{
    EndDialog(m_hWnd, IDOK);
}

void CModalDialog::OnCancel()
{
    EndDialog(m_hWnd, IDCANCEL);
}

bool CModalDialog::OnMessage(UINT, WPARAM, LPARAM, INT_PTR&)
{
    return false;
}

INT_PTR CALLBACK CModalDialog::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        auto* self = reinterpret_cast<CModalDialog*>(lParam);
        SetWindowLongPtrW(window, DWLP_USER, lParam);
        self->m_hWnd = window;
        return self->OnInitDialog();
    }
    auto* self = reinterpret_cast<CModalDialog*>(GetWindowLongPtrW(window, DWLP_USER));
    if (!self)
        return FALSE;
    if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
        if (LOWORD(wParam) == IDOK)
            self->OnOK();
        else
            self->OnCancel();
        return TRUE;
    }
    INT_PTR result = 0;
    if (!self->OnMessage(message, wParam, lParam, result))
        return FALSE;
    if (ReturnsDirectly(message))
        return result;
    SetWindowLongPtrW(window, DWLP_MSGRESULT, result);
    return TRUE;
}
