// What the main window's toolkit backend calls: the window procedure of the
// program, toolkit-independent. All of these run on the main thread. The
// backend creates the frame at the size and place window_keeping gives
// (app/window_keeping.h), calls app_create, then forwards its events here.
#pragma once

enum { APP_BUTTON_LEFT = 1, APP_BUTTON_RIGHT = 2 };
enum { APP_KEY_LEFT = 1, APP_KEY_UP = 2, APP_KEY_DOWN = 3, APP_KEY_RIGHT = 4 };
// The view's keys: + and - (keypad too), Page Up/Down, Space or Home, F11,
// Esc, N.
enum {
    APP_KEY_ZOOM_IN = 5,
    APP_KEY_ZOOM_OUT = 6,
    APP_KEY_PAGE_UP = 7,
    APP_KEY_PAGE_DOWN = 8,
    APP_KEY_HOME = 9,
    APP_KEY_FULL_SCREEN = 10,
    APP_KEY_ESCAPE = 11,
    APP_KEY_NIGHT = 12,
    // Waypoints: W marks one at the vehicle, L lists them.
    APP_KEY_WAYPOINT_MARK = 20,
    APP_KEY_WAYPOINT_LIST = 21,
    APP_KEY_GO_TO = 13,                // G: Go To the point under the pointer
    // Measure: M, and Backspace for its last point.
    APP_KEY_MEASURE = 50,
    APP_KEY_BACKSPACE = 51,
    APP_KEY_COURSE_UP = 60,            // C: course-up, and north-up again
};
// Accelerators: Shift+Page Up sends 261 (Connect), Shift+Page Down 262.
enum { APP_ACCEL_SHIFT_PAGE_UP = 261, APP_ACCEL_SHIFT_PAGE_DOWN = 262 };

// Client area for a map size: map area + 2-pixel margin, toolbar band above
// (722 x 591 big, 482 x 411 small).
void app_client_size(int bigMaps, int* width, int* height);

// Start-up when the window exists: settings, link, map area, zoom tables,
// zone and start position, first sheet, probe, timer (1000 ms). 1 when the
// settings record was attached, 0 when the window runs without one.
int  app_create();
void app_paint();                  // refresh, auto-pan/zoom, one blit, text
void app_timer();                  // re-arms the timer at 500 ms
// ctrl: Ctrl was held (a left click then marks a waypoint there).
void app_mouse_down(int button, int x, int y, int shift, int ctrl = 0);
void app_mouse_up(int button, int x, int y);
// leftDown: the left button is held (a drag when it went down in the pane).
void app_mouse_move(int x, int y, int leftDown = 0);
// Wheel notches at (x, y): positive away from the user (zoom in).
void app_mouse_wheel(int x, int y, int steps);
// The window's place on the screen and its state, as the toolkit reports
// them after a move or resize (kept for the next start).
void app_window_placed(int x, int y, int width, int height, int maximised, int fullScreen);
// A program key went down, or repeats while held; shift as it was then.
void app_key_down(int key, int shift);
void app_command(int id);          // menu ids 257..307 and the accelerators
void app_size(int clientWidth, int clientHeight);
void app_moved();                  // window position changed (Big Maps swap)
void app_close();                  // link closed, then platform_destroy_window()
void app_destroy();                // record freed, platform_quit(0)

// Window title at creation, before start-up sets its own.
inline const char* app_initial_title() { return "Kiv"; }
