// The waypoint list's rows: the user's waypoints and those of the opened
// GPX files (read-only, with their file), with distance and bearing from
// the vehicle, nearest first, narrowed by the filter box.
#pragma once
#include <string>
#include <vector>

enum {
    WAYPOINT_ACTION_CLOSE = 0,
    WAYPOINT_ACTION_RENAME = 1,
    WAYPOINT_ACTION_DELETE = 2,
    WAYPOINT_ACTION_SHOW = 3,
    WAYPOINT_ACTION_GO_TO = 4,
    WAYPOINT_ACTION_ROUTE_TO = 5,
};

struct WaypointRow {
    std::string name;
    std::string file;                  // a GPX file's name; empty for the user's own
    double lat, lon;
    double metres, bearing;            // NaN when there is nothing to measure from
    int index;                         // in the user's list; -1 for a file's
    std::string folded;                // the name as a search compares it
};

// WAYPOINT_DIALOG_LIST. The dialog shows waypoint_list_shown rows,
// afresh as the filter changes; chosen (an index of rows) and the result
// say what to do.
struct WaypointListDialog {
    std::vector<WaypointRow> rows;     // nearest first
    std::string from;                  // "from the vehicle", "from the centre of the view"
    char unit;                         // 'M': miles and feet, else metric
    std::string filter;                // in and out
    int chosen = -1;
};

// The rows for a point to measure from (NaN: none), nearest first.
std::vector<WaypointRow> waypoint_list_rows(double fromLat, double fromLon);
// The rows whose names match filter (all for an empty one), as indexes.
std::vector<int> waypoint_list_shown(const WaypointListDialog& d, const std::string& filter);
// "1.25 km", "350 m", "2.1 mi", "800 ft"; "" for NaN.
std::string waypoint_distance_text(double metres, char unit);
