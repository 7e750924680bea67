// The three update sequences of the dialog, free of any window: the dialog
// derives from this class and supplies the operations (commands, processes,
// registry, timer, restart), so the host tests run the sequences against a
// recording stand-in.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Application-private messages of the dialog, posted with wParam 0 and lParam 0.
constexpr unsigned WM_UPDATE_WITH_STATUS = 0x9462;
constexpr unsigned WM_UPDATE_AND_RESTART = 0x9464;

// The dots timer: identifier 0 on the dialog window, 500 ms, no callback.
constexpr std::uintptr_t ID_TIMER_DOTS = 0;
constexpr unsigned kDotsIntervalMs = 500;

// The reported update waits this long before its first step.
constexpr unsigned kReportedUpdatePauseMs = 20000;

class UpdateSequence {
public:
    virtual ~UpdateSequence() = default;

    // Dispatches the command-line arguments (the program path included) in
    // order. The first switch that starts a sequence is the only one: later
    // switches start nothing, so two flashers never drive the bus together.
    void HandleArguments(const std::vector<std::wstring>& arguments);

    // Handlers of WM_UPDATE_WITH_STATUS and WM_UPDATE_AND_RESTART; both
    // parameters are ignored and the result is 0. A handler runs only for the
    // message its switch posted, and only once: a message that arrives while a
    // sequence runs (it is dispatched from inside a command's wait) is ignored.
    std::intptr_t OnUpdateWithStatus(std::uintptr_t wParam, std::intptr_t lParam);
    std::intptr_t OnUpdateAndRestart(std::uintptr_t wParam, std::intptr_t lParam);

    std::wstring m_statusKey;
    std::wstring m_appDir;
    std::wstring m_driverDir;

protected:
    // Runs cmd.exe with the parameters in the working directory and waits for it.
    virtual void RunCommand(const std::wstring& workDir, const std::wstring& parameters) = 0;
    virtual void KillProcesses(const std::wstring& text) = 0;
    virtual void WaitForProcess(const std::wstring& text) = 0;
    // The status value under HKEY_LOCAL_MACHINE.
    virtual void WriteStatusValue(const std::wstring& key, const std::wstring& name, const std::wstring& text) = 0;
    virtual bool DeleteStatusValue(const std::wstring& key, const std::wstring& name) = 0;
    virtual std::wstring FindFirmware() = 0;
    virtual bool NativeX64() = 0;
    virtual void Pause(unsigned milliseconds) = 0;
    virtual void StartDotsTimer() = 0;
    virtual void StopDotsTimer() = 0;
    virtual void ReleaseInput() = 0;
    virtual void PostUpdateMessage(unsigned message) = 0;
    virtual void UninstallProduct() = 0;
    virtual void RestartWindows() = 0;
    virtual void OnCancel() = 0;

private:
    enum class State { Idle, Pending, Running, Done };

    void WriteStatus(const std::wstring& text);
    void RunVersionQuery();
    void PrepareReportedUpdate();
    void PrepareUpdateAndRestart();
    void RunFirmwareSteps(bool reported);
    bool Begin(unsigned message);

    State m_state = State::Idle;
    unsigned m_pendingMessage = 0;
};
