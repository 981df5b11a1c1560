// The navigation strip: a band across the bottom of the map pane, above the
// fix strip, with the bearing, distance, speed made good, time to go, ETA
// and cross-track error of Go To, in as many lines as the pane's width
// needs (a 320 px window too). Main thread.
#pragma once
#include <string>

struct AppSettings;
struct ClientFrame;
struct NavReading;

enum { GO_TO_STRIP_LINES = 4 };

struct GoToStrip {
    int lines;                         // 0: no strip
    std::string text[GO_TO_STRIP_LINES];
};

// The strip of this reading for a pane paneWidth wide; nowUtc the
// reading's time.
void go_to_strip_layout(const AppSettings* s, const NavReading& r, long long nowUtc, int paneWidth, GoToStrip* out);
// Its height in pixels, 0 without one.
int  go_to_strip_height(const GoToStrip& strip);
// The band into the frame, its bottom row at bottom, then (after the blit)
// the text over it.
void go_to_strip_band(ClientFrame* f, int paneX, int bottom, int paneWidth, const GoToStrip& strip);
void go_to_strip_text(int paneX, int bottom, const GoToStrip& strip, int night);
