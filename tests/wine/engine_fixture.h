// A scratch directory for the file installation tests, with the helpers to
// fill and read it, and a clean SetupConfig around each test. Their message
// boxes are answered by the BoxAnswerer of the dialog driver.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "package/setup_config.h"
#include "tests/common/szdd_bytes.h"
#include "tests/wine/dialog_driver.h"
#include "tests/wine/registry_probe.h"

namespace engine_test {

inline bool Exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

inline bool IsDirectory(const std::string& path) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

inline void WriteFileBytes(const std::string& path, const std::string& bytes) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << path;
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    ASSERT_EQ(written, bytes.size());
}

// The whole file, or "<missing>" when it cannot be opened.
inline std::string ReadFileBytes(const std::string& path) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return "<missing>";
    std::string bytes;
    char buffer[4096];
    DWORD read = 0;
    while (ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read > 0) {
        bytes.append(buffer, read);
    }
    CloseHandle(file);
    return bytes;
}

inline void RemoveTree(const std::string& dir) {
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((dir + "\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::string name = data.cFileName;
            if (name == "." || name == "..") continue;
            std::string path = dir + "\\" + name;
            SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(path);
            } else {
                DeleteFileA(path.c_str());
            }
        } while (FindNextFileA(find, &data));
        FindClose(find);
    }
    RemoveDirectoryA(dir.c_str());
}

// The Wine form of a Unix path.
inline std::string WinePath(const std::string& unixPath) {
    std::string path = "Z:" + unixPath;
    for (char& c : path) {
        if (c == '/') c = '\\';
    }
    return path;
}

// The Wine form of a path of the source tree.
inline std::string SourcePath(const std::string& relative) {
    return WinePath(INSTALLER_SOURCE_DIR "/" + relative);
}

using szdd_bytes::LiteralSzdd;

// The text that tests/wine/data/peer_lines.txt_ holds, compressed by the peer
// tool (with back-references, not only literals).
inline std::string PeerLinesText() {
    std::string text;
    char line[64];
    for (int i = 0; i < 200; ++i) {
        wsprintfA(line, "line %03d: Orbelo sample text\r\n", i);
        text += line;
    }
    return text;
}

constexpr char kSessionManager[] = "System\\CurrentControlSet\\Control\\Session Manager";
constexpr char kPendingValue[] = "PendingFileRenameOperations";

// PendingFileRenameOperations as its strings (absent: empty).
inline std::vector<std::string> PendingOperations() {
    std::string data =
        registry_test::ReadValue(HKEY_LOCAL_MACHINE, kSessionManager, kPendingValue).bytes;
    // Pairs of strings: the first of a pair names the file, the second the
    // new name (empty for a deletion).
    return test_support::SplitMultiString(data);
}

// Keeps the value as it was before the test and puts it back afterwards, so
// that no later restart of the prefix deletes what the tests scheduled.
class PendingRenameGuard {
public:
    PendingRenameGuard()
        : saved_(registry_test::ReadValue(HKEY_LOCAL_MACHINE, kSessionManager, kPendingValue)) {}
    ~PendingRenameGuard() {
        if (saved_.present) {
            registry_test::WriteValue(HKEY_LOCAL_MACHINE, kSessionManager, kPendingValue,
                                      saved_.type, saved_.bytes);
        } else {
            registry_test::DeleteValue(HKEY_LOCAL_MACHINE, kSessionManager, kPendingValue);
        }
    }
    PendingRenameGuard(const PendingRenameGuard&) = delete;
    PendingRenameGuard& operator=(const PendingRenameGuard&) = delete;

private:
    registry_test::StoredValue saved_;
};

inline bool HasDeletion(const std::vector<std::string>& entries, const std::string& path) {
    for (size_t i = 0; i < entries.size(); ++i) {
        if (lstrcmpiA(entries[i].c_str(), ("\\??\\" + path).c_str()) == 0 &&
            (i + 1 == entries.size() || entries[i + 1].empty())) {
            return true;
        }
    }
    return false;
}

// The fields that the file installation reads, back to their defaults.
inline void ResetConfig() {
    SetupConfig& config = Config();
    config.SilentMode = false;
    config.UninstallMode = false;
    config.ScriptDir = "";
    config.InstallDir = "";
    config.ProgramName = "";
    config.MainProgram = "";
    config.UnInstallerProgram = "";
    config.UninstallArgsFormat = "";
    config.Readme = "";
    config.Run = 0;
    config.DstNeedSpace = 0;
    config.CopyList.Clear();
    config.CopyTypes.Clear();
    config.SystemFiles.Clear();
}

// Gives each test a fresh scratch directory base() ("C:\...\", with a
// backslash at the end) and an empty SetupConfig, restored afterwards.
class EngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        char temp[MAX_PATH];
        ASSERT_GT(GetTempPathA(sizeof temp, temp), 0u);
        base_ = std::string(temp) + "engine-" + std::to_string(GetCurrentProcessId()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name();
        RemoveTree(base_);
        ASSERT_TRUE(CreateDirectoryA(base_.c_str(), nullptr));
        base_ += "\\";
        ResetConfig();
    }
    void TearDown() override {
        ResetConfig();
        RemoveTree(base_.substr(0, base_.size() - 1));
    }
    const std::string& base() const { return base_; }

private:
    std::string base_;
};

}  // namespace engine_test
