// Reading of the package archive that follows an installer's PE image.
//
// File layout:
//   PE image, exactly as linked (its length is the archive start offset)
//   "INSTARC0001" CR LF
//   N CR LF                              number of data entries
//   size CR LF time CR LF name CR LF     self entry: size = archive start,
//                                        name "install.exe", no data
//   N times: size CR LF time CR LF name CR LF, then size bytes of data
//   anything else (a signature): never read; its record in the image's
//   header is left out of the self entry
//
// Sizes and times are signed 32-bit decimals (times in seconds since
// 1970-01-01 UTC); names are bare code page 932 file names. Header lines are
// read with the conventions of the C formats "%d\r\n" and "%[^\r\n]\r\n": the
// white space after a line is any run of white-space bytes (so LF-only line
// ends and blank lines are accepted), a number may have leading white space
// and a sign, and an entry's data begins at the first byte after its name
// line that is not white space.
//
// The parsing lives here, free of any platform: the installer reads its own
// file through it, the packaging tool its packages, and the fuzz target bytes
// in memory. Where the bytes come from is a ByteSource; where the files go is
// an ExtractSink.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>

// Detail codes of an extraction. They reach the user inside a message, so the
// numbers are fixed.
constexpr int kArchiveOk = 0;                   // also: nothing, or no archive, appended
constexpr int kArchiveOpenFailed = 1;           // the executable cannot be opened
constexpr int kArchiveSizeFailed = 2;           // its size cannot be queried
constexpr int kArchiveSeekDosHeader = 100;
constexpr int kArchiveReadDosHeader = 101;      // fewer than 64 bytes
constexpr int kArchiveNotMz = 102;
constexpr int kArchiveSeekPeHeader = 103;
constexpr int kArchiveReadPeHeader = 104;       // fewer than 248 bytes
constexpr int kArchiveNotPe = 105;
constexpr int kArchiveSeekSectionHeader = 106;
constexpr int kArchiveReadSectionHeader = 107;  // fewer than 40 bytes
constexpr int kArchiveSeekSectionEnd = 108;
constexpr int kArchiveShortAfterImage = 109;    // fewer than 16 bytes after the sections
constexpr int kArchiveSeekStart = 110;
constexpr int kArchiveSeekImage = 200;
constexpr int kArchiveReadImage = 201;          // also: self size is not the start offset
constexpr int kArchiveWriteSelf = 202;          // self file not created or written
constexpr int kArchiveStampSelf = 203;
constexpr int kArchiveBadMagic = 300;           // and the image does not begin with "MZ"
constexpr int kArchiveBadCount = 302;           // unreadable or 0
constexpr int kArchiveBadSelfSize = 303;
constexpr int kArchiveBadSelfTime = 304;
constexpr int kArchiveBadSelfName = 305;
constexpr int kArchiveCreateEntry = 400;        // also: a name that is not a bare name
constexpr int kArchiveReadEntry = 401;          // truncated, or size 0 or negative
constexpr int kArchiveBadEntrySize = 403;
constexpr int kArchiveBadEntryTime = 404;
constexpr int kArchiveBadEntryName = 405;
constexpr int kArchiveWriteEntry = 412;
constexpr int kArchiveStampEntry = 413;

constexpr const char kArchiveMagic[] = "INSTARC0001";
constexpr const char kSelfEntryName[] = "install.exe";
constexpr size_t kMaxEntryName = 259;  // bytes, so that a name fits a 260-byte buffer

// True when name (length bytes, code page 932) can be written as a file of
// the extraction directory and nowhere else: 1 to kMaxEntryName bytes, no
// control byte, none of \ / : * ? " < > | (a 0x5C trail byte of a double-byte
// character is no "\"), no "..", and not a device name such as CON or LPT1
// (with or without an extension).
bool IsBareEntryName(const char* name, size_t length);

// Random access to the bytes of a file or of memory.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    // Total size in bytes; false when it cannot be queried.
    virtual bool QuerySize(int64_t* size) = 0;
    // Moves to an absolute offset. Offsets past the end are allowed (reads
    // there return nothing); negative ones fail.
    virtual bool Seek(int64_t offset) = 0;
    // Reads up to size bytes; fewer at the end of the data or on an error.
    virtual size_t Read(void* buffer, size_t size) = 0;
};

// Bytes in memory, not copied; they must outlive the source.
class MemorySource : public ByteSource {
public:
    MemorySource(const void* data, size_t size)
        : data_(static_cast<const unsigned char*>(data)), size_(size) {}
    bool QuerySize(int64_t* size) override;
    bool Seek(int64_t offset) override;
    size_t Read(void* buffer, size_t size) override;

private:
    const unsigned char* data_;
    size_t size_;
    size_t position_ = 0;
};

