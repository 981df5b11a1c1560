#include "app/commands_go_to.h"

#include <algorithm>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/commands_tracks.h"
#include "app/go_to.h"
#include "app/navigation.h"
#include "app/road_routing.h"
#include "app/track_overlay.h"
#include "maps/map_view.h"
#include "maps/view_plane.h"
#include "platform/platform.h"
#include "tracks/gpx_reader.h"

namespace {

struct Pointer {
    bool over;                         // it was last seen over the pane
    int x, y;                          // client pixel
} pointer{};

int routeFilter = 0;

// Client pixel to degrees through the displayed picture's extents (the
// pane shows the middle of a larger picture).
bool pointerDegrees(double* lat, double* lon) {
    const MapView& v = map_view;
    nav_ensure_extents();
    if (!pointer.over || !(v.extMaxX > v.extMinX) || !(v.extMaxY > v.extMinY) || v.imageWidth <= 0 ||
        v.imageHeight <= 0)
        return false;
    double bx = pointer.x - APP_PANE_X + std::max(0, (v.imageWidth - v.paneWidth) / 2) + 0.5;
    double by = pointer.y - APP_PANE_Y + std::max(0, (v.imageHeight - v.paneHeight) / 2) + 0.5;
    map_view_unturn(v, &bx, &by);
    double x = v.extMinX + bx / v.imageWidth * (v.extMaxX - v.extMinX);
    double y = v.extMaxY - by / v.imageHeight * (v.extMaxY - v.extMinY);
    return view_plane_to_degrees(v.extPlane, x, y, lat, lon) != 0;
}

bool firstRoute(const std::string& path, std::vector<NavPoint>* out) {
    GpxData data;
    if (!gpx_read_file(path.c_str(), &data)) return false;
    for (const GpxLine& line : data.lines) {
        if (!line.route || line.points.empty()) continue;
        for (size_t i = 0; i < line.points.size(); i++)
            out->push_back(NavPoint{line.points[i].lat, line.points[i].lon, i < line.names.size() ? line.names[i] : ""});
        return true;
    }
    return false;
}

}  // namespace

void go_to_pointer_moved(int x, int y) {
    if (!nav_in_pane(x, y)) return;
    pointer = Pointer{true, x, y};
}

int go_to_pointer_degrees(double* lat, double* lon) { return pointerDegrees(lat, lon); }

void command_go_to_pointer() {
    double lat, lon;
    if (!pointerDegrees(&lat, &lon)) {
        platform_warn("Go To Pointer: first point at a place on the map.");
        return;
    }
    go_to_point(lat, lon, "");
}

void command_follow_route() {
    std::vector<NavPoint> route;
    std::vector<std::string> paths = track_overlay_paths();
    for (auto p = paths.rbegin(); p != paths.rend() && route.empty(); ++p) firstRoute(*p, &route);
    if (route.empty()) {
        char path[1024], why[256];
        if (!platform_open_file_dialog(OPEN_TRACK_FILTERS, ".", "gpx", &routeFilter, path, sizeof path)) return;
        if (!track_overlay_open(path, why, sizeof why)) {
            platform_warn((std::string("Error in loading the GPX file ") + path + ": " + why).c_str());
            return;
        }
        if (!firstRoute(path, &route)) {
            platform_warn((std::string("The GPX file ") + path + " holds no route (<rte>) to follow.").c_str());
            platform_invalidate(0);
            return;
        }
    }
    go_to_route(route, 0);
}

// One navigation at a time, either kind: Stop ends a road route too.
void command_stop_navigation() {
    go_to_stop();
    road_routing_clear();
}
