// mkpackage build, list and extract, run as the built tool on scripts and
// product folders made here: what is stored in which form, what is refused,
// and that listing and extraction give back what was packed.
#include <gtest/gtest.h>

#include <stdio.h>

#include <random>
#include <string>
#include <vector>

#include "package/szdd.h"
#include "tests/unit/mkpackage_fixture.h"

namespace {

using namespace mkpackage_test;

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

int CountLines(const std::string& text) {
    int lines = 0;
    for (char c : text) lines += c == '\n';
    return lines;
}

std::string Expanded(const std::string& szdd) {
    std::string out;
    SzddHeader header;
    auto append = [](void* context, const uint8_t* bytes, size_t size) {
        static_cast<std::string*>(context)->append(reinterpret_cast<const char*>(bytes), size);
        return true;
    };
    EXPECT_EQ(SzddExpand(reinterpret_cast<const uint8_t*>(szdd.data()), szdd.size(), append, &out,
                         &header),
              SzddStatus::kOk);
    return out;
}

std::string RandomBytes(size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (char& c : bytes) c = static_cast<char>(random());
    return bytes;
}

std::string Text(size_t lines) {
    std::string text;
    for (size_t i = 0; i < lines; ++i) text += "line " + std::to_string(i % 7) + " of the help\r\n";
    return text;
}

const std::string kSzddMagic("SZDD\x88\xF0\x27\x33", 8);

class MkpackageBuildTest : public MkpackageTest {
protected:
    void SetUp() override {
        MkpackageTest::SetUp();
        if (HasFatalFailure()) return;
        MakeDirectory("from");
        MakeDirectory("out");
    }

    // A product file or the script (CRLF lines, code page 932 literals).
    std::string From(const std::string& name, const std::string& bytes, time_t mtime = 1000) {
        return Put("from/" + name, bytes, mtime);
    }

    // The product of the main case: something for every kind of entry.
    void PutProduct() {
        From("install.inf",
             "[Setup]\r\nProgramName=T\r\nMainProgram=app.exe\r\nReadme=help.txt\r\n"
             "UnInstallerProgram=install.exe,-u -p \"%s\"\r\nStartrtf=lic.rtf\r\n"
             "IconOnDesktop0=app.exe,App\r\nDstNeedSpace=100\r\n"
             "[Group]\r\nApp=app.exe\r\n"
             "[Source]\r\napp.exe=1\r\nhelp.txt=1\r\nsys.dll=7\r\nalias.dll=9,pkg.bin\r\n"
             "install.inf=1\r\ninstall.exe=1\r\nlic.rtf=1\r\nnotes.txt=N\r\nskip.txt=5\r\n"
             "spaced.txt=1\r\ndata.bin=1\r\nopt.txt=0\r\n説明.txt=1\r\n説明=1\r\n",
             1500);
        From("app.exe", RandomBytes(3000, 1), 2000);
        From("help.txt", Text(200), 2100);
        From("sys.dll", "MZ tiny", 2200);
        From("pkg.bin", "package bytes as named", 2300);
        From("lic.rtf", "{\\rtf1 " + Text(50) + "}", 2400);
        From("notes.txt", "not installed", 2500);
        From("skip.txt", "not installed either", 2500);
        From("spaced.txt", "\r\nx", 2600);
        From("data.bin", kSzddMagic + "A?not really compressed", 2700);
        Put(u8"from/説明.txt", Text(30), 2800);
        Put(u8"from/説明", Text(30), 2900);
    }

    std::string Build(const std::string& extra = "", const std::string& from = "from",
                      const std::string& output = "out/install.exe") {
        return "build --script '" + dir_ + "/" + from + "/install.inf' --from '" + dir_ + "/" +
               from + "' --stub '" + stub_ + "' -o '" + dir_ + "/" + output + "' " + extra;
    }

