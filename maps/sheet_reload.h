// Fetching a stored sheet afresh without losing it when the server fails.
#pragma once

struct AppSettings;
struct SheetDownloadHooks;

// Downloads the sheet again through downloads (null: sheet_download_hooks). The stored file
// is set aside under a temporary name in its folder and put back unless a
// new sheet was stored whole, so a server that is down never costs the
// offline copy. 1 when a new sheet is at outPath (SHEET_PATH_MAX bytes);
// 0 when the download failed (the old sheet, if any, is in place again).
int reloadSheet(int aerial, double lat, double lon, int level, const AppSettings* settings, char* outPath,
                int bigMaps, int rose, int grid, const SheetDownloadHooks* downloads = nullptr);
