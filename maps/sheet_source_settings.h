// The settings a sheet download reads (maps folder, map server, WMS
// sources), copied into a record of a download worker's own, so a worker
// never reads the window's record, which exit frees.
#pragma once

struct AppSettings;

void sheet_source_settings_copy(AppSettings* to, const AppSettings* from);
