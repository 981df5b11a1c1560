#include "app/pane_place.h"

#include <algorithm>

#include "app/app_state.h"
#include "app/navigation.h"
#include "maps/map_view.h"
#include "maps/view_plane.h"

namespace {

const MapView& v = map_view;

bool extentsHeld() {
    return v.extMaxX > v.extMinX && v.extMaxY > v.extMinY && v.imageWidth > 0 && v.imageHeight > 0;
}

}  // namespace

void pane_picture_offset(int* x, int* y) {
    *x = std::max(0, (v.imageWidth - v.paneWidth) / 2);
    *y = std::max(0, (v.imageHeight - v.paneHeight) / 2);
}

int pane_place_to_degrees(int x, int y, double* lat, double* lon) {
    if (!app_window.settings) return 0;
    nav_ensure_extents();
    if (!extentsHeld()) return 0;
    int ox, oy;
    pane_picture_offset(&ox, &oy);
    double column = x - APP_PANE_X + ox + 0.5, row = y - APP_PANE_Y + oy + 0.5;
    mapViewUnturn(v, &column, &row);
    double px = v.extMinX + column / v.imageWidth * (v.extMaxX - v.extMinX);
    double py = v.extMaxY - row / v.imageHeight * (v.extMaxY - v.extMinY);
    return view_plane_to_degrees(v.extPlane, px, py, lat, lon);
}

int pane_place_from_degrees(double lat, double lon, double* x, double* y) {
    if (!app_window.settings) return 0;
    nav_ensure_extents();
    double px, py;
    if (!extentsHeld() || !view_plane_from_degrees(v.extPlane, lat, lon, &px, &py)) return 0;
    int ox, oy;
    pane_picture_offset(&ox, &oy);
    double column = v.imageWidth * (px - v.extMinX) / (v.extMaxX - v.extMinX);
    double row = v.imageHeight * (v.extMaxY - py) / (v.extMaxY - v.extMinY);
    mapViewTurn(v, &column, &row);
    *x = APP_PANE_X - ox + column;
    *y = APP_PANE_Y - oy + row;
    return 1;
}
