// The archive reader on hand-made executables in memory.
#include "package/archive.h"

#include <gtest/gtest.h>

#include <stdint.h>

#include <string>
#include <vector>

#ifdef __SANITIZE_ADDRESS__
// From the sanitizer runtime's allocator interface (GCC ships no header).
extern "C" int __sanitizer_install_malloc_and_free_hooks(
    void (*mallocHook)(const volatile void*, size_t), void (*freeHook)(const volatile void*));
#endif

#include "tests/support/pe_image.h"

namespace {

struct FileRecord {
    std::string name;
    std::string data;
    int32_t time;
};

enum class Stage { kNone, kCreate, kWrite, kStamp, kFinish };

// Keeps what it is given; fails one stage of one file when told to.
class RecordingSink : public ExtractSink {
public:
    RecordingSink(Stage failStage = Stage::kNone, size_t failFile = 0)
        : failStage_(failStage), failFile_(failFile) {}

    void Prepare() override { ++prepared; }
    bool Create(const char* name) override {
        current_ = creates_++;
        if (Fails(Stage::kCreate)) return false;
        open_ = FileRecord{name, std::string(), 0};
        return true;
    }
    bool Write(const void* data, size_t size) override {
        open_.data.assign(static_cast<const char*>(data), size);
        return !Fails(Stage::kWrite);
    }
    bool Stamp(int32_t time) override {
        open_.time = time;
        return !Fails(Stage::kStamp);
    }
    bool Finish() override {
        if (Fails(Stage::kFinish)) {
            discarded.push_back(open_.name);
            return false;
        }
        files.push_back(open_);
        return true;
    }
    void Discard() override { discarded.push_back(open_.name); }

    int prepared = 0;
    std::vector<FileRecord> files;
    std::vector<std::string> discarded;

private:
    bool Fails(Stage stage) const { return stage == failStage_ && current_ == failFile_; }

    Stage failStage_;
    size_t failFile_;
    size_t creates_ = 0;
    size_t current_ = 0;
    FileRecord open_;
};

// Memory whose reads or seeks go wrong on request: the n-th seek (from 0)
// fails, or from the n-th seek on the bytes are replaced.
class FaultySource : public ByteSource {
public:
    explicit FaultySource(const std::string& bytes) : bytes_(bytes), inner_(bytes_.data(), bytes_.size()) {}

    bool failSize = false;
    int failSeek = -1;
    int replaceAtSeek = -1;
    std::string replacement;

