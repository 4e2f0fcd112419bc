// Checks of the system before any work: Windows version, the product's
// running instance, administrator rights.
#pragma once

// Accepts or refuses the Windows version; shows message 49 itself when it
// refuses. Records whether the platform is of the NT family.
bool CheckWindowsVersion();
// The platform record written by CheckWindowsVersion (false until it accepted
// an NT-family system).
bool PlatformIsNt();
// True when the product's running-instance mutex exists.
bool IsProductRunning();
// True when the token is granted access as a member of the Administrators group.
bool IsAdministrator();
