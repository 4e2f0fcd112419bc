#include "app/system_checks_win.h"

#include <windows.h>
#include <stdlib.h>

#include "app/version_check.h"
#include "base/messages_win.h"
#include "base/text.h"
#include "package/nt_security_win.h"
#include "res/resource.h"

namespace {

// The sizes that the oldest systems check in the size field.
static_assert(sizeof(OSVERSIONINFOA) == 148, "OSVERSIONINFOA layout");
static_assert(sizeof(OSVERSIONINFOEXA) == 156, "OSVERSIONINFOEXA layout");

const char kProductMutexName[] = "Global\\Mutex object for Orbelo Global";

bool platformIsNt = false;

WindowsVersion QueryVersion() {
    WindowsVersion version;
    OSVERSIONINFOA info = {};
    info.dwOSVersionInfoSize = sizeof(info);
    if (GetVersionExA(&info)) {
        version.platformId = info.dwPlatformId;
        version.major = info.dwMajorVersion;
        version.minor = info.dwMinorVersion;
    }
    return version;
}

WindowsEdition QueryEdition() {
    WindowsEdition edition;
    OSVERSIONINFOEXA info = {};
    info.dwOSVersionInfoSize = sizeof(info);
    if (GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&info))) {
        edition.queried = true;
        edition.platformId = info.dwPlatformId;
        edition.major = info.dwMajorVersion;
        edition.productType = info.wProductType;
    }
    return edition;
}

class Handle {
public:
    explicit Handle(HANDLE handle = nullptr) : handle_(handle) {}
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    ~Handle() {
        if (handle_) CloseHandle(handle_);
    }
    HANDLE* Out() { return &handle_; }
    HANDLE Get() const { return handle_; }

private:
    HANDLE handle_;
};

// A zero-filled heap block (the C runtime's: the program imports its heap
// functions anyway).
class ZeroedBlock {
public:
    explicit ZeroedBlock(size_t size) : block_(calloc(size, 1)) {}
    ZeroedBlock(const ZeroedBlock&) = delete;
    ZeroedBlock& operator=(const ZeroedBlock&) = delete;
    ~ZeroedBlock() { free(block_); }
    void* Get() const { return block_; }

private:
    void* block_;
};

class Sid {
public:
    explicit Sid(const NtSecurityFunctions& security) : security_(security) {}
    Sid(const Sid&) = delete;
    Sid& operator=(const Sid&) = delete;
    ~Sid() {
        if (sid_) security_.FreeSid(sid_);
    }
    PSID* Out() { return &sid_; }
    PSID Get() const { return sid_; }

private:
    const NtSecurityFunctions& security_;
    PSID sid_ = nullptr;
};

// Ends the impersonation on every way out; harmless when ImpersonateSelf failed.
class SelfImpersonation {
public:
    explicit SelfImpersonation(const NtSecurityFunctions& security) : security_(security) {
        security_.ImpersonateSelf(SecurityImpersonation);
    }
    SelfImpersonation(const SelfImpersonation&) = delete;
    SelfImpersonation& operator=(const SelfImpersonation&) = delete;
    ~SelfImpersonation() { security_.RevertToSelf(); }

private:
    const NtSecurityFunctions& security_;
};

// The token to check: the thread's while it impersonates, else the process's.
bool OpenOwnToken(const NtSecurityFunctions& security, Handle& token) {
    if (security.OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, FALSE, token.Out())) return true;
    if (GetLastError() != ERROR_NO_TOKEN) return false;
    return security.OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.Out()) != FALSE;
}

}  // namespace

bool CheckWindowsVersion() {
    WindowsVersion version = QueryVersion();
    WindowsEdition edition;
    if (NeedsEdition(version)) edition = QueryEdition();
    VersionVerdict verdict = DecideWindowsVersion(version, edition);
    if (!verdict.accepted) {
        ShowMessage(kStyleStop, IDS_BAD_WINDOWS);
        return false;
    }
    platformIsNt = verdict.nt;
    return true;
}

