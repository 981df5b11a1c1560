#include "maps/view_plane.h"

#include <cmath>

#include "maps/lcc.h"
#include "maps/wms_request.h"
#include "maps/world_grid.h"
#include "maps/zoom_levels.h"

int view_sheet_width(int big) { return big ? 720 : 480; }
int view_sheet_height(int big) { return big ? 540 : 360; }

double view_level_mpp(int level, int big) {
    // The box depends on the centre only through its rounding to the micrometre.
    WmsBox box = wms_sheet_box(0, 0, zoom_level_scale(level), view_sheet_width(big), view_sheet_height(big));
    return (box.maxX - box.minX) / view_sheet_width(big);
}

int view_plane_from_degrees(int plane, double lat, double lon, double* x, double* y) {
    double a = 0, b = 0;
    if (!world_grid_is_position(lat, lon)) return 0;
    if (plane == VIEW_PLANE_CANADA_LAMBERT ? !ll2lcc(&a, &b, lat, lon)
        : plane == VIEW_PLANE_WEB_MERCATOR ? !world_grid_to_mercator(lat, lon, &a, &b)
                                           : true)
        return 0;
    *x = a;
    *y = b;
    return 1;
}

int view_plane_to_degrees(int plane, double x, double y, double* lat, double* lon) {
    double la = 0, lo = 0;
    if (!std::isfinite(x) || !std::isfinite(y)) return 0;
    if (plane == VIEW_PLANE_CANADA_LAMBERT ? !lcc2ll(&la, &lo, x, y)
        : plane == VIEW_PLANE_WEB_MERCATOR ? !world_grid_from_mercator(x, y, &la, &lo)
                                           : true)
        return 0;
    if (!world_grid_is_position(la, lo)) return 0;
    *lat = la;
    *lon = lo;
    return 1;
}

namespace {

int planeOfGrid(double lat, double lon, int level, int big) {
    double sLat, sLon;
    const char* why;
    return world_grid_snap(lat, lon, level, big, &sLat, &sLon, &why);
}

// Whether the Canadian grid has a sheet under the pane's edge, tried at
// nine points a side: the grid's area is a box in degrees, with no holes,
// so a pane whose edge lies inside it lies inside it whole.
bool canadianSheetsCover(double lat, double lon, int level, int big, int width, int height) {
    double cx, cy;
    if (!ll2lcc(&cx, &cy, lat, lon)) return false;
    const double mpp = view_level_mpp(level, big), halfW = width * mpp / 2, halfH = height * mpp / 2;
    const int steps = 8;
    for (int i = 0; i <= steps; i++) {
        double f = -1 + 2.0 * i / steps;
        const double edge[4][2] = {{f * halfW, -halfH}, {f * halfW, halfH}, {-halfW, f * halfH}, {halfW, f * halfH}};
        for (const auto& d : edge) {
            double la, lo;
            if (!view_plane_to_degrees(VIEW_PLANE_CANADA_LAMBERT, cx + d[0], cy + d[1], &la, &lo) ||
                planeOfGrid(la, lo, level, big) != VIEW_PLANE_CANADA_LAMBERT)
                return false;
        }
    }
    return true;
}

}  // namespace

int view_plane_at(double lat, double lon, int level, int big, int width, int height) {
    int plane = planeOfGrid(lat, lon, level, big);
    double x, y;
    if (plane == VIEW_PLANE_CANADA_LAMBERT && std::fabs(lat) <= 85 &&
        !canadianSheetsCover(lat, lon, level, big, width, height) && world_grid_to_mercator(lat, lon, &x, &y))
        return VIEW_PLANE_WEB_MERCATOR;
    return plane;
}

int view_plane_of_sheet(double lat, double lon, int level, int big) {
    return world_grid_plane_of(lat, lon, level, big);
}

int view_make(ViewRecord* view, int level, int big, double lat, double lon, int width, int height) {
    double x, y;
    int plane = view_plane_at(lat, lon, level, big, width, height);
    if (!view_plane_from_degrees(plane, lat, lon, &x, &y)) return 0;
    *view = ViewRecord{plane, level, big, x, y, view_level_mpp(level, big), width, height, 0};
    return 1;
}

// An unturned view takes the plain sums, so north-up pixels stay exactly
// what they always were.
void view_screen_to_plane(const ViewRecord& view, double px, double py, double* x, double* y) {
    double dx = px - view.width / 2.0, dy = py - view.height / 2.0;
    if (view.rotation != 0) {
        double c = std::cos(view.rotation), s = std::sin(view.rotation), ux = dx * c + dy * s;
        dy = dy * c - dx * s;
        dx = ux;
    }
    *x = view.cx + dx * view.mpp;
    *y = view.cy - dy * view.mpp;
}

void view_plane_to_screen(const ViewRecord& view, double x, double y, double* px, double* py) {
    double dx = (x - view.cx) / view.mpp, dy = (view.cy - y) / view.mpp;
    if (view.rotation != 0) {
        double c = std::cos(view.rotation), s = std::sin(view.rotation), tx = dx * c - dy * s;
        dy = dx * s + dy * c;
        dx = tx;
    }
    *px = view.width / 2.0 + dx;
    *py = view.height / 2.0 + dy;
}

int view_degrees_to_screen(const ViewRecord& view, double lat, double lon, double* px, double* py) {
    double x, y;
    if (!view_plane_from_degrees(view.plane, lat, lon, &x, &y)) return 0;
    view_plane_to_screen(view, x, y, px, py);
    return 1;
}

int view_screen_to_degrees(const ViewRecord& view, double px, double py, double* lat, double* lon) {
    double x, y;
    view_screen_to_plane(view, px, py, &x, &y);
    return view_plane_to_degrees(view.plane, x, y, lat, lon);
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
