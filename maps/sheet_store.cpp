#include "maps/sheet_store.h"

#include <sys/stat.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "maps/map_view.h"
#include "maps/world_grid.h"
#include "maps/zoom_levels.h"

const char* const SHEET_DEFAULT_MAPS_DIR = "./Maps";

namespace {

// A sheet of an impossible position (or NaN) would be one of another place.
bool nameable(double lat, double lon) { return worldGridIsPosition(lat, lon); }

bool fits(int written, size_t size) { return written >= 0 && static_cast<size_t>(written) < size; }

bool isReadableFile(const char* path) {
    FILE* f = fopen(path, "rb");
    if (!f) return false;
    struct stat st;
    bool regular = fstat(fileno(f), &st) == 0 && S_ISREG(st.st_mode);
    fclose(f);
    return regular;
}

int deleteSheetOf(int format, double lat, double lon, int level, const char* mapsDir, char* outPath,
                  int bigMaps) {
    if (sheetStored(outPath, mapsDir, lat, lon, level, bigMaps, format) < 0) return 1;
    return remove(outPath) == 0 ? 0 : 1;
}

// Web Mercator sheets live in a folder of their own and carry their own
// prefix, so they never meet a sheet of the Canadian grid.
const char* const kMercatorFolder = "/epsg3857";


int folderOf(char* out, size_t outSize, const char* mapsDir, const char* plane, double lat, double lon) {
    if (!nameable(lat, lon)) return 0;
    char ns = lat >= 0 ? 'n' : 's';
    char ew = lon >= 0 ? 'e' : 'w';
    int lonDegrees = wholeDegrees(std::fabs(lon));
    int latDegrees = wholeDegrees(std::fabs(lat));
    return fits(snprintf(out, outSize, "%s%s/%c%02d0/%c%03d%c%03d", mapsDir, plane, ew, lonDegrees / 10, ew,
                         lonDegrees, ns, latDegrees),
                outSize);
}

}  // namespace

int sheetFolder(char* out, size_t outSize, const char* mapsDir, double lat, double lon) {
    return folderOf(out, outSize, mapsDir, "", lat, lon);
}

int sheetFileName(char* out, size_t outSize, double lat, double lon, int level, int bigMaps, int format) {
    if (!nameable(lat, lon)) return 0;
    char ns = lat >= 0 ? 'n' : 's';
    char ew = lon >= 0 ? 'e' : 'w';
    double alat = std::fabs(lat), alon = std::fabs(lon);
    if (level < 0 || level > ZOOM_FINEST) return 0;
    int plane = worldGridPlaneOf(lat, lon, level, bigMaps);
    if (plane == SHEET_PLANE_NONE) return 0;
    const char* prefix = plane == SHEET_PLANE_MERCATOR ? (bigMaps ? "wmd" : "wmc") : bigMaps ? "mad" : "mac";
    return fits(snprintf(out, outSize, "%s_%c%1d_%c%03d%02d%02d_%c%03d%02d%02d.%s", prefix,
                         zoomNameLetter(), level, ew, wholeDegrees(alon), wholeMinutes(alon), wholeSeconds(alon), ns,
                         wholeDegrees(alat), wholeMinutes(alat), wholeSeconds(alat),
                         format == SHEET_JPEG ? "jpg" : format == SHEET_PNG ? "png" : "gif"),
                outSize);
}

int sheetPath(char* out, size_t outSize, const char* mapsDir, double lat, double lon, int level, int bigMaps,
              int format) {
    char folder[SHEET_PATH_MAX], name[64];
    if (outSize) out[0] = '\0';
    int plane = worldGridPlaneOf(lat, lon, level, bigMaps);
    if (!folderOf(folder, sizeof folder, mapsDir, plane == SHEET_PLANE_MERCATOR ? kMercatorFolder : "", lat, lon))
        return 0;
    if (!sheetFileName(name, sizeof name, lat, lon, level, bigMaps, format)) return 0;
    if (fits(snprintf(out, outSize, "%s/%s", folder, name), outSize)) return 1;
    out[0] = '\0';
    return 0;
}

int sheetCreateFolders(const char* mapsDir, double lat, double lon, char* why, size_t whySize) {
    char folder[SHEET_PATH_MAX];
    if (!sheetFolder(folder, sizeof folder, mapsDir, lat, lon)) return 0;
    return sheetCreateFolderOf(mapsDir, folder, why, whySize);
}

int sheetCreateFolderOf(const char* mapsDir, const char* folderPath, char* why, size_t whySize) {
    char folder[SHEET_PATH_MAX];
    if (!fits(snprintf(folder, sizeof folder, "%s", folderPath), sizeof folder)) return 0;
    // Every missing folder on the way, the maps folder's parents included.
    int error = 0;
    for (char* p = folder + 1;; ++p) {
        if (*p != '/' && *p != '\0') continue;
        char end = *p;
        *p = '\0';
        if (mkdir(folder, 0777) != 0 && errno != EEXIST) error = errno;
        *p = end;
        if (!end) break;
    }
    struct stat st;
    if (stat(folder, &st) == 0 && S_ISDIR(st.st_mode)) return 1;
    if (why && whySize)
        snprintf(why, whySize, "The maps folder %s cannot be created (%s): no sheet can be stored", mapsDir,
                 strerror(error ? error : ENOTDIR));
    return 0;
}

int sheetStored(char* out, const char* mapsDir, double lat, double lon, int level, int bigMaps, int format) {
    if (!sheetPath(out, SHEET_PATH_MAX, mapsDir, lat, lon, level, bigMaps, format)) return -1;
    if (isReadableFile(out)) return format;
    // A topographic sheet from a WMS is the PNG of the same name.
    char png[SHEET_PATH_MAX];
    if (format != SHEET_GIF || !sheetPath(png, sizeof png, mapsDir, lat, lon, level, bigMaps, SHEET_PNG) ||
        !isReadableFile(png))
        return -1;
    memcpy(out, png, strlen(png) + 1);
    return SHEET_PNG;
}

int findSheetOf(int format, double* lat, double* lon, int* level, const char* mapsDir, char* outPath, int bigMaps,
                int walkCoarser) {
    for (;;) {
        if (sheetStored(outPath, mapsDir, *lat, *lon, *level, bigMaps, format) >= 0) return 0;
        if (!walkCoarser || *level <= 0) return 1;
        *level -= 1;
        // Big sheets lie on the grid with the doubled longitude step; outside
        // the Canadian area the coarser sheet is the Web Mercator one.
        const char* why;
        if (worldGridSnap(*lat, *lon, *level, bigMaps, lat, lon, &why) == SHEET_PLANE_NONE) return 1;
    }
}

int findSheet(double* lat, double* lon, int* level, const char* mapsDir, char* outPath, int bigMaps,
              int walkCoarser) {
    return findSheetOf(SHEET_GIF, lat, lon, level, mapsDir, outPath, bigMaps, walkCoarser);
}

int findSheetJpeg(double* lat, double* lon, int* level, const char* mapsDir, char* outPath, int bigMaps,
                  int walkCoarser) {
    return findSheetOf(SHEET_JPEG, lat, lon, level, mapsDir, outPath, bigMaps, walkCoarser);
}

int deleteSheet(double lat, double lon, int level, const char* mapsDir, char* outPath, int bigMaps) {
    return deleteSheetOf(SHEET_GIF, lat, lon, level, mapsDir, outPath, bigMaps);
}

int deleteSheetJpeg(double lat, double lon, int level, const char* mapsDir, char* outPath, int bigMaps) {
    return deleteSheetOf(SHEET_JPEG, lat, lon, level, mapsDir, outPath, bigMaps);
}
