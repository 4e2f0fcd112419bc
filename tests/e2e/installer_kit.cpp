#include "tests/e2e/installer_kit.h"

#include <gtest/gtest.h>

#include <stdio.h>

#include "package/archive_writer.h"
#include "tests/e2e/driver.h"

namespace e2e {

const char kProductMutexName[] = "Global\\Mutex object for Orbelo Global";

namespace {

const char kUninstallRoot[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
const char kScratchRoot[] = "C:\\e2e";

// A fixed time for every file of a test package: 2008-06-13 09:16:54 UTC.
constexpr int64_t kPackageTime = 1213348614;

}  // namespace

std::string BuildPath(const std::string& relative) {
    return ZPath(std::string(INSTALLER_BUILD_DIR) + "/" + relative);
}

std::string SourcePath(const std::string& relative) {
    return ZPath(std::string(INSTALLER_SOURCE_DIR) + "/" + relative);
}

std::string StubPath() { return BuildPath("install.exe"); }

HeldProcess::HeldProcess(DWORD pid)
    : handle_(OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid)) {
    EXPECT_NE(handle_, nullptr) << "process " << pid << " cannot be opened";
}

HeldProcess::~HeldProcess() {
    if (handle_) CloseHandle(handle_);
}

long HeldProcess::WaitExit(DWORD timeoutMs) {
    DWORD code = 0;
    if (!handle_ || WaitForSingleObject(handle_, timeoutMs) != WAIT_OBJECT_0 ||
        !GetExitCodeProcess(handle_, &code)) {
        ADD_FAILURE() << "the process did not end in time";
        return -1;
    }
    return static_cast<long>(code);
}

std::string ArtifactPath(const std::string& name) {
    std::string dir = ZPath(std::string(INSTALLER_BUILD_DIR) + "/../artifacts");
    CreateDirectoryA(dir.c_str(), nullptr);
    return dir + "\\" + name;
}

bool WriteFileBytes(const std::string& path, const std::string& bytes) {
    FILE* out = fopen(path.c_str(), "wb");
    if (!out) return false;
    bool ok = bytes.empty() || fwrite(bytes.data(), bytes.size(), 1, out) == 1;
    return fclose(out) == 0 && ok;
}

std::string ReadFileBytes(const std::string& path) {
    std::string bytes;
    if (FILE* in = fopen(path.c_str(), "rb")) {
        char buffer[65536];
        size_t n;
        while ((n = fread(buffer, 1, sizeof(buffer), in)) > 0) bytes.append(buffer, n);
        fclose(in);
    }
    return bytes;
}

bool FileExists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool RemoveTree(const std::string& path) {
    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA((path + "\\*").c_str(), &entry);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::string name = entry.cFileName;
            if (name == "." || name == "..") continue;
            std::string full = path + "\\" + name;
            SetFileAttributesA(full.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(full);
            } else {
                DeleteFileA(full.c_str());
            }
        } while (FindNextFileA(find, &entry));
        FindClose(find);
    }
    RemoveDirectoryA(path.c_str());
    return !FileExists(path);
}

ScratchDir::ScratchDir(const std::string& name) : path_(std::string(kScratchRoot) + "\\" + name) {
    CreateDirectoryA(kScratchRoot, nullptr);
    RemoveTree(path_);
    if (!CreateDirectoryA(path_.c_str(), nullptr))
        ADD_FAILURE() << "cannot create " << path_ << ": error " << GetLastError();
}

ScratchDir::~ScratchDir() { RemoveTree(path_); }

std::string SetupScript(const std::string& utf8Name, const std::vector<std::string>& setupLines) {
    std::string text = "[Setup]\r\nProgramName=" + utf8Name + "\r\n";
    for (const std::string& line : setupLines) text += line + "\r\n";
    text += "\r\n[Source]\r\ninstall.inf=1\r\ninstall.exe=1\r\n";
    return Cp932FromUtf8(text);
}

long long StubSize() {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(StubPath().c_str(), GetFileExInfoStandard, &data)) return -1;
    return ((long long)data.nFileSizeHigh << 32) | data.nFileSizeLow;
}

std::string BuildInstaller(const ScratchDir& dir, const std::vector<PackageFile>& files,
                           const std::string& exeName) {
    // The writer reads files: stage them beside the installer.
    std::string stage = dir.File("package-files");
    CreateDirectoryA(stage.c_str(), nullptr);
    std::vector<std::string> paths;
    std::vector<std::string> names;
    for (const PackageFile& file : files) {
        names.push_back(Cp932FromUtf8(file.name));
        paths.push_back(stage + "\\" + names.back());
        if (!WriteFileBytes(paths.back(), file.bytes)) {
            ADD_FAILURE() << "cannot stage " << paths.back();
            return std::string();
        }
    }
    std::vector<ArchiveInput> inputs;
    for (size_t i = 0; i < files.size(); ++i)
        inputs.push_back(ArchiveInput{paths[i].c_str(), names[i].c_str(), kPackageTime});
    std::string output = dir.File(exeName);
    ByteString error;
    if (!WritePackage(StubPath().c_str(), inputs.data(), inputs.size(), kPackageTime,
                      output.c_str(), &error)) {
        ADD_FAILURE() << "the package writer refused " << output << ":\n"
                      << Utf8FromCp932(error.c_str());
        return std::string();
    }
    RemoveTree(stage);
    return output;
}

