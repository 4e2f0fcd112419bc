// Fuzzes the destination directory rules with arbitrary typed text: the
// multibyte walks must stay inside the string, and the validation must keep
// its promises whatever the file system answers.
#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include "ui/dest_dir_rules.h"

namespace {

// A volume whose answers come from the input itself.
class ScriptedOps : public DestDirOps {
public:
    ScriptedOps(const uint8_t* answers, size_t count) : answers_(answers), count_(count) {}
    bool EnterDirectory(const char*) override { return Next() & 1; }
    bool MakeDirectory(const char*) override {
        bool ok = Next() & 2;
        if (ok) ++made;
        return ok;
    }
    void RemoveLevel(const char*) override { ++removed; }
    uint64_t CurrentVolumeFreeKilobytes() override { return static_cast<uint64_t>(Next()) << 20; }
    int made = 0;
    int removed = 0;

private:
    uint8_t Next() { return index_ < count_ ? answers_[index_++] : 1; }
    const uint8_t* answers_;
    size_t count_;
    size_t index_ = 0;
};

bool HasDoubleBackslash(const char* s) {
    bool previous = false;
    for (const char* p = s; *p; p += CharLength932(p)) {
        bool backslash = CharLength932(p) == 1 && *p == '\\';
        if (backslash && previous) return true;
        previous = backslash;
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    size_t split = size ? data[0] % (size + 1) : 0;
    ByteString first(reinterpret_cast<const char*>(data), split);
    ByteString second(reinterpret_cast<const char*>(data) + split, size - split);
    const char* a = first.c_str();
    const char* b = second.c_str();

    ByteString shown = ShownDirectory(ByteString(a));
    if (shown.Length() > strlen(a) || memcmp(shown.c_str(), a, shown.Length()) != 0) __builtin_trap();

    ByteString combined = CombineBrowsedPath(a, b);
    if (HasDoubleBackslash(combined.c_str())) __builtin_trap();

    StringList components;
    SplitComponents(a, components);
    for (size_t i = 0; i < components.Count(); ++i) {
        if (components[i].IsEmpty() || MbFind(components[i].c_str(), '\\') >= 0) __builtin_trap();
    }
    IsMalformedDirectoryPart(a);
    FormatDialogText(a, b);

    ScriptedOps ops(reinterpret_cast<const uint8_t*>(b), strlen(b));
    DestDirVerdict verdict = ValidateDestDir(a, static_cast<uint32_t>(size) << 10, ops);
    if (verdict.message == 0 && verdict.installDir.Length() > kPathBufferSize - 1) __builtin_trap();
    if (!verdict.createdChain.IsEmpty() && verdict.installDir.Length() > kPathBufferSize - 1) __builtin_trap();
    if (verdict.createdChain.IsEmpty() != (ops.made == 0) && verdict.message == 0) __builtin_trap();
    // A refused attempt keeps nothing that it made, and records nothing.
    if (verdict.message != 0 && (ops.removed != ops.made || !verdict.createdChain.IsEmpty()))
        __builtin_trap();
    if (verdict.message == 0 && ops.removed != 0) __builtin_trap();
    return 0;
}
