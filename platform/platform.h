// The thin platform layer: everything the program logic asks of the
// windowing toolkit goes through these calls. A backend (wxWidgets in
// ui/wx, or the recording headless backend for tests) installs a table of
// functions; with no backend installed every call is a harmless no-op.
#pragma once
#include <cstdint>

// Message box styles and answers.
enum { PLATFORM_MB_WARNING = 1, PLATFORM_MB_ERROR = 2, PLATFORM_MB_INFO = 4, PLATFORM_MB_YESNO = 8 };
enum { PLATFORM_ANSWER_OK = 1, PLATFORM_ANSWER_YES = 6, PLATFORM_ANSWER_NO = 7 };
// Modal dialogs run by platform_run_dialog; the state records live in app/.
enum {
    PLATFORM_DIALOG_COM = 1,
    PLATFORM_DIALOG_KEYS = 2,
    PLATFORM_DIALOG_ABOUT = 3,
    PLATFORM_DIALOG_DOWNLOAD_AREA = 4,      // levels to fetch (app/download_area.h)
    PLATFORM_DIALOG_DOWNLOAD_PROGRESS = 5,  // the fetch under way, with Cancel
    // Blocks of ten for the dialogs of getting somewhere.
    PLATFORM_DIALOG_WAYPOINTS_FIRST = 20,
    PLATFORM_DIALOG_GO_TO_FIRST = 30,
    PLATFORM_DIALOG_FIND_FIRST = 40,
    PLATFORM_DIALOG_MEASURE_FIRST = 50,
    PLATFORM_DIALOG_ROUTE_FIRST = 60,
    PLATFORM_DIALOG_ROUTE_DIRECTIONS = PLATFORM_DIALOG_ROUTE_FIRST,   // app/road_directions.h
};

struct PlatformBackend {
    int  (*message_box)(const char* text, const char* caption, int style);
    void (*menu_check)(int id, int checked);
    void (*menu_enable)(int id, int enabled);
    void (*busy_cursor)(int on);                  // wait cursor on (1) / restore (0)
    void (*invalidate)();                         // schedule a repaint, main thread
    int  (*repaint_and_wait)(int timeout_ms);     // from another thread: paint now, wait (bounded)
    void (*set_title)(const char* utf8);
    // A test's clock in whole seconds, standing in for both clocks below;
    // negative (or no entry): the system's own.
    int64_t (*clock_seconds)();
    // The main window (the application layer; any entry may stay null).
    void (*blit_xrgb)(int x, int y, int w, int h, const uint32_t* px, int stride);
    void (*draw_text)(int x, int y, const char* utf8, int height, int weight, uint32_t rgb);
    void (*set_timer)(int ms);                    // (re)arm the window timer, period ms
    void (*kill_timer)();
    void (*destroy_window)();
    void (*quit)(int code);                       // end the event loop with this code
    void (*post_close)();                         // queue a close request to the window
    void (*invalidate_erase)(int erase);          // as invalidate, erasing the background first
    int  (*run_dialog)(int kind, void* state);    // modal; the dialog's result
    void (*show_monitor)(void* state);            // modeless; each call opens another
    int  (*open_file_dialog)(const char* filters, const char* initial_dir, const char* default_ext,
                             int* filter_index, char* out_path, int out_size);
    void (*set_repaint_stop)(int stop);           // 1: repaint_and_wait returns at once
    void (*set_tooltip)(const char* utf8);        // the main window's tip; "" removes it
    void (*set_full_screen)(int on);              // the main window fills the screen, no frame
    void (*beep)();                               // the system's bell (Go To's arrival)
    int  (*scale_factor)();                       // device pixels to a toolkit pixel (HiDPI)
    // A test's millisecond clock for what is seen to move; negative (or no
    // entry): the system's own.
    int64_t (*clock_ms)();
    // The window system's own memory for a w x h client frame (stride in
    // pixels), kept by the backend and ready to be written; null: none.
    uint32_t* (*frame_pixels)(int w, int h, int* stride);
};

void platform_install(const PlatformBackend* backend);   // nullptr uninstalls
const PlatformBackend* platform_backend();

int  platform_message_box(const char* text, const char* caption, int style);
void platform_menu_check(int id, int checked);
void platform_menu_enable(int id, int enabled);
void platform_busy_cursor(int on);
void platform_invalidate();
int  platform_repaint_and_wait(int timeout_ms);
void platform_set_title(const char* utf8);
// The wall clock in whole seconds since 1970: dates and times of day only.
int64_t platform_clock_seconds();
// Whole seconds on a clock that never steps and goes on through suspend:
// every interval (ages, time-outs, "every n seconds") is measured on it.
int64_t platform_monotonic_seconds();
// Milliseconds on a monotonic clock, for what is seen to move (a zoom's
// animation); -1 while a test's clock in whole seconds stands in, which
// cannot time a frame (a test's millisecond clock can).
int64_t platform_monotonic_ms();

// The main window. The whole client area is composed in software and handed
// over with one blit per paint: rows top to bottom of 32-bit pixels
// 0xFFRRGGBB, stride pixels from row to row. Text is drawn over it after the blit in the
// Swiss (sans-serif) family, transparent background; height in pixels,
// weight 100..900, rgb as 0xRRGGBB.
void platform_blit_xrgb(int x, int y, int w, int h, const uint32_t* px, int stride);
void platform_draw_text(int x, int y, const char* utf8, int height, int weight, uint32_t rgb);
void platform_set_timer(int ms);
void platform_kill_timer();
void platform_destroy_window();
void platform_quit(int code);
void platform_post_close();
void platform_invalidate(int erase);
int  platform_run_dialog(int kind, void* state);
void platform_show_monitor(void* state);
// Filters as "GIF Files (*.GIF)|*.gif|JPG Files (*.JPG)|*.jpg"; *filter_index
// is the pair shown first and takes the one the user chose. 1 with the path
// in out_path, 0 on cancel.
int  platform_open_file_dialog(const char* filters, const char* initial_dir, const char* default_ext,
                               int* filter_index, char* out_path, int out_size);
// Set around closing the link so a reader waiting for a paint is let go at
// once and does not wait again until the stop is lifted.
void platform_set_repaint_stop(int stop);
// The tip the main window shows under the pointer (a toolbar button's);
// "" takes it away.
void platform_set_tooltip(const char* utf8);
void platform_set_full_screen(int on);
// One short sound, as the desktop makes it; nothing where there is none.
void platform_beep();

// Device pixels to one of the toolkit's pixels on the main window's screen,
// in whole steps: 2 on a HiDPI screen (GDK_SCALE=2, a desktop at 200%),
// 1 otherwise and without a backend. The program's frame, sizes and
// pointer positions are all in device pixels.
int platform_scale_factor();
// The window system's memory for the client frame, so the frame is
// composed where the window system reads it; null when it has none.
uint32_t* platform_frame_pixels(int w, int h, int* stride);

// The usual warning box of the program: caption "Kiv", warning icon.
inline int platform_warn(const char* text) { return platform_message_box(text, "Kiv", PLATFORM_MB_WARNING); }
