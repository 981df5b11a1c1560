#include "app/waypoint_list.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "app/track_overlay.h"
#include "app/waypoints.h"
#include "nav/geodesic.h"
#include "nav/text_fold.h"

namespace {

std::string baseName(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

WaypointRow row(const std::string& name, const std::string& file, double lat, double lon, int index, double fromLat,
                double fromLon) {
    WaypointRow r{name, file, lat, lon, NAN, NAN, index, text_fold(name)};
    if (std::isfinite(fromLat) && std::isfinite(fromLon)) {
        GeodesicLine g = geodesic_inverse(fromLat, fromLon, lat, lon);
        r.metres = g.metres;
        r.bearing = g.bearingDegrees;
    }
    return r;
}

}  // namespace

std::vector<WaypointRow> waypoint_list_rows(double fromLat, double fromLon) {
    std::vector<WaypointRow> rows;
    const std::vector<GpxWaypoint>& own = app_waypoints.store.list;
    for (size_t i = 0; i < own.size(); i++)
        rows.push_back(row(own[i].name, "", own[i].lat, own[i].lon, static_cast<int>(i), fromLat, fromLon));
    for (const TrackOverlayWaypoint& w : track_overlay_waypoints())
        rows.push_back(row(w.name, baseName(w.path), w.lat, w.lon, -1, fromLat, fromLon));
    // Nearest first; without a point to measure from, by name.
    std::stable_sort(rows.begin(), rows.end(), [](const WaypointRow& a, const WaypointRow& b) {
        if (std::isfinite(a.metres) && std::isfinite(b.metres) && a.metres != b.metres) return a.metres < b.metres;
        return a.folded < b.folded;
    });
    return rows;
}

std::vector<int> waypoint_list_shown(const WaypointListDialog& d, const std::string& filter) {
    std::string folded = text_fold(filter);
    bool all = folded.find_first_not_of(" \t") == std::string::npos;
    std::vector<int> shown;
    for (size_t i = 0; i < d.rows.size(); i++)
        if (all || waypoint_name_rank(d.rows[i].folded, folded) >= 0) shown.push_back(static_cast<int>(i));
    return shown;
}

std::string waypoint_distance_text(double metres, char unit) {
    if (!std::isfinite(metres)) return "";
    char text[32];
    if (unit == 'M') {
        double miles = metres / 1609.344;
        if (miles < 0.2) snprintf(text, sizeof text, "%.0f ft", metres / 0.3048);
        else snprintf(text, sizeof text, miles < 10 ? "%.2f mi" : "%.0f mi", miles);
    } else if (metres < 1000) {
        snprintf(text, sizeof text, "%.0f m", metres);
    } else {
        snprintf(text, sizeof text, metres < 10000 ? "%.2f km" : "%.0f km", metres / 1000);
    }
    return text;
}
