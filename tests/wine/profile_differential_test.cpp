// The portable profile reader against the real GetPrivateProfileStringA: the
// same questions (section, key, default, buffer size) must get the same bytes
// and the same return value, and the setup script read through either must
// give the same SetupConfig.
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "package/profile.h"
#include "package/setup_config.h"
#include "package/setup_script.h"
#include "package/setup_script_win.h"
#include "tests/common/profile_corpus.h"
#include "tests/common/setup_config_compare.h"
#include "tests/common/tricky_script.h"
#include "tests/wine/engine_fixture.h"

namespace {

bool WriteWholeFile(const std::string& path, const std::string& text) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    BOOL ok = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == text.size();
}

// A private directory under the temporary directory, removed with its files.
class TempDir {
public:
    TempDir() {
        char base[MAX_PATH];
        GetTempPathA(MAX_PATH, base);
        static int serial = 0;
        path_ = std::string(base) + "profile-test-" + std::to_string(GetCurrentProcessId()) + "-" +
                std::to_string(++serial) + "\\";
        CreateDirectoryA(path_.c_str(), nullptr);
    }
    ~TempDir() {
        for (const std::string& file : files_) DeleteFileA(file.c_str());
        for (auto it = dirs_.rbegin(); it != dirs_.rend(); ++it) RemoveDirectoryA(it->c_str());
        RemoveDirectoryA(path_.c_str());
    }
    const std::string& Path() const { return path_; }
    std::string Write(const std::string& name, const std::string& text) {
        std::string file = path_ + name;
        EXPECT_TRUE(WriteWholeFile(file, text)) << file;
        files_.push_back(file);
        return file;
    }
    std::string MakeDir(const std::string& name) {
        std::string dir = path_ + name;
        CreateDirectoryA(dir.c_str(), nullptr);
        dirs_.push_back(dir);
        return dir;
    }

private:
    std::string path_;
    std::vector<std::string> files_;
    std::vector<std::string> dirs_;
};

struct Answer {
    size_t ret;
    std::string bytes;
};

const size_t kGuard = 16;

Answer AskApi(const std::string& file, const char* section, const char* key, const char* def,
              size_t size) {
    std::vector<char> buffer(size + kGuard, 0);
    DWORD ret = GetPrivateProfileStringA(section, key, def, buffer.data(), static_cast<DWORD>(size),
                                         file.c_str());
    for (size_t i = size; i < size + kGuard; ++i) {
        EXPECT_EQ(buffer[i], 0) << "the profile API wrote past " << size << " bytes";
    }
    return {ret, std::string(buffer.data(), size)};
}

Answer AskPortable(const IniProfile& profile, const char* section, const char* key, const char* def,
                   size_t size) {
    // Filled with garbage on purpose: the reader must leave it as the API
    // leaves a zero-filled buffer.
    std::vector<char> buffer(size, 'X');
    size_t ret = profile.GetPrivateString(section, key, def, buffer.data(), size);
    return {ret, std::string(buffer.data(), size)};
}

