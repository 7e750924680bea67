// The real VexmarHotKeyDll.dll with the test driver running as a kernel
// service: it loads, selects the Intel host of the default board and speaks
// to the simulated R39218 through \\.\Orvane.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>

namespace {

std::string DllPath()
{
    std::string p = HOTKEY_DLL;
    if (!p.empty() && p[0] == '/')
        p = "Z:" + p;
    std::replace(p.begin(), p.end(), '/', '\\');
    return p;
}

template <typename Fn>
Fn Bind(HMODULE m, const char* name)
{
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(m, name)));
}

TEST(HotkeyDllLive, SelectsTheIntelHostAndReadsTheController)
{
    HMODULE m = LoadLibraryA(DllPath().c_str());
    ASSERT_NE(m, nullptr) << "load failed, error " << GetLastError();
    auto select = Bind<int(__cdecl*)(int, unsigned char)>(m, "SelectInterfaceType");
    auto checkId = Bind<int(__cdecl*)(int*)>(m, "CheckICID");
    auto version = Bind<int(__cdecl*)(int*, int*)>(m, "GetVersion218");
    ASSERT_TRUE(select && checkId && version);

    EXPECT_EQ(select(1, 0), 1);
    int match = -1;
    EXPECT_EQ(checkId(&match), 0);
    EXPECT_EQ(match, 1);
    int v = -1, sub = -1;
    EXPECT_EQ(version(&v, &sub), 1);
    // The default board's controller carries its factory image, version 1.0.
    EXPECT_EQ(v, 1);
    EXPECT_EQ(sub, 0);
    EXPECT_TRUE(FreeLibrary(m));

    // Unloaded and loaded again in the same process: the device is reopened.
    m = LoadLibraryA(DllPath().c_str());
    ASSERT_NE(m, nullptr) << "reload failed, error " << GetLastError();
    checkId = Bind<int(__cdecl*)(int*)>(m, "CheckICID");
    select = Bind<int(__cdecl*)(int, unsigned char)>(m, "SelectInterfaceType");
    EXPECT_EQ(select(1, 0), 1);
    match = -1;
    EXPECT_EQ(checkId(&match), 0);
    EXPECT_EQ(match, 1);
    FreeLibrary(m);
}

}  // namespace
