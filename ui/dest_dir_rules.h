// The rules of the destination directory: what a typed directory must look
// like, how it is created level by level, and the texts the dialog shows.
// Code page 932 byte strings throughout; every search for "\" skips trail
// bytes.
#pragma once

#include <stdint.h>

#include "base/text.h"

// Size of the platform's path buffers in bytes, terminating zero included.
constexpr size_t kPathBufferSize = 260;

// The directory as the OK button takes it: trimmed of white space at both
// ends, with a backslash appended unless its last character is one.
ByteString NormalizeInstallDir(const char* editText);

// True when bytes 1 and 2 are ":\" (so "C:\..." passes, a relative path or a
// UNC path does not).
bool HasDriveRoot(const ByteString& dir);

// "C:" and "\dir\sub\" of "C:\dir\sub\". Only meaningful when HasDriveRoot.
struct DriveSplit {
    ByteString drive;
    ByteString directory;
};
DriveSplit SplitDrive(const ByteString& dir);

// True when the directory part cannot name a directory of its own: two
// backslashes in a row, or a "." or ".." level, which would make the chain of
// created levels differ from the levels that the uninstaller counts back.
bool IsMalformedDirectoryPart(const char* directory);

// Free kilobytes of a volume from the GetDiskFreeSpace figures, in 64 bits
// (saturating instead of wrapping for absurd figures).
uint64_t FreeKilobytes(uint32_t sectorsPerCluster, uint32_t bytesPerSector,
                       uint32_t freeClusters);

// The free-space rule: the volume is big enough when its free kilobytes are
// above the need in whole kilobytes (needBytes / 1024, rounded down).
bool HasEnoughSpace(uint64_t freeKilobytes, uint32_t needBytes);

// The levels of a directory part: the byte runs between backslashes, empty
// runs skipped ("\a\\b\" gives a, b).
void SplitComponents(const char* directory, StringList& components);

// The text that stands for a directory on screen: without its trailing
// backslash, except for a drive root such as "C:\", which keeps it.
ByteString ShownDirectory(const ByteString& installDir);

// The folder browser's result combined with the edit text: the chosen folder
// followed by the edit text from its last backslash on (the whole text when
// it has none, then joined with one backslash), with runs of backslashes
// collapsed to one. So C:\ and "C:\Program Files\Orbelo" give "C:\Orbelo".
ByteString CombineBrowsedPath(const char* chosenFolder, const char* editText);

// A dialog text used as a format: each "%s" is replaced by argument and "%%"
// by "%"; everything else, argument included, is copied as it stands, so a
// "%" inside the product name or a path is never read as a format.
ByteString FormatDialogText(const char* format, const char* argument);

// The file-system operations of the OK validation; every path given is
// relative to the process's current directory or a drive root.
class DestDirOps {
public:
    virtual bool EnterDirectory(const char* path) = 0;  // SetCurrentDirectoryA
    // CreateDirectoryA: true when this call made the level.
    virtual bool MakeDirectory(const char* name) = 0;
    // RemoveDirectoryA of an absolute path, result ignored.
    virtual void RemoveLevel(const char* path) = 0;
    // Free kilobytes of the current directory's volume; 0 when the query fails.
    virtual uint64_t CurrentVolumeFreeKilobytes() = 0;

protected:
    ~DestDirOps() = default;
};

// The outcome of one OK attempt.
struct DestDirVerdict {
    int message = 0;          // 0 accepted, otherwise the message id to show
    ByteString installDir;    // the normalized text, set by every attempt
    // The levels that this attempt created and entered, "A\B" relative to
    // the deepest level that existed; empty when none was created, and
    // always empty after a refusal.
    ByteString createdChain;
};

// The OK validation in its fixed order: absolute path (message 4), volume
// (5), malformed directory part (25), free space (3), then the levels are
// entered or created one by one (6) and finally the whole directory is
// entered (6). On acceptance the current directory is the directory. An
// attempt refused after it created levels removes them again, innermost
// first, from the drive's root (the current directory then), so whatever
// an installation created is either removed again or recorded. A directory
// longer than the 260-byte buffers it must fit is refused with message 6
// before anything is created.
DestDirVerdict ValidateDestDir(const char* editText, uint32_t needBytes, DestDirOps& ops);
