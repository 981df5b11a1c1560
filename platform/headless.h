// Headless backend: records every platform call so tests can drive the
// program logic without a display. Thread-safe.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

struct HeadlessCall {
    std::string what;   // "message_box", "menu_check", "menu_enable", "busy_cursor", ...
    std::string text;   // message text / title
    std::string caption;
    int a = 0, b = 0;   // id and state, width and height, style, ...
    int c = 0, d = 0;   // draw_text: height and weight
    uint32_t rgb = 0;   // draw_text: colour
};

void headless_install();                      // installs and clears the record
void headless_reset();                        // clears the record
std::vector<HeadlessCall> headless_calls();   // a copy of everything recorded
std::vector<HeadlessCall> headless_calls_of(const std::string& what);
int headless_menu_checked(int id);            // -1 when never set
int headless_menu_enabled(int id);            // -1 when never set
std::string headless_title();
int headless_repaints();                      // repaint_and_wait + invalidate count
void headless_set_answer(int answer);         // what message boxes return
void headless_set_clock(int64_t seconds);     // manual clock; < 0 returns to the real one
void headless_advance_clock(int64_t seconds);
void headless_set_clock_ms(int64_t ms);       // manual millisecond clock (animations); < 0 the real one
void headless_set_scale_factor(int scale);    // what platform_scale_factor says (1 by default)

// The main window. Blits land on a client-sized canvas that keeps the last
// frame; text calls are recorded ("draw_text": a, b = x, y), not rendered.
int headless_frame_pixel(int x, int y);       // 0xRRGGBB, or -1 where nothing was blitted
int headless_blits();
int headless_timer_ms();                      // armed period, 0 when none
int headless_quit_code();                     // -1 until platform_quit
int headless_window_destroyed();
int headless_close_posted();
// Modal dialogs call the hook (none: result 1); the file dialog returns the
// scripted path (empty: cancel).
void headless_set_dialog_hook(int (*hook)(int kind, void* state));
void headless_set_open_file(const std::string& path);
