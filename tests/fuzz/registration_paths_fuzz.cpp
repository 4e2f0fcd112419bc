// Fuzzes the path arithmetic of the registration, whose inputs are script
// data and registry values: the Install key chains and their climb, the
// [UnInstall] item split, the program folder levels and the desktop icon
// fields.
#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include "engine/program_folder_rules.h"
#include "engine/registry_chain.h"

namespace {

bool StartsWith(const ByteString& text, const ByteString& prefix) {
    return text.Length() >= prefix.Length() &&
           memcmp(text.c_str(), prefix.c_str(), prefix.Length()) == 0;
}

bool EndsWith(const ByteString& text, const ByteString& suffix) {
    return text.Length() >= suffix.Length() &&
           memcmp(text.c_str() + text.Length() - suffix.Length(), suffix.c_str(),
                  suffix.Length()) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The first zero byte splits the input into a key or folder path and a
    // recorded chain (or an icon entry).
    const char* bytes = reinterpret_cast<const char*>(data);
    const void* zero = memchr(bytes, 0, size);
    size_t split = zero ? static_cast<size_t>(static_cast<const char*>(zero) - bytes) : size;
    ByteString first(bytes, split);
    ByteString rest(split < size ? bytes + split + 1 : "", split < size ? size - split - 1 : 0);
    ByteString second(rest.c_str());

    int count = KeyPrefixCount(first.c_str());
    for (int i = -1; i <= count; ++i) {
        ByteString prefix = KeyPrefix(first.c_str(), i);
        if (!StartsWith(first, prefix)) __builtin_trap();
        // The created chain is always a tail of the key path.
        if (!EndsWith(first, CreatedKeyChain(first.c_str(), i))) __builtin_trap();
    }

    // The climb only lists the key and its parents, each a prefix of the
    // one before, and never more keys than the chain names.
    StringList climb = KeysToClimb(first.c_str(), second.c_str());
    if (climb.Count() > static_cast<size_t>(KeyPrefixCount(second.c_str()))) __builtin_trap();
    for (size_t i = 0; i < climb.Count(); ++i) {
        if (!StartsWith(i == 0 ? first : climb[i - 1], climb[i])) __builtin_trap();
        if (climb[i].Length() == 0) __builtin_trap();
    }

    ByteString parent, leaf;
    if (SplitKeyItem(first.c_str(), &parent, &leaf)) {
        if (parent.IsEmpty() || leaf.IsEmpty()) __builtin_trap();
        if (parent.Length() + leaf.Length() + 1 > first.Length()) __builtin_trap();
    }

    StringList made = FolderCreationPaths("P\\", first.c_str());
    StringList removed = FolderRemovalPaths("P\\", first.c_str());
    if (!first.IsEmpty() && (made.Count() == 0 || removed.Count() == 0)) __builtin_trap();
    for (size_t i = 0; i < removed.Count(); ++i) {
        if (!StartsWith(removed[i], "P\\") || removed[i].Length() <= 2) __builtin_trap();
    }

    ShortcutLink link;
    if (DesktopShortcut(first.c_str(), "D", second.c_str(), &link)) {
        if (!EndsWith(link.linkPath, ".lnk") || !StartsWith(link.target, second)) __builtin_trap();
    }
    return 0;
}
