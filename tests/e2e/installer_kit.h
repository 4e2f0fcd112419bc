// What end-to-end scenarios of install.exe need around the driver: test
// installers built in-process from the x86_64 stub, scratch directories in
// the prefix, the extraction directories of the temporary directory, and the
// pieces of system state that a scenario sets up and puts back (an Uninstall
// entry, the product's running-instance mutex, Wine's reported Windows
// version).
#pragma once

#include <windows.h>

#include <set>
#include <string>
#include <vector>

namespace e2e {

// Exit codes of install.exe as deployment tools read them: the whole job
// done is 0; these two are the others.
constexpr long kDeclined = 1602;  // the user declined or cancelled
constexpr long kFailed = 1603;    // the run ended without doing its job

// One process of a run (the uninstaller's relaunched copy, say) held by a
// handle opened while it runs: once it has ended, Wine may give its id to
// another process.
class HeldProcess {
public:
    explicit HeldProcess(DWORD pid);
    ~HeldProcess();
    HeldProcess(const HeldProcess&) = delete;
    HeldProcess& operator=(const HeldProcess&) = delete;
    bool held() const { return handle_ != nullptr; }
    // Its exit code once it has ended; -1 (a failure reported) when it does
    // not end within timeoutMs.
    long WaitExit(DWORD timeoutMs = 15000);

private:
    HANDLE handle_ = nullptr;
};

// Windows paths of the build and source trees.
std::string BuildPath(const std::string& relative);   // below INSTALLER_BUILD_DIR
std::string SourcePath(const std::string& relative);  // below INSTALLER_SOURCE_DIR
// The x86_64 installer stub: install.exe as linked, nothing appended.
std::string StubPath();
// A file in the build root's artifacts directory (created when missing),
// where screenshots are kept for a person to look at.
std::string ArtifactPath(const std::string& name);

// Whole-file helpers (Windows paths, bytes as they are).
bool WriteFileBytes(const std::string& path, const std::string& bytes);
std::string ReadFileBytes(const std::string& path);
bool FileExists(const std::string& path);

// A directory C:\e2e\<name>, emptied at construction and removed with its
// contents at destruction.
class ScratchDir {
public:
    explicit ScratchDir(const std::string& name);
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::string& path() const { return path_; }  // no trailing backslash
    std::string File(const std::string& name) const { return path_ + "\\" + name; }

private:
    std::string path_;
};

// Removes a directory tree; true when it is gone.
bool RemoveTree(const std::string& path);

// One file of a test package: its name in UTF-8 (stored as code page 932)
// and its bytes.
struct PackageFile {
    std::string name;
    std::string bytes;
};

// A setup script (code page 932, CR LF) for product `utf8Name`: the [Setup]
// keys given as "Key=Value" lines in UTF-8, and a [Source] section listing
// install.inf and install.exe.
std::string SetupScript(const std::string& utf8Name,
                        const std::vector<std::string>& setupLines = {});

// Writes dir\exeName: the stub followed by an archive of `files`, made by the
// package writer. Reports a failure and returns "" when it refuses.
std::string BuildInstaller(const ScratchDir& dir, const std::vector<PackageFile>& files,
                           const std::string& exeName = "install.exe");
// Writes dir\exeName: the stub followed by `appended` as it stands (archives
// that the writer would refuse to make).
std::string BuildRawInstaller(const ScratchDir& dir, const std::string& appended,
                              const std::string& exeName = "install.exe");
// Size of the stub in bytes: the archive start offset of every test installer.
long long StubSize();

// Names of the "KTW*.TMP" directories in the temporary directory.
std::set<std::string> ExtractionDirs();
// The extraction directories that exist now but not in `before`.
std::vector<std::string> NewExtractionDirs(const std::set<std::string>& before);
// Full path of an entry of the temporary directory.
std::string TempPath(const std::string& name);

// The Windows Uninstall entry of a product (HKLM ...\Uninstall\<name>),
// created for the lifetime of the object and deleted with its values after.
class UninstallEntry {
public:
    explicit UninstallEntry(const std::string& utf8Name);
    ~UninstallEntry();
    UninstallEntry(const UninstallEntry&) = delete;
    UninstallEntry& operator=(const UninstallEntry&) = delete;
    bool created() const { return created_; }

private:
    std::string path_;
    bool created_ = false;
};
// Whether the Uninstall entry of the product exists.
bool UninstallEntryExists(const std::string& utf8Name);

// Holds the product's running-instance mutex, as the running product does.
class ProductMutex {
public:
    ProductMutex();
    ~ProductMutex();
    ProductMutex(const ProductMutex&) = delete;
    ProductMutex& operator=(const ProductMutex&) = delete;
    bool held() const { return handle_ != nullptr; }

private:
    HANDLE handle_ = nullptr;
};
extern const char kProductMutexName[];

// Sets the Windows version that Wine reports to programs started from now on
// ("win98", "win2003", ...) and puts the previous setting back at the end.
class WineWindowsVersion {
public:
    explicit WineWindowsVersion(const char* version);
    ~WineWindowsVersion();
    WineWindowsVersion(const WineWindowsVersion&) = delete;
    WineWindowsVersion& operator=(const WineWindowsVersion&) = delete;
    bool set() const { return set_; }

private:
    bool set_ = false;
    bool hadValue_ = false;
    std::string previous_;
};

// Titles of the installer's windows and message boxes for a product.
std::string InstallerTitle(const std::string& utf8Name);    // name + " インストーラ"
std::string UninstallerTitle(const std::string& utf8Name);  // name + " アンインストーラ"

// The destination dialog's caption, and the installer's messages that
// several scenarios expect (UTF-8; a product name or a file name inserted).
extern const char kDirCaption[];
std::string Text2(const std::string& name);   // cancelled
std::string Text7(const std::string& name);   // a file that cannot be copied
std::string Text8(const std::string& name);   // installation finished
std::string Text10(const std::string& name);  // installation broken off

}  // namespace e2e
