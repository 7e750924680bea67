// VexmarIcon1.dll loaded for real under Wine: its exports, its registration
// through regsvr32 and through the exports (and the registry state after
// each), DllInstall's per-user rule, the undo of a failed registration, the
// type library and the resources.
#include <gtest/gtest.h>

#include <windows.h>
#include <objbase.h>
#include <oleauto.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <string>
#include <vector>

namespace {

using DllRegisterServerFn = HRESULT(WINAPI*)();
using DllInstallFn = HRESULT(WINAPI*)(BOOL, LPCWSTR);
using DllGetClassObjectFn = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);

const wchar_t kDllPath[] = ICONSERVER_DLL_PATH;

// {4B7E2D19-8C3A-4F60-9D21-6A5E0C83F7B4}
const GUID kLibId = {0x4b7e2d19, 0x8c3a, 0x4f60, {0x9d, 0x21, 0x6a, 0x5e, 0x0c, 0x83, 0xf7, 0xb4}};
// {A3E61F08-52D7-4C9B-8E14-3F7B90D25C6A}
const GUID kAppId = {0xa3e61f08, 0x52d7, 0x4c9b, {0x8e, 0x14, 0x3f, 0x7b, 0x90, 0xd2, 0x5c, 0x6a}};
const wchar_t kTypeLibKey[] = L"TypeLib\\{4B7E2D19-8C3A-4F60-9D21-6A5E0C83F7B4}";
const wchar_t kUserTypeLibKey[] = L"Software\\Classes\\TypeLib\\{4B7E2D19-8C3A-4F60-9D21-6A5E0C83F7B4}";

// The custom data an interface compiler puts in a type library.
const GUID kCustomCompilerVersion = {0xde77ba64, 0x517c, 0x11d1, {0xa2, 0xda, 0x00, 0x00, 0xf8, 0x77, 0x3c, 0xe9}};
const GUID kCustomTimeStamp = {0xde77ba63, 0x517c, 0x11d1, {0xa2, 0xda, 0x00, 0x00, 0xf8, 0x77, 0x3c, 0xe9}};
const GUID kCustomCreatedBy = {0xde77ba65, 0x517c, 0x11d1, {0xa2, 0xda, 0x00, 0x00, 0xf8, 0x77, 0x3c, 0xe9}};

constexpr LANGID kResourceLanguage = 0x0404;
constexpr LANGID kManifestLanguage = 0x0409;
constexpr DWORD kRegsvr32Wait = 60000;  // ms
// 2020-01-01T00:00:00Z: a build time stamp cannot be older.
constexpr unsigned long kEarliestTimeStamp = 1577836800ul;

