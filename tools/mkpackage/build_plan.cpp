#include "tools/mkpackage/build_plan.h"

#include <string.h>

#include <map>
#include <set>

#include "engine/file_install.h"
#include "package/archive.h"
#include "package/profile.h"
#include "package/relative_name.h"
#include "package/setup_script.h"
#include "package/szdd.h"
#include "tools/mkpackage/host.h"

namespace {

constexpr const char kScriptName[] = "install.inf";

std::string Lower(const std::string& cp932) { return MbToLower(cp932.c_str()).c_str(); }

std::string Shown(const std::string& cp932) { return host::Printable932(cp932); }

std::string Quoted(const std::string& cp932) { return "\"" + Shown(cp932) + "\""; }

// Why a name does not stay inside its directory, for the refusal.
std::string EscapeRule(NameEscape escape) {
    switch (escape) {
        case NameEscape::kRooted:
            return "it begins with \\ or /, which names the root of a drive or another computer";
        case NameEscape::kDrive:
            return "it holds \":\", which names a drive (\"C:\\x\", \"C:x\") or a stream";
        case NameEscape::kParent:
            return "it has a component of dots such as \"..\", which climbs out";
        case NameEscape::kNone:
            break;
    }
    return std::string();
}

// Where the package takes a file of a given name from.
enum class Origin { kSelf, kScript, kFromDir };

class Planner {
public:
    Planner(const BuildRequest& request, BuildPlan* plan) : request_(request), plan_(*plan) {}

    void Run() {
        IniProfile profile;
        // As the installer reads it: a script saved as Unicode is converted.
        profile.LoadFile(request_.scriptPath.c_str(), host::UnicodeScriptTo932);
        ReadSetupScriptFrom(profile, false, true, Config());
        PlanSource(profile);
        Require(kScriptName, StoredForm::kPlain, false, "the setup script, read as it is",
                "the setup script");
        PlanLicence();
        if (!FindListing(kScriptName).installed) {
            Warning(std::string(kScriptName) +
                    ": [Source] does not install it, so the installed uninstaller will not find "
                    "its script");
        }
        ApplyOptions(request_.forcePlain, StoredForm::kPlain, "--plain");
        ApplyOptions(request_.forceCompressed, StoredForm::kCompressed, "--compress");
        for (PlannedEntry& entry : plan_.entries) CheckEntry(entry);
        CheckTargets();
        CountExpandedTotal();
    }

private:
    SetupConfig& Config() { return *plan_.config; }

    void Problem(const std::string& text) { plan_.problems.push_back(text); }
    void Warning(const std::string& text) { plan_.warnings.push_back(text); }

    Origin OriginOf(const std::string& name) const {
        std::string lower = Lower(name);
        if (lower == kSelfEntryName) return Origin::kSelf;
        if (lower == kScriptName) return Origin::kScript;
        return Origin::kFromDir;
    }

    // The native path of the file that name stands for; empty when the name
    // cannot be written natively (reported when the entry is checked).
    std::string PathOf(const std::string& name) const {
        switch (OriginOf(name)) {
            case Origin::kSelf:
                return request_.stubPath;
            case Origin::kScript:
                return request_.scriptPath;
            case Origin::kFromDir:
                break;
        }
        std::string native;
        if (!host::FromCodePage932(name, &native)) return std::string();
        for (const std::string& dir : request_.fromDirs) {
            std::string path = host::JoinPath(dir, native);
            if (Exists(path)) return path;
        }
        return host::JoinPath(request_.fromDirs.front(), native);
    }

    std::string FromDirs() const {
        std::string text;
        for (const std::string& dir : request_.fromDirs) text += (text.empty() ? "" : ", ") + dir;
        return text;
    }

