// A narrow strip along the bottom of the map pane with the fix's own
// coordinates and state, or the pointer's position while it is over the
// map, so they can be read without a title bar (full screen, a bare X
// server): "GPS 45.416667 N 75.700000 W  3D 8 sat", "Pointer 18T 445237.9
// 5029913.6". Main thread.
#pragma once
#include <cstddef>

// The strip's text: the pointer's position while it is over the map, else
// the receiver's present state, "" while nothing is connected; positions in
// the form Options > Pointer Position chose.
void fix_strip_text(char* out, size_t size);
// The pointer moved to client point (x, y) (outside the pane: it left the map).
void fix_strip_pointer_moved(int x, int y);
// 1 when the strip is drawn in a pane of this size: what else sits at the
// pane's bottom goes above it.
int  fix_strip_shown(int paneWidth, int paneHeight);
// Drawn after the blit, over the pane's bottom-left corner.
void fix_strip_draw(int paneX, int paneY, int paneWidth, int paneHeight, int night);
