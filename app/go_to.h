// Go To: a destination (a point, a waypoint, a search result) or a GPX route
// followed leg by leg, the navigation strip and the line to it. Main thread.
#pragma once
#include <cstdint>
#include <vector>

#include "nav/navigation_state.h"

struct AppSettings;
struct WindowState;

// Navigate to (lat, lon) named name (may be empty), replacing any destination
// or route.
void go_to_point(double lat, double lon, const char* name);
// Follow a route's points, steering to points[leg] first; replaces any
// destination. Fewer than one point stops navigating.
void go_to_route(const std::vector<NavPoint>& points, int leg);
void go_to_stop();
const NavState& go_to_state();

// The paint's step: the reading of the present fix (inactive without a
// destination or a position); a point reached beeps once and is said on
// the strip for a while. *nowUtc: the time the reading is for.
const NavReading& go_to_update(const AppSettings* s, int64_t* nowUtc);
// The point reached last, while it is still said ("" after that).
const char* go_to_reached_note();

// Kept between runs with the window's state.
void go_to_keep(WindowState* state);
void go_to_restore(const WindowState& state);
