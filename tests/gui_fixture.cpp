// Prepares a working folder for the program under Xvfb and tells the GUI
// tests where things must appear.
//   kiv_gui_fixture sheets DIR LAT LON LEVEL
//       writes small (480 x 360) GIF sheets with their extent records into
//       DIR/Maps: the grid points around (LAT, LON) at LEVEL and LEVEL + 1,
//       each sheet with its own colours
//   kiv_gui_fixture marker DIR SHEETLAT SHEETLON LEVEL FIXLAT FIXLON
//       prints "X Y": the marker's centre in client coordinates on the sheet
//       of that grid point, by the projection and the stored extent record
//   kiv_gui_fixture colour DIR SHEETLAT SHEETLON LEVEL X Y
//       prints the sheet's colour at client point (X, Y) as RRGGBB
//   kiv_gui_fixture path DIR LAT LON LEVEL
//       prints the path of the sheet of that grid point
//   kiv_gui_fixture name LAT LON LEVEL
//       prints the file name of the sheet of that grid point
// Exit status 0, or 2 on any error.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "maps/lcc.h"
#include "maps/map_view.h"
#include "maps/sheet_extent.h"
#include "maps/sheet_store.h"
#include "maps/zoom_levels.h"
#include "sheet_test_files.h"

namespace {

constexpr int kW = 480, kH = 360, kPaneX = 1, kPaneY = 49;

// The sheet's own colours: the map-like picture with indices shifted by a
// number per sheet, so neighbours differ everywhere.
int shiftOf(double lat, double lon, int level) {
    long a = lround(lat * 3600), b = lround(lon * 3600);
    return static_cast<int>(((a * 31 + b * 17 + level * 7) % 97 + 97) % 97) + 1;
}

Bytes sheetIndices(int shift) {
    Bytes idx = mapLikeIndices(kW, kH);
    for (auto& i : idx) i = static_cast<unsigned char>((i + shift) & 0xFF);
    return idx;
}

int writeSheet(const char* dir, double lat, double lon, int level) {
    double cx, cy;
    if (!ll2lcc(&cx, &cy, lat, lon)) return 0;
    double heightM = 1.5 * zoomStep(level) * 111000.0, widthM = heightM * kW / kH;
    SheetExtent e{zoomScale(level), cx, cy, cx - widthM / 2, cy - heightM / 2, cx + widthM / 2, cy + heightM / 2, 0};
    char record[256], path[SHEET_PATH_MAX];
    std::string maps = std::string(dir) + "/Maps";
    if (sheetFormatExtentRecord(record, sizeof record, &e) <= 0) return 0;
    if (!sheetPath(path, sizeof path, maps.c_str(), lat, lon, level, 0, SHEET_GIF)) return 0;
    Bytes gif = makeGif(kW, kH, sheetIndices(shiftOf(lat, lon, level)));
    unsigned char* out = nullptr;
    size_t outSize = 0;
    if (!sheetInsertExtentGif(gif.data(), gif.size(), record, &out, &outSize)) return 0;
    writeBytes(path, Bytes(out, out + outSize));
    free(out);
    return 1;
}

int sheets(const char* dir, double lat, double lon, int level) {
    for (int l = level; l <= level + 1 && l <= 4; l++) {
        double step = zoomStep(l);
        double clat = snapLatitude(lat, l, 0), clon = snapLongitude(lon, l, 0);
        for (int i = -2; i <= 2; i++)
            for (int j = -2; j <= 2; j++) {
                double glat = snapLatitude(clat + i * step, l, 0), glon = snapLongitude(clon + j * step, l, 0);
                if (!writeSheet(dir, glat, glon, l)) return 2;
            }
    }
    return 0;
}

int extentOf(const char* dir, double lat, double lon, int level, SheetExtent* e) {
    std::string maps = std::string(dir) + "/Maps";
    double slat = snapLatitude(lat, level, 0), slon = snapLongitude(lon, level, 0);
    return readSheetExtents(slat, slon, level, maps.c_str(), 0, &e->centreX, &e->centreY, &e->minX, &e->minY,
                            &e->maxX, &e->maxY);
}

int marker(const char* dir, double lat, double lon, int level, double flat, double flon) {
    SheetExtent e{};
    double x, y;
    if (!extentOf(dir, lat, lon, level, &e) || !ll2lcc(&x, &y, flat, flon)) return 2;
    int px = static_cast<int>(std::floor(kW * (x - e.minX) / (e.maxX - e.minX)));
    int py = kH - 1 - static_cast<int>(std::floor(kH * (y - e.minY) / (e.maxY - e.minY)));
    if (px < 0 || px >= kW || py < 0 || py >= kH) return 2;
    printf("%d %d\n", kPaneX + px, kPaneY + py);
    return 0;
}

int colour(double lat, double lon, int level, int x, int y) {
    int px = x - kPaneX, py = y - kPaneY;
    if (px < 0 || px >= kW || py < 0 || py >= kH) return 2;
    double slat = snapLatitude(lat, level, 0), slon = snapLongitude(lon, level, 0);
    Bytes idx = sheetIndices(shiftOf(slat, slon, level));
    GifColorType c = testPalette()[idx[static_cast<size_t>(py) * kW + px]];
    printf("%02X%02X%02X\n", c.Red, c.Green, c.Blue);
    return 0;
}

int pathOf(const char* dir, double lat, double lon, int level) {
    char path[SHEET_PATH_MAX];
    std::string maps = std::string(dir) + "/Maps";
    if (!sheetPath(path, sizeof path, maps.c_str(), snapLatitude(lat, level, 0), snapLongitude(lon, level, 0), level,
                   0, SHEET_GIF))
        return 2;
    printf("%s\n", path);
    return 0;
}

int nameOf(double lat, double lon, int level) {
    char name[SHEET_PATH_MAX];
    if (!sheetFileName(name, sizeof name, snapLatitude(lat, level, 0), snapLongitude(lon, level, 0), level, 0,
                       SHEET_GIF))
        return 2;
    printf("%s\n", name);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    auto num = [&](int i) { return strtod(argv[i], nullptr); };
    if (argc == 6 && !strcmp(argv[1], "sheets")) return sheets(argv[2], num(3), num(4), atoi(argv[5]));
    if (argc == 8 && !strcmp(argv[1], "marker")) return marker(argv[2], num(3), num(4), atoi(argv[5]), num(6), num(7));
    if (argc == 8 && !strcmp(argv[1], "colour")) return colour(num(3), num(4), atoi(argv[5]), atoi(argv[6]), atoi(argv[7]));
    if (argc == 6 && !strcmp(argv[1], "path")) return pathOf(argv[2], num(3), num(4), atoi(argv[5]));
    if (argc == 5 && !strcmp(argv[1], "name")) return nameOf(num(2), num(3), atoi(argv[4]));
    fprintf(stderr, "usage: kiv_gui_fixture sheets DIR LAT LON LEVEL | marker DIR SLAT SLON LEVEL FLAT FLON |"
                    " colour DIR SLAT SLON LEVEL X Y | path DIR LAT LON LEVEL | name LAT LON LEVEL\n");
    return 2;
}
