#include <windows.h>

#include <gtest/gtest.h>
#include <shlwapi.h>
#include <string.h>

#include <string>

#include "app/system_checks_win.h"
#include "base/file_status_win.h"
#include "base/messages_win.h"
#include "res/resource.h"
#include "tests/wine/dialog_driver.h"
#include "tests/wine/registry_probe.h"

// The product's checks run against the real Wine prefix. Some cases need a
// second process (another program holding the product's mutex, a program
// started under another Windows version): this test executable is started
// again with CHECKS_CHILD_MODE set, and only CheckChild.Run does anything then.

namespace {

const char kProductMutex[] = "Global\\Mutex object for Orbelo Global";
const char kChildModeVariable[] = "CHECKS_CHILD_MODE";
const char kChildReadyEvent[] = "checks_test_child_ready";
const char kChildStopEvent[] = "checks_test_child_stop";
const char kVersionChildName[] = "checks_version_child.exe";
const char kAppDefaults[] = "Software\\Wine\\AppDefaults\\";

// Exit codes of the version child.
constexpr DWORD kRefused = 1;
constexpr DWORD kAccepted9x = 2;
constexpr DWORD kAcceptedNt = 3;

std::string OwnPath() {
    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    return path;
}

class Child {
public:
    Child() = default;
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;
    ~Child() {
        if (!info_.hProcess) return;
        if (WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(info_.hProcess, 99);
        CloseHandle(info_.hProcess);
        CloseHandle(info_.hThread);
    }
    bool Start(const std::string& exe, const char* mode) {
        SetEnvironmentVariableA(kChildModeVariable, mode);
        std::string command = "\"" + exe + "\" --gtest_filter=CheckChild.Run";
        STARTUPINFOA startup = {};
        startup.cb = sizeof(startup);
        BOOL started = CreateProcessA(exe.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr,
                                      nullptr, &startup, &info_);
        SetEnvironmentVariableA(kChildModeVariable, nullptr);
        return started != FALSE;
    }
    HANDLE Process() const { return info_.hProcess; }
    DWORD Id() const { return info_.dwProcessId; }
    // Waits for the end; the exit code, or STILL_ACTIVE after the time-out.
    DWORD Wait(DWORD milliseconds) {
        WaitForSingleObject(info_.hProcess, milliseconds);
        DWORD code = STILL_ACTIVE;
        GetExitCodeProcess(info_.hProcess, &code);
        return code;
    }

private:
    PROCESS_INFORMATION info_ = {};
};

class EventHandle {
public:
    explicit EventHandle(const char* name) : handle_(CreateEventA(nullptr, TRUE, FALSE, name)) {}
    EventHandle(const EventHandle&) = delete;
    EventHandle& operator=(const EventHandle&) = delete;
    ~EventHandle() {
        if (handle_) CloseHandle(handle_);
    }
    HANDLE Get() const { return handle_; }

private:
    HANDLE handle_;
};

bool MutexExists(const char* name) {
    HANDLE mutex = OpenMutexA(SYNCHRONIZE, FALSE, name);
    if (!mutex) return false;
    CloseHandle(mutex);
    return true;
}

struct VersionRun {
    DWORD exitCode;
    bool boxShown;
    std::string boxText;
};

// Runs CheckWindowsVersion in a copy of this program that Wine starts under
// the given Windows version, answering the refusal box if one appears.
VersionRun RunUnderWindowsVersion(const char* wineVersion) {
    VersionRun run = {STILL_ACTIVE, false, ""};
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    std::string exe = std::string(temp) + kVersionChildName;
    if (!CopyFileA(OwnPath().c_str(), exe.c_str(), FALSE)) return run;
    std::string key = std::string(kAppDefaults) + kVersionChildName;
    registry_test::WriteString(HKEY_CURRENT_USER, key, "Version", wineVersion);
    Child child;
    if (child.Start(exe, "version")) {
        DialogDriver driver = DialogDriver::OfProcess(child.Id());
        for (int i = 0; i < 300 && WaitForSingleObject(child.Process(), 100) == WAIT_TIMEOUT; ++i) {
            if (HWND box = driver.Find(DialogDriver::IsMessageBox)) {
                run.boxShown = true;
                run.boxText = DialogDriver::MessageBoxText(box);
                DialogDriver::Press(box, IDOK);
            }
        }
        run.exitCode = child.Wait(0);
    }
    registry_test::RemoveKeyTree(HKEY_CURRENT_USER, key);
    DeleteFileA(exe.c_str());
    return run;
}

}  // namespace

TEST(CheckChild, Run) {
    char mode[64] = "";
    if (!GetEnvironmentVariableA(kChildModeVariable, mode, sizeof(mode))) {
        GTEST_SKIP() << "only runs as a child of the tests below";
    }
    if (strcmp(mode, "hold-mutex") == 0) {
        HANDLE mutex = CreateMutexA(nullptr, TRUE, kProductMutex);
        HANDLE ready = OpenEventA(EVENT_MODIFY_STATE, FALSE, kChildReadyEvent);
        HANDLE stop = OpenEventA(SYNCHRONIZE, FALSE, kChildStopEvent);
        if (!mutex || !ready || !stop) ExitProcess(1);
        SetEvent(ready);
        WaitForSingleObject(stop, 30000);
        ExitProcess(0);
    }
    if (strcmp(mode, "version") == 0) {
        bool accepted = CheckWindowsVersion();
        ExitProcess(!accepted ? kRefused : PlatformIsNt() ? kAcceptedNt : kAccepted9x);
    }
    FAIL() << "unknown mode " << mode;
}

TEST(WindowsVersionCheck, DefaultWineVersionIsAcceptedAsNt) {
    EXPECT_TRUE(IsNtPlatform());
    EXPECT_TRUE(CheckWindowsVersion());
    EXPECT_TRUE(PlatformIsNt());
}

TEST(WindowsVersionCheck, FollowsTheVersionWindowsReports) {
    struct Case {
        const char* wineVersion;
        DWORD exitCode;
    } cases[] = {
        {"winxp", kAcceptedNt},    // 5.1 workstation
        {"win2k", kAcceptedNt},    // 5.0 workstation
        {"win2003", kRefused},     // 5.2 server
        {"nt40", kAcceptedNt},
        {"vista", kAcceptedNt},
        {"win2008", kAcceptedNt},  // 6.0 server: 6.x needs no edition test
        // Windows 8.1 and later tell a program without compatibility entries
        // in its manifest (this one, like the installer) that they are 6.2.
        {"win10", kAcceptedNt},
        {"win98", kAccepted9x},
        {"win95", kAccepted9x},
    };
    for (const Case& c : cases) {
        VersionRun run = RunUnderWindowsVersion(c.wineVersion);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.wineVersion;
        // The refusal shows its message; an acceptance shows nothing.
        EXPECT_EQ(run.boxShown, c.exitCode == kRefused) << c.wineVersion;
        if (run.boxShown) {
            EXPECT_EQ(run.boxText, LoadMessageText(IDS_BAD_WINDOWS).c_str());
        }
    }
}

TEST(ProductRunning, ProbeFindsNothingAndLeavesNothingBehind) {
    ASSERT_FALSE(MutexExists(kProductMutex));
    EXPECT_FALSE(IsProductRunning());
    EXPECT_FALSE(MutexExists(kProductMutex));
    EXPECT_FALSE(IsProductRunning());
}

TEST(ProductRunning, ProductInAnotherProcessIsFound) {
    EventHandle ready(kChildReadyEvent);
    EventHandle stop(kChildStopEvent);
    Child product;
    ASSERT_TRUE(product.Start(OwnPath(), "hold-mutex"));
    ASSERT_EQ(WaitForSingleObject(ready.Get(), 20000), WAIT_OBJECT_0);
    EXPECT_TRUE(IsProductRunning());
    EXPECT_TRUE(IsProductRunning());
    SetEvent(stop.Get());
    EXPECT_EQ(product.Wait(20000), 0u);
    // The mutex goes with its owner.
    EXPECT_FALSE(IsProductRunning());
}

TEST(ProductRunning, ProbeKeepsTheOwnershipOfAMutexOfThisProcess) {
    HANDLE mutex = CreateMutexA(nullptr, TRUE, kProductMutex);
    ASSERT_NE(mutex, nullptr);
    EXPECT_TRUE(IsProductRunning());
    // Still owned by this thread: the probe must not have released it.
    EXPECT_TRUE(ReleaseMutex(mutex));
    CloseHandle(mutex);
    EXPECT_FALSE(MutexExists(kProductMutex));
}

TEST(ProductRunning, MutexThatCannotBeOpenedCountsAsRunning) {
    // A descriptor with an empty DACL grants nobody access, like the mutex
    // of a product that runs for another user.
    SECURITY_DESCRIPTOR descriptor;
    ASSERT_TRUE(InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION));
    ACL acl;
    ASSERT_TRUE(InitializeAcl(&acl, sizeof(acl), ACL_REVISION));
    ASSERT_TRUE(SetSecurityDescriptorDacl(&descriptor, TRUE, &acl, FALSE));
    SECURITY_ATTRIBUTES attributes = {sizeof(attributes), &descriptor, FALSE};
    HANDLE mutex = CreateMutexA(&attributes, FALSE, kProductMutex);
    ASSERT_NE(mutex, nullptr);
    HANDLE probe = CreateMutexA(nullptr, TRUE, kProductMutex);
    DWORD error = GetLastError();
    if (probe) CloseHandle(probe);
    if (probe || error != ERROR_ACCESS_DENIED) {
        CloseHandle(mutex);
        GTEST_SKIP() << "this Wine does not enforce the mutex's DACL";
    }
    EXPECT_TRUE(IsProductRunning());
    CloseHandle(mutex);
}

TEST(Administrator, WineUserIsAdministrator) { EXPECT_TRUE(IsAdministrator()); }

TEST(Administrator, CheckEndsTheImpersonation) {
    ASSERT_TRUE(IsAdministrator());
    HANDLE token = nullptr;
    EXPECT_FALSE(OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &token));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_TOKEN));
    if (token) CloseHandle(token);
}
