// Fuzzes the command-line splitter, the switch parser and the module-name rule.
#include <stddef.h>
#include <stdint.h>

#include "app/command_line.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ByteString text(reinterpret_cast<const char*>(data), size);
    StringList arguments;
    SplitCommandLine(text.c_str(), arguments);
    SetupCommandLine parser;
    for (size_t i = 1; i < arguments.Count(); ++i) parser.ParseArgument(arguments[i].c_str());
    if (parser.InstallDir.Length() > kMaxDirectoryLength) __builtin_trap();
    ModuleNameRule rule = ApplyModuleNameRule(text.c_str());
    if (rule.InstallDir.Length() > text.Length()) __builtin_trap();
    return 0;
}
