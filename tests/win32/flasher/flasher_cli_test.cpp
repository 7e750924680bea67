// The flasher's command line and its exit codes where no chip is needed: a
// malformed command line, and a folder without the library (the driver
// package is not installed).
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

namespace {

// Runs the flasher copied into a folder of its own, without the library.
DWORD RunFlasher(const std::string& args)
{
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    const std::string dir = std::string(temp) + "flasher_cli_test";
    CreateDirectoryA(dir.c_str(), nullptr);
    const std::string exe = dir + "\\218_Win.exe";
    // The build passes a Unix path; Wine maps it to a drive path.
    std::string source = FLASHER_EXE;
    if (!source.empty() && source[0] == '/')
        source = "Z:" + source;
    for (char& c : source)
        if (c == '/')
            c = '\\';
    EXPECT_TRUE(CopyFileA(source.c_str(), exe.c_str(), FALSE)) << source;

    std::string cmd = "\"" + exe + "\" " + args;
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessA(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, dir.c_str(), &si, &pi))
        return 0xFFFFFFFF;
    WaitForSingleObject(pi.hProcess, 60000);
    DWORD code = 0xFFFFFFFF;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return code;
}

TEST(FlasherCommandLine, ExitCodesWithoutAChip)
{
    struct Case {
        const char* args;
        DWORD exit;
    };
    const Case cases[] = {
        {"", 1},                  // nothing to do
        {"/WA:", 1},              // no file name
        {"/XYZ", 1},              // unknown switch
        {"/ADDR:95 /G", 1},       // an address with the read bit set
        {"/G", 2},                // no library beside the flasher
        {"/wa:image.bin", 2},     // switches are case-insensitive
    };
    for (const Case& c : cases)
        EXPECT_EQ(RunFlasher(c.args), c.exit) << c.args;
}

}  // namespace
