#include "app/relaunch_win.h"

#include <stdint.h>

#include "app/relaunch_command.h"
#include "package/setup_config.h"

const char kUninstallerMutexName[] = "Quorvane_UnInstaller";

namespace {

class Handle {
public:
    explicit Handle(HANDLE handle) : handle_(handle == INVALID_HANDLE_VALUE ? nullptr : handle) {}
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    ~Handle() {
        if (handle_) CloseHandle(handle_);
    }
    HANDLE Get() const { return handle_; }

private:
    HANDLE handle_;
};

// An installer that started this instance looks for the mutex a second after
// this instance has ended. A copy slowed down by a loaded machine may not have
// created it by then, and the installer would go on while the uninstallation
// is still to come. So this instance stays until the copy holds the mutex or
// has ended; bounded, so that a copy stuck in its start-up cannot keep it
// alive for good.
constexpr DWORD kCopyStartLimit = 30000;
constexpr DWORD kCopyStartPoll = 50;

void WaitUntilCopyHoldsMutex(HANDLE copy) {
    for (DWORD waited = 0; waited < kCopyStartLimit; waited += kCopyStartPoll) {
        HANDLE mutex = OpenMutexA(SYNCHRONIZE, FALSE, kUninstallerMutexName);
        if (mutex) {
            CloseHandle(mutex);
            return;
        }
        if (WaitForSingleObject(copy, kCopyStartPoll) != WAIT_TIMEOUT) return;
    }
}

// Starts the copy suspended and lets it go, and returns once the copy holds
// the mutex or has ended; false when it cannot be started.
bool StartCopy(char (&commandLine)[kRelaunchCommandSize]) {
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION process = {};
    // Inheritance passes the SYNCHRONIZE handle of this process to the copy
    // under the same value.
    if (!CreateProcessA(nullptr, commandLine, nullptr, nullptr, TRUE,
                        CREATE_SUSPENDED | CREATE_DEFAULT_ERROR_MODE, nullptr, nullptr, &startup,
                        &process)) {
        return false;
    }
    ResumeThread(process.hThread);
    CloseHandle(process.hThread);
    WaitUntilCopyHoldsMutex(process.hProcess);
    CloseHandle(process.hProcess);
    return true;
}

}  // namespace

RelaunchResult RelaunchFromTempCopy() {
    char module[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, module, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return RelaunchResult::kFailed;
    char tempDir[MAX_PATH];
    length = GetTempPathA(MAX_PATH, tempDir);
    if (length == 0 || length >= MAX_PATH) return RelaunchResult::kFailed;
    char copy[MAX_PATH];
    if (!GetTempFileNameA(tempDir, "Del", 0, copy)) return RelaunchResult::kFailed;

    RelaunchResult result = RelaunchResult::kFailed;
    if (CopyFileA(module, copy, FALSE)) {
        // No access, read sharing only: nobody can write or delete the copy
        // until it runs.
        Handle hold(CreateFileA(copy, 0, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
        Handle self(OpenProcess(SYNCHRONIZE, TRUE, GetCurrentProcessId()));
        char commandLine[kRelaunchCommandSize];
        int32_t handleValue = static_cast<int32_t>(reinterpret_cast<intptr_t>(self.Get()));
        if (!self.Get()) {
            result = RelaunchResult::kFailed;
        } else if (!BuildRelaunchCommand(copy, Config().InstallDir.c_str(), handleValue,
                                         commandLine)) {
            result = RelaunchResult::kCommandTooLong;
        } else if (StartCopy(commandLine)) {
            // The handles stay open a moment longer while the copy finishes
            // its start-up.
            Sleep(1000);
            return RelaunchResult::kStarted;
        }
    }
    DeleteFileA(copy);
    return result;
}

bool RunAndWait(const char* application, char* commandLine) {
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    Sleep(250);
    BOOL started = CreateProcessA(application, commandLine, nullptr, nullptr, FALSE, 0, nullptr,
                                  nullptr, &startup, &process);
    Sleep(300);
    if (!started) return false;
    WaitForInputIdle(process.hProcess, INFINITE);
    WaitForSingleObject(process.hProcess, INFINITE);
    Sleep(1000);
    // The first uninstaller instance has ended; the copy it relaunched holds
    // the mutex until the uninstallation is over (or it never started).
    HANDLE mutex = CreateMutexA(nullptr, TRUE, kUninstallerMutexName);
    if (mutex) {
        if (GetLastError() == ERROR_ALREADY_EXISTS) WaitForSingleObject(mutex, INFINITE);
        ReleaseMutex(mutex);
        CloseHandle(mutex);
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}
