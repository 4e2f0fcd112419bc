// What an installation registers for a product, as end-to-end scenarios see
// it: the Uninstall and App Paths entries, the Install key, the program
// folder, the desktop icons and the installation directory. A
// RegistrationGuard notes which of them exist when a scenario starts and
// removes, when it ends, those that the scenario's runs added, so the
// prefix that the suite shares is left as it was found.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "tests/support/system_probes.h"

namespace e2e {

// Below HKEY_LOCAL_MACHINE, code page 932.
extern const char kUninstallKey[];
extern const char kAppPathsKey[];
extern const char kBuiltInInstallKey[];

struct ProductTraces {
    std::string name;         // UTF-8; names the Uninstall entry
    std::string mainProgram;  // App Paths entry; empty for none
    // Program folders relative to the Programs folder (UTF-8); the top level
    // of each is what gets removed.
    std::vector<std::string> programFolders;
    std::vector<std::string> desktopIcons;        // shortcut names without ".lnk" (UTF-8)
    std::string installKey = kBuiltInInstallKey;  // below HKLM (UTF-8)
    // Installation directories (Windows paths, UTF-8); the outermost level
    // that did not exist is what gets removed.
    std::vector<std::string> directories;
};

// What the sample package registers when installed into its proposal.
ProductTraces SampleProductTraces();

// Shell folders of all users (the NT family), code page 932.
std::string CommonPrograms();
std::string CommonDesktop();

class RegistrationGuard {
public:
    explicit RegistrationGuard(const ProductTraces& traces);
    ~RegistrationGuard();
    RegistrationGuard(const RegistrationGuard&) = delete;
    RegistrationGuard& operator=(const RegistrationGuard&) = delete;

    // The traces (code page 932: registry paths below HKLM, file paths) that
    // exist now and did not at construction.
    std::vector<std::string> Added() const;
    // Removes them now.
    void Remove();

private:
    struct Trace {
        bool isKey;
        std::string path;
        bool existed;
    };
    void Note(bool isKey, const std::string& path);
    std::vector<Trace> traces_;
};

// Registry helpers below HKEY_LOCAL_MACHINE / HKEY_CURRENT_USER (code page
// 932 paths).
bool MachineKeyExists(const std::string& path);
bool UserKeyExists(const std::string& path);
// A REG_SZ value's text (up to its terminating zero); "<absent>" when the key
// or the value is missing, "<type N>" for another type.
std::string MachineString(const std::string& path, const char* name);

// The first prefix of path (cut at each backslash, then the whole path) that
// does not exist below HKLM; empty when the whole path exists.
std::string FirstMissingMachineKey(const std::string& path);
// The same for a directory path: the first level that does not exist.
std::string FirstMissingDirectory(const std::string& path);

// A shortcut file read back through the ShellLink object (strings in code
// page 932).
using Shortcut = test_support::LinkContents;
inline Shortcut ReadShortcut(const std::string& path) { return test_support::ReadLink(path); }

}  // namespace e2e
