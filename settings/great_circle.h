// Distances and destinations on the sphere of the mean earth radius: good to
// a few parts in a thousand, which is all a track length or a scale bar needs.
#pragma once

// Metres along the great circle between two points (degrees).
double great_circle_metres(double lat1, double lon1, double lat2, double lon2);

// The point (degrees) metres from (lat, lon) along courseDegrees (from true north).
void great_circle_destination(double lat, double lon, double courseDegrees, double metres, double* lat2,
                              double* lon2);
