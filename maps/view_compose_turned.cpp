#include "maps/view_compose_turned.h"

#include <algorithm>

#include "maps/view_compose_scaled.h"
#include "maps/view_rotate.h"

void view_compose_turned_rows(const ViewRecord& view, const ViewImages& images, bool atScale, uint32_t* cover,
                              uint32_t* xrgb, int stride, const ColourCurve* curve, int rowFrom, int rowTo) {
    constexpr int kBand = 32;
    ViewRecord square = view;
    square.width = square.height = view_rotate_cover(view.width, view.height);
    square.rotation = 0;
    rowTo = std::min(rowTo, square.height);
    // A few bands composed, then turned into the pane while still in the cache.
    for (int top = std::max(0, rowFrom); top < rowTo; top += VIEW_TURNED_ROWS) {
        const int bottom = std::min(rowTo, top + VIEW_TURNED_ROWS);
        for (int y0 = top; y0 < bottom; y0 += kBand) {
            const int y1 = std::min(bottom, y0 + kBand);
            int x0, x1;
            if (!view_rotate_columns(view.width, view.height, square.width, view.rotation, y0, y1, &x0, &x1)) continue;
            ViewRecord band = square;
            band.width = x1 - x0;
            band.height = y1 - y0;
            view_screen_to_plane(square, (x0 + x1) / 2.0, (y0 + y1) / 2.0, &band.cx, &band.cy);
            uint32_t* to = cover + static_cast<size_t>(y0) * square.width + x0;
            if (atScale) view_compose(band, images, to, square.width, curve);
            else view_compose_scaled(band, images, to, square.width, curve);
        }
        view_rotate_rows(cover, square.width, square.height, square.width, view.rotation, xrgb, view.width, view.height,
                         stride, top, bottom);
    }
}
