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
