#include "package/szdd.h"

#include <stdlib.h>
#include <string.h>

namespace {

const uint8_t kMagic[8] = {'S', 'Z', 'D', 'D', 0x88, 0xF0, 0x27, 0x33};
constexpr uint8_t kModeA = 'A';

constexpr uint32_t kRingSize = 4096;
constexpr uint32_t kRingMask = kRingSize - 1;
constexpr uint32_t kRingStart = kRingSize - 16;  // ring position of the first output byte
constexpr uint32_t kMinMatch = 3;
constexpr uint32_t kMaxMatch = 18;
constexpr uint32_t kLiteralBits = 9;   // flag bit + byte
constexpr uint32_t kReferenceBits = 17;  // flag bit + two bytes

// Largest input: the length field has 32 bits, and the match finder numbers
// positions in 32 bits with an offset of two rings.
constexpr size_t kMaxInput = 0xFFFF0000u;

void PutLittle32(uint8_t* p, uint32_t value) {
    p[0] = static_cast<uint8_t>(value);
    p[1] = static_cast<uint8_t>(value >> 8);
    p[2] = static_cast<uint8_t>(value >> 16);
    p[3] = static_cast<uint8_t>(value >> 24);
}

// Output bytes gathered into large pieces for the writer.
class OutputBuffer {
public:
    OutputBuffer(uint8_t* bytes, size_t capacity, SzddWriter write, void* context)
        : write_(write), context_(context), bytes_(bytes), capacity_(capacity) {}

    uint8_t* Reserve(size_t count) {
        if (used_ + count > capacity_ && !Flush()) return nullptr;
        uint8_t* p = bytes_ + used_;
        used_ += count;
        return p;
    }
    // Returns the last count reserved bytes unused.
    void GiveBack(size_t count) { used_ -= count; }
    bool Flush() {
        if (used_ && !write_(context_, bytes_, used_)) return false;
        used_ = 0;
        return true;
    }

private:
    SzddWriter write_;
    void* context_;
    uint8_t* bytes_;
    size_t capacity_;
    size_t used_ = 0;
};

// ---------------------------------------------------------------------------
// Match finding.
//
// The encoder sees the input as if 4096 spaces preceded it: whatever the ring
// holds that no output has replaced yet is a space, and a reference to it is
// as good as any. A reference at distance d (1..4096) from output position i
// copies out[i + k - d], which for a negative index is one of those spaces;
// distance 4096 names the ring slot about to be written, which is read
// before it is overwritten.
//
// Positions are numbered v = i + kPositionBias, so the virtual spaces take
// v = 4096..8191 and 0 can mean "none" (always out of the window).
//
// The match finder is a binary tree of the window's strings per hash of their
// first three bytes, ordered by their first 18 bytes, with the newest string
// at the root. Inserting a string walks from the root and passes both its
// neighbours in sorted order, one of which shares the longest prefix with it,
// so the longest match is exact. Every node is newer than the nodes below it,
// so cutting the walk at the first node outside the window drops only nodes
// outside the window.
constexpr uint32_t kPositionBias = 2 * kRingSize;
constexpr uint32_t kNone = 0;
constexpr uint32_t kHashBits = 16;
constexpr uint32_t kCycleSize = 2 * kRingSize;  // holds the window and the string being inserted
constexpr uint32_t kCycleMask = kCycleSize - 1;

inline uint32_t Hash3(const uint8_t* p) {
    uint32_t x = static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
                 static_cast<uint32_t>(p[2]) << 16;
    return (x * 2654435761u) >> (32 - kHashBits);
}

// Length of the common prefix of a and b, at least length, at most limit.
inline uint32_t CommonPrefix(const uint8_t* a, const uint8_t* b, uint32_t length, uint32_t limit) {
    while (length < limit && a[length] == b[length]) ++length;
    return length;
}

// The same, eight bytes at a time; reads a[length..limit + 7] and b[...].
inline uint32_t CommonPrefixWide(const uint8_t* a, const uint8_t* b, uint32_t length,
                                 uint32_t limit) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    while (length < limit) {
        uint64_t x, y;
        memcpy(&x, a + length, 8);
        memcpy(&y, b + length, 8);
        if (x != y) {
            length += static_cast<uint32_t>(__builtin_ctzll(x ^ y)) >> 3;
            return length < limit ? length : limit;
        }
        length += 8;
    }
    return limit;
#else
    return CommonPrefix(a, b, length, limit);
#endif
}

