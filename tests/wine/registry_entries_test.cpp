// The installation's registry entries in the real registry of the prefix:
// values, types and byte counts as written, the Install key record with the
// keys it created and their removal, and the [UnInstall] keys.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "engine/registry_entries_win.h"
#include "package/setup_config.h"
#include "tests/wine/registry_probe.h"

using namespace registry_test;

namespace {

// "ソ" and "表" end in the byte 0x5C in code page 932.
const char kProduct[] = "ソフト表示オルベロ";

class RegistryEntriesTest : public ::testing::Test {
protected:
    void SetUp() override {
        // Names of this run only, so that nothing another test left matters.
        tag_ = "RegTest" + std::to_string(GetCurrentProcessId());
        Reset();
    }
    void TearDown() override {
        for (const std::string& path : cleanMachine_) RemoveKeyTree(HKEY_LOCAL_MACHINE, path);
        for (const std::string& path : cleanUser_) RemoveKeyTree(HKEY_CURRENT_USER, path);
        Reset();
    }
    static void Reset() {
        SetupConfig& config = Config();
        config.ProgramName = "";
        config.RegUninstall = "";
        config.MainProgram = "";
        config.InstallDir = "";
        config.RegCreateDirectory = "";
        config.UninstallUserKeys.Clear();
        config.UninstallMachineKeys.Clear();
    }
    // A key below HKLM\Software that exists for this test only.
    std::string MachineRoot() {
        std::string path = "Software\\" + tag_;
        cleanMachine_.push_back(path);
        return path;
    }
    std::string UserRoot() {
        std::string path = "Software\\" + tag_;
        cleanUser_.push_back(path);
        return path;
    }

    std::string tag_;
    std::vector<std::string> cleanMachine_, cleanUser_;
};

// The record taken back and the created keys removed, as the uninstallation
// does with no [UnInstall] key in between.
bool RemoveRecordedItems(char (&chain)[kRecordedChainSize]) {
    ByteString createdKeys;
    bool existed = TakeRecordedItems(chain, &createdKeys);
    RemoveCreatedKeys(createdKeys.c_str());
    return existed;
}

std::string UninstallKey(const std::string& name) {
    return std::string(kUninstallKeyPath) + "\\" + name;
}

// Bytes of text in UTF-16, as the registry stores it.
DWORD WideBytes(const std::string& text) {
    return 2 * static_cast<DWORD>(MultiByteToWideChar(CP_ACP, 0, text.data(),
                                                      static_cast<int>(text.size()), nullptr, 0));
}

// A REG_SZ value holding text and its terminating zero. The Uninstall values
// are written with a count that leaves the zero out, but the registry (NT and
// Wine alike) counts it in when it follows the data, so every string value
// reads back with it, in both the ANSI and the stored UTF-16 form.
void ExpectString(const StoredValue& value, const std::string& text, const char* what) {
    ASSERT_TRUE(value.present) << what;
    EXPECT_EQ(value.type, static_cast<DWORD>(REG_SZ)) << what;
    EXPECT_EQ(value.bytes, std::string(text.c_str(), text.size() + 1)) << what;
    EXPECT_EQ(value.size, text.size() + 1) << what;
    EXPECT_EQ(value.wideSize, WideBytes(text) + 2) << what;
}

}  // namespace

TEST_F(RegistryEntriesTest, UninstallEntryHoldsItsFourValuesWhateverTheDirectorysBackslash) {
    Config().ProgramName = kProduct;
    Config().MainProgram = "Orbelo.exe";
    const std::string command =
        "C:\\Program Files\\ソ\\install.exe -u -p \"C:\\Program Files\\ソ\"";
    // With and without its backslash, the directory gives the same values.
    for (const char* dir : {"C:\\Program Files\\ソ\\", "C:\\Program Files\\ソ"}) {
        SCOPED_TRACE(dir);
        std::string key = UninstallKey(kProduct);
        cleanMachine_.push_back(key);
        Config().InstallDir = dir;
        EXPECT_TRUE(WriteUninstallEntry(command.c_str()));
        ExpectString(ReadValue(HKEY_LOCAL_MACHINE, key, "DisplayName"), kProduct, "DisplayName");
        ExpectString(ReadValue(HKEY_LOCAL_MACHINE, key, "UninstallString"), command,
                     "UninstallString");
        ExpectString(ReadValue(HKEY_LOCAL_MACHINE, key, "DisplayIcon"),
                     "C:\\Program Files\\ソ\\Orbelo.exe", "DisplayIcon");
        ExpectString(ReadValue(HKEY_LOCAL_MACHINE, key, "InstallLocation"), "C:\\Program Files\\ソ",
                     "InstallLocation");
        EXPECT_EQ(KeyContents(HKEY_LOCAL_MACHINE, key), std::make_pair(4, 0));
        DeleteUninstallEntry();
        EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, key));
    }
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kUninstallKeyPath));
}

