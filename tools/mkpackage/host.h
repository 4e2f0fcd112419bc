// What mkpackage needs from the machine it runs on, for POSIX hosts and for
// Windows (MinGW builds). Paths are native narrow strings: UTF-8 on POSIX,
// the ANSI code page on Windows (what argv and fopen use there). Names inside
// packages and setup scripts are code page 932.
#pragma once

#include <stddef.h>
#include <stdio.h>
#include <stdint.h>

#include <string>
#include <vector>

#include "base/text.h"
#include "package/profile.h"

namespace host {

// The character that joins a directory and a name in paths that mkpackage
// makes itself: "\" on Windows, "/" elsewhere. On Windows "/" is accepted in
// every path as well.
extern const char kSeparator;

// The name after the last separator (on Windows also after a drive's ":").
// Separator search is character-aware: a trail byte 0x5C of a double-byte
// character of the ANSI code page is no "\".
std::string BaseName(const std::string& path);
// The part before the last separator, "." when there is none, the root
// itself for a name in the root.
std::string DirName(const std::string& path);
// dir + separator + name, without doubling a separator that dir ends in.
std::string JoinPath(const std::string& dir, const std::string& name);

// Conversions between native text and code page 932. False when a character
// has no counterpart (or the input is not valid text of its encoding).
bool ToCodePage932(const std::string& native, std::string* cp932);
bool FromCodePage932(const std::string& cp932, std::string* native);
// A setup script saved as Unicode (the text after its byte-order mark) in
// code page 932, as IniProfile's converter: one character per UTF-16 unit,
// inexact marking each one that code page 932 lacks. Windows converts as the
// installer does (best fit); elsewhere such a character becomes "?". False
// when the text is no valid text of its encoding.
bool UnicodeScriptTo932(ProfileEncoding encoding, const char* text, size_t size, ByteString* out,
                        ByteString* inexact);

// UTF-8 text (of any system) to code page 932; false as above.
bool Utf8ToCodePage932(const std::string& utf8, std::string* cp932);
// Code page 932 text as UTF-8 (of any system), for machine-readable output;
// bytes that do not convert are shown as \xNN.
std::string Utf8Of932(const std::string& cp932);
// The native form of a code page 932 name for messages; bytes that do not
// convert are shown as \xNN.
std::string Printable932(const std::string& cp932);

// Columns that native text takes on a terminal: on Windows one per byte
// (a code page 932 double-byte character is two columns wide, a half-width
// katakana one); elsewhere UTF-8, two for East Asian wide characters.
size_t DisplayWidth(const std::string& native);
// True when the stream is a terminal (progress lines go there only).
bool IsTerminal(FILE* stream);

struct FileStatus {
    bool exists = false;
    bool isDirectory = false;
    int64_t size = 0;      // bytes
    int64_t modified = 0;  // last write, seconds since 1970-01-01 UTC
};
// False when the path does not exist or cannot be queried.
bool QueryFile(const std::string& path, FileStatus* status);

// On a file system that tells case apart: the name of an entry of dir that
// equals name but for the case of ASCII letters. Empty when there is none,
// and always on Windows.
std::string NameDifferingInCase(const std::string& dir, const std::string& name);

// What is at path, without following a last component that is a symbolic
// link: nothing, a directory, or anything else (a file, a link, a device).
enum class Presence { kNone, kDirectory, kOther };
Presence Lookup(const std::string& path);

// Writes bytes to a new file at path. Fails, with *error, when anything is
// there already (a dangling symbolic link too), so nothing is ever written
// through a link; a file it created but could not fill is removed.
bool WriteNewFile(const std::string& path, const std::vector<uint8_t>& bytes, std::string* error);

// Creates one directory level; true when it exists as a directory afterwards.
bool MakeDirectory(const std::string& path);
// Creates every missing level of path.
bool MakeDirectories(const std::string& path);
// Sets last-access and last-write time, seconds since 1970-01-01 UTC.
bool SetFileTimes(const std::string& path, int64_t seconds);
// True when both paths name the same existing file.
bool SameFile(const std::string& a, const std::string& b);
// Moves from over to, replacing an existing file (which the Windows runtime's
// rename() refuses to do).
bool MoveOver(const std::string& from, const std::string& to);
bool RemoveFile(const std::string& path);
bool RemoveEmptyDirectory(const std::string& path);
int ProcessId();

// The whole file; on failure *error says why.
bool ReadWholeFile(const std::string& path, std::vector<uint8_t>* bytes, std::string* error);
// Text of the last C runtime error.
std::string LastErrorText();

// While an instance lives, SIGINT, SIGTERM and (where there is one) SIGPIPE
// first remove each path of the list that exists (files, then empty
// directories, in list order) and then end the process as the signal would
// have. The list must outlive the instance and stay unchanged; only one
// instance may live at a time.
class RemoveOnSignal {
public:
    explicit RemoveOnSignal(const std::vector<std::string>* paths);
    ~RemoveOnSignal();
    // Another list from now on, under the same rules.
    void Watch(const std::vector<std::string>* paths);
    RemoveOnSignal(const RemoveOnSignal&) = delete;
    RemoveOnSignal& operator=(const RemoveOnSignal&) = delete;
};

// Runs job(argument, thread, k) for every k below count on
// ParallelThreads(count) threads and returns when every call has returned.
// thread, below that number, names the thread making the call, so that a
// caller can keep state per thread in an array.
void ParallelFor(size_t count, void (*job)(void* argument, size_t thread, size_t k),
                 void* argument);
// As above, for jobs that need no state of their own.
void ParallelFor(size_t count, void (*job)(void* argument, size_t k), void* argument);
size_t ParallelThreads(size_t count);
size_t Processors();

}  // namespace host
