#include "nav/distance_text.h"

#include <cmath>
#include <cstdio>

namespace {

constexpr double kFoot = 0.3048, kMile = 1609.344;

}  // namespace

const char* distance_text(double metres, char speedUnit, char* out, size_t size) {
    bool imperial = speedUnit == 'M';
    double small = imperial ? metres / kFoot : metres, large = imperial ? metres / kMile : metres / 1000;
    const char* smallUnit = imperial ? "ft" : "m";
    const char* largeUnit = imperial ? "mi" : "km";
    // Feet up to a thousand, as the scale bar counts them.
    if (std::round(small) < 1000) snprintf(out, size, "%.0f %s", small, smallUnit);
    else if (large < 9.995) snprintf(out, size, "%.2f %s", large, largeUnit);
    else snprintf(out, size, "%.1f %s", large, largeUnit);
    return out;
}

const char* speed_unit_text(char speedUnit) { return speedUnit == 'M' ? "mph" : speedUnit == 'S' ? "m/s" : "km/h"; }

double speed_unit_mps(char speedUnit) { return speedUnit == 'M' ? kMile / 3600 : speedUnit == 'S' ? 1 : 1 / 3.6; }

const char* speed_text(double mps, char speedUnit, char* out, size_t size) {
    snprintf(out, size, "%.1f %s", mps / speed_unit_mps(speedUnit), speed_unit_text(speedUnit));
    return out;
}

const char* height_text(double metres, char speedUnit, char* out, size_t size) {
    if (speedUnit == 'M') snprintf(out, size, "%.0f ft", metres / kFoot);
    else snprintf(out, size, "%.0f m", metres);
    return out;
}

const char* duration_text(double seconds, char* out, size_t size) {
    long long s = std::llround(std::fmax(0, seconds));
    snprintf(out, size, "%lld:%02lld:%02lld", s / 3600, s / 60 % 60, s % 60);
    return out;
}
