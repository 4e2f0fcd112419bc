#include "package/nt_security_win.h"

namespace {

template <typename Function>
bool Look(HMODULE library, const char* name, Function* function) {
    *function = reinterpret_cast<Function>(
        reinterpret_cast<void*>(GetProcAddress(library, name)));
    return *function != nullptr;
}

bool Load(NtSecurityFunctions* f) {
    // advapi32.dll is loaded with the program: the registry functions are
    // imported from it on every system.
    HMODULE advapi = GetModuleHandleA("advapi32.dll");
    if (!advapi) return false;
    return Look(advapi, "AllocateAndInitializeSid", &f->AllocateAndInitializeSid) &&
           Look(advapi, "FreeSid", &f->FreeSid) && Look(advapi, "GetLengthSid", &f->GetLengthSid) &&
           Look(advapi, "InitializeAcl", &f->InitializeAcl) &&
           Look(advapi, "AddAccessAllowedAce", &f->AddAccessAllowedAce) &&
           Look(advapi, "GetAce", &f->GetAce) &&
           Look(advapi, "InitializeSecurityDescriptor", &f->InitializeSecurityDescriptor) &&
           Look(advapi, "SetSecurityDescriptorDacl", &f->SetSecurityDescriptorDacl) &&
           Look(advapi, "SetSecurityDescriptorGroup", &f->SetSecurityDescriptorGroup) &&
           Look(advapi, "SetSecurityDescriptorOwner", &f->SetSecurityDescriptorOwner) &&
           Look(advapi, "IsValidSecurityDescriptor", &f->IsValidSecurityDescriptor) &&
           Look(advapi, "ImpersonateSelf", &f->ImpersonateSelf) &&
           Look(advapi, "RevertToSelf", &f->RevertToSelf) &&
           Look(advapi, "OpenThreadToken", &f->OpenThreadToken) &&
           Look(advapi, "OpenProcessToken", &f->OpenProcessToken) &&
           Look(advapi, "AccessCheck", &f->AccessCheck);
}

bool LoadFiles(NtFileFunctions* f) {
    HMODULE advapi = GetModuleHandleA("advapi32.dll");
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    if (!advapi || !kernel) return false;
    return Look(advapi, "RegOpenKeyExW", &f->RegOpenKeyExW) &&
           Look(advapi, "RegQueryValueExW", &f->RegQueryValueExW) &&
           Look(advapi, "RegSetValueExW", &f->RegSetValueExW) &&
           Look(advapi, "RegDeleteValueW", &f->RegDeleteValueW) &&
           Look(kernel, "lstrcmpiW", &f->lstrcmpiW) && Look(kernel, "MoveFileExA", &f->MoveFileExA);
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