TEST_F(RegistryEntriesTest, UninstallEntryIsNamedByRegUninstallOrElseByTheProduct) {
    Config().ProgramName = kProduct;
    Config().InstallDir = "C:\\x\\";
    std::string own = "Orbelo " + tag_;
    Config().RegUninstall = own.c_str();
    cleanMachine_.push_back(UninstallKey(own));
    cleanMachine_.push_back(UninstallKey(kProduct));
    WriteUninstallEntry("x");
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, UninstallKey(own)));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, UninstallKey(kProduct)));
    ExpectString(ReadValue(HKEY_LOCAL_MACHINE, UninstallKey(own), "DisplayName"), kProduct,
                 "DisplayName");
    DeleteUninstallEntry();
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, UninstallKey(own)));

    Config().RegUninstall = "";
    WriteUninstallEntry("x");
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, UninstallKey(kProduct)));
    DeleteUninstallEntry();
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, UninstallKey(kProduct)));

    // Without any name nothing lands in the Uninstall key itself.
    Config().ProgramName = "";
    std::pair<int, int> before = KeyContents(HKEY_LOCAL_MACHINE, kUninstallKeyPath);
    WriteUninstallEntry("x");
    DeleteUninstallEntry();
    EXPECT_FALSE(ReadValue(HKEY_LOCAL_MACHINE, kUninstallKeyPath, "UninstallString").present);
    EXPECT_EQ(KeyContents(HKEY_LOCAL_MACHINE, kUninstallKeyPath), before);
}

TEST_F(RegistryEntriesTest, AppPathHoldsTheProgramPathWithItsTerminatingZero) {
    std::string program = "Orbelo" + tag_ + ".exe";
    std::string key = std::string(kAppPathsKeyPath) + "\\" + program;
    cleanMachine_.push_back(key);
    Config().MainProgram = program.c_str();
    Config().InstallDir = "C:\\Program Files\\表示\\";
    WriteAppPath();
    ExpectString(ReadValue(HKEY_LOCAL_MACHINE, key, nullptr), "C:\\Program Files\\表示\\" + program,
                 "default value");
    EXPECT_EQ(KeyContents(HKEY_LOCAL_MACHINE, key), std::make_pair(1, 0));
    DeleteAppPath();
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, key));

    // No main program: App Paths itself is left alone.
    Config().MainProgram = "";
    WriteAppPath();
    DeleteAppPath();
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kAppPathsKeyPath));
    EXPECT_FALSE(ReadValue(HKEY_LOCAL_MACHINE, kAppPathsKeyPath, nullptr).present);
}

TEST_F(RegistryEntriesTest, OnlyTheMissingTailOfTheInstallKeyIsRecordedAndLaterRemoved) {
    // The vendor key existed, the product and Install keys did not.
    std::string vendor = MachineRoot();
    CreateKey(HKEY_LOCAL_MACHINE, vendor);
    WriteString(HKEY_LOCAL_MACHINE, vendor, "Owner", "someone");
    std::string install = vendor + "\\オルベロ\\Install";
    Config().RegCreateDirectory = install.c_str();

    ASSERT_TRUE(RecordCreatedItem("Quorvane\\ソフト"));
    ExpectString(ReadValue(HKEY_LOCAL_MACHINE, install, "CreateDirectory"), "Quorvane\\ソフト",
                 "CreateDirectory");
    ExpectString(ReadValue(HKEY_LOCAL_MACHINE, install, "CreateKeyPath"), "オルベロ\\Install",
                 "CreateKeyPath");

    char chain[kRecordedChainSize] = {};
    EXPECT_TRUE(RemoveRecordedItems(chain));
    EXPECT_STREQ(chain, "Quorvane\\ソフト");
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, vendor + "\\オルベロ"));
    // The key that existed stays, with what it held.
    EXPECT_EQ(KeyContents(HKEY_LOCAL_MACHINE, vendor), std::make_pair(1, 0));

    // Nothing recorded any more: the key is gone, the buffer stays as given.
    char again[kRecordedChainSize] = {};
    EXPECT_FALSE(RemoveRecordedItems(again));
    EXPECT_STREQ(again, "");
}

