// Measure: a ruler over the map. While it is on, a click in the pane adds
// a point there (instead of zooming) and the view draws the line through
// the points with each segment's geodesic length and initial bearing and
// the running total, in the units of Dash=. Backspace takes the last point
// off, Esc (or Measure again) ends. The points are kept in degrees, so the
// line stays on them as the view follows the vehicle, pans or zooms.
// Main thread only.
#pragma once
#include <cstddef>
#include <vector>

struct ClientFrame;

struct RulerPoint {
    double lat, lon;
};

struct Ruler {
    int on;
    std::vector<RulerPoint> points;
};

extern Ruler app_ruler;

// Measure on (no points yet) or off (the line goes).
void ruler_toggle();
void ruler_end();
// A click at client (x, y) in the pane while measuring: 1 when it added
// a point, 0 when the ruler is off or the point cannot be placed.
int  ruler_click(int x, int y);
// Backspace: 1 when a point was taken off.
int  ruler_remove_last();

// "1.23 km 045°" for the segment ending at point i (1 .. size-1), and the
// total "Total 3.45 km".
void ruler_segment_text(size_t i, char* out, size_t size);
void ruler_total_text(char* out, size_t size);

// Before the blit: the line and its points into the frame, clipped to the
// w x h of the pane the picture covers at client (paneX, paneY). After the
// blit: the texts.
void ruler_draw(ClientFrame* f, int paneX, int paneY, int w, int h);
void ruler_draw_text(int paneX, int paneY, int w, int h, int night);