    // Adds what the installer needs of a file, or finds an entry that
    // already provides it. Returns the entry's index, or -1 when the self
    // entry provides it. A form that another use of the file fixed
    // differently gets an entry of its own (a licence that is also a system
    // file is stored both plain and compressed).
    int Require(const std::string& name, StoredForm form, bool asIs, const char* reason,
                const std::string& role) {
        if (OriginOf(name) == Origin::kSelf && form != StoredForm::kCompressed) return -1;
        std::vector<size_t>& named = entriesNamed_[Lower(name)];
        for (size_t i : named) {
            PlannedEntry& entry = plan_.entries[i];
            bool plainNeeded = form == StoredForm::kPlain || asIs;
            bool fits = form == StoredForm::kEither ||
                        (plainNeeded && (entry.form != StoredForm::kCompressed || entry.asIs)) ||
                        (form == StoredForm::kCompressed && !entry.asIs &&
                         entry.form != StoredForm::kPlain);
            if (!fits) continue;
            if (entry.form == StoredForm::kEither && form != StoredForm::kEither) {
                entry.form = plainNeeded ? StoredForm::kPlain : form;
                entry.formReason = reason;
            }
            if (asIs && !entry.asIs) {
                entry.asIs = true;
                entry.formReason = reason;
            }
            roles_[i] += "; " + role;
            return static_cast<int>(i);
        }
        PlannedEntry entry;
        entry.name = name;
        entry.path = PathOf(name);
        entry.form = asIs ? StoredForm::kPlain : form;
        entry.asIs = asIs;
        if (reason) entry.formReason = reason;
        entry.storedPlain = name;
        entry.storedCompressed = UnderscoreName(name.c_str()).c_str();
        ByteString ignored;
        entry.recordsLastChar = MakeUnderscoreName(name.c_str(), &ignored, &entry.replacedChar);
        named.push_back(plan_.entries.size());
        plan_.entries.push_back(entry);
        roles_.push_back(role);
        return static_cast<int>(plan_.entries.size() - 1);
    }

    void PlanSource(const IniProfile& profile) {
        StringList keys = profile.GetKeyNames("Source", kScriptValueSize);
        std::set<std::string> seen;
        // The installer's copy list leaves out "5" and "7" entries; its index
        // runs alongside.
        size_t copyIndex = 0;
        for (size_t i = 0; i < keys.Count(); ++i) {
            SourceListing listing;
            listing.key = keys[i].c_str();
            listing.code =
                profile.GetValue("Source", keys[i].c_str(), "0", kSourceValueSize).c_str();
            std::string role = "[Source] " + Shown(listing.key) + "=" + Shown(listing.code);
            // The installer's script reader leaves such an entry out of its
            // lists (so the copy index does not move), and neither the
            // installation nor the uninstallation acts on it.
            NameEscape escape = FindNameEscape(listing.key.c_str());
            if (escape != NameEscape::kNone) {
                std::string rule = EscapeRule(escape);
                Problem(role + ": a [Source] name must stay inside the installation " +
                        "directory, but " + rule + "; the installer and the uninstaller ignore it");
                continue;
            }
            bool repeated = !seen.insert(Lower(listing.key)).second;
            if (listing.code == "5") {
                plan_.listings.push_back(listing);
                continue;
            }
            if (listing.code == "7") {
                listing.systemFile = true;
                listing.lookFirst = UnderscoreName(listing.key.c_str()).c_str();
                if (repeated) {
                    // The second copy finds the first in the system directory,
                    // which it never replaces.
                    Problem(Shown(listing.key) +
                            ": listed twice as a system file (code \"7\"); the second copy would "
                            "find the first in the system directory and stop the installation");
                } else {
                    listing.entry = Require(listing.key, StoredForm::kCompressed, false,
                                            "a system file, looked for only compressed", role);
                }
                plan_.listings.push_back(listing);
                continue;
            }
            std::string named = NamedPackageFile(listing.code);
            escape = FindNameEscape(named.c_str());
            if (escape != NameEscape::kNone) {
                std::string rule = EscapeRule(escape);
                Problem(role + ": the package file named after \"9,\" must stay inside the " +
                        "extraction directory, but " + rule +
                        "; the installer does not install the entry");
                ++copyIndex;
                plan_.listings.push_back(listing);
                continue;
            }
            bool optional = false;
            std::string packageName = GetSourceName(Config(), copyIndex++, &optional).c_str();
            if (packageName.empty()) {  // "N": not installed
                plan_.listings.push_back(listing);
                continue;
            }
            listing.installed = true;
            listing.lookFirst = packageName;
            if (repeated) {
                Warning(Shown(listing.key) +
                        ": listed twice in [Source]; the installer copies "
                        "it twice, both times with the first line's code");
                listing.entry = FindListing(listing.key).entry;
                listing.fromSelf = FindListing(listing.key).fromSelf;
                plan_.listings.push_back(listing);
                continue;
            }
            if (!named.empty()) {
                listing.entry = Require(named, StoredForm::kPlain, true,
                                        "stored as the package file named after \"9,\"", role);
            } else if (optional && OriginOf(listing.key) == Origin::kFromDir &&
                       !Exists(PathOf(listing.key))) {
                listing.optionalMissing = true;
                listing.installed = false;
                Warning(Shown(listing.key) + ": optional (code \"0\") and missing from " +
                        FromDirs() + "; the installer skips it");
            } else {
                listing.entry = Require(listing.key, StoredForm::kEither, false, nullptr, role);
            }
            listing.fromSelf = listing.installed && listing.entry < 0;
            plan_.listings.push_back(listing);
        }
    }

