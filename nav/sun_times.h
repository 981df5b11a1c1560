// Where the sun stands and when civil twilight begins and ends, from the
// NOAA solar equations (the solar calculator's spreadsheet form): good to
// well within a minute for years 1800..2100, enough to switch the night
// colours. Pure functions.
#pragma once
#include <cstdint>

// The sun's centre at civil twilight: 6 degrees below the horizon.
constexpr double SUN_CIVIL_TWILIGHT_DEG = -6.0;

// Degrees above the horizon (negative below, no refraction) of the sun's
// centre seen from lat, lon (degrees, east positive) at a UTC time in
// seconds since 1970.
double sun_elevation(double lat, double lon, int64_t utcSeconds);

enum { SUN_DAY_NORMAL = 0, SUN_DAY_ALL_LIGHT = 1, SUN_DAY_ALL_DARK = 2 };

// The civil dawn and dusk of the UTC day holding utcSeconds at lat, lon,
// in UTC seconds since 1970 (dusk may fall on the next UTC day west of
// Greenwich). SUN_DAY_ALL_LIGHT: the sun stays above -6 degrees all day
// (white night, polar day); SUN_DAY_ALL_DARK: it never rises to it; in
// both the times are left as they were.
int sun_civil_twilight(double lat, double lon, int64_t utcSeconds, int64_t* dawn, int64_t* dusk);

// Dark enough for night colours, with a margin either side of civil
// twilight so a sun hovering there (or a position jittering) does not
// switch back and forth: night once the sun is half a degree below -6,
// day again once it is half a degree above.
bool sun_night_with_margin(bool wasNight, double elevationDeg);