    bool QuerySize(int64_t* size) override { return !failSize && inner_.QuerySize(size); }
    bool Seek(int64_t offset) override {
        int index = seeks_++;
        if (index == failSeek) return false;
        if (index == replaceAtSeek) {
            bytes_ = replacement;
            inner_ = MemorySource(bytes_.data(), bytes_.size());
        }
        return inner_.Seek(offset);
    }
    size_t Read(void* buffer, size_t size) override { return inner_.Read(buffer, size); }

private:
    std::string bytes_;
    MemorySource inner_;
    int seeks_ = 0;
};

const std::string kImage = MinimalImage();

// The archive text with "{S}" standing for the image size.
std::string Archive(std::string text) {
    size_t at;
    while ((at = text.find("{S}")) != std::string::npos) {
        text.replace(at, 3, std::to_string(kImage.size()));
    }
    return text;
}

struct Result {
    int code;
    ArchiveOutcome outcome;
};

Result Extract(const std::string& file, RecordingSink* sink) {
    MemorySource source(file.data(), file.size());
    Result result;
    result.code = ExtractArchive(source, *sink, &result.outcome);
    return result;
}

Result Extract(const std::string& file) {
    RecordingSink sink;
    return Extract(file, &sink);
}

const char kGood[] =
    "INSTARC0001\r\n2\r\n{S}\r\n1213187075\r\ninstall.exe\r\n"
    "3\r\n1213348614\r\na.txt\r\nabc"
    "4\r\n1202354171\r\nstart.rtf\r\n{\\rt";

TEST(ArchiveReader, ExtractsSelfEntryThenDataEntriesInOrder) {
    RecordingSink sink;
    Result result = Extract(kImage + Archive(kGood), &sink);
    EXPECT_EQ(result.code, kArchiveOk);
    EXPECT_EQ(result.outcome, ArchiveOutcome::kExtracted);
    EXPECT_EQ(sink.prepared, 1);
    ASSERT_EQ(sink.files.size(), 3u);
    EXPECT_EQ(sink.files[0].name, "install.exe");
    EXPECT_EQ(sink.files[0].data, kImage);
    EXPECT_EQ(sink.files[0].time, 1213187075);
    EXPECT_EQ(sink.files[1].name, "a.txt");
    EXPECT_EQ(sink.files[1].data, "abc");
    EXPECT_EQ(sink.files[1].time, 1213348614);
    EXPECT_EQ(sink.files[2].name, "start.rtf");
    EXPECT_EQ(sink.files[2].data, "{\\rt");
    EXPECT_TRUE(sink.discarded.empty());
}

TEST(ArchiveReader, TrailingDataAfterTheLastEntryIsIgnored) {
    RecordingSink sink;
    std::string signature(300, '\x30');
    EXPECT_EQ(Extract(kImage + Archive(kGood) + signature, &sink).code, kArchiveOk);
    ASSERT_EQ(sink.files.size(), 3u);
    EXPECT_EQ(sink.files[2].data, "{\\rt");
}

// White space after a header line is any run of white-space bytes; numbers
// take leading white space and a sign; a name keeps its inner and trailing
// spaces.
// A signed package records its certificate table, after the archive, in the
// image's header. The self entry (the uninstaller that stays installed) does
// not carry the table, so it must not point at it: only that entry and the
// checksum change. A table inside the image is not the package's to change.
TEST(ArchiveReader, TheSelfEntryLeavesOutTheRecordOfASignatureAfterTheArchive) {
    const size_t entry = kImagePeOffset + 24 + 128;  // directory entry 4 of PE32
    const size_t checksum = kImagePeOffset + 24 + 64;
    std::string signature(300, '\x30');
    std::string archive = Archive(kGood);
    std::string signedImage = kImage;
    PutLe32(&signedImage, entry, static_cast<uint32_t>(kImage.size() + archive.size()));
    PutLe32(&signedImage, entry + 4, static_cast<uint32_t>(signature.size()));
    PutLe32(&signedImage, checksum, 0x12345);

    RecordingSink sink;
    ASSERT_EQ(Extract(signedImage + archive + signature, &sink).code, kArchiveOk);
    ASSERT_EQ(sink.files.size(), 3u);
    std::string self = sink.files[0].data;
    ASSERT_EQ(self.size(), kImage.size());
    EXPECT_EQ(self.substr(entry, 8), std::string(8, '\0'));
    EXPECT_NE(self.substr(checksum, 4), signedImage.substr(checksum, 4));
    self.replace(checksum, 4, 4, '\0');
    EXPECT_EQ(self, kImage);

    std::string inside = kImage;
    PutLe32(&inside, entry, 600);
    PutLe32(&inside, entry + 4, 16);
    PutLe32(&inside, checksum, 0x12345);
    RecordingSink kept;
    ASSERT_EQ(Extract(inside + archive, &kept).code, kArchiveOk);
    ASSERT_EQ(kept.files.size(), 3u);
    EXPECT_EQ(kept.files[0].data, inside);
}

TEST(ArchiveReader, HeaderLinesToleratesWhiteSpaceAsScanfDoes) {
    struct Case {
        const char* archive;
        const char* name;
        const char* data;
        int32_t time;
    } cases[] = {
        {"INSTARC0001\n1\n{S}\n5\ninstall.exe\n2\n7\nb.txt\nXY", "b.txt", "XY", 7},
        {"INSTARC0001\r\n\r\n\r\n1\r\n\r\n{S}\r\n5\r\ninstall.exe\r\n\r\n2\r\n\r\n7\r\n\r\nb\r\n\r\n"
         "XY",
         "b", "XY", 7},
        {"INSTARC0001\r\n  +1\r\n\t{S}\r\n 5\r\ninstall.exe\r\n +2 \r\n\v\f-0\r\nb\r\nXY", "b",
         "XY", 0},
        {"INSTARC0001\r\n1\r\n{S}\r\n5\r\ninstall.exe\r\n2\r\n7\r\nmy file  .txt  \r\nXY",
         "my file  .txt  ", "XY", 7},
        {"INSTARC0001\r\n1\r\n{S}\r\n5\r\ninstall.exe\r\n2\r\n2147483647\r\nb\r\n \t\r\n\nXY", "b",
         "XY", 2147483647},
        // Data begins at the first byte that is not white space.
        {"INSTARC0001\r\n1\r\n{S}\r\n5\r\ninstall.exe\r\n2\r\n7\r\nb\r\n\r\n\r\n\x01\x02", "b",
         "\x01\x02", 7},
        // A number ends at its first non-digit, which starts the next line.
        {"INSTARC0001\r\n1\r\n{S}\r\n5\r\ninstall.exe\r\n2 7\r\nb\r\nXY", "b", "XY", 7},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.archive);
        RecordingSink sink;
        ASSERT_EQ(Extract(kImage + Archive(c.archive), &sink).code, kArchiveOk);
        ASSERT_EQ(sink.files.size(), 2u);
        EXPECT_EQ(sink.files[0].data, kImage);
        EXPECT_EQ(sink.files[1].name, c.name);
        EXPECT_EQ(sink.files[1].data, c.data);
        EXPECT_EQ(sink.files[1].time, c.time);
    }
}

