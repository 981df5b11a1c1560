#include "maps/world_grid.h"

#include <proj.h>

#include <cmath>

#include "maps/view_plane.h"
#include "maps/wms_request.h"
#include "maps/zoom_levels.h"

namespace {

const double kMercatorMaxLat = 85.0;
const double kHalfWorld = WORLD_GRID_MERCATOR_HALF_WIDTH;
// Neighbouring sheets overlap by a quarter of a sheet.
const double kStepOfSheet = 0.75;

// PROJ objects are not shared between threads: one transform per thread.
struct Transform {
    PJ_CONTEXT* ctx = nullptr;
    PJ* pj = nullptr;
    Transform() {
        ctx = proj_context_create();
        PJ* raw = proj_create_crs_to_crs(ctx, "EPSG:4326", "EPSG:3857", nullptr);
        if (raw) {
            pj = proj_normalize_for_visualization(ctx, raw);  // longitude first
            proj_destroy(raw);
        }
    }
    ~Transform() {
        proj_destroy(pj);
        proj_context_destroy(ctx);
    }
};

PJ* transform() {
    thread_local Transform t;
    return t.pj;
}

int project(PJ_DIRECTION dir, double a, double b, double* outA, double* outB) {
    PJ* pj = transform();
    if (!pj) return 0;
    PJ_COORD c = proj_trans(pj, dir, proj_coord(a, b, 0, 0));
    if (!std::isfinite(c.xy.x) || !std::isfinite(c.xy.y)) return 0;
    *outA = c.xy.x;
    *outB = c.xy.y;
    return 1;
}

int mercatorCentre(double lat, double lon, int level, int bigMaps, double* cLat, double* cLon) {
    double x, y, stepX, stepY;
    if (!world_grid_to_mercator(lat, lon, &x, &y)) return 0;
    world_grid_mercator_steps(level, bigMaps, &stepX, &stepY);
    return world_grid_mercator_point(std::round(x / stepX) * stepX, std::round(y / stepY) * stepY, cLat, cLon);
}

bool same(double a, double b) { return std::fabs(a - b) < 1e-9; }

bool inCanadianArea(double lat, double lon, int level, int bigMaps) {
    return lat > 0 && zoom_level_in_service_area(lat, lon, level, bigMaps);
}

}  // namespace

int world_grid_is_position(double lat, double lon) { return std::fabs(lat) <= 90 && std::fabs(lon) <= 180; }

int world_grid_to_mercator(double lat, double lon, double* x, double* y) {
    return project(PJ_FWD, lon, lat, x, y);
}

int world_grid_from_mercator(double x, double y, double* lat, double* lon) {
    return project(PJ_INV, x, y, lon, lat);
}

int world_grid_snap(double lat, double lon, int level, int bigMaps, double* sheetLat, double* sheetLon,
                  const char** why) {
    if (!world_grid_is_position(lat, lon)) {
        *why = "Not a position on Earth (latitude -90 to 90, longitude -180 to 180)";
        return VIEW_PLANE_NONE;
    }
    if (inCanadianArea(lat, lon, level, bigMaps)) {
        *sheetLat = zoom_level_snap_latitude(lat, level, 0);
        *sheetLon = zoom_level_snap_longitude(lon, level, bigMaps);
        return VIEW_PLANE_CANADA_LAMBERT;
    }
    if (std::fabs(lat) > kMercatorMaxLat) {
        *why = "No map grid here: no sheet is drawn beyond 85 degrees outside the Canadian area";
        return VIEW_PLANE_NONE;
    }
    if (!mercatorCentre(lat, lon, level, bigMaps, sheetLat, sheetLon)) {
        *why = "The projection library (PROJ) cannot place the position: is PROJ installed with its data?";
        return VIEW_PLANE_NONE;
    }
    return VIEW_PLANE_WEB_MERCATOR;
}

Result world_grid_place_check(double lat, double lon, int level, int bigMaps) {
    double sheetLat = 0, sheetLon = 0, x = 0, y = 0;
    const char* why = "";
    int plane = world_grid_snap(lat, lon, level, bigMaps, &sheetLat, &sheetLon, &why);
    if (plane == VIEW_PLANE_NONE) return result_fail(why);
    if (!world_grid_to_mercator(lat, lon, &x, &y))
        return result_fail("The projection library (PROJ) cannot place the position: is PROJ installed with its data?");
    return result_ok();
}

int world_grid_plane_of(double lat, double lon, int level, int bigMaps) {
    if (!world_grid_is_position(lat, lon)) return VIEW_PLANE_NONE;
    bool canadian = inCanadianArea(lat, lon, level, bigMaps);
    if (canadian && same(zoom_level_snap_latitude(lat, level, 0), lat) && same(zoom_level_snap_longitude(lon, level, bigMaps), lon))
        return VIEW_PLANE_CANADA_LAMBERT;
    // The centre of a sheet near 85 degrees may lie a little beyond.
    double cLat, cLon;
    if (std::fabs(lat) < 89 && mercatorCentre(lat, lon, level, bigMaps, &cLat, &cLon) && same(cLat, lat) &&
        same(cLon, lon))
        return VIEW_PLANE_WEB_MERCATOR;
    if (canadian) return VIEW_PLANE_CANADA_LAMBERT;
    return std::fabs(lat) > kMercatorMaxLat ? VIEW_PLANE_NONE : VIEW_PLANE_WEB_MERCATOR;
}

// Grid steps in plane metres: a little smaller than the sheet, and across
// an even number of columns so that the columns meet at 180 degrees.
void world_grid_mercator_steps(int level, int bigMaps, double* stepX, double* stepY) {
    WmsBox box = wms_sheet_box(0, 0, zoom_level_scale(level), view_sheet_width(bigMaps), view_sheet_height(bigMaps));
    double columns = 2 * std::ceil(kHalfWorld / (kStepOfSheet * (box.maxX - box.minX)));
    *stepX = 2 * kHalfWorld / columns;
    *stepY = kStepOfSheet * (box.maxY - box.minY);
}

int world_grid_mercator_point(double x, double y, double* lat, double* lon) {
    // Beyond 180 degrees the plane goes on round the Earth.
    double onEarth = x - std::round(x / (2 * kHalfWorld)) * 2 * kHalfWorld;
    if (!world_grid_from_mercator(onEarth, y, lat, lon)) return 0;
    // The column on 180 degrees keeps the side the point is on.
    if (std::fabs(*lon) > 179.999999) *lon = x < 0 ? -180.0 : 180.0;
    return 1;
}
