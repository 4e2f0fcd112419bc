#include "package/szdd.h"

#include <stdlib.h>
#include <string.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// The match finder is called once per input byte from one loop; inlined
// there, it keeps its state in registers from one position to the next.
#if defined(__GNUC__)
#define ALWAYS_INLINE inline __attribute__((always_inline))
#else
#define ALWAYS_INLINE inline
#endif

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
// Positions are numbered v = i + origin, so the virtual spaces take
// v = origin - 4096..origin - 1. An encoder keeps its tables from one
// compression to the next and gives each input a higher origin, more than a
// ring's length past the end of the one before: whatever the tables still
// hold from earlier inputs then lies outside the window of every position of
// this one, as 0 ("none") does, and the tables need no clearing.
//
// What the parser needs at each position is the longest match (up to 18) and
// one distance for it. Matches of 3 and 4 bytes come from the two most recent
// positions of each hashed 3- and 4-byte prefix, the ones most likely to be
// inside the window; they are missed only when two different prefixes with
// the same hash came later. Matches of 5 bytes and more come from binary
// trees of the window's strings, one per hash of their first five bytes,
// ordered by their first 18 bytes, with the newest string at the root.
// Inserting a string walks from the root and passes both of its neighbours in
// sorted order, one of which shares the longest prefix with it, so that
// length is exact. Every node is newer than the nodes below it, so cutting the
// walk at the first node outside the window drops only nodes outside it.
// Short prefixes stay out of the trees because they would make a few of them
// deep (runs of zeros in executables, common trigrams in text) for matches
// that the small tables find as well.
constexpr uint32_t kFirstOrigin = 2 * kRingSize + 1;
constexpr uint32_t kNone = 0;
constexpr uint32_t kTreeMatch = 5;  // shortest match the trees look for
constexpr uint32_t kMaxHashBits = 16;
constexpr uint32_t kCycleSize = 2 * kRingSize;  // holds the window and the string being inserted
constexpr uint32_t kCycleMask = kCycleSize - 1;
// Bytes that may be read from a string with kWide comparisons.
constexpr uint32_t kWideReach = kMaxMatch + 8;
// The tables are too large for the nearest caches and every position looks
// at three random entries; fetching those of a few positions ahead lets the
// loads overlap with the work on this one. Two to eight ahead do as well.
constexpr uint32_t kPrefetchAhead = 4;
// Farthest distance at which a repeat's positions are left out of the
// tables (see FindPart). Farther, the copy would leave the window too much
// earlier: a distance of 256 costs a few hundredths of a percent on text,
// 1024 a tenth.
constexpr uint32_t kSkipDistance = 256;

struct Hashes {
    uint32_t of3, of4, of5;  // hashes of the first 3, 4 and 5 bytes
};

inline uint32_t HashPrefix(uint64_t bytes, int count, uint32_t bits) {
    uint64_t prefix = bytes & ((uint64_t{1} << (8 * count)) - 1);
    return static_cast<uint32_t>((prefix * 0x9E3779B97F4A7C15ull) >> (64 - bits));
}

// The hashes of the string at p, of whose bytes only the first limit (at
// least 3) are read, or eight with kWide.
template <bool kWide>
inline Hashes HashString(const uint8_t* p, uint32_t limit, uint32_t bits) {
    uint64_t bytes = 0;
    if (kWide) {
        memcpy(&bytes, p, 8);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
        bytes = __builtin_bswap64(bytes);
#endif
    } else {
        for (uint32_t k = 0; k < limit && k < 5; ++k) bytes |= static_cast<uint64_t>(p[k]) << (8 * k);
    }
    return Hashes{HashPrefix(bytes, 3, bits), HashPrefix(bytes, 4, bits), HashPrefix(bytes, 5, bits)};
}

// Length of the common prefix of a and b, at least length, at most limit;
// *less tells whether a sorts before b when they differ within limit.
inline uint32_t CommonPrefix(const uint8_t* a, const uint8_t* b, uint32_t length, uint32_t limit,
                             uint32_t* less) {
    while (length < limit && a[length] == b[length]) ++length;
    if (length < limit) *less = a[length] < b[length];
    return length;
}

// The first 18 bytes of a string as three words read at 0, 8 and 10, the
// last two overlapping.
struct Words18 {
    uint64_t w[3];
};

inline Words18 LoadWords18(const uint8_t* p) {
    Words18 words;
    memcpy(&words.w[0], p, 8);
    memcpy(&words.w[1], p + 8, 8);
    memcpy(&words.w[2], p + 10, 8);
    return words;
}