// Each reachable code of a malformed archive, at its place.
TEST(ArchiveReader, MalformedArchivesStopWithTheirDetailCode) {
    struct Case {
        const char* archive;
        int code;
        size_t filesWritten;
    } cases[] = {
        {"INSTARC0001\r\n0\r\n{S}\r\n5\r\ninstall.exe\r\n", kArchiveBadCount, 0},
        {"INSTARC0001\r\nfive\r\n", kArchiveBadCount, 0},
        {"INSTARC0001\r\n2147483648\r\n{S}\r\n5\r\ninstall.exe\r\n", kArchiveBadCount, 0},
        {"INSTARC0001\r\n-\r\n", kArchiveBadCount, 0},
        {"INSTARC0001\r\n\r\n\r\n  \r\n", kArchiveBadCount, 0},
        {"INSTARC0001\r\n1\r\nx\r\n", kArchiveBadSelfSize, 0},
        {"INSTARC0001\r\n1\r\n{S}\r\n", kArchiveBadSelfTime, 0},
        {"INSTARC0001\r\n1\r\n{S}\r\n99999999999\r\ninstall.exe\r\n", kArchiveBadSelfTime, 0},
        {"INSTARC0001\r\n1\r\n{S}\r\n5\r\n", kArchiveBadSelfName, 0},
        {"INSTARC0001\r\n1\r\n100\r\n5\r\ninstall.exe\r\n", kArchiveReadImage, 0},
        {"INSTARC0001\r\n1\r\n-{S}\r\n5\r\ninstall.exe\r\n", kArchiveReadImage, 0},
        {"INSTARC0001\r\n1\r\n{S}\r\n5\r\n..\\install.exe\r\n", kArchiveWriteSelf, 0},
        {"INSTARC0001\r\n1\r\n{S}\r\n5\r\nC:install.exe\r\n", kArchiveWriteSelf, 0},
        {"INSTARC0001\r\n1\r\n{S}\r\n5\r\ninstall.exe\r\n", kArchiveBadEntrySize, 1},
        {"INSTARC0001\r\n1\r\n{S}\r\n5\r\ninstall.exe\r\n3\r\n", kArchiveBadEntryTime, 1},
        {"INSTARC0001\r\n1\r\n{S}\r\n5\r\ninstall.exe\r\n3\r\n7\r\n", kArchiveBadEntryName, 1},
        {"INSTARC0001\r\n1\r\n{S}\r\n5\r\ninstall.exe\r\n3\r\n7\r\na\r\nab", kArchiveReadEntry, 1},
        {"INSTARC0001\r\n1\r\n{S}\r\n5\r\ninstall.exe\r\n0\r\n7\r\na\r\nabc", kArchiveReadEntry, 1},
        {"INSTARC0001\r\n1\r\n{S}\r\n5\r\ninstall.exe\r\n-3\r\n7\r\na\r\nabc", kArchiveReadEntry, 1},
        {"INSTARC0001\r\n1\r\n{S}\r\n5\r\ninstall.exe\r\n3\r\n7\r\n../a\r\nabc",
         kArchiveCreateEntry, 1},
        {"INSTARC0001\r\n1\r\n{S}\r\n5\r\ninstall.exe\r\n3\r\n7\r\nsub\\a\r\nabc",
         kArchiveCreateEntry, 1},
        {"INSTARC0001\r\n1\r\n{S}\r\n5\r\ninstall.exe\r\n3\r\n7\r\nd:a\r\nabc", kArchiveCreateEntry,
         1},
        {"INSTARC0001\r\n1\r\n{S}\r\n5\r\ninstall.exe\r\n3\r\n7\r\n/etc\r\nabc",
         kArchiveCreateEntry, 1},
        // A huge count ends at the first missing piece.
        {"INSTARC0001\r\n2147483647\r\n{S}\r\n5\r\ninstall.exe\r\n1\r\n7\r\na\r\nX",
         kArchiveBadEntrySize, 2},
        {"INSTARC0001\r\n3\r\n{S}\r\n5\r\ninstall.exe\r\n1\r\n7\r\na\r\nX2\r\n", kArchiveBadEntryTime,
         2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.archive);
        RecordingSink sink;
        Result result = Extract(kImage + Archive(c.archive), &sink);
        EXPECT_EQ(result.code, c.code);
        EXPECT_EQ(result.outcome, ArchiveOutcome::kFailed);
        // The destination exists once the archive start is known.
        EXPECT_EQ(sink.prepared, 1);
        EXPECT_EQ(sink.files.size(), c.filesWritten);
    }
}

