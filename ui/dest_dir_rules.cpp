#include "ui/dest_dir_rules.h"

#include "base/path_text.h"
#include "res/resource.h"

namespace {

bool IsBackslashAt(const char* p) { return CharLength932(p) == 1 && *p == '\\'; }

}  // namespace

ByteString NormalizeInstallDir(const char* editText) {
    ByteString dir = TrimSpaces(editText);
    EnsureTrailingBackslash(dir);
    return dir;
}

bool HasDriveRoot(const ByteString& dir) {
    return dir.Length() >= 3 && dir[1] == ':' && dir[2] == '\\';
}

DriveSplit SplitDrive(const ByteString& dir) {
    DriveSplit split;
    split.drive = dir.Left(2);
    split.directory = dir.Mid(2);
    return split;
}

bool IsMalformedDirectoryPart(const char* directory) {
    bool previousBackslash = false;
    for (const char* p = directory; *p; p += CharLength932(p)) {
        bool backslash = IsBackslashAt(p);
        if (backslash && previousBackslash) return true;
        previousBackslash = backslash;
    }
    StringList components;
    SplitComponents(directory, components);
    for (size_t i = 0; i < components.Count(); ++i) {
        if (components[i] == "." || components[i] == "..") return true;
    }
    return false;
}

uint64_t FreeKilobytes(uint32_t sectorsPerCluster, uint32_t bytesPerSector,
                       uint32_t freeClusters) {
    uint64_t clusterBytes = static_cast<uint64_t>(sectorsPerCluster) * bytesPerSector;
    uint64_t freeBytes = 0;
    if (__builtin_mul_overflow(clusterBytes, static_cast<uint64_t>(freeClusters), &freeBytes)) {
        freeBytes = UINT64_MAX;
    }
    return freeBytes / 1024;
}

bool HasEnoughSpace(uint64_t freeKilobytes, uint32_t needBytes) {
    return freeKilobytes > needBytes / 1024u;
}

void SplitComponents(const char* directory, StringList& components) {
    components.Clear();
    const char* runStart = directory;
    const char* p = directory;
    for (;;) {
        if (!*p || IsBackslashAt(p)) {
            if (p > runStart) components.Add(ByteString(runStart, static_cast<size_t>(p - runStart)));
            if (!*p) break;
            runStart = p + 1;
        }
        p += CharLength932(p);
    }
}

ByteString ShownDirectory(const ByteString& installDir) {
    if (installDir.Length() > 3 && EndsWithBackslash(installDir.c_str())) {
        return installDir.Left(installDir.Length() - 1);
    }
    return installDir;
}

ByteString CombineBrowsedPath(const char* chosenFolder, const char* editText) {
    ByteString joined(chosenFolder);
    int slash = MbFindLast(editText, '\\');
    if (slash >= 0) {
        joined.Append(editText + slash);
    } else if (*editText) {
        // A bare name typed without any backslash still goes under the
        // chosen folder rather than being glued to its last level.
        joined.Append('\\');
        joined.Append(editText);
    }
    ByteString result;
    bool previousBackslash = false;
    for (const char* p = joined.c_str(); *p; p += CharLength932(p)) {
        bool backslash = IsBackslashAt(p);
        if (!(backslash && previousBackslash)) result.Append(p, CharLength932(p));
        previousBackslash = backslash;
    }
    return result;
}

ByteString FormatDialogText(const char* format, const char* argument) {
    ByteString text;
    for (const char* p = format; *p;) {
        size_t step = CharLength932(p);
        if (step == 1 && p[0] == '%' && p[1] == 's') {
            text.Append(argument);
            p += 2;
        } else if (step == 1 && p[0] == '%' && p[1] == '%') {
            text.Append('%');
            p += 2;
        } else {
            text.Append(p, step);
            p += step;
        }
    }
    return text;
}

DestDirVerdict ValidateDestDir(const char* editText, uint32_t needBytes, DestDirOps& ops) {
    DestDirVerdict verdict;
    verdict.installDir = NormalizeInstallDir(editText);
    const ByteString& dir = verdict.installDir;

    if (!HasDriveRoot(dir)) {
        verdict.message = IDS_NOT_ABSOLUTE;
        return verdict;
    }
    DriveSplit split = SplitDrive(dir);
    ByteString root = split.drive;
    root.Append('\\');
    if (!ops.EnterDirectory(root.c_str())) {
        verdict.message = IDS_BAD_VOLUME;
        return verdict;
    }
    if (IsMalformedDirectoryPart(split.directory.c_str())) {
        verdict.message = IDS_BAD_DIRECTORY;
        return verdict;
    }
    if (!HasEnoughSpace(ops.CurrentVolumeFreeKilobytes(), needBytes)) {
        verdict.message = IDS_NO_SPACE;
        return verdict;
    }
    // The directory later goes into 260-byte buffers (the browser's selection,
    // the registry read-back, path joins of the copy); refuse it before any
    // level is created rather than install somewhere that cannot be named.
    if (dir.Length() > kMaxDirectoryLength) {
        verdict.message = IDS_CANNOT_CREATE_DIR;
        return verdict;
    }

    StringList components;
    SplitComponents(split.directory.c_str(), components);
    ByteString chain;
    ByteString level = root;
    StringList made;  // absolute paths of the levels made here, outermost first
    bool entered = true;
    for (size_t i = 0; i < components.Count() && entered; ++i) {
        const char* name = components[i].c_str();
        if (i > 0) level.Append('\\');
        level.Append(components[i]);
        if (ops.EnterDirectory(name)) continue;
        if (ops.MakeDirectory(name)) {
            made.Add(level);
            chain.Append(components[i]);
            chain.Append('\\');
        }
        entered = ops.EnterDirectory(name);
    }
    if (entered) entered = ops.EnterDirectory(dir.c_str());
    if (!entered) {
        verdict.message = IDS_CANNOT_CREATE_DIR;
        // Out of the levels first: a directory that is current cannot go.
        ops.EnterDirectory(root.c_str());
        for (size_t i = made.Count(); i > 0; --i) ops.RemoveLevel(made[i - 1].c_str());
        return verdict;
    }
    // The chain ends in a backslash of our own, never in a trail byte.
    if (!chain.IsEmpty()) chain.Truncate(chain.Length() - 1);
    verdict.createdChain = chain;
    return verdict;
}