TEST_F(RegistryEntriesTest, AnInstallKeyThatExistedKeepsItselfAndLosesOnlyTheRecord) {
    std::string install = MachineRoot() + "\\Install";
    CreateKey(HKEY_LOCAL_MACHINE, install);
    Config().RegCreateDirectory = install.c_str();
    ASSERT_TRUE(RecordCreatedItem("Orbelo"));
    ExpectString(ReadValue(HKEY_LOCAL_MACHINE, install, "CreateKeyPath"), "", "CreateKeyPath");
    char chain[kRecordedChainSize] = {};
    EXPECT_TRUE(RemoveRecordedItems(chain));
    EXPECT_STREQ(chain, "Orbelo");
    EXPECT_EQ(KeyContents(HKEY_LOCAL_MACHINE, install), std::make_pair(0, 0));
}

TEST_F(RegistryEntriesTest, AnInstallKeyWithOtherContentsStaysWithItsParents) {
    std::string root = MachineRoot();
    std::string install = root + "\\Orbelo\\Install";
    Config().RegCreateDirectory = install.c_str();
    for (int variant = 0; variant < 2; ++variant) {
        SCOPED_TRACE(variant);
        ASSERT_TRUE(RecordCreatedItem("Orbelo"));
        ExpectString(ReadValue(HKEY_LOCAL_MACHINE, install, "CreateKeyPath"),
                     tag_ + "\\Orbelo\\Install", "CreateKeyPath");
        if (variant == 0) {
            WriteString(HKEY_LOCAL_MACHINE, install, "Version", "1.0");
        } else {
            CreateKey(HKEY_LOCAL_MACHINE, install + "\\Settings");
        }
        char chain[kRecordedChainSize] = {};
        EXPECT_TRUE(RemoveRecordedItems(chain));
        EXPECT_STREQ(chain, "Orbelo");
        EXPECT_FALSE(ReadValue(HKEY_LOCAL_MACHINE, install, "CreateDirectory").present);
        EXPECT_FALSE(ReadValue(HKEY_LOCAL_MACHINE, install, "CreateKeyPath").present);
        EXPECT_EQ(KeyContents(HKEY_LOCAL_MACHINE, install), std::make_pair(1 - variant, variant));
        EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, root + "\\Orbelo"));
        RemoveKeyTree(HKEY_LOCAL_MACHINE, root);
    }
}

// An [UnInstall] key that holds the Install key: the record is taken first,
// the listed key goes with the Install key inside, and the climb goes on
// above it through the keys that the installation created.
TEST_F(RegistryEntriesTest, AListedKeyHoldingTheInstallKeyLosesNothingOfTheRecord) {
    std::string root = MachineRoot();
    CreateKey(HKEY_LOCAL_MACHINE, root);
    std::string product = root + "\\Vendor\\Product";
    Config().RegCreateDirectory = (product + "\\Install").c_str();
    ASSERT_TRUE(RecordCreatedItem("Vendor\\Product"));
    WriteString(HKEY_LOCAL_MACHINE, product, "Data", "the product's own");
    Config().UninstallMachineKeys.Add(product.c_str());

    char chain[kRecordedChainSize] = {};
    ByteString createdKeys;
    EXPECT_TRUE(TakeRecordedItems(chain, &createdKeys));
    EXPECT_STREQ(chain, "Vendor\\Product");
    EXPECT_STREQ(createdKeys.c_str(), "Vendor\\Product\\Install");
    DeleteListedKeys();
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, product));
    RemoveCreatedKeys(createdKeys.c_str());
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, root + "\\Vendor"));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, root));
}

TEST_F(RegistryEntriesTest, ARecordTooLongForThePathBufferIsTakenAsNoRecord) {
    std::string install = MachineRoot() + "\\Install";
    Config().RegCreateDirectory = install.c_str();
    // Each record in a buffer followed by a guard that must stay untouched.
    struct Guarded {
        char chain[kRecordedChainSize];
        char guard[64];
    };
    struct Case {
        std::string bytes;  // as stored, terminating zero or not
        std::string chain;  // what the uninstallation gets
    } cases[] = {
        {std::string(259, 'a') + '\0', std::string(259, 'a')},
        {std::string(260, 'a') + '\0', ""},
        {std::string(5000, 'b') + '\0', ""},
        // Stored without its terminating zero.
        {"Quorvane\\Orbelo", "Quorvane\\Orbelo"},
        {std::string(260, 'c'), ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bytes.size());
        CreateKey(HKEY_LOCAL_MACHINE, install);
        WriteValue(HKEY_LOCAL_MACHINE, install, "CreateDirectory", REG_SZ, c.bytes);
        Guarded buffer;
        memset(&buffer, 0, sizeof buffer);
        memset(buffer.guard, 'G', sizeof buffer.guard);
        EXPECT_TRUE(RemoveRecordedItems(buffer.chain));
        EXPECT_EQ(std::string(buffer.chain), c.chain);
        EXPECT_EQ(std::string(buffer.guard, sizeof buffer.guard), std::string(64, 'G'));
        EXPECT_FALSE(ReadValue(HKEY_LOCAL_MACHINE, install, "CreateDirectory").present);
    }
}

