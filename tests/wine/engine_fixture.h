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

constexpr char kSessionManager[] = "System\\CurrentControlSet\\Control\\Session Manager";
constexpr char kPendingValue[] = "PendingFileRenameOperations";

// PendingFileRenameOperations as its strings (absent: empty).
inline std::vector<std::string> PendingOperations() {
    std::vector<std::string> entries;
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return entries;
    }
    DWORD type = 0, size = 0;
    if (RegQueryValueExA(key, kPendingValue, nullptr, &type, nullptr, &size) == ERROR_SUCCESS) {
        std::string data(size, '\0');
        RegQueryValueExA(key, kPendingValue, nullptr, &type,
                         reinterpret_cast<BYTE*>(&data[0]), &size);
        data.resize(size);
        // Pairs of strings: the first of a pair names the file, the second
        // the new name (empty for a deletion).
        size_t start = 0;
        while (start < data.size()) {
            size_t end = data.find('\0', start);
            if (end == std::string::npos) end = data.size();
            entries.push_back(data.substr(start, end - start));
            start = end + 1;
        }
        while (!entries.empty() && entries.back().empty()) entries.pop_back();
    }
    RegCloseKey(key);
    return entries;
}

// Keeps the value as it was before the test and puts it back afterwards, so
// that no later restart of the prefix deletes what the tests scheduled.
class PendingRenameGuard {
public:
    PendingRenameGuard() {
        RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_READ | KEY_WRITE, &key_);
        DWORD size = 0;
        present_ = RegQueryValueExA(key_, kPendingValue, nullptr, &type_, nullptr, &size) ==
                   ERROR_SUCCESS;
        if (present_) {
            data_.resize(size);
            RegQueryValueExA(key_, kPendingValue, nullptr, &type_,
                             reinterpret_cast<BYTE*>(&data_[0]), &size);
        }
    }
    ~PendingRenameGuard() {
        if (present_) {
            RegSetValueExA(key_, kPendingValue, 0, type_,
                           reinterpret_cast<const BYTE*>(data_.data()),
                           static_cast<DWORD>(data_.size()));
        } else {
            RegDeleteValueA(key_, kPendingValue);
        }
        RegCloseKey(key_);
    }

private:
    HKEY key_ = nullptr;
    bool present_ = false;
    DWORD type_ = REG_MULTI_SZ;
    std::string data_;
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

// A message box as the user saw it.
struct SeenBox {
    std::string text;  // code page 932
    HICON icon = nullptr;
};

// Answers every message box of a thread with OK, as a user who reads and
// confirms each one after answerDelayMs, and keeps what the boxes said. A
// dialog captioned cancelCaption, when given, is cancelled. Runs from
// construction to destruction on a thread of its own.
class BoxAnswerer {
public:
    explicit BoxAnswerer(int answerDelayMs = 0, const char* cancelCaption = nullptr)
        : uiThread_(GetCurrentThreadId()),
          answerDelayMs_(answerDelayMs),
          cancelCaption_(cancelCaption ? cancelCaption : ""),
          worker_([this] { Run(); }) {}
    ~BoxAnswerer() {
        stop_ = true;
        // The worker may be asking a box of this thread for its text (a sent
        // message): keep answering until it is done, or join() would wait
        // for a thread that waits for us.
        while (!done_) {
            MSG message;
            while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
                TranslateMessage(&message);
                DispatchMessageA(&message);
            }
            Sleep(5);
        }
        worker_.join();
    }
    BoxAnswerer(const BoxAnswerer&) = delete;
    BoxAnswerer& operator=(const BoxAnswerer&) = delete;

    std::vector<SeenBox> Boxes() {
        std::lock_guard<std::mutex> lock(mutex_);
        return boxes_;
    }
    int Cancelled() const { return cancelled_; }
    std::vector<std::string> Texts() {
        std::vector<std::string> texts;
        for (const SeenBox& box : Boxes()) texts.push_back(box.text);
        return texts;
    }

private:
    // Wine's message box keeps its icon in the static with this id.
    static constexpr int kIconId = 0x0440;

    struct Search {
        const std::string* cancelCaption;
        HWND box;
        HWND cancel;
    };

    static BOOL CALLBACK FindBox(HWND window, LPARAM param) {
        Search* search = reinterpret_cast<Search*>(param);
        char className[16] = "";
        GetClassNameA(window, className, sizeof className);
        if (lstrcmpA(className, "#32770") != 0 || !IsWindowVisible(window)) return TRUE;
        char caption[256] = "";
        GetWindowTextA(window, caption, sizeof caption);
        if (GetDlgItem(window, 0xFFFF)) {
            search->box = window;
        } else if (!search->cancelCaption->empty() && *search->cancelCaption == caption) {
            search->cancel = window;
        } else {
            return TRUE;
        }
        return FALSE;
    }

    void Run() {
        while (!stop_) {
            Search search = {&cancelCaption_, nullptr, nullptr};
            EnumThreadWindows(uiThread_, FindBox, reinterpret_cast<LPARAM>(&search));
            if (search.cancel) {
                Sleep(answerDelayMs_);
                PostMessageA(search.cancel, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                             reinterpret_cast<LPARAM>(GetDlgItem(search.cancel, IDCANCEL)));
                ++cancelled_;
                for (int waited = 0; IsWindow(search.cancel) && IsWindowVisible(search.cancel) &&
                                     waited < 5000;
                     waited += 5) {
                    Sleep(5);
                }
                continue;
            }
            HWND box = search.box;
            if (!box) {
                Sleep(10);
                continue;
            }
            Sleep(answerDelayMs_);
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
        done_ = true;
    }

    DWORD uiThread_;
    int answerDelayMs_;
    std::string cancelCaption_;
    std::atomic<int> cancelled_{0};
    std::atomic<bool> stop_{false};
    std::atomic<bool> done_{false};
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
