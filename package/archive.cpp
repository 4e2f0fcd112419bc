#include "package/archive.h"

#include <stdlib.h>
#include <string.h>

#include "base/text.h"

namespace {

uint32_t Le32(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

uint16_t Le16(const unsigned char* p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

void PutLe32(unsigned char* p, uint32_t value) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(value >> (8 * i));
}

// A signed package's image, as it is written out for the uninstaller that
// stays installed. Signing recorded the certificate table that follows the
// archive in the header's directory and set the checksum over the whole
// file; the image alone has no such table, and a directory entry that points
// past its end makes a damaged signature of it. So the entry is cleared and
// the checksum computed again over the image: the image as linked. An image
// whose entry is empty or lies inside it is left as it is.
void ForgetTrailingCertificate(unsigned char* image, size_t size) {
    if (size < 0x40) return;
    const size_t pe = Le32(image + 0x3C);
    if (pe > size || size - pe < 26) return;
    const size_t optional = pe + 24;
    const unsigned magic = Le16(image + optional);
    if (magic != 0x10B && magic != 0x20B) return;
    const size_t entry = optional + (magic == 0x20B ? 144 : 128);  // directory entry 4
    if (Le16(image + pe + 20) < entry + 8 - optional || entry + 8 > size) return;
    if (Le32(image + entry) < size) return;

    memset(image + entry, 0, 8);
    unsigned char* checksum = image + optional + 64;
    PutLe32(checksum, 0);
    // The sum of the 16-bit words with the carries folded back in, plus the
    // file's length.
    uint32_t sum = 0;
    for (size_t at = 0; at < size; at += 2) {
        sum += image[at] | (at + 1 < size ? image[at + 1] << 8 : 0);
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    PutLe32(checksum, sum + static_cast<uint32_t>(size));
}

bool EqualsIgnoringCase(const char* text, size_t length, const char* word) {
    size_t i = 0;
    for (; i < length && word[i]; ++i) {
        char c = text[i];
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        if (c != word[i]) return false;
    }
    return i == length && !word[i];
}

// Windows opens a device instead of a file for these stems, whatever the
// directory in front and whatever extension follows.
bool IsDeviceName(const char* name, size_t length) {
    size_t stem = 0;
    while (stem < length && name[stem] != '.') ++stem;
    while (stem > 0 && name[stem - 1] == ' ') --stem;
    static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
    for (const char* device : kDevices) {
        if (EqualsIgnoringCase(name, stem, device)) return true;
    }
    if (stem == 4 && name[3] >= '1' && name[3] <= '9') {
        return EqualsIgnoringCase(name, 3, "COM") || EqualsIgnoringCase(name, 3, "LPT");
    }
    return false;
}

// The buffer that the image and then each entry are read into whole. It is
// kept from one entry to the next and only grows: a fresh block for every
// entry would have each of its pages faulted in and zeroed again.
class EntryBuffer {
public:
    EntryBuffer() = default;
    ~EntryBuffer() { free(data_); }
    EntryBuffer(const EntryBuffer&) = delete;
    EntryBuffer& operator=(const EntryBuffer&) = delete;
    // A block of at least size bytes, or null when there is no memory for it.
    unsigned char* Get(size_t size) {
        if (size > capacity_ || !data_) {
            free(data_);
            data_ = static_cast<unsigned char*>(malloc(size ? size : 1));
            capacity_ = data_ ? size : 0;
        }
        return data_;
    }

private:
    unsigned char* data_ = nullptr;
    size_t capacity_ = 0;
};

// One header entry: size, time and name lines.
struct EntryHeader {
    int32_t size = 0;
    int32_t time = 0;
    char name[kMaxEntryName + 1] = {};
    size_t nameLength = 0;  // may exceed kMaxEntryName; then name holds a prefix
};

// Reads the three lines; returns 0 or the code of the first unreadable line.
int ReadEntryHeader(ArchiveStream& stream, EntryHeader* entry, int sizeCode, int timeCode,
                    int nameCode) {
    if (!stream.ReadNumberLine(&entry->size)) return sizeCode;
    if (!stream.ReadNumberLine(&entry->time)) return timeCode;
    if (!stream.ReadTextLine(entry->name, kMaxEntryName, &entry->nameLength)) return nameCode;
    entry->name[entry->nameLength <= kMaxEntryName ? entry->nameLength : 0] = 0;
    return kArchiveOk;
}

// Hands one complete file to the sink; returns 0 or the code of the failing
// stage, with a partly written file discarded.
int WriteEntry(ExtractSink& sink, const EntryHeader& entry, const void* data, size_t size,
               int createCode, int writeCode, int stampCode) {
    if (!IsBareEntryName(entry.name, entry.nameLength)) return createCode;
    if (!sink.Create(entry.name)) return createCode;
    if (!sink.Write(data, size)) {
        sink.Discard();
        return writeCode;
    }
    if (!sink.Stamp(entry.time)) {
        sink.Discard();
        return stampCode;
    }
    if (!sink.Finish()) return writeCode;
    return kArchiveOk;
}

}  // namespace

bool IsBareEntryName(const char* name, size_t length) {
    if (length == 0 || length > kMaxEntryName) return false;
    bool onlyDotsAndSpaces = true;
    for (size_t i = 0; i < length; ++i) {
        unsigned char c = static_cast<unsigned char>(name[i]);
        // Bytes below 0x40 are never the trail byte of a double-byte
        // character, so they are judged byte by byte.
        if (c < 0x20 || strchr("/:*?\"<>", c)) return false;
        if (c == '.' && i + 1 < length && name[i + 1] == '.') return false;
        if (c != '.' && c != ' ') onlyDotsAndSpaces = false;
    }
    if (onlyDotsAndSpaces) return false;
    // "\" and "|" may be trail bytes (0x5C, 0x7C): only a character walk
    // tells a separator from the second half of a double-byte character.
    for (size_t i = 0; i < length;) {
        unsigned char c = static_cast<unsigned char>(name[i]);
        if (IsLeadByte932(c) && i + 1 < length) {
            i += 2;
            continue;
        }
        if (c == '\\' || c == '|') return false;
        ++i;
    }
    return !IsDeviceName(name, length);
}

bool MemorySource::QuerySize(int64_t* size) {
    *size = static_cast<int64_t>(size_);
    return true;
}

bool MemorySource::Seek(int64_t offset) {
    if (offset < 0) return false;
    position_ = static_cast<uint64_t>(offset) < size_ ? static_cast<size_t>(offset) : size_;
    return true;
}

size_t MemorySource::Read(void* buffer, size_t size) {
    size_t available = size_ - position_;
    if (size > available) size = available;
    memcpy(buffer, data_ + position_, size);
    position_ += size;
    return size;
}

ArchiveStream::ArchiveStream(ByteSource& source)
    : source_(source), buffer_(static_cast<unsigned char*>(malloc(kBufferSize))) {
    // As for the strings (base/text.h): without 32 KB of memory the program
    // cannot go on.
    if (!buffer_) abort();
}

ArchiveStream::~ArchiveStream() { free(buffer_); }

bool ArchiveStream::Seek(int64_t offset) {
    if (!source_.Seek(offset)) return false;
    bufferStart_ = bufferEnd_ = 0;
    position_ = offset;
    return true;
}

size_t ArchiveStream::Read(void* buffer, size_t size) {
    unsigned char* out = static_cast<unsigned char*>(buffer);
    size_t done = bufferEnd_ - bufferStart_;
    if (done > size) done = size;
    memcpy(out, buffer_ + bufferStart_, done);
    bufferStart_ += done;
    while (done < size) {
        size_t wanted = size - done;
        if (wanted >= kBufferSize) {
            // An entry goes straight into its own buffer, not through ours.
            done += source_.Read(out + done, wanted);
            break;
        }
        bufferStart_ = 0;
        bufferEnd_ = source_.Read(buffer_, kBufferSize);
        if (bufferEnd_ == 0) break;
        size_t part = bufferEnd_ < wanted ? bufferEnd_ : wanted;
        memcpy(out + done, buffer_, part);
        bufferStart_ = part;
        done += part;
    }
    position_ += static_cast<int64_t>(done);
    return done;
}

int ArchiveStream::GetByte() {
    if (bufferStart_ == bufferEnd_) {
        bufferStart_ = 0;
        bufferEnd_ = source_.Read(buffer_, kBufferSize);
        if (bufferEnd_ == 0) return -1;
    }
    ++position_;
    return buffer_[bufferStart_++];
}

void ArchiveStream::UngetByte() {
    --bufferStart_;
    --position_;
}

void ArchiveStream::SkipSpaces() {
    for (int c = GetByte(); c != -1; c = GetByte()) {
        if (!IsSpaceByte(static_cast<unsigned char>(c))) {
            UngetByte();
            return;
        }
    }
}

bool ArchiveStream::ReadNumberLine(int32_t* value) {
    SkipSpaces();
    int c = GetByte();
    bool negative = false;
    if (c == '+' || c == '-') {
        negative = c == '-';
        c = GetByte();
    }
    if (c < '0' || c > '9') {
        if (c != -1) UngetByte();
        return false;
    }
    // Digits go on being consumed after an overflow, as a runtime's scanf
    // would; only the value is lost.
    const uint64_t limit = negative ? 2147483648ULL : 2147483647ULL;
    uint64_t magnitude = 0;
    bool overflow = false;
    for (; c >= '0' && c <= '9'; c = GetByte()) {
        if (!overflow) {
            magnitude = magnitude * 10 + static_cast<uint64_t>(c - '0');
            overflow = magnitude > limit;
        }
    }
    if (c != -1) UngetByte();
    SkipSpaces();
    if (overflow) return false;
    *value = negative ? static_cast<int32_t>(-static_cast<int64_t>(magnitude))
                      : static_cast<int32_t>(magnitude);
    return true;
}

bool ArchiveStream::ReadTextLine(char* text, size_t capacity, size_t* length) {
    int c = GetByte();
    if (c == -1 || c == '\r' || c == '\n') {
        if (c != -1) UngetByte();
        return false;
    }
    size_t count = 0;
    for (; c != -1 && c != '\r' && c != '\n'; c = GetByte()) {
        if (count < capacity) text[count] = static_cast<char>(c);
        ++count;
    }
    if (c != -1) UngetByte();
    SkipSpaces();
    *length = count;
    return true;
}

int LocateArchive(ArchiveStream& stream, ArchiveLocation* where) {
    if (!stream.QuerySize(&where->fileSize)) return kArchiveSizeFailed;

    unsigned char dosHeader[64];
    if (!stream.Seek(0)) return kArchiveSeekDosHeader;
    if (stream.Read(dosHeader, sizeof dosHeader) != sizeof dosHeader) return kArchiveReadDosHeader;
    if (dosHeader[0] != 'M' || dosHeader[1] != 'Z') return kArchiveNotMz;

    // PE signature, 20-byte file header and the 224 bytes of a 32-bit
    // optional header; only the file header's fields are used.
    const int64_t peOffset = static_cast<int32_t>(Le32(dosHeader + 0x3C));
    unsigned char peHeader[248];
    if (!stream.Seek(peOffset)) return kArchiveSeekPeHeader;
    if (stream.Read(peHeader, sizeof peHeader) != sizeof peHeader) return kArchiveReadPeHeader;
    if (memcmp(peHeader, "PE\0\0", 4) != 0) return kArchiveNotPe;

    const int64_t sectionCount = Le16(peHeader + 6);
    const int64_t optionalHeaderSize = Le16(peHeader + 20);
    const int64_t lastSection = peOffset + 24 + optionalHeaderSize + (sectionCount - 1) * 40;
    unsigned char sectionHeader[40];
    if (!stream.Seek(lastSection)) return kArchiveSeekSectionHeader;
    if (stream.Read(sectionHeader, sizeof sectionHeader) != sizeof sectionHeader) {
        return kArchiveReadSectionHeader;
    }

    // PointerToRawData + SizeOfRawData, added without 32-bit wrap-around.
    int64_t start = static_cast<int64_t>(Le32(sectionHeader + 20)) + Le32(sectionHeader + 16);
    where->sectionEnd = where->start = start;
    unsigned char probe[16];
    if (!stream.Seek(start)) return kArchiveSeekSectionEnd;
    if (stream.Read(probe, sizeof probe) != sizeof probe) return kArchiveShortAfterImage;

    // A CodeView record left by the linker: 16 bytes, then the path of the
    // debug file up to its terminating zero.
    if (memcmp(probe, "NB10", 4) == 0) {
        start += 16;
        for (;;) {
            unsigned char chunk[16];
            size_t got = stream.Read(chunk, sizeof chunk);
            bool terminated = false;
            for (size_t i = 0; i < got && !terminated; ++i) {
                ++start;
                terminated = chunk[i] == 0;
            }
            if (terminated || got < sizeof chunk) break;
        }
    }
    where->start = start;
    if (!stream.Seek(start)) return kArchiveSeekStart;
    return kArchiveOk;
}

int ExtractArchive(ByteSource& source, ExtractSink& sink, ArchiveOutcome* outcome) {
    *outcome = ArchiveOutcome::kFailed;
    ArchiveStream stream(source);
    ArchiveLocation where;
    int code = LocateArchive(stream, &where);
    if (code != kArchiveOk) return code;
    if (where.fileSize == where.start) {
        *outcome = ArchiveOutcome::kNothingAppended;
        return kArchiveOk;
    }

    sink.Prepare();
    if (!stream.Seek(0)) return kArchiveSeekImage;
    // The self entry's size must equal the start, a signed 32-bit value:
    // a larger image can never match and is not worth allocating.
    if (where.start > INT32_MAX) return kArchiveReadImage;
    const size_t imageSize = static_cast<size_t>(where.start);
    EntryBuffer buffer;
    unsigned char* image = buffer.Get(imageSize);
    if (!image || stream.Read(image, imageSize) != imageSize) return kArchiveReadImage;

    char magic[sizeof kArchiveMagic];
    size_t magicLength = 0;
    if (!stream.ReadTextLine(magic, sizeof magic, &magicLength) ||
        magicLength != sizeof kArchiveMagic - 1 || memcmp(magic, kArchiveMagic, magicLength) != 0) {
        if (imageSize >= 2 && image[0] == 'M' && image[1] == 'Z') {
            *outcome = ArchiveOutcome::kNotAnArchive;
            return kArchiveOk;
        }
        return kArchiveBadMagic;
    }
    int32_t count = 0;
    if (!stream.ReadNumberLine(&count) || count == 0) return kArchiveBadCount;

    EntryHeader entry;
    code = ReadEntryHeader(stream, &entry, kArchiveBadSelfSize, kArchiveBadSelfTime,
                           kArchiveBadSelfName);
    if (code != kArchiveOk) return code;
    if (entry.size != where.start) return kArchiveReadImage;
    ForgetTrailingCertificate(image, imageSize);
    code = WriteEntry(sink, entry, image, imageSize, kArchiveWriteSelf, kArchiveWriteSelf,
                      kArchiveStampSelf);
    if (code != kArchiveOk) return code;

    for (int32_t i = 0; i < count; ++i) {
        code = ReadEntryHeader(stream, &entry, kArchiveBadEntrySize, kArchiveBadEntryTime,
                               kArchiveBadEntryName);
        if (code != kArchiveOk) return code;
        // Checked against what the file still holds before anything of that
        // size is allocated: a forged size cannot exhaust memory.
        if (entry.size <= 0 || entry.size > where.fileSize - stream.Tell()) {
            return kArchiveReadEntry;
        }
        const size_t size = static_cast<size_t>(entry.size);
        unsigned char* data = buffer.Get(size);
        if (!data || stream.Read(data, size) != size) return kArchiveReadEntry;
        code = WriteEntry(sink, entry, data, size, kArchiveCreateEntry, kArchiveWriteEntry,
                          kArchiveStampEntry);
        if (code != kArchiveOk) return code;
    }
    *outcome = ArchiveOutcome::kExtracted;
    return kArchiveOk;
}
