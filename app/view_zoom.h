// A zoom shown as a movement: for about VIEW_ZOOM_MS the last picture is
// drawn scaled toward the new scale, about the one screen point that shows
// the same place before and after (the pointer's, or the vehicle's while
// following), then the new view is composed. Each frame is a function of
// the time alone, so the window's timer only asks for paints.
#pragma once
#include <cstdint>

#include "maps/view_plane.h"

constexpr int VIEW_ZOOM_MS = 150, VIEW_ZOOM_FRAME_MS = 16;

// How far along the animation started at startMs is at nowMs: 0..1, eased
// so it slows into the new scale.
double view_zoom_fraction(int64_t startMs, int64_t nowMs);

// The view at fraction t of the way from `from` to `to`: the scale between
// the two geometrically, the centre such that the point both views show at
// the same screen pixel stays there. 1, or 0 when the two are no zoom of
// each other (another plane or pane size, or the same scale).
int view_zoom_between(const ViewRecord& from, const ViewRecord& to, double t, ViewRecord* out);
// As view_zoom_between, the point kept being plane point (x, y) of `to`
// at the pixel `to` shows it: the vehicle while following, which may have
// moved since the zoom began. The turn is `to`'s.
int view_zoom_keeping(const ViewRecord& from, const ViewRecord& to, double x, double y, double t, ViewRecord* out);

// The picture of view `from` (xrgb, from.width pixels a row) drawn for
// view `at` into dst (at.width x at.height, stride pixels a row), nearest
// pixel, each place where `from` showed it (turned as `at` is, on a
// course-up view); what `from` did not show takes `ground`.
void view_zoom_picture(const uint32_t* src, const ViewRecord& from, uint32_t* dst, int stride, const ViewRecord& at,
                       uint32_t ground);
