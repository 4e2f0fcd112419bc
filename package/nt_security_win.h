// Functions that only the NT family provides: the security functions of
// advapi32.dll, and the wide-character and file functions behind the records
// of deletion at restart. Windows 95/98/Me do not export them all, and a
// program that imports a function its system lacks is refused before it
// starts; so they are looked up when first needed, and only the NT-family
// code paths call them.
#pragma once

#include <windows.h>

struct NtSecurityFunctions {
    decltype(&::AllocateAndInitializeSid) AllocateAndInitializeSid;
    decltype(&::FreeSid) FreeSid;
    decltype(&::GetLengthSid) GetLengthSid;
    decltype(&::InitializeAcl) InitializeAcl;
    decltype(&::AddAccessAllowedAce) AddAccessAllowedAce;
    decltype(&::GetAce) GetAce;
    decltype(&::InitializeSecurityDescriptor) InitializeSecurityDescriptor;
    decltype(&::SetSecurityDescriptorDacl) SetSecurityDescriptorDacl;
    decltype(&::SetSecurityDescriptorGroup) SetSecurityDescriptorGroup;
    decltype(&::SetSecurityDescriptorOwner) SetSecurityDescriptorOwner;
    decltype(&::IsValidSecurityDescriptor) IsValidSecurityDescriptor;
    decltype(&::ImpersonateSelf) ImpersonateSelf;
    decltype(&::RevertToSelf) RevertToSelf;
    decltype(&::OpenThreadToken) OpenThreadToken;
    decltype(&::OpenProcessToken) OpenProcessToken;
    decltype(&::AccessCheck) AccessCheck;
};

// Every function above, looked up once in advapi32.dll; null when any of them
// is missing (then none may be called). The record lives as long as the process.
const NtSecurityFunctions* NtSecurity();

struct NtFileFunctions {
    decltype(&::RegOpenKeyExW) RegOpenKeyExW;
    decltype(&::RegQueryValueExW) RegQueryValueExW;
    decltype(&::RegSetValueExW) RegSetValueExW;
    decltype(&::RegDeleteValueW) RegDeleteValueW;
    decltype(&::lstrcmpiW) lstrcmpiW;
    decltype(&::MoveFileExA) MoveFileExA;
};

// The functions above, looked up once; null when any of them is missing.
const NtFileFunctions* NtFiles();
