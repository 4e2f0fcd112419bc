#include "app/setup_app_win.h"

int RunSetupApp(HINSTANCE, int) { return 0; }