struct MatchFinder {
    uint32_t head[1u << kHashBits];
    uint32_t pairs[2 * kCycleSize];  // [0] smaller strings, [1] greater ones

    void Reset() {
        memset(head, 0, sizeof(head));
        memset(pairs, 0, sizeof(pairs));
    }

    // Inserts the string at position v, whose bytes are cur[0..limit), limit
    // from 3 to 18, and returns the length of its longest match in the window
    // (0 when below 3) with the distance in *distance. base and bias map a
    // position to its bytes: base + (v - bias). With kWide, bytes are
    // compared eight at a time, reading up to 25 bytes from any string.
    template <bool kWide>
    uint32_t Insert(uint32_t v, const uint8_t* cur, uint32_t limit, const uint8_t* base,
                    uint32_t bias, uint32_t* distance) {
        uint32_t* bucket = &head[Hash3(cur)];
        uint32_t candidate = *bucket;
        *bucket = v;
        uint32_t* smaller = &pairs[2 * (v & kCycleMask)];  // where the next smaller node goes
        uint32_t* greater = &pairs[2 * (v & kCycleMask) + 1];
        uint32_t smallerLength = 0;  // common prefix with every node on the smaller side
        uint32_t greaterLength = 0;
        uint32_t best = 0;
        for (;;) {
            uint32_t delta = v - candidate;
            if (candidate == kNone || delta > kRingSize) {
                *smaller = kNone;
                *greater = kNone;
                return best;
            }
            uint32_t* pair = &pairs[2 * (candidate & kCycleMask)];
            const uint8_t* other = base + (candidate - bias);
            uint32_t length = smallerLength < greaterLength ? smallerLength : greaterLength;
            length = kWide ? CommonPrefixWide(other, cur, length, limit)
                           : CommonPrefix(other, cur, length, limit);
            if (length > best) {
                best = length;
                *distance = delta;
                if (length == limit) {
                    // The same string as far as anyone will look: the new
                    // node takes the old one's place and its subtrees.
                    *smaller = pair[0];
                    *greater = pair[1];
                    return best;
                }
            }
            // Which way is a coin toss to the branch predictor; selects
            // keep it out of the branches.
            bool less = other[length] < cur[length];
            uint32_t* next = less ? &pair[1] : &pair[0];
            *(less ? smaller : greater) = candidate;
            smaller = less ? next : smaller;
            greater = less ? greater : next;
            smallerLength = less ? length : smallerLength;
            greaterLength = less ? greaterLength : length;
            candidate = *next;
        }
    }
};

// ---------------------------------------------------------------------------
// Parsing.
//
// Every reference costs the same whatever its distance, so what matters at a
// position is only the longest match there: any shorter length down to 3 is a
// prefix of it at the same distance. The smallest file is then the shortest
// path from the start to the end where position i leads to i + 1 for 9 bits
// or to i + L (3 <= L <= longest) for 17, found by a backward dynamic
// programme over a block of positions.
//
// A block ends where its match lengths end, so its parse cannot cross the
// end. Only its part up to kBlockOverlap bytes before the end is committed;
// the rest is parsed again as the start of the next block, where matches may
// run on. Shortest paths that far back rarely depend on the end condition.
constexpr uint32_t kBlockSize = 128 * 1024;
constexpr uint32_t kBlockOverlap = 256;

