#include <windows.h>

#include <gtest/gtest.h>
#include <shlobj.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "engine/program_folder_win.h"

namespace {

const char kMatch[] = "オルベロ";

class StartupShortcut : public ::testing::Test {
protected:
    void SetUp() override {
        char folder[MAX_PATH] = "";
        ASSERT_EQ(SHGetFolderPathA(nullptr, CSIDL_STARTUP | CSIDL_FLAG_CREATE, nullptr, 0, folder),
                  S_OK);
        folder_ = folder;
        for (const std::string& name : List()) {
            ASSERT_EQ(name.find(kMatch), std::string::npos) << "left over: " << name;
        }
    }
    void TearDown() override {
        for (const std::string& name : created_) {
            std::string path = Path(name);
            SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileA(path.c_str());
        }
    }

    std::string Path(const std::string& name) const { return folder_ + "\\" + name; }

    void Create(const std::string& name, DWORD attributes = FILE_ATTRIBUTE_NORMAL) {
        created_.push_back(name);
        HANDLE file = CreateFileA(Path(name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  attributes, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE) << name;
        DWORD written = 0;
        WriteFile(file, "link", 4, &written, nullptr);
        CloseHandle(file);
    }

    // The folder's entries in listing order, "." and ".." left out.
    std::vector<std::string> List() const {
        std::vector<std::string> names;
        WIN32_FIND_DATAA entry;
        HANDLE search = FindFirstFileA((folder_ + "\\*").c_str(), &entry);
        if (search == INVALID_HANDLE_VALUE) return names;
        do {
            std::string name = entry.cFileName;
            if (name != "." && name != "..") names.push_back(name);
        } while (FindNextFileA(search, &entry));
        FindClose(search);
        return names;
    }

    std::set<std::string> Present() const {
        std::vector<std::string> names = List();
        return std::set<std::string>(names.begin(), names.end());
    }

    std::string folder_;
    std::vector<std::string> created_;
};

}  // namespace

TEST_F(StartupShortcut, DeletesOnlyTheFirstMatchInListingOrderPerCall) {
    Create("オルベロ サンプル.lnk");
    Create("other.lnk");
    Create("起動 オルベロ.lnk");
    std::vector<std::string> matches;
    for (const std::string& name : List()) {
        if (name.find(kMatch) != std::string::npos) matches.push_back(name);
    }
    ASSERT_EQ(matches.size(), 2u);

    RemoveStartupShortcut();
    std::set<std::string> present = Present();
    EXPECT_EQ(present.count(matches[0]), 0u);
    EXPECT_EQ(present.count(matches[1]), 1u);
    EXPECT_EQ(present.count("other.lnk"), 1u);

    RemoveStartupShortcut();
    present = Present();
    EXPECT_EQ(present.count(matches[1]), 0u);
    EXPECT_EQ(present.count("other.lnk"), 1u);

    RemoveStartupShortcut();
    EXPECT_EQ(Present().count("other.lnk"), 1u);
}

TEST_F(StartupShortcut, ReadOnlyMatchIsDeleted) {
    Create("オルベロ.lnk", FILE_ATTRIBUTE_READONLY);
    ASSERT_NE(GetFileAttributesA(Path("オルベロ.lnk").c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
    RemoveStartupShortcut();
    EXPECT_EQ(GetFileAttributesA(Path("オルベロ.lnk").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(StartupShortcut, EntriesWithoutTheWholeNameStay) {
    const std::vector<std::string> names = {
        "other.lnk",
        "オルベ.lnk",
        "ｵﾙﾍﾞﾛ.lnk",  // the half-width form is another text
        // 宴 is 0x89 0x83: its trail byte and the following bytes spell
        // オルベロ, which starts in the middle of a character.
        "宴Iルベロ.lnk",
    };
    for (const std::string& name : names) Create(name);
    RemoveStartupShortcut();
    std::set<std::string> present = Present();
    for (const std::string& name : names) EXPECT_EQ(present.count(name), 1u) << name;
}