    // No package, no partial file, no folder of compressed parts.
    bool OutputIsEmpty() {
        return system(("test -z \"$(ls -A '" + dir_ + "/out')\"").c_str()) == 0;
    }
};

TEST_F(MkpackageBuildTest, StoresEachFileInTheFormTheInstallerLooksFor) {
    PutProduct();
    Outcome built = Run(Build());
    ASSERT_EQ(built.status, 0) << built.err;
    std::vector<Entry> entries = Entries(dir_ + "/out/install.exe");

    struct Expected {
        const char* name;
        std::string data;  // the original; expanded first where stored compressed
        bool compressed;
        int32_t time;
    };
    const Expected expected[] = {
        {"install.exe", MinimalImage(), false, 3000},
        {"app.exe", RandomBytes(3000, 1), false, 2000},      // not smaller compressed
        {"help.tx_", Text(200), true, 2100},                 // smaller compressed
        {"sys.dl_", "MZ tiny", true, 2200},                  // system file: compressed only
        {"pkg.bin", "package bytes as named", false, 2300},  // "9,": as named
        {"install.inf", Read(dir_ + "/from/install.inf"), false, 1500},  // read as it is
        {"lic.rtf", "{\\rtf1 " + Text(50) + "}", false, 2400},  // the licence, read as it is
        {"spaced.tx_", "\r\nx", true, 2600},                    // white space first
        {"data.bi_", kSzddMagic + "A?not really compressed", true, 2700},  // would be expanded
        {"説明.tx_", Text(30), true, 2800},
        {"説明", Text(30), false, 2900},  // the header cannot record a double-byte character
    };
    ASSERT_EQ(entries.size(), sizeof expected / sizeof expected[0]);
    for (size_t i = 0; i < entries.size(); ++i) {
        SCOPED_TRACE(expected[i].name);
        EXPECT_EQ(entries[i].name, expected[i].name);
        EXPECT_EQ(entries[i].time, expected[i].time);
        if (expected[i].compressed) {
            ASSERT_EQ(entries[i].data.compare(0, 8, kSzddMagic), 0);
            EXPECT_EQ(Expanded(entries[i].data), expected[i].data);
        } else {
            EXPECT_EQ(entries[i].data, expected[i].data);
        }
    }
    // The header keeps the character that "_" replaced.
    EXPECT_EQ(entries[2].data[9], 't');

    // A progress line per file and a summary; the optional file and the
    // small DstNeedSpace are warnings.
    EXPECT_EQ(CountLines(built.out), 11);
    EXPECT_TRUE(Contains(built.out, "help.txt -> help.tx_")) << built.out;
    EXPECT_TRUE(Contains(built.out, "stub 640 bytes + 10 files")) << built.out;
    EXPECT_EQ(CountLines(built.err), 2) << built.err;
    EXPECT_TRUE(Contains(built.err, "warning: opt.txt: optional")) << built.err;
    EXPECT_TRUE(Contains(built.err, "warning: DstNeedSpace is 100 bytes")) << built.err;

    EXPECT_EQ(Run(Build("--quiet")).out, "");
}

TEST_F(MkpackageBuildTest, OptionsForceAFormOnlyWhereTheInstallerTakesBoth) {
    PutProduct();
    ASSERT_EQ(Run(Build("--plain help.txt --compress app.exe")).status, 0);
    std::vector<Entry> entries = Entries(dir_ + "/out/install.exe");
    ASSERT_GE(entries.size(), 3u);
    EXPECT_EQ(entries[1].name, "app.ex_");
    EXPECT_EQ(Expanded(entries[1].data), RandomBytes(3000, 1));
    EXPECT_EQ(entries[2].name, "help.txt");
    ASSERT_EQ(unlink((dir_ + "/out/install.exe").c_str()), 0);

    const struct {
        const char* options;
        const char* message;
    } refused[] = {
        {"--plain sys.dll", "--plain sys.dll: a system file"},
        {"--compress lic.rtf", "--compress lic.rtf: the licence text"},
        {"--compress install.inf", "--compress install.inf: the setup script"},
        {"--plain pkg.bin", "stored exactly as it is"},
        {"--plain alias.dll", "installed from \"pkg.bin\""},
        {"--compress notes.txt", "code \"N\""},
        {"--plain install.exe", "the installer itself"},
        {"--compress nothing.txt", "no file of that name"},
        {"--plain spaced.txt", "begins with a white-space byte (0x0D)"},
        {"--plain data.bin", "begins with the SZDD signature"},
        {"--plain help.txt --compress help.txt", "both --plain and --compress"},
    };
    for (const auto& test : refused) {
        SCOPED_TRACE(test.options);
        Outcome outcome = Run(Build(test.options));
        EXPECT_EQ(outcome.status, 1);
        EXPECT_TRUE(Contains(outcome.err, test.message)) << outcome.err;
        EXPECT_FALSE(Exists(dir_ + "/out/install.exe"));
    }
}

TEST_F(MkpackageBuildTest, RefusesWithOneMessagePerProblemAndWritesNothing) {
    const struct {
        const char* what;
        std::string script;
        std::vector<std::pair<std::string, std::string>> files;
        const char* message;
    } cases[] = {
        {"required file missing", "[Source]\r\na.txt=1\r\n", {}, "from/a.txt: missing"},
        {"any other code is required", "[Source]\r\na.txt=x\r\n", {}, "from/a.txt: missing"},
        {"system file missing", "[Source]\r\na.dll=7\r\n", {}, "from/a.dll: missing"},
        {"named package file missing",
         "[Source]\r\na.dll=9,a.dl_\r\n",
         {{"a.dll", "x"}},
         "from/a.dl_: missing"},
        {"empty file", "[Source]\r\na.txt=1\r\n", {{"a.txt", ""}}, "a.txt: empty"},
        {"licence missing", "[Setup]\r\nStartrtf=lic.rtf\r\n", {}, "from/lic.rtf: missing"},
        {"licence with white space first",
         "[Setup]\r\nStartrtf=lic.rtf\r\n",
         {{"lic.rtf", " {\\rtf1}"}},
         "begins with a white-space byte (0x20)"},
        {"licence in a folder",
         "[Setup]\r\nStartrtf=doc\\lic.rtf\r\n",
         {},
         "Startrtf \"doc\\lic.rtf\""},
        {"a folder in [Source]",
         "[Source]\r\ndoc\\a.txt=1\r\n",
         {},
         "doc\\a.txt: the archive holds bare file names only"},
        // Names outside the installation directory, whatever the code: even
        // one that is only deleted would be deleted from somewhere else.
        {"a [Source] name that climbs out",
         "[Source]\r\n..\\victim.txt=N\r\n",
         {},
         "[Source] ..\\victim.txt=N: a [Source] name must stay inside the installation "
         "directory, but it has a component of dots such as \"..\""},
        {"a climbing wildcard, deleted only",
         "[Source]\r\nsub\\..\\..\\*.dat=5\r\n",
         {},
         "[Source] sub\\..\\..\\*.dat=5: a [Source] name must stay inside"},
        {"an absolute [Source] name",
         "[Source]\r\nC:\\victim.txt=1\r\n",
         {{"victim.txt", "x"}},
         "[Source] C:\\victim.txt=1: a [Source] name must stay inside the installation "
         "directory, but it holds \":\""},
        {"a drive-relative system file",
         "[Source]\r\nC:v.dll=7\r\n",
         {{"v.dll", "x"}},
         "[Source] C:v.dll=7: a [Source] name must stay inside"},
        {"a rooted [Source] name",
         "[Source]\r\n\\\\server\\share\\v.txt=N\r\n",
         {},
         "but it begins with \\ or /"},
        {"a package file outside the extraction directory",
         "[Source]\r\na.txt=9,..\\a.txt\r\n",
         {{"a.txt", "x"}},
         "[Source] a.txt=9,..\\a.txt: the package file named after \"9,\" must stay inside the "
         "extraction directory"},
        {"a device name",
         "[Source]\r\naux.txt=1\r\n",
         {{"aux.txt", "x"}},
         "aux.txt: the archive holds bare file names only"},
        {"a name that is no code page 932 text",
         "[Source]\r\na\x80.txt=1\r\n",
         {},
         "cannot be written as a file name here"},
        {"a file differing in case",
         "[Source]\r\nApp.exe=1\r\n",
         {{"app.exe", "MZ"}},
         "from/app.exe differs in case"},
        {"two files, one stored name",
         "[Source]\r\na.txt=1\r\na.txx=1\r\n",
         {{"a.txt", Text(20)}, {"a.txx", Text(21)}},
         "both "},
        {"a stored name that hides another file's compressed name",
         "[Source]\r\na.txt=1\r\na.tx_=1\r\n",
         {{"a.txt", RandomBytes(100, 2)}, {"a.tx_", RandomBytes(100, 3)}},
         "a.txt: the installer would install it from a.tx_"},
        {"a system file listed twice",
         "[Source]\r\na.dll=7\r\na.dll=7\r\n",
         {{"a.dll", "x"}},
         "listed twice as a system file"},
        {"main program not listed",
         "[Setup]\r\nMainProgram=app.exe\r\n",
         {{"app.exe", "x"}},
         "app.exe: named by MainProgram, but [Source] does not list it"},
        {"targets that [Source] does not install",
         "[Setup]\r\nUnInstallIcon=u.ico\r\nIconOnDesktop0=d.exe,D\r\n[Group1]\r\nG=g.exe\r\n"
         "[Source]\r\nu.ico=N\r\nd.exe=7\r\ng.exe=5\r\n",
         {{"d.exe", "x"}},
         "g.exe: named by [Group1] G, but [Source] lists it with code \"5\""},
        {"a readme that is optional and missing",
         "[Setup]\r\nReadme=r.txt\r\n[Source]\r\nr.txt=0\r\n",
         {},
         "r.txt: named by Readme, but it is optional"},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.what);
        ASSERT_EQ(system(("rm -rf '" + dir_ + "/from'/*").c_str()), 0);
        From("install.inf", test.script);
        for (const auto& file : test.files) From(file.first, file.second);
        Outcome outcome = Run(Build());
        EXPECT_EQ(outcome.status, 1);
        EXPECT_TRUE(Contains(outcome.err, test.message)) << outcome.err;
        EXPECT_TRUE(OutputIsEmpty());
    }

