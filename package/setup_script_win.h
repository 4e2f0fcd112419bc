// Reads ScriptDir + "install.inf" into SetupConfig through the profile API.
#pragma once

// Returns false only when the script file does not exist.
bool ReadSetupScript(bool uninstallMode);
