#include "maps/sheet_reload.h"

#include <unistd.h>

#include <cstdio>
#include <string>

#include "maps/map_view.h"
#include "maps/sheet_dispatch.h"
#include "maps/sheet_store.h"
#include "settings/app_settings.h"

int reloadSheet(int aerial, double lat, double lon, int level, const AppSettings* s, char* outPath, int bigMaps,
                int rose, int grid, const SheetDownloadHooks* downloads) {
    const SheetDownloadHooks& h = downloads ? *downloads : sheet_download_hooks;
    if (aerial ? !h.downloadAerialSheet : !h.downloadSheet) return 0;
    char stored[SHEET_PATH_MAX];
    if (!sheetPath(stored, sizeof stored, s->mapsDir, lat, lon, level, bigMaps, aerial ? SHEET_JPEG : SHEET_GIF))
        return 0;
    // A topographic sheet from a WMS may be the PNG of the same name.
    char png[SHEET_PATH_MAX];
    if (!aerial && access(stored, F_OK) != 0 &&
        sheetPath(png, sizeof png, s->mapsDir, lat, lon, level, bigMaps, SHEET_PNG) && access(png, F_OK) == 0)
        snprintf(stored, sizeof stored, "%s", png);
    std::string aside = std::string(stored) + ".reload." + std::to_string(getpid());
    bool setAside = rename(stored, aside.c_str()) == 0;
    int ok = aerial ? h.downloadAerialSheet(lat, lon, level, s, outPath, bigMaps) == 0
                    : h.downloadSheet(lat, lon, level, s, outPath, bigMaps, rose, grid) == 0;
    ok = ok && access(stored, R_OK) == 0;
    if (setAside) {
        if (ok) unlink(aside.c_str());
        else rename(aside.c_str(), stored);
    }
    snprintf(outPath, SHEET_PATH_MAX, "%s", stored);
    return ok;
}
