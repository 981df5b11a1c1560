#include "app/sky_plot.h"

#include <cmath>
#include <cstdlib>

#include "position/gps_fix.h"

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int kCentre = SKY_PLOT_SIZE / 2;
constexpr int kHorizon = kCentre - SKY_PLOT_MARK - 2;  // room for a mark on the horizon

void put(SkyPlot* p, int x, int y, uint32_t rgb) {
    if (x < 0 || y < 0 || x >= SKY_PLOT_SIZE || y >= SKY_PLOT_SIZE) return;
    unsigned char* px = p->rgb + (y * SKY_PLOT_SIZE + x) * 3;
    px[0] = static_cast<unsigned char>(rgb >> 16);
    px[1] = static_cast<unsigned char>(rgb >> 8);
    px[2] = static_cast<unsigned char>(rgb);
}

// The ring of an elevation, its points placed as the marks are.
void ring(SkyPlot* p, int elevation) {
    double radius = kHorizon * (90 - elevation) / 90.0;
    // Enough steps that neighbouring points touch; a multiple of four so
    // that the four compass points fall on it exactly.
    int steps = 8 * static_cast<int>(radius) + 8;
    for (int k = 0; k < steps; ++k) {
        double a = 2 * kPi * k / steps;
        put(p, kCentre + static_cast<int>(std::lround(radius * std::sin(a))),
            kCentre - static_cast<int>(std::lround(radius * std::cos(a))), SKY_RING);
    }
}

// Whether (dx, dy) from a mark's centre lies inside a shape of half-size s.
bool inside(SkyMarkShape shape, int dx, int dy, int s) {
    int ax = std::abs(dx), ay = std::abs(dy);
    switch (shape) {
    case SKY_CIRCLE: return dx * dx + dy * dy <= s * s;
    case SKY_SQUARE: return ax <= s - 1 && ay <= s - 1;
    case SKY_DIAMOND: return ax + ay <= s;
    case SKY_TRIANGLE_UP: return dy >= -s && dy <= s - 1 && 2 * ax <= dy + s;
    case SKY_TRIANGLE_DOWN: return dy <= s && dy >= 1 - s && 2 * ax <= s - dy;
    case SKY_PLUS: return (ax <= s / 3 && ay <= s) || (ay <= s / 3 && ax <= s);
    }
    return false;
}

void mark(SkyPlot* p, int x, int y, SkyMarkShape shape, uint32_t rgb, bool filled) {
    const int s = SKY_PLOT_MARK;
    for (int dy = -s; dy <= s; ++dy)
        for (int dx = -s; dx <= s; ++dx) {
            if (!inside(shape, dx, dy, s)) continue;
            // Hollow: only the two outer pixels of the shape.
            if (!filled && inside(shape, dx, dy, s - 2)) continue;
            put(p, x + dx, y + dy, rgb);
        }
}

// A small "N" above the north end of the outer ring.
void north(SkyPlot* p) {
    const int h = 6, x0 = kCentre - 2, y0 = 0;
    for (int i = 0; i <= h; ++i) {
        put(p, x0, y0 + i, SKY_NORTH);
        put(p, x0 + 4, y0 + i, SKY_NORTH);
        put(p, x0 + (i * 4 + h / 2) / h, y0 + i, SKY_NORTH);
    }
}

}  // namespace

uint32_t sky_plot_colour(int snr) {
    if (snr <= 0) return SKY_NO_SIGNAL;
    if (snr < 20) return SKY_WEAK;
    if (snr < 30) return SKY_FAIR;
    if (snr < 40) return SKY_GOOD;
    return SKY_STRONG;
}

SkyMarkShape sky_plot_shape(int system) {
    switch (system) {
    case GPS_SYSTEM_GPS: return SKY_CIRCLE;
    case GPS_SYSTEM_GLONASS: return SKY_SQUARE;
    case GPS_SYSTEM_GALILEO: return SKY_DIAMOND;
    case GPS_SYSTEM_BEIDOU: return SKY_TRIANGLE_UP;
    case GPS_SYSTEM_QZSS: return SKY_TRIANGLE_DOWN;
    default: return SKY_PLUS;
    }
}

const char* sky_plot_legend() {
    return "\xE2\x97\x8F GPS  \xE2\x96\xA0 GLONASS  \xE2\x97\x86 Galileo\n"
           "\xE2\x96\xB2 BeiDou  \xE2\x96\xBC QZSS  + other\n"
           "filled: used in the fix";
}

int sky_plot_place(int azimuth, int elevation, int* x, int* y) {
    if (elevation < 0 || elevation > 90 || azimuth < 0) return 0;
    double r = kHorizon * (90 - elevation) / 90.0;
    double a = (azimuth % 360) * kPi / 180.0;
    *x = kCentre + static_cast<int>(std::lround(r * std::sin(a)));
    *y = kCentre - static_cast<int>(std::lround(r * std::cos(a)));
    return 1;
}

void sky_plot_draw(SkyPlot* p, const GpsSatellite* sats, int count) {
    for (int i = 0; i < SKY_PLOT_SIZE * SKY_PLOT_SIZE; ++i) put(p, i % SKY_PLOT_SIZE, i / SKY_PLOT_SIZE, SKY_BACKGROUND);
    for (int e : {0, 30, 60}) ring(p, e);
    for (int d = -kHorizon; d <= kHorizon; d += 2) {
        put(p, kCentre + d, kCentre, SKY_RING);
        put(p, kCentre, kCentre + d, SKY_RING);
    }
    north(p);
    for (int i = 0; i < count; ++i) {
        const GpsSatellite& s = sats[i];
        int x, y;
        if (s.prn <= 0 || !sky_plot_place(s.azimuth, s.elevation, &x, &y)) continue;
        mark(p, x, y, sky_plot_shape(s.system), sky_plot_colour(s.snr), s.used != 0);
    }
}
