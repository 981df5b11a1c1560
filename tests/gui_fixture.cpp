// Prepares a working folder for the program under Xvfb and tells the GUI
// tests where things must appear. BIG is 0 for small sheets, 1 for big ones.
//   kiv_gui_fixture sheets DIR LAT LON LEVEL
//       writes GIF sheets with their extent records into DIR/Maps: small and
//       big, for the grid points around (LAT, LON) at LEVEL and LEVEL + 1,
//       each sheet with its own colours
//   kiv_gui_fixture marker DIR SHEETLAT SHEETLON LEVEL BIG FIXLAT FIXLON
//       prints "X Y": the marker's centre in client coordinates on the sheet
//       of that grid point, by the projection and the stored extent record
//   kiv_gui_fixture colour FIXLAT FIXLON LEVEL BIG X Y
//       prints the map's colour at client point (X, Y) as RRGGBB while Auto
//       Pan follows a fix there (sheetcolour: the view of that grid point's
//       sheet, Auto Pan off)
//   kiv_gui_fixture path DIR LAT LON LEVEL
//       prints the path of the small sheet of that grid point
//   kiv_gui_fixture name LAT LON LEVEL
//       prints the file name of the small sheet of that grid point
// Exit status 0, or 2 on any error.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "app/app_state.h"
#include "maps/view_compose.h"
#include "maps/view_plane.h"
#include "maps/world_grid.h"
#include "tests/gui_sheets.h"

