#include "nav/road_following.h"

#include <cmath>

#include "nav/geodesic.h"

namespace {

constexpr double kDegree = M_PI / 180;
constexpr double kMetresPerDegree = 111195.0;   // of latitude; only to find the nearest stretch
constexpr double kMoving = 1.5;                 // m/s: slower, the course says nothing
constexpr double kAgainst = 120;                // degrees from the stretch's bearing

double angleBetween(double a, double b) {
    double d = std::fmod(std::fabs(a - b), 360.0);
    return d > 180 ? 360 - d : d;
}

// Whether the fix is off the line or going the wrong way along it.
bool wrong(const RoadRoute& route, const RoadFix& fix, double offMetres) {
    RoadPlace place = road_place(route, fix.lat, fix.lon);
    if (place.stretch < 0) return false;
    if (place.off > offMetres) return true;
    return std::isfinite(fix.course) && fix.speed >= kMoving && angleBetween(fix.course, place.bearing) > kAgainst;
}

}  // namespace

RoadPlace road_place(const RoadRoute& route, double lat, double lon) {
    RoadPlace best;
    const std::vector<RoadPoint>& p = route.points;
    if (p.size() < 2) return best;
    // The stretches are short: flat about the fix finds the nearest, the
    // geodesic measures it.
    const double kx = kMetresPerDegree * std::cos(lat * kDegree), ky = kMetresPerDegree;
    double bestSquare = INFINITY, bestT = 0;
    for (size_t i = 0; i + 1 < p.size(); i++) {
        double ax = (p[i].lon - lon) * kx, ay = (p[i].lat - lat) * ky;
        double bx = (p[i + 1].lon - lon) * kx, by = (p[i + 1].lat - lat) * ky;
        double dx = bx - ax, dy = by - ay, length = dx * dx + dy * dy;
        double t = length > 0 ? std::fmax(0, std::fmin(1, -(ax * dx + ay * dy) / length)) : 0;
        double x = ax + t * dx, y = ay + t * dy, square = x * x + y * y;
        if (square < bestSquare) {
            bestSquare = square;
            best.stretch = static_cast<int>(i);
            bestT = t;
        }
    }
    const RoadPoint &a = p[static_cast<size_t>(best.stretch)], &b = p[static_cast<size_t>(best.stretch) + 1];
    double nearLat = a.lat + bestT * (b.lat - a.lat), nearLon = a.lon + bestT * (b.lon - a.lon);
    best.off = geodesic_inverse(lat, lon, nearLat, nearLon).metres;
    best.along = a.metres + bestT * (b.metres - a.metres);
    best.bearing = geodesic_inverse(a.lat, a.lon, b.lat, b.lon).bearingDegrees;
    return best;
}

int road_left(const RoadRoute& route, const std::vector<RoadFix>& fixes, double offMetres, int seconds) {
    if (fixes.empty() || route.points.size() < 2) return 0;
    const int64_t now = fixes.back().at;
    bool spans = false;
    for (auto f = fixes.rbegin(); f != fixes.rend(); ++f) {
        if (!wrong(route, *f, offMetres)) return 0;
        if (now - f->at >= seconds) {
            spans = true;
            break;
        }
    }
    return spans;
}

RoadProgress road_progress(const RoadRoute& route, double lat, double lon, double arrivalMetres) {
    RoadProgress r;
    RoadPlace place = road_place(route, lat, lon);
    if (place.stretch < 0) return r;
    const std::vector<RoadPoint>& p = route.points;
    const RoadPoint &a = p[static_cast<size_t>(place.stretch)], &b = p[static_cast<size_t>(place.stretch) + 1];
    double share = b.metres > a.metres ? (place.along - a.metres) / (b.metres - a.metres) : 0;
    r.toEnd = std::fmax(0, p.back().metres - place.along);
    r.secondsToEnd = std::fmax(0, p.back().seconds - (a.seconds + share * (b.seconds - a.seconds)));
    for (size_t i = static_cast<size_t>(place.stretch) + 1; i < p.size(); i++)
        if (!p[i].instruction.empty()) {
            r.next = static_cast<int>(i);
            r.toNext = std::fmax(0, p[i].metres - place.along);
            break;
        }
    r.arrived = geodesic_inverse(lat, lon, p.back().lat, p.back().lon).metres <= arrivalMetres;
    return r;
}
