// Positions on the picture the pane shows and client pixels, both ways,
// through the held extents, so a mark placed by degrees and a click read as
// degrees agree on every source (composed view, a sheet of its own).
// Main thread.
#pragma once

// The pixel of the displayed picture at the pane's top-left corner: the
// middle of a larger picture, the top-left corner of a smaller one.
void pane_picture_offset(int* x, int* y);
// Client point (the middle of pixel (x, y)) to degrees. 1, or 0 when the
// extents are not held or the plane cannot place it.
int  pane_place_to_degrees(int x, int y, double* lat, double* lon);
// Degrees to a client point (continuous, not clipped to the pane). 1, or 0
// when it cannot be placed.
int  pane_place_from_degrees(double lat, double lon, double* x, double* y);
