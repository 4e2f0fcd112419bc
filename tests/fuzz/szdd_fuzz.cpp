// Fuzzes the SZDD decoder with arbitrary files, and checks on the same bytes
// that compressing them and expanding the result gives them back, that an
// encoder reused across inputs compresses them as a fresh one does, and that
// their underscore name turns back into the name.
#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include <vector>

#include "package/szdd.h"

namespace {

bool Append(void* context, const uint8_t* bytes, size_t size) {
    auto* out = static_cast<std::vector<uint8_t>*>(context);
    out->insert(out->end(), bytes, bytes + size);
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t> expanded;
    SzddHeader header;
    SzddStatus status = SzddExpand(data, size, Append, &expanded, &header);
    if (status == SzddStatus::kOk && expanded.size() != header.length) __builtin_trap();
    if (status == SzddStatus::kOk && size < kSzddHeaderSize) __builtin_trap();

    // The same file fed in pieces, as the installer reads it in blocks, is
    // judged the same and gives the same bytes.
    if (size >= kSzddHeaderSize && SzddReadHeader(data, size, &header) == SzddStatus::kOk) {
        const size_t piece = 1 + data[size - 1] % 40;
        uint8_t buffer[SzddDecoder::kMinBuffer];
        std::vector<uint8_t> pieces;
        SzddDecoder decoder(header.length, buffer, sizeof buffer, Append, &pieces);
        std::vector<uint8_t> pending;
        size_t at = kSzddHeaderSize;
        SzddStatus pieceStatus;
        for (;;) {
            const size_t take = size - at < piece ? size - at : piece;
            pending.insert(pending.end(), data + at, data + at + take);
            at += take;
            size_t used = 0;
            pieceStatus = decoder.Decode(pending.data(), pending.size(), at == size, &used);
            if (pieceStatus != SzddStatus::kOk || at == size) break;
            pending.erase(pending.begin(), pending.begin() + static_cast<ptrdiff_t>(used));
        }
        if (pieceStatus != status) __builtin_trap();
        if (status == SzddStatus::kOk && pieces != expanded) __builtin_trap();
    }

    std::vector<uint8_t> compressed;
    if (SzddCompress(data, size, 'x', Append, &compressed) != SzddStatus::kOk) __builtin_trap();
    // An encoder kept from one input to the next, as mkpackage keeps one per
    // thread, gives the same file as a fresh one whatever came before.
    static SzddEncoder encoder;
    std::vector<uint8_t> reused;
    if (encoder.Compress(data, size, 'x', Append, &reused) != SzddStatus::kOk ||
        reused != compressed)
        __builtin_trap();
    if (compressed.size() > kSzddHeaderSize + size + (size + 7) / 8) __builtin_trap();
    std::vector<uint8_t> back;
    if (SzddExpand(compressed.data(), compressed.size(), Append, &back, nullptr) !=
            SzddStatus::kOk ||
        back.size() != size || (size && memcmp(back.data(), data, size) != 0))
        __builtin_trap();

    // The name is the bytes up to the first zero.
    ByteString bytes(reinterpret_cast<const char*>(data), size);
    ByteString name(bytes.c_str());
    ByteString stored, restored;
    char replaced;
    if (MakeUnderscoreName(name.c_str(), &stored, &replaced) &&
        RestoreUnderscoreName(stored.c_str(), replaced, &restored) && restored != name)
        __builtin_trap();
    return 0;
}
