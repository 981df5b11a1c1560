// Positions typed as text, and written as text: decimal degrees
// ("45.42, -75.69"), degrees, minutes and seconds ("45°25'12"N 75°41'24"W")
// and degrees and decimal minutes ("N 45 25.2 W 75 41.4"), hemisphere
// letters before or after, latitude first unless the letters say otherwise.
#pragma once
#include <string>

enum CoordinateForm { COORDINATE_DECIMAL = 0, COORDINATE_DM = 1, COORDINATE_DMS = 2, COORDINATE_UTM = 3 };

// 1 with (*lat, *lon) in degrees when text is a position; 0 when it is not
// written as one (a name, say); -1 when it is written as one that cannot
// be (latitude past 90, 61 minutes...), with the reason in *reason.
int coordinate_text_parse(const std::string& text, double* lat, double* lon, std::string* reason);

// (lat, lon) in the form, with hemisphere letters: "45.420000 N 75.690000 W",
// "N 45 25.200 W 75 41.400", "45°25'12.0"N 75°41'24.0"W", or UTM to the
// decimetre, "18T 445237.9 5029913.6" (decimal degrees where UTM has no zone).
std::string coordinate_text_format(double lat, double lon, CoordinateForm form);
