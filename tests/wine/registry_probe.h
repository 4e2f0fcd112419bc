// Reading and preparing the real registry of the test prefix, with the sizes
// the registry reports, for the tests of the installation's entries and
// shortcuts.
#pragma once

#include <windows.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <string>

namespace registry_test {

inline bool KeyExists(HKEY root, const std::string& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

// One value as stored: its type, the byte count the registry reports and the
// bytes themselves (terminating zero included when it was written).
// The registry keeps strings in UTF-16; wideSize is the byte count of that
// stored form, which says whether the writer counted the terminating zero
// (the ANSI query may add one of its own when the data lacks it).
struct StoredValue {
    bool present = false;
    DWORD type = 0;
    DWORD size = 0;
    DWORD wideSize = 0;
    std::string bytes;
};

inline StoredValue ReadValue(HKEY root, const std::string& path, const char* name) {
    StoredValue value;
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return value;
    if (RegQueryValueExA(key, name, nullptr, &value.type, nullptr, &value.size) == ERROR_SUCCESS) {
        value.present = true;
        value.bytes.assign(value.size, '\0');
        DWORD size = value.size;
        RegQueryValueExA(key, name, nullptr, &value.type, reinterpret_cast<BYTE*>(&value.bytes[0]),
                         &size);
        WCHAR wideName[256] = L"";
        if (name) MultiByteToWideChar(CP_ACP, 0, name, -1, wideName, 256);
        RegQueryValueExW(key, name ? wideName : nullptr, nullptr, nullptr, nullptr,
                         &value.wideSize);
    }
    RegCloseKey(key);
    return value;
}

inline void WriteValue(HKEY root, const std::string& path, const char* name, DWORD type,
                       const std::string& bytes) {
    HKEY key = nullptr;
    if (RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) != ERROR_SUCCESS) {
        return;
    }
    RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                   static_cast<DWORD>(bytes.size()));
    RegCloseKey(key);
}

// A string value as REG_SZ with its terminating zero.
inline void WriteString(HKEY root, const std::string& path, const char* name,
                        const std::string& text) {
    WriteValue(root, path, name, REG_SZ, std::string(text.c_str(), text.size() + 1));
}

inline void CreateKey(HKEY root, const std::string& path) {
    HKEY key = nullptr;
    if (RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) == ERROR_SUCCESS) {
        RegCloseKey(key);
    }
}

inline void RemoveKeyTree(HKEY root, const std::string& path) { SHDeleteKeyA(root, path.c_str()); }

// Number of values and of subkeys of a key; -1, -1 when it is missing.
inline std::pair<int, int> KeyContents(HKEY root, const std::string& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return {-1, -1};
    DWORD subkeys = 0, values = 0;
    RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr,
                     nullptr, nullptr, nullptr);
    RegCloseKey(key);
    return {static_cast<int>(values), static_cast<int>(subkeys)};
}

// What a shortcut file holds, read back through the ShellLink object.
struct LinkContents {
    bool loaded = false;
    std::string target, arguments, workingDirectory, iconPath, description;
    int iconIndex = -1;
};

inline LinkContents ReadLink(const std::string& path) {
    LinkContents contents;
    HRESULT com = CoInitialize(nullptr);
    IShellLinkA* link = nullptr;
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                   reinterpret_cast<void**>(&link)))) {
        IPersistFile* file = nullptr;
        if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
            WCHAR wide[MAX_PATH * 2];
            MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide, MAX_PATH * 2);
            if (SUCCEEDED(file->Load(wide, STGM_READ))) {
                contents.loaded = true;
                char text[1024];
                WIN32_FIND_DATAA data;
                text[0] = 0;
                link->GetPath(text, sizeof text, &data, SLGP_RAWPATH);
                contents.target = text;
                text[0] = 0;
                link->GetArguments(text, sizeof text);
                contents.arguments = text;
                text[0] = 0;
                link->GetWorkingDirectory(text, sizeof text);
                contents.workingDirectory = text;
                text[0] = 0;
                link->GetIconLocation(text, sizeof text, &contents.iconIndex);
                contents.iconPath = text;
                text[0] = 0;
                link->GetDescription(text, sizeof text);
                contents.description = text;
            }
            file->Release();
        }
        link->Release();
    }
    if (SUCCEEDED(com)) CoUninitialize();
    return contents;
}

}  // namespace registry_test
