// Zoom levels of the sheet grid: grid steps, server scales, snapping of a
// point to the nearest sheet centre and the degree/minute/second split used
// by sheet names and position texts.
#pragma once

enum { ZOOM_LEVELS = 5, ZOOM_FINEST = 4 };

double dms_to_degrees(double degrees, double minutes, double seconds);

// Integer parts of a non-negative angle, with the small offsets that keep
// 44.99999... from naming a 45-degree sheet "44 59 59".
int dms_whole_degrees(double x);
int dms_whole_minutes(double x);
int dms_whole_seconds(double x);

// Grid step in degrees and scale denominator of a level, taking the 'S'
// zoom letter of program_settings into account at every call. Levels
// outside 0..4 are treated as the nearest valid level.
double zoom_level_step(int level);
long zoom_level_scale(int level);
// 's' with the 'S' zoom letter, else 'z': the first letter of sheet names.
char zoom_level_name_letter();

// Nearest grid point, half up on the absolute value, clamped to the
// service area of the level.
double zoom_level_snap_latitude(double lat, int level, int halfStep);
double zoom_level_snap_longitude(double lon, int level, int doubleStep);
// 1 when, on each axis, the position or its nearest grid point lies in the
// service area (where snapping gives a sheet that holds it); 0 otherwise or
// for NaN.
int zoom_level_in_service_area(double lat, double lon, int level, int doubleStep);