// The index of the first differing byte of two words read from memory,
// given their exclusive or (not 0).
inline uint32_t FirstDifferentByte(uint64_t difference) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    return static_cast<uint32_t>(__builtin_clzll(difference)) >> 3;
#else
    return static_cast<uint32_t>(__builtin_ctzll(difference)) >> 3;
#endif
}

// Whether the bytes of word a, read from memory, sort before those of b.
inline bool SortsBefore(uint64_t a, uint64_t b) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    return a < b;
#else
    // Byte-swapped, the words compare as the strings they hold do; that
    // takes less time than finding the byte and comparing it.
    return __builtin_bswap64(a) < __builtin_bswap64(b);
#endif
}

// Length of the common prefix of the strings at a and of b, at most limit,
// and *less: a sorts before b when they differ within limit. The three
// words are read and compared at once, so that the length and the order
// are known a fixed time after the string's address.
inline uint32_t Compare18(const uint8_t* a, const Words18& b, uint32_t limit, uint32_t* less) {
    const Words18 x = LoadWords18(a);
    const uint64_t d0 = x.w[0] ^ b.w[0];
    const uint64_t d1 = x.w[1] ^ b.w[1];
    const uint64_t d2 = x.w[2] ^ b.w[2];
    uint32_t length = kMaxMatch;
    uint64_t mine = 0;
    uint64_t theirs = 0;
    if (d2) {
        length = 10 + FirstDifferentByte(d2);
        mine = x.w[2];
        theirs = b.w[2];
    }
    if (d1) {
        length = 8 + FirstDifferentByte(d1);
        mine = x.w[1];
        theirs = b.w[1];
    }
    if (d0) {
        length = FirstDifferentByte(d0);
        mine = x.w[0];
        theirs = b.w[0];
    }
    *less = SortsBefore(mine, theirs);
    return length < limit ? length : limit;
}

struct MatchFinder {
    // The two most recent positions of each hash of 3 and 4 bytes, newest
    // first; with two, a prefix is lost only to two later ones that collide.
    // Hashes have hashBits bits, fewer for small inputs, whose tables would
    // otherwise cost more to clear than to use.
    uint32_t hashBits;
    uint32_t* recent3;  // 2 << hashBits entries
    uint32_t* recent4;  // 2 << hashBits entries
    uint32_t* head;     // tree roots per hash of 5 bytes, 1 << hashBits entries
    // Per node: [0] smaller strings, [1] greater ones. Needs no clearing: a
    // node is reached only after its insertion wrote both.
    uint32_t pairs[2 * kCycleSize];

    static size_t TableEntries(uint32_t bits) { return size_t{5} << bits; }

    // tables: TableEntries(bits) entries, zero or left by an earlier input
    // of a lower origin.
    void Attach(uint32_t* tables, uint32_t bits) {
        hashBits = bits;
        recent3 = tables;
        recent4 = tables + (size_t{2} << bits);
        head = tables + (size_t{4} << bits);
    }

    // Adds the string at position v, whose bytes are cur[0..limit) with limit
    // from 3 to 18, and returns the length of the longest match found in the
    // window (0 when below 3) with its distance in *distance. base and bias
    // map a position to its bytes: base + (v - bias). With kWide, strings are
    // read up to kWideReach bytes from their start.
    template <bool kWide>
    ALWAYS_INLINE uint32_t Find(uint32_t v, const uint8_t* cur, uint32_t limit, const uint8_t* base,
                                uint32_t bias, uint32_t* distance) {
        const Hashes hashes = HashString<kWide>(cur, limit, hashBits);
        if (kWide) {
            const Hashes ahead = HashString<kWide>(cur + kPrefetchAhead, limit, hashBits);
            __builtin_prefetch(&recent3[2 * ahead.of3], 1);
            __builtin_prefetch(&recent4[2 * ahead.of4], 1);
            __builtin_prefetch(&head[ahead.of5], 1);
        }
        uint32_t* const slots3 = &recent3[2 * hashes.of3];
        uint32_t* const slots4 = &recent4[2 * hashes.of4];
        if (limit >= kTreeMatch) {
            const uint32_t longer = Insert<kWide>(hashes.of5, v, cur, limit, base, bias, distance);
            if (longer) {
                // The short matches would not count: only record v.
                Record(slots3, v);
                Record(slots4, v);
                return longer;
            }
        }
        uint32_t best = 0;
        if (Recent(slots3, v, cur, 3, base, bias, distance)) best = 3;
        if (limit < 4) return best;
        if (Recent(slots4, v, cur, 4, base, bias, distance)) best = 4;
        return best;
    }

private:
    // Records v in a pair of recent slots.
    static void Record(uint32_t* slots, uint32_t v) {
        slots[1] = slots[0];
        slots[0] = v;
    }

