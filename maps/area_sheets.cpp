#include "maps/area_sheets.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <tuple>

#include "maps/view_plane.h"
#include "maps/world_grid.h"
#include "maps/wms_request.h"
#include "maps/zoom_levels.h"

namespace {

constexpr double kKmPerDegree = 111.32;
// A box spanning more grid steps than this is a mistake, not an area.
constexpr long kMaxStepsPerSide = 20000;

using Key = std::tuple<int, long long, long long>;
Key keyOf(const AreaSheet& s) { return {s.level, std::llround(s.lat * 1e7), std::llround(s.lon * 1e7)}; }

bool isBox(double south, double west, double north, double east) {
    return world_grid_is_position(south, west) && world_grid_is_position(north, east) && south <= north;
}

// Boxes wholly on the Canadian grid keep its exact stepping; any other is
// sampled in the Web Mercator plane, where both grids' cells are wider
// than the sample spacing, and each sample's sheet is taken.
bool onCanadianGrid(double south, double west, double north, double east, int level, int bigMaps) {
    return south > 0 && zoom_level_in_service_area(south, west, level, bigMaps) && zoom_level_in_service_area(north, east, level, bigMaps);
}

// Up to where the Canadian grid reaches.
constexpr double kSampledMaxLat = 86.5;

struct Samples {
    double x0, y0, dx, dy;
    long nx, ny;
};

bool samplesOf(double south, double west, double north, double east, int level, int bigMaps, Samples* s) {
    double x1, y1;
    auto clampLat = [](double lat) { return std::clamp(lat, -kSampledMaxLat, kSampledMaxLat); };
    if (!world_grid_to_mercator(clampLat(south), west, &s->x0, &s->y0) ||
        !world_grid_to_mercator(clampLat(north), east, &x1, &y1))
        return false;
    WmsBox sheet = wms_sheet_box(0, 0, zoom_level_scale(level), view_sheet_width(bigMaps), view_sheet_height(bigMaps));
    double degree = (x1 - s->x0) / std::max(1e-9, east - west);  // plane metres of a degree of longitude
    if (!(degree > 0)) degree = WORLD_GRID_MERCATOR_HALF_WIDTH / 180;
    double latStep = zoom_level_step(level), lonStep = latStep * (bigMaps ? 2 : 1);
    double cellX = std::min(sheet.maxX - sheet.minX, lonStep * degree) * 0.375;
    double cellY = std::min(sheet.maxY - sheet.minY, latStep * degree) * 0.375;
    s->nx = static_cast<long>(std::ceil((x1 - s->x0) / cellX));
    s->ny = static_cast<long>(std::ceil((y1 - s->y0) / cellY));
    s->dx = s->nx ? (x1 - s->x0) / s->nx : 0;
    s->dy = s->ny ? (y1 - s->y0) / s->ny : 0;
    return true;
}

int addSampled(double south, double west, double north, double east, int level, int bigMaps,
               std::vector<AreaSheet>* out, std::set<Key>* seen, size_t limit) {
    Samples g;
    if (!samplesOf(south, west, north, east, level, bigMaps, &g) || g.nx > 4 * kMaxStepsPerSide ||
        g.ny > 4 * kMaxStepsPerSide)
        return 0;
    int added = 0;
    for (long i = 0; i <= g.ny; i++)
        for (long j = 0; j <= g.nx && out->size() <= limit; j++) {
            double lat, lon;
            if (!world_grid_from_mercator(g.x0 + j * g.dx, g.y0 + i * g.dy, &lat, &lon)) continue;
            if (i == 0) lat = south;
            if (i == g.ny) lat = north;
            if (j == 0) lon = west;
            if (j == g.nx) lon = east;
            const char* why;
            AreaSheet a{0, 0, level};
            if (world_grid_snap(lat, lon, level, bigMaps, &a.lat, &a.lon, &why) == VIEW_PLANE_NONE) continue;
            if (seen->insert(keyOf(a)).second) {
                out->push_back(a);
                added++;
            }
        }
    return added;
}

// The sheets of the Web Mercator grid from the sheet of the south-west
// corner to that of the north-east one (a box partly in the Canadian
// area, or one PROJ cannot place, is estimated from its samples).
long long mercatorCount(double south, double west, double north, double east, int level, int bigMaps,
                        const Samples& g) {
    auto clampLat = [](double lat) { return std::clamp(lat, -85.0, 85.0); };
    double sLat, sLon, nLat, nLon, x0, y0, x1, y1, stepX, stepY;
    const char* why;
    if (world_grid_snap(clampLat(south), west, level, bigMaps, &sLat, &sLon, &why) != VIEW_PLANE_WEB_MERCATOR ||
        world_grid_snap(clampLat(north), east, level, bigMaps, &nLat, &nLon, &why) != VIEW_PLANE_WEB_MERCATOR ||
        !world_grid_to_mercator(sLat, sLon, &x0, &y0) || !world_grid_to_mercator(nLat, nLon, &x1, &y1))
        return (g.nx * 3 / 8 + 1LL) * (g.ny * 3 / 8 + 1LL);
    world_grid_mercator_steps(level, bigMaps, &stepX, &stepY);
    return (std::llround((x1 - x0) / stepX) + 1) * (std::llround((y1 - y0) / stepY) + 1);
}

// The snapped south-west corner and the grid steps of a box; false when
// it spans no grid point.
bool gridOf(double south, double west, double north, double east, int level, int bigMaps, double* s, double* w,
            long* rows, long* cols) {
    double latStep = zoom_level_step(level), lonStep = latStep * (bigMaps ? 2 : 1);
    *s = zoom_level_snap_latitude(south, level, 0);
    *w = zoom_level_snap_longitude(west, level, bigMaps);
    *rows = std::lround((zoom_level_snap_latitude(north, level, 0) - *s) / latStep);
    *cols = std::lround((zoom_level_snap_longitude(east, level, bigMaps) - *w) / lonStep);
    return *rows >= 0 && *cols >= 0;
}

int addBox(double south, double west, double north, double east, int level, int bigMaps,
           std::vector<AreaSheet>* out, std::set<Key>* seen, size_t limit) {
    if (!onCanadianGrid(south, west, north, east, level, bigMaps))
        return addSampled(south, west, north, east, level, bigMaps, out, seen, limit);
    double latStep = zoom_level_step(level), lonStep = latStep * (bigMaps ? 2 : 1);
    double s, w;
    long rows, cols;
    if (!gridOf(south, west, north, east, level, bigMaps, &s, &w, &rows, &cols) || rows > kMaxStepsPerSide ||
        cols > kMaxStepsPerSide)
        return 0;
    int added = 0;
    for (long i = 0; i <= rows; i++)
        for (long j = 0; j <= cols && out->size() <= limit; j++) {
            // Snapped again, so each centre is the very number the program asks for.
            AreaSheet a{zoom_level_snap_latitude(s + i * latStep, level, 0), zoom_level_snap_longitude(w + j * lonStep, level, bigMaps), level};
            if (seen->insert(keyOf(a)).second) {
                out->push_back(a);
                added++;
            }
        }
    return added;
}

std::set<Key> keysOf(const std::vector<AreaSheet>& sheets) {
    std::set<Key> seen;
    for (const AreaSheet& a : sheets) seen.insert(keyOf(a));
    return seen;
}

}  // namespace

