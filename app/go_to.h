// Go To: a destination (a point, a waypoint, a search result) or a GPX route
// followed leg by leg, the navigation strip and the line to it. Main thread.
#pragma once

// Navigate to (lat, lon) named name (may be empty), replacing any destination
// or route.
void go_to_point(double lat, double lon, const char* name);
