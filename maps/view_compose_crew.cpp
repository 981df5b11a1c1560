#include "maps/view_compose_crew.h"

#include "maps/view_compose_turned.h"
#include "maps/view_rotate.h"

namespace {

// Below this many pixels handing a part over costs more than it saves.
constexpr long kSharedPixels = 256 * 1024;

void work(ViewComposeCrew* crew) {
    std::unique_lock<std::mutex> hold(crew->lock);
    for (;;) {
        crew->changed.wait(hold, [crew] { return crew->stopping || crew->asked; });
        if (crew->stopping) return;
        ViewComposeCrew::Part& p = crew->part;
        hold.unlock();
        const ColourCurve* curve = p.curved ? &p.curve : nullptr;
        long hatched = 0;
        if (p.cover)
            view_compose_turned_rows(p.view, p.images, p.atScale, p.cover, p.xrgb, p.stride, curve, static_cast<int>(p.rowFrom),
                                     static_cast<int>(p.rowTo));
        else
            hatched = view_compose_rows(p.view, p.images, p.xrgb, p.stride, curve, p.rowFrom, p.rowTo);
        hold.lock();
        p.images.clear();              // the sheets are the caller's again
        crew->hatched = hatched;
        crew->asked = false;
        crew->changed.notify_all();
    }
}

// Hands the worker its part (the rows from split on), starting it first
// when it is not running.
void handOver(ViewComposeCrew* crew, ViewComposeCrew::Part part) {
    {
        std::lock_guard<std::mutex> hold(crew->lock);
        if (!crew->worker.joinable()) {
            crew->stopping = false;
            crew->worker = std::thread(work, crew);
        }
        crew->part = std::move(part);
        crew->asked = true;
    }
    crew->changed.notify_all();
}

// Waits for the worker's part; what it hatched.
long waitForPart(ViewComposeCrew* crew) {
    std::unique_lock<std::mutex> hold(crew->lock);
    crew->changed.wait(hold, [crew] { return !crew->asked; });
    return crew->hatched;
}

// Whether a view of so many pixels is worth sharing out, in parts of so
// many rows (or bands).
bool shared(long pixels, long rows) {
    static const unsigned cores = std::thread::hardware_concurrency();
    return pixels >= kSharedPixels && cores >= 2 && rows >= 2;
}

}  // namespace

ViewComposeCrew::~ViewComposeCrew() { view_compose_crew_stop(this); }

long view_compose_crew_compose(ViewComposeCrew* crew, const ViewRecord& view, const ViewImages& images,
                               uint32_t* xrgb, int stride, const ColourCurve* curve) {
    if (!shared(static_cast<long>(view.width) * view.height, view.height)) return view_compose(view, images, xrgb, stride, curve);
    const long split = view.height / 2;
    handOver(crew, ViewComposeCrew::Part{view, images, xrgb, stride, curve != nullptr, curve ? *curve : ColourCurve{},
                                         split, view.height, nullptr, true});
    long hatched = view_compose_rows(view, images, xrgb, stride, curve, 0, split);
    return hatched + waitForPart(crew);
}

void view_compose_crew_turned(ViewComposeCrew* crew, const ViewRecord& view, const ViewImages& images, bool atScale,
                              uint32_t* cover, uint32_t* xrgb, int stride, const ColourCurve* curve) {
    const int side = view_rotate_cover(view.width, view.height);
    if (!shared(static_cast<long>(view.width) * view.height, side / VIEW_TURNED_ROWS)) {
        view_compose_turned_rows(view, images, atScale, cover, xrgb, stride, curve, 0, side);
        return;
    }
    const int split = side / 2 / VIEW_TURNED_ROWS * VIEW_TURNED_ROWS;
    handOver(crew, ViewComposeCrew::Part{view, images, xrgb, stride, curve != nullptr, curve ? *curve : ColourCurve{},
                                         split, side, cover, atScale});
    view_compose_turned_rows(view, images, atScale, cover, xrgb, stride, curve, 0, split);
    waitForPart(crew);
}

void view_compose_crew_stop(ViewComposeCrew* crew) {
    {
        std::lock_guard<std::mutex> hold(crew->lock);
        crew->stopping = true;
    }
    crew->changed.notify_all();
    if (crew->worker.joinable()) crew->worker.join();
    std::lock_guard<std::mutex> hold(crew->lock);
    crew->stopping = false;
    crew->asked = false;
}
