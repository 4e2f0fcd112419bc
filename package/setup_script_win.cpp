#include "package/setup_script_win.h"

#include <windows.h>

#include "package/file_status_win.h"
#include "package/profile.h"
#include "package/setup_config.h"
#include "package/setup_script.h"

bool ReadSetupScript(bool uninstallMode) {
    SetupConfig& config = Config();
    ByteString path(config.ScriptDir);
    path.Append("install.inf");
    // A directory of that name is no script either.
    DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        return false;
    }
    // Read once and answered from memory, exactly as the profile API would
    // answer: the API opens and checks the file again for every value, a third
    // of a second for a script listing a thousand files.
    IniProfile profile;
    if (!profile.LoadFile(path.c_str())) return false;
    ReadSetupScriptFrom(profile, uninstallMode, IsNtPlatform(), config);
    return true;
}
