// What marks positions on the sheet, painted into the picture shown: the
// marker of the current position, its cross-hair, and the small dots of
// the positions before it. Pixels outside the surface are skipped.
#pragma once
#include <cstdint>

struct ClientFrame;
struct NightColours;

// Rows of pixels whose first three bytes are blue, green, red: the display
// bitmap of a picture of its own (3 bytes a pixel, rows padded to 4) or the
// client frame at the pane (4 bytes, 0xFFRRGGBB in memory order).
struct MarkSurface {
    unsigned char* bits;
    int width, height;
    long stride;                       // bytes a row
    int step;                          // bytes a pixel
    // The frame's night colours at night (ClientFrame::night): the marks go
    // through them as the map did. Null by day and on a display bitmap.
    const NightColours* night;
    // The client frame the surface lies in, its (0, 0) at (frameX, frameY)
    // there: what is drawn is recorded in its marks. Null on a bitmap.
    const ClientFrame* frame;
    int frameX, frameY;
};

// The display bitmap of a width x height picture.
MarkSurface mark_surface_bitmap(unsigned char* dibBits, int width, int height);

// Columns [x0, x1) of rows [y0, y1) of the surface were drawn over: told
// to its frame (frame_marked).
void mark_surface_marked(const MarkSurface& to, int x0, int y0, int x1, int y1);

// The colour (0xRRGGBB) a mark is drawn in on the surface.
uint32_t mark_colour(const MarkSurface& to, uint32_t rgb);

// Marker patterns, 11 x 11: '#' yellow, 'g' grey, 'k' black, '.' unchanged.
extern const char* const MARKER_PATTERN[11];        // the current position
extern const char* const STALE_MARKER_PATTERN[11];  // a hollow ring: the fix is no longer current

// The pattern centred on (x, y).
void drawMarker(const MarkSurface& to, int x, int y, const char* const pattern[11]);

// Cross-hair of hairWidth (0 or less none; 1 thin black lines; 3 black with
// a white pixel each side, ...) through (x, y), across the whole bitmap.
void drawCrossHair(const MarkSurface& to, int x, int y, int hairWidth);

// A past position (the trail, the logged track): a red dot in a black ring,
// 5 x 5, small beside the marker so history never looks like the position.
void drawTrailDot(const MarkSurface& to, int x, int y);

// The vehicle while it moves: a filled yellow arrow with a black outline,
// 21 px from tip to tail, centred on (x, y) and pointing screenAngleDegrees
// clockwise from straight up (the course as it lies on screen:
// view_follow_screen_angle of the direction in the plane).
void drawVehicleArrow(const MarkSurface& to, int x, int y, double screenAngleDegrees);

// 1 when the arrow stands for the vehicle instead of the round marker: a
// course is known and the speed is above the moving speed (2 km/h).
int vehicleArrowShown(double speedMs, int courseKnown);
