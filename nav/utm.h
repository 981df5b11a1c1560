// Universal Transverse Mercator on WGS 84 through PROJ: the zone of a
// position (with Norway's and Svalbard's exceptions), its latitude band
// letter and the easting and northing in metres.
#pragma once

struct UtmPoint {
    int zone;               // 1..60
    char band;              // 'C'..'X' (no I, O)
    double easting, northing;
};

// 1 with *out, or 0 outside UTM's latitudes (84 N, 80 S) or when PROJ
// cannot place the point.
int utm_from_degrees(double lat, double lon, UtmPoint* out);
