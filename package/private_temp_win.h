// Temporary files and directories that the elevated program writes and then
// trusts: the extraction directory and the uninstaller's relaunched copy.
// They live in the user's temporary directory, which any process of the user
// can write, elevated or not. So each is created under a name that did not
// exist before (a name planted there, as file, directory or junction, is never
// used), and on the NT family with a security descriptor that grants access
// to the Administrators group and SYSTEM only and inherits nothing from the
// temporary directory.
#pragma once

#include <windows.h>

#include "base/text.h"

struct NtSecurityFunctions;

// Names tried before a creation gives up: enough that a few planted names
// never stop the run, few enough that a full directory fails quickly.
constexpr int kUniqueNameAttempts = 64;

// The security descriptor above, built on the NT family. Everything created
// inside a directory made with it inherits the same access. On Windows
// 95/98/Me, which keep no security, Attributes() is null.
class AdminOnlySecurity {
public:
    AdminOnlySecurity();
    ~AdminOnlySecurity();
    AdminOnlySecurity(const AdminOnlySecurity&) = delete;
    AdminOnlySecurity& operator=(const AdminOnlySecurity&) = delete;

    // False on the NT family when the descriptor could not be built; the
    // caller then creates nothing.
    bool Valid() const { return valid_; }
    // For CreateFileA and CreateDirectoryA; null where no security applies.
    SECURITY_ATTRIBUTES* Attributes() { return nt_ ? &attributes_ : nullptr; }
    SECURITY_DESCRIPTOR* Descriptor() { return nt_ ? &descriptor_ : nullptr; }

private:
    bool nt_ = false;
    bool valid_ = false;
    const NtSecurityFunctions* security_ = nullptr;  // null off the NT family
    PSID administrators_ = nullptr;
    PSID system_ = nullptr;
    ACL* acl_ = nullptr;
    SECURITY_DESCRIPTOR descriptor_ = {};
    SECURITY_ATTRIBUTES attributes_ = {};
};

// Creates a new directory "<prefix>XXXX.TMP" (the platform's temporary-name
// form, prefix of three characters) in the temporary directory, under
// AdminOnlySecurity. Sets path to its full path without a trailing
// backslash. On the NT family, hold receives the directory open, created and
// opened in one step and shared for everything but deletion: while the
// caller keeps it, nobody can rename the directory or put another in its
// place; the caller closes it before removing the directory. Elsewhere hold
// is INVALID_HANDLE_VALUE. False, with path empty, when no temporary
// directory is known, the descriptor cannot be built, or kUniqueNameAttempts
// names all failed.
bool CreatePrivateTempDirectory(const char* prefix, ByteString* path, HANDLE* hold);

// The same for a new, empty file. Returns it open for reading and writing,
// shared with nobody, or INVALID_HANDLE_VALUE (path empty) on failure.
HANDLE CreatePrivateTempFile(const char* prefix, ByteString* path);

// The number (for GetTempFileNameA) of the index-th name that the next
// creations of this process will try, from 0. For tests, which plant names in
// their way.
UINT UpcomingTempNameNumber(int index);