namespace {

constexpr int kPaneX = APP_PANE_LEFT, kPaneY = APP_PANE_TOP;

int sheets(const char* dir, double lat, double lon, int level) {
    for (int big = 0; big <= 1; big++)
        for (int l = level; l <= level + 1 && l <= 4; l++) {
            double step = zoom_level_step(l);
            double clat = zoom_level_snap_latitude(lat, l, 0), clon = zoom_level_snap_longitude(lon, l, big);
            const char* why;
            for (int i = -3; i <= 3; i++)
                for (int j = -3; j <= 3; j++) {
                    double glat = zoom_level_snap_latitude(clat + i * step, l, 0);
                    double glon = zoom_level_snap_longitude(clon + j * step * (big ? 2 : 1), l, big);
                    if (!writeGuiSheet(dir, glat, glon, l, big)) return 2;
                    // Beyond the Canadian grid, the Web Mercator sheet there as well.
                    int plane = world_grid_snap(lat + i * step, lon + j * step * (big ? 2 : 1), l, big, &glat, &glon, &why);
                    if (plane == VIEW_PLANE_WEB_MERCATOR && !writeGuiSheet(dir, glat, glon, l, big)) return 2;
                }
        }
    return 0;
}

// The view the window shows while Auto Pan follows a vehicle at (lat, lon):
// centred on it (a quarter pixel off, inside the middle pixel), in the pane of
// the window as it opens with small sheets.
// Without follow: centred on the sheet of grid point (lat, lon), as when
// Auto Pan is off.
int sheetView(double lat, double lon, int level, int big, ViewRecord* view, int follow = 1) {
    if (!follow) {
        SheetExtent e;
        if (!view_sheet_expected_extent(zoom_level_snap_latitude(lat, level, 0), zoom_level_snap_longitude(lon, level, big), level, big, &e))
            return 0;
        *view = ViewRecord{VIEW_PLANE_CANADA_LAMBERT, level, big, e.centreX, e.centreY, view_level_mpp(level, big),
                           guiSheetWidth(0), guiSheetHeight(0), 0};
        return 1;
    }
    if (!view_make(view, level, big, lat, lon, guiSheetWidth(0), guiSheetHeight(0))) return 0;
    view->cx -= view->mpp / 4;
    view->cy += view->mpp / 4;
    return 1;
}

int marker(double lat, double lon, int level, int big, double flat, double flon) {
    ViewRecord view;
    int px, py;
    if (!sheetView(lat, lon, level, big, &view) || !view_position_pixel(view, flat, flon, &px, &py)) return 2;
    printf("%d %d\n", kPaneX + px, kPaneY + py);
    return 0;
}

// The composed view's colour at client point (x, y): every written sheet
// of the grid that meets it.
int colour(double lat, double lon, int level, int big, int x, int y, int follow) {
    ViewRecord view;
    int px = x - kPaneX, py = y - kPaneY;
    if (!sheetView(lat, lon, level, big, &view, follow) || px < 0 || px >= view.width || py < 0 || py >= view.height)
        return 2;
    std::vector<ViewSheet> needed;
    if (view_needed_sheets(view, "/nonexistent", 0, &needed) < 0) return 2;
    ViewImages images;
    for (const ViewSheet& n : needed) {
        auto d = std::make_shared<DecodedSheet>();
        d->width = guiSheetWidth(big);
        d->height = guiSheetHeight(big);
        d->extent = n.extent;
        Bytes idx = guiSheetIndices(n.lat, n.lon, level, big);
        d->pixels.reset(static_cast<unsigned char*>(malloc(idx.size() * 3)));
        for (size_t i = 0; i < idx.size(); i++) {
            GifColorType c = testPalette()[idx[i]];
            d->pixels[i * 3] = c.Red, d->pixels[i * 3 + 1] = c.Green, d->pixels[i * 3 + 2] = c.Blue;
        }
        images.push_back(d);
    }
    std::vector<uint32_t> frame(static_cast<size_t>(view.width) * view.height);
    view_compose(view, images, frame.data(), view.width);
    printf("%06X\n", frame[static_cast<size_t>(py) * view.width + px] & 0xFFFFFFu);
    return 0;
}

int pathOf(const char* dir, double lat, double lon, int level) {
    char path[SHEET_PATH_MAX];
    std::string maps = std::string(dir) + "/Maps";
    if (!sheet_path(path, sizeof path, maps.c_str(), zoom_level_snap_latitude(lat, level, 0), zoom_level_snap_longitude(lon, level, 0), level,
                   0, SHEET_GIF))
        return 2;
    printf("%s\n", path);
    return 0;
}

int nameOf(double lat, double lon, int level) {
    char name[SHEET_PATH_MAX];
    if (!sheet_file_name(name, sizeof name, zoom_level_snap_latitude(lat, level, 0), zoom_level_snap_longitude(lon, level, 0), level, 0,
                       SHEET_GIF))
        return 2;
    printf("%s\n", name);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    auto num = [&](int i) { return strtod(argv[i], nullptr); };
    auto is = [&](const char* command, int count) { return argc == count && !strcmp(argv[1], command); };
    if (is("sheets", 6)) return sheets(argv[2], num(3), num(4), atoi(argv[5]));
    if (is("marker", 9)) return marker(num(3), num(4), atoi(argv[5]), atoi(argv[6]), num(7), num(8));
    if (is("colour", 8)) return colour(num(2), num(3), atoi(argv[4]), atoi(argv[5]), atoi(argv[6]), atoi(argv[7]), 1);
    if (is("sheetcolour", 8))
        return colour(num(2), num(3), atoi(argv[4]), atoi(argv[5]), atoi(argv[6]), atoi(argv[7]), 0);
    if (is("path", 6)) return pathOf(argv[2], num(3), num(4), atoi(argv[5]));
    if (is("name", 5)) return nameOf(num(2), num(3), atoi(argv[4]));
    fprintf(stderr, "usage: kiv_gui_fixture sheets DIR LAT LON LEVEL | marker DIR SLAT SLON LEVEL BIG FLAT FLON |"
                    " colour SLAT SLON LEVEL BIG X Y | sheetcolour SLAT SLON LEVEL BIG X Y | path DIR LAT LON LEVEL | name LAT LON LEVEL\n");
    return 2;
}
