#include "update_sequence.h"

#include "updater_logic.h"

namespace {

// Parameter strings for cmd.exe.
constexpr wchar_t kInstallCommand[] = L"/c install.exe";
constexpr wchar_t kFirmwareWriteCommand[] = L"/c 218_Win.exe /WA:";
constexpr wchar_t kVersionReportCommand[] = L"/c 218_Win.exe /G > Version.txt";
constexpr wchar_t kUninstallCommand[] = L"/c uninstall.exe";

constexpr wchar_t kLedUtilityName[] = L"Glimward";
constexpr wchar_t kShellProcessName[] = L"explorer";

}  // namespace

void UpdateSequence::HandleArguments(const std::vector<std::wstring>& arguments)
{
    for (const std::wstring& argument : arguments) {
        const updater::Switch kind = updater::ParseSwitch(argument);
        if (kind == updater::Switch::None || m_state != State::Idle)
            continue;
        switch (kind) {
        case updater::Switch::VersionQuery:
            RunVersionQuery();
            break;
        case updater::Switch::ReportedUpdate:
            PrepareReportedUpdate();
            break;
        case updater::Switch::UpdateAndRestart:
            PrepareUpdateAndRestart();
            break;
        case updater::Switch::None:
            break;
        }
    }
}

void UpdateSequence::WriteStatus(const std::wstring& text)
{
    WriteStatusValue(m_statusKey, updater::kStatusValueName, text);
}

void UpdateSequence::RunVersionQuery()
{
    m_state = State::Running;
    RunCommand(m_driverDir, kInstallCommand);
    RunCommand(m_appDir, kVersionReportCommand);
    RunCommand(m_driverDir, kUninstallCommand);
    m_state = State::Done;
    OnCancel();
}

void UpdateSequence::PrepareReportedUpdate()
{
    m_statusKey = updater::StatusKeyFor(NativeX64());
    WriteStatus(L"Start!");
    WaitForProcess(kShellProcessName);
    WriteStatus(L"find explorer");
    WriteStatus(L"start timer");
    StartDotsTimer();
    WriteStatus(L"post update message");
    m_state = State::Pending;
    m_pendingMessage = WM_UPDATE_WITH_STATUS;
    PostUpdateMessage(WM_UPDATE_WITH_STATUS);
}

void UpdateSequence::PrepareUpdateAndRestart()
{
    StartDotsTimer();
    m_state = State::Pending;
    m_pendingMessage = WM_UPDATE_AND_RESTART;
    PostUpdateMessage(WM_UPDATE_AND_RESTART);
}

bool UpdateSequence::Begin(unsigned message)
{
    if (m_state != State::Pending || m_pendingMessage != message)
        return false;
    m_state = State::Running;
    return true;
}

void UpdateSequence::RunFirmwareSteps(bool reported)
{
    if (reported)
        WriteStatus(L"kill Glimward.exe");
    KillProcesses(kLedUtilityName);
    if (reported)
        WriteStatus(L"start install.exe");
    RunCommand(m_driverDir, kInstallCommand);
    if (reported)
        WriteStatus(L"install.exe finish");
    const std::wstring firmware = FindFirmware();
    if (reported)
        WriteStatus(L"start 218_Win.exe /WA");
    RunCommand(m_appDir, kFirmwareWriteCommand + firmware);
    if (reported)
        WriteStatus(L"start 218_Win.exe /G");
    RunCommand(m_appDir, kVersionReportCommand);
    if (reported)
        WriteStatus(L"start uninstall.exe");
    RunCommand(m_driverDir, kUninstallCommand);
}

std::intptr_t UpdateSequence::OnUpdateWithStatus(std::uintptr_t, std::intptr_t)
{
    if (!Begin(WM_UPDATE_WITH_STATUS))
        return 0;
    WriteStatus(L"wait 20 sec.");
    Pause(kReportedUpdatePauseMs);
    RunFirmwareSteps(true);
    DeleteStatusValue(m_statusKey, updater::kStatusValueName);
    StopDotsTimer();
    ReleaseInput();
    m_state = State::Done;
    OnCancel();
    return 0;
}

std::intptr_t UpdateSequence::OnUpdateAndRestart(std::uintptr_t, std::intptr_t)
{
    if (!Begin(WM_UPDATE_AND_RESTART))
        return 0;
    RunFirmwareSteps(false);
    UninstallProduct();
    StopDotsTimer();
    ReleaseInput();
    RestartWindows();
    m_state = State::Done;
    OnCancel();
    return 0;
}
