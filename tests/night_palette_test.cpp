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
    const int stride = 50;
    std::vector<uint32_t> px(stride * 3, 0xFFFFFFFFu);
    night_palette_apply(p, px.data(), stride, 5, 1, 40, 1);
    EXPECT_EQ(std::vector<uint32_t>({px[stride + 36], px[stride + 44], px[stride + 45], px[4]}),
              std::vector<uint32_t>({0xFF000000u | white, 0xFF000000u | white, 0xFFFFFFFFu, 0xFFFFFFFFu}));
}

}  // namespace
