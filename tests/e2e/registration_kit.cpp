#include "tests/e2e/registration_kit.h"

#include <shlobj.h>
#include <shlwapi.h>

#include "tests/e2e/driver.h"
#include "tests/e2e/installer_kit.h"

namespace e2e {

const char kUninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
const char kAppPathsKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths";
const char kBuiltInInstallKey[] = "SOFTWARE\\Quorvane\\Orbelo\\Install";

namespace {

std::string ShellFolder(int csidl) {
    char path[MAX_PATH] = "";
    if (FAILED(SHGetFolderPathA(nullptr, csidl, nullptr, 0, path))) return "";
    return path;
}

bool KeyExists(HKEY root, const std::string& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

// Prefixes of a backslash-separated path, cut at each backslash (code page
// 932 aware: a trail byte 0x5C does not cut), then the whole path.
std::vector<std::string> Prefixes(const std::string& path) {
    std::vector<std::string> prefixes;
    for (size_t i = 0; i < path.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(path[i]);
        if ((c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC)) {
            ++i;
        } else if (c == '\\' && i > 0) {
            prefixes.push_back(path.substr(0, i));
        }
    }
    if (!path.empty()) prefixes.push_back(path);
    return prefixes;
}

std::string TopLevel(const std::string& relative) { return Prefixes(relative).front(); }

}  // namespace

ProductTraces SampleProductTraces() {
    ProductTraces traces;
    traces.name = u8"オルベロ";
    traces.mainProgram = "Orbelo.exe";
    traces.programFolders = {u8"Quorvane オルベロ"};
    traces.desktopIcons = {u8"オルベロ"};
    traces.installKey = "Software\\Quorvane\\Orbelo_Sample\\Install";
    traces.directories = {"C:\\Program Files\\Quorvane\\Orbelo_Sample"};
    return traces;
}

std::string CommonPrograms() { return ShellFolder(CSIDL_COMMON_PROGRAMS); }
std::string CommonDesktop() { return ShellFolder(CSIDL_COMMON_DESKTOPDIRECTORY); }

bool MachineKeyExists(const std::string& path) { return KeyExists(HKEY_LOCAL_MACHINE, path); }
bool UserKeyExists(const std::string& path) { return KeyExists(HKEY_CURRENT_USER, path); }

std::string MachineString(const std::string& path, const char* name) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return "<absent>";
    }
    DWORD type = 0, size = 0;
    std::string text = "<absent>";
    if (RegQueryValueExA(key, name, nullptr, &type, nullptr, &size) == ERROR_SUCCESS) {
        std::string data(size + 1, '\0');
        RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&data[0]), &size);
        text = type == REG_SZ ? std::string(data.c_str()) : "<type " + std::to_string(type) + ">";
    }
    RegCloseKey(key);
    return text;
}

std::string FirstMissingMachineKey(const std::string& path) {
    for (const std::string& prefix : Prefixes(path)) {
        if (!MachineKeyExists(prefix)) return prefix;
    }
    return "";
}

std::string FirstMissingDirectory(const std::string& path) {
    for (const std::string& prefix : Prefixes(path)) {
        if (prefix.size() > 2 && !FileExists(prefix)) return prefix;
    }
    return "";
}

RegistrationGuard::RegistrationGuard(const ProductTraces& traces) {
    Note(true, std::string(kUninstallKey) + "\\" + Cp932FromUtf8(traces.name));
    if (!traces.mainProgram.empty()) {
        Note(true, std::string(kAppPathsKey) + "\\" + Cp932FromUtf8(traces.mainProgram));
    }
    std::string installKey = FirstMissingMachineKey(Cp932FromUtf8(traces.installKey));
    if (!installKey.empty()) Note(true, installKey);
    for (const std::string& folder : traces.programFolders) {
        Note(false, CommonPrograms() + "\\" + TopLevel(Cp932FromUtf8(folder)));
    }
    for (const std::string& icon : traces.desktopIcons) {
        Note(false, CommonDesktop() + "\\" + Cp932FromUtf8(icon) + ".lnk");
    }
    for (const std::string& dir : traces.directories) {
        std::string missing = FirstMissingDirectory(Cp932FromUtf8(dir));
        if (!missing.empty()) Note(false, missing);
    }
}

RegistrationGuard::~RegistrationGuard() { Remove(); }

void RegistrationGuard::Note(bool isKey, const std::string& path) {
    bool exists = isKey ? MachineKeyExists(path) : FileExists(path);
    traces_.push_back(Trace{isKey, path, exists});
}

std::vector<std::string> RegistrationGuard::Added() const {
    std::vector<std::string> added;
    for (const Trace& trace : traces_) {
        if (trace.existed) continue;
        if (trace.isKey ? MachineKeyExists(trace.path) : FileExists(trace.path)) {
            added.push_back(trace.path);
        }
    }
    return added;
}

void RegistrationGuard::Remove() {
    for (const Trace& trace : traces_) {
        if (trace.existed) continue;
        if (trace.isKey) {
            SHDeleteKeyA(HKEY_LOCAL_MACHINE, trace.path.c_str());
        } else if (GetFileAttributesA(trace.path.c_str()) & FILE_ATTRIBUTE_DIRECTORY) {
            RemoveTree(trace.path);
        } else {
            DeleteFileA(trace.path.c_str());
        }
    }
}

}  // namespace e2e