    // Records v in a pair of recent slots; true, with the distance, when one
    // of the two earlier strings there matches the first length bytes.
    static bool Recent(uint32_t* slots, uint32_t v, const uint8_t* cur, uint32_t length,
                       const uint8_t* base, uint32_t bias, uint32_t* distance) {
        const uint32_t newest = slots[0];
        const uint32_t older = slots[1];
        slots[1] = newest;
        slots[0] = v;
        if (v - newest <= kRingSize && memcmp(base + (newest - bias), cur, length) == 0) {
            *distance = v - newest;
            return true;
        }
        if (v - older <= kRingSize && memcmp(base + (older - bias), cur, length) == 0) {
            *distance = v - older;
            return true;
        }
        return false;
    }

    // The tree part of Find: 0 or a match of kTreeMatch bytes or more, whose
    // distance then goes to *distance.
    template <bool kWide>
    uint32_t Insert(uint32_t hash, uint32_t v, const uint8_t* cur, uint32_t limit,
                    const uint8_t* base, uint32_t bias, uint32_t* distance) {
        uint32_t* bucket = &head[hash];
        uint32_t candidate = *bucket;
        *bucket = v;
        // Slots (indexes into pairs) where the next node smaller and greater
        // than the new string go, and the prefix that all nodes on each side
        // share with it (the byte-wise compare starts there; the wide one
        // compares all 18 bytes at once).
        uint32_t smallerSlot = 2 * (v & kCycleMask);
        uint32_t greaterSlot = smallerSlot + 1;
        uint32_t smallerLength = 0;
        uint32_t greaterLength = 0;
        uint32_t best = kTreeMatch - 1;
        Words18 curWords = {};
        if (kWide) curWords = LoadWords18(cur);
        for (;;) {
            // kNone is always outside the window.
            uint32_t delta = v - candidate;
            if (delta > kRingSize) {
                pairs[smallerSlot] = kNone;
                pairs[greaterSlot] = kNone;
                return best >= kTreeMatch ? best : 0;
            }
            const uint32_t node = 2 * (candidate & kCycleMask);
            const uint32_t left = pairs[node];
            const uint32_t right = pairs[node + 1];
            const uint8_t* other = base + (candidate - bias);
            uint32_t less = 0;
            uint32_t length;
            if (kWide) {
                length = Compare18(other, curWords, limit, &less);
            } else {
                length = smallerLength < greaterLength ? smallerLength : greaterLength;
                length = CommonPrefix(other, cur, length, limit, &less);
            }
            if (length == limit) {
                // The same string as far as anyone will look: the new node
                // takes the old one's place and its subtrees.
                *distance = delta;
                pairs[smallerSlot] = left;
                pairs[greaterSlot] = right;
                return limit;
            }
            if (length > best) {
                best = length;
                *distance = delta;
            }
            // The side is an index, not a branch: which way a walk turns is a
            // coin toss for a branch predictor.
            const uint32_t mask = 0u - less;
            pairs[(smallerSlot & mask) | (greaterSlot & ~mask)] = candidate;
            const uint32_t next = node + less;
            smallerSlot = (next & mask) | (smallerSlot & ~mask);
            greaterSlot = (greaterSlot & mask) | (next & ~mask);
            smallerLength = (length & mask) | (smallerLength & ~mask);
            greaterLength = (greaterLength & mask) | (length & ~mask);
            candidate = (right & mask) | (left & ~mask);
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
//
// Costs are kept modulo 2^16: the programme only ever compares costs of
// positions less than 19 apart, which differ by less than 200 bits.
constexpr uint32_t kBlockSize = 128 * 1024;
constexpr uint32_t kBlockOverlap = 256;

// Fills cost[0..count] with the bits needed from each position to count,
// where longest[j] is the longest match at position j (0 if none).
void ParseCosts(const uint8_t* longest, uint32_t count, uint16_t* cost) {
#if defined(__SSE2__)
    // The costs of positions j+3..j+18 ride in two registers of eight 16-bit
    // lanes, shifted by one lane per position, relative to an origin that
    // moves now and then so that they never leave the 16-bit range. No store
    // is read back, and no branch depends on the data.
    // floors[r]: lane k of the pair is -0x8000 when k + 3 <= r (a usable
    // length at a reach of r), 0x7FFF otherwise.
    __m128i floors[kMaxMatch + 1][2];
    for (uint32_t r = 0; r <= kMaxMatch; ++r) {
        int16_t lanes[16];
        for (uint32_t k = 0; k < 16; ++k) lanes[k] = k + kMinMatch <= r ? -0x8000 : 0x7FFF;
        floors[r][0] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(lanes));
        floors[r][1] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(lanes + 8));
    }
    __m128i window0 = _mm_setzero_si128();  // lane k: position j + 3 + k
    __m128i window1 = _mm_setzero_si128();  // lane k: position j + 11 + k
    int cost1 = 0;                          // position j + 1
    int cost2 = 0;                          // position j + 2
    uint32_t origin = 0;
    cost[count] = 0;
    for (uint32_t j = count; j-- > 0;) {
        uint32_t reach = longest[j] < count - j ? longest[j] : count - j;
        const __m128i floor0 = floors[reach][0];
        const __m128i floor1 = floors[reach][1];
        __m128i m = _mm_min_epi16(_mm_max_epi16(window0, floor0), _mm_max_epi16(window1, floor1));
        m = _mm_min_epi16(m, _mm_shuffle_epi32(m, 0x4E));
        m = _mm_min_epi16(m, _mm_shuffle_epi32(m, 0xB1));
        m = _mm_min_epi16(m, _mm_srli_epi32(m, 16));
        int reference = static_cast<int16_t>(_mm_cvtsi128_si32(m)) + static_cast<int>(kReferenceBits);
        int literal = cost1 + static_cast<int>(kLiteralBits);
        int cost0 = reference < literal ? reference : literal;
        cost[j] = static_cast<uint16_t>(cost0 + origin);

        window1 = _mm_or_si128(_mm_slli_si128(window1, 2), _mm_srli_si128(window0, 14));
        window0 = _mm_insert_epi16(_mm_slli_si128(window0, 2), cost2, 0);
        cost2 = cost1;
        cost1 = cost0;
        if ((j & 1023) == 0) {
            const __m128i shift = _mm_set1_epi16(static_cast<short>(cost1));
            window0 = _mm_sub_epi16(window0, shift);
            window1 = _mm_sub_epi16(window1, shift);
            cost2 -= cost1;
            origin += static_cast<uint32_t>(cost1);
            cost1 = 0;
        }
    }
#else
    cost[count] = 0;
    for (uint32_t j = count; j-- > 0;) {
        uint32_t reach = longest[j] < count - j ? longest[j] : count - j;
        int best = kLiteralBits;
        for (uint32_t length = kMinMatch; length <= reach; ++length) {
            int step = static_cast<int16_t>(cost[j + length] - cost[j + 1]) + kReferenceBits;
            if (step < best) best = step;
        }
        cost[j] = static_cast<uint16_t>(cost[j + 1] + best);
    }
#endif
}

// The length to take at position j of a parse with these costs: the longest
// reference on a shortest path, or 1 for a literal.
inline uint32_t ChosenLength(const uint16_t* cost, uint32_t j, uint32_t reach) {
    for (uint32_t length = reach; length >= kMinMatch; --length) {
        if (static_cast<uint16_t>(cost[j] - cost[j + length]) == kReferenceBits) return length;
    }
    return 1;
}

// Match finding runs over parts of the input, each with its own finder that
// first takes in the ring's worth of strings before the part. What it finds
// depends only on the part's bounds, so the output is the same however the
// parts are scheduled.
constexpr uint32_t kPartSize = 1u << 20;
constexpr uint32_t kPartsPerRound = 4;
constexpr uint32_t kRoundSize = kPartsPerRound * kPartSize;
static_assert(kPartSize >= 2 * kRingSize, "only the first part starts among the spaces");

// Replaces the blocks *a and *b by new ones of countA and countB items; when
// either cannot be had, keeps both and returns false.
template <typename A, typename B>
bool RenewPair(A** a, B** b, size_t countA, size_t countB) {
    A* newA = static_cast<A*>(malloc(countA * sizeof(A)));
    B* newB = static_cast<B*>(malloc(countB * sizeof(B)));
    if (!newA || !newB) {
        free(newA);
        free(newB);
        return false;
    }
    free(*a);
    free(*b);
    *a = newA;
    *b = newB;
    return true;
}

// Working memory of the encoder, grown to the largest input seen and kept
// from one compression to the next.
struct Encoder {
    MatchFinder* finders;  // one per part of a round
    uint32_t finderCount;
    // Hash bits of this input, and those that each finder's block of the
    // tables has room for. The bits depend on the input's size only, so an
    // input gives the same file whatever was compressed before it.
    uint32_t hashBits;
    uint32_t tableBits;
    uint32_t* tables;  // the finders' tables, one block each
    // Per position from arrayBase on: the longest match (0 if below 3) and its
    // distance, 1..4096.
    uint8_t* longest;
    uint16_t* distance;
    uint32_t positions;       // room of longest and distance, in positions
    uint16_t* cost;           // bits from each position to the block end, modulo 2^16
    uint32_t blockPositions;  // room of cost, in positions
    uint8_t* output;
    size_t outputSize;
    uint32_t origin;  // position number of the next input's first byte
    // Spaces, the start of the input and zeros for wide reads past its end.
    uint8_t prefix[kRingSize + kRingSize + kWideReach];

