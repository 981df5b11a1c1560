#include "maps/view_plane.h"

#include <cmath>

#include "maps/lcc.h"
#include "maps/wms_request.h"
#include "maps/zoom_levels.h"

int view_sheet_width(int big) { return big ? 720 : 480; }
int view_sheet_height(int big) { return big ? 540 : 360; }

double view_level_mpp(int level, int big) {
    // The box depends on the centre only through its rounding to the micrometre.
    WmsBox box = wmsSheetBox(0, 0, zoomScale(level), view_sheet_width(big), view_sheet_height(big));
    return (box.maxX - box.minX) / view_sheet_width(big);
}

int view_make(ViewRecord* view, int level, int big, double lat, double lon, int width, int height) {
    double x, y;
    if (!ll2lcc(&x, &y, lat, lon)) return 0;
    *view = ViewRecord{VIEW_PLANE_CANADA_LAMBERT, level, big, x, y, view_level_mpp(level, big), width, height};
    return 1;
}

void view_screen_to_plane(const ViewRecord& view, double px, double py, double* x, double* y) {
    *x = view.cx + (px - view.width / 2.0) * view.mpp;
    *y = view.cy - (py - view.height / 2.0) * view.mpp;
}

void view_plane_to_screen(const ViewRecord& view, double x, double y, double* px, double* py) {
    *px = view.width / 2.0 + (x - view.cx) / view.mpp;
    *py = view.height / 2.0 - (y - view.cy) / view.mpp;
}

int view_degrees_to_screen(const ViewRecord& view, double lat, double lon, double* px, double* py) {
    double x, y;
    if (view.plane != VIEW_PLANE_CANADA_LAMBERT || !ll2lcc(&x, &y, lat, lon)) return 0;
    view_plane_to_screen(view, x, y, px, py);
    return 1;
}

int view_screen_to_degrees(const ViewRecord& view, double px, double py, double* lat, double* lon) {
    double x, y, la = 0, lo = 0;
    view_screen_to_plane(view, px, py, &x, &y);
    if (view.plane != VIEW_PLANE_CANADA_LAMBERT || !lcc2ll(&la, &lo, x, y)) return 0;
    *lat = la;
    *lon = lo;
    return 1;
}

int view_position_pixel(const ViewRecord& view, double lat, double lon, int* px, int* py) {
    double sx, sy;
    if (!view_degrees_to_screen(view, lat, lon, &sx, &sy)) return 0;
    sx = std::floor(sx);
    sy = std::floor(sy);
    if (!(sx >= 0 && sx < view.width && sy >= 0 && sy < view.height)) return 0;
    *px = static_cast<int>(sx);
    *py = static_cast<int>(sy);
    return 1;
}
