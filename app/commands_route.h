// The Route menu: Route To Pointer (Ctrl+R), Add Via Pointer, Route To
// Destination (Go To's), Directions, Save Route as GPX, Clear Route, and
// the profile (car, bicycle, foot), kept between runs.
#pragma once

struct AppSettings;
struct WindowState;

void command_route_to_pointer(const AppSettings* s);
// Route To a search result or a waypoint: says why when routing is not to
// be had, as the menu does.
void command_route_to(const AppSettings* s, double lat, double lon, const char* name);
void command_route_via_pointer();
void command_route_to_destination(const AppSettings* s);
void command_route_directions(AppSettings* s);
void command_route_save_gpx(const AppSettings* s);
void command_route_clear();
// id: MENU_ROUTE_CAR, _BICYCLE or _FOOT.
void command_route_profile(int id);

void route_keep(WindowState* state);
void route_restore(const WindowState& state);
