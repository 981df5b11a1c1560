// The window's state kept between runs in kiv_state.txt in the working
// folder: a key file of the kiv_ini.txt form (Key=value, one a line) that
// the program alone writes, whole and atomically, so kiv_ini.txt stays the
// user's. Values read back are checked: a bad one is clamped into range or
// left at its default, never taken as it is; a size below the smallest
// window is damage and left at its default.
#pragma once
#include <string>
#include <vector>

#define KIV_STATE_FILE "kiv_state.txt"

enum {
    WINDOW_STATE_DEFAULT_WIDTH = 1024, WINDOW_STATE_DEFAULT_HEIGHT = 768,
    WINDOW_STATE_MIN_WIDTH = 320, WINDOW_STATE_MIN_HEIGHT = 240,
    WINDOW_STATE_MAX_WIDTH = 7680, WINDOW_STATE_MAX_HEIGHT = 4320,
    WINDOW_STATE_MAX_OFFSET = 65535,   // |x|, |y| beyond this is no position
};

struct WindowState {
    int hasPosition;          // 0: the window manager places the window
    int x, y;                 // top-left on the desktop
    int width, height;        // the window's size when neither maximised nor full screen
    int maximised, fullScreen;
    int level;                // 0..4; -1 none kept (the start level of kiv_ini.txt holds)
    int autoPan, autoZoom;
    int followMode;           // FOLLOW_CENTRED 0, FOLLOW_LOOK_AHEAD 1 (maps/view_follow.h)
    int night;                // night colours: 0 day, 1 night, 2 by the sun
    int magnifyMap;           // the map's pixels enlarged on a scaled screen
    std::vector<std::string> gpxFiles;   // opened GPX files, paths whole (blanks kept)
    // Go To as it was left: the destination or the route's points, the
    // point steered to and whether the last was reached.
    struct Point {
        double lat, lon;
        std::string name;
    };
    std::vector<Point> goTo;
    int goToLeg, goToArrived;
    int routeProfile;         // routes along roads: 0 car, 1 bicycle, 2 foot
    int courseUp;             // the map turned with the course
    int pointerForm;          // the pointer's position (CoordinateForm): 0 degrees, 1 DM, 2 DMS, 3 UTM
};

// No position, 1024 x 768, not maximised, level -1, Auto Pan on, Auto Zoom
// off, look-ahead, day colours, no GPX files, no destination.
void window_state_defaults(WindowState* state);

// Defaults, then what path holds. 1 when the file was read, 0 when it
// cannot be opened (all defaults).
int window_state_read(const char* path, WindowState* state);

// The whole state into path through a temporary and a rename. A GPX path
// with a line break cannot be kept and is left out; a point's name has its
// line breaks made blanks. 1 when written, 0 when
// not (the old file stays as it was).
int window_state_write(const char* path, const WindowState& state);