TEST_F(RegistryEntriesTest, TheBuiltInInstallKeyIsUsedWithoutRegCreateDirectory) {
    const std::string vendor = "SOFTWARE\\Quorvane";
    if (KeyExists(HKEY_LOCAL_MACHINE, vendor)) GTEST_SKIP() << "the vendor key exists already";
    cleanMachine_.push_back(vendor);
    EXPECT_STREQ(InstallKeyPath().c_str(), kDefaultInstallKeyPath);
    ASSERT_TRUE(RecordCreatedItem("Quorvane\\Orbelo"));
    ExpectString(ReadValue(HKEY_LOCAL_MACHINE, kDefaultInstallKeyPath, "CreateKeyPath"),
                 "Quorvane\\Orbelo\\Install", "CreateKeyPath");
    char chain[kRecordedChainSize] = {};
    EXPECT_TRUE(RemoveRecordedItems(chain));
    EXPECT_STREQ(chain, "Quorvane\\Orbelo");
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, vendor));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, "SOFTWARE"));
}

TEST_F(RegistryEntriesTest, ListedKeysGoWithTheirTreesAndSameNamedValues) {
    std::string user = UserRoot();
    std::string machine = MachineRoot();
    // HCU: a tree with subkeys and values, named with a trailing backslash.
    WriteString(HKEY_CURRENT_USER, user + "\\Orbelo\\Window\\Main", "Left", "10");
    WriteString(HKEY_CURRENT_USER, user + "\\Orbelo", "Setting", "1");
    // A value of the leaf's name in the parent goes too; its siblings stay.
    WriteString(HKEY_CURRENT_USER, user, "Orbelo", "value of that name");
    WriteString(HKEY_CURRENT_USER, user, "Other", "stays");
    WriteString(HKEY_CURRENT_USER, user + "\\Keep", "x", "stays");
    // HLM: a Japanese name whose last byte is 0x5C.
    WriteString(HKEY_LOCAL_MACHINE, machine + "\\ソ\\Sub", "v", "1");
    // An item without any backslash names a key directly under the root: not
    // deleted.
    std::string topLevel = tag_;
    WriteString(HKEY_CURRENT_USER, topLevel, "v", "1");
    cleanUser_.push_back(topLevel);

    Config().UninstallUserKeys.Add((user + "\\Orbelo\\").c_str());
    Config().UninstallUserKeys.Add(topLevel.c_str());
    Config().UninstallMachineKeys.Add((machine + "\\ソ").c_str());
    DeleteListedKeys();

    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, user + "\\Orbelo"));
    EXPECT_FALSE(ReadValue(HKEY_CURRENT_USER, user, "Orbelo").present);
    EXPECT_TRUE(ReadValue(HKEY_CURRENT_USER, user, "Other").present);
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, user + "\\Keep"));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, topLevel));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, machine + "\\ソ"));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, machine));
}

TEST_F(RegistryEntriesTest, ListedKeysOfAProductThatNeverRanCreateNothing) {
    std::string vendor = UserRoot();
    std::string machineVendor = MachineRoot();
    Config().UninstallUserKeys.Add((vendor + "\\Orbelo_Sample").c_str());
    Config().UninstallUserKeys.Add((vendor + "\\Deeper\\Orbelo\\").c_str());
    Config().UninstallMachineKeys.Add((machineVendor + "\\Orbelo_Sample").c_str());
    DeleteListedKeys();
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, vendor));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, machineVendor));
}

TEST_F(RegistryEntriesTest, DeleteKeyTreeRemovesSubkeysAndReportsTheStatus) {
    std::string root = MachineRoot();
    WriteString(HKEY_LOCAL_MACHINE, root + "\\Tree\\A\\B", "v", "1");
    WriteString(HKEY_LOCAL_MACHINE, root + "\\Tree\\C", "v", "1");
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, root.c_str(), 0, KEY_ALL_ACCESS, &key),
              ERROR_SUCCESS);
    EXPECT_EQ(DeleteKeyTree(key, "Tree"), ERROR_SUCCESS);
    EXPECT_EQ(DeleteKeyTree(key, "Tree"), ERROR_FILE_NOT_FOUND);
    RegCloseKey(key);
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, root + "\\Tree"));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, root));
}
