#include "app/track_plot.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

#include "app/marker.h"
#include "maps/map_view.h"
#include "maps/view_plane.h"
#include "position/gps_fix.h"
#include "settings/app_settings.h"
#include "tracks/track_log.h"

int track_place(double lat, double lon, int* px, int* py) {
    const MapView& v = map_view;
    double x, y;
    if (!view_plane_from_degrees(v.extPlane, lat, lon, &x, &y)) return 0;
    double spanX = v.extMaxX - v.extMinX, spanY = v.extMaxY - v.extMinY;
    if (!(spanX > 0) || !(spanY > 0) || v.imageWidth <= 0 || v.imageHeight <= 0) return 0;
    double column = std::floor(v.imageWidth * (x - v.extMinX) / spanX);
    double row = v.imageHeight - 1 - std::floor(v.imageHeight * (y - v.extMinY) / spanY);
    if (v.extRotation != 0) {   // a course-up picture
        double c = v.imageWidth * (x - v.extMinX) / spanX, r = v.imageHeight * (v.extMaxY - y) / spanY;
        map_view_turn(v, &c, &r);
        column = std::floor(c);
        row = std::floor(r);
    }
    if (!(column >= 0 && column < v.imageWidth && row >= 0 && row < v.imageHeight)) return 0;
    *px = static_cast<int>(column);
    *py = static_cast<int>(row);
    return 1;
}

void track_log_point(AppSettings* s, double lat, double lon) {
    if (!s->trackLogFile[0]) return;
    char utc[GPS_TIME_TEXT];
    gps_copy_utc_text(utc);
    // One line a second. A time before the last logged one is the receiver's
    // clock stepping back (a reset, a replayed log): followed, never waited out.
    if (!utc[0] || strcmp(utc, s->lastLoggedTime) == 0) return;
    snprintf(s->lastLoggedTime, sizeof s->lastLoggedTime, "%s", utc);
    track_log_append(s->trackLogFile, lat, lon, s->lastLoggedTime);
}

namespace {

// Positions of the trail (Options > Track), oldest first. The oldest go
// when it is full, so a long drive keeps the paint quick.
constexpr size_t kTrailLimit = 20000;
std::vector<std::pair<double, double>> trail;

void dot(double lat, double lon, void* surface) {
    int px, py;
    if (track_place(lat, lon, &px, &py)) drawTrailDot(*static_cast<const MarkSurface*>(surface), px, py);
}

}  // namespace

void track_trail_add(double lat, double lon) {
    if (trail.size() >= kTrailLimit) trail.erase(trail.begin(), trail.begin() + kTrailLimit / 10);
    trail.emplace_back(lat, lon);
}

int track_trail_size() { return static_cast<int>(trail.size()); }

void track_trail_clear() { trail.clear(); }

void track_plot_draw(const AppSettings* s, const MarkSurface& to) {
    void* surface = const_cast<MarkSurface*>(&to);
    if (s->plot && s->trackLogFile[0]) track_log_read_points(s->trackLogFile, dot, surface);
    for (const auto& [lat, lon] : trail) dot(lat, lon, surface);
}
