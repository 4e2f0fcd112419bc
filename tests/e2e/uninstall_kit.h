// What the uninstallation scenarios need around the driver: test products
// installed through their own installer, the uninstaller started from the
// Uninstall entry's command line, snapshots of the prefix's registry and
// files to compare before and after, the records of deletion at restart
// that a run leaves (put back afterwards), and screenshots kept as PNG.
#pragma once

#include <windows.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "tests/e2e/driver.h"
#include "tests/e2e/installer_kit.h"

namespace e2e {

// A screenshot as an uncompressed PNG file (Windows path).
bool SavePng(const Screenshot& shot, const std::string& path);
// Takes the screen and keeps it as artifacts/<name>.png.
void KeepScreen(const std::string& name);

// Registry contents below root\path: one entry per key ("ROOT\path\") and per
// value ("ROOT\path\:name" -> type and bytes). Paths in code page 932.
using Snapshot = std::map<std::string, std::string>;
Snapshot RegistryTree(HKEY root, const std::string& path);
// Files and directories below dir: a file maps to its size and attributes, a
// directory to "<dir>". Entries whose full path is in skipDirs are left out
// with everything below them.
Snapshot FileTree(const std::string& dir, const std::set<std::string>& skipDirs = {});
// "+ entry", "- entry" and "~ entry" lines for what after adds, lacks or
// changes, in UTF-8.
std::vector<std::string> Differences(const Snapshot& before, const Snapshot& after);

// PendingFileRenameOperations as strings (empty when absent).
std::vector<std::string> PendingRenames();
// True when the records schedule the deletion of path.
bool DeletionScheduled(const std::string& path);

// Keeps the deletion-at-restart records and the "Del*.tmp" copies of the
// temporary directory as they are at construction; at destruction puts the
// records back and deletes the copies that appeared meanwhile, so a later
// restart of the prefix deletes nothing a test scheduled.
class RestartRecordGuard {
public:
    RestartRecordGuard();
    ~RestartRecordGuard();
    RestartRecordGuard(const RestartRecordGuard&) = delete;
    RestartRecordGuard& operator=(const RestartRecordGuard&) = delete;
    // Full paths of the Del*.tmp files that appeared since construction.
    std::vector<std::string> NewCopies() const;

private:
    bool present_ = false;
    DWORD type_ = REG_MULTI_SZ;
    std::string data_;
    std::set<std::string> copies_;
};

// Sets the load order that Wine gives a library in programs started from now
// on (HKCU\Software\Wine\DllOverrides: "native,builtin", "" to disable a
// program, ...), and puts the previous setting back at the end. Wine reads
// the order when a process starts, from the registry or from the Unix
// environment it started with, never from a Windows environment block.
class WineDllOverride {
public:
    WineDllOverride(const std::string& library, const std::string& order);
    ~WineDllOverride();
    WineDllOverride(const WineDllOverride&) = delete;
    WineDllOverride& operator=(const WineDllOverride&) = delete;

private:
    std::string library_;
    bool hadValue_ = false;
    std::string previous_;
};

// Keeps Wine from mirroring the shortcuts that programs started meanwhile
// create into the host's menus and desktop (winemenubuilder), which would
// leave records in the prefix and files outside it that no uninstallation
// can know of.
class WineMenuBuilderOff : public WineDllOverride {
public:
    WineMenuBuilderOff();
};

// Full path of the executable that runs process pid (code page 932).
std::string ProcessImage(DWORD pid);

// The UninstallString of a product's Uninstall entry ("" when absent).
std::string UninstallString(const std::string& utf8Name);
// Takes a registered uninstall command apart: the program path (what the
// leading quotes hold, or, in the unquoted form of earlier versions, the
// text up to the blank before "-u") and the arguments after it. False when
// neither form fits.
bool SplitRegisteredCommand(const std::string& command, std::string* program, std::string* args);
// Starts the uninstaller the way the Uninstall entry's command line names
// it, in either form.
Process StartUninstaller(const std::string& utf8Name);

// A test product: its script (with the given [Setup] lines and [Source]
// lines after install.inf and install.exe, then `sections`) and its files.
struct Product {
    std::string name;  // UTF-8
    std::vector<std::string> setup;
    std::string sources;   // extra [Source] lines, CR LF, UTF-8
    std::string sections;  // sections after [Source], UTF-8
    std::vector<PackageFile> files;
    std::string Script() const;
};
// Writes dir\install.exe for product.
std::string BuildProduct(const ScratchDir& dir, const Product& product);

// Runs installer, types installDir into the destination dialog (UTF-8) and
// confirms message 8; expects a clean end. False on any deviation.
bool InstallInto(const std::string& installer, const std::string& installDir,
                 const std::string& utf8Name);
// The same for a run that has come as far as the destination dialog.
bool FinishInstallation(Process& run, const std::string& installDir, const std::string& utf8Name);

// The uninstall dialog of a run (found now, or the one given), once "完了"
// is enabled: checks that the four boxes are checked and the text is
// message 24.
Window WaitUninstallComplete(Process& run, const std::string& utf8Name, Window dialog = Window());
// The uninstall dialog of a run, as soon as it shows.
Window WaitUninstallDialog(Process& run);
// An uninstallation that the user accepts throughout: message 17 answered
// "はい", "完了" pressed once the dialog (shown, not hidden) is complete,
// message 16 answered. With runEnds, waits until every process of the run
// has ended (an installer that ran the uninstaller goes on instead).
// Returns the exit code of the relaunched copy, -1 when a window never came.
long AcceptUninstallation(Process& run, const std::string& utf8Name, bool runEnds = true);
// Whether check box id of a window of another process is checked.
bool IsChecked(const Window& window, int id);

// Message texts (UTF-8).
std::string Text9(const std::string& name);
std::string Text16(const std::string& name);
std::string Text17(const std::string& name);
std::string Text18(const std::string& name);
std::string Text24(const std::string& name);

// A key below HKEY_CURRENT_USER and everything below it, deleted.
void DeleteUserTree(const std::string& path);

}  // namespace e2e