bool KeyExists(HKEY root, const std::wstring& path)
{
    HKEY key;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

std::wstring ReadString(HKEY root, const std::wstring& path, const wchar_t* value)
{
    wchar_t buffer[1024] = {};
    DWORD size = sizeof buffer - sizeof(wchar_t);
    if (RegGetValueW(root, path.c_str(), value, RRF_RT_REG_SZ, nullptr, buffer, &size) != ERROR_SUCCESS) {
        return L"<missing>";
    }
    return buffer;
}

std::set<std::wstring> SubKeys(HKEY root, const wchar_t* path)
{
    std::set<std::wstring> names;
    HKEY key;
    if (RegOpenKeyExW(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return names;
    wchar_t name[256];
    for (DWORD i = 0;; ++i) {
        DWORD length = 256;
        if (RegEnumKeyExW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        names.insert(name);
    }
    RegCloseKey(key);
    return names;
}

// What registration may touch, taken before and compared after.
struct RegistryView {
    std::set<std::wstring> typeLibs, userTypeLibs, appIds, userClasses;
    bool operator==(const RegistryView&) const = default;
};

RegistryView TakeRegistryView()
{
    return {SubKeys(HKEY_CLASSES_ROOT, L"TypeLib"), SubKeys(HKEY_CURRENT_USER, L"Software\\Classes\\TypeLib"),
            SubKeys(HKEY_CLASSES_ROOT, L"AppID"), SubKeys(HKEY_CURRENT_USER, L"Software\\Classes")};
}

void RemoveTypeLibEntries()
{
    RegDeleteTreeW(HKEY_CLASSES_ROOT, kTypeLibKey);
    RegDeleteTreeW(HKEY_CURRENT_USER, kUserTypeLibKey);
}

std::wstring ModulePath(HMODULE module)
{
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(module, path, MAX_PATH);
    return path;
}

bool SamePath(const std::wstring& a, const std::wstring& b) { return _wcsicmp(a.c_str(), b.c_str()) == 0; }

// The server loaded from a file; unloading resets its process-wide state (the
// per-user flag).
class Server {
public:
    explicit Server(const std::wstring& path) : m_module(LoadLibraryW(path.c_str())) {}
    ~Server()
    {
        if (m_module) FreeLibrary(m_module);
    }
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    HMODULE module() const { return m_module; }
    std::wstring path() const { return ModulePath(m_module); }
    template <typename Fn>
    Fn Get(const char* name) const
    {
        return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(GetProcAddress(m_module, name)));
    }
    HRESULT Register() const { return Get<DllRegisterServerFn>("DllRegisterServer")(); }
    HRESULT Unregister() const { return Get<DllRegisterServerFn>("DllUnregisterServer")(); }
    HRESULT Install(BOOL install, LPCWSTR commandLine) const
    {
        return Get<DllInstallFn>("DllInstall")(install, commandLine);
    }

private:
    HMODULE m_module;
};

// Points an export of a loaded module at a replacement, so that whoever looks
// the name up afterwards gets the replacement; the entry is put back at the end.
class ExportHook {
public:
    ExportHook(HMODULE module, const char* name, void* replacement)
    {
        auto* base = reinterpret_cast<BYTE*>(module);
        auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
        const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
        auto* exports = reinterpret_cast<IMAGE_EXPORT_DIRECTORY*>(base + dir.VirtualAddress);
        auto* names = reinterpret_cast<DWORD*>(base + exports->AddressOfNames);
        auto* ordinals = reinterpret_cast<WORD*>(base + exports->AddressOfNameOrdinals);
        auto* functions = reinterpret_cast<DWORD*>(base + exports->AddressOfFunctions);
        for (DWORD i = 0; i < exports->NumberOfNames; ++i) {
            if (std::strcmp(reinterpret_cast<char*>(base + names[i]), name) != 0) continue;
            m_slot = &functions[ordinals[i]];
            m_saved = *m_slot;
            original = base + m_saved;
            Write(static_cast<DWORD>(reinterpret_cast<BYTE*>(replacement) - base));
            return;
        }
    }
    ~ExportHook()
    {
        if (m_slot) Write(m_saved);
    }
    ExportHook(const ExportHook&) = delete;
    ExportHook& operator=(const ExportHook&) = delete;

    bool installed() const { return m_slot != nullptr; }
    void* original = nullptr;

private:
    void Write(DWORD value)
    {
        DWORD old;
        VirtualProtect(m_slot, sizeof *m_slot, PAGE_READWRITE, &old);
        *m_slot = value;
        VirtualProtect(m_slot, sizeof *m_slot, old, &old);
    }
    DWORD* m_slot = nullptr;
    DWORD m_saved = 0;
};

class IconServer : public ::testing::Test {
protected:
    void SetUp() override
    {
        RemoveTypeLibEntries();
        before = TakeRegistryView();
    }
    void TearDown() override { RemoveTypeLibEntries(); }

    // The type-library entry as the platform's registration writes it.
    void ExpectRegisteredAt(const std::wstring& path)
    {
        const std::wstring version = std::wstring(kTypeLibKey) + L"\\1.0";
        ASSERT_TRUE(KeyExists(HKEY_CLASSES_ROOT, version));
        // Under the library's locale, 0x0409.
        EXPECT_PRED2(SamePath, ReadString(HKEY_CLASSES_ROOT, version + L"\\409\\win32", nullptr), path);
    }
    void ExpectRegistryAsBefore()
    {
        EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kTypeLibKey));
        EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kUserTypeLibKey));
        EXPECT_TRUE(TakeRegistryView() == before);
    }

    RegistryView before;
};

TEST_F(IconServer, ExportsExactlyTheFiveEntryPointsByName)
{
    Server server(kDllPath);
    ASSERT_NE(server.module(), nullptr) << GetLastError();
    auto* base = reinterpret_cast<BYTE*>(server.module());
    auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
    EXPECT_EQ(nt->FileHeader.Machine, IMAGE_FILE_MACHINE_I386);
    EXPECT_TRUE(nt->FileHeader.Characteristics & IMAGE_FILE_DLL);
    const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    auto* exports = reinterpret_cast<IMAGE_EXPORT_DIRECTORY*>(base + dir.VirtualAddress);
    auto* names = reinterpret_cast<DWORD*>(base + exports->AddressOfNames);
    std::vector<std::string> exported;
    for (DWORD i = 0; i < exports->NumberOfNames; ++i) exported.emplace_back(reinterpret_cast<char*>(base + names[i]));
    EXPECT_EQ(exports->NumberOfFunctions, 5u);
    const std::vector<std::string> expected = {"DllCanUnloadNow", "DllGetClassObject", "DllInstall",
                                               "DllRegisterServer", "DllUnregisterServer"};
    EXPECT_EQ(exported, expected);
    for (const std::string& name : expected) EXPECT_NE(GetProcAddress(server.module(), name.c_str()), nullptr) << name;
}

