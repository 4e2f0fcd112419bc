#include "tests/e2e/uninstall_kit.h"

#include <gtest/gtest.h>

#include "tests/support/system_probes.h"

#include <stdio.h>

namespace e2e {

namespace {

const char kSessionManager[] = "System\\CurrentControlSet\\Control\\Session Manager";
const char kPendingValue[] = "PendingFileRenameOperations";
const char kUninstallRoot[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

uint32_t Crc32(const std::string& bytes, uint32_t crc = 0) {
    crc = ~crc;
    for (unsigned char byte : bytes) {
        crc ^= byte;
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
    }
    return ~crc;
}

void PutBig32(std::string& out, uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>((value >> shift) & 0xFF);
}

void PutChunk(std::string& png, const char* type, const std::string& data) {
    PutBig32(png, static_cast<uint32_t>(data.size()));
    std::string typed = std::string(type, 4) + data;
    png += typed;
    PutBig32(png, Crc32(typed));
}

std::string RootName(HKEY root) {
    if (root == HKEY_LOCAL_MACHINE) return "HKLM";
    if (root == HKEY_CURRENT_USER) return "HKCU";
    return "HKEY";
}

void AddKey(HKEY key, const std::string& name, Snapshot& snapshot) {
    snapshot[name + "\\"] = "<key>";
    DWORD maxName = 0, maxData = 0, maxSubkey = 0;
    if (RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, &maxSubkey, nullptr, nullptr,
                         &maxName, &maxData, nullptr, nullptr) != ERROR_SUCCESS)
        return;
    std::string valueName(2 * maxName + 2, '\0');
    std::string data(maxData + 2, '\0');
    for (DWORD i = 0;; ++i) {
        DWORD nameSize = static_cast<DWORD>(valueName.size());
        DWORD dataSize = static_cast<DWORD>(data.size());
        DWORD type = 0;
        LONG result = RegEnumValueA(key, i, &valueName[0], &nameSize, nullptr, &type,
                                    reinterpret_cast<BYTE*>(&data[0]), &dataSize);
        if (result != ERROR_SUCCESS) break;
        snapshot[name + "\\:" + valueName.substr(0, nameSize)] =
            std::to_string(type) + ":" + data.substr(0, dataSize);
    }
    std::string subkey(2 * maxSubkey + 2, '\0');
    std::vector<std::string> names;
    for (DWORD i = 0;; ++i) {
        DWORD size = static_cast<DWORD>(subkey.size());
        if (RegEnumKeyExA(key, i, &subkey[0], &size, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        names.push_back(subkey.substr(0, size));
    }
    for (const std::string& child : names) {
        HKEY opened;
        if (RegOpenKeyExA(key, child.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) continue;
        AddKey(opened, name + "\\" + child, snapshot);
        RegCloseKey(opened);
    }
}

void AddFiles(const std::string& dir, const std::set<std::string>& skip, Snapshot& snapshot) {
    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA((dir + "\\*").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE) return;
    std::vector<std::string> subdirs;
    do {
        std::string name = entry.cFileName;
        if (name == "." || name == "..") continue;
        std::string path = dir + "\\" + name;
        if (skip.count(path)) continue;
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            snapshot[path] = "<dir>";
            // Links of the prefix lead out of it (to the unix side).
            if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) subdirs.push_back(path);
        } else {
            snapshot[path] = std::to_string(entry.nFileSizeLow) + " bytes, attributes " +
                             std::to_string(entry.dwFileAttributes);
        }
    } while (FindNextFileA(find, &entry));
    FindClose(find);
    for (const std::string& subdir : subdirs) AddFiles(subdir, skip, snapshot);
}

std::string ReadPendingValue(bool* present, DWORD* type) {
    std::string data;
    *present = false;
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return data;
    DWORD size = 0;
    if (RegQueryValueExA(key, kPendingValue, nullptr, type, nullptr, &size) == ERROR_SUCCESS) {
        data.resize(size);
        *present = RegQueryValueExA(key, kPendingValue, nullptr, type,
                                    reinterpret_cast<BYTE*>(&data[0]), &size) == ERROR_SUCCESS;
        data.resize(size);
    }
    RegCloseKey(key);
    return data;
}

std::set<std::string> TempCopies() {
    std::set<std::string> copies;
    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA(TempPath("Del*.tmp").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE) return copies;
    do {
        copies.insert(TempPath(entry.cFileName));
    } while (FindNextFileA(find, &entry));
    FindClose(find);
    return copies;
}

}  // namespace

bool SavePng(const Screenshot& shot, const std::string& path) {
    if (shot.empty()) return false;
    std::string raw;
    raw.reserve(static_cast<size_t>(shot.height) * (3 * shot.width + 1));
    for (int y = 0; y < shot.height; ++y) {
        raw += '\0';  // filter: none
        for (int x = 0; x < shot.width; ++x) {
            uint32_t rgb = shot.Pixel(x, y);
            raw += static_cast<char>(Red(rgb));
            raw += static_cast<char>(Green(rgb));
            raw += static_cast<char>(Blue(rgb));
        }
    }
    // zlib stream of stored deflate blocks.
    std::string zlib("\x78\x01", 2);
    for (size_t at = 0; at < raw.size() || at == 0; at += 65535) {
        size_t length = std::min<size_t>(65535, raw.size() - at);
        bool last = at + length >= raw.size();
        zlib += static_cast<char>(last ? 1 : 0);
        zlib += static_cast<char>(length & 0xFF);
        zlib += static_cast<char>(length >> 8);
        zlib += static_cast<char>(~length & 0xFF);
        zlib += static_cast<char>((~length >> 8) & 0xFF);
        zlib.append(raw, at, length);
        if (last) break;
    }
    uint32_t a = 1, b = 0;
    for (unsigned char byte : raw) {
        a = (a + byte) % 65521;
        b = (b + a) % 65521;
    }
    PutBig32(zlib, (b << 16) | a);

    std::string png("\x89PNG\r\n\x1A\n", 8);
    std::string header;
    PutBig32(header, static_cast<uint32_t>(shot.width));
    PutBig32(header, static_cast<uint32_t>(shot.height));
    header += std::string("\x08\x02\x00\x00\x00", 5);  // 8-bit RGB
    PutChunk(png, "IHDR", header);
    PutChunk(png, "IDAT", zlib);
    PutChunk(png, "IEND", "");
    return WriteFileBytes(path, png);
}

void KeepScreen(const std::string& name) {
    // The window was just found or changed; let its paint reach the screen.
    Sleep(300);
    std::string path = ArtifactPath(name + ".png");
    EXPECT_TRUE(SavePng(Screenshot::Take(), path)) << path;
    Log("screen " + path);
}

Snapshot RegistryTree(HKEY root, const std::string& path) {
    Snapshot snapshot;
    HKEY key;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return snapshot;
    AddKey(key, RootName(root) + "\\" + path, snapshot);
    RegCloseKey(key);
    return snapshot;
}

Snapshot FileTree(const std::string& dir, const std::set<std::string>& skipDirs) {
    Snapshot snapshot;
    AddFiles(dir, skipDirs, snapshot);
    return snapshot;
}

std::vector<std::string> Differences(const Snapshot& before, const Snapshot& after) {
    std::vector<std::string> lines;
    for (const auto& entry : after) {
        auto old = before.find(entry.first);
        if (old == before.end()) {
            lines.push_back("+ " + Utf8FromCp932(entry.first));
        } else if (old->second != entry.second) {
            lines.push_back("~ " + Utf8FromCp932(entry.first));
        }
    }
    for (const auto& entry : before) {
        if (!after.count(entry.first)) lines.push_back("- " + Utf8FromCp932(entry.first));
    }
    return lines;
}

std::vector<std::string> PendingRenames() {
    bool present;
    DWORD type;
    return test_support::SplitMultiString(ReadPendingValue(&present, &type));
}

bool DeletionScheduled(const std::string& path) {
    std::vector<std::string> entries = PendingRenames();
    for (size_t i = 0; i < entries.size(); ++i) {
        // Pairs: the file, then its new name (empty for a deletion).
        if (lstrcmpiA(entries[i].c_str(), ("\\??\\" + path).c_str()) == 0 &&
            (i + 1 == entries.size() || entries[i + 1].empty()))
            return true;
    }
    return false;
}

RestartRecordGuard::RestartRecordGuard() : copies_(TempCopies()) {
    data_ = ReadPendingValue(&present_, &type_);
}

RestartRecordGuard::~RestartRecordGuard() {
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_SET_VALUE, &key) ==
        ERROR_SUCCESS) {
        if (present_) {
            RegSetValueExA(key, kPendingValue, 0, type_,
                           reinterpret_cast<const BYTE*>(data_.data()),
                           static_cast<DWORD>(data_.size()));
        } else {
            RegDeleteValueA(key, kPendingValue);
        }
        RegCloseKey(key);
    }
    for (const std::string& copy : NewCopies()) {
        // The copy may still be ending; give it a moment to let go.
        for (int i = 0; i < 50 && !DeleteFileA(copy.c_str()) && FileExists(copy); ++i) Sleep(100);
        if (FileExists(copy)) ADD_FAILURE() << "cannot delete " << copy;
    }
}

