#include "maps/view_compose_crew.h"

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
        long hatched = view_compose_rows(p.view, p.images, p.xrgb, p.stride, p.curved ? &p.curve : nullptr, p.rowFrom, p.rowTo);
        hold.lock();
        p.images.clear();              // the sheets are the caller's again
        crew->hatched = hatched;
        crew->asked = false;
        crew->changed.notify_all();
    }
}

}  // namespace

ViewComposeCrew::~ViewComposeCrew() { view_compose_crew_stop(this); }

long view_compose_crew_compose(ViewComposeCrew* crew, const ViewRecord& view, const ViewImages& images,
                               uint32_t* xrgb, int stride, const ColourCurve* curve) {
    static const unsigned cores = std::thread::hardware_concurrency();
    if (static_cast<long>(view.width) * view.height < kSharedPixels || cores < 2 || view.height < 2)
        return view_compose(view, images, xrgb, stride, curve);
    const long split = view.height / 2;
    {
        std::lock_guard<std::mutex> hold(crew->lock);
        if (!crew->worker.joinable()) {
            crew->stopping = false;
            crew->worker = std::thread(work, crew);
        }
        crew->part = ViewComposeCrew::Part{view, images, xrgb, stride, curve != nullptr, curve ? *curve : ColourCurve{},
                                           split, view.height};
        crew->asked = true;
    }
    crew->changed.notify_all();
    long hatched = view_compose_rows(view, images, xrgb, stride, curve, 0, split);
    std::unique_lock<std::mutex> hold(crew->lock);
    crew->changed.wait(hold, [crew] { return !crew->asked; });
    return hatched + crew->hatched;
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
