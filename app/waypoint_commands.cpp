// Marking, the list and its actions, Import and Export, and the user's
// waypoints in a search.
#include "app/waypoint_commands.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "app/app_state.h"
#include "app/commands_route.h"
#include "app/commands_tracks.h"
#include "app/go_to.h"
#include "app/navigation.h"
#include "app/pane_place.h"
#include "app/stale_fix.h"
#include "app/track_overlay.h"
#include "app/view_pane.h"
#include "app/waypoint_list.h"
#include "app/waypoints.h"
#include "maps/map_view.h"
#include "maps/view_plane.h"
#include "maps/world_grid.h"
#include "nav/text_fold.h"
#include "platform/platform.h"
#include "position/gps_fix.h"
#include "settings/app_settings.h"

AppWaypoints app_waypoints;

namespace {

WaypointStore& store() { return app_waypoints.store; }

// The list into the file; what went wrong is said, the list stays as the
// user made it.
void save() {
    std::string why;
    if (!waypoint_store_save(&store(), &why))
        platform_warn(("The waypoints are not saved: " + why + ".").c_str());
    platform_invalidate(0);
}

// Another program's changes into the list before it is shown or changed.
void refresh() {
    std::string why;
    if (!waypoint_store_refresh(&store(), &why)) platform_warn(("The waypoints file is not read again: " + why + ".").c_str());
}

bool askName(const char* caption, double lat, double lon, std::string* name) {
    WaypointNameDialog d;
    d.caption = caption;
    char where[64];
    snprintf(where, sizeof where, "%.6f, %.6f", lat, lon);
    d.where = where;
    d.name = *name;
    if (platform_run_dialog(WAYPOINT_DIALOG_NAME, &d) != 1) return false;
    // An empty box keeps the name offered.
    if (d.name.find_first_not_of(" \t") != std::string::npos) *name = d.name.substr(0, 255);
    return true;
}

void mark(double lat, double lon, const char* offered, double ele) {
    if (!std::isfinite(lat) || !std::isfinite(lon) || std::fabs(lat) > 90 || std::fabs(lon) > 180) {
        platform_warn("No waypoint marked: the position is not on the earth.");
        return;
    }
    // Quietly: the save says why when the file does not read.
    std::string why;
    waypoint_store_refresh(&store(), &why);
    std::string name = offered && offered[0] ? offered : waypoint_next_name(store().list);
    if (!askName("Mark Waypoint", lat, lon, &name)) return;
    GpxWaypoint w{lat, lon, name, platform_clock_seconds(), ele, "", ""};
    store().list.push_back(w);
    save();
}

// Why the vehicle's position cannot be marked now; null when it can.
const char* noFix(const AppSettings* s) {
    if (!s->connected) return "No waypoint marked: no receiver is connected.";
    if (!gps_has_position()) return "No waypoint marked: the receiver has no fix yet.";
    if (stale_fix_stale()) return "No waypoint marked: the fix is lost, the vehicle is not where it was last seen.";
    return nullptr;
}

void markAtVehicle() {
    const AppSettings* s = app_window.settings;
    if (const char* why = noFix(s)) {
        platform_message_box(why, "Kiv", PLATFORM_MB_INFO);
        return;
    }
    double ele = gps_fix_mode() == 3 ? gps_altitude() : NAN;
    mark(gps_latitude(), gps_longitude(), nullptr, std::isfinite(ele) ? ele : NAN);
}

// The view centred on (lat, lon) at its level; Auto Pan goes off so it stays.
void show(double lat, double lon) {
    if (view_pane_show_point(app_window.settings, lat, lon)) return;
    // The cause, whatever it is (no grid there, PROJ failing), reaches the user.
    Result place = world_grid_place_check(lat, lon, map_view.zoomLevel, app_window.settings->bigMaps);
    platform_warn(((place ? std::string("No map grid here") : place.why) + ": the waypoint cannot be shown.").c_str());
}

// The index of the user's waypoint a row stands for, found again by its
// fields: the list may have been read again meanwhile.
int ownIndex(const WaypointRow& r) {
    const std::vector<GpxWaypoint>& list = store().list;
    for (size_t i = 0; i < list.size(); i++)
        if (list[i].name == r.name && list[i].lat == r.lat && list[i].lon == r.lon) return static_cast<int>(i);
    return -1;
}

void list() {
    std::string filter;
    for (;;) {
        refresh();
        WaypointListDialog d;
        double lat = NAN, lon = NAN;
        const AppSettings* s = app_window.settings;
        if (gps_has_position() && !stale_fix_stale()) {
            lat = gps_latitude(), lon = gps_longitude();
            d.from = "from the vehicle";
        } else {
            int plane;
            double x, y, mpp;
            if (view_pane_centre_now(s, &plane, &x, &y, &mpp) && view_plane_to_degrees(plane, x, y, &lat, &lon))
                d.from = "from the centre of the view";
        }
        d.rows = waypoint_list_rows(lat, lon);
        d.unit = s->speedUnit;
        d.filter = filter;
        int action = platform_run_dialog(WAYPOINT_DIALOG_LIST, &d);
        filter = d.filter;
        if (action == WAYPOINT_ACTION_CLOSE || d.chosen < 0 || d.chosen >= static_cast<int>(d.rows.size())) return;
        const WaypointRow& r = d.rows[static_cast<size_t>(d.chosen)];
        if (action == WAYPOINT_ACTION_SHOW) return show(r.lat, r.lon);
        if (action == WAYPOINT_ACTION_GO_TO) return go_to_point(r.lat, r.lon, r.name.c_str());
        if (action == WAYPOINT_ACTION_ROUTE_TO) return command_route_to(s, r.lat, r.lon, r.name.c_str());
        int i = ownIndex(r);
        if (i < 0) {
            platform_warn("The waypoints of an opened GPX file cannot be changed here.");
            continue;
        }
        auto& own = store().list;
        if (action == WAYPOINT_ACTION_RENAME) {
            std::string name = own[static_cast<size_t>(i)].name;
            if (askName("Rename Waypoint", r.lat, r.lon, &name)) {
                own[static_cast<size_t>(i)].name = name;
                save();
            }
        } else if (action == WAYPOINT_ACTION_DELETE) {
            std::string ask = "Delete the waypoint " + r.name + "?";
            if (platform_message_box(ask.c_str(), "Kiv", PLATFORM_MB_YESNO) == PLATFORM_ANSWER_YES) {
                own.erase(own.begin() + i);
                save();
            }
        }
    }
}

void importWaypoints() {
    static int filter = 1;
    char path[1024];
    if (!platform_open_file_dialog(OPEN_TRACK_FILTERS, ".", "gpx", &filter, path, sizeof path)) return;
    std::vector<GpxWaypoint> read;
    std::string why;
    if (!waypoints_import(path, &read, &why)) {
        platform_warn(("No waypoints imported: " + why + ".").c_str());
        return;
    }
    refresh();
    size_t added = 0;
    for (const GpxWaypoint& w : read) {
        bool known = std::any_of(store().list.begin(), store().list.end(),
                                 [&](const GpxWaypoint& o) { return waypoint_same(o, w); });
        if (known) continue;
        store().list.push_back(w);
        added++;
    }
    char text[96];
    snprintf(text, sizeof text, "%zu waypoints imported (%zu already there).", added, read.size() - added);
    platform_message_box(text, "Kiv", PLATFORM_MB_INFO);
    if (added) save();
}

void exportWaypoints() {
    refresh();
    WaypointFileDialog d{"Export Waypoints", "waypoints-export.gpx"};
    if (platform_run_dialog(WAYPOINT_DIALOG_SAVE_FILE, &d) != 1 || d.path.empty()) return;
    std::string why;
    if (!waypoints_export(d.path.c_str(), store().list, &why)) platform_warn(("No waypoints exported: " + why + ".").c_str());
}

}  // namespace