std::vector<std::string> RestartRecordGuard::NewCopies() const {
    std::vector<std::string> added;
    for (const std::string& copy : TempCopies()) {
        if (!copies_.count(copy)) added.push_back(copy);
    }
    return added;
}

namespace {
const char kDllOverrides[] = "Software\\Wine\\DllOverrides";
const char kMenuBuilder[] = "winemenubuilder.exe";
}  // namespace

WineDllOverride::WineDllOverride(const std::string& library, const std::string& order)
    : library_(library) {
    HKEY key;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kDllOverrides, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &key, nullptr) != ERROR_SUCCESS) {
        ADD_FAILURE() << "cannot open HKCU\\" << kDllOverrides;
        return;
    }
    char value[256];
    DWORD size = sizeof value;
    DWORD type = 0;
    if (RegQueryValueExA(key, library_.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(value),
                         &size) == ERROR_SUCCESS &&
        type == REG_SZ) {
        hadValue_ = true;
        previous_.assign(value, strnlen(value, size));
    }
    RegSetValueExA(key, library_.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(order.c_str()),
                   static_cast<DWORD>(order.size() + 1));
    RegCloseKey(key);
}

WineDllOverride::~WineDllOverride() {
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kDllOverrides, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
        return;
    if (hadValue_) {
        RegSetValueExA(key, library_.c_str(), 0, REG_SZ,
                       reinterpret_cast<const BYTE*>(previous_.c_str()),
                       static_cast<DWORD>(previous_.size() + 1));
    } else {
        RegDeleteValueA(key, library_.c_str());
    }
    RegCloseKey(key);
}

