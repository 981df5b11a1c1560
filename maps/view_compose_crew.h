// A view composed on two cores: a worker composes the lower rows while the
// caller composes the upper ones, and the caller returns only when both
// are done, so the frame and the sheets are never used past the call. The
// rows meet exactly (view_compose_rows), so the picture is the one
// view_compose makes. A small view, or a machine with one core, is
// composed by the caller alone. A turned (course-up) view shares out the
// rows of its covering square the same way.
#pragma once
#include <condition_variable>
#include <mutex>
#include <thread>

#include "maps/view_compose.h"

struct ViewComposeCrew {
    std::mutex lock;
    std::condition_variable changed;
    std::thread worker;                // started by the first view large enough
    bool stopping = false;
    // The worker's part of the view under way: everything it reads, by
    // value but for the frame, which the caller keeps until it is done.
    struct Part {
        ViewRecord view;
        ViewImages images;
        uint32_t* xrgb;
        int stride;
        bool curved;
        ColourCurve curve;
        long rowFrom, rowTo;
        uint32_t* cover;               // a turned view's square (the caller's); null otherwise
        bool atScale;
    } part{};
    bool asked = false;                // part waits for the worker or is under way
    long hatched = 0;                  // the worker's part's, once done
    ~ViewComposeCrew();                // joins the worker
};

// As view_compose.
long view_compose_crew_compose(ViewComposeCrew* crew, const ViewRecord& view, const ViewImages& images,
                               uint32_t* xrgb, int stride, const ColourCurve* curve = nullptr);

// As view_compose_turned_rows over all of the square's rows.
void view_compose_crew_turned(ViewComposeCrew* crew, const ViewRecord& view, const ViewImages& images, bool atScale,
                              uint32_t* cover, uint32_t* xrgb, int stride, const ColourCurve* curve = nullptr);

// Ends the worker and joins it; the crew may compose again afterwards.
void view_compose_crew_stop(ViewComposeCrew* crew);
