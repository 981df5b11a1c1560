#include "app/scale_bar.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "app/app_state.h"
#include "app/client_frame.h"
#include "maps/view_plane.h"
#include "settings/great_circle.h"

namespace {

constexpr double kFoot = 0.3048, kMile = 1609.344;
constexpr int kThick = 3;   // rows of the bar
constexpr int kTickWide = 2;

struct Step {
    double metres;
    const char* label;
};

// Shortest first. Feet up to 2000, then miles from a half.
const Step kImperial[] = {
    {10 * kFoot, "10 ft"},    {20 * kFoot, "20 ft"},     {50 * kFoot, "50 ft"},     {100 * kFoot, "100 ft"},
    {200 * kFoot, "200 ft"},  {500 * kFoot, "500 ft"},   {1000 * kFoot, "1000 ft"}, {2000 * kFoot, "2000 ft"},
    {0.5 * kMile, "0.5 mi"},
};

void fillRect(const ClientFrame& f, int x0, int y0, int x1, int y1, uint32_t pixel) {
    x0 = std::max(x0, 0), y0 = std::max(y0, 0), x1 = std::min(x1, f.width - 1), y1 = std::min(y1, f.height - 1);
    for (int y = y0; y <= y1; y++)
        if (x0 <= x1) std::fill_n(f.px + static_cast<long>(y) * f.stride + x0, x1 - x0 + 1, pixel);
    frame_marked(&f, x0, y0, x1 + 1, y1 + 1);
}

}  // namespace

int scale_bar_choose(double groundMpp, int maxPx, int imperial, ScaleBar* bar) {
    if (!(groundMpp > 0) || !std::isfinite(groundMpp) || maxPx <= 0) return 0;
    double best = 0;
    char label[sizeof bar->label] = "";
    if (imperial)
        for (const Step& s : kImperial)
            if (s.metres / groundMpp <= maxPx) best = s.metres, snprintf(label, sizeof label, "%s", s.label);
    // 1, 2, 5 x 10^n of the larger unit (metres from 1 m, miles from 1 mi).
    double unit = imperial ? kMile : 1.0;
    for (double decade = 1; decade <= 1e7; decade *= 10)
        for (int m : {1, 2, 5}) {
            double metres = m * decade * unit;
            if (metres / groundMpp > maxPx) continue;
            best = metres;
            if (imperial)
                snprintf(label, sizeof label, "%.0f mi", m * decade);
            else if (metres >= 1000)
                snprintf(label, sizeof label, "%.0f km", metres / 1000);
            else
                snprintf(label, sizeof label, "%.0f m", metres);
        }
    if (best <= 0) return 0;
    bar->metres = best;
    bar->lengthPx = std::max(1, static_cast<int>(std::lround(best / groundMpp)));
    memcpy(bar->label, label, sizeof label);
    return 1;
}

double scale_bar_ground_mpp(const ViewRecord& view, double px, double py) {
    constexpr double kSpan = 100;  // pixels measured across
    double lat1, lon1, lat2, lon2;
    if (!view_screen_to_degrees(view, px - kSpan / 2, py, &lat1, &lon1) ||
        !view_screen_to_degrees(view, px + kSpan / 2, py, &lat2, &lon2))
        return 0;
    return great_circle_metres(lat1, lon1, lat2, lon2) / kSpan;
}

void scale_bar_place(int paneX, int paneY, int paneWidth, int paneHeight, int lengthPx, int textHeight, int corner,
                     ScaleBarPlace* place) {
    // Margins and ticks at the screen's scale (app_px).
    const int margin = app_px(SCALE_BAR_MARGIN);
    place->barY = paneY + paneHeight - 1 - margin;
    place->barX = corner == SCALE_BAR_BOTTOM_RIGHT ? paneX + paneWidth - margin - lengthPx : paneX + margin;
    place->labelX = place->barX + app_px(4);
    place->labelY = place->barY - app_px(SCALE_BAR_TICK) - 1 - textHeight;
}

void scale_bar_draw(const ClientFrame& frame, int x, int y, int lengthPx) {
    if (!frame.px || lengthPx <= 0) return;
    const int x1 = x + lengthPx - 1, thick = app_px(kThick), tick = app_px(SCALE_BAR_TICK), tickWide = app_px(kTickWide);
    // The outline first, one pixel round each black part, then the black.
    for (int pass = 0; pass < 2; pass++) {
        int o = pass == 0 ? app_px(1) : 0;
        uint32_t v = frame_colour(&frame, pass == 0 ? RGB_WHITE : RGB_BLACK);
        fillRect(frame, x - o, y - thick + 1 - o, x1 + o, y + o, v);
        fillRect(frame, x - o, y - tick + 1 - o, x + tickWide - 1 + o, y + o, v);
        fillRect(frame, x1 - tickWide + 1 - o, y - tick + 1 - o, x1 + o, y + o, v);
    }
}
