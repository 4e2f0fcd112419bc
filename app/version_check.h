// The decision which Windows versions the program runs on, as a function of
// the version records that GetVersionExA reports.
#pragma once

#include <stdint.h>

constexpr uint32_t kPlatformWin32Windows = 1;  // Windows 95, 98, Me
constexpr uint32_t kPlatformWin32Nt = 2;
constexpr uint8_t kProductWorkstation = 1;

// The basic version record.
struct WindowsVersion {
    uint32_t platformId = 0;
    uint32_t major = 0;
    uint32_t minor = 0;
};

// The extended record, asked for only where the product type matters.
// queried is false when that query failed.
struct WindowsEdition {
    bool queried = false;
    uint32_t platformId = 0;
    uint32_t major = 0;
    uint8_t productType = 0;
};

struct VersionVerdict {
    bool accepted = false;
    bool nt = false;  // accepted as a system of the NT family
};

// True when the decision depends on the extended record (NT major version 5,
// where the server editions are refused).
bool NeedsEdition(const WindowsVersion& version);

// Accepts Windows 95, 98 and Me, NT 4, the workstation editions of NT 5.x and
// every NT 6.x; refuses everything else. edition is read only when
// NeedsEdition(version) holds.
VersionVerdict DecideWindowsVersion(const WindowsVersion& version, const WindowsEdition& edition);
