// The real VexmarHotKeyDll.dll under Wine, without the driver: its exports
// by name, the calling convention, the version resource, and a load that
// fails after its trace lines (read from the debugger output through a
// DBWIN listener).
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <string>
#include <vector>

namespace {

const char* const kExports[] = {
    "VexmarIC_Detect", "SelectInterfaceType", "CHIPSET_inport_intel1", "CHIPSET_outport_intel1",
    "I2CReadByte", "I2CWriteByte", "CheckICID", "GetICVersion", "GetVersion218", "GetBotton218",
    "Test218", "ROMRead", "ROMWrite", "SPIRead", "SPIWrite", "SDKRead", "ResetRWFlag", "ExitCmd",
    "WriteToRom", "GetPercentage",
};

std::string DllPath()
{
    // The build passes a Unix path; Wine maps it to a drive path.
    std::string p = HOTKEY_DLL;
    if (!p.empty() && p[0] == '/')
        p = "Z:" + p;
    std::replace(p.begin(), p.end(), '/', '\\');
    return p;
}

// Receives OutputDebugStringA text as a debugger-less system hands it out:
// through the DBWIN_BUFFER section and its two events.
class DbwinListener {
public:
    DbwinListener()
    {
        bufferReady = CreateEventA(nullptr, FALSE, FALSE, "DBWIN_BUFFER_READY");
        dataReady = CreateEventA(nullptr, FALSE, FALSE, "DBWIN_DATA_READY");
        section = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, kSize, "DBWIN_BUFFER");
        view = section ? static_cast<char*>(MapViewOfFile(section, FILE_MAP_READ, 0, 0, kSize)) : nullptr;
        stop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        started = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        thread = CreateThread(nullptr, 0, &DbwinListener::Run, this, 0, nullptr);
        // The library writes its lines under the loader lock, which a thread
        // that has not started yet would wait for: it must be running first.
        if (thread)
            WaitForSingleObject(started, 10000);
    }
    ~DbwinListener()
    {
        SetEvent(stop);
        WaitForSingleObject(thread, 5000);
        for (HANDLE h : {thread, started, stop, section, dataReady, bufferReady})
            if (h)
                CloseHandle(h);
        if (view)
            UnmapViewOfFile(view);
    }
    bool Ready() const { return view != nullptr && thread != nullptr; }
    std::vector<std::string> Lines()
    {
        Sleep(200);  // the last message may still be on its way
        EnterCriticalSection(lock);
        std::vector<std::string> copy = lines;
        LeaveCriticalSection(lock);
        return copy;
    }

private:
    static constexpr DWORD kSize = 4096;
    static DWORD WINAPI Run(void* self)
    {
        auto* l = static_cast<DbwinListener*>(self);
        HANDLE waits[] = {l->dataReady, l->stop};
        SetEvent(l->bufferReady);
        SetEvent(l->started);
        for (;;) {
            if (WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0)
                return 0;
            // The buffer starts with the writer's process id; only this
            // process's lines count (other programs may share the prefix).
            DWORD pid = 0;
            memcpy(&pid, l->view, sizeof pid);
            std::string text(l->view + sizeof(DWORD), strnlen(l->view + sizeof(DWORD), kSize - sizeof(DWORD)));
            if (pid == GetCurrentProcessId()) {
                EnterCriticalSection(l->lock);
                l->lines.push_back(text);
                LeaveCriticalSection(l->lock);
            }
            SetEvent(l->bufferReady);
        }
    }

    struct Lock {
        Lock() { InitializeCriticalSection(&cs); }
        ~Lock() { DeleteCriticalSection(&cs); }
        operator CRITICAL_SECTION*() { return &cs; }
        CRITICAL_SECTION cs;
    };
    HANDLE bufferReady = nullptr, dataReady = nullptr, section = nullptr, stop = nullptr, started = nullptr,
           thread = nullptr;
    char* view = nullptr;
    Lock lock;
    std::vector<std::string> lines;
};

TEST(HotkeyDll, LoadFailsWithoutTheDriverAfterItsTraceLines)
{
    DbwinListener listener;
    ASSERT_TRUE(listener.Ready());
    SetLastError(0);
    HMODULE m = LoadLibraryA(DllPath().c_str());
    const DWORD error = GetLastError();
    EXPECT_EQ(m, nullptr);
    EXPECT_EQ(error, (DWORD)ERROR_DLL_INIT_FAILED);  // 1114
    if (m)
        FreeLibrary(m);
    const std::vector<std::string> lines = listener.Lines();
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], "CreateFile ******************\n");
    EXPECT_EQ(lines[1].rfind("CreateFile hDevice=0xffffffff GetLastError=", 0), 0u) << lines[1];
    EXPECT_NE(lines[1], "CreateFile hDevice=0xffffffff GetLastError=0\n");  // the system's error code
    EXPECT_EQ(lines[2], "Open device driver FAIL\n");
    EXPECT_EQ(lines[3], "Open device driver FAIL\n");
}

