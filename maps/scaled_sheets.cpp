#include "maps/scaled_sheets.h"

#include <algorithm>
#include <cmath>
#include <unordered_set>

#include "maps/view_compose_scaled.h"

namespace {

// Whether the sheet's extent reaches into the view, a pixel around it
// spared for the rounding of its place and size.
bool meets(const ViewRecord& view, double left, double top, const DecodedSheet& sheet) {
    SheetExtent e = sheet.extent;
    view_sheet_beside(view, &e);
    const double margin = view.mpp;
    return e.maxX > left - margin && e.minX < left + (view.width + 1) * view.mpp && e.minY < top + margin &&
           e.maxY > top - (view.height + 1) * view.mpp;
}

// Spare copies kept past what a compose may take: about the sheets a drag
// brings in before the next ones leave.
constexpr size_t kSpares = 8;
constexpr std::chrono::seconds kSpareHeld{10};

void retire(ScaledSheets* k, std::shared_ptr<DecodedSheet> copy) {
    if (copy.use_count() == 1) k->spare.push_back(std::move(copy));
}

// The record at the view's scale: copies of another scale go.
void atScale(ScaledSheets* k, const ViewRecord& view) {
    if (view.level == k->level && view.big == k->big && view.mpp == k->mpp) return;
    scaled_sheets_clear(k);
    k->level = view.level;
    k->big = view.big;
    k->mpp = view.mpp;
}

// The image's copy at f times its level's scale, made (from a spare's
// memory where there is one) when it has none; null when there is no
// memory for it.
const std::shared_ptr<DecodedSheet>* copyOf(ScaledSheets* k, const std::shared_ptr<const DecodedSheet>& image, double f) {
    auto found = k->kept.find(image.get());
    if (found != k->kept.end()) return &found->second.copy;
    std::shared_ptr<DecodedSheet> copy;
    if (k->spare.empty()) {
        copy = std::make_shared<DecodedSheet>();
    } else {
        copy = std::move(k->spare.back());
        k->spare.pop_back();
    }
    if (!view_compose_scaled_sheet(*image, f, copy.get())) return nullptr;
    k->made++;
    return &k->kept.emplace(image.get(), ScaledSheets::Kept{image, std::move(copy)}).first->second.copy;
}

}  // namespace

int scaled_sheets_prepare(ScaledSheets* k, const ViewRecord& view, const ViewImages& images, int count) {
    if (view.width <= 0 || view.height <= 0 || !(view.mpp > 0)) return 0;
    const double f = view.mpp / view_level_mpp(view.level, view.big);
    if (std::fabs(f - 1) < 1e-9) return 0;
    atScale(k, view);
    k->keptFor.clear();                // the next compose looks for sheets that left
    double left, top;
    view_screen_to_plane(view, 0, 0, &left, &top);
    int missing = 0;
    for (const auto& image : images) {
        if (!meets(view, left, top, *image) || k->kept.count(image.get())) continue;
        if (count > 0 && copyOf(k, image, f)) count--;
        else missing++;
    }
    return missing;
}

int scaled_sheets_images(ScaledSheets* k, const ViewRecord& view, const ViewImages& images) {
    k->drawn.clear();
    atScale(k, view);
    // Frames of a still or turned view ask with the same images: the
    // sheets that left are looked for only when the images change.
    bool same = k->keptFor.size() == images.size();
    for (size_t i = 0; same && i < images.size(); i++) same = k->keptFor[i] == images[i].get();
    if (!same) {
        k->keptFor.clear();
        for (const auto& image : images) k->keptFor.push_back(image.get());
        std::unordered_set<const DecodedSheet*> now(k->keptFor.begin(), k->keptFor.end());
        for (auto it = k->kept.begin(); it != k->kept.end();) {
            if (now.count(it->first)) {
                ++it;
                continue;
            }
            retire(k, std::move(it->second.copy));
            it = k->kept.erase(it);
        }
    }
    const double f = view.mpp / view_level_mpp(view.level, view.big);
    double left, top;
    view_screen_to_plane(view, 0, 0, &left, &top);
    for (const auto& image : images) {
        if (!meets(view, left, top, *image)) continue;
        const std::shared_ptr<DecodedSheet>* copy = copyOf(k, image, f);
        if (!copy) {
            k->drawn.clear();
            return 0;
        }
        k->drawn.push_back(*copy);
    }
    // As many as the sheets not kept yet may take, and a few.
    const size_t room = images.size() - std::min(images.size(), k->kept.size()) + kSpares;
    if (k->spare.size() > room) k->spare.resize(room);
    return 1;
}

long scaled_sheets_compose(ScaledSheets* k, const ViewRecord& view, const ViewImages& images, uint32_t* xrgb,
                           int stride, const ColourCurve* curve, const ViewBand* band) {
    if (view.width <= 0 || view.height <= 0 || !(view.mpp > 0)) return 0;
    const double f = view.mpp / view_level_mpp(view.level, view.big);
    if (std::fabs(f - 1) < 1e-9)
        return band ? view_compose_band(view, images, xrgb, stride, curve, *band) : view_compose(view, images, xrgb, stride, curve);
    if (!scaled_sheets_images(k, view, images)) return view_compose_scaled(view, images, xrgb, stride, curve);
    return band ? view_compose_band(view, k->drawn, xrgb, stride, curve, *band) : view_compose(view, k->drawn, xrgb, stride, curve);
}

void scaled_sheets_clear(ScaledSheets* k) {
    const auto now = std::chrono::steady_clock::now();
    if (k->level >= 0) k->leftScale = now;
    // Kept through a zoom in and out again; not for the rest of the drive.
    if (now - k->leftScale > kSpareHeld) k->spare.clear();
    k->drawn.clear();
    for (auto& [sheet, kept] : k->kept) retire(k, std::move(kept.copy));
    k->kept.clear();
    k->keptFor.clear();
    k->mpp = 0;
    k->level = k->big = -1;
}

size_t scaled_sheets_bytes(const ScaledSheets& k) {
    size_t bytes = 0;
    for (const auto& [sheet, kept] : k.kept) bytes += sheet_cache_bytes(*kept.copy);
    for (const auto& copy : k.spare) bytes += sheet_cache_bytes(*copy);
    return bytes;
}
