// Which sheet is shown: click zooms without a composed view, level buttons, auto-pan and
// auto-zoom, the map-coordinates readout and the Big Maps swap.
#pragma once

// 1 when client point (x, y) lies in the map pane.
int  nav_in_pane(int x, int y);

void nav_zoom_in(int x, int y);
void nav_zoom_out();
void nav_level(int level);
void nav_auto_pan_button();
void nav_mouse_move(int x, int y);
void nav_big_maps_swap();
// The paint's step before drawing: follow the fix, and offline auto-zoom.
void nav_auto_pan_step();

// Extent record of the displayed sheet into map_view when it is not the
// one held; the "for" fields follow even when the read fails.
void nav_ensure_extents();
// Loads map_view.sheetPath as the displayed picture with its display
// bitmap; 0 (picture unchanged) when it does not load.
int  nav_load_picture();
