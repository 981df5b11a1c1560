// A narrow strip along the bottom of the map pane with the fix's own
// coordinates and state, so they can be read without a title bar (full
// screen, a bare X server): "GPS N 45°25'00" W 75°42'00" 3D 8 sat", or what
// stands in for a fix. Main thread.
#pragma once
#include <cstddef>

// The strip's text for the receiver's present state, "" while nothing is
// connected; in full screen with Map Coordinates on, the pointer's position
// after it.
void fix_strip_text(char* out, size_t size);
// 1 when the strip is drawn in a pane of this size: what else sits at the
// pane's bottom goes above it.
int  fix_strip_shown(int paneWidth, int paneHeight);
// Drawn after the blit, over the pane's bottom-left corner.
void fix_strip_draw(int paneX, int paneY, int paneWidth, int paneHeight, int night);