TEST_F(IconServer, ServesNoClassObjectAndCanAlwaysUnload)
{
    Server server(kDllPath);
    ASSERT_NE(server.module(), nullptr);
    auto getClassObject = server.Get<DllGetClassObjectFn>("DllGetClassObject");
    auto canUnloadNow = server.Get<DllRegisterServerFn>("DllCanUnloadNow");
    const GUID someClass = {0x12345678, 0x1234, 0x5678, {1, 2, 3, 4, 5, 6, 7, 8}};
    const GUID* classes[] = {&kLibId, &kAppId, &CLSID_NULL, &IID_IUnknown, &IID_IClassFactory, &someClass};
    const GUID* interfaces[] = {&IID_IClassFactory, &IID_IUnknown};
    for (const GUID* clsid : classes) {
        for (const GUID* iid : interfaces) {
            void* object = reinterpret_cast<void*>(0x1234);
            EXPECT_EQ(getClassObject(*clsid, *iid, &object), CLASS_E_CLASSNOTAVAILABLE);
            EXPECT_EQ(object, nullptr);
        }
    }
    EXPECT_EQ(getClassObject(kLibId, IID_IClassFactory, nullptr), E_POINTER);
    EXPECT_EQ(canUnloadNow(), S_OK);
    ASSERT_EQ(server.Register(), S_OK);
    EXPECT_EQ(canUnloadNow(), S_OK);
    ASSERT_EQ(server.Unregister(), S_OK);
    EXPECT_EQ(canUnloadNow(), S_OK);
}

TEST_F(IconServer, RegistersAndUnregistersTheTypeLibraryThroughItsExports)
{
    Server server(kDllPath);
    ASSERT_NE(server.module(), nullptr);
    ASSERT_EQ(server.Register(), S_OK);
    ExpectRegisteredAt(server.path());
    // Registering again rewrites the same entry.
    ASSERT_EQ(server.Register(), S_OK);
    ExpectRegisteredAt(server.path());
    ASSERT_EQ(server.Unregister(), S_OK);
    ExpectRegistryAsBefore();
    // With nothing registered the platform's unregistration fails, and that
    // failure comes back unchanged.
    const HRESULT again = server.Unregister();
    EXPECT_TRUE(FAILED(again)) << std::hex << again;
    ExpectRegistryAsBefore();
}

DWORD RunRegsvr32(const std::wstring& arguments)
{
    std::wstring commandLine = L"regsvr32.exe " + arguments;
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process)) {
        return GetLastError() | 0x80000000u;
    }
    DWORD code = STILL_ACTIVE;
    if (WaitForSingleObject(process.hProcess, kRegsvr32Wait) == WAIT_OBJECT_0) GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return code;
}

TEST_F(IconServer, Regsvr32RegistersAndUnregisters)
{
    const std::wstring path = [] {
        Server server(kDllPath);
        return server.path();
    }();
    const std::wstring quoted = L"\"" + path + L"\"";
    ASSERT_EQ(RunRegsvr32(L"/s " + quoted), 0u);
    ExpectRegisteredAt(path);
    ASSERT_EQ(RunRegsvr32(L"/u /s " + quoted), 0u);
    ExpectRegistryAsBefore();
    // Through DllInstall with the per-user command line, and back.
    ASSERT_EQ(RunRegsvr32(L"/s /n /i:user " + quoted), 0u);
    ExpectRegisteredAt(path);
    ASSERT_EQ(RunRegsvr32(L"/s /u /n /i:user " + quoted), 0u);
    ExpectRegistryAsBefore();
}

