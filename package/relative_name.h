// Names that the setup script gives relative to a directory: [Source] names
// below the installation directory (and the extraction directory), program
// folder and shortcut names below the Programs folder, desktop icon names on
// the desktop. The program copies, deletes and opens what these names reach
// with administrator rights, so a name that could reach anywhere else is
// never acted on. Nothing here touches Windows.
#pragma once

// Why a name would not stay inside its directory, or kNone when it does.
enum class NameEscape {
    kNone,
    kRooted,  // begins with "\" or "/": the root of a drive, "\\server\share", "\\?\..."
    kDrive,   // holds ":": a drive ("C:\x", or "C:x" relative to that drive's
              // current directory), or a stream of a file
    kParent,  // has a component of dots (and blanks) with two dots or more:
              // "..", and "..." which older Windows read as two levels up
};

// Classifies name (code page 932). Both "\" and "/" separate components, as
// Windows accepts either; a 0x5C trail byte of a double-byte character ("表",
// "ソ") separates nothing. Wildcards and subdirectories ("sub\*.tmp") stay
// inside; an empty name is kNone (callers decide what it means).
NameEscape FindNameEscape(const char* name);

// FindNameEscape(name) == NameEscape::kNone.
bool StaysInside(const char* name);