    // Makes room for an input of n bytes and chooses its origin; false when
    // memory runs out, with what was there before kept.
    bool Prepare(uint32_t n) {
        const uint32_t parts = n / kPartSize + 1;
        const uint32_t needFinders = parts < kPartsPerRound ? parts : kPartsPerRound;
        const uint32_t needPositions = n < kBlockSize + kRoundSize ? n : kBlockSize + kRoundSize;
        const uint32_t needBlock = n < kBlockSize ? n : kBlockSize;
        // Eight table entries per string of the input keep collisions rare.
        uint32_t bits = 10;
        while (bits < kMaxHashBits && (size_t{1} << bits) < size_t{8} * n) ++bits;
        if (!output) {
            outputSize = 64 * 1024;
            output = static_cast<uint8_t*>(malloc(outputSize));
            if (!output) return false;
        }
        if (needPositions + 1 > positions || !longest) {
            if (!RenewPair(&longest, &distance, needPositions + 1, needPositions + 1)) return false;
            positions = needPositions + 1;
        }
        if (needBlock + 1 > blockPositions || !cost) {
            uint16_t* newCost = static_cast<uint16_t*>(malloc((needBlock + 1) * sizeof(uint16_t)));
            if (!newCost) return false;
            free(cost);
            cost = newCost;
            blockPositions = needBlock + 1;
        }
        if (needFinders > finderCount || bits > tableBits || !tables) {
            const uint32_t count = needFinders > finderCount ? needFinders : finderCount;
            const uint32_t roomBits = bits > tableBits ? bits : tableBits;
            const size_t entries = count * MatchFinder::TableEntries(roomBits);
            if (!RenewPair(&finders, &tables, count, entries)) return false;
            finderCount = count;
            tableBits = roomBits;
            memset(tables, 0, entries * sizeof(uint32_t));
            origin = kFirstOrigin;
        }
        hashBits = bits;
        // Position numbers have 32 bits; when they run out, the tables
        // start again from zero.
        if (origin > 0xFFFFFFFFu - n - 2 * kRingSize) {
            memset(tables, 0,
                   finderCount * MatchFinder::TableEntries(tableBits) * sizeof(uint32_t));
            origin = kFirstOrigin;
        }
        return true;
    }
    void Release() {
        free(finders);
        free(tables);
        free(longest);
        free(distance);
        free(cost);
        free(output);
    }
};

// Longest match at position i (0 if below 3) and its distance.
ALWAYS_INLINE uint32_t FindAt(MatchFinder* finder, const uint8_t* data, uint32_t n,
                              const uint8_t* prefix, uint32_t origin, uint32_t i,
                              uint32_t* distance) {
    const uint32_t limit = n - i < kMaxMatch ? n - i : kMaxMatch;
    if (i < kRingSize) {
        if (limit < kMinMatch) return 0;
        return finder->Find<true>(i + origin, prefix + kRingSize + i, limit, prefix,
                                  origin - kRingSize, distance);
    }
    if (n - i >= kWideReach) {
        return finder->Find<true>(i + origin, data + i, limit, data, origin, distance);
    }
    if (limit < kMinMatch) return 0;
    return finder->Find<false>(i + origin, data + i, limit, data, origin, distance);
}

struct Round {
    Encoder* encoder;
    const uint8_t* data;
    uint32_t n;
    uint32_t origin;     // position number of data[0]
    uint32_t first;      // first position of the round
    uint32_t end;        // end of the round
    uint32_t arrayBase;  // position of the arrays' first entry
};

void FindPart(void* argument, size_t index) {
    const Round* round = static_cast<const Round*>(argument);
    Encoder* e = round->encoder;
    const uint32_t begin = round->first + static_cast<uint32_t>(index) * kPartSize;
    const uint32_t end = round->end - begin > kPartSize ? begin + kPartSize : round->end;
    const uint32_t origin = round->origin;
    MatchFinder* finder = &e->finders[index];
    finder->Attach(e->tables + index * MatchFinder::TableEntries(e->tableBits), e->hashBits);
    uint32_t unused;
    if (begin == 0) {
        // The strings that start further back than 20 bytes before the input
        // are 18 spaces each: every one would only take the place of the one
        // before it in the tree and the recent tables.
        const uint32_t headBytes = round->n < kRingSize + kMaxMatch ? round->n : kRingSize + kMaxMatch;
        for (uint32_t k = kRingSize - kMaxMatch - 2; k < kRingSize; ++k) {
            uint32_t limit = kRingSize - k + headBytes;
            if (limit > kMaxMatch) limit = kMaxMatch;
            if (limit >= kMinMatch)
                finder->Find<true>(origin - kRingSize + k, e->prefix + k, limit, e->prefix,
                                   origin - kRingSize, &unused);
        }
    } else {
        for (uint32_t i = begin - kRingSize; i < begin; ++i)
            FindAt(finder, round->data, round->n, e->prefix, origin, i, &unused);
    }
    uint8_t* longest = e->longest + (begin - round->arrayBase);
    uint16_t* distance = e->distance + (begin - round->arrayBase);
    const uint8_t* data = round->data;
    const uint32_t n = round->n;
    // Inside a repeat, the match of the previous position goes on at the
    // same distance, one byte shorter; when it still reaches the limit, it
    // is the longest there is, and the position is neither searched nor
    // added to the tables: its string is the same as far as anyone looks as
    // the one a little further back, which stays in the window almost as
    // long. Runs of zeros and of spaces, repeated lines.
    uint32_t carried = 0;  // the previous position's match and its distance
    uint32_t carriedDistance = 0;
    for (uint32_t i = begin; i < end; ++i) {
        const uint32_t limit = n - i < kMaxMatch ? n - i : kMaxMatch;
        if (carried > kMinMatch && carriedDistance <= kSkipDistance) {
            const uint8_t* cur = i < kRingSize ? e->prefix + kRingSize + i : data + i;
            const uint8_t* from = cur - carriedDistance;
            uint32_t length = carried - 1;
            while (length < limit && from[length] == cur[length]) ++length;
            if (length == limit) {
                carried = length;
                *longest++ = static_cast<uint8_t>(length);
                *distance++ = static_cast<uint16_t>(carriedDistance);
                continue;
            }
        }
        uint32_t dist = 0;
        carried = FindAt(finder, data, n, e->prefix, origin, i, &dist);
        carriedDistance = dist;
        *longest++ = static_cast<uint8_t>(carried);
        *distance++ = static_cast<uint16_t>(dist);
    }
}

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

SzddStatus SzddReadHeader(const uint8_t* data, size_t size, SzddHeader* header) {
    if (size < kSzddHeaderSize) {
        // Judge the magic on what there is, so that a short non-SZDD file
        // is called what it is.
        size_t n = size < sizeof(kMagic) ? size : sizeof(kMagic);
        if (n && memcmp(data, kMagic, n) != 0) return SzddStatus::kBadMagic;
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

struct SzddEncoder::Work : Encoder {};

SzddEncoder::SzddEncoder() : work_(nullptr) {}

SzddEncoder::~SzddEncoder() {
    if (!work_) return;
    work_->Release();
    free(work_);
}

SzddStatus SzddEncoder::Compress(const uint8_t* data, size_t size, char replacedChar,
                                 SzddWriter write, void* context, const SzddRunner* runner) {
    if (size > kMaxInput) return SzddStatus::kTooLarge;
    const uint32_t n = static_cast<uint32_t>(size);
    if (!work_) {
        work_ = static_cast<Work*>(malloc(sizeof(Work)));
        if (!work_) return SzddStatus::kOutOfMemory;
        // Zero: no memory yet, and Prepare takes it from there. (malloc
        // and memset rather than calloc, which install.exe, linking this
        // file for the decoder, would then import.)
        memset(work_, 0, sizeof(Work));
    }
    Encoder* e = work_;
    if (!e->Prepare(n)) return SzddStatus::kOutOfMemory;
    const uint32_t origin = e->origin;
    // Past this input's last position and a ring's length more, so that the
    // next input's spaces lie outside the window of all of this one.
    e->origin = origin + n + 2 * kRingSize;
    OutputBuffer out(e->output, e->outputSize, write, context);
    ItemWriter items(&out);
    bool ok = false;

    uint8_t* header = out.Reserve(kSzddHeaderSize);
    memcpy(header, kMagic, sizeof(kMagic));
    header[8] = kModeA;
    header[9] = static_cast<uint8_t>(replacedChar);
    PutLittle32(header + 10, n);

    // The first ring's worth of positions reads through this copy with the
    // spaces in front; after that every string in the window is input.
    const uint32_t headBytes = n < kRingSize + kMaxMatch ? n : kRingSize + kMaxMatch;
    memset(e->prefix, 0, sizeof(e->prefix));
    memset(e->prefix, ' ', kRingSize);
    if (headBytes) memcpy(e->prefix + kRingSize, data, headBytes);

    uint32_t arrayBase = 0;
    uint32_t start = 0;  // first position of the block
    uint32_t known = 0;  // match information exists for [start, known)
    while (start < n) {
        if (known < n && known - start < kBlockSize) {
            const uint32_t keep = known - start;
            memmove(e->longest, e->longest + (start - arrayBase), keep);
            memmove(e->distance, e->distance + (start - arrayBase), keep * sizeof(e->distance[0]));
            arrayBase = start;
            const uint32_t roundEnd = n - known > kRoundSize ? known + kRoundSize : n;
            Round round = {e, data, n, origin, known, roundEnd, arrayBase};
            const size_t parts = (round.end - known + kPartSize - 1) / kPartSize;
            if (runner) {
                runner->run(runner->context, FindPart, &round, parts);
            } else {
                for (size_t k = 0; k < parts; ++k) FindPart(&round, k);
            }
            known = round.end;
        }
        const uint32_t end = known - start > kBlockSize ? start + kBlockSize : known;
        const uint32_t count = end - start;
        const uint8_t* longest = e->longest + (start - arrayBase);
        const uint16_t* distance = e->distance + (start - arrayBase);
        ParseCosts(longest, count, e->cost);
        const uint32_t commit = end == n ? count : count - kBlockOverlap;
        uint32_t j = 0;
        while (j < commit) {
            const uint32_t i = start + j;
            const uint32_t reach = longest[j] < count - j ? longest[j] : count - j;
            const uint32_t length = ChosenLength(e->cost, j, reach);
            bool written;
            if (length == 1) {
                written = items.Literal(data[i]);
            } else {
                uint32_t ring = (kRingStart + i - distance[j]) & kRingMask;
                written = items.Reference(ring, length);
            }
            if (!written) goto done;
            j += length;
        }
        start += j;
    }
    items.Close();
    ok = out.Flush();

done:
    return ok ? SzddStatus::kOk : SzddStatus::kWriteFailed;
}

SzddStatus SzddCompress(const uint8_t* data, size_t size, char replacedChar, SzddWriter write,
                        void* context, const SzddRunner* runner) {
    SzddEncoder encoder;
    return encoder.Compress(data, size, replacedChar, write, context, runner);
}

SzddStatus SzddExpand(const uint8_t* data, size_t size, SzddWriter write, void* context,
                      SzddHeader* headerOut) {
    SzddHeader header;
    SzddStatus status = SzddReadHeader(data, size, &header);
    if (status != SzddStatus::kOk) return status;
    if (headerOut) *headerOut = header;
    // On the heap: the programs built from this code keep every stack frame
    // below a page, since they do not probe the stack (cmake/windows.cmake).
    const size_t bufferSize = SzddDecoder::kHistory + 16 * 1024;
    uint8_t* buffer = static_cast<uint8_t*>(malloc(bufferSize));
    if (!buffer) return SzddStatus::kOutOfMemory;
    SzddDecoder decoder(header.length, buffer, bufferSize, write, context);
    size_t used;
    status = decoder.Decode(data + kSzddHeaderSize, size - kSzddHeaderSize, true, &used);
    free(buffer);
    return status;
}

// The output goes straight into a linear buffer behind a copy of the last
// ring's worth of output (at first the ring's spaces), so that a reference
// is a copy from a fixed distance back rather than a walk around the ring.
// The ring positions that references name are turned into that distance.
SzddDecoder::SzddDecoder(uint32_t length, uint8_t* buffer, size_t size, SzddWriter write,
                         void* context)
    : buffer_(buffer),
      limit_(buffer + size),
      out_(buffer + kHistory),
      // The first output byte, at buffer + kHistory, has ring position
      // kRingStart; kHistory is a whole ring.
      ringOffset_(kRingStart),
      room_(length),
      write_(write),
      context_(context) {
    memset(buffer, ' ', kHistory);
}

bool SzddDecoder::Flush() {
    uint8_t* start = buffer_ + kHistory;
    if (out_ == start) return true;
    if (!write_(context_, start, static_cast<size_t>(out_ - start))) return false;
    ringOffset_ += static_cast<uint32_t>(out_ - start);
    memmove(buffer_, out_ - kHistory, kHistory);
    out_ = start;
    return true;
}

namespace {

static_assert(SzddDecoder::kHistory == kRingSize, "the history is one ring");
// Output room that one group may need: eight references of the longest kind.
constexpr size_t kGroupOutput = 8 * kMaxMatch;
// Input of the longest group: the flag byte and eight references.
constexpr size_t kGroupInput = 1 + 8 * 2;
static_assert(SzddDecoder::kMaxLeftOver == kGroupInput - 1, "a whole group is never left");
static_assert(SzddDecoder::kMinBuffer >= SzddDecoder::kHistory + 2 * kGroupOutput,
              "a flush must free room for a group");

}  // namespace

// Copies the reference whose two bytes are at in to out and returns its
// length. Writes up to kMaxMatch bytes at out whatever the length.
inline uint32_t SzddDecoder::CopyReference(const uint8_t* in, uint8_t* out) const {
    const uint32_t from = in[0] | (in[1] & 0xF0u) << 4;
    const uint32_t length = (in[1] & 0x0Fu) + kMinMatch;
    // Distance 1..4096 back from the output position to the ring position
    // named; 4096 is the slot about to be overwritten.
    const uint32_t here = (static_cast<uint32_t>(out - buffer_) + ringOffset_) & kRingMask;
    const uint32_t distance = ((here - from - 1) & kRingMask) + 1;
    const uint8_t* source = out - distance;
    if (distance >= kMaxMatch) {
        // Apart by a whole reference or more: one fixed-size copy, whose
        // bytes past length the next items overwrite.
        memcpy(out, source, kMaxMatch);
    } else {
        // Overlapping: each byte may be one this copy wrote.
        for (uint32_t k = 0; k < length; ++k) out[k] = source[k];
    }
    return length;
}

SzddStatus SzddDecoder::DecodeGroups(const uint8_t** inOut, const uint8_t* end, bool last) {
    const uint8_t* in = *inOut;
    uint8_t* out = out_;
    SzddStatus status = SzddStatus::kOk;
    for (;;) {
        const bool whole = static_cast<size_t>(end - in) >= kGroupInput;
        if (!whole && (!last || in == end)) break;
        if (static_cast<size_t>(limit_ - out) < kGroupOutput) {
            out_ = out;
            if (!Flush()) {
                status = SzddStatus::kWriteFailed;
                break;
            }
            out = out_;
        }
        uint32_t flags = *in++;
        if (whole && room_ >= kGroupOutput) {
            // Most groups: no item can reach the end of the input or pass
            // the length, so the items need no checks.
            uint8_t* const first = out;
            if (flags == 0xFF) {
                memcpy(out, in, 8);
                in += 8;
                out += 8;
            } else {
                for (int item = 0; item < 8; ++item, flags >>= 1) {
                    if (flags & 1) {
                        *out++ = *in++;
                    } else {
                        out += CopyReference(in, out);
                        in += 2;
                    }
                }
            }
            room_ -= static_cast<uint32_t>(out - first);
            continue;
        }
        for (int item = 0; item < 8; ++item, flags >>= 1) {
            // A reference cut after its first byte ends the data like the end
            // of the input does; the length then decides.
            if (!whole && end - in < ((flags & 1) ? 1 : 2)) {
                in = end;
                break;
            }
            if (flags & 1) {
                if (room_ == 0) {
                    status = SzddStatus::kLongData;
                    break;
                }
                --room_;
                *out++ = *in++;
                continue;
            }
            if ((in[1] & 0x0Fu) + kMinMatch > room_) {
                status = SzddStatus::kLongData;
                break;
            }
            const uint32_t length = CopyReference(in, out);
            in += 2;
            room_ -= length;
            out += length;
        }
        if (status != SzddStatus::kOk) break;
    }
    out_ = out;
    *inOut = in;
    return status;
}

SzddStatus SzddDecoder::Decode(const uint8_t* data, size_t size, bool last, size_t* used) {
    const uint8_t* in = data;
    SzddStatus status = DecodeGroups(&in, data + size, last);
    *used = static_cast<size_t>(in - data);
    if (status != SzddStatus::kOk || !last) return status;
    if (!Flush()) return SzddStatus::kWriteFailed;
    return room_ == 0 ? SzddStatus::kOk : SzddStatus::kShortData;
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