int area_sheets_in_box(double south, double west, double north, double east, int level, int bigMaps,
                       std::vector<AreaSheet>* out) {
    if (!isBox(south, west, north, east)) return -1;
    std::set<Key> seen = keysOf(*out);
    if (west > east)   // across 180 degrees: each side on its own
        return addBox(south, west, north, 180, level, bigMaps, out, &seen, SIZE_MAX) +
               addBox(south, -180, north, east, level, bigMaps, out, &seen, SIZE_MAX);
    return addBox(south, west, north, east, level, bigMaps, out, &seen, SIZE_MAX);
}

long long area_sheets_count_in_box(double south, double west, double north, double east, int level, int bigMaps) {
    if (!isBox(south, west, north, east)) return -1;
    if (west > east)
        return area_sheets_count_in_box(south, west, north, 180, level, bigMaps) +
               area_sheets_count_in_box(south, -180, north, east, level, bigMaps);
    if (!onCanadianGrid(south, west, north, east, level, bigMaps)) {
        Samples g;
        // A large area is counted on the Web Mercator grid between the
        // sheets of its corners, not listed.
        if (!samplesOf(south, west, north, east, level, bigMaps, &g)) return 0;
        if (g.nx > 400 || g.ny > 400) return mercatorCount(south, west, north, east, level, bigMaps, g);
        std::vector<AreaSheet> sheets;
        return area_sheets_in_box(south, west, north, east, level, bigMaps, &sheets);
    }
    double s, w;
    long rows, cols;
    if (!gridOf(south, west, north, east, level, bigMaps, &s, &w, &rows, &cols)) return 0;
    return (rows + 1LL) * (cols + 1LL);
}

