#include "module.h"

#include <oleauto.h>

#include <string>

#include "registrar_script.h"
#include "resource.h"

// {4B7E2D19-8C3A-4F60-9D21-6A5E0C83F7B4}
const GUID CVexmarIcon1Module::kLibId = {
    0x4b7e2d19, 0x8c3a, 0x4f60, {0x9d, 0x21, 0x6a, 0x5e, 0x0c, 0x83, 0xf7, 0xb4}};
const char CVexmarIcon1Module::kAppIdText[] = "{A3E61F08-52D7-4C9B-8E14-3F7B90D25C6A}";

CVexmarIcon1Module g_module;

namespace {

// Registration runs in the system default locale, whatever the caller's thread
// uses, and gives the caller's locale back afterwards.
constexpr LCID kRegistrationLocale = LOCALE_SYSTEM_DEFAULT;

// The script's resource type, and the results of a script the interpreter
// refuses: a broken script fails as the registrar's parser fails; a sound one
// that would write keys fails as not implemented, since this interpreter
// writes none.
constexpr wchar_t kScriptResourceType[] = L"REGISTRY";
constexpr HRESULT kScriptMalformed = DISP_E_EXCEPTION;
constexpr HRESULT kScriptUnsupported = E_NOTIMPL;

// The automation library's per-user registration entry points, looked up by
// name because older systems lack them.
constexpr wchar_t kAutomationLibrary[] = L"oleaut32.dll";
constexpr char kRegisterForUserName[] = "RegisterTypeLibForUser";
constexpr char kUnregisterForUserName[] = "UnRegisterTypeLibForUser";
using RegisterTypeLibFn = HRESULT(WINAPI*)(ITypeLib*, OLECHAR*, OLECHAR*);
using UnregisterTypeLibFn = HRESULT(WINAPI*)(REFGUID, WORD, WORD, LCID, SYSKIND);

// Longest module path looked for: the limit of an extended-length path.
constexpr DWORD kMaxModulePath = 32768;

// One class of the server: how COM would get its class object and how it
// would register. The server has none.
struct ObjectMapEntry {
    const CLSID* clsid;
    HRESULT (*getClassObject)(REFIID iid, void** object);
    HRESULT (*updateRegistry)(bool registering);
};
constexpr const ObjectMapEntry* kObjectMap = nullptr;
constexpr size_t kObjectMapSize = 0;

template <typename Fn>
Fn LookUpAutomationEntry(const char* name)
{
    HMODULE automation = GetModuleHandleW(kAutomationLibrary);
    if (!automation) return nullptr;
    FARPROC proc = GetProcAddress(automation, name);
    // Through the generic function-pointer type, which converts to any other.
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(proc));
}

HRESULT LastErrorResult()
{
    const DWORD error = GetLastError();
    return error ? HRESULT_FROM_WIN32(error) : E_FAIL;
}

class ThreadLocaleSwitch {
public:
    explicit ThreadLocaleSwitch(LCID locale) : m_saved(GetThreadLocale()) { SetThreadLocale(locale); }
    ~ThreadLocaleSwitch() { SetThreadLocale(m_saved); }
    ThreadLocaleSwitch(const ThreadLocaleSwitch&) = delete;
    ThreadLocaleSwitch& operator=(const ThreadLocaleSwitch&) = delete;

private:
    LCID m_saved;
};

// Releases an interface when the scope ends.
template <typename T>
class Released {
public:
    ~Released()
    {
        if (p) p->Release();
    }
    T* p = nullptr;
};

class FreedString {
public:
    ~FreedString() { SysFreeString(s); }
    BSTR s = nullptr;
};

}  // namespace

void CVexmarIcon1Module::DllMain(HINSTANCE instance, DWORD reason)
{
    if (reason == DLL_PROCESS_ATTACH) m_instance = instance;
}

HRESULT CVexmarIcon1Module::DllRegisterServer()
{
    ThreadLocaleSwitch locale(kRegistrationLocale);
    HRESULT hr = RunAppIdScript();
    if (SUCCEEDED(hr)) hr = RegisterServer();
    return hr;
}

HRESULT CVexmarIcon1Module::DllUnregisterServer()
{
    ThreadLocaleSwitch locale(kRegistrationLocale);
    HRESULT hr = UnregisterServer();
    if (SUCCEEDED(hr)) hr = RunAppIdScript();
    return hr;
}

HRESULT CVexmarIcon1Module::DllCanUnloadNow() const { return GetLockCount() == 0 ? S_OK : S_FALSE; }

HRESULT CVexmarIcon1Module::DllGetClassObject(REFCLSID clsid, REFIID iid, void** object)
{
    if (!object) return E_POINTER;
    *object = nullptr;
    for (size_t i = 0; i < kObjectMapSize; ++i) {
        if (IsEqualCLSID(*kObjectMap[i].clsid, clsid)) return kObjectMap[i].getClassObject(iid, object);
    }
    return CLASS_E_CLASSNOTAVAILABLE;
}