TEST_F(IconServer, RestoresTheCallersThreadLocale)
{
    const LCID german = MAKELCID(MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN), SORT_DEFAULT);
    const LCID saved = GetThreadLocale();
    ASSERT_TRUE(SetThreadLocale(german));
    {
        Server server(kDllPath);
        ASSERT_NE(server.module(), nullptr);
        EXPECT_EQ(server.Register(), S_OK);
        EXPECT_EQ(GetThreadLocale(), german);
        EXPECT_EQ(server.Unregister(), S_OK);
        EXPECT_EQ(GetThreadLocale(), german);
        EXPECT_TRUE(FAILED(server.Unregister()));  // the failure path too
        EXPECT_EQ(GetThreadLocale(), german);
        EXPECT_EQ(server.Install(TRUE, nullptr), S_OK);
        EXPECT_EQ(GetThreadLocale(), german);
        EXPECT_EQ(server.Install(FALSE, nullptr), S_OK);
        EXPECT_EQ(GetThreadLocale(), german);
    }
    SetThreadLocale(saved);
}

// Calls of the automation library's per-user entry points, seen through hooks
// that pass every call on.
int g_registerForUserCalls = 0;
int g_unregisterForUserCalls = 0;
void* g_registerForUser = nullptr;
void* g_unregisterForUser = nullptr;

HRESULT WINAPI CountingRegisterForUser(ITypeLib* typeLib, OLECHAR* path, OLECHAR* helpDir)
{
    ++g_registerForUserCalls;
    using Fn = HRESULT(WINAPI*)(ITypeLib*, OLECHAR*, OLECHAR*);
    return reinterpret_cast<Fn>(g_registerForUser)(typeLib, path, helpDir);
}

HRESULT WINAPI CountingUnregisterForUser(REFGUID libId, WORD major, WORD minor, LCID lcid, SYSKIND kind)
{
    ++g_unregisterForUserCalls;
    using Fn = HRESULT(WINAPI*)(REFGUID, WORD, WORD, LCID, SYSKIND);
    return reinterpret_cast<Fn>(g_unregisterForUser)(libId, major, minor, lcid, kind);
}

TEST_F(IconServer, DllInstallSwitchesToPerUserOnlyForTheWordUser)
{
    HMODULE automation = GetModuleHandleW(L"oleaut32.dll");
    ASSERT_NE(automation, nullptr);
    ExportHook registerHook(automation, "RegisterTypeLibForUser", reinterpret_cast<void*>(CountingRegisterForUser));
    ExportHook unregisterHook(automation, "UnRegisterTypeLibForUser",
                              reinterpret_cast<void*>(CountingUnregisterForUser));
    ASSERT_TRUE(registerHook.installed() && unregisterHook.installed());
    g_registerForUser = registerHook.original;
    g_unregisterForUser = unregisterHook.original;

    struct Case {
        const wchar_t* commandLine;
        bool perUser;
    };
    const Case cases[] = {
        {L"user", true},  {L"USER", true},  {L"uSeR", true},   {L"users", false}, {L"USERS", false},
        {L"use", false},  {L"", false},     {nullptr, false},  {L"user ", false}, {L" user", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.commandLine ? c.commandLine : L"(null)");
        g_registerForUserCalls = g_unregisterForUserCalls = 0;
        {
            Server server(kDllPath);  // fresh: the per-user flag starts off
            ASSERT_NE(server.module(), nullptr);
            ASSERT_EQ(server.Install(TRUE, c.commandLine), S_OK);
            ExpectRegisteredAt(server.path());  // HKCR shows per-user classes too
            ASSERT_EQ(server.Install(FALSE, c.commandLine), S_OK);
            ExpectRegistryAsBefore();
            // The mode stays for the life of the module: plain registration
            // after a per-user install is per-user as well.
            ASSERT_EQ(server.Register(), S_OK);
            ASSERT_EQ(server.Unregister(), S_OK);
        }
        const int expected = c.perUser ? 2 : 0;
        EXPECT_EQ(g_registerForUserCalls, expected);
        EXPECT_EQ(g_unregisterForUserCalls, expected);
    }
}

// A copy of the server whose resources are changed: one replaced, or all of
// them dropped but one (taken from the server itself).
class DamagedCopy {
public:
    // REGISTRY 101 replaced by `script`.
    explicit DamagedCopy(const char* script) : DamagedCopy(L"REGISTRY", 101, script, static_cast<DWORD>(std::strlen(script)), false) {}

    // Resource `type` `id` replaced by `size` bytes of `data`.
    static DamagedCopy Replaced(const wchar_t* type, WORD id, const void* data, DWORD size)
    {
        return DamagedCopy(type, id, data, size, false);
    }

