// SZDD, the compressed file format of the Windows LZ expansion library, in
// which package files may be stored (the installer expands them with
// SzddDecoder), and the "underscore name" under which a compressed file is
// stored.
//
// Layout of an SZDD file:
//   offset 0, 8 bytes   magic "SZDD" 88 F0 27 33
//   offset 8, 1 byte    compression mode, always 'A'
//   offset 9, 1 byte    the last character of the original name, which the
//                       stored name replaces by "_"; 0 when not recorded
//   offset 10, 4 bytes  length of the expanded data, little endian
//   offset 14           LZSS data up to the end of the file
//
// The LZSS data is a sequence of groups: one flag byte, then up to eight
// items, the lowest flag bit describing the first item. A set bit is one
// literal byte; a clear bit is a two-byte reference b1 b2 to a 4096-byte ring
// of the most recent output: ring position b1 | (b2 & 0xF0) << 4, length
// (b2 & 0x0F) + 3. The ring starts filled with spaces and the first output
// byte goes to position 4096 - 16. A reference copies byte by byte, each byte
// entering the ring before the next is read, so a reference may overlap what
// it writes and may reach the initial spaces that no output has replaced yet.
//
// No <windows.h>, no exceptions and no standard containers: the installer
// expands through SzddDecoder with file reads and writes around it, and the
// tools and tests use the same code natively.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "base/text.h"

constexpr size_t kSzddHeaderSize = 14;

enum class SzddStatus {
    kOk,
    kTruncatedHeader,  // fewer than 14 bytes
    kBadMagic,         // not "SZDD" 88 F0 27 33
    kBadMode,          // compression mode other than 'A'
    kShortData,        // the data ends before the length the header gives
    kLongData,         // the data expands past the length the header gives
    kTooLarge,         // input too large for the 32-bit length field
    kOutOfMemory,
    kWriteFailed,      // the writer refused the output
};

// A short English description of status, for messages of the tools.
const char* SzddStatusText(SzddStatus status);

struct SzddHeader {
    char replacedChar = 0;  // header byte 9
    uint32_t length = 0;    // expanded length in bytes
};

// Receives output in order; returns false to stop the operation, which then
// reports kWriteFailed.
typedef bool (*SzddWriter)(void* context, const uint8_t* bytes, size_t size);

// Checks the magic and the mode of the first size bytes of a file and reads
// the header fields. *header is left unchanged unless the result is kOk.
SzddStatus SzddReadHeader(const uint8_t* data, size_t size, SzddHeader* header);

// Runs count independent jobs: calls job(argument, k) once for every k below
// count, in any order and possibly at the same time, and returns when all
// have returned. The encoder uses it for its match finding, which is most of
// its work; the result does not depend on the order.
struct SzddRunner {
    void (*run)(void* context, void (*job)(void* argument, size_t index), void* argument,
                size_t count);
    void* context;
};

// Compresses size bytes of data into one SZDD file passed to write in pieces.
// replacedChar goes into the header. The parse is the smallest that the
// format allows for the matches found (each literal costs 9 bits, each
// reference 17), and the matches found are the longest there are but for
// rare hash collisions among 3- and 4-byte prefixes and for strings inside
// repeats, which are found a little further back; files come out within a
// few hundredths of a percent of the smallest possible. runner, when given,
// spreads the match finding over parts of 1 MiB; without it the parts run one
// after the other, with the same output. Inputs larger than 0xFFFF0000 bytes
// are refused (kTooLarge) since the header's length field has 32 bits. Needs
// up to about 18 MB of working memory, much less for small inputs.
SzddStatus SzddCompress(const uint8_t* data, size_t size, char replacedChar, SzddWriter write,
                        void* context, const SzddRunner* runner = nullptr);

// The working memory of SzddCompress kept from one compression to the next,
// for a program that compresses many files: setting it up costs about as
// much as compressing a few kilobytes. It grows to what the largest input
// needed and is freed with the object. The output for an input is the same
// as SzddCompress's, whatever was compressed before. One compression at a
// time per object.
class SzddEncoder {
public:
    SzddEncoder();
    ~SzddEncoder();
    SzddEncoder(const SzddEncoder&) = delete;
    SzddEncoder& operator=(const SzddEncoder&) = delete;