// The application-id script. Register and unregister mode read the same text;
// its root blocks are empty, so neither writes anything, and a script with
// anything more is refused.
HRESULT CVexmarIcon1Module::RunAppIdScript()
{
    HRSRC resource = FindResourceW(m_instance, MAKEINTRESOURCEW(IDR_VEXMARICON1), kScriptResourceType);
    if (!resource) return LastErrorResult();
    HGLOBAL loaded = LoadResource(m_instance, resource);
    const void* data = loaded ? LockResource(loaded) : nullptr;
    if (!data) return LastErrorResult();
    const std::string_view text(static_cast<const char*>(data), SizeofResource(m_instance, resource));

    const iconserver::ScriptReplacement replacements[] = {{"APPID", kAppIdText}};
    switch (iconserver::RunRegistrarScript(text, replacements, 1).status) {
    case iconserver::ScriptStatus::Ok:
        return S_OK;
    case iconserver::ScriptStatus::Unsupported:
        return kScriptUnsupported;
    case iconserver::ScriptStatus::Malformed:
        break;
    }
    return kScriptMalformed;
}

HRESULT CVexmarIcon1Module::RegisterServer()
{
    for (size_t i = 0; i < kObjectMapSize; ++i) {
        const HRESULT hr = kObjectMap[i].updateRegistry(true);
        if (FAILED(hr)) return hr;
    }
    return RegisterOwnTypeLib();
}

HRESULT CVexmarIcon1Module::UnregisterServer()
{
    for (size_t i = 0; i < kObjectMapSize; ++i) {
        const HRESULT hr = kObjectMap[i].updateRegistry(false);
        if (FAILED(hr)) return hr;
    }
    return UnregisterOwnTypeLib();
}

// Loads the type library from the module's own file (its TYPELIB 1) and gives
// back the module's full path.
HRESULT CVexmarIcon1Module::LoadOwnTypeLib(ITypeLib** typeLib, BSTR* path)
{
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(m_instance, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) return LastErrorResult();
        if (length < buffer.size()) {
            buffer.resize(length);
            break;
        }
        if (buffer.size() >= kMaxModulePath) return HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
        buffer.resize(buffer.size() * 2);
    }
    *path = SysAllocStringLen(buffer.data(), static_cast<UINT>(buffer.size()));
    if (!*path) return E_OUTOFMEMORY;
    return LoadTypeLib(*path, typeLib);
}

HRESULT CVexmarIcon1Module::RegisterOwnTypeLib()
{
    Released<ITypeLib> typeLib;
    FreedString path;
    HRESULT hr = LoadOwnTypeLib(&typeLib.p, &path.s);
    if (FAILED(hr)) return hr;

    // The help directory is the folder of the library's help file, if it names one.
    FreedString helpFile;
    hr = typeLib.p->GetDocumentation(-1, nullptr, nullptr, nullptr, &helpFile.s);
    if (FAILED(hr)) return hr;
    std::wstring helpDir;
    if (helpFile.s) {
        helpDir.assign(helpFile.s, SysStringLen(helpFile.s));
        const size_t slash = helpDir.find_last_of(L"\\/");
        helpDir.resize(slash == std::wstring::npos ? 0 : slash);
    }

    RegisterTypeLibFn registerFn = nullptr;
    if (m_perUser) registerFn = LookUpAutomationEntry<RegisterTypeLibFn>(kRegisterForUserName);
    if (!registerFn) registerFn = ::RegisterTypeLib;
    return registerFn(typeLib.p, path.s, helpFile.s ? helpDir.data() : nullptr);
}

HRESULT CVexmarIcon1Module::UnregisterOwnTypeLib()
{
    Released<ITypeLib> typeLib;
    FreedString path;
    HRESULT hr = LoadOwnTypeLib(&typeLib.p, &path.s);
    if (FAILED(hr)) return hr;

    TLIBATTR* attributes = nullptr;
    hr = typeLib.p->GetLibAttr(&attributes);
    if (FAILED(hr)) return hr;
    const TLIBATTR entry = *attributes;
    typeLib.p->ReleaseTLibAttr(attributes);

    UnregisterTypeLibFn unregisterFn = nullptr;
    if (m_perUser) unregisterFn = LookUpAutomationEntry<UnregisterTypeLibFn>(kUnregisterForUserName);
    if (!unregisterFn) unregisterFn = ::UnRegisterTypeLib;
    return unregisterFn(entry.guid, entry.wMajorVerNum, entry.wMinorVerNum, entry.lcid, entry.syskind);
}