    // Only resource `type` `id` of the server left.
    static DamagedCopy OnlyResource(const wchar_t* type, WORD id)
    {
        HMODULE original = LoadLibraryExW(kDllPath, nullptr, LOAD_LIBRARY_AS_DATAFILE);
        HRSRC resource = FindResourceW(original, MAKEINTRESOURCEW(id), type);
        const void* data = resource ? LockResource(LoadResource(original, resource)) : nullptr;
        const DWORD size = resource ? SizeofResource(original, resource) : 0;
        std::vector<BYTE> copy(static_cast<const BYTE*>(data), static_cast<const BYTE*>(data) + size);
        FreeLibrary(original);
        return DamagedCopy(type, id, copy.data(), size, true);
    }

    ~DamagedCopy()
    {
        if (!m_path.empty()) DeleteFileW(m_path.c_str());
    }
    DamagedCopy(DamagedCopy&& other) noexcept : m_path(std::move(other.m_path)), m_ok(other.m_ok) { other.m_path.clear(); }
    DamagedCopy(const DamagedCopy&) = delete;
    DamagedCopy& operator=(const DamagedCopy&) = delete;

    bool ok() const { return m_ok; }
    const std::wstring& path() const { return m_path; }

private:
    DamagedCopy(const wchar_t* type, WORD id, const void* data, DWORD size, bool dropOthers)
    {
        wchar_t dir[MAX_PATH];
        GetTempPathW(MAX_PATH, dir);
        static int copies = 0;
        m_path = std::wstring(dir) + L"VexmarIcon1-damaged" + std::to_wstring(++copies) + L".dll";
        if (!CopyFileW(kDllPath, m_path.c_str(), FALSE)) return;
        HANDLE update = BeginUpdateResourceW(m_path.c_str(), dropOthers);
        if (!update) return;
        const BOOL changed = UpdateResourceW(update, type, MAKEINTRESOURCEW(id), kResourceLanguage,
                                             const_cast<void*>(data), size);
        m_ok = EndUpdateResourceW(update, !changed) && changed;
    }

    std::wstring m_path;
    bool m_ok = false;
};

TEST_F(IconServer, ARefusedScriptFailsRegistrationBeforeTheTypeLibrary)
{
    struct Case {
        const char* what;
        const char* script;
        HRESULT expected;
    };
    const Case cases[] = {
        {"a script that names a key", "HKCR\r\n{\r\n  NoRemove AppID\r\n  {\r\n    '%APPID%'\r\n  }\r\n}\r\n", E_NOTIMPL},
        {"a broken script", "HKCR\r\n{\r\n", DISP_E_EXCEPTION},
        {"an unknown root key", "HKXX\r\n{\r\n}\r\n", DISP_E_EXCEPTION},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        DamagedCopy copy(c.script);
        ASSERT_TRUE(copy.ok());
        Server server(copy.path());
        ASSERT_NE(server.module(), nullptr);
        EXPECT_EQ(server.Register(), c.expected);
        ExpectRegistryAsBefore();
        EXPECT_EQ(server.Install(TRUE, nullptr), c.expected);
        ExpectRegistryAsBefore();
    }
}

TEST_F(IconServer, DllInstallUndoesAFailedRegistration)
{
    // The good server's entry is in place; a copy whose script is refused
    // shares its LIBID, so the undo of the copy's failed install takes the
    // entry away again, and the install reports the registration's failure,
    // not the undo's.
    Server good(kDllPath);
    ASSERT_EQ(good.Register(), S_OK);
    ExpectRegisteredAt(good.path());
    const char script[] = "HKCR\r\n{\r\n  Key\r\n}\r\n";
    DamagedCopy copy(script);
    ASSERT_TRUE(copy.ok());
    Server damaged(copy.path());
    ASSERT_NE(damaged.module(), nullptr);
    EXPECT_EQ(damaged.Register(), E_NOTIMPL);
    ExpectRegisteredAt(good.path());  // a plain failed registration undoes nothing
    EXPECT_EQ(damaged.Install(TRUE, nullptr), E_NOTIMPL);
    ExpectRegistryAsBefore();
}

TEST_F(IconServer, AMissingOrDamagedTypeLibraryFailsWithTheLoadersError)
{
    const char garbage[] = "this is no type library, only some text in its place";
    DamagedCopy copies[] = {DamagedCopy::OnlyResource(L"REGISTRY", 101),
                            DamagedCopy::Replaced(L"TYPELIB", 1, garbage, sizeof garbage)};
    for (DamagedCopy& copy : copies) {
        ASSERT_TRUE(copy.ok());
        ITypeLib* typeLib = nullptr;
        const HRESULT loaderError = LoadTypeLibEx(copy.path().c_str(), REGKIND_NONE, &typeLib);
        ASSERT_TRUE(FAILED(loaderError));
        Server server(copy.path());
        ASSERT_NE(server.module(), nullptr);
        EXPECT_EQ(server.Register(), loaderError);
        ExpectRegistryAsBefore();
        EXPECT_EQ(server.Install(TRUE, nullptr), loaderError);
        EXPECT_EQ(server.Unregister(), loaderError);
        ExpectRegistryAsBefore();
    }
}

