#include "maps/sheet_reload.h"

#include "maps/sheet_dispatch.h"

Result sheet_reload_fetch(int aerial, double lat, double lon, int level, const AppSettings* s, char* outPath, int bigMaps,
                   int rose, int grid, const SheetDownloadHooks* downloads) {
    const SheetDownloadHooks& h = downloads ? *downloads : sheet_download_hooks;
    outPath[0] = '\0';
    if (!h.refetchSheet) return result_fail("");
    return h.refetchSheet(aerial, lat, lon, level, s, outPath, bigMaps, rose, grid);
}