std::string Printable(const std::string& bytes) {
    std::string out;
    size_t end = bytes.size();
    while (end > 0 && bytes[end - 1] == 0) --end;
    if (end > 80) end = 80;
    static const char hex[] = "0123456789ABCDEF";
    for (size_t i = 0; i < end; ++i) {
        unsigned char c = static_cast<unsigned char>(bytes[i]);
        if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
        } else {
            out += "\\x";
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

// Asks the API, the portable reader and the installer's reader (which
// answers many keys from the lines of their section), one instance of each
// per file, so that the installer's reader goes from section to section and
// back as the questions do.
class Differ {
public:
    Differ(const std::string& name, const std::string& file, const IniProfile& profile)
        : name_(name), file_(file), profile_(profile), installer_(file.c_str()) {}

    // Asks all three; returns the API's answer.
    Answer Compare(const std::string& section, const char* key, const char* def, size_t size) {
        Answer api = AskApi(file_, section.c_str(), key, def, size);
        Answer mine = AskPortable(profile_, section.c_str(), key, def, size);
        if (key) {
            // The two readers give a value less a lead byte cut from its
            // trail; the portable one is held to the API just below.
            ByteString portable = profile_.GetValue(section.c_str(), key, def, size);
            ByteString installer = installer_.GetValue(section.c_str(), key, def, size);
            if (!(portable == installer) && ++installerMismatches_ <= 25) {
                ADD_FAILURE() << name_ << ": [" << Printable(section) << "] key '"
                              << Printable(key) << "' size " << size << ": installer's reader '"
                              << Printable(installer.c_str()) << "', portable '"
                              << Printable(portable.c_str()) << "'";
            }
        }
        ++questions_;
        if (api.ret != mine.ret || api.bytes != mine.bytes) {
            if (mismatches_.size() < 25) {
                mismatches_.push_back(
                    name_ + ": [" + Printable(section) + "] " +
                    (key ? "key '" + Printable(key) + "'" : "key list") + " default '" +
                    Printable(def) + "' size " + std::to_string(size) + ": API " +
                    std::to_string(api.ret) + " '" + Printable(api.bytes) + "', portable " +
                    std::to_string(mine.ret) + " '" + Printable(mine.bytes) + "'");
            }
            ++mismatchCount_;
        }
        return api;
    }

    size_t Questions() const { return questions_; }
    size_t MismatchCount() const { return mismatchCount_; }
    const std::vector<std::string>& Mismatches() const { return mismatches_; }

private:
    std::string name_;
    std::string file_;
    const IniProfile& profile_;
    ProfileApiSource installer_;
    size_t installerMismatches_ = 0;
    size_t questions_ = 0;
    size_t mismatchCount_ = 0;
    std::vector<std::string> mismatches_;
};

const size_t kSizes[] = {2,  3,  4,   5,   6,   7,   8,   9,   10,   11,
                         12, 16, 255, 256, 257, 259, 260, 261, 65535};
const char* const kValueDefaults[] = {"", "DEF  ", "'q'", "\"dq\"", "  ", "0"};

void CompareFile(const std::string& name, const std::string& file, const std::string& text) {
    IniProfile profile;
    profile.Parse(text.data(), text.size(), ConvertScriptText);
    Differ local(name, file, profile);
    for (const std::string& section : ProfileCorpusSections()) {
        for (size_t size : kSizes) local.Compare(section, nullptr, "", size);
        local.Compare(section, nullptr, "DEF", 65535);
        local.Compare(section, nullptr, "'q'", 3);

        std::vector<std::string> keys = ProfileCorpusKeys();
        Answer list = AskApi(file, section.c_str(), nullptr, "", 65535);
        StringList listed = SplitNameList(list.bytes.data(), list.bytes.size());
        if (listed.IsEmpty()) {
            for (const std::string& key : keys) local.Compare(section, key.c_str(), "0", 65535);
            continue;
        }
        for (size_t i = 0; i < listed.Count(); ++i) {
            // Long lists: their head and tail are enough.
            if (i < 40 || i + 5 >= listed.Count()) keys.push_back(listed[i].c_str());
        }
        for (const std::string& key : keys) {
            for (size_t size : kSizes) local.Compare(section, key.c_str(), "0", size);
            for (const char* def : kValueDefaults) {
                local.Compare(section, key.c_str(), def, 65535);
                local.Compare(section, key.c_str(), def, 4);
            }
        }
    }
    EXPECT_EQ(local.MismatchCount(), 0u) << name << ": " << local.MismatchCount() << " of "
                                         << local.Questions() << " answers differ";
    for (const std::string& line : local.Mismatches()) ADD_FAILURE() << line;
}

TEST(ProfileDifferential, PortableReaderAnswersEveryQuestionLikeTheProfileApi) {
    TempDir dir;
    int index = 0;
    for (const ProfileCorpusEntry& entry : ProfileCorpus()) {
        // A new file name per entry: the API caches files by name.
        std::string file = dir.Write("corpus" + std::to_string(index++) + ".ini", entry.text);
        CompareFile(entry.name, file, entry.text);
    }
    std::string sample = engine_test::ReadFileBytes(engine_test::SourcePath("sample/install.inf"));
    ASSERT_FALSE(sample.empty());
    CompareFile("sample", dir.Write("sample.ini", sample), sample);
    CompareFile("tricky", dir.Write("tricky.ini", TrickyScript()), TrickyScript());
}

// Code page 932 text as UTF-16, and the files that the profile API reads as
// Unicode: UTF-16 of either byte order or UTF-8, each after its mark.
std::wstring Widen(const std::string& ansi) {
    if (ansi.empty()) return std::wstring();
    int units = MultiByteToWideChar(932, 0, ansi.data(), static_cast<int>(ansi.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(units), L'\0');
    MultiByteToWideChar(932, 0, ansi.data(), static_cast<int>(ansi.size()), &wide[0], units);
    return wide;
}

std::string Utf16File(const std::wstring& text, bool bigEndian) {
    std::string bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (wchar_t unit : text) {
        char low = static_cast<char>(unit & 0xFF), high = static_cast<char>(unit >> 8);
        bytes += bigEndian ? high : low;
        bytes += bigEndian ? low : high;
    }
    return bytes;
}

std::string Utf8File(const std::wstring& text) {
    std::string bytes = "\xEF\xBB\xBF";
    if (text.empty()) return bytes;
    int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr,
                                   0, nullptr, nullptr);
    std::string utf8(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &utf8[0], size,
                        nullptr, nullptr);
    return bytes + utf8;
}

// Characters that code page 932 lacks or maps by best fit, a character
// outside the basic plane (two UTF-16 units), a mark inside the text, the
// no-break space that is no profile space, and a zero unit.
const std::wstring kUnicodeOnly = std::wstring(
    L"[Setup]\r\n"
    L"latin=caf\u00e9 \u00c5ngstr\u00f6m\r\n"
    L"nbsp=\u00a0x\u00a0\r\n"
    L"wave=\u301c\uff5e\u2212\r\n"
    L"astral=a\U0001F600b\r\n"
    L"\u00e9=accented key\r\n"
    L"\u30bd\u8868=\u30bd\u8868\\\u8868\r\n"
    L"mark=\ufeffafter\r\n"
    L"[Source]\r\n"
    L"\u30aa\u30eb.exe=1\r\n"
    L"zero=a") + std::wstring(1, L'\0') + L"b\r\nlast=1\r\n";

TEST(ProfileDifferential, UnicodeFilesAreAnsweredLikeTheProfileApi) {
    TempDir dir;
    int index = 0;
    std::vector<ProfileCorpusEntry> corpus = ProfileCorpus();
    std::string sample = engine_test::ReadFileBytes(engine_test::SourcePath("sample/install.inf"));
    ASSERT_FALSE(sample.empty());
    corpus.push_back({"sample", sample});
    for (const ProfileCorpusEntry& entry : corpus) {
        std::wstring wide = Widen(entry.text);
        for (int form = 0; form < 3; ++form) {
            // Big-endian files are rare: the sample is enough for them.
            if (form == 2 && std::string(entry.name) != "sample") continue;
            std::string text = form == 0 ? Utf16File(wide, false)
                               : form == 1 ? Utf8File(wide)
                                           : Utf16File(wide, true);
            const char* suffix = form == 0 ? " utf-16le" : form == 1 ? " utf-8" : " utf-16be";
            std::string file = dir.Write("unicode" + std::to_string(index++) + ".ini", text);
            CompareFile(entry.name + std::string(suffix), file, text);
        }
    }
    struct Extra {
        const char* name;
        std::string text;
    } extras[] = {
        {"unicode-only utf-16le", Utf16File(kUnicodeOnly, false)},
        {"unicode-only utf-16be", Utf16File(kUnicodeOnly, true)},
        {"unicode-only utf-8", Utf8File(kUnicodeOnly)},
        // Malformed UTF-8 after the mark: a lone lead byte, a cut sequence,
        // an overlong form, a bare continuation byte.
        {"malformed utf-8",
         "\xEF\xBB\xBF[Setup]\r\nbad=a\xC3(z\r\ncut=\xE3\x81\r\nlong=\xC0\xAFx\r\n"
         "cont=\x80y\r\nok=\xE3\x82\xBD\r\n"},
        // A mark with nothing after it.
        {"mark only", "\xFF\xFE"},
        {"utf-8 mark only", "\xEF\xBB\xBF"},
    };
    for (const Extra& extra : extras) {
        std::string file = dir.Write("unicode" + std::to_string(index++) + ".ini", extra.text);
        CompareFile(extra.name, file, extra.text);
    }
}

// ReadSetupScript works on the process-wide record; each test leaves it as
// it found it.
class SetupScriptWin : public ::testing::Test {
protected:
    void SetUp() override { saved_.reset(new SetupConfig(Config())); }
    void TearDown() override { Config() = *saved_; }

    // Reads dir + "install.inf" as the installer does (through the profile
    // API) and as the tools do (the portable reader, with the system's
    // conversion of a Unicode script), and compares the records.
    void ExpectBothRoutesAgree(const std::string& dir, bool uninstallMode) {
        Config().ScriptDir = dir.c_str();
        ASSERT_TRUE(ReadSetupScript(uninstallMode));

        IniProfile portable;
        ASSERT_TRUE(portable.LoadFile((dir + "install.inf").c_str(), ConvertScriptText));
        std::unique_ptr<SetupConfig> throughReader(new SetupConfig);
        // Wine reports an NT-family platform.
        ReadSetupScriptFrom(portable, uninstallMode, true, *throughReader);
        ExpectSameScriptFields(Config(), *throughReader);
    }

private:
    std::unique_ptr<SetupConfig> saved_;
};

TEST_F(SetupScriptWin, SampleScriptGivesTheSameRecordThroughTheProfileApi) {
    std::string dir = engine_test::SourcePath("sample/");
    for (bool uninstallMode : {false, true}) {
        SCOPED_TRACE(uninstallMode ? "uninstaller" : "installer");
        ExpectBothRoutesAgree(dir, uninstallMode);
        EXPECT_STREQ(Config().UninstallArgsFormat.c_str(), "-u -p \"%s\"");
        EXPECT_EQ(Config().CopyList.Count(), 6u);
    }
}

TEST_F(SetupScriptWin, TrickyScriptGivesTheSameRecordThroughTheProfileApi) {
    TempDir dir;
    dir.Write("install.inf", TrickyScript());
    for (bool uninstallMode : {false, true}) {
        SCOPED_TRACE(uninstallMode ? "uninstaller" : "installer");
        ExpectBothRoutesAgree(dir.Path(), uninstallMode);
        // The Wine prefix is an NT-family system: code 7 is a system file.
        ASSERT_EQ(Config().SystemFiles.Count(), 1u);
        EXPECT_STREQ(Config().SystemFiles[0].c_str(), "a.dll");
        EXPECT_EQ(Config().NumberedGroupItemCounts[0], kMaxGroupItems);
    }
}

TEST_F(SetupScriptWin, UnicodeScriptsGiveTheRecordOfTheirAnsiForm) {
    std::string dir = engine_test::SourcePath("sample/");
    Config().ScriptDir = dir.c_str();
    ASSERT_TRUE(ReadSetupScript(false));
    std::unique_ptr<SetupConfig> ansi(new SetupConfig(Config()));
    ASSERT_EQ(ansi->CopyList.Count(), 6u);

    std::wstring wide = Widen(engine_test::ReadFileBytes(dir + "install.inf"));
    struct Form {
        const char* name;
        std::string text;
    } forms[] = {
        {"utf-16le", Utf16File(wide, false)},
        {"utf-8", Utf8File(wide)},
        {"utf-16be", Utf16File(wide, true)},
    };
    for (const Form& form : forms) {
        SCOPED_TRACE(form.name);
        TempDir unicode;
        unicode.Write("install.inf", form.text);
        ExpectBothRoutesAgree(unicode.Path(), false);
        ExpectSameScriptFields(Config(), *ansi);
        EXPECT_STREQ(Config().ProgramName.c_str(), "オルベロ");
    }
}

TEST_F(SetupScriptWin, OnlyAMissingScriptFails) {
    TempDir dir;
    Config().ScriptDir = dir.Path().c_str();
    EXPECT_FALSE(ReadSetupScript(false));

    dir.MakeDir("install.inf");
    EXPECT_FALSE(ReadSetupScript(false)) << "a directory is no script";

    TempDir other;
    other.Write("install.inf", "");
    Config().ScriptDir = other.Path().c_str();
    ASSERT_TRUE(ReadSetupScript(true));
    EXPECT_EQ(Config().InstDispProgramMenu, 1);
    EXPECT_EQ(Config().UnInstDispProgramMenu, 1);
    EXPECT_EQ(Config().ProgramFolders.Count(), 1u);
    EXPECT_TRUE(Config().CopyList.IsEmpty());
}

}  // namespace
