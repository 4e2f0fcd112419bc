#include "app/relaunch_win.h"

#include <stdint.h>

#include "app/relaunch_command.h"
#include "base/file_status_win.h"
#include "package/own_image_win.h"
#include "package/private_temp_win.h"
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
    HANDLE Release() {
        HANDLE handle = handle_;
        handle_ = nullptr;
        return handle;
    }

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
bool StartCopy(const char* copy, char (&commandLine)[kRelaunchCommandSize]) {
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION process = {};
    // Inheritance passes the SYNCHRONIZE handle of this process to the copy
    // under the same value. The application is named: from the command line
    // alone, a path with blanks would first be tried as its shorter pieces
    // ("C:\Users\Jane.exe" for "C:\Users\Jane Doe\...").
    if (!CreateProcessA(copy, commandLine, nullptr, nullptr, TRUE,
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

HANDLE CreateHeldCopy(ByteString* path) {
    HANDLE copy = CreatePrivateTempFile("Del", path);
    if (copy == INVALID_HANDLE_VALUE) return copy;
    BY_HANDLE_FILE_INFORMATION written = {};
    bool complete = WriteOwnImage(copy) &&
                    (!IsNtPlatform() || GetFileInformationByHandle(copy, &written));
    CloseHandle(copy);
    // Reopened for reading only: the program loader's own open (read and
    // execute, shared for reading) can go along with it, while every open
    // for writing or deletion fails. A handle without data access would not
    // do: it takes no part in the sharing checks.
    HANDLE held = complete ? CreateFileA(path->c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)
                           : INVALID_HANDLE_VALUE;
    // Between the two opens the owner of the temporary directory could have
    // renamed the copy away and put another file under its name: the file
    // held must be the one written. (Windows 95/98/Me, with no rights to
    // protect, do not keep file indexes reliably.)
    BY_HANDLE_FILE_INFORMATION reopened = {};
    if (held != INVALID_HANDLE_VALUE && IsNtPlatform() &&
        (!GetFileInformationByHandle(held, &reopened) ||
         reopened.dwVolumeSerialNumber != written.dwVolumeSerialNumber ||
         reopened.nFileIndexHigh != written.nFileIndexHigh ||
         reopened.nFileIndexLow != written.nFileIndexLow)) {
        CloseHandle(held);
        // Not deleted: the name is no longer this run's file.
        path->Clear();
        return INVALID_HANDLE_VALUE;
    }
    if (held == INVALID_HANDLE_VALUE) {
        DeleteFileA(path->c_str());
        path->Clear();
    }
    return held;
}

RelaunchResult RelaunchFromTempCopy() {
    ByteString copy;
    Handle hold(CreateHeldCopy(&copy));
    if (!hold.Get()) return RelaunchResult::kFailed;

    RelaunchResult result = RelaunchResult::kFailed;
    Handle self(OpenProcess(SYNCHRONIZE, TRUE, GetCurrentProcessId()));
    char commandLine[kRelaunchCommandSize];
    int32_t handleValue = static_cast<int32_t>(reinterpret_cast<intptr_t>(self.Get()));
    if (!self.Get()) {
        result = RelaunchResult::kFailed;
    } else if (!BuildRelaunchCommand(copy.c_str(), Config().InstallDir.c_str(), handleValue,
                                     commandLine)) {
        result = RelaunchResult::kCommandTooLong;
    } else if (StartCopy(copy.c_str(), commandLine)) {
        // The handles stay open a moment longer while the copy finishes
        // its start-up.
        Sleep(1000);
        return RelaunchResult::kStarted;
    }
    CloseHandle(hold.Release());
    DeleteFileA(copy.c_str());
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