    // Every problem at once, each on its own line, the stub's among them.
    ASSERT_EQ(system(("rm -rf '" + dir_ + "/from'/*").c_str()), 0);
    From("install.inf", "[Setup]\r\nStartrtf=lic.rtf\r\n[Source]\r\na.txt=1\r\nb.txt=1\r\n");
    From("b.txt", "");
    std::string package = Put("package.exe", MinimalImage() + "INSTARC0001\r\n", 3000);
    Outcome all = Run("build --script '" + dir_ + "/from/install.inf' --from '" + dir_ +
                      "/from' --stub '" + package + "' -o '" + dir_ + "/out/x.exe'");
    EXPECT_EQ(all.status, 1);
    // The stub, a.txt, b.txt and lic.rtf; install.inf not installed is a warning.
    EXPECT_EQ(CountLines(all.err), 5) << all.err;
    EXPECT_TRUE(Contains(all.err, "warning: install.inf: [Source] does not install it"));
    EXPECT_TRUE(Contains(all.err, "13 bytes follow the stub's last section")) << all.err;
    EXPECT_TRUE(OutputIsEmpty());

    // An output that is an input would be replaced once it had been read.
    From("install.inf", "[Source]\r\ninstall.inf=1\r\n");
    Outcome over = Run("build --script '" + dir_ + "/from/install.inf' --from '" + dir_ +
                       "/from' --stub '" + stub_ + "' -o '" + stub_ + "'");
    EXPECT_EQ(over.status, 1);
    EXPECT_TRUE(Contains(over.err, "the output would replace")) << over.err;
    EXPECT_EQ(Read(stub_), MinimalImage());
}

