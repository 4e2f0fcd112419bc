#include "package/setup_config.h"

SetupConfig& Config() {
    // Built on first use, so no start-up order between files matters.
    static SetupConfig config;
    return config;
}
