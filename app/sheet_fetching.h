// The window's sheet downloads run in the background: while the app runs,
// the download hooks answer from the store at once and queue what is
// missing (maps/sheet_fetch_queue.h); the sheet a user action or start-up
// asked for is shown as soon as it is stored, picked up by the timer or
// the paint on the main thread.
#pragma once
#include <cstddef>

struct AppSettings;
struct SheetDownloadHooks;

// How a sheet that arrives later is shown.
enum SheetShow {
    SHOW_MOVE = 0,                     // as the displayed sheet (zoom out, size swap)
    SHOW_JUMP = 1,                     // the same, and the title's cursor moves to it (pans, zoom in, levels)
    SHOW_RELOAD = 2,                   // the same sheet afresh; a failure is said once
    SHOW_AERIAL = 3,                   // an aerial sheet; none: back to topographic with the message
    SHOW_START = 4,                    // the start sheet; none: the pane says so
};

// After sheet_download_install: the queue takes the real downloads, the
// hooks become the queuing ones.
void sheet_fetching_install(const AppSettings* s);
// 1 while the hooks are the queuing ones (tests may put others in).
int  sheet_fetching_active();
// Called after a dispatch that was not ready: when that call queued the
// sheet (or found it already on its way), it is shown the given way once
// stored; 1 then. 0 when nothing was queued (not available, backing off).
int  sheet_fetching_await(int how);
// Reload Map in the background; 0 when the queue does not run.
int  sheet_fetching_reload(const AppSettings* s, double lat, double lon, int level);
// "Reload failed: <reason>. The stored sheet is kept." (reason "" when not known).
void sheet_fetching_say_reload_failed(const char* reason);
// Main thread (timer and paint): show or report what has arrived.
void sheet_fetching_poll();
// Why the last fetch that ended failed ("" when not known), or null when
// it succeeded: the server is taken to be failing until one succeeds.
const char* sheet_fetching_failure();
// " - fetching <sheet file name>" while a download runs or waits, else "".
void sheet_fetching_title(char* out, size_t size);
// The downloads that really fetch (the queue's own while it runs), for
// work that runs on threads of its own.
SheetDownloadHooks sheet_fetching_downloads();
// Exit: a transfer in flight is cut short (the downloads' cancel stays
// set) and the worker joined.
void sheet_fetching_stop();
