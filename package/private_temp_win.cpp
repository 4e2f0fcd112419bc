#include "package/private_temp_win.h"

#include <stdlib.h>
#include <string.h>
#include <winternl.h>

#include "base/file_status_win.h"
#include "package/nt_security_win.h"

namespace {

typedef NTSTATUS(NTAPI* NtCreateFileFunction)(PHANDLE file, ACCESS_MASK access,
                                               POBJECT_ATTRIBUTES attributes,
                                               PIO_STATUS_BLOCK status, PLARGE_INTEGER allocation,
                                               ULONG fileAttributes, ULONG share,
                                               ULONG disposition, ULONG options, PVOID ea,
                                               ULONG eaLength);

typedef BOOL(WINAPI* SetControlFunction)(PSECURITY_DESCRIPTOR descriptor,
                                         SECURITY_DESCRIPTOR_CONTROL mask,
                                         SECURITY_DESCRIPTOR_CONTROL bits);

// Files and directories inside inherit the entries too.
constexpr BYTE kInheritedByAll = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;

// The temporary directory with its trailing backslash; false when it is
// unknown or leaves no room for a temporary name (prefix, four digits and
// ".TMP") in a 260-byte path.
bool TempDirectory(char (&directory)[MAX_PATH]) {
    DWORD length = GetTempPathA(MAX_PATH, directory);
    return length > 0 && length < MAX_PATH - 14;
}

// A sequence of temporary-name numbers (1 to 0xFFFF) that differs between
// processes and between calls. Unpredictability is not what protects the
// names: a name that exists already is never used.
DWORD g_nameState = 0;

DWORD NameStateAfter(DWORD state) { return state * 1103515245u + 12345u; }

UINT NameNumberOf(DWORD state) {
    UINT number = (state >> 12) & 0xFFFF;
    return number == 0 ? 1 : number;
}

void SeedNameState() {
    if (g_nameState == 0) g_nameState = GetTickCount() ^ (GetCurrentProcessId() << 12) ^ 0x9E3779B9u;
}

UINT NextUniqueNumber() {
    SeedNameState();
    g_nameState = NameStateAfter(g_nameState);
    return NameNumberOf(g_nameState);
}

// Tries fresh names until create(path) succeeds; path is then set.
template <typename Create>
bool CreateUnderFreshName(const char* prefix, ByteString* path, Create create) {
    path->Clear();
    char directory[MAX_PATH];
    if (!TempDirectory(directory)) return false;
    for (int attempt = 0; attempt < kUniqueNameAttempts; ++attempt) {
        char name[MAX_PATH];
        // With a number other than 0 the platform only forms the name.
        if (!GetTempFileNameA(directory, prefix, NextUniqueNumber(), name)) return false;
        if (create(name)) {
            *path = name;
            return true;
        }
    }
    return false;
}

}  // namespace

AdminOnlySecurity::AdminOnlySecurity() {
    nt_ = IsNtPlatform();
    if (!nt_) {
        valid_ = true;
        return;
    }
    security_ = NtSecurity();
    if (!security_) return;
    const NtSecurityFunctions& f = *security_;
    SID_IDENTIFIER_AUTHORITY ntAuthority = {SECURITY_NT_AUTHORITY};
    if (!f.AllocateAndInitializeSid(&ntAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID,
                                    DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0, &administrators_) ||
        !f.AllocateAndInitializeSid(&ntAuthority, 1, SECURITY_LOCAL_SYSTEM_RID, 0, 0, 0, 0, 0, 0,
                                    0, &system_)) {
        return;
    }
    DWORD aclSize = sizeof(ACL) + 2 * (sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD)) +
                    f.GetLengthSid(administrators_) + f.GetLengthSid(system_);
    acl_ = static_cast<ACL*>(calloc(aclSize, 1));
    if (!acl_ || !f.InitializeAcl(acl_, aclSize, ACL_REVISION) ||
        !f.AddAccessAllowedAce(acl_, ACL_REVISION, FILE_ALL_ACCESS, administrators_) ||
        !f.AddAccessAllowedAce(acl_, ACL_REVISION, FILE_ALL_ACCESS, system_)) {
        return;
    }
    // AddAccessAllowedAceEx would set the flags, but NT 4.0 lacks it.
    for (DWORD i = 0; i < 2; ++i) {
        void* ace = nullptr;
        if (!f.GetAce(acl_, i, &ace)) return;
        static_cast<ACE_HEADER*>(ace)->AceFlags = kInheritedByAll;
    }
    if (!f.InitializeSecurityDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION) ||
        !f.SetSecurityDescriptorDacl(&descriptor_, TRUE, acl_, FALSE)) {
        return;
    }
    // From Windows 2000 on, entries inherited from the temporary directory
    // could otherwise be added later by a propagation from above. NT 4.0
    // knows no such propagation (nor the function).
    SetControlFunction setControl = reinterpret_cast<SetControlFunction>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("advapi32.dll"), "SetSecurityDescriptorControl")));
    if (setControl && !setControl(&descriptor_, SE_DACL_PROTECTED, SE_DACL_PROTECTED)) return;
    attributes_.nLength = sizeof attributes_;
    attributes_.lpSecurityDescriptor = &descriptor_;
    attributes_.bInheritHandle = FALSE;
    valid_ = true;
}