TEST_F(IconServer, AMissingScriptFailsRegistration)
{
    DamagedCopy copy = DamagedCopy::OnlyResource(L"TYPELIB", 1);
    ASSERT_TRUE(copy.ok());
    Server server(copy.path());
    ASSERT_NE(server.module(), nullptr);
    const HRESULT hr = server.Register();
    EXPECT_TRUE(FAILED(hr)) << std::hex << hr;
    ExpectRegistryAsBefore();
}

TEST_F(IconServer, TypeLibraryIsTheEmptyVexmarIcon1Lib)
{
    Server server(kDllPath);
    ASSERT_NE(server.module(), nullptr);
    ITypeLib* typeLib = nullptr;
    ASSERT_EQ(LoadTypeLib(server.path().c_str(), &typeLib), S_OK);
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kTypeLibKey));  // loading by full path registers nothing

    TLIBATTR* attributes = nullptr;
    ASSERT_EQ(typeLib->GetLibAttr(&attributes), S_OK);
    EXPECT_TRUE(IsEqualGUID(attributes->guid, kLibId));
    EXPECT_EQ(attributes->wMajorVerNum, 1);
    EXPECT_EQ(attributes->wMinorVerNum, 0);
    EXPECT_EQ(attributes->lcid, 0x0409u);
    EXPECT_EQ(attributes->syskind, SYS_WIN32);
    // No flags of its own; the platform marks every library it loaded from a file.
    EXPECT_EQ(attributes->wLibFlags & ~LIBFLAG_FHASDISKIMAGE, 0);
    typeLib->ReleaseTLibAttr(attributes);
    EXPECT_EQ(typeLib->GetTypeInfoCount(), 0u);

    BSTR name = nullptr, doc = nullptr, helpFile = nullptr;
    DWORD helpContext = 1;
    ASSERT_EQ(typeLib->GetDocumentation(-1, &name, &doc, &helpContext, &helpFile), S_OK);
    EXPECT_STREQ(name, L"VexmarIcon1Lib");
    EXPECT_EQ(SysStringLen(doc), 0u);
    EXPECT_EQ(helpFile, nullptr);
    EXPECT_EQ(helpContext, 0u);
    SysFreeString(name);
    SysFreeString(doc);
    SysFreeString(helpFile);

    ITypeLib2* typeLib2 = nullptr;
    ASSERT_EQ(typeLib->QueryInterface(IID_ITypeLib2, reinterpret_cast<void**>(&typeLib2)), S_OK);
    CUSTDATA all = {};
    ASSERT_EQ(typeLib2->GetAllCustData(&all), S_OK);
    EXPECT_EQ(all.cCustData, 3u);
    ClearCustData(&all);

    VARIANT version, stamp, createdBy;
    VariantInit(&version);
    VariantInit(&stamp);
    VariantInit(&createdBy);
    ASSERT_EQ(typeLib2->GetCustData(kCustomCompilerVersion, &version), S_OK);
    ASSERT_EQ(typeLib2->GetCustData(kCustomTimeStamp, &stamp), S_OK);
    ASSERT_EQ(typeLib2->GetCustData(kCustomCreatedBy, &createdBy), S_OK);
    ASSERT_EQ(VariantChangeType(&version, &version, 0, VT_UI4), S_OK);
    ASSERT_EQ(VariantChangeType(&stamp, &stamp, 0, VT_UI4), S_OK);
    ASSERT_EQ(V_VT(&createdBy), VT_BSTR);
    EXPECT_NE(V_UI4(&version), 0u);
    EXPECT_GE(V_UI4(&stamp), kEarliestTimeStamp);
    // The text names the compiler's version and the time.
    const std::wstring text = V_BSTR(&createdBy);
    const std::wstring major = std::to_wstring(V_UI4(&version) >> 24) + L".";
    EXPECT_NE(text.find(L"version " + major), std::wstring::npos) << text;
    EXPECT_NE(text.find(L" at "), std::wstring::npos) << text;
    VariantClear(&createdBy);
    typeLib2->Release();
    typeLib->Release();
}

