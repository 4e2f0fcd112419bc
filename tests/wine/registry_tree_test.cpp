#include <windows.h>

#include <gtest/gtest.h>
#include <shlwapi.h>

#include <string>
#include <vector>

#include "app/previous_install_win.h"
#include "package/setup_config.h"
#include "tests/wine/registry_probe.h"

namespace {

const char kTestRoot[] = "Software\\ChecksRegistryTreeTest";

using Tree = registry_test::KeyTree;
using registry_test::KeyExists;
using registry_test::WriteValue;

Tree Snapshot(const std::string& path) { return registry_test::Snapshot(HKEY_CURRENT_USER, path); }

void SetString(const std::string& path, const std::string& name, const std::string& text) {
    registry_test::WriteString(HKEY_CURRENT_USER, path, name, text);
}

std::string Bytes(size_t size, unsigned seed) {
    std::string data(size, '\0');
    for (size_t i = 0; i < size; ++i) data[i] = static_cast<char>((i * 131 + seed) % 251);
    return data;
}

class RegistryTree : public ::testing::Test {
protected:
    void SetUp() override { SHDeleteKeyA(HKEY_CURRENT_USER, kTestRoot); }
    void TearDown() override { SHDeleteKeyA(HKEY_CURRENT_USER, kTestRoot); }

    std::string Path(const char* name) const { return std::string(kTestRoot) + "\\" + name; }
};

}  // namespace

TEST_F(RegistryTree, MissingSourceLeavesDestinationUntouched) {
    SetString(Path("dst"), "kept", "old");
    SetString(Path("dst\\sub"), "", "old default");
    Tree before = Snapshot(Path("dst"));
    EXPECT_FALSE(CopyKeyTree(HKEY_CURRENT_USER, HKEY_CURRENT_USER, Path("missing").c_str(),
                             Path("dst").c_str()));
    EXPECT_EQ(Snapshot(Path("dst")), before);
    EXPECT_EQ(before.size(), 2u);
}

TEST_F(RegistryTree, CopyReplacesDestinationWithSourceExactly) {
    const std::string src = Path("src");
    std::string dword("\x2A\x00\x00\x80", 4);
    std::string qword("\x01\x02\x03\x04\x05\x06\x07\x08", 8);
    SetString(src, "", "default value");
    SetString(src, "text", "C:\\Program Files\\製品ソ表\\");
    WriteValue(HKEY_CURRENT_USER, src, "expand", REG_EXPAND_SZ, std::string("%TEMP%\\x", 9));
    WriteValue(HKEY_CURRENT_USER, src, "multi", REG_MULTI_SZ, std::string("one\0二\0\0", 9));
    WriteValue(HKEY_CURRENT_USER, src, "dword", REG_DWORD, dword);
    WriteValue(HKEY_CURRENT_USER, src, "qword", REG_QWORD, qword);
    WriteValue(HKEY_CURRENT_USER, src, "none", REG_NONE, "");
    WriteValue(HKEY_CURRENT_USER, src, "empty binary", REG_BINARY, "");
    WriteValue(HKEY_CURRENT_USER, src, "binary 4097", REG_BINARY, Bytes(4097, 1));
    WriteValue(HKEY_CURRENT_USER, src, "binary 300000", REG_BINARY, Bytes(300000, 2));
    SetString(src, "long text", std::string(6000, 'x'));
    SetString(src, std::string(300, 'n'), "long name");
    SetString(src, std::string(4200, 'm'), "name past 4095 bytes");
    SetString(src, "設定ソ", "日本語の名前");
    SetString(src + "\\level1", "a", "1");
    SetString(src + "\\level1\\level2", "b", "2");
    WriteValue(HKEY_CURRENT_USER, src + "\\level1\\level2\\level3", "big", REG_BINARY,
               Bytes(5000, 3));
    SetString(src + "\\表示ソ", "", "japanese subkey");
    SetString(src + "\\empty", "", "");
    // Old destination content that must disappear.
    SetString(Path("dst"), "stale", "old");
    SetString(Path("dst"), "text", "old text");
    SetString(Path("dst\\stale subkey\\deeper"), "x", "old");

    Tree source = Snapshot(src);
    ASSERT_EQ(source.size(), 6u);
    ASSERT_EQ(source[""].size(), 14u);

    EXPECT_TRUE(CopyKeyTree(HKEY_CURRENT_USER, HKEY_CURRENT_USER, src.c_str(), Path("dst").c_str()));
    EXPECT_EQ(Snapshot(Path("dst")), source);
    EXPECT_EQ(Snapshot(src), source);
}

