// Distances and bearings on the WGS84 ellipsoid by Karney's geodesic
// routines (PROJ's geodesic.h): exact to nanometres, across the 180th
// meridian and at the poles, which a destination or a ruler needs and the
// sphere of great_circle.h does not give.
#pragma once

struct GeodesicLine {
    double metres;                     // along the geodesic
    double bearingDegrees;             // initial bearing at the start, [0, 360) from true north
    double finalBearingDegrees;        // bearing on arrival, [0, 360)
};

// From (lat1, lon1) to (lat2, lon2), degrees. Coincident points give 0 m
// and bearing 0.
GeodesicLine geodesic_inverse(double lat1, double lon1, double lat2, double lon2);

// The point metres from (lat, lon) along bearingDegrees; longitude in [-180, 180).
void geodesic_destination(double lat, double lon, double bearingDegrees, double metres, double* lat2,
                          double* lon2);
