// A scratch directory for the file installation tests, with the helpers to
// fill and read it, and a clean SetupConfig around each test.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "package/setup_config.h"

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

// The Wine form of a path of the source tree.
inline std::string SourcePath(const std::string& relative) {
    std::string path = "Z:" INSTALLER_SOURCE_DIR "/" + relative;
    for (char& c : path) {
        if (c == '/') c = '\\';
    }
    return path;
}

// An SZDD file written by hand: literal-only groups (flag byte 0xFF, then
// up to eight literal bytes), which every reader expands unchanged.
inline std::string LiteralSzdd(const std::string& plain) {
    std::string file("SZDD\x88\xF0\x27\x33" "A", 9);
    file += 'x';
    uint32_t length = static_cast<uint32_t>(plain.size());
    for (int i = 0; i < 4; ++i) file += static_cast<char>((length >> (8 * i)) & 0xFF);
    for (size_t i = 0; i < plain.size(); i += 8) {
        file += '\xFF';
        file += plain.substr(i, 8);
    }
    return file;
}

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

// A message box as the user saw it.
struct SeenBox {
    std::string text;  // code page 932
    HICON icon = nullptr;
};

// Answers every message box of a thread with OK, as a user who reads and
// confirms each one, and keeps what the boxes said. Runs from construction
// to destruction on a thread of its own.
class BoxAnswerer {
public:
    explicit BoxAnswerer(DWORD uiThread = GetCurrentThreadId())
        : uiThread_(uiThread), worker_([this] { Run(); }) {}
    ~BoxAnswerer() {
        stop_ = true;
        worker_.join();
    }
    BoxAnswerer(const BoxAnswerer&) = delete;
    BoxAnswerer& operator=(const BoxAnswerer&) = delete;

    std::vector<SeenBox> Boxes() {
        std::lock_guard<std::mutex> lock(mutex_);
        return boxes_;
    }
    std::vector<std::string> Texts() {
        std::vector<std::string> texts;
        for (const SeenBox& box : Boxes()) texts.push_back(box.text);
        return texts;
    }

private:
    // Wine's message box keeps its icon in the static with this id.
    static constexpr int kIconId = 0x0440;

    static BOOL CALLBACK FindBox(HWND window, LPARAM param) {
        char className[16] = "";
        GetClassNameA(window, className, sizeof className);
        if (lstrcmpA(className, "#32770") == 0 && IsWindowVisible(window) &&
            GetDlgItem(window, 0xFFFF)) {
            *reinterpret_cast<HWND*>(param) = window;
            return FALSE;
        }
        return TRUE;
    }

    void Run() {
        while (!stop_) {
            HWND box = nullptr;
            EnumThreadWindows(uiThread_, FindBox, reinterpret_cast<LPARAM>(&box));
            if (!box) {
                Sleep(10);
                continue;
            }
            SeenBox seen;
            char text[2048] = "";
            GetWindowTextA(GetDlgItem(box, 0xFFFF), text, sizeof text);
            seen.text = text;
            seen.icon = reinterpret_cast<HICON>(SendDlgItemMessageA(box, kIconId, STM_GETICON, 0, 0));
            {
                std::lock_guard<std::mutex> lock(mutex_);
                boxes_.push_back(seen);
            }
            PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                         reinterpret_cast<LPARAM>(GetDlgItem(box, IDOK)));
            for (int waited = 0; IsWindow(box) && waited < 5000; waited += 5) Sleep(5);
        }
    }

    DWORD uiThread_;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::vector<SeenBox> boxes_;
    std::thread worker_;
};

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
