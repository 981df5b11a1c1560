#include "maps/sheet_dispatch.h"

#include "maps/sheet_source.h"
#include "maps/sheet_store.h"
#include "settings/app_settings.h"

SheetDownloadHooks sheet_download_hooks = {nullptr, nullptr, nullptr, nullptr};

namespace {

int downloadReady(int satelliteImage, double lat, double lon, int level, const AppSettings* settings, char* outPath,
                  int bigMaps, int rose, int grid) {
    if (satelliteImage) {
        if (!sheet_download_hooks.downloadAerialSheet) return 0;
        return sheet_download_hooks.downloadAerialSheet(lat, lon, level, settings, outPath, bigMaps) == 0;
    }
    if (!sheet_download_hooks.downloadSheet) return 0;
    return sheet_download_hooks.downloadSheet(lat, lon, level, settings, outPath, bigMaps, rose, grid) == 0;
}

}  // namespace

int getSheetForJump(int online, int satelliteImage, double* lat, double* lon, int* level,
                    const AppSettings* settings, char* outPath, int bigMaps, int rose, int grid) {
    if (online) return downloadReady(satelliteImage, *lat, *lon, *level, settings, outPath, bigMaps, rose, grid);
    int format = satelliteImage ? SHEET_JPEG : SHEET_GIF;
    return find_sheet_of(format, lat, lon, level, sheetStoreDir(settings, satelliteImage), outPath, bigMaps, 1);
}

int getSheetForPan(int online, int satelliteImage, double* lat, double* lon, int* level,
                   const AppSettings* settings, char* outPath, char direction, char* lastPanDir, int bigMaps,
                   int rose, int grid) {
    if (online) return downloadReady(satelliteImage, *lat, *lon, *level, settings, outPath, bigMaps, rose, grid);
    int format = satelliteImage ? SHEET_JPEG : SHEET_GIF;
    if (direction != *lastPanDir) {
        if (find_sheet_of(format, lat, lon, level, sheetStoreDir(settings, satelliteImage), outPath, bigMaps, 0)) {
            *lastPanDir = ' ';
            return 1;
        }
        *lastPanDir = direction;
        return 0;
    }
    int found = find_sheet_of(format, lat, lon, level, sheetStoreDir(settings, satelliteImage), outPath, bigMaps, 1);
    *lastPanDir = ' ';
    return found;
}
