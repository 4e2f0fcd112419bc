// Extraction of the archive appended to the running executable.
#pragma once

// Extracts every entry into a fresh "KTW" temporary directory, stamps the
// recorded times and points ScriptDir at it. Returns 0 on success (also when
// nothing, or no archive, is appended) or a detail code. A failed extraction
// removes whatever it wrote, the directory included, before it returns.
int ExtractPackage();

// ExtractPackage on the executable file at exePath (the running one, or a
// package file given by a test or tool).
int ExtractPackageFrom(const char* exePath);

// Deletes the extracted files and the extraction directory; failures ignored.
// Afterwards ExtractDir and ExtractedFiles are empty.
void RemoveExtractedFiles();
