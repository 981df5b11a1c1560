#include "settings/great_circle.h"

#include <algorithm>
#include <cmath>

namespace {
constexpr double kRadius = 6371008.8, kRad = M_PI / 180;
}

double great_circle_metres(double lat1, double lon1, double lat2, double lon2) {
    double dlat = (lat2 - lat1) * kRad, dlon = (lon2 - lon1) * kRad;
    double h = std::sin(dlat / 2) * std::sin(dlat / 2) +
               std::cos(lat1 * kRad) * std::cos(lat2 * kRad) * std::sin(dlon / 2) * std::sin(dlon / 2);
    return 2 * kRadius * std::asin(std::sqrt(std::min(1.0, h)));
}

void great_circle_destination(double lat, double lon, double courseDegrees, double metres, double* lat2,
                              double* lon2) {
    double p1 = lat * kRad, c = courseDegrees * kRad, d = metres / kRadius;
    double p2 = std::asin(std::sin(p1) * std::cos(d) + std::cos(p1) * std::sin(d) * std::cos(c));
    double dl = std::atan2(std::sin(c) * std::sin(d) * std::cos(p1), std::cos(d) - std::sin(p1) * std::sin(p2));
    *lat2 = p2 / kRad;
    *lon2 = std::remainder(lon + dl / kRad, 360.0);
}
