#include "maps/view_sheets.h"

#include <algorithm>
#include <cmath>

#include "maps/area_sheets.h"
#include "maps/sheet_download_parts.h"
#include "maps/sheet_store.h"
#include "maps/wms_request.h"
#include "maps/world_grid.h"
#include "maps/zoom_levels.h"

namespace {

struct DegreeBox {
    double south, west, north, east;
};

// The box in degrees around the plane rectangle, from its corners and edge
// midpoints: the grid is lat/lon and curved in the plane, so a step of
// margin is added on every side (kept on the Earth, so that a view near
// a pole still finds its sheets). A view across 180 degrees has its west
// edge beyond its east one.
int degreeBox(const ViewRecord& view, double minX, double minY, double maxX, double maxY, DegreeBox* box) {
    const double xs[3] = {minX, (minX + maxX) / 2, maxX}, ys[3] = {minY, (minY + maxY) / 2, maxY};
    double south = 90, north = -90, lons[8];
    int placed = 0;
    for (double x : xs)
        for (double y : ys) {
            if (x == xs[1] && y == ys[1]) continue;
            double lat, lon;
            if (!view_plane_to_degrees(view.plane, x, y, &lat, &lon)) continue;
            south = std::min(south, lat);
            north = std::max(north, lat);
            lons[placed++] = lon;
        }
    if (!placed) return 0;
    double latStep = zoom_level_step(view.level), lonStep = latStep * (view.big ? 2 : 1);
    box->south = std::max(-90.0, south - latStep);
    box->north = std::min(90.0, north + latStep);
    area_longitude_span(lons, placed, lonStep, &box->west, &box->east);
    return 1;
}

// The Web Mercator grid's points within the plane rectangle, stepped in
// the plane: every sheet of that grid, also inside the Canadian area (the
// Canadian grid's sheets lie in another plane and cannot be drawn here)
// and across 180 degrees.
void mercatorCells(const ViewRecord& view, double minX, double minY, double maxX, double maxY,
                   std::vector<AreaSheet>* out) {
    double stepX, stepY;
    world_grid_mercator_steps(view.level, view.big, &stepX, &stepY);
    for (double j = std::ceil(minY / stepY); j * stepY <= maxY; j++)
        for (double i = std::ceil(minX / stepX); i * stepX <= maxX; i++) {
            AreaSheet a{0, 0, view.level};
            if (world_grid_mercator_point(i * stepX, j * stepY, &a.lat, &a.lon)) out->push_back(a);
        }
}

double distance2(const ViewSheet& s, double x, double y) {
    double dx = s.extent.centreX - x, dy = s.extent.centreY - y;
    return dx * dx + dy * dy;
}

}  // namespace

int view_sheet_expected_extent(double lat, double lon, int level, int big, SheetExtent* extent) {
    double x, y, angle;
    int epsg;
    if (!sheet_download_plane_centre(lat, lon, level, big, &x, &y, &angle, &epsg)) return 0;
    long scale = zoom_level_scale(level);
    WmsBox b = wms_sheet_box(x, y, scale, view_sheet_width(big), view_sheet_height(big));
    *extent = SheetExtent{scale, x, y, b.minX, b.minY, b.maxX, b.maxY, angle, epsg};
    return 1;
}

namespace {

// The cell's sheet as stored now (or as its download will record it).
int lookUp(double lat, double lon, const ViewRecord& view, const char* mapsDir, int aerial, ViewSheet* s) {
    *s = ViewSheet{lat, lon, -1, "", {}};
    if (!view_sheet_expected_extent(lat, lon, view.level, view.big, &s->extent)) return 0;
    s->format = sheet_stored(s->path, mapsDir, lat, lon, view.level, view.big, aerial ? SHEET_JPEG : SHEET_GIF);
    if (s->format >= 0) {
        SheetExtent& e = s->extent;
        auto read = aerial ? sheet_extent_read_stored_jpeg : sheet_extent_read_stored;
        read(lat, lon, view.level, mapsDir, view.big, &e.centreX, &e.centreY, &e.minX, &e.minY, &e.maxX, &e.maxY);
    }
    return 1;
}

}  // namespace

int view_needed_sheets(const ViewRecord& view, const char* mapsDir, int aerial, std::vector<ViewSheet>* out,
                       ViewStoreMemo* memo) {
    out->clear();
    double minX, minY, maxX, maxY;
    view_screen_to_plane(view, 0, view.height, &minX, &minY);
    view_screen_to_plane(view, view.width, 0, &maxX, &maxY);
    // A sheet meets the view when its centre is within half a sheet of it.
    double halfW = view_sheet_width(view.big) * view.mpp / 2, halfH = view_sheet_height(view.big) * view.mpp / 2;
    std::vector<AreaSheet> cells;
    if (view.plane == VIEW_PLANE_WEB_MERCATOR) {
        mercatorCells(view, minX - halfW, minY - halfH, maxX + halfW, maxY + halfH, &cells);
    } else {
        DegreeBox box;
        if (!degreeBox(view, minX - halfW, minY - halfH, maxX + halfW, maxY + halfH, &box)) return -1;
        if (area_sheets_in_box(box.south, box.west, box.north, box.east, view.level, view.big, &cells) < 0) return -1;
    }
    // Without a memo of the caller's, every cell is looked up afresh.
    ViewStoreMemo fresh;
    if (!memo) memo = &fresh;
    for (const AreaSheet& c : cells) {
        // Where the two areas meet, the other plane's sheets are left out.
        if (view_plane_of_sheet(c.lat, c.lon, view.level, view.big) != view.plane) continue;
        ViewSheet s;
        auto key = std::make_tuple(c.lat, c.lon, view.level, view.big);
        auto at = memo->cells.find(key);
        if (at != memo->cells.end()) {
            s = at->second;
        } else {
            if (!lookUp(c.lat, c.lon, view, mapsDir, aerial, &s)) continue;
            memo->cells.emplace(key, s);
        }
        view_sheet_beside(view, &s.extent);
        const SheetExtent& e = s.extent;
        if (e.maxX > minX && e.minX < maxX && e.maxY > minY && e.minY < maxY) out->push_back(s);
    }
    view_sheets_by_distance(out, view.cx, view.cy);
    return static_cast<int>(out->size());
}

void view_sheet_beside(const ViewRecord& view, SheetExtent* e) {
    if (view.plane != VIEW_PLANE_WEB_MERCATOR) return;
    const double world = 2 * WORLD_GRID_MERCATOR_HALF_WIDTH;
    double shift = std::round((view.cx - e->centreX) / world) * world;
    e->centreX += shift;
    e->minX += shift;
    e->maxX += shift;
}

void view_sheets_by_distance(std::vector<ViewSheet>* sheets, double x, double y) {
    std::stable_sort(sheets->begin(), sheets->end(), [x, y](const ViewSheet& a, const ViewSheet& b) {
        return distance2(a, x, y) < distance2(b, x, y);
    });
}