// The images of an icon group, as their directory lists them.
#pragma pack(push, 2)
struct GroupIconEntry {
    BYTE width, height, colourCount, reserved;
    WORD planes, bitCount;
    DWORD bytes;
    WORD id;
};
struct GroupIconHeader {
    WORD reserved, type, count;
};
#pragma pack(pop)

const void* ResourceData(HMODULE module, const wchar_t* type, const wchar_t* name, DWORD* size)
{
    HRSRC resource = FindResourceW(module, name, type);
    if (!resource) return nullptr;
    *size = SizeofResource(module, resource);
    return LockResource(LoadResource(module, resource));
}

// Palette indices used by the opaque pixels of one 4-bit icon image.
std::set<int> OpaqueColours(const BITMAPINFOHEADER* header)
{
    const int n = header->biWidth;
    const auto* xorBits = reinterpret_cast<const BYTE*>(header) + header->biSize + 16 * sizeof(RGBQUAD);
    const int xorStride = ((n * 4 + 31) / 32) * 4;
    const int andStride = ((n + 31) / 32) * 4;
    const BYTE* andBits = xorBits + xorStride * n;
    std::set<int> colours;
    for (int y = 0; y < n; ++y) {
        for (int x = 0; x < n; ++x) {
            if (andBits[y * andStride + x / 8] & (0x80 >> (x % 8))) continue;
            const BYTE pair = xorBits[y * xorStride + x / 2];
            colours.insert(x % 2 ? pair & 0x0f : pair >> 4);
        }
    }
    return colours;
}

TEST_F(IconServer, IconsLoadAtTheirSizesIn16Colours)
{
    Server server(kDllPath);
    ASSERT_NE(server.module(), nullptr);
    constexpr int kNavy = 4, kSilver = 7, kGrey = 8, kRed = 9, kYellow = 11;
    struct Group {
        WORD id;
        std::vector<int> sizes;
        std::vector<int> colours;  // some that the picture must show
    };
    const Group groups[] = {{201, {32, 16}, {kNavy, kRed, kYellow}}, {202, {32}, {kGrey, kSilver, kYellow}}};
    for (const Group& g : groups) {
        SCOPED_TRACE(g.id);
        DWORD size = 0;
        const auto* dir = static_cast<const BYTE*>(ResourceData(server.module(), RT_GROUP_ICON, MAKEINTRESOURCEW(g.id), &size));
        ASSERT_NE(dir, nullptr);
        const auto* header = reinterpret_cast<const GroupIconHeader*>(dir);
        ASSERT_EQ(header->count, g.sizes.size());
        const auto* entries = reinterpret_cast<const GroupIconEntry*>(dir + sizeof(GroupIconHeader));
        for (size_t i = 0; i < g.sizes.size(); ++i) {
            const int px = g.sizes[i];
            SCOPED_TRACE(px);
            EXPECT_EQ(entries[i].width, px);
            EXPECT_EQ(entries[i].height, px);
            EXPECT_EQ(entries[i].colourCount, 16);
            EXPECT_EQ(entries[i].bitCount, 4);

            // The image the platform picks for this size is 4 bits deep.
            const int id = LookupIconIdFromDirectoryEx(const_cast<BYTE*>(dir), TRUE, px, px, LR_DEFAULTCOLOR);
            DWORD imageSize = 0;
            const auto* image = static_cast<const BITMAPINFOHEADER*>(
                ResourceData(server.module(), RT_ICON, MAKEINTRESOURCEW(id), &imageSize));
            ASSERT_NE(image, nullptr);
            EXPECT_EQ(image->biWidth, px);
            EXPECT_EQ(image->biHeight, 2 * px);
            EXPECT_EQ(image->biBitCount, 4);
            EXPECT_EQ(image->biCompression, static_cast<DWORD>(BI_RGB));
            const std::set<int> shown = OpaqueColours(image);
            for (int colour : g.colours) EXPECT_TRUE(shown.count(colour)) << "colour " << colour;

            HICON icon = static_cast<HICON>(LoadImageW(server.module(), MAKEINTRESOURCEW(g.id), IMAGE_ICON, px, px, 0));
            ASSERT_NE(icon, nullptr);
            ICONINFO info = {};
            ASSERT_TRUE(GetIconInfo(icon, &info));
            BITMAP bitmap = {};
            GetObjectW(info.hbmColor, sizeof bitmap, &bitmap);
            EXPECT_EQ(bitmap.bmWidth, px);
            EXPECT_EQ(bitmap.bmHeight, px);
            DeleteObject(info.hbmColor);
            DeleteObject(info.hbmMask);
            DestroyIcon(icon);
        }
    }
    // The small picture is its own image, not the large one scaled.
    DWORD size = 0;
    auto* dir = static_cast<BYTE*>(const_cast<void*>(ResourceData(server.module(), RT_GROUP_ICON, MAKEINTRESOURCEW(201), &size)));
    EXPECT_NE(LookupIconIdFromDirectoryEx(dir, TRUE, 16, 16, 0), LookupIconIdFromDirectoryEx(dir, TRUE, 32, 32, 0));
}