// The image mapped without running its entry point or binding its imports.
HMODULE MapWithoutEntryPoint()
{
    return LoadLibraryExA(DllPath().c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
}

TEST(HotkeyDll, ExportsExactlyTheTwentyUndecoratedNames)
{
    HMODULE m = MapWithoutEntryPoint();
    ASSERT_NE(m, nullptr) << GetLastError();
    for (const char* name : kExports)
        EXPECT_NE(GetProcAddress(m, name), nullptr) << name;

    auto* base = reinterpret_cast<const unsigned char*>(m);
    auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(base + dos->e_lfanew);
    EXPECT_EQ(nt->FileHeader.Machine, IMAGE_FILE_MACHINE_I386);
    const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    ASSERT_NE(dir.VirtualAddress, 0u);
    auto* exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + dir.VirtualAddress);
    EXPECT_EQ(exports->NumberOfFunctions, 20u);
    ASSERT_EQ(exports->NumberOfNames, 20u);
    auto* names = reinterpret_cast<const DWORD*>(base + exports->AddressOfNames);
    std::set<std::string> found;
    for (DWORD i = 0; i < exports->NumberOfNames; ++i)
        found.insert(reinterpret_cast<const char*>(base + names[i]));
    EXPECT_EQ(found, std::set<std::string>(std::begin(kExports), std::end(kExports)));
    FreeLibrary(m);
}

}  // namespace

// Calls fn(a1, a2) and stores how many bytes of arguments the callee left on
// the stack: 8 for a cdecl function (the caller removes them), 0 for stdcall.
extern "C" int MeasureCall2(void* fn, void* a1, void* a2, int* leftOnStack);
asm(".text\n"
    ".globl _MeasureCall2\n"
    "_MeasureCall2:\n"
    "  pushl %ebp\n"
    "  movl %esp, %ebp\n"
    "  pushl %esi\n"
    "  movl %esp, %esi\n"
    "  pushl 16(%ebp)\n"
    "  pushl 12(%ebp)\n"
    "  call *8(%ebp)\n"
    "  movl %esi, %ecx\n"
    "  subl %esp, %ecx\n"
    "  movl %esi, %esp\n"
    "  movl 20(%ebp), %edx\n"
    "  movl %ecx, (%edx)\n"
    "  popl %esi\n"
    "  popl %ebp\n"
    "  ret\n");

namespace {

TEST(HotkeyDll, ExportsAreCdecl)
{
    HMODULE m = MapWithoutEntryPoint();
    ASSERT_NE(m, nullptr) << GetLastError();
    // GetPercentage touches only the library's globals, so it runs without
    // the entry point or the imports.
    void* fn = reinterpret_cast<void*>(GetProcAddress(m, "GetPercentage"));
    ASSERT_NE(fn, nullptr);
    int percentage = -1, stage = -1, left = -1;
    EXPECT_EQ(MeasureCall2(fn, &percentage, &stage, &left), 1);
    EXPECT_EQ(left, 8);
    EXPECT_EQ(percentage, 0);
    EXPECT_EQ(stage, 0);
    using DetectFn = int(__cdecl*)();
    auto detect = reinterpret_cast<DetectFn>(GetProcAddress(m, "VexmarIC_Detect"));
    ASSERT_NE(detect, nullptr);
    EXPECT_EQ(detect(), 1);
    FreeLibrary(m);
}

TEST(HotkeyDll, CarriesVersion1_0_2019_812)
{
    const std::string path = DllPath();
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &handle);
    ASSERT_GT(size, 0u);
    std::vector<char> data(size);
    ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, size, data.data()));
    VS_FIXEDFILEINFO* info = nullptr;
    UINT len = 0;
    ASSERT_TRUE(VerQueryValueA(data.data(), "\\", reinterpret_cast<void**>(&info), &len));
    EXPECT_EQ(info->dwFileVersionMS, (DWORD)MAKELONG(0, 1));
    EXPECT_EQ(info->dwFileVersionLS, (DWORD)MAKELONG(812, 2019));
    EXPECT_EQ(info->dwProductVersionMS, (DWORD)MAKELONG(0, 1));
    EXPECT_EQ(info->dwProductVersionLS, (DWORD)MAKELONG(812, 2019));
}

}  // namespace
