// The licence dialog: the terms of use (an RTF file of the package) in a
// read-only rich-edit control, to be accepted or declined.
#pragma once

#include <windows.h>

// Loads the rich-edit library from the system directory and runs the dialog
// (template 114) modally with the terms of Config().ScriptDir +
// Config().Startrtf. Returns IDOK when the user accepts, IDCANCEL when they
// decline (button, Escape, or the close box answered Yes), and -1 when the
// library or the dialog cannot be loaded. A missing or unreadable terms file
// leaves the text area empty; the dialog works all the same.
int RunLicenseDialog(HWND owner);
