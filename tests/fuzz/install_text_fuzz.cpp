// Fuzzes the texts that the file installation builds from script data: the
// directory templates, the WININIT [Rename] edit, the underscore name and the
// destination prefixes.
#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include "engine/file_install.h"
#include "engine/install_paths.h"
#include "engine/wininit.h"
#include "package/copy_progress.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The first zero byte splits the input into a template (or an INI text)
    // and a directory (or a path).
    const char* bytes = reinterpret_cast<const char*>(data);
    const void* zero = memchr(bytes, 0, size);
    size_t split = zero ? static_cast<size_t>(static_cast<const char*>(zero) - bytes) : size;
    ByteString first(bytes, split);
    ByteString rest(split < size ? bytes + split + 1 : "", split < size ? size - split - 1 : 0);
    ByteString second(rest.c_str());  // up to a further zero byte

    ByteString formatted = FormatDirTemplate(first.c_str(), second.c_str());
    // Expansion adds at most the directory once; "%%" only shrinks.
    if (formatted.Length() > first.Length() + second.Length()) __builtin_trap();
    if (!strchr(first.c_str(), '%') && formatted != first) __builtin_trap();

    ByteString command = BuildUninstallCommand(second.c_str(), "u.exe", first.c_str());
    if (command.Length() < second.Length() + 6) __builtin_trap();

    ByteString updated;
    if (AddRenameDeletion(bytes, split, second.c_str(), &updated)) {
        // The old text survives: the new line is only ever inserted.
        if (updated.Length() < split + second.Length() + 6) __builtin_trap();
    }

    ByteString underscore = UnderscoreName(first.c_str());
    if (underscore.Length() > first.Length()) __builtin_trap();
    StringList prefixes = DestinationPrefixes(first.c_str());
    for (size_t i = 0; i < prefixes.Count(); ++i) {
        if (prefixes[i].Length() >= first.Length()) __builtin_trap();
    }
    return 0;
}
