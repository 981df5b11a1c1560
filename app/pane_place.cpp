#include "app/pane_place.h"

#include <algorithm>

#include "app/app_state.h"
#include "app/navigation.h"
#include "maps/map_view.h"
#include "maps/view_plane.h"

namespace {

bool extentsHeld() {
    return map_view.extMaxX > map_view.extMinX && map_view.extMaxY > map_view.extMinY && map_view.imageWidth > 0 && map_view.imageHeight > 0;
}

}  // namespace

void pane_picture_offset(int* x, int* y) {
    *x = std::max(0, (map_view.imageWidth - map_view.paneWidth) / 2);
    *y = std::max(0, (map_view.imageHeight - map_view.paneHeight) / 2);
}

int pane_place_to_degrees(int x, int y, double* lat, double* lon) {
    if (!app_window.settings) return 0;
    nav_ensure_extents();
    if (!extentsHeld()) return 0;
    int ox, oy;
    pane_picture_offset(&ox, &oy);
    double column = x - APP_PANE_X + ox + 0.5, row = y - APP_PANE_Y + oy + 0.5;
    map_view_unturn(map_view, &column, &row);
    double px = map_view.extMinX + column / map_view.imageWidth * (map_view.extMaxX - map_view.extMinX);
    double py = map_view.extMaxY - row / map_view.imageHeight * (map_view.extMaxY - map_view.extMinY);
    return view_plane_to_degrees(map_view.extPlane, px, py, lat, lon);
}

int pane_place_from_degrees(double lat, double lon, double* x, double* y) {
    if (!app_window.settings) return 0;
    nav_ensure_extents();
    double px, py;
    if (!extentsHeld() || !view_plane_from_degrees(map_view.extPlane, lat, lon, &px, &py)) return 0;
    int ox, oy;
    pane_picture_offset(&ox, &oy);
    double column = map_view.imageWidth * (px - map_view.extMinX) / (map_view.extMaxX - map_view.extMinX);
    double row = map_view.imageHeight * (map_view.extMaxY - py) / (map_view.extMaxY - map_view.extMinY);
    map_view_turn(map_view, &column, &row);
    *x = APP_PANE_X - ox + column;
    *y = APP_PANE_Y - oy + row;
    return 1;
}
