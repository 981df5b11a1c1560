// The window's state between runs (kiv_state.txt in the working folder):
// its place and size, full screen, the level, Auto Pan, Auto Zoom, the
// follow mode, night colours, the opened GPX files and Go To's
// destination or route. Read as the window
// is made, applied at start-up, written whole when the window closes.
// Main thread.
#pragma once

struct AppSettings;

// What the toolkit needs before the window exists.
struct AppStartWindow {
    int hasPosition, x, y;
    int width, height;                 // client area
    int maximised, fullScreen;
};
void window_keeping_start_window(AppStartWindow* out);
// After the settings are loaded: level, Auto Pan, Auto Zoom, follow mode,
// night colours, full screen and the GPX files, with their menu marks.
void window_keeping_apply(AppSettings* s);
// The state as it is now; 0 when it could not be written (said on stderr:
// the window is going away).
int  window_keeping_save(const AppSettings* s);