struct Encoder {
    MatchFinder finder;
    uint8_t longest[kBlockSize];    // longest match at each block position, 0 if below 3
    uint16_t distance[kBlockSize];  // its distance, 1..4096
    uint32_t cost[kBlockSize + 1];  // bits from each position to the block end
    uint8_t choice[kBlockSize];     // length chosen there, 1 for a literal
    uint8_t prefix[2 * kRingSize + kMaxMatch + 8];  // spaces + the start of the input, zeros
    uint8_t output[64 * 1024];
};

// Writes items in groups of eight behind their flag byte.
class ItemWriter {
public:
    explicit ItemWriter(OutputBuffer* out) : out_(out) {}

    bool Literal(uint8_t byte) {
        uint8_t* p = Item(1, true);
        if (!p) return false;
        p[0] = byte;
        return true;
    }
    bool Reference(uint32_t ringPosition, uint32_t length) {
        uint8_t* p = Item(2, false);
        if (!p) return false;
        p[0] = static_cast<uint8_t>(ringPosition);
        p[1] = static_cast<uint8_t>(((ringPosition >> 4) & 0xF0) | (length - kMinMatch));
        return true;
    }
    // Gives back what the last group did not use.
    void Close() {
        if (flags_) out_->GiveBack(static_cast<size_t>(end_ - next_));
        flags_ = nullptr;
        bit_ = 0x100;
    }

private:
    uint8_t* Item(size_t size, bool literal) {
        if (bit_ == 0x100) {
            // The flag byte is complete only after its items, so a group is
            // reserved whole and no flush can split it.
            Close();
            flags_ = out_->Reserve(kGroupSize);
            if (!flags_) return nullptr;
            *flags_ = 0;
            next_ = flags_ + 1;
            end_ = flags_ + kGroupSize;
            bit_ = 1;
        }
        if (literal) *flags_ |= static_cast<uint8_t>(bit_);
        bit_ <<= 1;
        uint8_t* p = next_;
        next_ += size;
        return p;
    }

    static constexpr size_t kGroupSize = 1 + 8 * 2;
    OutputBuffer* out_;
    uint8_t* flags_ = nullptr;
    uint8_t* next_ = nullptr;
    uint8_t* end_ = nullptr;
    uint32_t bit_ = 0x100;
};

}  // namespace

const char* SzddStatusText(SzddStatus status) {
    switch (status) {
        case SzddStatus::kOk: return "ok";
        case SzddStatus::kTruncatedHeader: return "file shorter than the SZDD header";
        case SzddStatus::kBadMagic: return "not an SZDD file (bad magic)";
        case SzddStatus::kBadMode: return "unknown SZDD compression mode";
        case SzddStatus::kShortData: return "compressed data ends before the length in the header";
        case SzddStatus::kLongData: return "compressed data expands past the length in the header";
        case SzddStatus::kTooLarge: return "file too large for the SZDD format";
        case SzddStatus::kOutOfMemory: return "out of memory";
        case SzddStatus::kWriteFailed: return "output could not be written";
    }
    return "unknown error";
}

SzddStatus SzddReadHeader(const uint8_t* data, size_t size, SzddHeader* header) {
    if (size < kSzddHeaderSize) {
        // Judge the magic on what there is, so that a short non-SZDD file
        // is called what it is.
        size_t n = size < sizeof(kMagic) ? size : sizeof(kMagic);
        if (memcmp(data, kMagic, n) != 0) return SzddStatus::kBadMagic;
        if (size > 8 && data[8] != kModeA) return SzddStatus::kBadMode;
        return SzddStatus::kTruncatedHeader;
    }
    if (memcmp(data, kMagic, sizeof(kMagic)) != 0) return SzddStatus::kBadMagic;
    if (data[8] != kModeA) return SzddStatus::kBadMode;
    header->replacedChar = static_cast<char>(data[9]);
    header->length = static_cast<uint32_t>(data[10]) | static_cast<uint32_t>(data[11]) << 8 |
                     static_cast<uint32_t>(data[12]) << 16 | static_cast<uint32_t>(data[13]) << 24;
    return SzddStatus::kOk;
}

