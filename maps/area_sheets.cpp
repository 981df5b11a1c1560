#include "maps/area_sheets.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <set>
#include <tuple>

#include "maps/zoom_levels.h"

namespace {

constexpr double kKmPerDegree = 111.32;
// A box spanning more grid steps than this is a mistake, not an area.
constexpr long kMaxStepsPerSide = 20000;

using Key = std::tuple<int, long long, long long>;
Key keyOf(const AreaSheet& s) { return {s.level, std::llround(s.lat * 1e7), std::llround(s.lon * 1e7)}; }

int addBox(double south, double west, double north, double east, int level, int bigMaps,
           std::vector<AreaSheet>* out, std::set<Key>* seen) {
    double latStep = zoomStep(level), lonStep = latStep * (bigMaps ? 2 : 1);
    double s = snapLatitude(south, level, 0), n = snapLatitude(north, level, 0);
    double w = snapLongitude(west, level, bigMaps), e = snapLongitude(east, level, bigMaps);
    long rows = std::lround((n - s) / latStep), cols = std::lround((e - w) / lonStep);
    if (rows < 0 || cols < 0 || rows > kMaxStepsPerSide || cols > kMaxStepsPerSide) return 0;
    int added = 0;
    for (long i = 0; i <= rows; i++)
        for (long j = 0; j <= cols; j++) {
            // Snapped again, so each centre is the very number the program asks for.
            AreaSheet a{snapLatitude(s + i * latStep, level, 0), snapLongitude(w + j * lonStep, level, bigMaps), level};
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
    if (!(std::isfinite(south) && std::isfinite(west) && std::isfinite(north) && std::isfinite(east)) ||
        south > north || west > east)
        return -1;
    std::set<Key> seen = keysOf(*out);
    return addBox(south, west, north, east, level, bigMaps, out, &seen);
}

int area_sheets_along(const std::vector<AreaPoint>& points, double corridorKm, int level, int bigMaps,
                      std::vector<AreaSheet>* out) {
    if (!(corridorKm >= 0) || points.empty()) return points.empty() ? 0 : -1;
    std::set<Key> seen = keysOf(*out);
    // Points along each leg an eighth of a grid step apart (closer when the
    // corridor is narrower), each with a box that reaches half way to the
    // next: together they cover the line, corners of sheets included.
    double spacingKm = std::max(0.01, std::min(zoomStep(level) * kKmPerDegree / 8, corridorKm > 0 ? corridorKm : 1e9));
    double reachKm = corridorKm + spacingKm / 2;
    int added = 0;
    auto around = [&](double lat, double lon) {
        double dLat = reachKm / kKmPerDegree;
        double dLon = reachKm / (kKmPerDegree * std::max(0.01, std::cos(lat * M_PI / 180)));
        added += addBox(lat - dLat, lon - dLon, lat + dLat, lon + dLon, level, bigMaps, out, &seen);
    };
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