void waypoints_start() {
    std::string why;
    if (!waypoint_store_load(&store(), WAYPOINTS_FILE, &why))
        platform_warn(("Your waypoints are not read: " + why + ".").c_str());
}

void waypoint_mark(double lat, double lon, const char* name) { mark(lat, lon, name, NAN); }

void waypoint_mark_at_pane(int x, int y) {
    double lat, lon;
    if (nav_in_pane(x, y) && pane_place_to_degrees(x, y, &lat, &lon)) mark(lat, lon, nullptr, NAN);
}

void waypoints_command(int id) {
    if (!app_window.settings) return;
    switch (id) {
    case MENU_WAYPOINT_MARK: markAtVehicle(); break;
    case MENU_WAYPOINT_LIST: list(); break;
    case MENU_WAYPOINT_IMPORT: importWaypoints(); break;
    case MENU_WAYPOINT_EXPORT: exportWaypoints(); break;
    default: break;
    }
}

void waypoint_search(const char* text, std::vector<PlaceMatch>* out) {
    std::string folded = text_fold(text ? text : "");
    auto add = [&](const std::string& name, const std::string& source, double lat, double lon) {
        int rank = waypoint_name_rank(text_fold(name), folded);
        if (rank >= 0) out->push_back(PlaceMatch{name, "waypoint", source, lat, lon, static_cast<double>(rank)});
    };
    std::string why;
    waypoint_store_refresh(&store(), &why);
    for (const GpxWaypoint& w : store().list) add(w.name, WAYPOINTS_FILE, w.lat, w.lon);
    for (const TrackOverlayWaypoint& w : track_overlay_waypoints()) {
        size_t slash = w.path.rfind('/');
        add(w.name, slash == std::string::npos ? w.path : w.path.substr(slash + 1), w.lat, w.lon);
    }
}