    // The package file after the first comma of a "9" code; empty for other
    // codes and for a "9" without a name, which the installer takes from
    // the entry's own name.
    static std::string NamedPackageFile(const std::string& code) {
        if (ClassifySourceCode(code.c_str()) != SourceCode::kNamedPackage) return std::string();
        int comma = MbFind(code.c_str(), ',');
        if (comma < 0) return std::string();
        return code.substr(static_cast<size_t>(comma) + 1);
    }

    const SourceListing& FindListing(const std::string& key) const {
        std::string lower = Lower(key);
        for (const SourceListing& listing : plan_.listings) {
            if (Lower(listing.key) == lower) return listing;
        }
        static const SourceListing kNone;
        return kNone;
    }

    static bool Exists(const std::string& path) {
        host::FileStatus status;
        return !path.empty() && host::QueryFile(path, &status);
    }

    void PlanLicence() {
        const std::string licence = Config().Startrtf.c_str();
        if (licence.empty()) return;
        if (!IsBareEntryName(licence.c_str(), licence.size())) {
            Problem("Startrtf " + Quoted(licence) +
                    ": the licence is read from the extraction directory, so it must be a bare "
                    "file name that the archive can carry");
            return;
        }
        Require(licence, StoredForm::kPlain, false, "the licence text, read as it is",
                "the licence (Startrtf)");
    }

    // --plain and --compress apply where the installer takes both forms.
    void ApplyOptions(const std::vector<std::string>& names, StoredForm form, const char* option) {
        for (const std::string& native : names) {
            std::string subject = std::string(option) + " " + native + ": ";
            std::string name;
            if (!host::ToCodePage932(native, &name)) {
                Problem(subject + "the name cannot be written in code page 932");
                continue;
            }
            std::string refusal;
            bool applied = false;
            for (size_t i : entriesNamed_[Lower(name)]) {
                PlannedEntry& entry = plan_.entries[i];
                if (entry.forcedByOption && entry.form != form) {
                    refusal = "both --plain and --compress are given for it";
                } else if (entry.asIs) {
                    refusal = "a package file named after \"9,\" is stored exactly as it is";
                } else if (entry.form != StoredForm::kEither && entry.form != form) {
                    refusal = entry.formReason + ", so it must be stored " +
                              (entry.form == StoredForm::kPlain ? "plain" : "compressed");
                } else {
                    if (entry.form == StoredForm::kEither) entry.formReason = option;
                    entry.form = form;
                    entry.forcedByOption = true;
                    applied = true;
                }
            }
            if (applied) continue;
            const SourceListing& listing = FindListing(name);
            if (!refusal.empty()) {
                Problem(subject + refusal);
            } else if (!NamedPackageFile(listing.code).empty()) {
                Problem(subject + "it is installed from " + Quoted(NamedPackageFile(listing.code)) +
                        ", the package file named after \"9,\", which is stored as it is");
            } else if (!listing.key.empty() && !listing.installed) {
                Problem(subject + "[Source] lists it with code " + Quoted(listing.code) +
                        ", and the package does not carry it");
            } else if (OriginOf(name) == Origin::kSelf) {
                Problem(subject + "install.exe is the installer itself, stored as it is");
            } else {
                Problem(subject + "the package carries no file of that name");
            }
        }
    }