AdminOnlySecurity::~AdminOnlySecurity() {
    free(acl_);
    if (administrators_) security_->FreeSid(administrators_);
    if (system_) security_->FreeSid(system_);
}

namespace {

// Creates the directory at path and opens it in one call, as only the native
// interface can: between a CreateDirectoryA and a later open, the user who
// owns the temporary directory could rename the new one away and put one of
// their own under its name. INVALID_HANDLE_VALUE when it cannot be created.
HANDLE CreateAndOpenDirectory(NtCreateFileFunction ntCreateFile, const char* path,
                              SECURITY_DESCRIPTOR* descriptor) {
    static const wchar_t kNtPrefix[] = L"\\??\\";
    constexpr int kPrefixLength = sizeof kNtPrefix / sizeof kNtPrefix[0] - 1;
    wchar_t name[kPrefixLength + MAX_PATH];
    memcpy(name, kNtPrefix, sizeof kNtPrefix);
    int length = MultiByteToWideChar(CP_ACP, 0, path, -1, name + kPrefixLength, MAX_PATH);
    if (length <= 1) return INVALID_HANDLE_VALUE;
    UNICODE_STRING objectName;
    objectName.Buffer = name;
    objectName.Length = static_cast<USHORT>((kPrefixLength + length - 1) * sizeof(wchar_t));
    objectName.MaximumLength = static_cast<USHORT>(objectName.Length + sizeof(wchar_t));
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &objectName, OBJ_CASE_INSENSITIVE, nullptr,
                               descriptor);
    IO_STATUS_BLOCK status;
    HANDLE directory = nullptr;
    // FILE_CREATE fails for every name that exists, whatever it is: a file,
    // a directory, a junction or a link. Shared for reading and writing but
    // not for deletion: while the handle is open, nobody can rename or
    // remove the directory.
    NTSTATUS result = ntCreateFile(&directory, FILE_LIST_DIRECTORY | SYNCHRONIZE, &attributes,
                                   &status, nullptr, FILE_ATTRIBUTE_NORMAL,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE, FILE_CREATE,
                                   FILE_DIRECTORY_FILE | FILE_SYNCHRONOUS_IO_NONALERT, nullptr, 0);
    return result >= 0 && directory ? directory : INVALID_HANDLE_VALUE;
}

}  // namespace

bool CreatePrivateTempDirectory(const char* prefix, ByteString* path, HANDLE* hold) {
    *hold = INVALID_HANDLE_VALUE;
    AdminOnlySecurity security;
    if (!security.Valid()) {
        path->Clear();
        return false;
    }
    if (!IsNtPlatform()) {
        // Windows 95/98/Me: no security and no rights to protect.
        return CreateUnderFreshName(prefix, path, [](const char* name) {
            return CreateDirectoryA(name, nullptr) != 0;
        });
    }
    NtCreateFileFunction ntCreateFile = reinterpret_cast<NtCreateFileFunction>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtCreateFile")));
    if (!ntCreateFile) {
        path->Clear();
        return false;
    }
    return CreateUnderFreshName(prefix, path, [&](const char* name) {
        *hold = CreateAndOpenDirectory(ntCreateFile, name, security.Descriptor());
        return *hold != INVALID_HANDLE_VALUE;
    });
}

HANDLE CreatePrivateTempFile(const char* prefix, ByteString* path) {
    AdminOnlySecurity security;
    HANDLE file = INVALID_HANDLE_VALUE;
    if (!security.Valid()) {
        path->Clear();
        return file;
    }
    CreateUnderFreshName(prefix, path, [&](const char* name) {
        file = CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, security.Attributes(), CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
        return file != INVALID_HANDLE_VALUE;
    });
    return file;
}

UINT UpcomingTempNameNumber(int index) {
    SeedNameState();
    DWORD state = g_nameState;
    for (int i = 0; i <= index; ++i) state = NameStateAfter(state);
    return NameNumberOf(state);
}
