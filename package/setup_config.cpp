#include "package/setup_config.h"

#include <new>

SetupConfig& Config() {
    // Built on first use, so no start-up order between files matters. The
    // record is constructed into zeroed storage: a constant-initialised static
    // would be stored in the program file (its 2500 group slots are 90 KB).
    alignas(SetupConfig) static unsigned char storage[sizeof(SetupConfig)];
    static SetupConfig* config = new (storage) SetupConfig();
    return *config;
}