    // Checks one file that the package carries and settles what its first
    // bytes decide.
    void CheckEntry(PlannedEntry& entry) {
        size_t index = static_cast<size_t>(&entry - plan_.entries.data());
        const std::string& role = roles_[index];
        std::string subject = entry.path.empty() ? Shown(entry.name) : entry.path;
        if (entry.path.empty()) {
            Problem(subject + ": the name cannot be written as a file name here (" + role + ")");
            return;
        }
        if (OriginOf(entry.name) == Origin::kFromDir &&
            !IsBareEntryName(entry.name.c_str(), entry.name.size())) {
            Problem(Shown(entry.name) +
                    ": the archive holds bare file names only (no "
                    "directories, \\ / : * ? \" < > |, \"..\", control characters or device "
                    "names), so it cannot carry this file (" +
                    role + ")");
            return;
        }
        host::FileStatus status;
        if (!host::QueryFile(entry.path, &status)) {
            std::string hint;
            if (OriginOf(entry.name) == Origin::kFromDir) {
                for (const std::string& dir : request_.fromDirs) {
                    std::string other = host::NameDifferingInCase(dir, host::BaseName(entry.path));
                    if (!other.empty())
                        hint = "; " + host::JoinPath(dir, other) + " differs in case";
                }
                if (request_.fromDirs.size() > 1) hint += "; looked in " + FromDirs();
            }
            Problem(subject + ": missing (" + role + ")" + hint);
            return;
        }
        if (status.isDirectory) {
            Problem(subject + ": a directory, not a file (" + role + ")");
            return;
        }
        if (status.size == 0) {
            Problem(subject + ": empty; the archive cannot carry an empty file (" + role + ")");
            return;
        }
        if (status.size > INT32_MAX) {
            Problem(subject + ": larger than a 32-bit size can record");
            return;
        }
        entry.size = status.size;
        entry.modified = status.modified;

        uint8_t head[kSzddHeaderSize] = {};
        size_t got = 0;
        if (FILE* file = fopen(entry.path.c_str(), "rb")) {
            got = fread(head, 1, sizeof head, file);
            fclose(file);
        }
        if (got == 0) {
            Problem(subject + ": cannot be read (" + role + ")");
            return;
        }
        entry.expandedSize = entry.size;
        bool szdd = BeginsWithSzddMagic(head, got);
        SzddHeader header;
        if (entry.asIs && szdd && SzddReadHeader(head, got, &header) == SzddStatus::kOk) {
            entry.expandedSize = header.length;
        }
        if (entry.form == StoredForm::kCompressed) return;

        bool space = IsSpaceByte(head[0]);
        // The installer copies every [Source] file through its SZDD expansion,
        // which expands whatever begins with the SZDD signature.
        bool expandedOnCopy = szdd && !entry.asIs && IsInstalled(index);
        if (entry.form == StoredForm::kEither) {
            if (space) {
                entry.form = StoredForm::kCompressed;
                entry.formReason =
                    "its first byte is white space, which the archive cannot "
                    "carry plainly";
            } else if (expandedOnCopy) {
                entry.form = StoredForm::kCompressed;
                entry.formReason =
                    "it begins with the SZDD signature: stored plainly, it would "
                    "be expanded when installed";
            } else if (!entry.recordsLastChar) {
                entry.form = StoredForm::kPlain;
                entry.formReason =
                    "its last character is double-byte, which the compressed "
                    "form's header cannot record";
            }
            return;
        }
        if (space) {
            char hex[8];
            snprintf(hex, sizeof hex, "0x%02X", head[0]);
            Problem(subject + ": begins with a white-space byte (" + hex +
                    "), which the archive reader would skip, but it must be stored plain (" +
                    entry.formReason + ")");
        } else if (expandedOnCopy) {
            Problem(subject +
                    ": begins with the SZDD signature, so the installer would expand "
                    "it on copying, but it must be stored plain (" +
                    entry.formReason + ")");
        }
    }

