#include "app/ruler.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "app/app_state.h"
#include "app/client_frame.h"
#include "app/pixel_line.h"
#include "app/navigation.h"
#include "app/night_palette.h"
#include "app/pane_place.h"
#include "nav/distance_text.h"
#include "nav/geodesic.h"
#include "platform/platform.h"
#include "settings/app_settings.h"
#include "settings/menu_ids.h"

Ruler app_ruler;

namespace {

constexpr int kTextHeight = 13;

char unit() { return app_window.settings ? app_window.settings->speedUnit : 0; }

double segmentMetres(size_t i) {
    const RulerPoint &a = app_ruler.points[i - 1], &b = app_ruler.points[i];
    return geodesic_inverse(a.lat, a.lon, b.lat, b.lon).metres;
}

void changed() {
    platform_menu_check(MENU_MEASURE, app_ruler.on);
    platform_invalidate(0);
}

struct Clip {
    int left, top, right, bottom;      // right and bottom outside
};

// Black with a white rim, as the scale bar: it reads on every sheet, and
// the night palette turns it as it turns the bar.
void dot(ClientFrame* f, const Clip& c, int x, int y, int half, uint32_t rgb) {
    int x0 = std::max(c.left, x - half), x1 = std::min(c.right, x + half + 1);
    int y0 = std::max(c.top, y - half), y1 = std::min(c.bottom, y + half + 1);
    if (x0 < x1 && y0 < y1) frame_fill_rect(f, x0, y0, x1 - x0, y1 - y0, rgb);
}

// The pixels of the part of a to b inside the clip, each as a square of
// half-width half.
void line(ClientFrame* f, const Clip& c, double ax, double ay, double bx, double by, int half, uint32_t rgb) {
    pixel_line(ax, ay, bx, by, c.left - 2, c.top - 2, c.right + 2, c.bottom + 2,
               [&](int x, int y) { dot(f, c, x, y, half, rgb); });
}

// Client points of the ruler's points; NaN where one cannot be placed.
std::vector<std::pair<double, double>> placed() {
    std::vector<std::pair<double, double>> out;
    for (const RulerPoint& p : app_ruler.points) {
        double x = NAN, y = NAN;
        pane_place_from_degrees(p.lat, p.lon, &x, &y);
        out.emplace_back(x, y);
    }
    return out;
}

void label(int x, int y, const char* text, const Clip& c, int night) {
    const int h = app_px(kTextHeight), o = app_px(1);
    if (x < c.left || y < c.top || x >= c.right - app_px(20) || y >= c.bottom - h) return;
    platform_draw_text(x + o, y + o, text, h, 700, night ? NIGHT_READOUT_OUTLINE : RGB_WHITE);
    platform_draw_text(x, y, text, h, 700, night ? NIGHT_READOUT_TEXT : RGB_BLACK);
}

}  // namespace

void ruler_toggle() {
    if (app_ruler.on) {
        ruler_end();
        return;
    }
    app_ruler.on = 1;
    app_ruler.points.clear();
    changed();
}

void ruler_end() {
    app_ruler.on = 0;
    app_ruler.points.clear();
    changed();
}

int ruler_click(int x, int y) {
    double lat, lon;
    if (!app_ruler.on || !nav_in_pane(x, y) || !pane_place_to_degrees(x, y, &lat, &lon)) return 0;
    app_ruler.points.push_back(RulerPoint{lat, lon});
    platform_invalidate(0);
    return 1;
}

int ruler_remove_last() {
    if (!app_ruler.on || app_ruler.points.empty()) return 0;
    app_ruler.points.pop_back();
    platform_invalidate(0);
    return 1;
}

void ruler_segment_text(size_t i, char* out, size_t size) {
    if (i == 0 || i >= app_ruler.points.size()) {
        snprintf(out, size, "%s", "");
        return;
    }
    const RulerPoint &a = app_ruler.points[i - 1], &b = app_ruler.points[i];
    GeodesicLine g = geodesic_inverse(a.lat, a.lon, b.lat, b.lon);
    char distance[32];
    int degrees = static_cast<int>(std::lround(g.bearingDegrees)) % 360;
    snprintf(out, size, "%s %03d°", distance_text(g.metres, unit(), distance, sizeof distance), degrees);
}

void ruler_total_text(char* out, size_t size) {
    double total = 0;
    for (size_t i = 1; i < app_ruler.points.size(); i++) total += segmentMetres(i);
    char distance[32];
    snprintf(out, size, "Total %s", distance_text(total, unit(), distance, sizeof distance));
}

void ruler_draw(ClientFrame* f, int paneX, int paneY, int w, int h) {
    if (!app_ruler.on || app_ruler.points.empty()) return;
    Clip c{paneX, paneY, paneX + w, paneY + h};
    auto at = placed();
    for (int pass = 0; pass < 2; pass++) {
        int half = pass ? 0 : 1;
        uint32_t rgb = pass ? RGB_BLACK : RGB_WHITE;
        for (size_t i = 1; i < at.size(); i++)
            if (std::isfinite(at[i - 1].first) && std::isfinite(at[i].first))
                line(f, c, at[i - 1].first, at[i - 1].second, at[i].first, at[i].second, half, rgb);
        for (const auto& [x, y] : at)
            if (std::isfinite(x)) dot(f, c, static_cast<int>(std::floor(x)), static_cast<int>(std::floor(y)), half + 2, rgb);
    }
}

void ruler_draw_text(int paneX, int paneY, int w, int h, int night) {
    if (!app_ruler.on || app_ruler.points.size() < 2) return;
    Clip c{paneX, paneY, paneX + w, paneY + h};
    auto at = placed();
    char text[64];
    for (size_t i = 1; i < at.size(); i++) {
        double mx = (at[i - 1].first + at[i].first) / 2, my = (at[i - 1].second + at[i].second) / 2;
        if (!std::isfinite(mx) || !std::isfinite(my)) continue;
        ruler_segment_text(i, text, sizeof text);
        label(static_cast<int>(mx) + app_px(6), static_cast<int>(my) - app_px(kTextHeight + 2), text, c, night);
    }
    const auto& [lx, ly] = at.back();
    if (!std::isfinite(lx)) return;
    ruler_total_text(text, sizeof text);
    label(static_cast<int>(lx) + 8, static_cast<int>(ly) + 4, text, c, night);
}
