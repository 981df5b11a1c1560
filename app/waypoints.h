// The user's own waypoints in the window: the file's record, the Waypoints
// menu's commands and their dialogs. Main thread only.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "nav/waypoint_file.h"
#include "platform/platform.h"
#include "settings/menu_ids.h"

struct AppSettings;

enum {
    MENU_WAYPOINT_MARK = MENU_WAYPOINTS_FIRST,     // at the vehicle (key W)
    MENU_WAYPOINT_LIST = MENU_WAYPOINTS_FIRST + 1,  // the list (key L)
    MENU_WAYPOINT_IMPORT = MENU_WAYPOINTS_FIRST + 2,
    MENU_WAYPOINT_EXPORT = MENU_WAYPOINTS_FIRST + 3,
};

enum {
    // WaypointNameDialog: result 1 to keep the name typed, 0 to cancel.
    WAYPOINT_DIALOG_NAME = PLATFORM_DIALOG_WAYPOINTS_FIRST,
    // WaypointListDialog: result one of WAYPOINT_ACTION_*.
    WAYPOINT_DIALOG_LIST = PLATFORM_DIALOG_WAYPOINTS_FIRST + 1,
    // WaypointFileDialog: a file to write; result 1 with its path.
    WAYPOINT_DIALOG_SAVE_FILE = PLATFORM_DIALOG_WAYPOINTS_FIRST + 2,
};

constexpr const char* WAYPOINTS_FILE = "waypoints.gpx";

struct WaypointNameDialog {
    std::string caption;               // "Mark Waypoint", "Rename Waypoint"
    std::string where;                 // the position, as a line above the box
    std::string name;                  // in: offered, selected; out: typed
};

struct WaypointFileDialog {
    std::string caption;
    std::string path;                  // in: offered name; out: chosen path
};

// A name drawn on the view: its top-left corner in pane pixels.
struct WaypointShown {
    std::string name;
    int x, y;
};

// The user's waypoints and the file they live in.
struct AppWaypoints {
    WaypointStore store;
    std::vector<WaypointShown> shown;  // names of the last paint, after the blit
    // Each waypoint in map metres of the view's plane, projected again only
    // when the plane or the waypoint changes: a paint then only scales.
    struct Placed {
        double lat, lon, x, y;
        int plane;
        bool ok;
    };
    std::vector<Placed> placed;
    int64_t lookedAt = -1;             // monotonic second the file was last looked at
};
extern AppWaypoints app_waypoints;

// Start-up: the working folder's waypoints.gpx read; a file that does not
// read is said so, and left as it is.
void waypoints_start();
// Ctrl+click in the pane: a waypoint at that point of the map.
void waypoint_mark_at_pane(int x, int y);
void waypoints_command(int id);
