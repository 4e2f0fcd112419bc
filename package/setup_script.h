// The setup script install.inf: how its sections become SetupConfig. The
// script is read through a ProfileSource, so the product (profile API) and
// the host tools and tests (IniProfile) fill the record by the same rules.
#pragma once

#include <stddef.h>

#include "base/text.h"
#include "package/profile.h"
#include "package/setup_config.h"

// Receiving buffer sizes in bytes, terminating zero included. Values are cut
// to one byte less.
constexpr size_t kScriptValueSize = 65535;  // [Setup], [UnInstall], key-name lists
constexpr size_t kGroupValueSize = 260;     // [Group], [GroupN]
constexpr size_t kSourceValueSize = 256;    // [Source]

// Splits a "file,rest" value at its first comma (a trail byte 0x2C of a
// double-byte character is no comma). Without a comma the whole value is the
// file and rest is empty.
void SplitFileAndArgs(const ByteString& value, ByteString* file, ByteString* rest);

// Fills the script fields of config (every field except the paths and the
// run-mode fields) from the script that source reads; lists are rebuilt, not
// appended to. uninstallMode selects the uninstaller's view of [Source];
// isNtPlatform is the NT-family test. A [Source] name that does not stay
// inside its directory (StaysInside) is left out of every list, in both
// modes. Never fails: absent keys take their defaults and over-long values
// are cut.
void ReadSetupScriptFrom(const ProfileSource& source, bool uninstallMode, bool isNtPlatform,
                         SetupConfig& config);
