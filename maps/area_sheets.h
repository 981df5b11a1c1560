// The sheets that cover an area or a corridor along a route, for fetching
// them ahead of a trip: the sheets the program would show at some point of
// the area, at the given level and size.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

struct AreaSheet {
    double lat, lon;                   // snapped centre, as the program asks for it
    int level;
};

struct AreaPoint {
    double lat, lon;
};

// Adds to out (without repeats) the sheet of every point of the box, south
// to north and west to east in degrees; west beyond east is a box across
// 180 degrees. Returns how many were added, or -1 when the box is not a
// box (south > north, a corner off the Earth, not finite).
int area_sheets_in_box(double south, double west, double north, double east, int level, int bigMaps,
                       std::vector<AreaSheet>* out);
// How many sheets area_sheets_in_box adds to an empty list, counted
// without listing them; -1 when the box is not a box.
long long area_sheets_count_in_box(double south, double west, double north, double east, int level, int bigMaps);
// The same for every point within corridorKm of each line (and up to a
// sixteenth of a grid step beyond): each line is followed on its own, never
// joined to the next, and a line of one point is that point. Stops adding
// once out holds more than limit sheets. -1 for a negative corridor.
int area_sheets_along(const std::vector<std::vector<AreaPoint>>& lines, double corridorKm, int level, int bigMaps,
                      std::vector<AreaSheet>* out, size_t limit = SIZE_MAX);
// Above this many sheets an area or route download asks first (the window)
// or needs --force (kivsheet).
enum { AREA_SHEETS_ASK_ABOVE = 5000 };
// Bytes a sheet of this level and kind takes as the local map server draws
// it (measured means), for the size estimate before a download.
int64_t area_sheet_typical_bytes(int level, int aerial, int bigMaps);
// "2-4", "3", "0,2-3": a bit per level 0..4. 0 when the text is not that.
int area_parse_levels(const char* text);
// The west and east edges of the narrowest span of longitude that holds
// the n longitudes (n > 0, a span under 360 degrees, each taken within 180
// degrees of the first), widened by margin degrees on each side: west
// beyond east when it crosses 180 degrees, -180 and 180 when it goes round.
void area_longitude_span(const double* lons, int n, double margin, double* west, double* east);
