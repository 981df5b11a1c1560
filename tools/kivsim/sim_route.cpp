#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "tools/kivsim/sim.h"

namespace {

constexpr double kEarthRadius = 6371000.0;
constexpr double kRad = M_PI / 180.0;

double distance(double lat1, double lon1, double lat2, double lon2) {
    double dlat = (lat2 - lat1) * kRad, dlon = (lon2 - lon1) * kRad;
    double a = sin(dlat / 2) * sin(dlat / 2) +
               cos(lat1 * kRad) * cos(lat2 * kRad) * sin(dlon / 2) * sin(dlon / 2);
    return 2 * kEarthRadius * atan2(sqrt(a), sqrt(1 - a));
}

double bearing(double lat1, double lon1, double lat2, double lon2) {
    double y = sin((lon2 - lon1) * kRad) * cos(lat2 * kRad);
    double x = cos(lat1 * kRad) * sin(lat2 * kRad) -
               sin(lat1 * kRad) * cos(lat2 * kRad) * cos((lon2 - lon1) * kRad);
    double b = atan2(y, x) / kRad;
    return b < 0 ? b + 360 : b;
}

int add_point(SimRoute* r, double lat, double lon) {
    if (!(lat >= -90 && lat <= 90 && lon >= -180 && lon <= 180)) return 0;
    double d = r->lat.empty() ? 0 : r->along.back() + distance(r->lat.back(), r->lon.back(), lat, lon);
    r->lat.push_back(lat);
    r->lon.push_back(lon);
    r->along.push_back(d);
    return 1;
}

}  // namespace

int route_parse(const char* text, SimRoute* route) {
    route->lat.clear();
    route->lon.clear();
    route->along.clear();
    const char* p = text;
    while (*p) {
        char* end;
        double lat = strtod(p, &end);
        if (end == p || *end != ',') return 0;
        p = end + 1;
        double lon = strtod(p, &end);
        if (end == p) return 0;
        if (!add_point(route, lat, lon)) return 0;
        p = end;
        while (*p == ' ') p++;
        if (*p == ';') p++;
        else if (*p) return 0;
    }
    return route->lat.empty() ? 0 : 1;
}

int route_load(const char* path, SimRoute* route) {
    FILE* f = fopen(path, "r");
    if (!f) return 0;
    route->lat.clear();
    route->lon.clear();
    route->along.clear();
    char line[256];
    int ok = 1;
    while (ok && fgets(line, sizeof line, f)) {
        if (line[0] == '#' || strspn(line, " \t\r\n") == strlen(line)) continue;
        double lat, lon;
        ok = sscanf(line, "%lf %lf", &lat, &lon) == 2 && add_point(route, lat, lon);
    }
    fclose(f);
    return ok && !route->lat.empty();
}

double route_seconds(const SimRoute& route) {
    if (route.speedKmh <= 0 || route.along.empty()) return 0;
    return route.along.back() / (route.speedKmh / 3.6);
}

SimFix route_fix(const SimRoute& route, double seconds, int loop) {
    SimFix f = {route.lat[0], route.lon[0], 0, 0, 75.0};
    double total = route_seconds(route);
    if (total <= 0 || route.lat.size() < 2) return f;
    double t = seconds;
    if (t >= total && !loop) {
        size_t n = route.lat.size();
        f.lat = route.lat[n - 1];
        f.lon = route.lon[n - 1];
        return f;   // arrived: standing at the end
    }
    t = fmod(t, total);
    if (seconds > 0 && t == 0) t = total;   // exactly at the end, not back at the start
    double d = t * route.speedKmh / 3.6;
    size_t i = 1;
    while (i + 1 < route.along.size() && route.along[i] < d) i++;
    double seg = route.along[i] - route.along[i - 1];
    double k = seg > 0 ? (d - route.along[i - 1]) / seg : 1;
    if (k > 1) k = 1;
    f.lat = route.lat[i - 1] + k * (route.lat[i] - route.lat[i - 1]);
    f.lon = route.lon[i - 1] + k * (route.lon[i] - route.lon[i - 1]);
    f.speedKnots = route.speedKmh / 1.852;
    f.course = bearing(route.lat[i - 1], route.lon[i - 1], route.lat[i], route.lon[i]);
    return f;
}