TEST(ArchiveReader, NegativeCountExtractsOnlyTheSelfEntry) {
    RecordingSink sink;
    Result result = Extract(kImage + Archive("INSTARC0001\r\n-4\r\n{S}\r\n5\r\ninstall.exe\r\nrest"),
                        &sink);
    EXPECT_EQ(result.code, kArchiveOk);
    EXPECT_EQ(result.outcome, ArchiveOutcome::kExtracted);
    ASSERT_EQ(sink.files.size(), 1u);
    EXPECT_EQ(sink.files[0].name, "install.exe");
}

TEST(ArchiveReader, OverlongNamesAreRefusedNotTruncated) {
    std::string name259(259, 'n');
    std::string name260(260, 'n');
    std::string huge(100000, 'n');
    const std::string head = Archive("INSTARC0001\r\n1\r\n{S}\r\n5\r\ninstall.exe\r\n3\r\n7\r\n");
    RecordingSink accepted;
    EXPECT_EQ(Extract(kImage + head + name259 + "\r\nabc", &accepted).code, kArchiveOk);
    ASSERT_EQ(accepted.files.size(), 2u);
    EXPECT_EQ(accepted.files[1].name, name259);
    EXPECT_EQ(Extract(kImage + head + name260 + "\r\nabc").code, kArchiveCreateEntry);
    EXPECT_EQ(Extract(kImage + head + huge + "\r\nabc").code, kArchiveCreateEntry);
    std::string withNul = kImage + head + std::string("a\0b\r\nabc", 8);
    EXPECT_EQ(Extract(withNul).code, kArchiveCreateEntry);
}

#ifdef __SANITIZE_ADDRESS__
size_t largestAllocation = 0;
void NoteAllocation(const volatile void*, size_t size) {
    if (size > largestAllocation) largestAllocation = size;
}
void NoteFree(const volatile void*) {}
#endif

// A forged size must not make the reader allocate it.
TEST(ArchiveReader, SizesBeyondTheFileFailWithoutAllocatingThem) {
#ifdef __SANITIZE_ADDRESS__
    static bool hooked = __sanitizer_install_malloc_and_free_hooks(NoteAllocation, NoteFree) != 0;
    ASSERT_TRUE(hooked);
    const char* archives[] = {
        "INSTARC0001\r\n1\r\n{S}\r\n5\r\ninstall.exe\r\n2000000000\r\n7\r\na\r\nabc",
        "INSTARC0001\r\n1\r\n{S}\r\n5\r\ninstall.exe\r\n2147483647\r\n7\r\na\r\nabc",
        "INSTARC0001\r\n1\r\n{S}\r\n5\r\ninstall.exe\r\n4\r\n7\r\na\r\nabc",
    };
    for (const char* archive : archives) {
        SCOPED_TRACE(archive);
        std::string file = kImage + Archive(archive);
        RecordingSink sink;
        largestAllocation = 0;
        EXPECT_EQ(Extract(file, &sink).code, kArchiveReadEntry);
        EXPECT_LT(largestAllocation, 65536u);
    }
#else
    GTEST_SKIP() << "needs the address sanitizer's allocation hooks";
#endif
}