// An empty load order disables the program.
WineMenuBuilderOff::WineMenuBuilderOff() : WineDllOverride(kMenuBuilder, "") {}

std::string ProcessImage(DWORD pid) {
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (!process) return std::string();
    char path[MAX_PATH] = "";
    DWORD size = sizeof path;
    if (!QueryFullProcessImageNameA(process, 0, path, &size)) size = 0;
    CloseHandle(process);
    return std::string(path, size);
}

std::string UninstallString(const std::string& utf8Name) {
    std::string path = kUninstallRoot + Cp932FromUtf8(utf8Name);
    char command[1024] = "";
    DWORD size = sizeof(command) - 1;
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return std::string();
    if (RegQueryValueExA(key, "UninstallString", nullptr, nullptr, reinterpret_cast<BYTE*>(command),
                         &size) != ERROR_SUCCESS)
        command[0] = '\0';
    RegCloseKey(key);
    return command;
}

bool SplitRegisteredCommand(const std::string& command, std::string* program, std::string* args) {
    size_t end;
    size_t argsAt;
    if (!command.empty() && command[0] == '"') {
        // "C:\...\install.exe" -u -p "...": the path is what the quotes hold.
        end = command.find('"', 1);
        if (end == std::string::npos) return false;
        *program = command.substr(1, end - 1);
        argsAt = command.find_first_not_of(' ', end + 1);
    } else {
        // As earlier versions registered it: C:\...\install.exe -u -p "...".
        end = command.find(" -u");
        if (end == std::string::npos) return false;
        *program = command.substr(0, end);
        argsAt = end + 1;
    }
    *args = argsAt == std::string::npos ? std::string() : command.substr(argsAt);
    return !program->empty();
}

Process StartUninstaller(const std::string& utf8Name) {
    std::string command = UninstallString(utf8Name);
    std::string program, args;
    if (!SplitRegisteredCommand(command, &program, &args)) {
        ADD_FAILURE() << "no uninstall command for " << utf8Name << ": " << command;
        return Process();
    }
    return Driver::Start(program, args);
}

