// The icon server's module object: its identity (type library, AppID and the
// application-id script), the lock count, the per-user registration flag and
// the class-object map, which is empty: the server carries icons and a type
// library but no COM class.
#pragma once

#include <windows.h>
#include <objbase.h>
#include <oleauto.h>

class CVexmarIcon1Module {
public:
    static const GUID kLibId;
    static const char kAppIdText[];  // the script's APPID replacement

    void DllMain(HINSTANCE instance, DWORD reason);

    LONG Lock() { return InterlockedIncrement(&m_lockCount); }
    LONG Unlock() { return InterlockedDecrement(&m_lockCount); }
    LONG GetLockCount() const { return m_lockCount; }

    void SetPerUserRegistration(bool perUser) { m_perUser = perUser; }
    bool IsPerUserRegistration() const { return m_perUser; }

    // The bodies of the exports.
    HRESULT DllRegisterServer();
    HRESULT DllUnregisterServer();
    HRESULT DllCanUnloadNow() const;
    HRESULT DllGetClassObject(REFCLSID clsid, REFIID iid, void** object);

private:
    HRESULT RunAppIdScript();
    HRESULT RegisterServer();
    HRESULT UnregisterServer();
    HRESULT RegisterOwnTypeLib();
    HRESULT UnregisterOwnTypeLib();
    HRESULT LoadOwnTypeLib(ITypeLib** typeLib, BSTR* path);

    HINSTANCE m_instance = nullptr;
    volatile LONG m_lockCount = 0;
    bool m_perUser = false;
};

extern CVexmarIcon1Module g_module;