int area_sheets_along(const std::vector<std::vector<AreaPoint>>& lines, double corridorKm, int level, int bigMaps,
                      std::vector<AreaSheet>* out, size_t limit) {
    if (!(corridorKm >= 0)) return -1;
    std::set<Key> seen = keysOf(*out);
    // Points along each leg an eighth of a grid step apart (closer when the
    // corridor is narrower), each with a box that reaches half way to the
    // next: together they cover the line, corners of sheets included.
    double spacingKm = std::max(0.01, std::min(zoom_level_step(level) * kKmPerDegree / 8, corridorKm > 0 ? corridorKm : 1e9));
    double reachKm = corridorKm + spacingKm / 2;
    int added = 0;
    auto around = [&](double lat, double lon) {
        if (out->size() > limit) return;
        double dLat = reachKm / kKmPerDegree;
        double dLon = reachKm / (kKmPerDegree * std::max(0.01, std::cos(lat * M_PI / 180)));
        added += addBox(lat - dLat, lon - dLon, lat + dLat, lon + dLon, level, bigMaps, out, &seen, limit);
    };
    for (const std::vector<AreaPoint>& points : lines) {
        if (points.empty()) continue;
        around(points[0].lat, points[0].lon);
        for (size_t i = 1; i < points.size(); i++) {
            const AreaPoint &a = points[i - 1], &b = points[i];
            double dy = (b.lat - a.lat) * kKmPerDegree;
            double dx = (b.lon - a.lon) * kKmPerDegree * std::cos((a.lat + b.lat) / 2 * M_PI / 180);
            long n = std::min(1000000L, static_cast<long>(std::ceil(std::hypot(dx, dy) / spacingKm)));
            for (long k = 1; k <= n; k++) {
                double f = static_cast<double>(k) / n;
                around(a.lat + f * (b.lat - a.lat), a.lon + f * (b.lon - a.lon));
            }
        }
    }
    return added;
}

int area_parse_levels(const char* text) {
    int mask = 0;
    const char* p = text;
    while (p && *p) {
        char* end = nullptr;
        long from = strtol(p, &end, 10);
        if (end == p || from < 0 || from > ZOOM_FINEST) return 0;
        long to = from;
        p = end;
        if (*p == '-') {
            to = strtol(p + 1, &end, 10);
            if (end == p + 1 || to < from || to > ZOOM_FINEST) return 0;
            p = end;
        }
        for (long l = from; l <= to; l++) mask |= 1 << l;
        if (*p == ',') p++;
        else if (*p) return 0;
    }
    return mask;
}

int64_t area_sheet_typical_bytes(int level, int aerial, int bigMaps) {
    // Mean sizes of sheets from the local map server around Ottawa: coarse
    // levels carry more detail per sheet.
    static const int64_t bytes[2][2][ZOOM_LEVELS] = {
        {{52000, 14500, 4700, 2700, 2500}, {105000, 27000, 8300, 3700, 3000}},   // topographic GIF
        {{15000, 8000, 7000, 5500, 4600}, {29000, 20000, 12000, 10000, 8800}},  // aerial JPEG
    };
    return bytes[aerial ? 1 : 0][bigMaps ? 1 : 0][std::clamp(level, 0, static_cast<int>(ZOOM_FINEST))];
}

void area_longitude_span(const double* lons, int n, double margin, double* west, double* east) {
    double low = lons[0], high = lons[0];
    for (int i = 1; i < n; i++) {
        double lon = lons[i] + std::round((lons[0] - lons[i]) / 360) * 360;
        low = std::min(low, lon);
        high = std::max(high, lon);
    }
    low -= margin;
    high += margin;
    if (high - low >= 360) {
        *west = -180;
        *east = 180;
        return;
    }
    *west = low < -180 ? low + 360 : low;
    *east = high > 180 ? high - 360 : high;
}
