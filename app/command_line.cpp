#include "app/command_line.h"

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

void SplitCommandLine(const char* commandLine, StringList& arguments) {
    arguments.Clear();
    const char* p = commandLine ? commandLine : "";

    // The program name: quotes group, nothing is escaped.
    ByteString program;
    bool inQuote = false;
    while (*p) {
        if (*p == '"') {
            inQuote = !inQuote;
            ++p;
            continue;
        }
        if (!inQuote && IsBlank(*p)) break;
        size_t step = CharLength932(p);
        program.Append(p, step);
        p += step;
    }
    arguments.Add(program);

    for (;;) {
        while (IsBlank(*p)) ++p;
        if (!*p) break;
        ByteString argument;
        inQuote = false;
        for (;;) {
            bool copyChar = true;
            size_t slashes = 0;
            while (*p == '\\') {
                ++p;
                ++slashes;
            }
            if (*p == '"') {
                if (slashes % 2 == 0) {
                    if (inQuote && p[1] == '"') {
                        ++p;  // "" inside quotes: one literal quote
                    } else {
                        copyChar = false;
                        inQuote = !inQuote;
                    }
                }
                slashes /= 2;
            }
            while (slashes--) argument.Append('\\');
            if (!*p || (!inQuote && IsBlank(*p))) break;
            if (copyChar) {
                size_t step = CharLength932(p);
                argument.Append(p, step);
                p += step;
            } else {
                ++p;
            }
        }
        arguments.Add(argument);
    }
}

void SetupCommandLine::ParseArgument(const char* argument) {
    if (argument[0] == '-' || argument[0] == '/') {
        PathPending = false;
        switch (argument[1]) {
            case 'u': UninstallMode = true; break;
            case 's': SilentMode = true; break;
            case 'p': PathPending = true; break;
            case 'c': HandlePending = true; break;
            default: break;
        }
        return;
    }
    if (PathPending) {
        InstallDir = TrimSpaces(argument);
        EnsureTrailingBackslash(InstallDir);
        HasInstallDir = InstallDir.Length() <= kMaxDirectoryLength;
        if (!HasInstallDir) InstallDir.Clear();
        return;
    }
    if (HandlePending) ParentProcess = ParseLong(argument);
}

ByteString DirectoryOf(const char* path) {
    int slash = MbFindLast(path, '\\');
    if (slash < 0) return ByteString();
    return TrimSpaces(ByteString(path, static_cast<size_t>(slash) + 1).c_str());
}

ModuleNameRule ApplyModuleNameRule(const char* modulePath) {
    ModuleNameRule rule;
    int slash = MbFindLast(modulePath, '\\');
    ByteString name = MbToLower(modulePath + (slash + 1));
    int match = MbFindText(name.c_str(), "uninst.exe");
    if (match < 0) return rule;
    rule.StartedAsUninst = true;
    rule.Silent = MbFindText(name.c_str(), " -s", match + 1) >= 0;
    rule.InstallDir = DirectoryOf(modulePath);
    return rule;
}