    bool IsInstalled(size_t entryIndex) const {
        for (const SourceListing& listing : plan_.listings) {
            if (listing.installed && listing.entry == static_cast<int>(entryIndex)) return true;
        }
        return false;
    }

    // Files that the script names in the installation directory must come
    // from [Source], the only way a file gets there.
    void CheckTargets() {
        struct Reference {
            std::string target;
            std::vector<std::string> fields;
        };
        std::vector<Reference> references;
        auto add = [&](const std::string& target, const std::string& field) {
            if (target.empty()) return;
            for (Reference& reference : references) {
                if (Lower(reference.target) == Lower(target)) {
                    reference.fields.push_back(field);
                    return;
                }
            }
            references.push_back(Reference{target, {field}});
        };
        const SetupConfig& config = Config();
        add(config.MainProgram.c_str(), "MainProgram");
        add(config.UnInstallerProgram.c_str(), "UnInstallerProgram");
        add(config.UnInstallIcon.c_str(), "UnInstallIcon");
        add(config.Readme.c_str(), "Readme");
        for (size_t i = 0; i < config.DesktopIcons.Count(); ++i) {
            ByteString target, rest, name, icon;
            SplitFileAndArgs(config.DesktopIcons[i], &target, &rest);
            SplitFileAndArgs(rest, &name, &icon);
            std::string field = "IconOnDesktop" + std::to_string(i);
            add(target.c_str(), field);
            add(icon.c_str(), field + " (icon)");
        }
        for (size_t i = 0; i < config.GroupItems.names.Count(); ++i) {
            add(config.GroupItems.targets[i].c_str(),
                "[Group] " + Shown(config.GroupItems.names[i].c_str()));
        }
        for (int g = 0; g < config.NumberedGroupCount; ++g) {
            for (int k = 0; k < config.NumberedGroupItemCounts[g]; ++k) {
                const GroupItem& item = config.NumberedGroupItems[kMaxGroupItems * g + k];
                add(item.target.c_str(),
                    "[Group" + std::to_string(g + 1) + "] " + Shown(item.name.c_str()));
            }
        }

        for (const Reference& reference : references) {
            std::string why = WhyNotInstalled(reference.target);
            if (why.empty()) continue;
            std::string fields;
            for (const std::string& field : reference.fields) {
                fields += (fields.empty() ? "" : ", ") + field;
            }
            Problem(Shown(reference.target) + ": named by " + fields + ", but " + why);
        }
    }

    // Empty when the installation directory will hold the file.
    std::string WhyNotInstalled(const std::string& target) const {
        const SourceListing& listing = FindListing(target);
        if (listing.key.empty()) {
            return "[Source] does not list it, so the installer does not install it";
        }
        if (listing.installed) return std::string();
        if (listing.systemFile) {
            return "[Source] lists it as a system file (code \"7\"), which goes into the system "
                   "directory";
        }
        if (listing.optionalMissing) {
            return "it is optional (code \"0\") and missing from " + FromDirs() +
                   ", so it would not be installed";
        }
        return "[Source] lists it with code \"" + Shown(listing.code) +
               "\", which does not install it";
    }