TEST_F(MkpackageBuildTest, UsageErrorsExitWithTwo) {
    PutProduct();
    const std::string cases[] = {
        "build --from '" + dir_ + "/from' --stub '" + stub_ + "' -o '" + dir_ + "/out/i.exe'",
        "build --script '" + dir_ + "/from/install.inf' --stub '" + stub_ + "' -o x.exe",
        Build("--time -5"),
        Build("--time 2147483648"),
        Build("--plain"),
        Build("--force"),
        "list",
        "list a.exe b.exe",
        "extract a.exe",
        "extract a.exe b c",
        "extract a.exe b --all",
    };
    for (const std::string& arguments : cases) {
        SCOPED_TRACE(arguments);
        Outcome outcome = Run(arguments);
        EXPECT_EQ(outcome.status, 2);
        EXPECT_NE(outcome.err, "");
    }
    EXPECT_EQ(Run(Build(), "SOURCE_DATE_EPOCH=soon").status, 2);
    EXPECT_FALSE(Exists(dir_ + "/out/install.exe"));
}

// A script saved as Unicode names its files as the installer reads them:
// converted to code page 932, a name that code page lacks as "?".
TEST_F(MkpackageBuildTest, UnicodeScriptsNameTheirFilesInCodePage932) {
    const std::u16string script =
        u"[Setup]\r\nProgramName=\u30bd\r\n[Source]\r\ninstall.inf=1\r\ninstall.exe=1\r\n"
        u"\u8aac\u660e.txt=1\r\n";
    std::string utf16 = "\xFF\xFE";
    for (char16_t unit : script) {
        utf16 += static_cast<char>(unit & 0xFF);
        utf16 += static_cast<char>(unit >> 8);
    }
    const std::string utf8 = std::string("\xEF\xBB\xBF") +
                             u8"[Setup]\r\nProgramName=ソ\r\n[Source]\r\ninstall.inf=1\r\n"
                             u8"install.exe=1\r\n説明.txt=1\r\n";
    Put(u8"from/説明.txt", Text(30), 2800);
    int form = 0;
    for (const std::string& text : {utf16, utf8}) {
        SCOPED_TRACE(form);
        From("install.inf", text, 1500);
        std::string output = "out/" + std::to_string(form++) + ".exe";
        Outcome built = Run(Build("", "from", output));
        ASSERT_EQ(built.status, 0) << built.err;
        std::vector<std::string> names;
        for (const Entry& entry : Entries(dir_ + "/" + output)) names.push_back(entry.name);
        EXPECT_EQ(names, (std::vector<std::string>{"install.exe", "install.inf", "説明.tx_"}));
    }
}

