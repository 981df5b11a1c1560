// The view at a scale between two levels: the sheets of the view's level,
// composed at the level's own resolution a band of rows at a time, then
// box-filtered (each screen pixel the area-weighted mean of the sheet
// pixels it covers) to the view's scale. Sheets keep their stored size;
// only the picture on screen is scaled.
#pragma once
#include <cstdint>

#include "maps/view_compose.h"

// Composes the images into xrgb (view.width x view.height pixels
// 0x00RRGGBB, rows top-down, stride pixels apart, owned by the caller).
// At the level's own scale the same picture as view_compose. Returns about
// how many screen pixels are hatched. curve: as view_compose's, the level's
// colours through it before they are filtered.
long view_compose_scaled(const ViewRecord& view, const ViewImages& images, uint32_t* xrgb, int stride,
                         const ColourCurve* curve = nullptr);

// The sheet box-filtered to f times its level's metres per pixel (f > 0),
// into *out as frame pixels (its xrgb form, the day's colours), its extent
// the sheet's own: ceil(width / f) x ceil(height / f) pixels, rounded up so
// that neighbours placed by their extents leave no gap; the part past the
// sheet's edge repeats its edge. The pixels of a copy *out held before are
// used again (grown when too few): fresh memory costs a fault a page. 1, or
// 0 (*out left as it was) when there is no memory for it.
int view_compose_scaled_sheet(const DecodedSheet& sheet, double f, DecodedSheet* out);
