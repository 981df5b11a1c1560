#include "app/commands_route.h"

#include <cerrno>
#include <cstring>
#include <string>

#include "app/commands_go_to.h"
#include "app/go_to.h"
#include "app/road_directions.h"
#include "app/road_routing.h"
#include "app/view_pane.h"
#include "maps/map_view.h"
#include "maps/view_plane.h"
#include "nav/road_route_gpx.h"
#include "nav/road_text.h"
#include "platform/platform.h"
#include "settings/app_settings.h"
#include "settings/atomic_file.h"
#include "tracks/gpx_writer.h"
#include "settings/menu_ids.h"
#include "settings/window_state.h"

namespace {

bool available(const AppSettings* s) {
    std::string why = road_routing_unavailable(s);
    if (!why.empty()) platform_warn(why.c_str());
    return why.empty();
}

void checkProfile() {
    for (int p = ROAD_PROFILE_CAR; p <= ROAD_PROFILE_FOOT; p++)
        platform_menu_check(MENU_ROUTE_CAR + p, road_routing_profile() == p);
}

// The view moves to the point, Auto Pan off so it stays there.
void show(AppSettings* s, double lat, double lon) { view_pane_show_point(s, lat, lon); }

}  // namespace

void command_route_to_pointer(const AppSettings* s) {
    double lat, lon;
    if (!available(s)) return;
    if (!go_to_pointer_degrees(&lat, &lon)) {
        platform_warn("Route To Pointer: first point at a place on the map.");
        return;
    }
    road_routing_to(s, lat, lon, "");
}

void command_route_to(const AppSettings* s, double lat, double lon, const char* name) {
    if (available(s)) road_routing_to(s, lat, lon, name);
}

void command_route_via_pointer() {
    double lat, lon;
    if (!go_to_pointer_degrees(&lat, &lon)) {
        platform_warn("Add Via Pointer: first point at a place on the map.");
        return;
    }
    road_routing_add_via(lat, lon);
}

void command_route_to_destination(const AppSettings* s) {
    const NavState& state = go_to_state();
    if (state.points.empty()) {
        platform_warn("Route To Destination: there is no Go To destination (Navigate menu).");
        return;
    }
    if (!available(s)) return;
    // The points still ahead of a followed route are its vias, in order.
    for (size_t i = static_cast<size_t>(state.leg); i + 1 < state.points.size(); i++)
        road_routing_add_via(state.points[i].lat, state.points[i].lon);
    const NavPoint& to = state.points.back();
    road_routing_to(s, to.lat, to.lon, to.name.c_str());
}

void command_route_directions(AppSettings* s) {
    const RoadRoute& route = road_routing_route();
    if (route.points.empty()) {
        platform_warn("Directions: there is no route (Route To first).");
        return;
    }
    RoadDirectionsDialog d;
    std::vector<int> points;
    d.lines = road_direction_lines(route, s->speedUnit, &points);
    platform_run_dialog(PLATFORM_DIALOG_ROUTE_DIRECTIONS, &d);
    if (d.chosen < 0 || d.chosen >= static_cast<int>(points.size())) return;
    const RoadPoint& p = route.points[static_cast<size_t>(points[static_cast<size_t>(d.chosen)])];
    show(s, p.lat, p.lon);
}

void command_route_save_gpx(const AppSettings* s) {
    const RoadRoute& route = road_routing_route();
    if (route.points.empty()) {
        platform_warn("Save Route as GPX: there is no route (Route To first).");
        return;
    }
    // Beside the recorded tracks (Gpx=), else in the working folder.
    char path[SETTINGS_PATH_MAX + 64];
    std::string folder = s->gpxFolder[0] ? s->gpxFolder : ".";
    gpx_file_name(path, sizeof path, folder.c_str(), platform_clock_seconds());
    std::string name = path;
    size_t dash = name.rfind("kiv-");
    if (dash != std::string::npos) name.replace(dash, 4, "route-");
    std::string text = road_route_gpx(route, "Route");
    if (!write_file_atomically(name.c_str(), text.data(), text.size())) {
        platform_warn(("The route cannot be saved as " + name + ": " + strerror(errno)).c_str());
        return;
    }
    platform_message_box(("The route is saved as " + name +
                          ". kivsheet fetch-route downloads the map sheets along it.").c_str(),
                         "Kiv", PLATFORM_MB_INFO);
}

void command_route_clear() { road_routing_clear(); }

void command_route_profile(int id) {
    road_routing_set_profile(id - MENU_ROUTE_CAR);
    checkProfile();
}

void route_keep(WindowState* state) { state->routeProfile = road_routing_profile(); }

void route_restore(const WindowState& state) {
    road_routing_set_profile(state.routeProfile);
    checkProfile();
}