TEST_F(RegistryTree, CopyBetweenOpenedKeysCreatesMissingDestination) {
    SetString(Path("a\\src\\sub"), "v", "value");
    HKEY srcParent = nullptr;
    HKEY dstParent = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, Path("a").c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &srcParent, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, Path("b").c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &dstParent, nullptr),
              ERROR_SUCCESS);
    EXPECT_TRUE(CopyKeyTree(srcParent, dstParent, "src", "new\\copy"));
    RegCloseKey(srcParent);
    RegCloseKey(dstParent);
    EXPECT_EQ(Snapshot(Path("b\\new\\copy")), Snapshot(Path("a\\src")));
}

TEST_F(RegistryTree, SubkeyThatCannotBeCopiedMakesTheCopyIncomplete) {
    SetString(Path("src"), "v", "1");
    SetString(Path("src\\locked"), "secret", "2");
    SetString(Path("src\\open"), "w", "3");
    // Everyone may only read the locked subkey, so it cannot be opened with
    // full access.
    HKEY locked = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, Path("src\\locked").c_str(), 0, WRITE_DAC, &locked),
              ERROR_SUCCESS);
    SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
    PSID everyone = nullptr;
    ASSERT_TRUE(AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0,
                                         &everyone));
    std::vector<BYTE> aclBuffer(sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) + GetLengthSid(everyone));
    auto* acl = reinterpret_cast<PACL>(aclBuffer.data());
    ASSERT_TRUE(InitializeAcl(acl, static_cast<DWORD>(aclBuffer.size()), ACL_REVISION));
    ASSERT_TRUE(AddAccessAllowedAce(acl, ACL_REVISION, KEY_READ | WRITE_DAC, everyone));
    SECURITY_DESCRIPTOR descriptor;
    InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
    SetSecurityDescriptorDacl(&descriptor, TRUE, acl, FALSE);
    LONG secured = RegSetKeySecurity(locked, DACL_SECURITY_INFORMATION, &descriptor);
    RegCloseKey(locked);
    FreeSid(everyone);
    ASSERT_EQ(secured, ERROR_SUCCESS);

    HKEY probe = nullptr;
    LONG opened = RegOpenKeyExA(HKEY_CURRENT_USER, Path("src\\locked").c_str(), 0, KEY_ALL_ACCESS,
                                &probe);
    if (opened == ERROR_SUCCESS) {
        RegCloseKey(probe);
        GTEST_SKIP() << "this Wine does not enforce the key's DACL";
    }
    EXPECT_FALSE(CopyKeyTree(HKEY_CURRENT_USER, HKEY_CURRENT_USER, Path("src").c_str(),
                             Path("dst").c_str()));
    // Everything else is still copied.
    Tree copy = Snapshot(Path("dst"));
    EXPECT_EQ(copy[""].count("v"), 1u);
    EXPECT_EQ(copy["\\open"].count("w"), 1u);
}

TEST_F(RegistryTree, DeleteRemovesDeepTreeAndNothingBeside) {
    // Created level by level through relative handles: the whole path is
    // longer than one registry path may be.
    HKEY level = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, Path("doomed").c_str(), 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &level, nullptr),
              ERROR_SUCCESS);
    for (int depth = 0; depth < 60; ++depth) {
        if (depth % 5 == 0) WriteValue(level, "sibling " + std::to_string(depth), "s", REG_SZ, "x");
        HKEY next = nullptr;
        ASSERT_EQ(RegCreateKeyExA(level, ("level " + std::to_string(depth)).c_str(), 0, nullptr, 0,
                                  KEY_ALL_ACCESS, nullptr, &next, nullptr),
                  ERROR_SUCCESS);
        RegCloseKey(level);
        level = next;
    }
    RegCloseKey(level);
    SetString(Path("doomed"), "top", "x");
    SetString(Path("doomedNeighbour"), "keep", "x");
    EXPECT_EQ(DeleteKeyWithSubkeys(HKEY_CURRENT_USER, Path("doomed").c_str()), ERROR_SUCCESS);
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, Path("doomed")));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, Path("doomedNeighbour")));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, kTestRoot));
}

