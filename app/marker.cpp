#include "app/marker.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "app/app_state.h"
#include "app/client_frame.h"
#include "app/night_palette.h"
#include "app/stale_fix.h"
#include "maps/view_follow.h"
#include "maps/map_view.h"

const char* const MARKER_PATTERN[11] = {
    "...##k##...", ".####k####.", ".####k####.", "###########", "####kkk####", "kkk#kkk#kkk",
    "####kkk####", "###########", ".####k####.", ".####k####.", "...##k##...",
};

const char* const STALE_MARKER_PATTERN[11] = {
    "...kkkkk...", "..kgggggk..", ".kggkkkggk.", "kggk...kggk", "kgk.....kgk", "kgk.....kgk",
    "kgk.....kgk", "kggk...kggk", ".kggkkkggk.", "..kgggggk..", "...kkkkk...",
};

namespace {

const char* const kTrailDot[5] = {".kkk.", "krrrk", "krrrk", "krrrk", ".kkk."};

// A pixel's blue, green and red.
void put(unsigned char* p, uint32_t rgb) {
    p[0] = static_cast<unsigned char>(rgb), p[1] = static_cast<unsigned char>(rgb >> 8), p[2] = static_cast<unsigned char>(rgb >> 16);
}

uint32_t cellColour(char cell) {
    switch (cell) {
    case '#': return 0xFFFF00;
    case 'g': return STALE_FIX_GREY;
    case 'r': return 0xE00000;
    default: return 0;
    }
}

// A square pattern of size rows centred on (x, y), each cell a block of
// k x k pixels (the screen's scale).
void drawPattern(const MarkSurface& to, int x, int y, const char* const* rows, int size, int k = 1) {
    const int width = to.width, height = to.height, half = size * k / 2;
    if (!to.bits || width <= 0 || height <= 0) return;
    mark_surface_marked(to, x - half, y - half, x - half + size * k, y - half + size * k);
    for (int r = 0; r < size * k; r++) {
        long py = static_cast<long>(y) + r - half;
        if (py < 0 || py >= height) continue;
        for (int c = 0; c < size * k; c++) {
            long px = static_cast<long>(x) + c - half;
            const char cell = rows[r / k][c / k];
            if (cell == '.' || px < 0 || px >= width) continue;
            uint32_t rgb = mark_colour(to, cellColour(cell));
            put(to.bits + py * to.stride + px * to.step, rgb);
        }
    }
}

// The arrow pointing up, centred on the origin (y down): tip, right wing,
// notch, left wing.
const double kArrow[4][2] = {{0, -10.5}, {8.5, 10}, {0, 4.5}, {-8.5, 10}};

double segmentDistance(double px, double py, const double* a, const double* b) {
    double dx = b[0] - a[0], dy = b[1] - a[1];
    double t = std::clamp(((px - a[0]) * dx + (py - a[1]) * dy) / (dx * dx + dy * dy), 0.0, 1.0);
    return std::hypot(px - a[0] - t * dx, py - a[1] - t * dy);
}

// Distance to the arrow's outline, negative inside.
double arrowDistance(double px, double py) {
    double d = 1e9;
    bool inside = false;
    for (int i = 0, j = 3; i < 4; j = i++) {
        const double *a = kArrow[i], *b = kArrow[j];
        d = std::min(d, segmentDistance(px, py, a, b));
        if ((a[1] > py) != (b[1] > py) && px < (b[0] - a[0]) * (py - a[1]) / (b[1] - a[1]) + a[0]) inside = !inside;
    }
    return inside ? -d : d;
}

// A row across the surface (a grey by day: one byte value on a bitmap).
void paintRow(const MarkSurface& to, int row, uint32_t rgb) {
    unsigned char* p = to.bits + row * to.stride;
    mark_surface_marked(to, 0, row, to.width, row + 1);
    if (to.step == 3 && !to.night) return void(std::fill_n(p, static_cast<long>(to.width) * 3, static_cast<unsigned char>(rgb)));
    for (int c = 0; c < to.width; c++, p += to.step) put(p, rgb);
}

void paintColumn(const MarkSurface& to, int column, uint32_t rgb) {
    unsigned char* p = to.bits + static_cast<long>(column) * to.step;
    mark_surface_marked(to, column, 0, column + 1, to.height);
    for (int r = 0; r < to.height; r++, p += to.stride) put(p, rgb);
}

}  // namespace

