// Command identifiers of the main window's menu. The settings loader sets
// the initial states, the serial link greys Connect/Disconnect, the menu
// commands dispatch on them and the toolkit builds the menu from them.
#pragma once

enum MenuId {
    MENU_OPEN_MAP = 257,
    MENU_RELOAD_MAP = 258,
    MENU_ONLINE = 259,
    MENU_OFFLINE = 260,
    MENU_CONNECT = 261,
    MENU_DISCONNECT = 262,
    MENU_EXIT = 263,
    MENU_DOWNLOAD_AREA = 264,
    MENU_OPEN_TRACK = 270,
    MENU_CLOSE_TRACKS = 271,

    MENU_AUTO_PAN = 273,
    MENU_AUTO_ZOOM = 274,
    MENU_TRACK = 275,
    MENU_BIG_MAPS = 276,
    MENU_MAP_COORDINATES = 277,
    MENU_SATELLITE_IMAGE = 279,
    MENU_SETTINGS_COM = 280,
    MENU_FULL_SCREEN = 281,
    MENU_LOOK_AHEAD = 282,
    MENU_NIGHT_COLOURS = 283,

    // Device items are MENU_DEVICE_BASE + device type (1..7).
    MENU_DEVICE_BASE = 288,
    MENU_DEVICE_NMEA = 289,
    MENU_DEVICE_USB_EARTHMATE = 290,
    MENU_DEVICE_EARTHMATE = 291,
    MENU_DEVICE_TRIPMATE = 292,
    MENU_DEVICE_GARMIN = 293,
    MENU_DEVICE_SMS = 294,
    MENU_DEVICE_REMOTE = 295,
    MENU_MONITOR = 296,

    MENU_KEYS = 305,
    MENU_ABOUT = 307,

    // Blocks of ten for the commands of getting somewhere, so that each
    // keeps its numbers as others are added.
    MENU_WAYPOINTS_FIRST = 320,        // marking and the waypoint list
    MENU_GO_TO_FIRST = 330,            // Go To, Follow Route, Stop Navigation
    MENU_FIND_FIRST = 340,             // the search
    MENU_MEASURE_FIRST = 350,          // the ruler, track statistics
    MENU_ROUTE_FIRST = 360,            // routing along roads
    MENU_WINDOW_FIRST = 370,           // the window's own commands

    // Course-up, and the form of the pointer's position in the fix strip
    // (radio items in the order of CoordinateForm).
    MENU_COURSE_UP = 390,
    MENU_POINTER_DECIMAL = 391,
    MENU_POINTER_DM = 392,
    MENU_POINTER_DMS = 393,
    MENU_POINTER_UTM = 394,

    // The ruler and track statistics.
    MENU_MEASURE = MENU_MEASURE_FIRST,
    MENU_TRACK_STATS = MENU_MEASURE_FIRST + 1,

    // Night colours by hand or by the sun, and the map magnified on a
    // scaled (HiDPI) screen.
    MENU_NIGHT_DAY = 400,
    MENU_NIGHT_NIGHT = 401,
    MENU_NIGHT_AUTO = 402,
    MENU_MAGNIFY_MAP = 403,

    // Commands outside this range are ignored.
    MENU_FIRST = 257,
    MENU_LAST = 449,
};

inline int menu_device_item(int deviceType) { return MENU_DEVICE_BASE + deviceType; }

// Go To's commands: the point last under the pointer, a GPX route, stop.
enum { MENU_GO_TO_POINTER = MENU_GO_TO_FIRST, MENU_FOLLOW_ROUTE, MENU_STOP_NAVIGATION };

// Routes along roads: to the point under the pointer (through the vias
// added before), to Go To's destination, the directions, the route as GPX,
// clearing it, and the profile (radio items).
enum {
    MENU_ROUTE_TO_POINTER = MENU_ROUTE_FIRST,
    MENU_ROUTE_VIA_POINTER,
    MENU_ROUTE_TO_DESTINATION,
    MENU_ROUTE_DIRECTIONS,
    MENU_ROUTE_SAVE_GPX,
    MENU_ROUTE_CLEAR,
    MENU_ROUTE_CAR,
    MENU_ROUTE_BICYCLE,
    MENU_ROUTE_FOOT,
};
