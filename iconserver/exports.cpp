// The server's entry routine and its five exports; each hands the call to the
// module object.
#include "module.h"

namespace {

// DllInstall's command line that selects per-user registration, compared over
// its length including the terminating zero, so "users" does not match.
constexpr wchar_t kPerUserCommand[] = L"user";
constexpr size_t kPerUserCommandLength = sizeof(kPerUserCommand) / sizeof(kPerUserCommand[0]);

wchar_t FoldCase(wchar_t c) { return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c - L'A' + L'a') : c; }

bool IsPerUserCommand(const wchar_t* commandLine)
{
    if (!commandLine) return false;
    // A shorter text stops at its own zero, which differs from the letter there.
    for (size_t i = 0; i < kPerUserCommandLength; ++i) {
        if (FoldCase(commandLine[i]) != kPerUserCommand[i]) return false;
    }
    return true;
}

}  // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    g_module.DllMain(instance, reason);
    return TRUE;
}

HRESULT STDAPICALLTYPE DllRegisterServer() { return g_module.DllRegisterServer(); }

HRESULT STDAPICALLTYPE DllUnregisterServer() { return g_module.DllUnregisterServer(); }

HRESULT STDAPICALLTYPE DllInstall(BOOL install, LPCWSTR commandLine)
{
    if (IsPerUserCommand(commandLine)) g_module.SetPerUserRegistration(true);
    if (!install) return g_module.DllUnregisterServer();
    const HRESULT hr = g_module.DllRegisterServer();
    // A failed registration is undone as far as it went; its own failure is
    // what the caller learns.
    if (FAILED(hr)) g_module.DllUnregisterServer();
    return hr;
}

HRESULT STDAPICALLTYPE DllCanUnloadNow() { return g_module.DllCanUnloadNow(); }

HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* object)
{
    return g_module.DllGetClassObject(clsid, iid, object);
}

}  // extern "C"