MarkSurface mark_surface_bitmap(unsigned char* dibBits, int width, int height) {
    return MarkSurface{dibBits, width, height, map_view_bitmap_stride(width), 3, nullptr, nullptr, 0, 0};
}

void mark_surface_marked(const MarkSurface& to, int x0, int y0, int x1, int y1) {
    if (!to.frame) return;
    frame_marked(to.frame, to.frameX + std::max(x0, 0), to.frameY + std::max(y0, 0), to.frameX + std::min(x1, to.width),
                 to.frameY + std::min(y1, to.height));
}

uint32_t mark_colour(const MarkSurface& to, uint32_t rgb) {
    return to.night ? colour_curve_pixel(to.night->curve, rgb) & 0xFFFFFFu : rgb;
}

void drawMarker(const MarkSurface& to, int x, int y, const char* const pattern[11]) {
    drawPattern(to, x, y, pattern, 11);
}

void drawTrailDot(const MarkSurface& to, int x, int y) { drawPattern(to, x, y, kTrailDot, 5, app_px(1)); }

void drawCrossHair(const MarkSurface& to, int x, int y, int hairWidth) {
    const int width = to.width, height = to.height;
    if (!to.bits || width <= 0 || height <= 0 || hairWidth <= 0) return;
    // Only offsets that land inside the bitmap are visited, so a huge Hair=
    // costs no more than a cross-hair as wide as the sheet. On a scaled
    // screen the white band and the black line are as wide as the scale.
    const long k = app_px(1), half = hairWidth / 2;
    const uint32_t white = mark_colour(to, 0xFFFFFF), black = mark_colour(to, 0x000000);
    if (half > 0) {
        long from = std::max<long>(-k / 2 - half * k, -static_cast<long>(std::max(x, y)) - 1);
        long last = std::min<long>(-k / 2 + k - 1 + half * k, std::max(width - x, height - y));
        for (long i = from; i <= last; i++) {
            long row = y + i, column = x + i;
            if (row >= 0 && row < height) paintRow(to, static_cast<int>(row), white);
            if (column >= 0 && column < width) paintColumn(to, static_cast<int>(column), white);
        }
    }
    for (long i = 0; i < k; i++) {
        long row = y - k / 2 + i, column = x - k / 2 + i;
        if (row >= 0 && row < height) paintRow(to, static_cast<int>(row), black);
        if (column >= 0 && column < width) paintColumn(to, static_cast<int>(column), black);
    }
}

void drawVehicleArrow(const MarkSurface& to, int x, int y, double screenAngleDegrees) {
    const int width = to.width, height = to.height;
    if (!to.bits || width <= 0 || height <= 0) return;
    double a = std::isfinite(screenAngleDegrees) ? screenAngleDegrees * M_PI / 180 : 0;
    double c = std::cos(a), s = std::sin(a);
    const int reach = 13;
    const uint32_t fill = mark_colour(to, 0xFFFF00), edge = mark_colour(to, 0x000000);
    mark_surface_marked(to, x - reach, y - reach, x + reach + 1, y + reach + 1);
    for (long py = std::max(0L, y - static_cast<long>(reach)); py <= std::min<long>(height - 1L, y + reach); py++)
        for (long px = std::max(0L, x - static_cast<long>(reach)); px <= std::min<long>(width - 1L, x + reach); px++) {
            // The pixel's centre turned back into the upright arrow's frame.
            double ox = static_cast<double>(px - x), oy = static_cast<double>(py - y);
            double d = arrowDistance(ox * c + oy * s, -ox * s + oy * c);
            if (d >= 0.6) continue;
            put(to.bits + py * to.stride + px * to.step, d < -0.9 ? fill : edge);
        }
}

int vehicleArrowShown(double speedMs, int courseKnown) { return courseKnown && speedMs >= VIEW_MOVING_SPEED_MS; }