TEST(ArchiveReader, LocatingTheArchiveFailsWithTheCodeOfEachHeader) {
    auto with = [](std::string image, size_t offset, uint32_t value, bool wide = true) {
        if (wide) {
            PutLe32(&image, offset, value);
        } else {
            PutLe16(&image, offset, static_cast<uint16_t>(value));
        }
        return image;
    };
    std::string notMz = kImage;
    notMz[0] = 'Z';
    std::string notPe = kImage;
    notPe[kImagePeOffset + 2] = 'x';
    // The PE header overlapping the DOS header, with no section: the
    // section table would lie before the start of the file.
    std::string early = kImage;
    PutLe32(&early, 0x3C, 4);
    early.replace(4, 4, std::string("PE\0\0", 4));
    PutLe16(&early, 4 + 6, 0);
    PutLe16(&early, 4 + 20, 0);
    struct Case {
        std::string file;
        int code;
    } cases[] = {
        {"", kArchiveReadDosHeader},
        {kImage.substr(0, 63), kArchiveReadDosHeader},
        {notMz, kArchiveNotMz},
        {with(kImage, 0x3C, 0x80000000u), kArchiveSeekPeHeader},
        {with(kImage, 0x3C, 0xFFFFFFFCu), kArchiveSeekPeHeader},
        {with(kImage, 0x3C, 100000), kArchiveReadPeHeader},
        {kImage.substr(0, kImagePeOffset + 247), kArchiveReadPeHeader},
        {notPe, kArchiveNotPe},
        {early, kArchiveSeekSectionHeader},
        {with(kImage, kImagePeOffset + 6, 0xFFFF, false), kArchiveReadSectionHeader},
        {kImage, kArchiveShortAfterImage},
        {kImage + std::string(15, 'x'), kArchiveShortAfterImage},
        {with(kImage, kImageSectionTable + 20, 0xFFFFFFFFu), kArchiveShortAfterImage},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        RecordingSink sink;
        EXPECT_EQ(Extract(c.file, &sink).code, c.code);
        EXPECT_EQ(sink.prepared, 0);
    }
}

TEST(ArchiveReader, CodeViewRecordAfterTheSectionsIsSkipped) {
    const std::string record = std::string("NB10", 4) + std::string(12, '\x01');
    const std::string shortPath = std::string("C:\\b\\x.pdb") + '\0';
    const std::string longPath = "C:\\build\\a\\very\\long\\path\\to\\install.pdb" + std::string(1, '\0');
    for (const std::string& path : {shortPath, longPath}) {
        SCOPED_TRACE(path);
        std::string stub = kImage + record + path;
        RecordingSink bare;
        Result nothing = Extract(stub, &bare);
        EXPECT_EQ(nothing.code, kArchiveOk);
        EXPECT_EQ(nothing.outcome, ArchiveOutcome::kNothingAppended);
        EXPECT_EQ(bare.prepared, 0);

        std::string archive = "INSTARC0001\r\n1\r\n" + std::to_string(stub.size()) +
                              "\r\n5\r\ninstall.exe\r\n2\r\n7\r\nb\r\nXY";
        RecordingSink sink;
        EXPECT_EQ(Extract(stub + archive, &sink).code, kArchiveOk);
        ASSERT_EQ(sink.files.size(), 2u);
        EXPECT_EQ(sink.files[0].data, stub);
    }
    // Without a terminating zero the record runs to the end of the file.
    Result unterminated = Extract(kImage + record + "C:\\no\\zero");
    EXPECT_EQ(unterminated.code, kArchiveOk);
    EXPECT_EQ(unterminated.outcome, ArchiveOutcome::kNothingAppended);
}

TEST(ArchiveReader, AppendedDataWithoutTheMagicIsNoArchive) {
    const char* tails[] = {"INSTARC0002\r\n1\r\n", "INSTARC0001x\r\n1\r\n", " INSTARC0001\r\n1\r\n",
                           "\r\nINSTARC0001\r\n1\r\n", "PK\x03\x04 zip data here"};
    for (const char* tail : tails) {
        SCOPED_TRACE(tail);
        RecordingSink sink;
        Result result = Extract(kImage + tail, &sink);
        EXPECT_EQ(result.code, kArchiveOk);
        EXPECT_EQ(result.outcome, ArchiveOutcome::kNotAnArchive);
        EXPECT_EQ(sink.prepared, 1);
        EXPECT_TRUE(sink.files.empty());
    }
    // The same data after an image that does not begin with "MZ": a last
    // section without raw data puts the archive start at 0.
    std::string empty = kImage;
    PutLe32(&empty, kImageSectionTable + 16, 0);
    PutLe32(&empty, kImageSectionTable + 20, 0);
    EXPECT_EQ(Extract(empty).code, kArchiveBadMagic);
}

