// Fetching a stored sheet afresh without losing it when the server fails.
#pragma once
#include "platform/result.h"

struct AppSettings;
struct SheetDownloadHooks;

// Downloads the sheet again through downloads' refetch (null:
// sheet_download_hooks). The new sheet is written beside the stored one and
// renamed over it once whole, so a server that is down, or the program
// killed half way, never costs the offline copy. Ok when a new sheet is at
// outPath (SHEET_PATH_MAX bytes); else the download's reason (the stored
// sheet, if any, is as it was).
Result sheet_reload_fetch(int aerial, double lat, double lon, int level, const AppSettings* settings, char* outPath,
                   int bigMaps, int rose, int grid, const SheetDownloadHooks* downloads = nullptr);
