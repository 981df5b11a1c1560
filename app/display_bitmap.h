// The display bitmap the window blits, made again from the view's picture.
#pragma once

struct MapView;

// Rebuilds view's display bitmap from its pixels; a failure the user
// should read (no memory for it) is shown. False when no bitmap was built.
bool display_bitmap_rebuild(MapView& view);