    // As SzddCompress.
    SzddStatus Compress(const uint8_t* data, size_t size, char replacedChar, SzddWriter write,
                        void* context, const SzddRunner* runner = nullptr);

private:
    struct Work;
    Work* work_;
};

// Expands one SZDD file (header included), passing the output to write in
// pieces. header, when not null, receives the header fields whenever they
// could be read.
//
// The data runs to the end of the input, as every reader of the format takes
// it: there is no end marker, and the header's length does not stop the
// decoding. Other readers, the system's LZ library among them, return
// whatever that gives; here the file is accepted only when the data expands
// to exactly the length that the header gives: shorter is kShortData (a
// truncated file), longer kLongData (the result stops as soon as the output
// passes that length). A file accepted here gives the same bytes in those
// readers; a damaged one that they would give at a wrong length is refused.
// A last flag byte whose items never come, or a reference cut after its
// first byte, adds nothing in any reader and is not an error by itself: the
// length decides. On any failure the bytes already written are not the file
// and must be discarded.
SzddStatus SzddExpand(const uint8_t* data, size_t size, SzddWriter write, void* context,
                      SzddHeader* header);

// Expands the LZSS data of one SZDD file (what follows the header) that
// arrives in pieces, passing the output to a writer in large pieces. The
// checks are those of SzddExpand: the data must expand to exactly the length
// that the header gives.
class SzddDecoder {
public:
    // The history that the working buffer keeps in front of new output: the
    // ring's size.
    static constexpr size_t kHistory = 4096;
    // Smallest working buffer: the history and room for a few groups.
    static constexpr size_t kMinBuffer = kHistory + 1024;
    // Most bytes that Decode leaves unused when the data goes on: less than
    // one group of a flag byte and eight references.
    static constexpr size_t kMaxLeftOver = 16;

    // length: the expanded length from the header. buffer: working memory of
    // size bytes (at least kMinBuffer), owned by the caller and used until
    // the last call; output reaches write in pieces of at most
    // size - kHistory bytes.
    SzddDecoder(uint32_t length, uint8_t* buffer, size_t size, SzddWriter write, void* context);

    SzddDecoder(const SzddDecoder&) = delete;
    SzddDecoder& operator=(const SzddDecoder&) = delete;

    // Decodes the next size bytes of the data. Unless last, it stops at a
    // group that might not be whole and may leave up to kMaxLeftOver bytes at
    // the end unused; *used tells how many were used, and the caller passes
    // the rest again in front of the next piece. With last the data ends
    // here: everything is used, all the output is written, and the result
    // says whether the length came out right (kOk, kShortData). kLongData as
    // soon as the output would pass the length; kWriteFailed when the writer
    // refuses. After any result but kOk, or after last, the decoder is done
    // with and the bytes written are not the file.
    SzddStatus Decode(const uint8_t* data, size_t size, bool last, size_t* used);

private:
    bool Flush();
    // Decodes whole groups while at least a whole one remains in [*in, end);
    // with last, also the final part with bounds checks.
    SzddStatus DecodeGroups(const uint8_t** in, const uint8_t* end, bool last);
    uint32_t CopyReference(const uint8_t* in, uint8_t* out) const;

    uint8_t* buffer_;
    uint8_t* limit_;  // end of the buffer
    uint8_t* out_;    // next output byte; [buffer_ + kHistory, out_) is not yet written
    // Ring position of out_ is (out_ - buffer_ + ringOffset_) modulo the ring.
    uint32_t ringOffset_;
    uint32_t room_;  // bytes the header still allows
    SzddWriter write_;
    void* context_;
};

// The stored name of a compressed file: name with its last character
// replaced by "_" ("Orbelo.exe" -> "Orbelo.ex_"), and that character for the
// header. Names are code page 932; a double-byte last character is refused
// (false) because the header has room for one byte only, and so is an empty
// name.
bool MakeUnderscoreName(const char* name, ByteString* storedName, char* replacedChar);

// The original name from a stored name ending in "_" and the header's
// character: "_" gives way to replacedChar, or is dropped when replacedChar is
// 0 (tools that append "_" to the whole name record no character). Refuses
// (false) a stored name whose last character is not "_", a result that would
// be empty, and a character that cannot end a file name: control characters,
// the separators and wildcards \ / : * ? " < > |, "." and space (Windows
// drops them from the end of a name), and a double-byte lead byte.
bool RestoreUnderscoreName(const char* storedName, char replacedChar, ByteString* name);
