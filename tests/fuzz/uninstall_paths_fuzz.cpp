// Fuzzes what the uninstallation derives from stored data: the registered
// uninstall command (registry), the [Source] names and the recorded chain of
// created directories. The derived paths never reach beyond their inputs.
#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include "app/relaunch_command.h"
#include "app/uninstall_command.h"
#include "engine/uninstall_rules.h"
#include "package/relative_name.h"

namespace {

bool StartsWith(const ByteString& text, const ByteString& prefix) {
    return prefix.Length() <= text.Length() &&
           memcmp(text.c_str(), prefix.c_str(), prefix.Length()) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ByteString text(reinterpret_cast<const char*>(data), size);
    const char* input = text.c_str();

    UninstallCommand command = SplitUninstallCommand(input);
    // The path is the command's beginning, or in the quoted form what follows
    // the quote.
    const char* pathStart = input[0] == '"' ? input + 1 : input;
    if (!StartsWith(ByteString(pathStart), command.ProgramPath)) __builtin_trap();
    if (!StartsWith(command.ProgramPath, command.Directory)) __builtin_trap();
    char line[kUninstallCommandSize];
    if (BuildUninstallerCommandLine(command, line) && strlen(line) >= sizeof line) __builtin_trap();

    // Lines of the input as [Source] names; the first line as the chain.
    StringList names;
    const char* start = input;
    for (const char* p = input;; ++p) {
        if (*p == '\n' || *p == '\0') {
            names.Add(ByteString(start, static_cast<size_t>(p - start)));
            if (*p == '\0') break;
            start = p + 1;
        }
    }
    // The name rule reads each name to its end and no further.
    for (size_t i = 0; i < names.Count(); ++i) FindNameEscape(names[i].c_str());
    StringList subdirectories = UninstallSubdirectories(names);
    for (size_t i = 0; i < subdirectories.Count(); ++i) {
        if (subdirectories[i].IsEmpty()) __builtin_trap();
        if (subdirectories.IndexOf(subdirectories[i].c_str()) != static_cast<int>(i))
            __builtin_trap();
    }
    const char* chain = names[0].c_str();
    StringList climb = ClimbDirectories(input, chain);
    if (climb.Count() > static_cast<size_t>(CreatedLevelCount(chain))) __builtin_trap();
    for (size_t i = 0; i < climb.Count(); ++i) {
        if (!StartsWith(ByteString(input), climb[i])) __builtin_trap();
        if (MbFind(climb[i].c_str(), '\\') < 0) __builtin_trap();  // never a bare drive
    }

    char relaunch[kRelaunchCommandSize];
    if (BuildRelaunchCommand(input, chain, 1234, relaunch) && strlen(relaunch) >= sizeof relaunch)
        __builtin_trap();
    return 0;
}