SzddStatus SzddCompress(const uint8_t* data, size_t size, char replacedChar, SzddWriter write,
                        void* context) {
    if (size > kMaxInput) return SzddStatus::kTooLarge;
    Encoder* e = static_cast<Encoder*>(malloc(sizeof(Encoder)));
    if (!e) return SzddStatus::kOutOfMemory;
    OutputBuffer out(e->output, sizeof(e->output), write, context);
    ItemWriter items(&out);
    const uint32_t n = static_cast<uint32_t>(size);
    bool ok = false;

    uint8_t* header = out.Reserve(kSzddHeaderSize);
    memcpy(header, kMagic, sizeof(kMagic));
    header[8] = kModeA;
    header[9] = static_cast<uint8_t>(replacedChar);
    PutLittle32(header + 10, n);

    // The first ring's worth of positions reads through the copy with the
    // spaces in front; after that every string in the window is input.
    e->finder.Reset();
    const uint32_t headBytes = n < kRingSize + kMaxMatch ? n : kRingSize + kMaxMatch;
    memset(e->prefix, 0, sizeof(e->prefix));
    memset(e->prefix, ' ', kRingSize);
    if (headBytes) memcpy(e->prefix + kRingSize, data, headBytes);
    uint32_t unused;
    for (uint32_t k = 0; k < kRingSize; ++k) {
        uint32_t limit = kRingSize - k + headBytes;
        if (limit > kMaxMatch) limit = kMaxMatch;
        if (limit >= kMinMatch)
            e->finder.Insert<true>(kRingSize + k, e->prefix + k, limit, e->prefix, kRingSize, &unused);
    }

    uint32_t start = 0;  // first position of the block
    uint32_t known = 0;  // match information exists for [start, known)
    while (start < n) {
        const uint32_t end = n - start > kBlockSize ? start + kBlockSize : n;
        for (uint32_t i = known; i < end; ++i) {
            uint32_t limit = n - i < kMaxMatch ? n - i : kMaxMatch;
            uint32_t longest = 0;
            uint32_t dist = 0;
            if (limit >= kMinMatch) {
                if (i < kRingSize)
                    longest = e->finder.Insert<true>(i + kPositionBias, e->prefix + kRingSize + i,
                                                     limit, e->prefix, kRingSize, &dist);
                else if (n - i >= kMaxMatch + 8)
                    longest = e->finder.Insert<true>(i + kPositionBias, data + i, limit, data,
                                                     kPositionBias, &dist);
                else
                    longest = e->finder.Insert<false>(i + kPositionBias, data + i, limit, data,
                                                      kPositionBias, &dist);
                if (longest < kMinMatch) longest = 0;
            }
            e->longest[i - start] = static_cast<uint8_t>(longest);
            e->distance[i - start] = static_cast<uint16_t>(dist);
        }
        known = end;

        const uint32_t count = end - start;
        e->cost[count] = 0;
        for (uint32_t j = count; j-- > 0;) {
            uint32_t best = e->cost[j + 1] + kLiteralBits;
            uint32_t pick = 1;
            uint32_t longest = e->longest[j];
            if (longest > count - j) longest = count - j;
            for (uint32_t length = kMinMatch; length <= longest; ++length) {
                uint32_t c = e->cost[j + length] + kReferenceBits;
                if (c < best) {
                    best = c;
                    pick = length;
                }
            }
            e->cost[j] = best;
            e->choice[j] = static_cast<uint8_t>(pick);
        }

        const uint32_t commit = end == n ? count : count - kBlockOverlap;
        uint32_t j = 0;
        while (j < commit) {
            const uint32_t i = start + j;
            const uint32_t length = e->choice[j];
            bool written;
            if (length == 1) {
                written = items.Literal(data[i]);
            } else {
                uint32_t ring = (kRingStart + i - e->distance[j]) & kRingMask;
                written = items.Reference(ring, length);
            }
            if (!written) goto done;
            j += length;
        }
        memmove(e->longest, e->longest + j, count - j);
        memmove(e->distance, e->distance + j, (count - j) * sizeof(e->distance[0]));
        start += j;
    }
    items.Close();
    ok = out.Flush();

done:
    free(e);
    return ok ? SzddStatus::kOk : SzddStatus::kWriteFailed;
}