TEST(ArchiveReader, FailuresOfTheSourceHaveTheirCodes) {
    const std::string file = kImage + Archive(kGood);
    std::string notMz = file;
    notMz[0] = 'X';
    // Seeks: 0 DOS header, 1 PE header, 2 section header, 3 section end,
    // 4 archive start, 5 image copy.
    struct Case {
        const char* what;
        bool failSize;
        int failSeek;
        int replaceAtSeek;
        std::string replacement;
        int code;
    } cases[] = {
        {"size", true, -1, -1, "", kArchiveSizeFailed},
        {"seek DOS header", false, 0, -1, "", kArchiveSeekDosHeader},
        {"seek PE header", false, 1, -1, "", kArchiveSeekPeHeader},
        {"seek section header", false, 2, -1, "", kArchiveSeekSectionHeader},
        {"seek section end", false, 3, -1, "", kArchiveSeekSectionEnd},
        {"seek archive start", false, 4, -1, "", kArchiveSeekStart},
        {"seek image", false, 5, -1, "", kArchiveSeekImage},
        {"image shrank", false, -1, 5, kImage.substr(0, 100), kArchiveReadImage},
        {"image changed", false, -1, 5, notMz.substr(0, kImage.size()) + "no magic\r\n",
         kArchiveBadMagic},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FaultySource source(file);
        source.failSize = c.failSize;
        source.failSeek = c.failSeek;
        source.replaceAtSeek = c.replaceAtSeek;
        source.replacement = c.replacement;
        RecordingSink sink;
        ArchiveOutcome outcome;
        EXPECT_EQ(ExtractArchive(source, sink, &outcome), c.code);
        EXPECT_TRUE(sink.files.empty());
    }
}

TEST(ArchiveReader, FailuresOfTheSinkHaveTheirCodesAndDiscardThePartialFile) {
    struct Case {
        Stage stage;
        size_t file;
        int code;
        size_t completed;
        size_t discarded;
    } cases[] = {
        {Stage::kCreate, 0, kArchiveWriteSelf, 0, 0},
        {Stage::kWrite, 0, kArchiveWriteSelf, 0, 1},
        {Stage::kStamp, 0, kArchiveStampSelf, 0, 1},
        {Stage::kFinish, 0, kArchiveWriteSelf, 0, 1},
        {Stage::kCreate, 1, kArchiveCreateEntry, 1, 0},
        {Stage::kWrite, 1, kArchiveWriteEntry, 1, 1},
        {Stage::kStamp, 2, kArchiveStampEntry, 2, 1},
        {Stage::kFinish, 2, kArchiveWriteEntry, 2, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        RecordingSink sink(c.stage, c.file);
        EXPECT_EQ(Extract(kImage + Archive(kGood), &sink).code, c.code);
        EXPECT_EQ(sink.files.size(), c.completed);
        EXPECT_EQ(sink.discarded.size(), c.discarded);
    }
}

TEST(ArchiveEntryName, OnlyBareWindowsFileNamesPass) {
    struct Case {
        std::string name;
        bool bare;
    } cases[] = {
        {"install.inf", true},
        {"Orbelo.ex_", true},
        {"my file.txt", true},
        {"\x95\x5C.txt", true},          // a double-byte character with a 0x5C trail byte
        {"\x83\x7C\x83\x8A.txt", true},  // ... and with a 0x7C trail byte
        {"a.b.c", true},
        {"CONSOLE", true},
        {"COM10", true},
        {"nul_x", true},
        {std::string(259, 'x'), true},
        {"", false},
        {std::string(260, 'x'), false},
        {"a\\b", false},
        {"\\a", false},
        {"\x95\x5C\\x", false},
        {"a/b", false},
        {"c:a", false},
        {"..", false},
        {"a..b", false},
        {".", false},
        {". .", false},
        {"a*", false},
        {"a?", false},
        {"a\"b", false},
        {"<a>", false},
        {"a|b", false},
        {"a\tb", false},
        {std::string("a\0b", 3), false},
        {"CON", false},
        {"con.txt", false},
        {"Nul ", false},
        {"aux .log", false},
        {"PRN", false},
        {"COM1", false},
        {"lpt9.dat", false},
        {"CONOUT$", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(IsBareEntryName(c.name.data(), c.name.size()), c.bare);
    }
}

}  // namespace
