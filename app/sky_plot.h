// The sky plot of the GPS monitor: a polar view of the satellites in
// packed RGB pixels, north up, the horizon as the outer ring and rings at
// 30 and 60 degrees of elevation. One mark per satellite at its azimuth
// and elevation: its colour tells the signal strength, a filled mark a
// satellite used in the fix, its shape the system.
#pragma once
#include <cstdint>

struct GpsSatellite;

enum { SKY_PLOT_SIZE = 180, SKY_PLOT_MARK = 5 };

struct SkyPlot {
    unsigned char rgb[SKY_PLOT_SIZE * SKY_PLOT_SIZE * 3];  // rows top to bottom
};

enum : uint32_t {
    SKY_BACKGROUND = 0xFFFFFF, SKY_RING = 0x808080, SKY_NORTH = 0x000000,
    SKY_NO_SIGNAL = 0xA0A0A0, SKY_WEAK = 0xE02020, SKY_FAIR = 0xF09000, SKY_GOOD = 0xC8C800, SKY_STRONG = 0x10B010,
};

enum SkyMarkShape { SKY_CIRCLE, SKY_SQUARE, SKY_DIAMOND, SKY_TRIANGLE_UP, SKY_TRIANGLE_DOWN, SKY_PLUS };

void sky_plot_draw(SkyPlot* plot, const GpsSatellite* sats, int count);
// The pixel at the centre of a satellite's mark; 0 when it is not on the
// plot (elevation below 0 or above 90, or azimuth unknown: below 0).
int sky_plot_place(int azimuth, int elevation, int* x, int* y);
// Signal strength in dB-Hz to its colour: none (0), below 20, 20-29, 30-39, 40 up.
uint32_t sky_plot_colour(int snr);
SkyMarkShape sky_plot_shape(int system);
// The key under the plot, shapes as text.
const char* sky_plot_legend();
