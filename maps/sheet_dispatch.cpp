#include "maps/sheet_dispatch.h"

#include "maps/sheet_source.h"
#include "maps/sheet_store.h"
#include "settings/app_settings.h"

SheetDownloadHooks sheet_download_hooks = {nullptr, nullptr, nullptr, nullptr};

namespace {

Result downloadReady(int satelliteImage, double lat, double lon, int level, const AppSettings* settings, char* outPath,
                  int bigMaps, int rose, int grid) {
    if (satelliteImage) {
        if (!sheet_download_hooks.aerialSheet) return result_fail("");
        return sheet_download_hooks.aerialSheet(lat, lon, level, settings, outPath, bigMaps);
    }
    if (!sheet_download_hooks.topoSheet) return result_fail("");
    return sheet_download_hooks.topoSheet(lat, lon, level, settings, outPath, bigMaps, rose, grid);
}

Result found(bool stored) { return stored ? result_ok() : result_fail(""); }

}  // namespace

Result sheet_dispatch_for_jump(int online, int satelliteImage, double* lat, double* lon, int* level,
                       const AppSettings* settings, char* outPath, int bigMaps, int rose, int grid) {
    if (online) return downloadReady(satelliteImage, *lat, *lon, *level, settings, outPath, bigMaps, rose, grid);
    int format = satelliteImage ? SHEET_JPEG : SHEET_GIF;
    return found(find_sheet_of(format, lat, lon, level, sheet_source_store_dir(settings, satelliteImage), outPath, bigMaps, 1));
}

Result sheet_dispatch_for_pan(int online, int satelliteImage, double* lat, double* lon, int* level,
                      const AppSettings* settings, char* outPath, char direction, char* lastPanDir, int bigMaps,
                      int rose, int grid) {
    if (online) return downloadReady(satelliteImage, *lat, *lon, *level, settings, outPath, bigMaps, rose, grid);
    int format = satelliteImage ? SHEET_JPEG : SHEET_GIF;
    if (direction != *lastPanDir) {
        if (find_sheet_of(format, lat, lon, level, sheet_source_store_dir(settings, satelliteImage), outPath, bigMaps, 0)) {
            *lastPanDir = ' ';
            return result_ok();
        }
        *lastPanDir = direction;
        return found(false);
    }
    bool stored = find_sheet_of(format, lat, lon, level, sheet_source_store_dir(settings, satelliteImage), outPath, bigMaps, 1);
    *lastPanDir = ' ';
    return found(stored);
}
