#include "nav/sun_times.h"

#include <cmath>

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kMarginDeg = 0.5;

double rad(double d) { return d * kPi / 180.0; }
double deg(double r) { return r * 180.0 / kPi; }

// What the equations need of the sun at one moment.
struct SunPlace {
    double declination;   // degrees
    double equationOfTime;   // minutes
};

SunPlace sunAt(int64_t utcSeconds) {
    double jd = static_cast<double>(utcSeconds) / 86400.0 + 2440587.5;
    double t = (jd - 2451545.0) / 36525.0;   // Julian centuries since J2000
    double meanLong = std::fmod(280.46646 + t * (36000.76983 + t * 0.0003032), 360.0);
    double meanAnom = 357.52911 + t * (35999.05029 - 0.0001537 * t);
    double ecc = 0.016708634 - t * (0.000042037 + 0.0000001267 * t);
    double centre = std::sin(rad(meanAnom)) * (1.914602 - t * (0.004817 + 0.000014 * t)) +
                    std::sin(rad(2 * meanAnom)) * (0.019993 - 0.000101 * t) + std::sin(rad(3 * meanAnom)) * 0.000289;
    double omega = 125.04 - 1934.136 * t;
    double apparentLong = meanLong + centre - 0.00569 - 0.00478 * std::sin(rad(omega));
    double meanObliq = 23.0 + (26.0 + (21.448 - t * (46.815 + t * (0.00059 - t * 0.001813))) / 60.0) / 60.0;
    double obliq = meanObliq + 0.00256 * std::cos(rad(omega));
    double y = std::tan(rad(obliq / 2));
    y *= y;
    double l2 = rad(2 * meanLong), m = rad(meanAnom);
    double eot = y * std::sin(l2) - 2 * ecc * std::sin(m) + 4 * ecc * y * std::sin(m) * std::cos(l2) -
                 0.5 * y * y * std::sin(2 * l2) - 1.25 * ecc * ecc * std::sin(2 * m);
    return {deg(std::asin(std::sin(rad(obliq)) * std::sin(rad(apparentLong)))), 4 * deg(eot)};
}

// The hour angle (degrees) at which the sun's centre stands at `elevation`;
// > 180 when it stays above all day, < 0 when it never gets there.
double hourAngleAt(double lat, double declination, double elevation) {
    double c = (std::sin(rad(elevation)) - std::sin(rad(lat)) * std::sin(rad(declination))) /
               (std::cos(rad(lat)) * std::cos(rad(declination)));
    if (c < -1) return 360;
    if (c > 1) return -1;
    return deg(std::acos(c));
}

}  // namespace

double sun_elevation(double lat, double lon, int64_t utcSeconds) {
    SunPlace sun = sunAt(utcSeconds);
    int64_t ofDay = ((utcSeconds % 86400) + 86400) % 86400;
    double solarMinutes = std::fmod(ofDay / 60.0 + sun.equationOfTime + 4 * lon, 1440.0);
    if (solarMinutes < 0) solarMinutes += 1440;
    double hourAngle = solarMinutes / 4 - 180;
    double cosZenith = std::sin(rad(lat)) * std::sin(rad(sun.declination)) +
                       std::cos(rad(lat)) * std::cos(rad(sun.declination)) * std::cos(rad(hourAngle));
    return 90 - deg(std::acos(std::fmax(-1.0, std::fmin(1.0, cosZenith))));
}

int sun_civil_twilight(double lat, double lon, int64_t utcSeconds, int64_t* dawn, int64_t* dusk) {
    int64_t midnight = utcSeconds - (((utcSeconds % 86400) + 86400) % 86400);
    // Each event is found again with the sun as it stands at the event's
    // own time; three rounds settle it to seconds.
    int64_t times[2];
    for (int side = 0; side < 2; side++) {
        double minutes = 720 - 4 * lon;
        for (int round = 0; round < 3; round++) {
            SunPlace sun = sunAt(midnight + static_cast<int64_t>(minutes * 60));
            double ha = hourAngleAt(lat, sun.declination, SUN_CIVIL_TWILIGHT_DEG);
            if (ha > 180) return SUN_DAY_ALL_LIGHT;
            if (ha < 0) return SUN_DAY_ALL_DARK;
            minutes = 720 - 4 * lon - sun.equationOfTime + (side ? 4 * ha : -4 * ha);
        }
        times[side] = midnight + static_cast<int64_t>(std::llround(minutes * 60));
    }
    *dawn = times[0];
    *dusk = times[1];
    return SUN_DAY_NORMAL;
}

bool sun_night_with_margin(bool wasNight, double elevationDeg) {
    return wasNight ? elevationDeg < SUN_CIVIL_TWILIGHT_DEG + kMarginDeg
                    : elevationDeg < SUN_CIVIL_TWILIGHT_DEG - kMarginDeg;
}
