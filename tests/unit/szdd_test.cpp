#include <stdint.h>
#include <string.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "package/szdd.h"
#include "tests/common/szdd_bytes.h"

namespace {

using namespace szdd_bytes;

bool Refuse(void*, const uint8_t*, size_t) { return false; }

Bytes Compress(const Bytes& data, char replaced = 'x', const SzddRunner* runner = nullptr) {
    Bytes out;
    EXPECT_EQ(SzddCompress(data.data(), data.size(), replaced, Append, &out, runner),
              SzddStatus::kOk);
    return out;
}

SzddStatus Expand(const Bytes& file, Bytes* out, SzddHeader* header = nullptr) {
    out->clear();
    return SzddExpand(file.data(), file.size(), Append, out, header);
}

// Words with repeats, spaces and line ends, roughly like a text file.
Bytes Words(size_t size, uint32_t seed) {
    static const char* const kWords[] = {"the ", "installer ", "copies ", "files ", "into ",
                                         "place ", "and ", "expands ", "them\r\n", "    "};
    std::mt19937 random(seed);
    Bytes out;
    while (out.size() < size) {
        const char* word = kWords[random() % 10];
        out.insert(out.end(), word, word + strlen(word));
    }
    out.resize(size);
    return out;
}

Bytes Header(uint32_t length, char mode = 'A', char replaced = 0) {
    Bytes h = {'S', 'Z', 'D', 'D', 0x88, 0xF0, 0x27, 0x33, static_cast<uint8_t>(mode),
               static_cast<uint8_t>(replaced)};
    for (int k = 0; k < 4; ++k) h.push_back(static_cast<uint8_t>(length >> (8 * k)));
    return h;
}

struct ItemCounts {
    size_t literals = 0;
    size_t references = 0;
};

// Counts the items of a well-formed stream.
ItemCounts CountItems(const Bytes& file) {
    ItemCounts counts;
    size_t at = kSzddHeaderSize;
    while (at < file.size()) {
        uint8_t flags = file[at++];
        for (int bit = 0; bit < 8 && at < file.size(); ++bit) {
            if (flags & (1 << bit)) {
                ++counts.literals;
                at += 1;
            } else {
                ++counts.references;
                at += 2;
            }
        }
    }
    return counts;
}

// The fewest bits any parse of data can take (9 per literal, 17 per
// reference), with every match found by looking at every distance.
size_t OptimalBits(const Bytes& data) {
    const size_t n = data.size();
    auto at = [&](long long i) -> uint8_t { return i < 0 ? ' ' : data[static_cast<size_t>(i)]; };
    std::vector<size_t> longest(n, 0);
    for (size_t i = 0; i < n; ++i) {
        size_t limit = std::min<size_t>(18, n - i);
        for (long long d = 1; d <= 4096 && longest[i] < limit; ++d) {
            size_t length = 0;
            while (length < limit && at(static_cast<long long>(i + length) - d) == data[i + length])
                ++length;
            longest[i] = std::max(longest[i], length);
        }
    }
    std::vector<size_t> cost(n + 1, 0);
    for (size_t i = n; i-- > 0;) {
        cost[i] = cost[i + 1] + 9;
        for (size_t length = 3; length <= longest[i]; ++length)
            cost[i] = std::min(cost[i], cost[i + length] + 17);
    }
    return cost[0];
}

// The format's decoding in its plainest form: a 4096-byte ring written
// byte by byte, no length checks. The reference for SzddDecoder, which
// decodes into a linear buffer instead.
Bytes RingDecode(const Bytes& data) {
    uint8_t ring[4096];
    memset(ring, ' ', sizeof ring);
    uint32_t pos = 4096 - 16;
    Bytes out;
    size_t at = 0;
    while (at < data.size()) {
        uint32_t flags = data[at++];
        for (int item = 0; item < 8 && at < data.size(); ++item, flags >>= 1) {
            if (flags & 1) {
                out.push_back(ring[pos] = data[at++]);
                pos = (pos + 1) & 4095;
                continue;
            }
            if (data.size() - at < 2) return out;
            uint32_t from = data[at] | (data[at + 1] & 0xF0u) << 4;
            uint32_t length = (data[at + 1] & 0x0Fu) + 3;
            at += 2;
            while (length--) {
                out.push_back(ring[pos] = ring[from]);
                from = (from + 1) & 4095;
                pos = (pos + 1) & 4095;
            }
        }
    }
    return out;
}

struct PieceSink {
    Bytes bytes;
    size_t largest = 0;
};

bool AppendPiece(void* context, const uint8_t* bytes, size_t size) {
    PieceSink* sink = static_cast<PieceSink*>(context);
    sink->bytes.insert(sink->bytes.end(), bytes, bytes + size);
    if (size > sink->largest) sink->largest = size;
    return true;
}

// Expands a whole file through SzddDecoder fed piece bytes at a time, with
// what a call leaves over passed again in front of the next piece, as a
// reader of a file in blocks does.
SzddStatus ExpandInPieces(const Bytes& file, size_t piece, size_t bufferSize, PieceSink* sink) {
    SzddHeader header;
    SzddStatus status = SzddReadHeader(file.data(), file.size(), &header);
    if (status != SzddStatus::kOk) return status;
    std::vector<uint8_t> buffer(bufferSize);
    SzddDecoder decoder(header.length, buffer.data(), buffer.size(), AppendPiece, sink);
    Bytes pending;
    size_t at = kSzddHeaderSize;
    for (;;) {
        size_t take = std::min(piece, file.size() - at);
        pending.insert(pending.end(), file.begin() + static_cast<ptrdiff_t>(at),
                       file.begin() + static_cast<ptrdiff_t>(at + take));
        at += take;
        const bool last = at == file.size();
        size_t used = 0;
        status = decoder.Decode(pending.data(), pending.size(), last, &used);
        if (status != SzddStatus::kOk || last) return status;
        EXPECT_LE(pending.size() - used, SzddDecoder::kMaxLeftOver);
        pending.erase(pending.begin(), pending.begin() + static_cast<ptrdiff_t>(used));
    }
}

TEST(Szdd, RoundTripsAtEdgeSizes) {
    const size_t sizes[] = {0, 1, 2, 3, 15, 16, 17, 18, 19, 4079, 4080, 4081, 4095, 4096, 4097,
                            8192, 8193, 70000};
    for (size_t size : sizes) {
        const Bytes inputs[] = {Random(size, 1), Bytes(size, ' '), Bytes(size, 0), Words(size, 2),
                                Random(size, 3, " a")};
        for (const Bytes& input : inputs) {
            Bytes file = Compress(input);
            ASSERT_LE(file.size(), kSzddHeaderSize + input.size() + (input.size() + 7) / 8);
            Bytes back;
            SzddHeader header;
            ASSERT_EQ(Expand(file, &back, &header), SzddStatus::kOk) << size;
            EXPECT_EQ(back, input) << "size " << size;
            EXPECT_EQ(header.length, size);
        }
    }
}

TEST(Szdd, HeaderCarriesMagicModeCharacterAndLength) {
    Bytes file = Compress(Bytes(0x012345, 'q'), 'e');
    ASSERT_GE(file.size(), kSzddHeaderSize);
    EXPECT_EQ(Bytes(file.begin(), file.begin() + kSzddHeaderSize), Header(0x012345, 'A', 'e'));
    SzddHeader header;
    ASSERT_EQ(SzddReadHeader(file.data(), file.size(), &header), SzddStatus::kOk);
    EXPECT_EQ(header.replacedChar, 'e');
    EXPECT_EQ(header.length, 0x012345u);
}

// The ring starts as spaces that no output has written: leading spaces cost
// a reference, not literals, and references into that region decode as
// spaces in every reader.
TEST(Szdd, LeadingSpacesComeFromTheInitialRing) {
    Bytes file = Compress(Bytes(18, ' '));
    EXPECT_EQ(file.size(), kSzddHeaderSize + 1 + 2);  // one flag byte, one reference
    const size_t references = 4096 * 3 / 18 + 1;
    file = Compress(Bytes(4096 * 3, ' '));
    EXPECT_LE(file.size(), kSzddHeaderSize + references * 2 + references / 8 + 1);

    struct Case {
        const char* name;
        Bytes data;  // after the header
        const char* expected;
    } cases[] = {
        // ring position 0, 18 bytes: never written
        {"start of ring", {0x00, 0x00, 0x0F}, "                  "},
        // position 0xFF0, where output starts, read before it is written
        {"write position", {0x00, 0xF0, 0xF0}, "   "},
        // "a" then position 0xFF0 again: distance 1, overlapping copy
        {"overlap", {0x01, 'a', 0xF0, 0xF2}, "aaaaaa"},
        // "ab" then 0xFEF: one unwritten space, then what was just written
        {"straddles start", {0x03, 'a', 'b', 0xEF, 0xF1}, "ab ab "},
    };
    for (const Case& c : cases) {
        Bytes back;
        Bytes file2 = Concat(Header(static_cast<uint32_t>(strlen(c.expected))), c.data);
        ASSERT_EQ(Expand(file2, &back), SzddStatus::kOk) << c.name;
        EXPECT_EQ(back, Text(c.expected)) << c.name;
    }
}

// A file made by an independent compressor (Debian's mscompress).
TEST(Szdd, ExpandsAPeerFile) {
    const Bytes peer = {0x53, 0x5a, 0x44, 0x44, 0x88, 0xf0, 0x27, 0x33, 0x41, 0x00, 0x4d, 0x00,
                        0x00, 0x00, 0xff, 0x50, 0x65, 0x65, 0x72, 0x20, 0x67, 0x6f, 0x6c, 0xff,
                        0x64, 0x65, 0x6e, 0x3a, 0x20, 0x74, 0x68, 0x65, 0xff, 0x20, 0x71, 0x75,
                        0x69, 0x63, 0x6b, 0x20, 0x62, 0xff, 0x72, 0x6f, 0x77, 0x6e, 0x20, 0x66,
                        0x6f, 0x78, 0x71, 0x2c, 0xfc, 0xfd, 0x0c, 0x0d, 0x1c, 0x06, 0x21, 0x0d,
                        0x0a};
    Bytes back;
    ASSERT_EQ(Expand(peer, &back), SzddStatus::kOk);
    EXPECT_EQ(back, Text("Peer golden: the quick brown fox, the quick brown fox, the quick "
                         "brown fox!\r\n"));
}

TEST(Szdd, RefusesMalformedFiles) {
    const Bytes good = Compress(Words(3000, 4));
    Bytes longer = good;
    longer[10] += 1;  // header claims one byte more than the data gives
    Bytes shorter = good;
    shorter[10] -= 1;
    Bytes badMagic = good;
    badMagic[4] = 0x89;
    Bytes badMode = good;
    badMode[8] = 'B';
    struct Case {
        const char* name;
        Bytes file;
        SzddStatus expected;
    } cases[] = {
        {"empty", {}, SzddStatus::kTruncatedHeader},
        {"not SZDD", Text("MZ\x90"), SzddStatus::kBadMagic},
        {"magic only", Bytes(good.begin(), good.begin() + 8), SzddStatus::kTruncatedHeader},
        {"header cut", Bytes(good.begin(), good.begin() + 13), SzddStatus::kTruncatedHeader},
        {"bad magic", badMagic, SzddStatus::kBadMagic},
        {"bad mode", badMode, SzddStatus::kBadMode},
        {"bad mode, short", Concat(Bytes(good.begin(), good.begin() + 8), {'B'}),
         SzddStatus::kBadMode},
        {"header only", Bytes(good.begin(), good.begin() + 14), SzddStatus::kShortData},
        {"data cut", Bytes(good.begin(), good.end() - 5), SzddStatus::kShortData},
        {"length too large", longer, SzddStatus::kShortData},
        {"length too small", shorter, SzddStatus::kLongData},
        {"reference past length", Concat(Header(2), {0x00, 0x00, 0x00}), SzddStatus::kLongData},
        {"data after the end", Concat(good, {0xFF, 'x'}), SzddStatus::kLongData},
        {"empty file with data", Concat(Header(0), {0x01, 'x'}), SzddStatus::kLongData},
        // Bytes that add nothing: a last flag byte without items, or a
        // reference cut after its first byte. The length decides.
        {"lone flag byte", Concat(Header(0), {0x00}), SzddStatus::kOk},
        {"half reference", Concat(Header(1), {0x01, 'x', 0x00}), SzddStatus::kOk},
        {"half reference, short", Concat(Header(2), {0x01, 'x', 0x00}), SzddStatus::kShortData},
    };
    for (const Case& c : cases) {
        Bytes back;
        EXPECT_EQ(Expand(c.file, &back), c.expected) << c.name;
        // A file read in blocks is judged the same, wherever the blocks end.
        for (size_t piece : {1, 7, 17, 1000}) {
            PieceSink sink;
            EXPECT_EQ(ExpandInPieces(c.file, piece, SzddDecoder::kMinBuffer, &sink), c.expected)
                << c.name << ", pieces of " << piece;
        }
    }
}

TEST(Szdd, ReportsAWriterThatFails) {
    const Bytes input = Words(100000, 5);
    EXPECT_EQ(SzddCompress(input.data(), input.size(), 'x', Refuse, nullptr),
              SzddStatus::kWriteFailed);
    const Bytes file = Compress(input);
    EXPECT_EQ(SzddExpand(file.data(), file.size(), Refuse, nullptr, nullptr),
              SzddStatus::kWriteFailed);
}

// Arbitrary data decodes as the plain ring decoder decodes it, however the
// input is cut and whatever the buffer's size: references into the initial
// spaces, across the points where the buffer is flushed and up to the full
// ring's distance, overlapping and not.
TEST(SzddDecoder, PiecesGiveWhatTheRingGives) {
    const Bytes streams[] = {
        Random(30000, 21),                         // mostly references, all distances
        Random(30000, 22, "\xff\xfe\x7f" "ab"),  // long literal runs, long references
        Concat(Bytes(17, 0x00), Random(20000, 23)),  // starts with references to the spaces
    };
    const size_t pieces[] = {1, 16, 17, 18, 4095, 65536, 1000000};
    const size_t buffers[] = {SzddDecoder::kMinBuffer, SzddDecoder::kHistory + 4096 + 7,
                              SzddDecoder::kHistory + 256 * 1024};
    for (const Bytes& stream : streams) {
        const Bytes expected = RingDecode(stream);
        ASSERT_GT(expected.size(), 3 * 4096u);
        const Bytes file = Concat(Header(static_cast<uint32_t>(expected.size())), stream);
        for (size_t piece : pieces) {
            for (size_t buffer : buffers) {
                PieceSink sink;
                ASSERT_EQ(ExpandInPieces(file, piece, buffer, &sink), SzddStatus::kOk)
                    << "pieces of " << piece << ", buffer " << buffer;
                EXPECT_TRUE(sink.bytes == expected) << "pieces of " << piece << ", buffer " << buffer;
                EXPECT_LE(sink.largest, buffer - SzddDecoder::kHistory);
            }
        }
    }
}

TEST(SzddDecoder, ReportsAWriterThatFailsAtAnyFlush) {
    const Bytes file = Compress(Words(100000, 24));
    for (int allowed : {0, 1, 5}) {
        struct Counting {
            int left;
        } counting = {allowed};
        SzddHeader header;
        ASSERT_EQ(SzddReadHeader(file.data(), file.size(), &header), SzddStatus::kOk);
        std::vector<uint8_t> buffer(SzddDecoder::kHistory + 8192);
        SzddDecoder decoder(
            header.length, buffer.data(), buffer.size(),
            [](void* context, const uint8_t*, size_t) {
                return static_cast<Counting*>(context)->left-- > 0;
            },
            &counting);
        size_t used = 0;
        EXPECT_EQ(decoder.Decode(file.data() + kSzddHeaderSize, file.size() - kSzddHeaderSize,
                                 true, &used),
                  SzddStatus::kWriteFailed)
            << allowed << " writes allowed";
    }
}

// Parts of the input may be searched in any order and at the same time.
TEST(Szdd, OutputDoesNotDependOnHowPartsAreRun) {
    SzddRunner backwards = {[](void*, void (*job)(void*, size_t), void* argument, size_t count) {
                                for (size_t k = count; k-- > 0;) job(argument, k);
                            },
                            nullptr};
    Bytes input = Concat(Words(1500000, 6), Random(1200000, 7, "ab \r\n"));
    Bytes plain = Compress(input);
    EXPECT_EQ(Compress(input, 'x', &backwards), plain);
    Bytes back;
    ASSERT_EQ(Expand(plain, &back), SzddStatus::kOk);
    EXPECT_EQ(back, input);
}

// An encoder kept from one input to the next gives each the file a fresh
// one gives: whatever its tables still hold from earlier inputs is never
// taken for a match, after larger inputs (more parts, larger tables) and
// smaller ones, and after a compression that the writer stopped.
TEST(Szdd, ReusedEncoderGivesWhatAFreshOneGives) {
    const Bytes large = Concat(Words(1500000, 30), Random(1200000, 31, "ab \r\n"));
    const Bytes inputs[] = {Words(70000, 32),
                            {},
                            Random(1, 33),
                            Words(2, 34),
                            large,
                            Words(3000, 35),
                            Bytes(5000, 0),
                            Random(20000, 36, "ab"),
                            Words(70000, 32),
                            Bytes(3, ' ')};
    SzddEncoder encoder;
    for (const Bytes& input : inputs) {
        Bytes reused;
        ASSERT_EQ(encoder.Compress(input.data(), input.size(), 'x', Append, &reused),
                  SzddStatus::kOk);
        EXPECT_TRUE(reused == Compress(input)) << input.size() << " bytes";
        if (input.size() == large.size()) {
            EXPECT_EQ(encoder.Compress(input.data(), input.size(), 'x', Refuse, nullptr),
                      SzddStatus::kWriteFailed);
        }
    }
}

TEST(Szdd, ParseIsOptimal) {
    const Bytes inputs[] = {Random(2000, 8, "ab"), Random(2000, 9, "abcd  "), Words(2500, 10),
                            Concat(Bytes(300, ' '), Words(1500, 11)), Random(1500, 12)};
    for (const Bytes& input : inputs) {
        ItemCounts counts = CountItems(Compress(input));
        EXPECT_EQ(9 * counts.literals + 17 * counts.references, OptimalBits(input));
    }
}

// Inside repeats the encoder takes the previous position's match for the
// next and leaves positions out of its tables; repeats of every kind of
// period, up to the window's length and past it, starting among the
// initial spaces or later, still give back the input and stay within half a
// percent of the fewest bits.
TEST(Szdd, RepeatsRoundTripNearTheFewestBits) {
    const size_t periods[] = {1, 2, 17, 18, 19, 255, 256, 257, 4096, 4097};
    for (size_t period : periods) {
        const Bytes unit = Random(period, static_cast<uint32_t>(period));
        Bytes repeated;
        while (repeated.size() < 2 * period + 600)
            repeated.insert(repeated.end(), unit.begin(), unit.end());
        std::vector<Bytes> inputs = {repeated, Concat(Random(1500, 40), repeated)};
        if (period < 4096) inputs.push_back(Concat(Bytes(100, ' '), repeated));
        for (const Bytes& input : inputs) {
            const Bytes file = Compress(input);
            Bytes back;
            ASSERT_EQ(Expand(file, &back), SzddStatus::kOk) << "period " << period;
            EXPECT_TRUE(back == input) << "period " << period;
            const ItemCounts counts = CountItems(file);
            const size_t bits = 9 * counts.literals + 17 * counts.references;
            const size_t fewest = OptimalBits(input);
            EXPECT_LE(bits, fewest + fewest / 200)
                << "period " << period << ", " << input.size() << " bytes";
        }
    }
}

TEST(SzddName, ReplacesTheLastCharacter) {
    struct Case {
        const char* name;
        bool ok;
        const char* stored;
        char replaced;
    } cases[] = {
        {"Orbelo.exe", true, "Orbelo.ex_", 'e'},
        {"a", true, "_", 'a'},
        {"read_", true, "read_", '_'},
        {"\x83\x5C.txt", true, "\x83\x5C.tx_", 't'},  // "ソ.txt"
        {"x.\xB1", true, "x._", '\xB1'},               // half-width katakana: one byte
        {"", false, "", 0},
        {"\x83\x5C", false, "", 0},  // "ソ": double-byte, the header keeps one byte
        {"a\x95\x5C", false, "", 0},  // "a表"
    };
    for (const Case& c : cases) {
        ByteString stored;
        char replaced = 0;
        ASSERT_EQ(MakeUnderscoreName(c.name, &stored, &replaced), c.ok) << c.name;
        if (!c.ok) continue;
        EXPECT_EQ(stored, c.stored);
        EXPECT_EQ(replaced, c.replaced);
        ByteString back;
        ASSERT_TRUE(RestoreUnderscoreName(stored.c_str(), replaced, &back)) << c.name;
        EXPECT_EQ(back, c.name);
    }
}

TEST(SzddName, RestoresOnlyWhatCanBeAFileName) {
    struct Case {
        const char* stored;
        char replaced;
        const char* expected;  // nullptr: refused
    } cases[] = {
        {"Orbelo.ex_", 'e', "Orbelo.exe"},
        {"readme.txt_", 0, "readme.txt"},  // appended "_", no character recorded
        {"a._", '\xB1', "a.\xB1"},
        {"_", 0, nullptr},
        {"abc", 'c', nullptr},
        {"", 'c', nullptr},
        {"\x83_", 'e', nullptr},  // 0x83 0x5F is one double-byte character
        {"a._", '/', nullptr},
        {"a._", '\\', nullptr},
        {"a._", ':', nullptr},
        {"a._", '*', nullptr},
        {"a._", '?', nullptr},
        {"a._", '"', nullptr},
        {"a._", '<', nullptr},
        {"a._", '>', nullptr},
        {"a._", '|', nullptr},
        {"a._", '.', nullptr},
        {"a._", ' ', nullptr},
        {"a._", '\x01', nullptr},
        {"a._", '\x81', nullptr},  // a lead byte alone
        {"a._", '\x80', nullptr},
    };
    for (const Case& c : cases) {
        ByteString name("unchanged");
        bool ok = RestoreUnderscoreName(c.stored, c.replaced, &name);
        EXPECT_EQ(ok, c.expected != nullptr) << c.stored << " " << int(c.replaced);
        if (ok && c.expected) {
            EXPECT_EQ(name, c.expected);
        }
    }
}

}  // namespace
