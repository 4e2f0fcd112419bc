// Extraction of the archive appended to the running executable.
#pragma once

// Extracts every entry of the running executable (read through OwnImageFile)
// into a new "KTW" temporary directory that only administrators can use (see
// private_temp_win.h), stamps the recorded times and points ScriptDir at it.
// Every file is created new: an archive that names a file twice (ignoring
// case) fails with code 400. A directory that cannot be created, under any
// of the names tried, fails with code 202. Returns 0 on success (also when
// nothing, or no archive, is appended) or a detail code. A failed extraction
// removes whatever it wrote, the directory included, before it returns.
int ExtractPackage();

// ExtractPackage on the executable file at exePath (a package file given by
// a test or tool), opened shared for reading only.
int ExtractPackageFrom(const char* exePath);

// Deletes the extracted files and the extraction directory; failures ignored.
// Afterwards ExtractDir and ExtractedFiles are empty.
void RemoveExtractedFiles();
