// 218_Win.exe: the command-line flasher of the R39218 controller. It loads
// VexmarHotKeyDll.dll from its own folder, selects the bus adapter and
// programs a firmware image (/WA:<file>), reports the firmware version (/G),
// or runs a few diagnostics.
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

// The library's exports, all cdecl.
using DetectFn = int(__cdecl*)();
using SelectFn = int(__cdecl*)(int type, unsigned char address);
using CheckIdFn = int(__cdecl*)(int* match);
using VersionFn = int(__cdecl*)(int* version, int* subVersion);
using FlagFn = int(__cdecl*)(int* flag);
using ReadByteFn = int(__cdecl*)(unsigned char reg, unsigned char* value);
using RomReadFn = int(__cdecl*)(unsigned address, unsigned char* value);
using WriteRomFn = int(__cdecl*)(const char* path);
using PercentFn = int(__cdecl*)(int* percentage, int* stage);
using ExitFn = int(__cdecl*)();

struct Library {
    HMODULE module = nullptr;
    SelectFn select = nullptr;
    CheckIdFn checkId = nullptr;
    VersionFn version = nullptr;
    FlagFn button = nullptr;
    FlagFn selfTest = nullptr;
    ReadByteFn readByte = nullptr;
    RomReadFn romRead = nullptr;
    WriteRomFn writeToRom = nullptr;
    PercentFn percentage = nullptr;
    ExitFn exitCmd = nullptr;
};

enum ExitCode {
    kExitOk = 0,
    kExitUsage = 1,
    kExitNoLibrary = 2,
    kExitNoAdapter = 3,
    kExitWrongChip = 4,
    kExitProgramFailed = 5,
    kExitBusFailed = 6,
};

// What WriteToRom's results mean.
struct ResultText {
    int result;
    const char* text;
};
constexpr ResultText kWriteResults[] = {
    {1, "firmware written and verified"},
    {2, "the file is not an R39218 firmware image (no signature at 0x1FFC)"},
    {3, "the firmware file cannot be opened"},
    {5, "a byte write failed in all three attempts"},
    {6, "verification failed in all three attempts, or the read-back could not start"},
    {7, "the chip's ROM does not carry the R39218 signature; nothing was written"},
};

const char* WriteResultText(int result)
{
    for (const ResultText& r : kWriteResults)
        if (r.result == result)
            return r.text;
    return "unknown result";
}

template <typename Fn>
bool Bind(HMODULE module, const char* name, Fn* fn)
{
    *fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
    if (*fn == nullptr)
        fprintf(stderr, "VexmarHotKeyDll.dll has no export %s\n", name);
    return *fn != nullptr;
}

