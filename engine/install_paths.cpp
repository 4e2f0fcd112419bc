#include "engine/install_paths.h"

ByteString WithTrailingBackslash(const char* path) {
    ByteString result(path);
    if (!result.IsEmpty() && !EndsWithBackslash(path)) result.Append('\\');
    return result;
}

ByteString WithoutTrailingBackslash(const char* path) {
    ByteString result(path);
    if (EndsWithBackslash(path)) result.Truncate(result.Length() - 1);
    return result;
}

ByteString FormatDirTemplate(const char* format, const char* directory) {
    ByteString result;
    bool directoryUsed = false;
    const char* p = format;
    while (*p) {
        size_t step = CharLength932(p);
        if (step == 1 && p[0] == '%' && p[1] == '%') {
            result.Append('%');
            p += 2;
        } else if (step == 1 && p[0] == '%' && p[1] == 's' && !directoryUsed) {
            result.Append(directory);
            directoryUsed = true;
            p += 2;
        } else {
            result.Append(p, step);
            p += step;
        }
    }
    return result;
}

ByteString BuildUninstallCommand(const char* installDir, const char* program,
                                 const char* argsFormat) {
    ByteString command("\"");
    command.Append(installDir);
    command.Append(program);
    command.Append("\" ");
    ByteString directory = WithoutTrailingBackslash(installDir);
    command.Append(FormatDirTemplate(argsFormat, directory.c_str()));
    return command;
}
