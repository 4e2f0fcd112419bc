// Extraction of the archive appended to the running executable.
#pragma once

// Extracts every entry into a fresh "KTW" temporary directory, stamps the
// recorded times and points ScriptDir at it. Returns 0 on success (also when
// nothing, or no archive, is appended) or a detail code.
int ExtractPackage();

// Deletes the extracted files and the extraction directory; failures ignored.
void RemoveExtractedFiles();
