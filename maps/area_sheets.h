// The sheets that cover an area or a corridor along a route, for fetching
// them ahead of a trip: the sheets the program would show at some point of
// the area, at the given level and size.
#pragma once
#include <vector>

struct AreaSheet {
    double lat, lon;                   // snapped centre, as the program asks for it
    int level;
};

struct AreaPoint {
    double lat, lon;
};

// Adds to out (without repeats) the sheet of every point of the box, south
// to north and west to east in degrees. Returns how many were added, or -1
// when the box is not a box (south > north, west > east, not finite).
int area_sheets_in_box(double south, double west, double north, double east, int level, int bigMaps,
                       std::vector<AreaSheet>* out);
// The same for every point within corridorKm of the line through points
// (and up to a sixteenth of a grid step beyond).
int area_sheets_along(const std::vector<AreaPoint>& points, double corridorKm, int level, int bigMaps,
                      std::vector<AreaSheet>* out);
// "2-4", "3", "0,2-3": a bit per level 0..4. 0 when the text is not that.
int area_parse_levels(const char* text);
