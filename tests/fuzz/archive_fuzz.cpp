// Fuzzes the archive reader. An input that begins with "MZ" is taken as the
// whole executable; any other input is appended to a minimal image, so that
// most inputs reach the archive header rather than the PE checks.
#include <stddef.h>
#include <stdint.h>

#include <string>

#include "package/archive.h"
#include "tests/support/pe_image.h"

namespace {

// Checks the order of the calls and what they carry, and keeps nothing.
class CheckingSink : public ExtractSink {
public:
    void Prepare() override {
        if (prepared_) __builtin_trap();
        prepared_ = true;
    }
    bool Create(const char* name) override {
        std::string text(name);
        if (!prepared_ || open_ || !IsBareEntryName(text.data(), text.size())) __builtin_trap();
        open_ = true;
        written_ = false;
        return true;
    }
    bool Write(const void*, size_t size) override {
        if (!open_ || written_) __builtin_trap();
        written_ = true;
        total += size;
        return true;
    }
    bool Stamp(int32_t) override {
        if (!open_ || !written_) __builtin_trap();
        return true;
    }
    bool Finish() override {
        if (!open_) __builtin_trap();
        open_ = false;
        ++files;
        return true;
    }
    void Discard() override { __builtin_trap(); }  // nothing here fails

    size_t total = 0;
    size_t files = 0;

private:
    bool prepared_ = false;
    bool open_ = false;
    bool written_ = false;
};

bool IsDetailCode(int code) {
    static const int kCodes[] = {0,   1,   2,   100, 101, 102, 103, 104, 105, 106, 107,
                                 108, 109, 110, 200, 201, 202, 203, 300, 302, 303, 304,
                                 305, 400, 401, 403, 404, 405, 412, 413};
    for (int known : kCodes) {
        if (code == known) return true;
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string file(reinterpret_cast<const char*>(data), size);
    if (size < 2 || data[0] != 'M' || data[1] != 'Z') file = MinimalImage() + file;
    MemorySource source(file.data(), file.size());
    CheckingSink sink;
    ArchiveOutcome outcome;
    int code = ExtractArchive(source, sink, &outcome);
    if (!IsDetailCode(code)) __builtin_trap();
    if ((code == kArchiveOk) == (outcome == ArchiveOutcome::kFailed)) __builtin_trap();
    // Every byte handed out was in the file: the image once, each entry once.
    if (sink.total > 2 * file.size()) __builtin_trap();
    if (outcome == ArchiveOutcome::kExtracted && sink.files == 0) __builtin_trap();
    return 0;
}
