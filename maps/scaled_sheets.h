// The view's sheets kept box-filtered to the view's scale between two
// levels, so that a steady view there is composed by copying, as one at a
// level's own scale is, rather than filtered again at every frame. A copy
// is made when its sheet first shows at the scale and goes when the scale
// changes or the sheet leaves the view's images: only the current scale,
// only the sheets the view needs. Main thread only.
#pragma once
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

#include "maps/view_compose.h"

struct ScaledSheets {
    // The scale the copies are at.
    int level = -1, big = -1;
    double mpp = 0;
    struct Kept {
        std::shared_ptr<const DecodedSheet> sheet;  // held, so that its address names only it
        std::shared_ptr<DecodedSheet> copy;         // its xrgb form at the scale
    };
    std::unordered_map<const DecodedSheet*, Kept> kept;
    std::vector<const DecodedSheet*> keptFor;     // the images the copies were last kept for
    ViewImages drawn;                             // the copies one compose draws
    // Copies that went, their pixels for the next ones: memory touched for
    // the first time costs a fault a page, here more than the filtering.
    // All those of a scale left, until the next compose has taken what it
    // needs; a few after, for the sheets a drag brings.
    std::vector<std::shared_ptr<DecodedSheet>> spare;
    // When the view last left a scale between the levels: the spare copies
    // are let go after a while at a level's own scale.
    std::chrono::steady_clock::time_point leftScale{};
    long made = 0;                                // copies made since the record was new
};

// Composes the images into xrgb as view_compose does (view.width x
// view.height pixels 0xFFRRGGBB, stride pixels apart, curve: null for the
// day's colours), at a view's scale between the levels: the copies kept of
// those meeting the view placed to whole screen pixels, each pixel from the
// sheet whose centre is nearest. Copies of other scales and of sheets not
// among the images go; those missing are made. At the level's own scale,
// view_compose itself; where a copy cannot be made, the sheets filtered
// anew (view_compose_scaled). Returns how many pixels were hatched.
// band: only its pixels (view_compose_band), the rest untouched; null for
// the whole view.
long scaled_sheets_compose(ScaledSheets* kept, const ViewRecord& view, const ViewImages& images, uint32_t* xrgb,
                           int stride, const ColourCurve* curve = nullptr, const ViewBand* band = nullptr);

// The copies of the images meeting the view (between the levels) into
// kept->drawn, as scaled_sheets_compose draws them, made where missing;
// copies of other scales and of sheets not among the images go. 1, or 0
// (drawn empty) when a copy cannot be made.
int scaled_sheets_images(ScaledSheets* kept, const ViewRecord& view, const ViewImages& images);

// Ahead of the first compose at the view's scale (while a zoom moves
// toward it), the copies of at most count of the images meeting the view
// that have none are made, so that frame only copies; copies of another
// scale go. Returns how many are still to be made (0 at a level's own
// scale).
int scaled_sheets_prepare(ScaledSheets* kept, const ViewRecord& view, const ViewImages& images, int count);

// The copies go (the view is at a level's own scale again); their memory
// stays for the next scale between the levels, whose first frame would
// otherwise fault in every page of it, unless the view stayed at a
// level's own scale for a while (a few seconds): then it goes too.
void scaled_sheets_clear(ScaledSheets* kept);

// The bytes of the copies kept and of the spare ones.
size_t scaled_sheets_bytes(const ScaledSheets& kept);
