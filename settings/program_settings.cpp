#include "settings/app_settings.h"

// Defaults until the settings files are read: no zoom letter, GMT, level 2,
// start at N 45 25 00, W 75 42 00.
ProgramSettings program_settings = {0, 0, "GMT", 2, 45.0 + 25.0 / 60.0, -(75.0 + 42.0 / 60.0)};
