// A course-up view composed: the axis-aligned square that covers the pane
// at any angle (view_rotate_cover) composed a band of rows at a time, only
// the columns the turned pane reads, each band turned into the pane while
// it is still in the cache. Rows of the square may be shared out: each
// writes only the pane pixels whose source lies in its rows.
#pragma once
#include <cstdint>

#include "maps/view_compose.h"

// Rows of the square are composed in bands of 32 and turned four bands at a
// time from rowFrom: between the levels a band's filtering starts at its
// own top row, so parts that start at a multiple of this make the very
// picture the whole square makes.
constexpr int VIEW_TURNED_ROWS = 128;

// The view's square (its rows [rowFrom, rowTo)) composed into cover (side
// x side pixels, side = view_rotate_cover(view.width, view.height), owned by
// the caller) and turned by view.rotation into xrgb (the pane, stride
// pixels a row). atScale: the images are at the view's own resolution (a
// level's sheets at the level's scale, or copies filtered to the view's);
// otherwise a level's sheets, filtered to the view's scale band by band.
void view_compose_turned_rows(const ViewRecord& view, const ViewImages& images, bool atScale, uint32_t* cover,
                              uint32_t* xrgb, int stride, const ColourCurve* curve, int rowFrom, int rowTo);
