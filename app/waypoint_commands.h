// The user's own waypoints in the window: marking, the list, drawing, and
// their part in a search. Main thread.
#pragma once
#include <vector>

#include "nav/place_match.h"

// Adds a waypoint at (lat, lon) and asks for its name at once; name is the
// name offered (null or empty: the next free WPTnnn).
void waypoint_mark(double lat, double lon, const char* name);
// The user's waypoints and those of the opened GPX files whose names match
// text (case and accents folded, a word's beginning matches), added to out.
void waypoint_search(const char* text, std::vector<PlaceMatch>* out);
