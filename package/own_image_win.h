// The running executable's file, opened once at start. The program runs
// elevated from folders that others can write: after the elevation prompt,
// the file at the executable's path may be another one. So the archive is read
// and the program's copies are made from this one handle, which denies writing,
// renaming and deletion to everyone for the whole run.
#pragma once

#include <windows.h>

// Opens the running executable for reading, shared for reading only. Called
// first thing at start; later calls return the same handle. Returns
// INVALID_HANDLE_VALUE when the file cannot be opened (or its path does not
// fit 260 bytes); the handle is never closed before the process ends.
HANDLE OwnImageFile();

// Writes the whole own executable file into target (open for writing, at its
// start). False when the own file is not open or a read or write fails.
bool WriteOwnImage(HANDLE target);