TEST_F(MkpackageBuildTest, ListShowsTheEntriesAndTheArchiveStart) {
    From("install.inf",
         "[Setup]\r\nUnInstallerProgram=install.exe\r\n[Source]\r\n"
         "install.exe=1\r\nhelp.txt=1\r\ninstall.inf=1\r\n",
         1213340056);
    From("help.txt", Text(200), 1213348614);
    stub_ = Put("stub.exe", MinimalImage(), 1213187075);
    ASSERT_EQ(Run(Build()).status, 0);
    Outcome listed = Run("list '" + dir_ + "/out/install.exe'");
    ASSERT_EQ(listed.status, 0) << listed.err;
    auto column = [](size_t number) {
        std::string text = std::to_string(number);
        return std::string(10 - text.size(), ' ') + text;
    };
    EXPECT_EQ(listed.out,
              "archive start: 640\n"
              "entries: the self entry and 2 data entries\n"
              "    stored   expanded  time (UTC)           name\n"
              "       640          -  2008-06-11 12:24:35  install.exe (self entry: the "
              "installer stub)\n" +
                  column(Entries(dir_ + "/out/install.exe")[1].data.size()) + " " +
                  column(Text(200).size()) + "  2008-06-13 09:16:54  help.tx_\n" +
                  column(Read(dir_ + "/from/install.inf").size()) +
                  "          -  2008-06-13 06:54:16  install.inf\n" +
                  // Stored and expanded totals; an entry stored plain counts as it is.
                  column(640 + Entries(dir_ + "/out/install.exe")[1].data.size() +
                         Read(dir_ + "/from/install.inf").size()) +
                  " " + column(640 + Text(200).size() + Read(dir_ + "/from/install.inf").size()) +
                  std::string(23, ' ') + "total: 3 entries\n");

    // A compressed entry whose data does not give the length its header
    // promises would install wrong bytes: listed as damaged, and not expanded.
    std::string package = Read(dir_ + "/out/install.exe");
    size_t length = package.find("help.tx_\r\nSZDD") + 10 + 10;
    package[length] = static_cast<char>(package[length] + 1);
    std::string damaged = Put("damaged.exe", package, 1000);
    Outcome bad = Run("list '" + damaged + "'");
    EXPECT_EQ(bad.status, 1);
    EXPECT_TRUE(Contains(bad.out, "   damaged  2008-06-13 09:16:54  help.tx_")) << bad.out;
    EXPECT_TRUE(Contains(bad.err, "help.tx_: ")) << bad.err;
    EXPECT_EQ(Run("extract --expand '" + damaged + "' '" + dir_ + "/x'").status, 1);
    EXPECT_FALSE(Exists(dir_ + "/x"));
    EXPECT_EQ(Run("extract '" + damaged + "' '" + dir_ + "/x'").status, 0);
}

