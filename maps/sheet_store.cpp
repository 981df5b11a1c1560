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
bool nameable(double lat, double lon) { return world_grid_is_position(lat, lon); }

bool fits(int written, size_t size) { return written >= 0 && static_cast<size_t>(written) < size; }

bool isReadableFile(const char* path) {
    FILE* f = fopen(path, "rb");
    if (!f) return false;
    struct stat st;
    bool regular = fstat(fileno(f), &st) == 0 && S_ISREG(st.st_mode);
    fclose(f);
    return regular;
}

bool delete_sheet_of(int format, double lat, double lon, int level, const char* mapsDir, char* outPath,
                     int bigMaps) {
    return sheet_stored(outPath, mapsDir, lat, lon, level, bigMaps, format) >= 0 && remove(outPath) == 0;
}

// Web Mercator sheets live in a folder of their own and carry their own
// prefix, so they never meet a sheet of the Canadian grid.
const char* const kMercatorFolder = "/epsg3857";

int folderOf(char* out, size_t outSize, const char* mapsDir, const char* plane, double lat, double lon) {
    if (!nameable(lat, lon)) return 0;
    char ns = lat >= 0 ? 'n' : 's';
    char ew = lon >= 0 ? 'e' : 'w';
    int lonDegrees = dms_whole_degrees(std::fabs(lon));
    int latDegrees = dms_whole_degrees(std::fabs(lat));
    return fits(snprintf(out, outSize, "%s%s/%c%02d0/%c%03d%c%03d", mapsDir, plane, ew, lonDegrees / 10, ew,
                         lonDegrees, ns, latDegrees),
                outSize);
}

}  // namespace

int sheet_folder(char* out, size_t outSize, const char* mapsDir, double lat, double lon) {
    return folderOf(out, outSize, mapsDir, "", lat, lon);
}

int sheet_file_name(char* out, size_t outSize, double lat, double lon, int level, int bigMaps, int format) {
    if (!nameable(lat, lon)) return 0;
    char ns = lat >= 0 ? 'n' : 's';
    char ew = lon >= 0 ? 'e' : 'w';
    double alat = std::fabs(lat), alon = std::fabs(lon);
    if (level < 0 || level > ZOOM_FINEST) return 0;
    int plane = world_grid_plane_of(lat, lon, level, bigMaps);
    if (plane == VIEW_PLANE_NONE) return 0;
    const char* prefix = plane == VIEW_PLANE_WEB_MERCATOR ? (bigMaps ? "wmd" : "wmc") : bigMaps ? "mad" : "mac";
    return fits(snprintf(out, outSize, "%s_%c%1d_%c%03d%02d%02d_%c%03d%02d%02d.%s", prefix,
                         zoom_level_name_letter(), level, ew, dms_whole_degrees(alon), dms_whole_minutes(alon), dms_whole_seconds(alon), ns,
                         dms_whole_degrees(alat), dms_whole_minutes(alat), dms_whole_seconds(alat),
                         format == SHEET_JPEG ? "jpg" : format == SHEET_PNG ? "png" : "gif"),
                outSize);
}

int sheet_path(char* out, size_t outSize, const char* mapsDir, double lat, double lon, int level, int bigMaps,
              int format) {
    char folder[SHEET_PATH_MAX], name[64];
    if (outSize) out[0] = '\0';
    int plane = world_grid_plane_of(lat, lon, level, bigMaps);
    if (!folderOf(folder, sizeof folder, mapsDir, plane == VIEW_PLANE_WEB_MERCATOR ? kMercatorFolder : "", lat, lon))
        return 0;
    if (!sheet_file_name(name, sizeof name, lat, lon, level, bigMaps, format)) return 0;
    if (fits(snprintf(out, outSize, "%s/%s", folder, name), outSize)) return 1;
    out[0] = '\0';
    return 0;
}

Result sheet_create_folders(const char* mapsDir, double lat, double lon) {
    char folder[SHEET_PATH_MAX];
    if (!sheet_folder(folder, sizeof folder, mapsDir, lat, lon))
        return result_fail(std::string("The sheet's folder in ") + mapsDir + " is too long");
    return sheet_create_folder_of(mapsDir, folder);
}

Result sheet_create_folder_of(const char* mapsDir, const char* folderPath) {
    char folder[SHEET_PATH_MAX];
    if (!fits(snprintf(folder, sizeof folder, "%s", folderPath), sizeof folder))
        return result_fail(std::string("The sheet's folder in ") + mapsDir + " is too long");
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
    if (stat(folder, &st) == 0 && S_ISDIR(st.st_mode)) return result_ok();
    return result_fail(std::string("The maps folder ") + mapsDir + " cannot be created (" +
                       strerror(error ? error : ENOTDIR) + "): no sheet can be stored");
}

int sheet_stored(char* out, const char* mapsDir, double lat, double lon, int level, int bigMaps, int format) {
    if (!sheet_path(out, SHEET_PATH_MAX, mapsDir, lat, lon, level, bigMaps, format)) return -1;
    if (isReadableFile(out)) return format;
    // A topographic sheet from a WMS is the PNG of the same name.
    char png[SHEET_PATH_MAX];
    if (format != SHEET_GIF || !sheet_path(png, sizeof png, mapsDir, lat, lon, level, bigMaps, SHEET_PNG) ||
        !isReadableFile(png))
        return -1;
    memcpy(out, png, strlen(png) + 1);
    return SHEET_PNG;
}

bool find_sheet_of(int format, double* lat, double* lon, int* level, const char* mapsDir, char* outPath,
                   int bigMaps, int walkCoarser) {
    for (;;) {
        if (sheet_stored(outPath, mapsDir, *lat, *lon, *level, bigMaps, format) >= 0) return true;
        if (!walkCoarser || *level <= 0) return false;
        *level -= 1;
        // Big sheets lie on the grid with the doubled longitude step; outside
        // the Canadian area the coarser sheet is the Web Mercator one.
        const char* why;
        if (world_grid_snap(*lat, *lon, *level, bigMaps, lat, lon, &why) == VIEW_PLANE_NONE) return false;
    }
}

bool find_sheet(double* lat, double* lon, int* level, const char* mapsDir, char* outPath, int bigMaps,
                int walkCoarser) {
    return find_sheet_of(SHEET_GIF, lat, lon, level, mapsDir, outPath, bigMaps, walkCoarser);
}

bool find_sheet_jpeg(double* lat, double* lon, int* level, const char* mapsDir, char* outPath, int bigMaps,
                     int walkCoarser) {
    return find_sheet_of(SHEET_JPEG, lat, lon, level, mapsDir, outPath, bigMaps, walkCoarser);
}

bool delete_sheet(double lat, double lon, int level, const char* mapsDir, char* outPath, int bigMaps) {
    return delete_sheet_of(SHEET_GIF, lat, lon, level, mapsDir, outPath, bigMaps);
}

bool delete_sheet_jpeg(double lat, double lon, int level, const char* mapsDir, char* outPath, int bigMaps) {
    return delete_sheet_of(SHEET_JPEG, lat, lon, level, mapsDir, outPath, bigMaps);
}
