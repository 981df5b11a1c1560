// The scale bar in a corner of the map pane: a round distance (1, 2, 5 x
// 10^n metres or kilometres; feet and miles when the speed read-out is in
// miles) whose bar fits a width, drawn black with a white outline and end
// ticks into the composed client frame. The label is text the caller draws
// (platform_draw_text) where scale_bar_place says.
#pragma once

struct ClientFrame;
struct ViewRecord;

struct ScaleBar {
    int lengthPx;       // bar length in pixels
    double metres;      // the ground distance it stands for
    char label[16];     // "500 m", "2 km", "1000 ft", "0.5 mi", "1 mi"
};

// Bar height in pixels: the ticks reach SCALE_BAR_TICK rows above the
// bar's bottom row; the outline adds one pixel all round.
enum { SCALE_BAR_TICK = 9, SCALE_BAR_MARGIN = 10 };
enum { SCALE_BAR_BOTTOM_LEFT = 0, SCALE_BAR_BOTTOM_RIGHT = 1 };

// The longest round distance whose bar is at most maxPx long. groundMpp:
// ground metres per pixel (scale_bar_ground_mpp); imperial: feet and miles
// (speedUnit 'M'). 1 with *bar, 0 when mpp is not a positive number or not
// even the shortest step fits (*bar untouched).
int scale_bar_choose(double groundMpp, int maxPx, int imperial, ScaleBar* bar);

// Ground metres per pixel across the view at screen point (px, py): the
// plane's metres per pixel corrected by the projection's scale there.
// 0 when the point cannot be placed.
double scale_bar_ground_mpp(const ViewRecord& view, double px, double py);

// Where a bar of lengthPx goes in a corner of the pane (frame pixels):
// (barX, barY) its left end and bottom row, (labelX, labelY) the top-left
// of a label textHeight high, just above the bar's ticks.
struct ScaleBarPlace {
    int barX, barY, labelX, labelY;
};
void scale_bar_place(int paneX, int paneY, int paneWidth, int paneHeight, int lengthPx, int textHeight, int corner,
                     ScaleBarPlace* place);

// Draws the bar with its left end at x, bottom row y; parts outside the
// frame are skipped.
void scale_bar_draw(const ClientFrame& frame, int x, int y, int lengthPx);
