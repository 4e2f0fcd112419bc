#include "package/nt_security_win.h"

#include <string.h>

namespace {

// The number of names in a list of zero-terminated names that ends with an
// empty one.
constexpr size_t NameCount(const char* names) {
    size_t count = 0;
    for (; *names; ++count) {
        while (*names) ++names;
        ++names;
    }
    return count;
}

// The records hold nothing but function pointers, in the order of their
// name lists below: each list fills its record's pointers one after another.
constexpr char kSecurityNames[] =
    "AllocateAndInitializeSid\0FreeSid\0GetLengthSid\0InitializeAcl\0AddAccessAllowedAce\0"
    "GetAce\0InitializeSecurityDescriptor\0SetSecurityDescriptorDacl\0"
    "SetSecurityDescriptorGroup\0SetSecurityDescriptorOwner\0IsValidSecurityDescriptor\0"
    "ImpersonateSelf\0RevertToSelf\0OpenThreadToken\0OpenProcessToken\0AccessCheck\0";
static_assert(sizeof(NtSecurityFunctions) == NameCount(kSecurityNames) * sizeof(FARPROC),
              "one name per function of NtSecurityFunctions");
constexpr char kFileNamesAdvapi[] =
    "RegOpenKeyExW\0RegQueryValueExW\0RegSetValueExW\0RegDeleteValueW\0";
constexpr char kFileNamesKernel[] = "lstrcmpiW\0MoveFileExA\0";
static_assert(sizeof(NtFileFunctions) ==
                  (NameCount(kFileNamesAdvapi) + NameCount(kFileNamesKernel)) * sizeof(FARPROC),
              "one name per function of NtFileFunctions");

// Looks up the listed functions of library (a module the program already
// has loaded) into the record's pointers from number first on. False when
// one is missing.
bool LookAll(const char* library, const char* names, void* record, size_t first = 0) {
    HMODULE module = GetModuleHandleA(library);
    if (!module) return false;
    char* out = static_cast<char*>(record) + first * sizeof(FARPROC);
    for (; *names; names += strlen(names) + 1, out += sizeof(FARPROC)) {
        FARPROC function = GetProcAddress(module, names);
        if (!function) return false;
        memcpy(out, &function, sizeof function);
    }
    return true;
}

// advapi32.dll and kernel32.dll are loaded with the program: functions are
// imported from both on every system.
bool Load(NtSecurityFunctions* f) { return LookAll("advapi32.dll", kSecurityNames, f); }

bool LoadFiles(NtFileFunctions* f) {
    return LookAll("advapi32.dll", kFileNamesAdvapi, f) &&
           LookAll("kernel32.dll", kFileNamesKernel, f, NameCount(kFileNamesAdvapi));
}

}  // namespace

const NtFileFunctions* NtFiles() {
    static NtFileFunctions functions;
    static int state = 0;  // 0 not yet looked up, 1 complete, -1 incomplete
    if (state == 0) state = LoadFiles(&functions) ? 1 : -1;
    return state == 1 ? &functions : nullptr;
}

const NtSecurityFunctions* NtSecurity() {
    // The program has one thread; the record is filled at the first call.
    static NtSecurityFunctions functions;
    static int state = 0;  // 0 not yet looked up, 1 complete, -1 incomplete
    if (state == 0) state = Load(&functions) ? 1 : -1;
    return state == 1 ? &functions : nullptr;
}