TEST_F(RegistryTree, DeleteRefusesEmptyPathAndReportsMissingKey) {
    SetString(Path("x"), "v", "1");
    HKEY root = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, kTestRoot, 0, KEY_ALL_ACCESS, &root), ERROR_SUCCESS);
    EXPECT_EQ(DeleteKeyWithSubkeys(root, ""), ERROR_BADKEY);
    EXPECT_EQ(DeleteKeyWithSubkeys(root, nullptr), ERROR_BADKEY);
    RegCloseKey(root);
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, Path("x")));
    EXPECT_EQ(DeleteKeyWithSubkeys(HKEY_CURRENT_USER, Path("missing").c_str()),
              ERROR_FILE_NOT_FOUND);
}

namespace {

const char kUninstallRoot[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
const char kFullWidthName[] = "ＣＨＥＣＫＳ　テスト製品";
const char kHalfWidthName[] = "CHECKS ﾃｽﾄ製品";

class UninstallEntry : public ::testing::Test {
protected:
    void SetUp() override {
        saved_ = Config().RegUninstall;
        Config().RegUninstall = kFullWidthName;
        RemoveEntries();
    }
    void TearDown() override {
        RemoveEntries();
        Config().RegUninstall = saved_;
    }
    static void RemoveEntries() {
        SHDeleteKeyA(HKEY_LOCAL_MACHINE, (std::string(kUninstallRoot) + kFullWidthName).c_str());
        SHDeleteKeyA(HKEY_LOCAL_MACHINE, (std::string(kUninstallRoot) + kHalfWidthName).c_str());
    }
    static void CreateEntry(const char* name, const std::string& defaultValue) {
        registry_test::WriteString(HKEY_LOCAL_MACHINE, std::string(kUninstallRoot) + name, "",
                                   defaultValue);
    }

private:
    ByteString saved_;
};

}  // namespace

TEST_F(UninstallEntry, AbsentEntryIsNotFound) { EXPECT_FALSE(FindUninstallEntry()); }

TEST_F(UninstallEntry, EntryUnderItsOwnNameIsFound) {
    CreateEntry(kFullWidthName, "");
    EXPECT_TRUE(FindUninstallEntry());
}

TEST_F(UninstallEntry, EntryUnderTheHalfWidthNameIsFound) {
    CreateEntry(kHalfWidthName, "");
    EXPECT_TRUE(FindUninstallEntry());
}

TEST_F(UninstallEntry, EntryWithDefaultValueLongerThanAPathIsFound) {
    CreateEntry(kFullWidthName, std::string(600, 'v'));
    EXPECT_TRUE(FindUninstallEntry());
}

TEST_F(UninstallEntry, EmptyKeyNameNeverMatchesTheUninstallKeyItself) {
    Config().RegUninstall = "";
    EXPECT_FALSE(FindUninstallEntry());
}

// The command is read where the entry is: under the name itself first, under
// its half-width form only when the name itself does not open. An entry
// found without the value ends the search.
TEST_F(UninstallEntry, UninstallStringIsReadUnderTheNameOrItsHalfWidthForm) {
    struct Case {
        const char* what;
        const char* full;  // UninstallString under the name, "" for none, null: no entry
        const char* half;  // the same under the half-width name
        bool read;
        const char* command;
    } cases[] = {
        {"half-width only", nullptr, "C:\\half\\install.exe -u", true, "C:\\half\\install.exe -u"},
        {"both", "C:\\full\\install.exe -u", "C:\\half\\install.exe -u", true,
         "C:\\full\\install.exe -u"},
        {"the name without the value", "", "C:\\half\\install.exe -u", false, ""},
        {"the half-width name without the value", nullptr, "", false, ""},
        {"neither", nullptr, nullptr, false, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RemoveEntries();
        const char* values[2] = {c.full, c.half};
        const char* names[2] = {kFullWidthName, kHalfWidthName};
        for (int i = 0; i < 2; ++i) {
            if (!values[i]) continue;
            CreateEntry(names[i], "");
            if (*values[i]) {
                registry_test::WriteString(HKEY_LOCAL_MACHINE, std::string(kUninstallRoot) + names[i],
                                           "UninstallString", values[i]);
            }
        }
        ByteString command("stale");
        EXPECT_EQ(ReadUninstallString(&command), c.read);
        EXPECT_STREQ(command.c_str(), c.command);
    }
}
