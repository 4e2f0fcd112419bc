// The records of deletion at restart in the prefix's real registry: which
// path is recorded for deletion, and taking one back without touching any
// other record, also one that code page 932 cannot spell.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "engine/pending_renames_win.h"
#include "tests/wine/engine_fixture.h"

using namespace engine_test;

namespace {

const wchar_t kSessionManagerW[] = L"System\\CurrentControlSet\\Control\\Session Manager";
const wchar_t kPendingValueW[] = L"PendingFileRenameOperations";

// Pairs as MoveFileEx and other programs write them, "|" standing for the
// zero after each string; the value ends with one more zero.
void WriteRecords(const std::wstring& text) {
    std::wstring value = text;
    for (wchar_t& c : value)
        if (c == L'|') c = L'\0';
    value.push_back(L'\0');
    HKEY key;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSessionManagerW, 0, KEY_SET_VALUE, &key),
              ERROR_SUCCESS);
    RegSetValueExW(key, kPendingValueW, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(value.data()),
                   static_cast<DWORD>(value.size() * sizeof(wchar_t)));
    RegCloseKey(key);
}

// The value as "|"-separated text, or "<absent>".
std::wstring ReadRecords() {
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSessionManagerW, 0, KEY_QUERY_VALUE, &key) !=
        ERROR_SUCCESS)
        return L"<no key>";
    wchar_t buffer[1024];
    DWORD size = sizeof buffer;
    LONG status = RegQueryValueExW(key, kPendingValueW, nullptr, nullptr,
                                   reinterpret_cast<BYTE*>(buffer), &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS) return L"<absent>";
    std::wstring text(buffer, size / sizeof(wchar_t));
    for (wchar_t& c : text)
        if (c == L'\0') c = L'|';
    return text;
}

class PendingRenamesTest : public EngineTest {};

}  // namespace

TEST(PendingRenames, OnlyTheDeletionsOfThePathAreTakenBack) {
    PendingRenameGuard guard;
    struct Case {
        const char* what;
        std::wstring before;
        std::wstring after;  // "<absent>" when the value goes
        bool pendingBefore;
    } cases[] = {
        {"deletion among other records",
         L"\\??\\C:\\a.txt||\\??\\C:\\x.dll||\\??\\C:\\n.tmp|!\\??\\C:\\x.dll|\\??\\C:\\X.DLL||",
         L"\\??\\C:\\a.txt||\\??\\C:\\n.tmp|!\\??\\C:\\x.dll||", true},
        {"the only record", L"\\??\\C:\\x.dll||", L"<absent>", true},
        {"no prefix", L"C:\\x.dll||\\??\\C:\\b.txt||", L"\\??\\C:\\b.txt|||", true},
        {"a rename of it is no deletion", L"\\??\\C:\\x.dll|\\??\\C:\\y.dll|",
         L"\\??\\C:\\x.dll|\\??\\C:\\y.dll||", false},
        {"another program's name", L"\\??\\C:\\caf\u00e9\u4e2d.txt||\\??\\C:\\x.dll||",
         L"\\??\\C:\\caf\u00e9\u4e2d.txt|||", true},
        {"a similar name", L"\\??\\C:\\x.dll2||", L"\\??\\C:\\x.dll2|||", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WriteRecords(c.before);
        EXPECT_EQ(IsDeletionPending("C:\\x.dll"), c.pendingBefore);
        EXPECT_TRUE(CancelPendingDeletion("C:\\x.dll"));
        EXPECT_FALSE(IsDeletionPending("C:\\x.dll"));
        EXPECT_TRUE(ReadRecords() == c.after);
    }
}

// What MoveFileExA records is found under the code page 932 name it was
// given, "表" with its 0x5C trail byte included.
TEST_F(PendingRenamesTest, TheRecordsOfMoveFileExAreFound) {
    PendingRenameGuard guard;
    registry_test::DeleteValue(HKEY_LOCAL_MACHINE, kSessionManager, kPendingValue);
    std::string path = base() + "表示.dll";
    WriteFileBytes(path, "x");
    EXPECT_FALSE(IsDeletionPending(path.c_str()));
    ASSERT_TRUE(MoveFileExA(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT));
    EXPECT_TRUE(IsDeletionPending(path.c_str()));
    EXPECT_TRUE(CancelPendingDeletion(path.c_str()));
    EXPECT_FALSE(IsDeletionPending(path.c_str()));
    EXPECT_TRUE(PendingOperations().empty());
}