bool LoadLibraryBesideUs(Library* lib)
{
    // Load the library from our own folder only, never from the search path.
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return false;
    char* slash = strrchr(path, '\\');
    if (slash == nullptr || (size_t)(slash - path) + 22 >= MAX_PATH)
        return false;
    strcpy(slash + 1, "VexmarHotKeyDll.dll");
    lib->module = LoadLibraryExA(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (lib->module == nullptr) {
        fprintf(stderr, "cannot load %s (error %lu); is the Orvane driver installed and running?\n", path,
                GetLastError());
        return false;
    }
    HMODULE m = lib->module;
    return Bind(m, "SelectInterfaceType", &lib->select) && Bind(m, "CheckICID", &lib->checkId) &&
           Bind(m, "GetVersion218", &lib->version) && Bind(m, "GetBotton218", &lib->button) &&
           Bind(m, "Test218", &lib->selfTest) && Bind(m, "I2CReadByte", &lib->readByte) &&
           Bind(m, "ROMRead", &lib->romRead) && Bind(m, "WriteToRom", &lib->writeToRom) &&
           Bind(m, "GetPercentage", &lib->percentage) && Bind(m, "ExitCmd", &lib->exitCmd);
}

struct Options {
    const char* image = nullptr;
    bool version = false;
    bool identify = false;
    bool selfTest = false;
    bool button = false;
    bool dump = false;
    int interfaceType = 1;
    unsigned address = 0;  // 0: the library's default
};

bool StartsWith(const char* arg, const char* prefix)
{
    return _strnicmp(arg, prefix, strlen(prefix)) == 0;
}

bool ParseNumber(const char* text, int base, unsigned long limit, unsigned long* value)
{
    char* end = nullptr;
    *value = strtoul(text, &end, base);
    return end != text && *end == '\0' && *value <= limit;
}

bool Parse(int argc, char** argv, Options* o)
{
    for (int i = 1; i < argc; ++i) {
        const char* a = argv[i];
        unsigned long n = 0;
        if (StartsWith(a, "/WA:") && a[4] != '\0')
            o->image = a + 4;
        else if (_stricmp(a, "/G") == 0)
            o->version = true;
        else if (_stricmp(a, "/ID") == 0)
            o->identify = true;
        else if (_stricmp(a, "/TEST") == 0)
            o->selfTest = true;
        else if (_stricmp(a, "/BUTTON") == 0)
            o->button = true;
        else if (_stricmp(a, "/DUMP") == 0)
            o->dump = true;
        else if (StartsWith(a, "/IF:") && ParseNumber(a + 4, 10, 0x7FFFFFFF, &n))
            o->interfaceType = (int)n;
        else if (StartsWith(a, "/ADDR:") && ParseNumber(a + 6, 16, 0xFE, &n) && (n & 1) == 0)
            o->address = (unsigned)n;
        else {
            fprintf(stderr, "unknown or malformed argument: %s\n", a);
            return false;
        }
    }
    return o->image || o->version || o->identify || o->selfTest || o->button || o->dump;
}

void Usage()
{
    fprintf(stderr,
            "usage: 218_Win [/IF:<type>] [/ADDR:<hex>] /WA:<file> | /G | /ID | /TEST | /BUTTON | /DUMP\n"
            "  /WA:<file>  program and verify the firmware image <file>\n"
            "  /G          print the firmware version and sub-version\n"
            "  /ID         check the chip identification\n"
            "  /TEST       run the chip's self-test\n"
            "  /BUTTON     read the button state\n"
            "  /DUMP       dump the controller's registers 0x00-0xFF\n"
            "  /IF:<type>  bus adapter (1 Intel, the default; 2 parallel port; 4-6 GPIO; 7, 8 NVIDIA;\n"
            "              9 VIA; 13 SiS; 15 ALi; 16 AMD)\n"
            "  /ADDR:<hex> the controller's 8-bit bus address (default: the library's)\n");
}

// Progress display on a second thread while WriteToRom runs.
struct Progress {
    Library* lib;
    volatile LONG done;
};

DWORD WINAPI ShowProgress(void* param)
{
    Progress* p = static_cast<Progress*>(param);
    int lastPercent = -1, lastStage = -1;
    while (InterlockedCompareExchange(&p->done, 0, 0) == 0) {
        int percent = 0, stage = 0;
        p->lib->percentage(&percent, &stage);
        if (percent != lastPercent || stage != lastStage) {
            const int attempt = (stage >> 4) & 0x0F;
            if (stage != lastStage && (stage & 0x03) != 0 && lastStage != -1)
                printf("\n");
            const char* pass = (stage & 0x02) ? "Verify" : (stage & 0x01) ? "Write " : "Check ";
            char bar[26];
            const int filled = percent / 4;
            for (int i = 0; i < 25; ++i)
                bar[i] = i < filled ? '#' : '.';
            bar[25] = '\0';
            printf("\r%s [%s] %3d%%  attempt %d", pass, bar, percent, attempt + 1);
            fflush(stdout);
            lastPercent = percent;
            lastStage = stage;
        }
        Sleep(50);
    }
    printf("\n");
    return 0;
}

int Program(Library* lib, const char* image)
{
    int match = 0;
    if (lib->checkId(&match) == 1 || match != 1) {
        fprintf(stderr, "no R39218 answers on the bus (identification check failed)\n");
        return kExitWrongChip;
    }
    printf("Programming %s\n", image);
    Progress progress{lib, 0};
    HANDLE thread = CreateThread(nullptr, 0, ShowProgress, &progress, 0, nullptr);
    LARGE_INTEGER frequency, started, ended;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&started);
    const int result = lib->writeToRom(image);
    QueryPerformanceCounter(&ended);
    InterlockedExchange(&progress.done, 1);
    if (thread != nullptr) {
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
    }
    printf("WriteToRom result %d: %s\n", result, WriteResultText(result));
    printf("WriteToRom took %.1f s\n", (double)(ended.QuadPart - started.QuadPart) / (double)frequency.QuadPart);
    return result == 1 ? kExitOk : kExitProgramFailed;
}

int Dump(Library* lib)
{
    printf("     0  1  2  3  4  5  6  7  8  9  a  b  c  d  e  f\n");
    int failures = 0;
    for (int row = 0; row < 256; row += 16) {
        printf("%02x: ", row);
        for (int col = 0; col < 16; ++col) {
            unsigned char value = 0;
            if (lib->readByte((unsigned char)(row + col), &value) == 1) {
                printf("%02x ", value);
            } else {
                printf("XX ");
                ++failures;
            }
        }
        printf("\n");
    }
    return failures == 0 ? kExitOk : kExitBusFailed;
}

}  // namespace

int main(int argc, char** argv)
{
    Options options;
    if (!Parse(argc, argv, &options)) {
        Usage();
        return kExitUsage;
    }
    Library lib;
    if (!LoadLibraryBesideUs(&lib))
        return kExitNoLibrary;
    if (lib.select(options.interfaceType, (unsigned char)options.address) == 0) {
        fprintf(stderr, "bus adapter %d not found\n", options.interfaceType);
        return kExitNoAdapter;
    }

    int status = kExitOk;
    if (options.identify) {
        int match = 0;
        const int r = lib.checkId(&match);
        printf("Identification: %s\n", r == 1 ? "read failed" : match == 1 ? "R39218" : "not an R39218");
        if (r == 1 || match != 1)
            status = kExitWrongChip;
    }
    if (options.selfTest && status == kExitOk) {
        int passed = 0;
        const int r = lib.selfTest(&passed);
        printf("Self-test: %s\n", r != 1 ? "did not complete" : passed == 1 ? "passed" : "failed");
        if (r != 1 || passed != 1)
            status = kExitBusFailed;
    }
    if (options.button && status == kExitOk) {
        int pressed = 0;
        if (lib.button(&pressed) == 1) {
            printf("Button: %s\n", pressed ? "pressed" : "released");
        } else {
            printf("Button: read failed\n");
            status = kExitBusFailed;
        }
    }
    if (options.dump && status == kExitOk)
        status = Dump(&lib);
    if (options.image != nullptr && status == kExitOk)
        status = Program(&lib, options.image);
    if (options.version && status == kExitOk) {
        int version = 0, subVersion = 0;
        if (lib.version(&version, &subVersion) == 1) {
            printf("R39218 firmware version %02X.%02X\n", version & 0xFF, subVersion & 0xFF);
        } else {
            fprintf(stderr, "cannot read the firmware version\n");
            status = kExitBusFailed;
        }
    }
    FreeLibrary(lib.module);
    return status;
}
