#include "app/uninstall_command.h"

namespace {

// Byte position of the first "-p" that begins an argument, or -1.
int FindPathSwitch(const char* command) {
    for (int at = MbFindText(command, "-p"); at >= 0; at = MbFindText(command, "-p", at + 1)) {
        if (at > 0 && (command[at - 1] == ' ' || command[at - 1] == '\t')) return at;
    }
    return -1;
}

// Byte length of the first `characters` characters of text (fewer when it
// is shorter); a double-byte character counts as one.
size_t CharacterBytes(const char* text, size_t characters) {
    size_t bytes = 0;
    for (size_t i = 0; i < characters && text[bytes]; ++i) bytes += CharLength932(text + bytes);
    return bytes;
}

// The quoted form: the path is what the quotes hold, whatever blanks, dots or
// "-p" it contains. A quote (0x22) is never the trail byte of a double-byte
// character, but the search is multibyte-aware like every other.
UninstallCommand SplitQuotedCommand(const char* command) {
    UninstallCommand result;
    int close = MbFind(command, '"', 1);
    if (close < 0) return result;
    result.PassArguments = true;
    result.ProgramPath = ByteString(command + 1, static_cast<size_t>(close) - 1);
    const char* rest = command + close + 1;
    while (*rest == ' ') ++rest;
    result.Arguments = rest;
    return result;
}

// The unquoted form of earlier versions, cut where they cut it.
UninstallCommand SplitUnquotedCommand(const char* command) {
    UninstallCommand result;
    int pathSwitch = FindPathSwitch(command);
    if (pathSwitch < 0) {
        result.ProgramPath = command;
        return result;
    }
    result.PassArguments = true;
    ByteString before(command, static_cast<size_t>(pathSwitch));
    int dot = MbFindLast(before.c_str(), '.');
    size_t start = dot < 0 ? 0 : static_cast<size_t>(dot) + 1;
    size_t keep = start + CharacterBytes(before.c_str() + start, 3);
    result.ProgramPath = before.Left(keep);
    const char* rest = command + result.ProgramPath.Length();
    while (*rest == ' ') ++rest;
    result.Arguments = rest;
    return result;
}

}  // namespace

UninstallCommand SplitUninstallCommand(const char* command) {
    UninstallCommand result =
        command[0] == '"' ? SplitQuotedCommand(command) : SplitUnquotedCommand(command);
    int slash = MbFindLast(result.ProgramPath.c_str(), '\\');
    result.Directory =
        slash < 0 ? result.ProgramPath : result.ProgramPath.Left(static_cast<size_t>(slash) + 1);
    return result;
}

bool NamesProgramFile(const UninstallCommand& command) {
    int slash = MbFindLast(command.ProgramPath.c_str(), '\\');
    return slash >= 0 && static_cast<size_t>(slash) + 1 < command.ProgramPath.Length();
}

bool BuildUninstallerCommandLine(const UninstallCommand& command,
                                 char (&buffer)[kUninstallCommandSize]) {
    ByteString line("\"");
    line.Append(command.ProgramPath);
    line.Append("\" ");
    line.Append(command.Arguments);
    return CopyToBuffer(buffer, sizeof buffer, line.c_str());
}
