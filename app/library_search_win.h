// Where the program looks for libraries that are loaded by name. The
// installer runs elevated from download folders, and the uninstaller's copy
// from the temporary folder: a library of a system name planted beside the
// program there must never be loaded.
#pragma once

// Restricts the search for every library loaded from now on, by the program
// or by system libraries on its behalf, to the system directory where the
// platform allows it (Windows 8 and later, and Vista/7 with the update that
// added SetDefaultDllDirectories). Elsewhere it removes the current
// directory from the search where SetDllDirectoryA exists; the program then
// loads its own libraries by full path, and the licence dialog loads
// riched20.dll by full path before riched32.dll. Called first thing, before
// any other library is loaded.
void RestrictLibrarySearch();
