#include "engine/registry_entries_win.h"

#include <string.h>

#include "engine/install_paths.h"
#include "engine/registry_chain.h"
#include "package/setup_config.h"

const char kUninstallKeyPath[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
const char kAppPathsKeyPath[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths";
const char kDefaultInstallKeyPath[] = "SOFTWARE\\Quorvane\\Orbelo\\Install";

namespace {

const char kCreateDirectoryValue[] = "CreateDirectory";
const char kCreateKeyPathValue[] = "CreateKeyPath";

// An open registry key, closed with its owner. A key is taken over only
// when the call that produced it succeeded: what a failing call leaves in its
// output is not a handle.
class RegKey {
public:
    RegKey() = default;
    ~RegKey() { Close(); }
    RegKey(const RegKey&) = delete;
    RegKey& operator=(const RegKey&) = delete;

    LONG Take(LONG status, HKEY key) {
        Close();
        if (status == ERROR_SUCCESS) key_ = key;
        return status;
    }
    HKEY get() const { return key_; }
    void Close() {
        if (key_) RegCloseKey(key_);
        key_ = nullptr;
    }

private:
    HKEY key_ = nullptr;
};

// RegOpenKeyExA with full access: what the uninstallation needs to delete.
bool OpenKey(HKEY root, const char* path, RegKey* key) {
    HKEY handle = nullptr;
    LONG status = RegOpenKeyExA(root, path, 0, KEY_ALL_ACCESS, &handle);
    return key->Take(status, handle) == ERROR_SUCCESS;
}

LONG OpenKeyPlain(HKEY root, const char* path, RegKey* key) {
    HKEY handle = nullptr;
    LONG status = RegOpenKeyA(root, path, &handle);
    return key->Take(status, handle);
}

LONG CreateKeyPlain(HKEY parent, const char* name, RegKey* key) {
    HKEY handle = nullptr;
    LONG status = RegCreateKeyA(parent, name, &handle);
    return key->Take(status, handle);
}

LONG CreateKeyFull(HKEY root, const char* path, RegKey* key) {
    HKEY handle = nullptr;
    LONG status =
        RegCreateKeyExA(root, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &handle, nullptr);
    return key->Take(status, handle);
}

// The name of the Uninstall entry: RegUninstall, which the script reader
// defaults to ProgramName.
ByteString UninstallEntryName() {
    const SetupConfig& config = Config();
    return config.RegUninstall.IsEmpty() ? config.ProgramName : config.RegUninstall;
}

ByteString InstallDirJoined(const char* name) {
    ByteString path = WithTrailingBackslash(Config().InstallDir.c_str());
    path.Append(name);
    return path;
}

void SetString(HKEY key, const char* name, const ByteString& data, bool countZero) {
    DWORD size = static_cast<DWORD>(data.Length() + (countZero ? 1 : 0));
    RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()), size);
}

// Reads a string value with the size the registry reports, whatever that
// is; data that lacks its terminating zero is taken up to its end. False
// when the value is absent or changed size between the two queries.
bool QueryString(HKEY key, const char* name, ByteString* value) {
    DWORD type = 0, size = 0;
    if (RegQueryValueExA(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return false;
    char* buffer = new char[size + 1];
    DWORD read = size;
    bool ok = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &read) ==
              ERROR_SUCCESS;
    if (ok) {
        buffer[read <= size ? read : size] = '\0';
        value->Assign(buffer, strlen(buffer));
    }
    delete[] buffer;
    return ok;
}

// Empty: no value and no subkey. The value name buffer is generous (1024)
// so that a long name reads as present rather than as an error.
bool IsKeyEmpty(HKEY key) {
    char valueName[1024];
    DWORD valueNameSize = sizeof valueName;
    LONG values =
        RegEnumValueA(key, 0, valueName, &valueNameSize, nullptr, nullptr, nullptr, nullptr);
    char subkeyName[256];
    DWORD subkeyNameSize = sizeof subkeyName;
    LONG subkeys =
        RegEnumKeyExA(key, 0, subkeyName, &subkeyNameSize, nullptr, nullptr, nullptr, nullptr);
    return values == ERROR_NO_MORE_ITEMS && subkeys == ERROR_NO_MORE_ITEMS;
}

void DeleteListedKeysUnder(HKEY root, const StringList& items) {
    ByteString parentPath, leaf;
    for (size_t i = 0; i < items.Count(); ++i) {
        if (!SplitKeyItem(items[i].c_str(), &parentPath, &leaf)) continue;
        // Opened, not created: a product that never ran has no parent key,
        // and the uninstallation must not leave one behind.
        RegKey parent;
        if (!OpenKey(root, parentPath.c_str(), &parent)) continue;
        DeleteKeyTree(parent.get(), leaf.c_str());
        RegDeleteValueA(parent.get(), leaf.c_str());
    }
}

typedef LONG(WINAPI* ShDeleteKeyFunction)(HKEY key, LPCSTR subkey);

}  // namespace

ByteString InstallKeyPath() {
    const ByteString& configured = Config().RegCreateDirectory;
    return configured.IsEmpty() ? ByteString(kDefaultInstallKeyPath) : configured;
}

bool WriteUninstallEntry(const char* uninstallCommand) {
    const SetupConfig& config = Config();
    ByteString name = UninstallEntryName();
    // An empty name would write the values into the Uninstall key itself.
    if (name.IsEmpty()) return true;
    RegKey uninstall;
    LONG status = OpenKeyPlain(HKEY_LOCAL_MACHINE, kUninstallKeyPath, &uninstall);
    if (status == ERROR_FILE_NOT_FOUND) {
        status = CreateKeyFull(HKEY_LOCAL_MACHINE, kUninstallKeyPath, &uninstall);
    }
    if (status != ERROR_SUCCESS) return true;
    RegKey entry;
    if (CreateKeyPlain(uninstall.get(), name.c_str(), &entry) != ERROR_SUCCESS) return true;
    SetString(entry.get(), "DisplayName", config.ProgramName, false);
    SetString(entry.get(), "UninstallString", ByteString(uninstallCommand), false);
    SetString(entry.get(), "DisplayIcon", InstallDirJoined(config.MainProgram.c_str()), false);
    SetString(entry.get(), "InstallLocation", WithoutTrailingBackslash(config.InstallDir.c_str()),
              false);
    return true;
}

void DeleteUninstallEntry() {
    ByteString name = UninstallEntryName();
    // RegDeleteKeyA with an empty name would act on the Uninstall key itself.
    if (name.IsEmpty()) return;
    RegKey uninstall;
    if (OpenKeyPlain(HKEY_LOCAL_MACHINE, kUninstallKeyPath, &uninstall) != ERROR_SUCCESS) return;
    RegDeleteKeyA(uninstall.get(), name.c_str());
}

void WriteAppPath() {
    const ByteString& program = Config().MainProgram;
    if (program.IsEmpty()) return;
    RegKey appPaths;
    if (OpenKeyPlain(HKEY_LOCAL_MACHINE, kAppPathsKeyPath, &appPaths) != ERROR_SUCCESS) return;
    RegKey entry;
    if (CreateKeyPlain(appPaths.get(), program.c_str(), &entry) != ERROR_SUCCESS) return;
    ByteString path = InstallDirJoined(program.c_str());
    RegSetValueA(entry.get(), nullptr, REG_SZ, path.c_str(), static_cast<DWORD>(path.Length() + 1));
}

void DeleteAppPath() {
    const ByteString& program = Config().MainProgram;
    if (program.IsEmpty()) return;
    RegKey appPaths;
    if (OpenKeyPlain(HKEY_LOCAL_MACHINE, kAppPathsKeyPath, &appPaths) != ERROR_SUCCESS) return;
    RegDeleteKeyA(appPaths.get(), program.c_str());
}

bool RecordCreatedItem(const char* createdChain) {
    ByteString keyPath = InstallKeyPath();
    int firstMissing = -1;
    int count = KeyPrefixCount(keyPath.c_str());
    for (int i = 0; i < count && firstMissing < 0; ++i) {
        RegKey probe;
        if (!OpenKey(HKEY_LOCAL_MACHINE, KeyPrefix(keyPath.c_str(), i).c_str(), &probe)) {
            firstMissing = i;
        }
    }
    ByteString keyChain = CreatedKeyChain(keyPath.c_str(), firstMissing);

    RegKey install;
    if (CreateKeyFull(HKEY_LOCAL_MACHINE, keyPath.c_str(), &install) != ERROR_SUCCESS) return false;
    ByteString directoryChain(createdChain);
    bool ok = RegSetValueExA(install.get(), kCreateDirectoryValue, 0, REG_SZ,
                             reinterpret_cast<const BYTE*>(directoryChain.c_str()),
                             static_cast<DWORD>(directoryChain.Length() + 1)) == ERROR_SUCCESS;
    ok = RegSetValueExA(install.get(), kCreateKeyPathValue, 0, REG_SZ,
                        reinterpret_cast<const BYTE*>(keyChain.c_str()),
                        static_cast<DWORD>(keyChain.Length() + 1)) == ERROR_SUCCESS &&
         ok;
    return ok;
}

bool TakeRecordedItems(char (&createdChain)[kRecordedChainSize], ByteString* createdKeys) {
    createdKeys->Clear();
    ByteString keyPath = InstallKeyPath();
    RegKey install;
    if (!OpenKey(HKEY_LOCAL_MACHINE, keyPath.c_str(), &install)) return false;

    ByteString directories;
    if (QueryString(install.get(), kCreateDirectoryValue, &directories)) {
        // A record that does not fit is not cut short: a shortened chain
        // would name other directories than the ones created.
        if (!CopyToBuffer(createdChain, kRecordedChainSize, directories.c_str())) {
            createdChain[0] = '\0';
        }
    }
    RegDeleteValueA(install.get(), kCreateDirectoryValue);
    QueryString(install.get(), kCreateKeyPathValue, createdKeys);
    RegDeleteValueA(install.get(), kCreateKeyPathValue);
    return true;
}

void RemoveCreatedKeys(const char* createdKeys) {
    StringList climb = KeysToClimb(InstallKeyPath().c_str(), createdKeys);
    ByteString parentPath, leaf;
    for (size_t i = 0; i < climb.Count(); ++i) {
        RegKey key;
        if (OpenKey(HKEY_LOCAL_MACHINE, climb[i].c_str(), &key)) {
            if (!IsKeyEmpty(key.get())) return;
            key.Close();
            if (!SplitKeyItem(climb[i].c_str(), &parentPath, &leaf)) return;
            RegKey parent;
            if (!OpenKey(HKEY_LOCAL_MACHINE, parentPath.c_str(), &parent)) return;
            if (RegDeleteKeyA(parent.get(), leaf.c_str()) != ERROR_SUCCESS) return;
        }
    }
}

void DeleteListedKeys() {
    const SetupConfig& config = Config();
    DeleteListedKeysUnder(HKEY_CURRENT_USER, config.UninstallUserKeys);
    DeleteListedKeysUnder(HKEY_LOCAL_MACHINE, config.UninstallMachineKeys);
}

LONG DeleteKeyTree(HKEY key, const char* subkey) {
    // By its full path in the system directory: a bare name would also be
    // looked for beside the running program.
    static const char kLibrary[] = "\\shlwapi.dll";
    char path[MAX_PATH];
    UINT length = GetSystemDirectoryA(path, MAX_PATH);
    HMODULE library = nullptr;
    if (length > 0 && length + sizeof kLibrary <= MAX_PATH) {
        memcpy(path + length, kLibrary, sizeof kLibrary);
        library = LoadLibraryA(path);
    }
    if (library) {
        ShDeleteKeyFunction shDeleteKey = reinterpret_cast<ShDeleteKeyFunction>(
            reinterpret_cast<void*>(GetProcAddress(library, "SHDeleteKeyA")));
        if (shDeleteKey) {
            LONG status = shDeleteKey(key, subkey);
            FreeLibrary(library);
            return status;
        }
        FreeLibrary(library);
    }
    return RegDeleteKeyA(key, subkey);
}
