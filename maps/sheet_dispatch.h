// Getting the sheet for a jump or a pan: downloaded when online, looked up
// in the store when offline.
#pragma once
#include "platform/result.h"

struct AppSettings;

// Filled by the download module. Each is ok when the sheet file is ready
// at outPath (SHEET_PATH_MAX bytes), else fails with the reason for the
// window (none when there is nothing to tell, as for a sheet only queued).
// While a hook is null the online branch reports "not ready".
struct SheetDownloadHooks {
    Result (*topoSheet)(double lat, double lon, int level, const AppSettings* settings, char* outPath, int bigMaps,
                        int rose, int grid);
    Result (*aerialSheet)(double lat, double lon, int level, const AppSettings* settings, char* outPath,
                          int bigMaps);
    // 1: transfers in flight end as soon as they can (and new ones fail at
    // once) so the program can exit; 0 lifts it. May stay null.
    void (*cancelDownloads)(int cancel);
    // Fetches the sheet (JPEG aerial one with aerial set) afresh although
    // it is stored; the stored file stays in place until the new one is
    // whole. Same results as above. May stay null: no reload then.
    Result (*refetchSheet)(int aerial, double lat, double lon, int level, const AppSettings* settings, char* outPath,
                           int bigMaps, int rose, int grid);
};
extern SheetDownloadHooks sheet_download_hooks;

// Ok when a sheet file is ready at outPath (lat, lon and level may have
// walked to a coarser sheet offline); else the download's reason (none
// offline: the store simply has no sheet there).
Result sheet_dispatch_for_jump(int online, int satelliteImage, double* lat, double* lon, int* level,
                       const AppSettings* settings, char* outPath, int bigMaps, int rose, int grid);

// Offline, a pan into a hole at the current level does nothing the first
// time (remembering the direction in *lastPanDir) and walks to coarser
// levels when repeated in the same direction.
Result sheet_dispatch_for_pan(int online, int satelliteImage, double* lat, double* lon, int* level,
                      const AppSettings* settings, char* outPath, char direction, char* lastPanDir, int bigMaps,
                      int rose, int grid);
