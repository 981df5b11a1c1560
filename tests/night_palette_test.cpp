// Night colours: bright becomes dark, and what was lighter stays lighter.
#include <gtest/gtest.h>

#include <vector>

#include "app/night_palette.h"

namespace {

int luma(uint32_t c) { return (299 * (c >> 16) + 587 * ((c >> 8) & 255) + 114 * (c & 255)) / 1000; }

TEST(NightPalette, DimsWhiteAndKeepsTheOrderOfTones) {
    NightPalette p;
    night_palette_make(&p);
    const uint32_t white = night_palette_colour(p, 0xFFFFFF);
    EXPECT_LT(luma(white), 100);
    // A grey road on a pale ground, a blue lake on white: still apart and in order.
    EXPECT_GT(luma(night_palette_colour(p, 0xF2EFE9)), luma(night_palette_colour(p, 0x9A9A9A)) + 10);
    EXPECT_GT(luma(white), luma(night_palette_colour(p, 0x99C8F0)));
    // A region of a frame, 40 pixels wide (a whole block and a remainder), changes alone.
    const int stride = 50 * 3;
    std::vector<unsigned char> rgb(stride * 3, 0xFF);
    night_palette_apply(p, rgb.data(), stride, 5, 1, 40, 1);
    EXPECT_EQ(std::vector<uint32_t>({rgb[stride + 36 * 3], rgb[stride + 44 * 3 + 2], rgb[stride + 45 * 3], rgb[4 * 3]}),
              std::vector<uint32_t>({white >> 16, white & 255, 0xFF, 0xFF}));
}

}  // namespace