SzddStatus SzddExpand(const uint8_t* data, size_t size, SzddWriter write, void* context,
                      SzddHeader* headerOut) {
    SzddHeader header;
    SzddStatus status = SzddReadHeader(data, size, &header);
    if (status != SzddStatus::kOk) return status;
    if (headerOut) *headerOut = header;

    uint8_t ring[kRingSize];
    memset(ring, ' ', sizeof(ring));
    uint32_t pos = kRingStart;
    uint32_t flushed = kRingStart;  // ring[flushed..pos) is not yet written out
    uint32_t room = header.length;  // bytes the header still allows
    const uint8_t* in = data + kSzddHeaderSize;
    const uint8_t* const end = data + size;

    while (in < end) {
        uint32_t flags = *in++;
        for (int item = 0; item < 8 && in < end; ++item, flags >>= 1) {
            if (flags & 1) {
                if (room == 0) return SzddStatus::kLongData;
                --room;
                ring[pos] = *in++;
                pos = (pos + 1) & kRingMask;
                if (pos == 0) {
                    if (!write(context, ring + flushed, kRingSize - flushed))
                        return SzddStatus::kWriteFailed;
                    flushed = 0;
                }
                continue;
            }
            // A reference cut after its first byte ends the data like the
            // end of the input does; the length then decides.
            if (end - in < 2) {
                in = end;
                break;
            }
            uint32_t from = in[0] | (in[1] & 0xF0u) << 4;
            uint32_t length = (in[1] & 0x0Fu) + kMinMatch;
            in += 2;
            if (length > room) return SzddStatus::kLongData;
            room -= length;
            while (length--) {
                ring[pos] = ring[from];
                from = (from + 1) & kRingMask;
                pos = (pos + 1) & kRingMask;
                if (pos == 0) {
                    if (!write(context, ring + flushed, kRingSize - flushed))
                        return SzddStatus::kWriteFailed;
                    flushed = 0;
                }
            }
        }
    }
    if (pos > flushed && !write(context, ring + flushed, pos - flushed))
        return SzddStatus::kWriteFailed;
    return room == 0 ? SzddStatus::kOk : SzddStatus::kShortData;
}

namespace {

// Byte offset of the last character of a code page 932 name (0 when empty).
size_t LastCharacter(const char* name) {
    size_t last = 0;
    for (size_t i = 0; name[i]; i += CharLength932(name + i)) last = i;
    return last;
}

// Printable single-byte characters of code page 932 that may end a Windows
// file name.
bool CanEndFileName(unsigned char c) {
    bool printable = (c >= 0x21 && c <= 0x7E) || (c >= 0xA1 && c <= 0xDF);
    return printable && !strchr("\\/:*?\"<>|.", c);
}

}  // namespace

bool MakeUnderscoreName(const char* name, ByteString* storedName, char* replacedChar) {
    size_t length = strlen(name);
    size_t last = LastCharacter(name);
    if (length == 0 || length - last != 1) return false;
    storedName->Assign(name, last);
    storedName->Append('_');
    *replacedChar = name[last];
    return true;
}

bool RestoreUnderscoreName(const char* storedName, char replacedChar, ByteString* name) {
    size_t length = strlen(storedName);
    size_t last = LastCharacter(storedName);
    if (length == 0 || length - last != 1 || storedName[last] != '_') return false;
    if (replacedChar == 0) {
        if (last == 0) return false;
        name->Assign(storedName, last);
        return true;
    }
    if (!CanEndFileName(static_cast<unsigned char>(replacedChar))) return false;
    name->Assign(storedName, last);
    name->Append(replacedChar);
    return true;
}
