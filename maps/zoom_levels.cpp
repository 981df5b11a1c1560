#include "maps/zoom_levels.h"

#include <cmath>

#include "settings/app_settings.h"

namespace {

struct ZoomLevel {
    double degrees, minutes, seconds;  // grid step
    long scale;                        // server scale denominator
    double letterSFactor;              // step factor with zoom letter 'S'
};

const ZoomLevel zoom_table[ZOOM_LEVELS] = {
    {10, 0, 0, 10000000, 2.0},
    {1, 0, 0, 1000000, 2.0},
    {0, 10, 0, 200000, 2.5},
    {0, 3, 0, 50000, 2.0},
    {0, 1, 0, 20000, 1.0},
};

// Service area: |latitude| and signed longitude bounds, level 0 vs finer.
// Canada Atlas Lambert serves the Arctic islands up to about 86 N.
const double lat_bounds[2][2] = {{50, 86}, {40, 86}};
const double lon_bounds[2][2] = {{-120, -60}, {-150, -45}};

int validLevel(int level) {
    if (level < 0) return 0;
    if (level > ZOOM_FINEST) return ZOOM_FINEST;
    return level;
}

bool letterS() { return program_settings.zoomLetter == 'S'; }

double fraction(double x) { return x - std::floor(x); }

double nearestOnGrid(double x, double step) { return std::floor((std::fabs(x) + step / 2.0) / step) * step; }

const double* latBounds(int level) { return lat_bounds[level == 0 ? 0 : 1]; }
const double* lonBounds(int level) { return lon_bounds[level == 0 ? 0 : 1]; }

}  // namespace

double dms_to_degrees(double degrees, double minutes, double seconds) {
    return degrees + minutes / 60.0 + seconds / 3600.0;
}

int dms_whole_degrees(double x) { return static_cast<int>(std::floor(x + 0.00001)); }

int dms_whole_minutes(double x) { return static_cast<int>(std::floor(fraction(x + 0.0000001) * 60.0)); }

int dms_whole_seconds(double x) { return static_cast<int>(std::floor(fraction(x * 60.0 + 0.0000001) * 60.0)); }

double zoom_level_step(int level) {
    const ZoomLevel& z = zoom_table[validLevel(level)];
    double step = dms_to_degrees(z.degrees, z.minutes, z.seconds);
    return letterS() ? step * z.letterSFactor : step;
}

long zoom_level_scale(int level) {
    long scale = zoom_table[validLevel(level)].scale;
    return letterS() ? scale * 2 : scale;
}

char zoom_level_name_letter() { return letterS() ? 's' : 'z'; }

double zoom_level_snap_latitude(double lat, int level, int halfStep) {
    level = validLevel(level);
    double step = zoom_level_step(level);
    if (halfStep) step /= 2.0;
    double v = nearestOnGrid(lat, step);
    const double* bounds = latBounds(level);
    // Written so that NaN ends up on a bound rather than in a file name.
    if (!(v <= bounds[1])) v = bounds[1];
    if (v < bounds[0]) v = bounds[0];
    return lat < 0 ? -v : v;
}

double zoom_level_snap_longitude(double lon, int level, int doubleStep) {
    level = validLevel(level);
    double step = zoom_level_step(level);
    if (doubleStep) step *= 2.0;
    double v = nearestOnGrid(lon, step);
    if (lon < 0) v = -v;
    const double* bounds = lonBounds(level);
    if (!(v <= bounds[1])) v = bounds[1];
    if (v < bounds[0]) v = bounds[0];
    return v;
}

int zoom_level_in_service_area(double lat, double lon, int level, int doubleStep) {
    level = validLevel(level);
    double la = nearestOnGrid(lat, zoom_level_step(level));
    double lo = nearestOnGrid(lon, zoom_level_step(level) * (doubleStep ? 2.0 : 1.0));
    if (lon < 0) lo = -lo;
    const double *lats = latBounds(level), *lons = lonBounds(level);
    auto in = [](double v, const double* b) { return v >= b[0] && v <= b[1]; };
    // A position inside the area keeps the sheet the clamp gives it.
    return (in(la, lats) || in(std::fabs(lat), lats)) && (in(lo, lons) || in(lon, lons));
}
