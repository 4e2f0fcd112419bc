// What a package must carry for its setup script, and in which form: the
// planning half of "mkpackage build". It reads the script as the installer
// does and follows the installer's lookups: for every [Source] file the
// compressed (underscore) name first and the plain name second, for a
// "9,name" entry the named package file, for a system file ("7") only the
// compressed name; install.inf and the licence RTF are read as they are, and
// install.exe is the self entry that every package has.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <memory>
#include <string>
#include <vector>

#include "package/setup_config.h"

enum class StoredForm {
    kPlain,       // the file's bytes under its own name
    kCompressed,  // its SZDD form under the underscore name
    kEither,      // the installer takes both; the smaller one is stored
};

// One file of the package apart from the self entry.
struct PlannedEntry {
    std::string name;      // code page 932: the file's name (for "9," the package name)
    std::string path;      // native path of the file to store
    int64_t size = 0;      // bytes of that file
    int64_t modified = 0;  // its last write, seconds since 1970 UTC
    StoredForm form = StoredForm::kEither;
    std::string formReason;  // why the form is fixed, for the progress line; may be empty
    bool forcedByOption = false;
    // The stored names of both forms; storedCompressed is empty when the name
    // cannot have a compressed form (it ends in a double-byte character).
    std::string storedPlain;
    std::string storedCompressed;
    char replacedChar = 0;         // the character that "_" replaces, for the SZDD header
    bool recordsLastChar = false;  // false: the header cannot record it (double-byte)
    bool asIs = false;             // a "9," package file: stored exactly as found
    int64_t expandedSize = 0;      // what the installer writes from it
};

// One [Source] line as the installer handles it.
struct SourceListing {
    std::string key;  // code page 932
    std::string code;
    std::string lookFirst;    // the package name looked for before the key itself
    bool systemFile = false;  // "7": only lookFirst, into the system directory
    bool installed = false;   // copied into the installation directory
    bool optionalMissing = false;
    bool fromSelf = false;  // installed from the self entry
    int entry = -1;         // index of the entry it is installed from
};

struct BuildRequest {
    std::string scriptPath;  // native
    // Folders that hold the files, native; a file is taken from the first
    // one that has it.
    std::vector<std::string> fromDirs;
    std::string stubPath;                      // native; its size counts as install.exe's
    std::vector<std::string> forcePlain;       // native names from --plain
    std::vector<std::string> forceCompressed;  // native names from --compress
};

struct BuildPlan {
    std::unique_ptr<SetupConfig> config;  // the script as the installer reads it
    std::vector<PlannedEntry> entries;    // in package order
    std::vector<SourceListing> listings;  // [Source] in script order
    std::vector<std::string> problems;    // one line each; any problem refuses the build
    std::vector<std::string> warnings;
    int64_t expandedTotal = 0;  // bytes that the installer writes
};

// Reads the script and checks every file that the package must carry, but
// compresses nothing: entries of form kEither stay undecided. The script
// must be readable (the caller checks that first).
void PlanPackage(const BuildRequest& request, BuildPlan* plan);

// After the caller has settled every kEither entry (to kPlain or
// kCompressed): problems that depend on the stored names, namely two
// entries stored under one name and a file that the installer would take
// from another entry's stored name, which it looks for first.
void CheckStoredNames(const BuildRequest& request, BuildPlan* plan);

// The stored name of a settled entry.
const std::string& StoredName(const PlannedEntry& entry);

// Bytes that begin an SZDD file; the installer's copy expands any
// file that begins with them, whatever its name.
bool BeginsWithSzddMagic(const uint8_t* data, size_t size);
