// Reading and preparing the real registry of the test prefix, with the sizes
// the registry reports, for the tests of the registry, of the installation's
// entries and of its shortcuts.
#pragma once

#include <windows.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <gtest/gtest.h>

#include "tests/support/system_probes.h"

#include <map>
#include <string>
#include <vector>

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
        if (size < value.size) value.bytes.resize(size);
        WCHAR wideName[256] = L"";
        if (name) MultiByteToWideChar(CP_ACP, 0, name, -1, wideName, 256);
        RegQueryValueExW(key, name ? wideName : nullptr, nullptr, nullptr, nullptr,
                         &value.wideSize);
    }
    RegCloseKey(key);
    return value;
}

// Writes the value, creating its key; root may be any open key.
inline void WriteValue(HKEY root, const std::string& path, const std::string& name, DWORD type,
                       const std::string& bytes) {
    HKEY key = nullptr;
    LONG created =
        RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    if (created != ERROR_SUCCESS) {
        ADD_FAILURE() << "cannot create " << path << ": " << created;
        return;
    }
    LONG set =
        RegSetValueExA(key, name.c_str(), 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                       static_cast<DWORD>(bytes.size()));
    RegCloseKey(key);
    EXPECT_EQ(set, ERROR_SUCCESS) << path << ", a name of " << name.size() << " bytes";
}

// A string value as REG_SZ with its terminating zero.
inline void WriteString(HKEY root, const std::string& path, const std::string& name,
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

inline void DeleteValue(HKEY root, const std::string& path, const char* name) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) return;
    RegDeleteValueA(key, name);
    RegCloseKey(key);
}

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

// One value of a key tree, as the enumeration returns it.
struct TreeValue {
    DWORD type;
    std::string data;
    bool operator==(const TreeValue& other) const {
        return type == other.type && data == other.data;
    }
};

// A key tree as "subkey path" -> (value name -> value); the key itself is "",
// a subkey "\\name\\name".
using KeyTree = std::map<std::string, std::map<std::string, TreeValue>>;

// Adds key and everything below it to tree, under path. Read with plain
// buffers large enough for everything the tests write.
inline void ReadTree(HKEY key, const std::string& path, KeyTree& tree) {
    auto& values = tree[path];
    std::vector<char> name(40000);
    std::vector<BYTE> data(1 << 20);
    for (DWORD index = 0;; ++index) {
        DWORD nameSize = static_cast<DWORD>(name.size());
        DWORD dataSize = static_cast<DWORD>(data.size());
        DWORD type = 0;
        LONG result = RegEnumValueA(key, index, name.data(), &nameSize, nullptr, &type, data.data(),
                                    &dataSize);
        if (result != ERROR_SUCCESS) break;
        values[std::string(name.data(), nameSize)] =
            TreeValue{type, std::string(reinterpret_cast<char*>(data.data()), dataSize)};
    }
    for (DWORD index = 0;; ++index) {
        DWORD nameSize = static_cast<DWORD>(name.size());
        if (RegEnumKeyExA(key, index, name.data(), &nameSize, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS) {
            break;
        }
        std::string child(name.data(), nameSize);
        HKEY sub = nullptr;
        if (RegOpenKeyExA(key, child.c_str(), 0, KEY_READ, &sub) == ERROR_SUCCESS) {
            ReadTree(sub, path + "\\" + child, tree);
            RegCloseKey(sub);
        }
    }
}

// The whole tree below a key; empty when the key is missing.
inline KeyTree Snapshot(HKEY root, const std::string& path) {
    KeyTree tree;
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS) {
        ReadTree(key, "", tree);
        RegCloseKey(key);
    }
    return tree;
}

using test_support::LinkContents;
using test_support::ReadLink;

}  // namespace registry_test
