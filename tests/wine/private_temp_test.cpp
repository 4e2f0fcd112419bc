// The temporary directory and files that the elevated program trusts: a name
// planted in their way is skipped, never used; they are made with a
// descriptor that lets administrators and SYSTEM only use them; the extraction
// directory cannot be moved away and the relaunched copy cannot be written,
// renamed or deleted while they are held. (Wine here keeps no descriptor of
// its own for files: what GetNamedSecurityInfoA reports is made up from the
// Unix permissions. So the descriptor is checked as the program builds it.)
#include "package/private_temp_win.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/relaunch_win.h"
#include "tests/wine/engine_fixture.h"

namespace {

std::string TempName(const char* prefix, UINT number) {
    char directory[MAX_PATH];
    GetTempPathA(sizeof directory, directory);
    char name[MAX_PATH];
    EXPECT_NE(GetTempFileNameA(directory, prefix, number, name), 0u);
    return name;
}

// The allowed-access entries of path's DACL, as "<sid> <flags>" texts, and
// whether the DACL is protected from inheritance.
struct Access {
    std::vector<std::string> entries;
    bool isProtected = false;
};

std::string SidText(PSID sid) {
    static SID_IDENTIFIER_AUTHORITY nt = {SECURITY_NT_AUTHORITY};
    PSID admins = nullptr;
    PSID system = nullptr;
    AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0,
                             0, 0, 0, 0, &admins);
    AllocateAndInitializeSid(&nt, 1, SECURITY_LOCAL_SYSTEM_RID, 0, 0, 0, 0, 0, 0, 0, &system);
    std::string text = EqualSid(sid, admins) ? "Administrators"
                       : EqualSid(sid, system) ? "SYSTEM"
                                               : "someone else";
    FreeSid(admins);
    FreeSid(system);
    return text;
}

Access ReadAccess(SECURITY_DESCRIPTOR* descriptor) {
    Access access;
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    PACL dacl = nullptr;
    EXPECT_TRUE(GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted));
    EXPECT_TRUE(present);
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    GetSecurityDescriptorControl(descriptor, &control, &revision);
    access.isProtected = (control & SE_DACL_PROTECTED) != 0;
    for (DWORD i = 0; dacl && i < dacl->AceCount; ++i) {
        void* ace = nullptr;
        if (!GetAce(dacl, i, &ace)) continue;
        auto* header = static_cast<ACE_HEADER*>(ace);
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE) {
            access.entries.push_back("another kind of entry");
            continue;
        }
        auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
        std::string entry = SidText(&allowed->SidStart);
        if ((allowed->Mask & FILE_ALL_ACCESS) == FILE_ALL_ACCESS) entry += " full";
        if (header->AceFlags & OBJECT_INHERIT_ACE) entry += " files";
        if (header->AceFlags & CONTAINER_INHERIT_ACE) entry += " folders";
        access.entries.push_back(entry);
    }
    return access;
}

// Full access for Administrators and SYSTEM, passed on to everything inside,
// nothing else and nothing inherited from the temporary directory.
TEST(PrivateTemp, TheDescriptorGrantsAdministratorsAndSystemOnly) {
    AdminOnlySecurity security;
    ASSERT_TRUE(security.Valid());
    ASSERT_NE(security.Attributes(), nullptr);
    EXPECT_EQ(security.Attributes()->lpSecurityDescriptor, security.Descriptor());
    EXPECT_TRUE(IsValidSecurityDescriptor(security.Descriptor()));
    Access access = ReadAccess(security.Descriptor());
    EXPECT_EQ(access.entries, (std::vector<std::string>{"Administrators full files folders",
                                                        "SYSTEM full files folders"}));
    EXPECT_TRUE(access.isProtected);
}

TEST(PrivateTemp, PlantedNamesAreSkippedAndTheHeldDirectoryCannotBeMoved) {
    // What a user without administrator rights can do in the temporary
    // directory beforehand: put a directory and a file under the very names
    // that the next creation will try first.
    std::string plantedDir = TempName("KTW", UpcomingTempNameNumber(0));
    std::string plantedFile = TempName("KTW", UpcomingTempNameNumber(1));
    std::string expected = TempName("KTW", UpcomingTempNameNumber(2));
    ASSERT_TRUE(CreateDirectoryA(plantedDir.c_str(), nullptr));
    engine_test::WriteFileBytes(plantedFile, "planted");

    ByteString path;
    HANDLE hold = INVALID_HANDLE_VALUE;
    ASSERT_TRUE(CreatePrivateTempDirectory("KTW", &path, &hold));
    EXPECT_EQ(std::string(path.c_str()), expected);
    EXPECT_NE(hold, INVALID_HANDLE_VALUE);
    EXPECT_EQ(engine_test::ReadFileBytes(plantedFile), "planted");

    // While held, the directory cannot be moved away (and another put in
    // its place), not even when it holds files.
    std::string inside = std::string(path.c_str()) + "\\install.inf";
    engine_test::WriteFileBytes(inside, "[Setup]");
    std::string moved = std::string(path.c_str()) + ".moved";
    EXPECT_FALSE(MoveFileA(path.c_str(), moved.c_str()));

    DeleteFileA(inside.c_str());
    CloseHandle(hold);
    EXPECT_TRUE(RemoveDirectoryA(path.c_str()));
    RemoveDirectoryA(plantedDir.c_str());
    DeleteFileA(plantedFile.c_str());
}

TEST(PrivateTemp, TheHeldCopyCannotBeWrittenRenamedOrDeletedUntilReleased) {
    std::string planted = TempName("Del", UpcomingTempNameNumber(0));
    engine_test::WriteFileBytes(planted, "planted");

    ByteString path;
    HANDLE held = CreateHeldCopy(&path);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    std::string copy = path.c_str();
    EXPECT_NE(copy, planted);
    EXPECT_EQ(engine_test::ReadFileBytes(planted), "planted");

    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, sizeof self);
    EXPECT_EQ(engine_test::ReadFileBytes(copy), engine_test::ReadFileBytes(self));

    HANDLE writer = CreateFileA(copy.c_str(), GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(writer, INVALID_HANDLE_VALUE);
    if (writer != INVALID_HANDLE_VALUE) CloseHandle(writer);
    EXPECT_FALSE(DeleteFileA(copy.c_str()));
    EXPECT_FALSE(MoveFileA(copy.c_str(), (copy + ".moved").c_str()));

    CloseHandle(held);
    EXPECT_TRUE(DeleteFileA(copy.c_str()));
    DeleteFileA(planted.c_str());
}

}  // namespace
