#include "nav/geodesic.h"

#include <geodesic.h>

#include <cmath>

namespace {

const geod_geodesic& wgs84()
{
    // Initialised once, before any thread can ask (a function-local static).
    static const geod_geodesic g = [] {
        geod_geodesic e;
        geod_init(&e, 6378137.0, 1 / 298.257223563);
        return e;
    }();
    return g;
}

double bearing_360(double azimuth)
{
    double b = std::fmod(azimuth, 360.0);
    if (b < 0) b += 360.0;
    return b >= 360.0 ? 0.0 : b;
}

} // namespace

GeodesicLine geodesic_inverse(double lat1, double lon1, double lat2, double lon2)
{
    double s12 = 0, azi1 = 0, azi2 = 0;
    geod_inverse(&wgs84(), lat1, lon1, lat2, lon2, &s12, &azi1, &azi2);
    GeodesicLine line;
    line.metres = s12;
    line.bearingDegrees = s12 > 0 ? bearing_360(azi1) : 0.0;
    line.finalBearingDegrees = s12 > 0 ? bearing_360(azi2) : 0.0;
    return line;
}

void geodesic_destination(double lat, double lon, double bearingDegrees, double metres, double* lat2,
                          double* lon2)
{
    double azi2 = 0;
    geod_direct(&wgs84(), lat, lon, bearingDegrees, metres, lat2, lon2, &azi2);
    double l = std::fmod(*lon2 + 180.0, 360.0);
    if (l < 0) l += 360.0;
    *lon2 = l - 180.0;
}
