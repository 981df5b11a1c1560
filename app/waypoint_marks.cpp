#include "app/waypoint_marks.h"

#include <cmath>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/client_frame.h"
#include "app/navigation.h"
#include "app/night_palette.h"
#include "app/track_plot.h"
#include "app/waypoint_labels.h"
#include "app/waypoints.h"
#include "maps/map_view.h"
#include "maps/view_plane.h"
#include "platform/platform.h"
#include "position/gps_fix.h"

namespace {

constexpr int kNameHeight = 13;
// Wide enough for most letters of the bold face at that height, so boxes
// that do not meet hold names that do not meet.
constexpr int kLetterWidth = 8;
// Pink in a black frame: none of the track colours, the trail's red, the
// vehicle's yellow or the sheets' boundary magenta.
constexpr uint32_t kMarkFill = 0xFF1493;

// The picture pixel of a waypoint through the held extents (as
// track_place), its projection kept from paint to paint.
bool place(AppWaypoints::Placed* p, const GpxWaypoint& w, int* px, int* py) {
    const MapView& v = map_view;
    if (p->lat != w.lat || p->lon != w.lon || p->plane != v.extPlane) {
        *p = AppWaypoints::Placed{w.lat, w.lon, 0, 0, v.extPlane, false};
        p->ok = view_plane_from_degrees(v.extPlane, w.lat, w.lon, &p->x, &p->y) != 0;
    }
    double spanX = v.extMaxX - v.extMinX, spanY = v.extMaxY - v.extMinY;
    if (!p->ok || !(spanX > 0) || !(spanY > 0)) return false;
    double column = std::floor(v.imageWidth * (p->x - v.extMinX) / spanX);
    double row = v.imageHeight - 1 - std::floor(v.imageHeight * (p->y - v.extMinY) / spanY);
    if (v.extRotation != 0) {   // a course-up picture
        double c = v.imageWidth * (p->x - v.extMinX) / spanX, r = v.imageHeight * (v.extMaxY - p->y) / spanY;
        map_view_turn(v, &c, &r);
        column = std::floor(c);
        row = std::floor(r);
    }
    if (!(column >= 0 && column < v.imageWidth && row >= 0 && row < v.imageHeight)) return false;
    *px = static_cast<int>(column);
    *py = static_cast<int>(row);
    return true;
}

int letters(const std::string& utf8) {
    int n = 0;
    for (unsigned char c : utf8) n += (c & 0xC0) != 0x80;
    return n;
}

}  // namespace

void waypoint_marks_draw(ClientFrame* f, int sx, int sy, int width, int height) {
    auto& shown = app_waypoints.shown;
    shown.clear();
    // Once a second the file is looked at: what another program wrote shows
    // without waiting for the user's next change.
    int64_t now = platform_monotonic_seconds();
    if (now != app_waypoints.lookedAt) {
        app_waypoints.lookedAt = now;
        std::string why;
        waypoint_store_refresh(&app_waypoints.store, &why);
    }
    const auto& list = app_waypoints.store.list;
    if (list.empty()) return;
    nav_ensure_extents();
    // Nearness is measured on the pane from the vehicle, else its centre.
    double vx = width / 2.0, vy = height / 2.0;
    int px, py;
    if (gps_has_position() && track_place(gps_latitude(), gps_longitude(), &px, &py)) vx = px - sx, vy = py - sy;
    std::vector<WaypointLabel> labels;
    auto& placed = app_waypoints.placed;
    placed.resize(list.size(), AppWaypoints::Placed{NAN, NAN, 0, 0, 0, false});
    for (size_t i = 0; i < list.size(); i++) {
        const GpxWaypoint& w = list[i];
        if (!place(&placed[i], w, &px, &py)) continue;
        int x = px - sx, y = py - sy;
        if (x < 0 || y < 0 || x >= width || y >= height) continue;
        // The mark and its name at the screen's scale.
        frame_fill_rect(f, APP_PANE_X + x - app_px(3), APP_PANE_Y + y - app_px(3), app_px(7), app_px(7), RGB_BLACK);
        frame_fill_rect(f, APP_PANE_X + x - app_px(2), APP_PANE_Y + y - app_px(2), app_px(5), app_px(5), kMarkFill);
        if (w.name.empty()) continue;
        const int nameHeight = app_px(kNameHeight);
        shown.push_back(WaypointShown{w.name, x + app_px(6), y - nameHeight / 2});
        labels.push_back(WaypointLabel{x + app_px(6), y - nameHeight / 2, letters(w.name) * app_px(kLetterWidth), nameHeight,
                                       (x - vx) * (x - vx) + (y - vy) * (y - vy), false});
    }
    waypoint_labels_place(&labels, width, height);
    size_t kept = 0;
    for (size_t i = 0; i < labels.size(); i++)
        if (labels[i].shown) shown[kept++] = shown[i];
    shown.resize(kept);
}

void waypoint_marks_draw_names(int night) {
    uint32_t halo = night ? NIGHT_READOUT_OUTLINE : RGB_WHITE, text = night ? NIGHT_READOUT_TEXT : RGB_BLACK;
    for (const WaypointShown& w : app_waypoints.shown) {
        int x = APP_PANE_X + w.x, y = APP_PANE_Y + w.y;
        platform_draw_text(x + 1, y + 1, w.name.c_str(), app_px(kNameHeight), 700, halo);
        platform_draw_text(x, y, w.name.c_str(), app_px(kNameHeight), 700, text);
    }
}
