// Routes along roads in the window: asked for in the background from the
// vehicle (or the view's centre without a fix) through the vias added, to a
// point; a second request replaces the first. Followed with each fix: the
// next manoeuvre and what is left on the navigation strip, arrival ends the
// route, and leaving it asks for a new one from where the vehicle is.
// Main thread.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "nav/road_route.h"

struct AppSettings;

enum { ROAD_PROFILE_CAR = 0, ROAD_PROFILE_BICYCLE = 1, ROAD_PROFILE_FOOT = 2 };

// Asks for a route to (lat, lon), named name (may be empty), through the
// vias added by road_routing_add_via (then forgotten). Search results,
// waypoints and the map call it. The window does not wait: the answer is
// taken by road_routing_poll.
void road_routing_to(const AppSettings* s, double lat, double lon, const char* name);
void road_routing_add_via(double lat, double lon);
void road_routing_clear();
// Why routing is not to be had with these settings ("" when it is).
std::string road_routing_unavailable(const AppSettings* s);

// The timer's step: takes a finished request's answer (only the latest
// request's). 1 when something changed on screen.
int  road_routing_poll();
// The paint's step: follows the fix (progress, arrival, leaving the route).
void road_routing_update(const AppSettings* s);
// The strip's items while there is a route or something to say of one;
// 0 (items untouched) otherwise.
int  road_routing_strip_items(const AppSettings* s, int64_t nowUtc, std::vector<std::string>* items);

// The route shown (no points: none), and requests made so far.
const RoadRoute& road_routing_route();
int  road_routing_requests();
int  road_routing_in_flight();

int  road_routing_profile();
void road_routing_set_profile(int profile);

// Ends a request in flight and forgets the route (the window closing).
void road_routing_stop();