bool PlatformIsNt() { return platformIsNt; }

bool IsProductRunning() {
    HANDLE mutex = CreateMutexA(nullptr, TRUE, kProductMutexName);
    DWORD error = GetLastError();
    if (!mutex) {
        // A mutex of another user's session exists but may not be opened.
        return error == ERROR_ACCESS_DENIED;
    }
    bool running = error == ERROR_ALREADY_EXISTS;
    // Only a mutex that this probe created is owned by it; releasing it and
    // closing the handle makes it disappear again.
    if (!running) ReleaseMutex(mutex);
    CloseHandle(mutex);
    return running;
}

bool IsAdministrator() {
    // Access rights of the check: read 1, write 2.
    constexpr DWORD kAccessRead = 1;
    constexpr DWORD kAccessWrite = 2;

    // Only the NT family has tokens; its advapi32.dll has every function.
    const NtSecurityFunctions* found = NtSecurity();
    if (!found) return false;
    const NtSecurityFunctions& security = *found;

    SelfImpersonation impersonation(security);
    Handle token;
    if (!OpenOwnToken(security, token)) return false;

    SID_IDENTIFIER_AUTHORITY ntAuthority = SECURITY_NT_AUTHORITY;
    Sid administrators(security);
    if (!security.AllocateAndInitializeSid(&ntAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID,
                                  DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0,
                                  administrators.Out())) {
        return false;
    }

    // SECURITY_DESCRIPTOR_MIN_LENGTH is 20 bytes in the 32-bit program.
    ZeroedBlock descriptorBlock(SECURITY_DESCRIPTOR_MIN_LENGTH);
    auto descriptor = static_cast<PSECURITY_DESCRIPTOR>(descriptorBlock.Get());
    if (!descriptor || !security.InitializeSecurityDescriptor(descriptor, SECURITY_DESCRIPTOR_REVISION)) {
        return false;
    }

    // The ACL header and one access-allowed entry header (8 bytes each)
    // followed by the SID.
    DWORD aclSize = security.GetLengthSid(administrators.Get()) + 16;
    ZeroedBlock aclBlock(aclSize);
    auto acl = static_cast<PACL>(aclBlock.Get());
    if (!acl || !security.InitializeAcl(acl, aclSize, ACL_REVISION2) ||
        !security.AddAccessAllowedAce(acl, ACL_REVISION2, kAccessRead | kAccessWrite,
                                      administrators.Get()) ||
        !security.SetSecurityDescriptorDacl(descriptor, TRUE, acl, FALSE) ||
        !security.SetSecurityDescriptorGroup(descriptor, administrators.Get(), FALSE) ||
        !security.SetSecurityDescriptorOwner(descriptor, administrators.Get(), FALSE) ||
        !security.IsValidSecurityDescriptor(descriptor)) {
        return false;
    }

    GENERIC_MAPPING mapping;
    mapping.GenericRead = kAccessRead;
    mapping.GenericWrite = kAccessWrite;
    mapping.GenericExecute = 0;
    mapping.GenericAll = kAccessRead | kAccessWrite;
    // Room for a privilege set with one entry (20 bytes); no privilege is
    // involved in a plain read check.
    DWORD privileges[5] = {};
    DWORD privilegesLength = sizeof(privileges);
    DWORD granted = 0;
    BOOL status = FALSE;
    if (!security.AccessCheck(descriptor, token.Get(), kAccessRead, &mapping,
                              reinterpret_cast<PPRIVILEGE_SET>(privileges), &privilegesLength,
                              &granted, &status)) {
        // Standard output, as a console build would show it; a GUI process
        // usually has none. Written without the C runtime's printf, whose
        // MinGW replacement would add 16 KB to the program.
        ByteString line("AccessCheck() failed with error ");
        line.AppendNumber(GetLastError());
        line.Append('\n');
        DWORD written = 0;
        WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), line.c_str(), static_cast<DWORD>(line.Length()),
                  &written, nullptr);
        return false;
    }
    return status != FALSE;
}