std::string Product::Script() const {
    std::string text = SetupScript(name, setup) + Cp932FromUtf8(sources);
    return text + Cp932FromUtf8(sections);
}

std::string BuildProduct(const ScratchDir& dir, const Product& product) {
    std::vector<PackageFile> files = product.files;
    files.insert(files.begin(), PackageFile{"install.inf", product.Script()});
    return BuildInstaller(dir, files);
}

bool InstallInto(const std::string& installer, const std::string& installDir,
                 const std::string& utf8Name) {
    Process run = Driver::Start(installer);
    return FinishInstallation(run, installDir, utf8Name);
}

bool FinishInstallation(Process& run, const std::string& installDir,
                        const std::string& utf8Name) {
    Window ask = run.WaitWindowTitled(u8"インストール先のディレクトリ入力");
    if (!ask.found()) return false;
    ask.SetText(1000, installDir);
    ask.Press(IDOK);
    Window box = run.WaitMessageBox();
    if (!box.found()) return false;
    EXPECT_EQ(box.text, utf8Name + u8"のインストールを終了します。");
    box.Answer(IDOK);
    return run.WaitExit() == 0 && run.WaitAllExit() && !::testing::Test::HasFailure();
}

bool IsChecked(const Window& window, int id) {
    const Control* box = window.Find(id);
    DWORD_PTR state = 0;
    return box &&
           SendMessageTimeoutA(box->hwnd, BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, 2000, &state) &&
           state == BST_CHECKED;
}

Window WaitUninstallDialog(Process& run) {
    return run.WaitWindow(
        [](const Window& w) { return w.className == "#32770" && w.Find(1019) != nullptr; },
        "uninstall dialog");
}

Window WaitUninstallComplete(Process& run, const std::string& utf8Name, Window dialog) {
    if (!dialog.found()) dialog = WaitUninstallDialog(run);
    if (!dialog.found()) return dialog;
    EXPECT_EQ(dialog.title, UninstallerTitle(utf8Name));
    for (DWORD start = GetTickCount(); GetTickCount() - start < kWindowTimeout;) {
        dialog.Refresh();
        if (dialog.Find(1019) && dialog.Find(1019)->enabled) break;
        Sleep(kPollInterval);
    }
    const Control* done = dialog.Find(1019);
    EXPECT_TRUE(done && done->enabled) << dialog.Describe();
    EXPECT_EQ(dialog.ControlText(1019), u8"完了");
    EXPECT_EQ(dialog.ControlText(1017), Text24(utf8Name));
    for (int id : {1013, 1014, 1015, 1016}) EXPECT_TRUE(IsChecked(dialog, id)) << id;
    return dialog;
}

long AcceptUninstallation(Process& run, const std::string& utf8Name, bool runEnds) {
    Window question = run.WaitMessageBox();
    if (!question.found()) return -1;
    EXPECT_EQ(question.text, Text17(utf8Name));
    question.Answer(IDYES);
    Window dialog = WaitUninstallComplete(run, utf8Name);
    if (!dialog.found()) return -1;
    EXPECT_TRUE(dialog.visible);
    HeldProcess copy(dialog.pid);
    dialog.Press(1019);
    Window end = run.WaitMessageBox();
    EXPECT_EQ(end.text, Text16(utf8Name));
    end.Answer(IDOK);
    if (runEnds) {
        EXPECT_TRUE(run.WaitAllExit());
    }
    return copy.WaitExit();
}

std::string Text9(const std::string& name) {
    return u8"ファイル(" + name + u8")の削除ができません。";
}
std::string Text16(const std::string& name) { return name + u8"のアンインストールを終了します。"; }
std::string Text17(const std::string& name) { return name + u8" をアンインストールしますか？"; }
std::string Text18(const std::string& name) {
    return name + u8"をアンインストールしています。しばらくお待ちください．．．";
}
std::string Text24(const std::string& name) {
    return name + u8"のアンインストールが完了しました。\r\n［完了］ボタンをクリックしてください。";
}

void DeleteUserTree(const std::string& path) { RegDeleteTreeA(HKEY_CURRENT_USER, path.c_str()); }

}  // namespace e2e