BOOL CALLBACK CollectLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR param)
{
    reinterpret_cast<std::set<WORD>*>(param)->insert(language);
    return TRUE;
}

std::wstring VersionString(const std::vector<BYTE>& info, const wchar_t* field)
{
    wchar_t* value = nullptr;
    UINT length = 0;
    const std::wstring query = std::wstring(L"\\StringFileInfo\\040404b0\\") + field;
    if (!VerQueryValueW(info.data(), query.c_str(), reinterpret_cast<void**>(&value), &length)) return L"<missing>";
    return value;
}

TEST_F(IconServer, ResourcesCarryScriptStringVersionAndManifest)
{
    Server server(kDllPath);
    ASSERT_NE(server.module(), nullptr);
    HMODULE m = server.module();

    DWORD size = 0;
    const void* script = ResourceData(m, L"REGISTRY", MAKEINTRESOURCEW(101), &size);
    ASSERT_NE(script, nullptr);
    EXPECT_EQ(std::string(static_cast<const char*>(script), size), std::string("HKCR\r\n{\r\n}\r\n"));
    EXPECT_EQ(size, 12u);

    struct Named {
        const wchar_t* type;
        const wchar_t* name;
        LANGID language;
    };
    const Named resources[] = {
        {L"REGISTRY", MAKEINTRESOURCEW(101), kResourceLanguage},
        {L"TYPELIB", MAKEINTRESOURCEW(1), kResourceLanguage},
        {RT_GROUP_ICON, MAKEINTRESOURCEW(201), kResourceLanguage},
        {RT_GROUP_ICON, MAKEINTRESOURCEW(202), kResourceLanguage},
        {RT_STRING, MAKEINTRESOURCEW(100 / 16 + 1), kResourceLanguage},
        {RT_VERSION, MAKEINTRESOURCEW(1), kResourceLanguage},
        {RT_MANIFEST, MAKEINTRESOURCEW(2), kManifestLanguage},
    };
    for (const Named& r : resources) {
        std::set<WORD> languages;
        EnumResourceLanguagesW(m, r.type, r.name, CollectLanguage, reinterpret_cast<LONG_PTR>(&languages));
        EXPECT_EQ(languages, std::set<WORD>{r.language}) << (IS_INTRESOURCE(r.type) ? reinterpret_cast<ULONG_PTR>(r.type) : 0);
    }

    wchar_t text[64] = {};
    EXPECT_EQ(LoadStringW(m, 100, text, 64), 11);
    EXPECT_STREQ(text, L"VexmarIcon1");

    const std::wstring path = server.path();
    DWORD handle = 0;
    std::vector<BYTE> info(GetFileVersionInfoSizeW(path.c_str(), &handle));
    ASSERT_FALSE(info.empty());
    ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, static_cast<DWORD>(info.size()), info.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0x00000001u);
    EXPECT_EQ(fixed->dwProductVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwProductVersionLS, 0x00000001u);
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_DLL));
    DWORD* translation = nullptr;
    ASSERT_TRUE(VerQueryValueW(info.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation), &length));
    EXPECT_EQ(*translation, 0x04b00404u);  // language 0x0404, code page 1200
    EXPECT_EQ(VersionString(info, L"InternalName"), L"VexmarIcon1.dll");
    EXPECT_EQ(VersionString(info, L"OriginalFilename"), L"VexmarIcon1.dll");
    EXPECT_EQ(VersionString(info, L"FileVersion"), L"1.0.0.1");
    EXPECT_EQ(VersionString(info, L"ProductVersion"), L"1.0.0.1");

    const void* manifest = ResourceData(m, RT_MANIFEST, MAKEINTRESOURCEW(2), &size);
    ASSERT_NE(manifest, nullptr);
    const std::string xml(static_cast<const char*>(manifest), size);
    EXPECT_NE(xml.find("level=\"asInvoker\""), std::string::npos);
    EXPECT_NE(xml.find("uiAccess=\"false\""), std::string::npos);
}

}  // namespace