    void CountExpandedTotal() {
        host::FileStatus stub;
        int64_t stubSize = host::QueryFile(request_.stubPath, &stub) ? stub.size : 0;
        for (const SourceListing& listing : plan_.listings) {
            if (!listing.installed && !listing.systemFile) continue;
            if (listing.fromSelf) {
                plan_.expandedTotal += stubSize;
            } else if (listing.entry >= 0) {
                plan_.expandedTotal +=
                    plan_.entries[static_cast<size_t>(listing.entry)].expandedSize;
            }
        }
        int64_t needed = Config().DstNeedSpace;
        if (needed < plan_.expandedTotal) {
            Warning("DstNeedSpace is " + std::to_string(needed) + " bytes, less than the " +
                    std::to_string(plan_.expandedTotal) +
                    " bytes that the installation writes: the free-space check asks for too "
                    "little and the copy bar passes 100%");
        }
    }

    const BuildRequest& request_;
    BuildPlan& plan_;
    std::vector<std::string> roles_;  // per entry: what it is stored for
    // The entries of each name in lower case, in the order of the entries:
    // a package of thousands of files is planned without comparing every
    // name with every other.
    std::map<std::string, std::vector<size_t>> entriesNamed_;
};

}  // namespace

bool BeginsWithSzddMagic(const uint8_t* data, size_t size) {
    static const uint8_t kMagic[8] = {'S', 'Z', 'D', 'D', 0x88, 0xF0, 0x27, 0x33};
    return size >= sizeof kMagic && memcmp(data, kMagic, sizeof kMagic) == 0;
}

const std::string& StoredName(const PlannedEntry& entry) {
    return entry.form == StoredForm::kCompressed ? entry.storedCompressed : entry.storedPlain;
}

void PlanPackage(const BuildRequest& request, BuildPlan* plan) {
    plan->config.reset(new SetupConfig());
    Planner planner(request, plan);
    planner.Run();
}

void CheckStoredNames(const BuildRequest& request, BuildPlan* plan) {
    // Stored names as Windows compares them, with the path each one holds;
    // the self entry holds the stub.
    std::map<std::string, size_t> stored;
    const size_t kSelf = plan->entries.size();
    stored[kSelfEntryName] = kSelf;
    auto pathOf = [&](size_t index) {
        return index == kSelf ? request.stubPath : plan->entries[index].path;
    };
    for (size_t i = 0; i < plan->entries.size(); ++i) {
        const PlannedEntry& entry = plan->entries[i];
        const std::string& name = StoredName(entry);
        if (!IsBareEntryName(name.c_str(), name.size())) {
            plan->problems.push_back(Shown(name) + ": the stored name of " + entry.path +
                                     " is no bare file name that the archive can carry");
            continue;
        }
        auto inserted = stored.insert(std::make_pair(Lower(name), i));
        if (inserted.second) continue;
        size_t other = inserted.first->second;
        if (other == kSelf) {
            plan->problems.push_back(Shown(name) + ": " + entry.path +
                                     " would be stored under the name of the installer itself");
        } else {
            plan->problems.push_back(Shown(name) + ": both " + pathOf(other) + " and " +
                                     entry.path + " would be stored under this name");
        }
    }
    if (!plan->problems.empty()) return;

    // The installer takes the first name it finds; that must be the file
    // meant for the line.
    for (const SourceListing& listing : plan->listings) {
        if (!listing.installed && !listing.systemFile) continue;
        if (listing.entry < 0 && !listing.fromSelf) continue;
        std::string meant = listing.fromSelf
                                ? request.stubPath
                                : plan->entries[static_cast<size_t>(listing.entry)].path;
        std::vector<std::string> lookups = {listing.lookFirst};
        if (!listing.systemFile) lookups.push_back(listing.key);
        std::string foundName;
        size_t found = 0;
        for (const std::string& name : lookups) {
            auto it = stored.find(Lower(name));
            if (it == stored.end()) continue;
            foundName = name;
            found = it->second;
            break;
        }
        if (foundName.empty()) {
            plan->problems.push_back(Shown(listing.key) +
                                     ": the installer would find none of its package names");
        } else if (pathOf(found) != meant) {
            plan->problems.push_back(Shown(listing.key) + ": the installer would install it from " +
                                     Shown(foundName) + ", which holds " + pathOf(found) +
                                     ", since it looks for " + Shown(listing.lookFirst) + " first");
        }
    }
}
