// The updater's portable logic: switches and exit codes, the dots animation,
// paths and registry keys, the firmware-file choice, and the three update
// sequences step by step against a recording stand-in of the system.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "update_sequence.h"
#include "updater_logic.h"

namespace {

using updater::Switch;

TEST(UpdaterSwitches, WholeArgumentCaseInsensitive)
{
    struct Case {
        const wchar_t* argument;
        Switch kind;
    };
    const Case cases[] = {
        {L"-V", Switch::VersionQuery},   {L"-v", Switch::VersionQuery},
        {L"-F", Switch::ReportedUpdate}, {L"-f", Switch::ReportedUpdate},
        {L"-S", Switch::UpdateAndRestart}, {L"-s", Switch::UpdateAndRestart},
        {L"-Sx", Switch::None},          {L"/S", Switch::None},
        {L"S", Switch::None},            {L"--S", Switch::None},
        {L"-S ", Switch::None},          {L"", Switch::None},
        {L"C:\\tool\\-S", Switch::None},
    };
    for (const Case& c : cases)
        EXPECT_EQ(updater::ParseSwitch(c.argument), c.kind) << std::string(c.argument, c.argument + wcslen(c.argument));
}

TEST(UpdaterExitCode, FromModalResult)
{
    EXPECT_EQ(updater::ExitCodeForDialogResult(1), 0);   // IDOK
    EXPECT_EQ(updater::ExitCodeForDialogResult(2), 1);   // IDCANCEL
    EXPECT_EQ(updater::ExitCodeForDialogResult(-1), 2);  // no dialog
}

std::wstring Dots(std::size_t n)
{
    return std::wstring(n, L'.');
}

TEST(UpdaterDots, TenTickCycleFromFiveToFifteen)
{
    const std::wstring warning = L"ZELVAR FW update is in progress. Please don't turn off the PC!\n";
    std::wstring text = warning + Dots(5);
    std::vector<std::size_t> seen;
    for (int tick = 0; tick < 21; ++tick) {
        text = updater::AdvanceDots(text);
        ASSERT_EQ(text.substr(0, warning.size()), warning);
        seen.push_back(text.size() - warning.size());
    }
    const std::vector<std::size_t> expected = {6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 6,
                                               7, 8, 9, 10, 11, 12, 13, 14, 15, 6};
    EXPECT_EQ(seen, expected);
}

TEST(UpdaterDots, EveryRunOfFifteenFoldsLeftToRight)
{
    EXPECT_EQ(updater::AdvanceDots(Dots(30)), Dots(11));
    EXPECT_EQ(updater::AdvanceDots(Dots(29)), Dots(5) + Dots(14) + L".");  // 15 -> 5, 14 stay
    EXPECT_EQ(updater::AdvanceDots(Dots(16)), Dots(7));
    EXPECT_EQ(updater::AdvanceDots(L"a" + Dots(15) + L"b" + Dots(15)), L"a" + Dots(5) + L"b" + Dots(6));
    EXPECT_EQ(updater::AdvanceDots(L""), L".");
}

TEST(UpdaterPaths, AppDirAndDriverDir)
{
    EXPECT_EQ(updater::AppDirFromModulePath(L"D:\\tool\\updater.exe"), L"D:\\tool");
    EXPECT_EQ(updater::DriverDirFor(L"D:\\tool", true), L"D:\\tool\\driver\\x64");
    EXPECT_EQ(updater::DriverDirFor(L"D:\\tool", false), L"D:\\tool\\driver\\x86");
    EXPECT_EQ(updater::AppDirFromModulePath(L"C:\\a b\\c\\Zelvar_FW_Update_Tool.exe"), L"C:\\a b\\c");
}

TEST(UpdaterRegistry, StatusKeyAndUninstallPaths)
{
    EXPECT_EQ(updater::StatusKeyFor(true), L"SOFTWARE\\WOW6432Node\\Kavri\\Tessarine\\Component\\Support");
    EXPECT_EQ(updater::StatusKeyFor(false), L"SOFTWARE\\Kavri\\Tessarine\\Component\\Support");
    EXPECT_EQ(std::wstring(updater::kUninstallEntryPath),
              L"SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
              L"{5E0C2B91-7A44-4C1D-9F03-2B8E6D41A7C2}}_is1");
    EXPECT_EQ(updater::WithoutWow6432Node(updater::kUninstallEntryPath),
              L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
              L"{5E0C2B91-7A44-4C1D-9F03-2B8E6D41A7C2}}_is1");
    // Case-sensitive, every occurrence, only with the backslash that follows.
    EXPECT_EQ(updater::WithoutWow6432Node(L"A\\WOW6432Node\\B"), L"A\\WOW6432Node\\B");
    EXPECT_EQ(updater::WithoutWow6432Node(L"Wow6432Node\\x\\Wow6432Node\\y\\Wow6432Node"), L"x\\y\\Wow6432Node");
    EXPECT_EQ(updater::WithoutQuotes(L"\"C:\\Program Files\\P\\unins000.exe\""), L"C:\\Program Files\\P\\unins000.exe");
    EXPECT_EQ(updater::WithoutQuotes(L"\"a\"\"b\" \"c"), L"ab c");
}

TEST(UpdaterUninstallLookup, FirstWithWow6432NodeThenWithoutQuotesRemoved)
{
    const std::wstring first = updater::kUninstallEntryPath;
    const std::wstring second = updater::WithoutWow6432Node(first);
    struct Case {
        const char* what;
        std::wstring atFirst;
        std::wstring atSecond;
        std::wstring path;
        std::size_t lookups;
    };
    const Case cases[] = {
        {"first path", L"\"C:\\P F\\unins000.exe\"", L"C:\\other.exe", L"C:\\P F\\unins000.exe", 1},
        {"only the second", L"", L"C:\\p\\unins000.exe", L"C:\\p\\unins000.exe", 2},
        {"neither", L"", L"", L"", 2},
        {"arguments stay part of the path", L"\"C:\\u.exe\" /LOG", L"", L"C:\\u.exe /LOG", 1},
        {"only quotes", L"\"\"", L"C:\\x.exe", L"", 1},
    };
    for (const Case& c : cases) {
        std::vector<std::wstring> asked;
        const std::wstring path = updater::UninstallerPath([&](const std::wstring& key) {
            asked.push_back(key);
            return key == first ? c.atFirst : key == second ? c.atSecond : L"?";
        });
        EXPECT_EQ(path, c.path) << c.what;
        ASSERT_EQ(asked.size(), c.lookups) << c.what;
        EXPECT_EQ(asked[0], first);
        if (c.lookups > 1) {
            EXPECT_EQ(asked[1], second);
        }
    }
}

TEST(UpdaterFirmwareFile, LastCandidateOfTheListingWins)
{
    using E = updater::DirEntry;
    struct Case {
        const char* what;
        std::vector<E> entries;
        std::wstring expected;
    };
    const Case cases[] = {
        {"two candidates: the later one", {{L".", true}, {L"..", true}, {L"fw_a.bin", false}, {L"fw_b.bin", false}}, L"fw_b.bin"},
        {"order is the listing's", {{L"fw_b.bin", false}, {L"fw_a.bin", false}}, L"fw_a.bin"},
        {"upper case does not count", {{L"FW.BIN", false}, {L"fw.BIN", false}}, L""},
        {".bin anywhere", {{L"update.bin.old", false}}, L"update.bin.old"},
        {"a directory is no candidate", {{L"fw.bin", false}, {L"image.bin", true}}, L"fw.bin"},
        {"a blank is kept", {{L"my fw.bin", false}}, L"my fw.bin"},
        {"shell operators rule a name out", {{L"ok.bin", false}, {L"a&b.bin", false}, {L"a|b.bin", false},
                                             {L"a<b.bin", false}, {L"a>b.bin", false}, {L"a^b.bin", false},
                                             {L"%PATH%.bin", false}}, L"ok.bin"},
        {"empty folder", {}, L""},
        {"no candidate", {{L"218_Win.exe", false}, {L"Version.txt", false}, {L"binary", false}}, L""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(updater::PickFirmwareFile(c.entries), c.expected) << c.what;
}

// Records every operation the sequences ask for, as one line each.
class RecordingSequence : public UpdateSequence {
public:
    std::vector<std::wstring> log;
    bool nativeX64 = true;
    std::wstring firmware = L"fw.bin";
    std::wstring currentStatus;  // what an outside reader of "Zelvar" would see
    bool statusPresent = false;
    // Called from inside a RunCommand wait, as a dispatched message would be.
    std::function<void(const std::wstring& parameters)> duringCommand;

    std::vector<std::wstring> Commands() const
    {
        std::vector<std::wstring> out;
        for (const std::wstring& line : log)
            if (line.rfind(L"run ", 0) == 0)
                out.push_back(line);
        return out;
    }
    std::vector<std::wstring> StatusTexts() const
    {
        std::vector<std::wstring> out;
        for (const std::wstring& line : log)
            if (line.rfind(L"status ", 0) == 0)
                out.push_back(line.substr(7));
        return out;
    }

protected:
    void RunCommand(const std::wstring& dir, const std::wstring& parameters) override
    {
        log.push_back(L"run " + dir + L" | " + parameters + L" | seen " + (statusPresent ? currentStatus : L"-"));
        if (duringCommand)
            duringCommand(parameters);
    }
    void KillProcesses(const std::wstring& text) override { log.push_back(L"kill " + text); }
    void WaitForProcess(const std::wstring& text) override { log.push_back(L"wait " + text); }
    void WriteStatusValue(const std::wstring& key, const std::wstring& name, const std::wstring& text) override
    {
        EXPECT_EQ(key, m_statusKey);
        EXPECT_EQ(name, L"Zelvar");
        currentStatus = text;
        statusPresent = true;
        log.push_back(L"status " + text);
    }
    bool DeleteStatusValue(const std::wstring& key, const std::wstring& name) override
    {
        log.push_back(L"delete " + key + L" " + name);
        const bool was = statusPresent;
        statusPresent = false;
        return was;
    }
    std::wstring FindFirmware() override
    {
        log.push_back(L"find");
        return firmware;
    }
    bool NativeX64() override { return nativeX64; }
    void Pause(unsigned ms) override { log.push_back(L"pause " + std::to_wstring(ms)); }
    void StartDotsTimer() override { log.push_back(L"timer start"); }
    void StopDotsTimer() override { log.push_back(L"timer stop"); }
    void ReleaseInput() override { log.push_back(L"release input"); }
    void PostUpdateMessage(unsigned message) override { log.push_back(L"post " + std::to_wstring(message)); }
    void UninstallProduct() override { log.push_back(L"uninstall product"); }
    void RestartWindows() override { log.push_back(L"restart"); }
    void OnCancel() override { log.push_back(L"cancel"); }
};

class UpdaterSequence : public ::testing::Test {
protected:
    void SetUp() override
    {
        seq.m_appDir = L"C:\\tool";
        seq.m_driverDir = L"C:\\tool\\driver\\x64";
    }
    RecordingSequence seq;
};

TEST_F(UpdaterSequence, VersionQueryRunsInstallReportUninstallAndEnds)
{
    seq.HandleArguments({L"C:\\tool\\Zelvar_FW_Update_Tool.exe", L"-v"});
    const std::vector<std::wstring> expected = {
        L"run C:\\tool\\driver\\x64 | /c install.exe | seen -",
        L"run C:\\tool | /c 218_Win.exe /G > Version.txt | seen -",
        L"run C:\\tool\\driver\\x64 | /c uninstall.exe | seen -",
        L"cancel",
    };
    EXPECT_EQ(seq.log, expected);  // no timer, no registry, no firmware write
    EXPECT_TRUE(seq.m_statusKey.empty());
}

TEST_F(UpdaterSequence, ReportedUpdatePreparationThenHandler)
{
    seq.HandleArguments({L"C:\\tool\\Zelvar_FW_Update_Tool.exe", L"-F"});
    EXPECT_EQ(seq.m_statusKey, L"SOFTWARE\\WOW6432Node\\Kavri\\Tessarine\\Component\\Support");
    const std::vector<std::wstring> preparation = {
        L"status Start!",
        L"wait explorer",
        L"status find explorer",
        L"status start timer",
        L"timer start",
        L"status post update message",
        L"post 37986",
    };
    EXPECT_EQ(seq.log, preparation);

    seq.log.clear();
    EXPECT_EQ(seq.OnUpdateWithStatus(0, 0), 0);
    const std::vector<std::wstring> handler = {
        L"status wait 20 sec.",
        L"pause 20000",
        L"status kill Glimward.exe",
        L"kill Glimward",
        L"status start install.exe",
        L"run C:\\tool\\driver\\x64 | /c install.exe | seen start install.exe",
        L"status install.exe finish",
        L"find",
        L"status start 218_Win.exe /WA",
        L"run C:\\tool | /c 218_Win.exe /WA:fw.bin | seen start 218_Win.exe /WA",
        L"status start 218_Win.exe /G",
        L"run C:\\tool | /c 218_Win.exe /G > Version.txt | seen start 218_Win.exe /G",
        L"status start uninstall.exe",
        L"run C:\\tool\\driver\\x64 | /c uninstall.exe | seen start uninstall.exe",
        L"delete SOFTWARE\\WOW6432Node\\Kavri\\Tessarine\\Component\\Support Zelvar",
        L"timer stop",
        L"release input",
        L"cancel",
    };
    EXPECT_EQ(seq.log, handler);
    EXPECT_FALSE(seq.statusPresent);
}

TEST_F(UpdaterSequence, ReportedUpdateOn32BitWindowsUsesTheNativeKey)
{
    seq.nativeX64 = false;
    seq.HandleArguments({L"-f"});
    EXPECT_EQ(seq.m_statusKey, L"SOFTWARE\\Kavri\\Tessarine\\Component\\Support");
    seq.OnUpdateWithStatus(0, 0);
    EXPECT_EQ(seq.log.at(seq.log.size() - 4), L"delete SOFTWARE\\Kavri\\Tessarine\\Component\\Support Zelvar");
    // Every text exactly once, in order.
    const std::vector<std::wstring> texts = {
        L"Start!", L"find explorer", L"start timer", L"post update message", L"wait 20 sec.",
        L"kill Glimward.exe", L"start install.exe", L"install.exe finish", L"start 218_Win.exe /WA",
        L"start 218_Win.exe /G", L"start uninstall.exe",
    };
    EXPECT_EQ(seq.StatusTexts(), texts);
}

TEST_F(UpdaterSequence, UpdateAndRestart)
{
    seq.HandleArguments({L"C:\\tool\\Zelvar_FW_Update_Tool.exe", L"-s"});
    const std::vector<std::wstring> preparation = {L"timer start", L"post 37988"};
    EXPECT_EQ(seq.log, preparation);

    seq.log.clear();
    seq.firmware = L"my fw.bin";
    EXPECT_EQ(seq.OnUpdateAndRestart(0, 0), 0);
    const std::vector<std::wstring> handler = {
        L"kill Glimward",
        L"run C:\\tool\\driver\\x64 | /c install.exe | seen -",
        L"find",
        L"run C:\\tool | /c 218_Win.exe /WA:my fw.bin | seen -",  // unquoted, as the flasher expects it
        L"run C:\\tool | /c 218_Win.exe /G > Version.txt | seen -",
        L"run C:\\tool\\driver\\x64 | /c uninstall.exe | seen -",
        L"uninstall product",
        L"timer stop",
        L"release input",
        L"restart",
        L"cancel",
    };
    EXPECT_EQ(seq.log, handler);
}

TEST_F(UpdaterSequence, NoFirmwareFileStillRunsTheWriteWithAnEmptyName)
{
    seq.firmware.clear();
    seq.HandleArguments({L"-S"});
    seq.OnUpdateAndRestart(0, 0);
    const std::vector<std::wstring> commands = seq.Commands();
    ASSERT_EQ(commands.size(), 4u);
    EXPECT_EQ(commands[1], L"run C:\\tool | /c 218_Win.exe /WA: | seen -");
}

TEST_F(UpdaterSequence, NoSwitchOrUnknownSwitchesStartNothing)
{
    seq.HandleArguments({L"C:\\tool\\Zelvar_FW_Update_Tool.exe", L"-Sx", L"/S", L"-X", L"V"});
    EXPECT_TRUE(seq.log.empty());
    // Messages nobody asked for start nothing either.
    seq.OnUpdateWithStatus(0, 0);
    seq.OnUpdateAndRestart(0, 0);
    EXPECT_TRUE(seq.log.empty());
}

TEST_F(UpdaterSequence, OnlyTheFirstSwitchStartsASequence)
{
    struct Case {
        std::vector<std::wstring> args;
        std::vector<std::wstring> preparation;
    };
    const Case cases[] = {
        // After -V the dialog is already ending: a -F would leave a status value behind.
        {{L"-V", L"-F"}, {L"run C:\\tool\\driver\\x64 | /c install.exe | seen -",
                          L"run C:\\tool | /c 218_Win.exe /G > Version.txt | seen -",
                          L"run C:\\tool\\driver\\x64 | /c uninstall.exe | seen -", L"cancel"}},
        {{L"-S", L"-V", L"-F", L"-S"}, {L"timer start", L"post 37988"}},
        {{L"x", L"-F", L"-S"}, {L"status Start!", L"wait explorer", L"status find explorer", L"status start timer",
                                L"timer start", L"status post update message", L"post 37986"}},
    };
    for (const Case& c : cases) {
        RecordingSequence s;
        s.m_appDir = seq.m_appDir;
        s.m_driverDir = seq.m_driverDir;
        s.HandleArguments(c.args);
        EXPECT_EQ(s.log, c.preparation) << s.log.size();
        // The other update message never runs its sequence.
        const std::size_t before = s.log.size();
        if (c.args[0] == L"-S")
            s.OnUpdateWithStatus(0, 0);
        else
            s.OnUpdateAndRestart(0, 0);
        EXPECT_EQ(s.log.size(), before);
    }
}

TEST_F(UpdaterSequence, UpdateMessageDispatchedDuringACommandIsIgnored)
{
    seq.HandleArguments({L"-S"});
    int nested = 0;
    seq.duringCommand = [&](const std::wstring&) {
        ++nested;
        seq.OnUpdateAndRestart(0, 0);  // a second, queued message
        seq.OnUpdateWithStatus(0, 0);
    };
    seq.OnUpdateAndRestart(0, 0);
    EXPECT_EQ(nested, 4);
    EXPECT_EQ(seq.Commands().size(), 4u);
    int restarts = 0;
    for (const std::wstring& line : seq.log)
        restarts += line == L"restart";
    EXPECT_EQ(restarts, 1);
    // And once it has ended, a late message does not start it again.
    seq.duringCommand = nullptr;
    const std::size_t before = seq.log.size();
    seq.OnUpdateAndRestart(0, 0);
    EXPECT_EQ(seq.log.size(), before);
}

// Steps report nothing back: a failed status write, a failed delete or a
// command that fails leaves the rest of the sequence unchanged.
class FailingSequence : public RecordingSequence {
protected:
    void WriteStatusValue(const std::wstring&, const std::wstring&, const std::wstring& text) override
    {
        log.push_back(L"status failed " + text);
    }
    bool DeleteStatusValue(const std::wstring&, const std::wstring&) override
    {
        log.push_back(L"delete failed");
        return false;
    }
};

TEST(UpdaterSequenceFailures, RegistryFailuresDoNotStopTheSequence)
{
    FailingSequence seq;
    seq.m_appDir = L"C:\\t";
    seq.m_driverDir = L"C:\\t\\driver\\x86";
    seq.HandleArguments({L"-F"});
    seq.OnUpdateWithStatus(0, 0);
    EXPECT_EQ(seq.Commands().size(), 4u);
    ASSERT_GE(seq.log.size(), 4u);
    EXPECT_EQ(seq.log[seq.log.size() - 4], L"delete failed");
    EXPECT_EQ(seq.log.back(), L"cancel");
}

}  // namespace