TEST_F(MkpackageBuildTest, ExtractGivesBackTheStoredBytesAndWithExpandTheOriginals) {
    PutProduct();
    ASSERT_EQ(Run(Build()).status, 0);
    std::string package = dir_ + "/out/install.exe";
    std::vector<Entry> entries = Entries(package);

    Outcome stored = Run("extract '" + package + "' '" + dir_ + "/stored/deeper'");
    ASSERT_EQ(stored.status, 0) << stored.err;
    for (const Entry& entry : entries) {
        SCOPED_TRACE(entry.name);
        // The names are code page 932; the folder's are UTF-8.
        std::string name = entry.name == "説明.tx_" ? u8"説明.tx_"
                           : entry.name == "説明"   ? u8"説明"
                                                    : entry.name;
        std::string path = dir_ + "/stored/deeper/" + name;
        EXPECT_EQ(Read(path), entry.data);
        struct stat status;
        ASSERT_EQ(stat(path.c_str(), &status), 0);
        EXPECT_EQ(status.st_mtime, entry.time);
    }

    ASSERT_EQ(Run("extract --expand '" + package + "' '" + dir_ + "/expanded'").status, 0);
    for (const char* name : {"app.exe", "help.txt", "sys.dll", "pkg.bin", "install.inf", "lic.rtf",
                             "spaced.txt", "data.bin", u8"説明.txt", u8"説明"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(Read(dir_ + "/expanded/" + name), Read(dir_ + "/from/" + name));
    }
    EXPECT_EQ(Read(dir_ + "/expanded/install.exe"), MinimalImage());
    EXPECT_FALSE(Exists(dir_ + "/expanded/help.tx_"));
}

TEST_F(MkpackageBuildTest, DamagedPackagesGiveTheInstallersDetailCodes) {
    From("install.inf", "[Source]\r\ninstall.inf=1\r\n");
    ASSERT_EQ(Run(Build()).status, 0);
    const std::string good = Read(dir_ + "/out/install.exe");
    const std::string image = MinimalImage();
    const std::string archive = good.substr(image.size());
    auto replaced = [&](const std::string& from, const std::string& to) {
        std::string bytes = good;
        size_t at = bytes.find(from, image.size());
        bytes.replace(at, from.size(), to);
        return bytes;
    };
    const struct {
        const char* what;
        std::string bytes;
        const char* message;
    } cases[] = {
        {"cut short", good.substr(0, good.size() - 5), "detail code 401"},
        {"count 0", replaced("INSTARC0001\r\n1", "INSTARC0001\r\n0"), "detail code 302"},
        {"bare stub", image, "detail code 109"},
        {"not an executable", "ZM" + good.substr(2), "detail code 102"},
        {"self size wrong", replaced("\r\n640\r\n", "\r\n641\r\n"), "detail code 201"},
        {"negative time", replaced("\r\n1000\r\ninstall.inf", "\r\n-1000\r\ninstall.inf"),
         "detail code 413"},
        {"a name that leaves the folder", replaced("install.inf\r\n", "..\\evil.inf\r\n"),
         "detail code 400"},
        {"no archive after the image", image + "MZ junk that is not an archive",
         "no archive: the data after the image"},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.what);
        std::string path = Put("damaged.exe", test.bytes, 1000);
        Outcome listed = Run("list '" + path + "'");
        EXPECT_EQ(listed.status, 1);
        EXPECT_TRUE(Contains(listed.err, test.message)) << listed.err;
        Outcome extracted = Run("extract '" + path + "' '" + dir_ + "/extracted'");
        EXPECT_EQ(extracted.status, 1);
        EXPECT_TRUE(Contains(extracted.err, test.message)) << extracted.err;
        EXPECT_FALSE(Exists(dir_ + "/extracted"));
    }
}

TEST_F(MkpackageBuildTest, SameInputsGiveTheSameBytesWhereverAndWheneverBuilt) {
    PutProduct();
    std::string epoch = "SOURCE_DATE_EPOCH=2050 ";
    ASSERT_EQ(Run(Build("", "from", "first.exe"), epoch + "TZ=UTC").status, 0);
    // The same files in another folder, those after the epoch touched
    // later still; another time zone and umask, one processor to compress on.
    ASSERT_EQ(system(("cp -rp '" + dir_ + "/from' '" + dir_ + "/elsewhere' && find '" + dir_ +
                      "/elsewhere' -type f -newermt @2050 -exec touch -d @9000 {} +")
                         .c_str()),
              0);
    ASSERT_EQ(Run(Build("", "elsewhere", "second.exe"),
                  epoch + "TZ=Asia/Tokyo taskset -c 0 sh -c 'umask 077; exec \"$0\" \"$@\"'")
                  .status,
              0);
    std::string first = dir_ + "/first.exe", second = dir_ + "/second.exe";
    EXPECT_EQ(Read(first), Read(second));
    // Times before the epoch are kept, later ones capped.
    std::vector<Entry> entries = Entries(first);
    EXPECT_EQ(entries[0].time, 2050);  // the stub's 3000
    EXPECT_EQ(entries[1].time, 2000);  // app.exe
    EXPECT_EQ(entries[2].time, 2050);  // help.txt's 2100

    // --time records one time for every entry, whatever the files say.
    ASSERT_EQ(Run(Build("--time 1234", "elsewhere", "second.exe")).status, 0);
    for (const Entry& entry : Entries(second)) EXPECT_EQ(entry.time, 1234) << entry.name;
}

}  // namespace