std::string BuildRawInstaller(const ScratchDir& dir, const std::string& appended,
                              const std::string& exeName) {
    std::string output = dir.File(exeName);
    std::string stub = ReadFileBytes(StubPath());
    if (stub.empty() || !WriteFileBytes(output, stub + appended)) {
        ADD_FAILURE() << "cannot write " << output << " from " << StubPath();
        return std::string();
    }
    return output;
}

std::string TempPath(const std::string& name) {
    char dir[MAX_PATH] = "";
    GetTempPathA(sizeof(dir), dir);
    return std::string(dir) + name;
}

std::set<std::string> ExtractionDirs() {
    std::set<std::string> dirs;
    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA(TempPath("KTW*.TMP").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE) return dirs;
    do {
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) dirs.insert(entry.cFileName);
    } while (FindNextFileA(find, &entry));
    FindClose(find);
    return dirs;
}

std::vector<std::string> NewExtractionDirs(const std::set<std::string>& before) {
    std::vector<std::string> added;
    for (const std::string& dir : ExtractionDirs()) {
        if (!before.count(dir)) added.push_back(dir);
    }
    return added;
}

UninstallEntry::UninstallEntry(const std::string& utf8Name)
    : path_(kUninstallRoot + Cp932FromUtf8(utf8Name)) {
    HKEY key;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, path_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &key, nullptr) == ERROR_SUCCESS) {
        created_ = true;
        RegSetValueExA(key, "DisplayName", 0, REG_SZ,
                       reinterpret_cast<const BYTE*>(Cp932FromUtf8(utf8Name).c_str()),
                       (DWORD)Cp932FromUtf8(utf8Name).size() + 1);
        RegCloseKey(key);
    } else {
        ADD_FAILURE() << "cannot create the Uninstall entry " << utf8Name;
    }
}

UninstallEntry::~UninstallEntry() {
    if (created_) RegDeleteKeyA(HKEY_LOCAL_MACHINE, path_.c_str());
}

bool UninstallEntryExists(const std::string& utf8Name) {
    HKEY key;
    std::string path = kUninstallRoot + Cp932FromUtf8(utf8Name);
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

ProductMutex::ProductMutex() : handle_(CreateMutexA(nullptr, TRUE, kProductMutexName)) {
    if (!handle_) ADD_FAILURE() << "cannot create " << kProductMutexName;
}

ProductMutex::~ProductMutex() {
    if (handle_) {
        ReleaseMutex(handle_);
        CloseHandle(handle_);
    }
}

WineWindowsVersion::WineWindowsVersion(const char* version) {
    HKEY key;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Wine", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &key, nullptr) != ERROR_SUCCESS) {
        ADD_FAILURE() << "cannot open HKCU\\Software\\Wine";
        return;
    }
    char previous[64];
    DWORD size = sizeof(previous);
    DWORD type = 0;
    if (RegQueryValueExA(key, "Version", nullptr, &type, reinterpret_cast<BYTE*>(previous),
                         &size) == ERROR_SUCCESS &&
        type == REG_SZ) {
        hadValue_ = true;
        previous_.assign(previous, strnlen(previous, size));
    }
    set_ = RegSetValueExA(key, "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(version),
                          (DWORD)strlen(version) + 1) == ERROR_SUCCESS;
    RegCloseKey(key);
    if (!set_) ADD_FAILURE() << "cannot set the Windows version " << version;
}

WineWindowsVersion::~WineWindowsVersion() {
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Wine", 0, KEY_ALL_ACCESS, &key) !=
        ERROR_SUCCESS)
        return;
    if (hadValue_) {
        RegSetValueExA(key, "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(previous_.c_str()),
                       (DWORD)previous_.size() + 1);
    } else {
        RegDeleteValueA(key, "Version");
    }
    RegCloseKey(key);
}

std::string InstallerTitle(const std::string& utf8Name) { return utf8Name + u8" インストーラ"; }
std::string UninstallerTitle(const std::string& utf8Name) {
    return utf8Name + u8" アンインストーラ";
}

const char kDirCaption[] = u8"インストール先のディレクトリ入力";

std::string Text2(const std::string& name) {
    return name +
           u8"のインストールを終了します。\n必要であれば、再度インストールを行ってください。";
}
std::string Text7(const std::string& name) {
    return u8"ファイル（" + name + u8"）のコピーができません。";
}
std::string Text8(const std::string& name) { return name + u8"のインストールを終了します。"; }
std::string Text10(const std::string& name) {
    return name +
           u8"のインストール中にエラーが発生したため、インストールを中断しました。\n"
           u8"必要であれば、再度インストールを行ってください。";
}

}  // namespace e2e
