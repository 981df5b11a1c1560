// Night colours: bright becomes dark, and what was lighter stays lighter.
#include <gtest/gtest.h>

#include <vector>

#include "app/night_palette.h"

namespace {

int luma(uint32_t c) { return (299 * (c >> 16) + 587 * ((c >> 8) & 255) + 114 * (c & 255)) / 1000; }

TEST(NightPalette, DimsWhiteAndKeepsTheOrderOfTones) {
    NightPalette p;
    night_palette_make(&p);
    EXPECT_LT(luma(night_palette_colour(p, 0xFFFFFF)), 100);
    // A grey road on a pale ground, a blue lake on white: still apart and in order.
    EXPECT_GT(luma(night_palette_colour(p, 0xF2EFE9)), luma(night_palette_colour(p, 0x9A9A9A)) + 10);
    EXPECT_GT(luma(night_palette_colour(p, 0xFFFFFF)), luma(night_palette_colour(p, 0x99C8F0)));
    // A region of a frame, 40 pixels wide (a whole block and a remainder), changes alone.
    const int w = 50, h = 3, stride = w * 3;
    std::vector<unsigned char> rgb(stride * h, 0xFF);
    night_palette_apply(p, rgb.data(), stride, 5, 1, 40, 1);
    EXPECT_EQ(rgb[stride + 5 * 3 + 31 * 3], night_palette_colour(p, 0xFFFFFF) >> 16);
    EXPECT_EQ(rgb[stride + 44 * 3 + 2], night_palette_colour(p, 0xFFFFFF) & 255);
    EXPECT_EQ(rgb[stride + 45 * 3], 0xFF);
    EXPECT_EQ(rgb[4 * 3], 0xFF);
}

}  // namespace
