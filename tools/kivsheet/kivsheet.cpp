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
//                       [--aerial] [--jobs N] [--dry-run] [--maps DIR] [--server URL]
//   kivsheet fetch-route FILE.gpx|track.txt --corridor KM --levels 2-4 [same options]
//                             every sheet of the area or the corridor, stored
//                             ones skipped; a progress bar on a terminal, a
//                             line per sheet otherwise, and a summary
// Exit status 0 on success, 2 on any error.

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "maps/map_view.h"
#include "maps/png_sheet.h"
#include "maps/sheet_download.h"
#include "maps/sheet_extent.h"
#include "maps/sheet_image.h"
#include "maps/sheet_store.h"
#include "maps/zoom_levels.h"
#include "platform/console_backend.h"
#include "settings/app_settings.h"
#include "settings/atomic_file.h"
#include "settings/ini_keys.h"
#include "settings/program_settings.h"
#include "settings/settings_load.h"
#include "tools/kivsheet/kivsheet_area.h"

namespace {

int usage() {
    fprintf(stderr,
            "usage: kivsheet info FILE\n"
            "       kivsheet name LAT LON LEVEL [--big] [--zoom-letter S] [--jpg] [--maps DIR]\n"
            "       kivsheet png FILE OUT.png\n"
            "       kivsheet fetch LAT LON LEVEL [--big] [--aerial] [--maps DIR] [--server URL]\n"
            "       kivsheet fetch-area --bbox SOUTH WEST NORTH EAST --levels 2-4 [--big] [--aerial] [--jobs N]\n"
            "                           [--dry-run] [--maps DIR] [--server URL]\n"
            "       kivsheet fetch-route FILE.gpx|track.txt --corridor KM --levels 2-4 [same options]\n");
    return 2;
}

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
    int format = sheetImageFormat(magic, n);
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
    if (!decodeSheetFile(path, *format, pixels, w, h)) return fail("%s: does not decode as %s", path, formatName(*format));
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
    int len = sheetReadExtentRecord(path, format, text, sizeof text);
    if (len < 0) {
        printf("record: none\n");
        return 0;
    }
    printf("record: ");
    printEscaped(text);
    printf("\n");
    SheetExtent e;
    if (!sheetParseExtentRecord(text, static_cast<size_t>(len), &e)) {
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
int parsePoint(char** argv, double* lat, double* lon, int* level) {
    if (!parseDouble(argv[2], lat) || *lat < -90 || *lat > 90) return fail("bad latitude: %s", argv[2]);
    if (!parseDouble(argv[3], lon) || *lon < -180 || *lon > 180) return fail("bad longitude: %s", argv[3]);
    char* end = nullptr;
    long value = strtol(argv[4], &end, 10);
    if (end == argv[4] || *end || value < 0 || value > ZOOM_FINEST) return fail("bad level: %s (0 to 4)", argv[4]);
    *level = static_cast<int>(value);
    return 0;
}

int name(int argc, char** argv) {
    if (argc < 5) return usage();
    double lat = 0, lon = 0;
    int level = 0;
    if (int rc = parsePoint(argv, &lat, &lon, &level)) return rc;
    int big = 0, format = SHEET_GIF;
    const char* maps = SHEET_DEFAULT_MAPS_DIR;
    for (int i = 5; i < argc; i++) {
        if (!strcmp(argv[i], "--big")) {
            big = 1;
        } else if (!strcmp(argv[i], "--jpg")) {
            format = SHEET_JPEG;
        } else if (!strcmp(argv[i], "--zoom-letter") && i + 1 < argc) {
            program_settings.zoomLetter = static_cast<char>(toupper(static_cast<unsigned char>(argv[++i][0])));
        } else if (!strcmp(argv[i], "--maps") && i + 1 < argc) {
            maps = argv[++i];
        } else {
            return fail("unknown option: %s", argv[i]);
        }
    }
    // The program asks for big sheets on the doubled longitude grid.
    lat = snapLatitude(lat, level, 0);
    lon = snapLongitude(lon, level, big);
    char path[SHEET_PATH_MAX];
    if (!sheetPath(path, sizeof path, maps, lat, lon, level, big, format)) return fail("path too long: %s", maps);
    printf("%s\n", path);
    return 0;
}

bool copySetting(char* out, size_t size, const char* value) {
    size_t n = strlen(value);
    if (n >= size) return false;
    memcpy(out, value, n + 1);
    return true;
}

int fetch(int argc, char** argv) {
    if (argc < 5) return usage();
    double lat = 0, lon = 0;
    int level = 0;
    if (int rc = parsePoint(argv, &lat, &lon, &level)) return rc;
    // The settings the program would use, from kiv_ini.txt when present.
    static AppSettings settings;
    settings_defaults(&settings);
    settings_read_display_keys(&settings);
    settings_read_linux_keys(&settings);
    program_settings.zoomLetter = settings_read_zoom_letter();
    int big = 0, aerial = 0;
    for (int i = 5; i < argc; i++) {
        if (!strcmp(argv[i], "--big")) {
            big = 1;
        } else if (!strcmp(argv[i], "--aerial")) {
            aerial = 1;
        } else if (!strcmp(argv[i], "--maps") && i + 1 < argc) {
            if (!copySetting(settings.mapsDir, sizeof settings.mapsDir, argv[++i]))
                return fail("maps folder too long: %s", argv[i]);
        } else if (!strcmp(argv[i], "--server") && i + 1 < argc) {
            if (!copySetting(settings.serverUrl, sizeof settings.serverUrl, argv[++i]))
                return fail("server address too long: %s", argv[i]);
        } else {
            return fail("unknown option: %s", argv[i]);
        }
    }
    lat = snapLatitude(lat, level, 0);
    lon = snapLongitude(lon, level, big);
    char path[SHEET_PATH_MAX] = "";
    int rc = aerial ? downloadAerialSheet(lat, lon, level, &settings, path, big)
                    : downloadSheet(lat, lon, level, &settings, path, big, settings.rose, settings.grid);
    if (rc != 0) {
        const char* why = sheetDownloadFailure();
        return fail("%s: %s", path[0] ? path : "sheet", why[0] ? why : "download failed");
    }
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
    if (argc < 2) return usage();
    std::string cmd = argv[1];
    if (cmd == "info" && argc == 3) return info(argv[2]);
    if (cmd == "name") return name(argc, argv);
    if (cmd == "png" && argc == 4) return png(argv[2], argv[3]);
    if (cmd == "fetch") return fetch(argc, argv);
    if (cmd == "fetch-area") return kivsheet_fetch_area(argc, argv);
    if (cmd == "fetch-route") return kivsheet_fetch_route(argc, argv);
    return usage();
}
