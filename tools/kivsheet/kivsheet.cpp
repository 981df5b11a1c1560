// kivsheet: look at map sheets outside the program.
//   kivsheet info FILE        decoded size and extent record of a GIF, PNG or JPEG sheet
//   kivsheet name LAT LON LEVEL [--big] [--zoom-letter S] [--jpg] [--maps DIR]
//                             path of the sheet for that point in the store
//   kivsheet png FILE OUT.png the decoded sheet as a PNG image
//   kivsheet fetch LAT LON LEVEL [--big] [--aerial] [--maps DIR] [--server URL]
//                             downloads the sheet for that point from the map
//                             server (Maps=, Server=, Rose=, Grid= and Zoom= of
//                             kiv_ini.txt apply) and prints its path, or on
//                             standard error the file asked for and why not
//   kivsheet fetch-area --bbox SOUTH WEST NORTH EAST --levels 2-4 [--big]
//                       [--aerial] [--jobs N] [--dry-run] [--force] [--refresh] [--maps DIR] [--server URL]
//   kivsheet fetch-route FILE.gpx|track.txt --corridor KM --levels 2-4 [same options]
//                             every sheet of the area or the corridor, stored
//                             ones skipped; a progress bar on a terminal, a
//                             line per sheet otherwise, and a summary; with
//                             --refresh stored sheets are fetched afresh too
//   kivsheet store [--prune SOURCE|all] [--older-than DAYS] [--maps DIR]
//                             the store by source and level, or pruned
//   kivsheet --help | --version
// Exit status 0 on success, 2 on any error.

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "maps/map_view.h"
#include "maps/png_sheet.h"
#include "maps/sheet_download.h"
#include "maps/sheet_extent.h"
#include "maps/sheet_image.h"
#include "maps/sheet_source.h"
#include "maps/sheet_store.h"
#include "maps/world_grid.h"
#include "maps/zoom_levels.h"
#include "platform/console_backend.h"
#include "settings/app_settings.h"
#include "settings/atomic_file.h"
#include "settings/ini_keys.h"
#include "settings/program_settings.h"
#include "settings/settings_load.h"
#include "tools/kivsheet/kivsheet_area.h"
#include "tools/kivsheet/kivsheet_options.h"
#include "tools/kivsheet/kivsheet_store.h"

namespace {

int fail(const char* fmt, const char* a, const char* b = "") {
    fprintf(stderr, "kivsheet: ");
    fprintf(stderr, fmt, a, b);
    fprintf(stderr, "\n");
    return 2;
}

bool endsWith(const std::string& s, const char* suffix) {
    size_t n = strlen(suffix);
    if (s.size() < n) return false;
    for (size_t i = 0; i < n; i++)
        if (tolower(static_cast<unsigned char>(s[s.size() - n + i])) != suffix[i]) return false;
    return true;
}

const char* formatName(int format) { return format == SHEET_JPEG ? "JPEG" : format == SHEET_PNG ? "PNG" : "GIF"; }

// Format by the file's first bytes, else by its extension; -1 if neither.
int sheetFormatOf(const char* path) {
    unsigned char magic[8] = {0};
    FILE* f = fopen(path, "rb");
    if (!f) return -2;
    size_t n = fread(magic, 1, sizeof magic, f);
    fclose(f);
    int format = sheet_image_format(magic, n);
    if (format >= 0) return format;
    std::string p = path;
    if (endsWith(p, ".gif")) return SHEET_GIF;
    if (endsWith(p, ".png")) return SHEET_PNG;
    if (endsWith(p, ".jpg") || endsWith(p, ".jpeg")) return SHEET_JPEG;
    return -1;
}

int decode(const char* path, unsigned char** pixels, int* w, int* h, int* format) {
    *format = sheetFormatOf(path);
    if (*format == -2) return fail("%s: cannot open", path);
    if (*format == -1) return fail("%s: not a GIF, PNG or JPEG sheet", path);
    if (!sheet_image_decode_file(path, *format, pixels, w, h)) return fail("%s: does not decode as %s", path, formatName(*format));
    return 0;
}

void printEscaped(const char* text) {
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; p++)
        if (isprint(*p))
            putchar(*p);
        else
            printf("\\x%02x", *p);
}

int info(const char* path) {
    unsigned char* pixels = nullptr;
    int w = 0, h = 0, format = 0;
    if (int rc = decode(path, &pixels, &w, &h, &format)) return rc;
    free(pixels);
    printf("file: %s\nformat: %s\nsize: %d x %d\n", path, formatName(format), w, h);
    static char text[SHEET_JPEG_RECORD_MAX + 1];
    int len = sheet_extent_read_record(path, format, text, sizeof text);
    if (len < 0) {
        printf("record: none\n");
        return 0;
    }
    printf("record: ");
    printEscaped(text);
    printf("\n");
    SheetExtent e;
    if (!sheet_extent_parse(text, static_cast<size_t>(len), &e)) {
        printf("extent: unreadable\n");
        return 0;
    }
    printf("scale: %ld\ncentre: %f %f\nextent: %f %f %f %f\nangle: %f\n", e.scale, e.centreX, e.centreY, e.minX,
           e.minY, e.maxX, e.maxY, e.angle);
    return 0;
}

