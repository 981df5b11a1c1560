// Composing the view from decoded sheets: at every pixel the sheet whose
// centre is nearest among the stored sheets that cover it, so neighbours
// meet with no seam and no gap and the labels cut at a sheet's edge lie
// under the next sheet's middle; a light hatching where no stored sheet
// covers the view. Each sheet is copied at the level's own resolution,
// its extent rounded to whole screen pixels.
#pragma once
#include <cstdint>
#include <memory>
#include <vector>

#include "maps/palette_row.h"
#include "maps/sheet_cache.h"
#include "maps/view_plane.h"
#include "maps/view_sheets.h"

using ViewImages = std::vector<std::shared_ptr<const DecodedSheet>>;

// The decoded images of the needed sheets that are stored, through the
// cache (decoding on a miss), into *images; the needed sheets with no
// image (not stored, or not readable) into *missing, in the order given:
// the sheets to request and to mark "loading" while queued.
void view_gather(const std::vector<ViewSheet>& needed, SheetCache* cache, ViewImages* images,
                 std::vector<ViewSheet>* missing);

// Composes the images into xrgb: view.width x view.height pixels 0xFFRRGGBB
// (the client frame's), rows top-down, stride pixels apart, owned by the
// caller (the frame at the pane, so the picture is made once, where it is
// shown). curve: the colours through it as they are composed (night
// colours), the hatching too; null for the day's. Returns how many pixels
// were hatched.
long view_compose(const ViewRecord& view, const ViewImages& images, uint32_t* xrgb, int stride,
                  const ColourCurve* curve = nullptr);

// Only rows [rowFrom, rowTo) of the view, each pixel as view_compose makes
// it; the other rows untouched. Parts of one view composed at once (on
// several cores) make the same picture as the whole.
long view_compose_rows(const ViewRecord& view, const ViewImages& images, uint32_t* xrgb, int stride,
                       const ColourCurve* curve, long rowFrom, long rowTo);

// Rows [y0, y1) of the view, only in runs of columns ([x0, x1) each, left
// to right, apart): where marks covered the picture.
struct ViewRun {
    long x0, x1;
};
struct ViewBand {
    long y0, y1;
    const ViewRun* runs;
    size_t count;
};
// Only the band's pixels, each as view_compose makes it; the others
// untouched: what marks covered is made again without the rest.
long view_compose_band(const ViewRecord& view, const ViewImages& images, uint32_t* xrgb, int stride,
                       const ColourCurve* curve, const ViewBand& band);

// The placeholder's two tones: the ground and the hatching lines.
enum { VIEW_HATCH_GROUND = 0xEC, VIEW_HATCH_LINE = 0xC8 };
