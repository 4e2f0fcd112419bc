// The copy of one package file into place: an SZDD file is expanded, any
// other file copied unchanged.
#pragma once

// Writes destination (replacing an existing file) from source, expanding an
// SZDD source and copying any other unchanged; a source shorter than an SZDD
// header counts as plain. The destination is written anew and so has the
// current time as its write time. Returns the size written in bytes, or a
// negative code, those of the LZ expansion library:
//   -1  the source cannot be opened or the destination cannot be created
//   -3  the source cannot be read, or its compressed data is damaged: it
//       ends before the length that its header gives or expands past it
//   -4  the destination cannot be written
//   -5  no memory for the buffers
//   -7  a file of 2 GiB or more, whose size the result cannot carry
//   -8  an SZDD header with a compression mode other than 'A'
// After a failure no destination is left: one that was created is deleted.
// Required: the caller reports a failure.
int ExpandFile(const char* destination, const char* source);
