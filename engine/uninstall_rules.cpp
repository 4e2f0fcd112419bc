#include "engine/uninstall_rules.h"

#include "engine/install_paths.h"

StringList UninstallSubdirectories(const StringList& copyList) {
    StringList directories;
    for (size_t i = 0; i < copyList.Count(); ++i) {
        ByteString prefix = copyList[i];
        for (int slash = MbFindLast(prefix.c_str(), '\\'); slash > 0;
             slash = MbFindLast(prefix.c_str(), '\\')) {
            prefix.Truncate(static_cast<size_t>(slash));
            if (directories.IndexOf(prefix.c_str()) < 0) directories.Add(prefix);
        }
    }
    return directories;
}

ByteString PatternDirectory(const char* pattern) {
    int slash = MbFindLast(pattern, '\\');
    return slash < 0 ? ByteString() : ByteString(pattern, static_cast<size_t>(slash) + 1);
}

int CreatedLevelCount(const char* createdChain) {
    int levels = 0;
    bool inName = false;
    for (const char* p = createdChain; *p; p += CharLength932(p)) {
        bool separator = CharLength932(p) == 1 && *p == '\\';
        if (!separator && !inName) ++levels;
        inName = !separator;
    }
    return levels;
}

StringList ClimbDirectories(const char* installDir, const char* createdChain) {
    StringList created;
    ByteString level;
    for (const char* p = createdChain;; p += CharLength932(p)) {
        if (!*p || (CharLength932(p) == 1 && *p == '\\')) {
            if (!level.IsEmpty()) created.Add(level);
            level.Clear();
            if (!*p) break;
        } else {
            level.Append(p, CharLength932(p));
        }
    }

    StringList directories;
    ByteString directory = WithoutTrailingBackslash(installDir);
    for (size_t i = created.Count(); i > 0; --i) {
        int slash = MbFindLast(directory.c_str(), '\\');
        // The level left of the first backslash is the drive.
        if (slash < 0) return StringList();
        ByteString name = directory.Mid(static_cast<size_t>(slash) + 1);
        if (MbToLower(name.c_str()) != MbToLower(created[i - 1].c_str())) return StringList();
        directories.Add(directory);
        directory.Truncate(static_cast<size_t>(slash));
    }
    return directories;
}
