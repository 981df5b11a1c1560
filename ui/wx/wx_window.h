// The wxWidgets main window: program-wide state shared by the files of this
// backend. Main thread only, except where a field says otherwise.
#pragma once
#include <wx/wx.h>

#include <atomic>
#include <map>
#include <vector>

struct WxWindow {
    wxFrame* frame;                    // null before creation and after destroy
    wxWindow* map;                     // fills the client area: toolbar band and pane
    wxMenuBar* menuBar;
    wxTimer* timer;
    wxDC* paintDc;                     // the paint's device context while app_paint runs
    int created;                       // app_create has run: events go to the program
    int destroyed;
    int exitCode;
    int busyDepth;                     // nested wait-cursor requests
    // The key last gone down and not yet up, and when (steady seconds): a
    // press of it again soon after is the system repeating it.
    int heldKey;
    double heldAt;
    std::map<int, int> checks;         // check marks as the program set them
    std::atomic<int> visible;          // shown and not minimised (read by other threads)
    int log;                           // KIV_PAINT_LOG=1: paints, menu states, visibility
    std::vector<wxDialog*> modal;      // modal dialogs running, innermost last
    int closePending;                  // a close waits for the modal dialogs to end
    void* heldDisplay;                 // X connection held until the toolkit has its own
};

extern WxWindow wx_window;

// Full screen hides the caption, borders and status bar but keeps the menu
// bar: Exit and the commands without a key must stay within reach.
constexpr long WX_FULL_SCREEN_STYLE = wxFULLSCREEN_ALL & ~wxFULLSCREEN_NOMENUBAR;

// wx_frame.cpp: the frame with its menu, accelerators, map window and timer,
// sized for the client area the program asks for; then the program's start-up.
wxFrame* wx_create_main_window();
bool wx_on_main_thread();
// One "kiv: ..." line on standard output when the log is on, flushed at once
// (tests wait on these lines instead of polling the screen).
void wx_log(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Every modal dialog of the program runs through this, so a close request
// (a signal, or Exit) can end them first: the window is never destroyed
// under a running dialog.
int  wx_show_modal(wxDialog* dialog);
// Close the main window as its close box does, once no dialog is modal.
void wx_request_close();

// Device pixels to one of the toolkit's pixels on the map window's screen
// (2 under GDK_SCALE=2): the backend's scale factor.
int wx_content_scale();
// The pixels the program works in to the toolkit's: the screen's scale, or
// 1 with the map magnified (the toolkit enlarges the frame). Sizes and
// pointer positions are converted here, once, on their way in.
int wx_scale();

// wx_platform.cpp: the PlatformBackend table of this toolkit.
void wx_install_backend();
// Paint bookkeeping for readers waiting on a repaint.
void wx_paint_started();
void wx_paint_finished();
// No reader waits any more (the window is going away).
void wx_repaint_shutdown();

// wx_paint.cpp: the map window's paint handler and the drawing calls.
void wx_paint(wxWindow* map);
void wx_blit_xrgb(int x, int y, int w, int h, const uint32_t* px, int stride);
// The client frame's memory, shared with the X server where it can be (the
// paint's surface's kind), during a paint; null otherwise.
uint32_t* wx_frame_pixels(int w, int h, int* stride);
void wx_draw_text(int x, int y, const char* utf8, int height, int weight, uint32_t rgb);

// wx_dialogs.cpp, wx_com_dialog.cpp, wx_monitor.cpp: the program's dialogs
// rendered from the app's records.
int  wx_run_dialog(int kind, void* state);
void wx_show_monitor(void* state);
void wx_close_monitors();

// Paint statistics (benchmarks): the last paint's time inside the handler
// and the number of paints so far.
double wx_last_paint_ms();
// The CPU time the paint's thread spent in it.
double wx_last_paint_cpu_ms();
long wx_paint_count();
