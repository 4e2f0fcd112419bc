// The descriptions of SZDD results that the tools print. Apart from szdd.cpp
// so that the installer, which reports its own codes and never these texts,
// does not carry them.
#include "package/szdd.h"

const char* SzddStatusText(SzddStatus status) {
    switch (status) {
        case SzddStatus::kOk: return "ok";
        case SzddStatus::kTruncatedHeader: return "file shorter than the SZDD header";
        case SzddStatus::kBadMagic: return "not an SZDD file (bad magic)";
        case SzddStatus::kBadMode: return "unknown SZDD compression mode";
        case SzddStatus::kShortData: return "compressed data ends before the length in the header";
        case SzddStatus::kLongData: return "compressed data expands past the length in the header";
        case SzddStatus::kTooLarge: return "file too large for the SZDD format";
        case SzddStatus::kOutOfMemory: return "out of memory";
        case SzddStatus::kWriteFailed: return "output could not be written";
    }
    return "unknown error";
}