bool parseDouble(const char* s, double* v) {
    char* end = nullptr;
    *v = strtod(s, &end);
    return end != s && *end == '\0';
}

// LAT LON LEVEL of the name and fetch commands.
int parsePoint(const KivsheetOptions& o, double* lat, double* lon, int* level) {
    const char* const* p = o.operands.data();
    // Written so that NaN is refused too.
    if (!parseDouble(p[0], lat) || !(std::fabs(*lat) <= 90)) return fail("bad latitude: %s (-90 to 90)", p[0]);
    if (!parseDouble(p[1], lon) || !(std::fabs(*lon) <= 180)) return fail("bad longitude: %s (-180 to 180)", p[1]);
    char* end = nullptr;
    long value = strtol(p[2], &end, 10);
    if (end == p[2] || *end || value < 0 || value > ZOOM_FINEST) return fail("bad level: %s (0 to 4)", p[2]);
    *level = static_cast<int>(value);
    return 0;
}

// The centre of the sheet at the point, in the Canadian grid or Web
// Mercator. The program asks for big sheets on the doubled longitude grid.
int snapPoint(double* lat, double* lon, int level, int big) {
    const char* why = "";
    if (world_grid_snap(*lat, *lon, level, big, lat, lon, &why) == VIEW_PLANE_NONE) return fail("%s", why);
    return 0;
}

int name(const KivsheetOptions& o) {
    double lat = 0, lon = 0;
    int level = 0;
    if (int rc = parsePoint(o, &lat, &lon, &level)) return rc;
    int big = o.big, aerial = o.jpg, format = aerial ? SHEET_JPEG : SHEET_GIF;
    // The store kiv_ini.txt names (Maps= and the sources), as a fetch would
    // use it; the maps folder of the old map server is only looked at.
    static AppSettings settings;
    kivsheet_load_settings(&settings);
    if (!o.maps.empty() && o.maps.size() >= sizeof settings.mapsDir) return fail("path too long: %s", o.maps.c_str());
    if (!o.maps.empty()) memcpy(settings.mapsDir, o.maps.c_str(), o.maps.size() + 1);
    if (sheet_source_kind(&settings, aerial) != SHEET_SOURCE_SERVER) {
        if (Result selected = sheet_source_select_store(&settings); !selected) return fail("%s", selected.why.c_str());
    }
    const char* maps = sheet_source_store_dir(&settings, aerial);
    if (o.zoomLetter) program_settings.zoomLetter = o.zoomLetter;
    if (int rc = snapPoint(&lat, &lon, level, big)) return rc;
    char path[SHEET_PATH_MAX];
    // Where the sheet is, else where it would go: a topographic sheet of
    // tiles or a WMS is a PNG.
    if (sheet_stored(path, maps, lat, lon, level, big, format) < 0 &&
        !sheet_path(path, sizeof path, maps, lat, lon, level, big,
                   !aerial && sheet_source_kind(&settings, 0) != SHEET_SOURCE_SERVER ? SHEET_PNG : format))
        return fail("path too long: %s", maps);
    printf("%s\n", path);
    return 0;
}

int fetch(const KivsheetOptions& o) {
    double lat = 0, lon = 0;
    int level = 0;
    if (int rc = parsePoint(o, &lat, &lon, &level)) return rc;
    static AppSettings settings;
    kivsheet_load_settings(&settings);
    if (int rc = kivsheet_apply_paths(o, &settings)) return rc;
    int big = o.big, aerial = o.aerial;
    if (int rc = snapPoint(&lat, &lon, level, big)) return rc;
    char path[SHEET_PATH_MAX] = "";
    Result got = aerial ? sheet_download_aerial(lat, lon, level, &settings, path, big)
                        : sheet_download_topo(lat, lon, level, &settings, path, big, settings.rose, settings.grid);
    if (!got) return fail("%s: %s", path[0] ? path : "sheet", got.why.empty() ? "download failed" : got.why.c_str());
    printf("%s\n", path);
    return 0;
}

int writePng(const char* out, const unsigned char* pixels, int w, int h) {
    unsigned char* png = nullptr;
    size_t size = 0;
    int ok = png_write_rgb_memory(pixels, w, h, &png, &size) &&
             write_file_atomically(out, reinterpret_cast<const char*>(png), size);
    free(png);
    return ok ? 0 : fail("%s: cannot write PNG", out);
}

int png(const char* path, const char* out) {
    unsigned char* pixels = nullptr;
    int w = 0, h = 0, format = 0;
    if (int rc = decode(path, &pixels, &w, &h, &format)) return rc;
    int rc = writePng(out, pixels, w, h);
    free(pixels);
    return rc;
}

}  // namespace

int main(int argc, char** argv) {
    // Settings and sheet warnings are printed, as the window would show them.
    platform_install_console("kivsheet");
    KivsheetOptions o;
    int rc = kivsheet_parse(argc, argv, &o);
    if (rc) return rc < 0 ? 0 : rc;
    const char* const* p = o.operands.data();
    if (o.command == "info") return info(p[0]);
    if (o.command == "name") return name(o);
    if (o.command == "png") return png(p[0], p[1]);
    if (o.command == "fetch") return fetch(o);
    if (o.command == "fetch-area") return kivsheet_fetch_area(o);
    if (o.command == "store") return kivsheet_store(o);
    return kivsheet_fetch_route(o);
}