// An open stdio stream (binary mode), not owned. Offsets beyond the range of
// the runtime's fseek (2 GiB where long is 32 bits) fail.
class StdioSource : public ByteSource {
public:
    explicit StdioSource(FILE* file) : file_(file) {}
    bool QuerySize(int64_t* size) override;
    bool Seek(int64_t offset) override;
    size_t Read(void* buffer, size_t size) override;

private:
    FILE* file_;
};

// Buffered reading of a ByteSource with the byte-wise operations that the
// header lines need. Large reads bypass the buffer.
class ArchiveStream {
public:
    explicit ArchiveStream(ByteSource& source);
    ArchiveStream(const ArchiveStream&) = delete;
    ArchiveStream& operator=(const ArchiveStream&) = delete;
    ~ArchiveStream();

    bool QuerySize(int64_t* size) { return source_.QuerySize(size); }
    bool Seek(int64_t offset);
    // Offset of the next byte that Read or GetByte delivers.
    int64_t Tell() const { return position_; }
    size_t Read(void* buffer, size_t size);
    // The next byte (0..255), or -1 at the end.
    int GetByte();
    // Steps back over the byte that GetByte just delivered.
    void UngetByte();
    // "%d\r\n": optional white space, optional sign, decimal digits, then
    // every following white-space byte. False when there are no digits or
    // the value lies outside the signed 32-bit range.
    bool ReadNumberLine(int32_t* value);
    // "%[^\r\n]\r\n": one or more bytes up to CR, LF or the end, then every
    // following white-space byte. The first `capacity` bytes go to text (not
    // zero-terminated); *length receives the full length, which may exceed
    // capacity. False when the line is empty (the next byte is CR, LF or
    // the end).
    bool ReadTextLine(char* text, size_t capacity, size_t* length);

private:
    void SkipSpaces();

    static constexpr size_t kBufferSize = 32768;
    ByteSource& source_;
    // On the heap, where a buffer of this size belongs: the programs built
    // from this code do not probe the stack (cmake/windows.cmake).
    unsigned char* buffer_;
    size_t bufferStart_ = 0;  // next byte to deliver
    size_t bufferEnd_ = 0;    // bytes valid in buffer_
    int64_t position_ = 0;
};

// Where the archive begins inside an executable.
struct ArchiveLocation {
    int64_t fileSize = 0;
    int64_t sectionEnd = 0;  // end of the last section's raw data
    int64_t start = 0;       // sectionEnd plus a CodeView "NB10" record, if one sits there
};

// Derives the archive start from the PE headers. Returns kArchiveOk, with the
// stream positioned at the start, or one of the codes 2 and 100 to 110. The
// location fields are filled as far as they were found (sectionEnd is valid
// from code 108 on).
int LocateArchive(ArchiveStream& stream, ArchiveLocation* where);

// Receives the files of an extraction, one at a time: Create, then Write
// once, Stamp, and Finish, or Discard after a failed Write, Stamp or Finish.
class ExtractSink {
public:
    virtual ~ExtractSink() = default;
    // Makes the destination. Its failure is not reported here: it shows up as
    // the failure to create the first file.
    virtual void Prepare() = 0;
    // Creates (or truncates) the file name of the destination; name is a
    // zero-terminated bare name (IsBareEntryName holds).
    virtual bool Create(const char* name) = 0;
    virtual bool Write(const void* data, size_t size) = 0;
    // Sets last-access and last-write time, seconds since 1970 UTC.
    virtual bool Stamp(int32_t time) = 0;
    // Closes the file, which is then complete. On failure the sink has
    // removed it.
    virtual bool Finish() = 0;
    // Closes and removes the file being written.
    virtual void Discard() = 0;
};

enum class ArchiveOutcome {
    kFailed,           // a detail code other than 0 was returned
    kNothingAppended,  // the file ends with the image: no destination made
    kNotAnArchive,     // appended data without the magic line: destination made, empty
    kExtracted,        // every entry is a complete file of the destination
};

// Reads the executable behind source and hands its image (as the self entry)
// and every data entry to sink. Returns kArchiveOk or the detail code of the
// first failure; files finished before a failure stay with the sink, the one
// being written is discarded. No buffer is allocated for a size larger than
// what the source still holds.
int ExtractArchive(ByteSource& source, ExtractSink& sink, ArchiveOutcome* outcome);
