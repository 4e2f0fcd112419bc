#include "app/version_check.h"

bool NeedsEdition(const WindowsVersion& version) {
    return version.platformId == kPlatformWin32Nt && version.major == 5;
}

namespace {

bool IsWorkstation(const WindowsEdition& edition) {
    return edition.queried && edition.platformId == kPlatformWin32Nt &&
           (edition.major == 4 || edition.major == 5) && edition.productType == kProductWorkstation;
}

}  // namespace

VersionVerdict DecideWindowsVersion(const WindowsVersion& version, const WindowsEdition& edition) {
    VersionVerdict verdict;
    if (version.platformId == kPlatformWin32Windows) {
        // 4.0 Windows 95, 4.10 Windows 98, 4.90 Windows Me.
        verdict.accepted = version.major == 4 &&
                           (version.minor == 0 || version.minor == 10 || version.minor == 90);
    } else if (version.platformId == kPlatformWin32Nt) {
        switch (version.major) {
        case 4:
        case 6:
            verdict.accepted = true;
            break;
        case 5:
            verdict.accepted = IsWorkstation(edition);
            break;
        default:
            break;
        }
        verdict.nt = verdict.accepted;
    }
    return verdict;
}
