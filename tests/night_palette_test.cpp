// Night colours: bright becomes dark, and what was lighter stays lighter.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "app/night_palette.h"
#include "maps/view_compose.h"

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

// At night a composed frame is the day's frame through the night colours:
// a sheet kept as palette indices, left, and one kept as RGB, right.
TEST(NightPalette, ComposedAtNightIsTheDaysFrameDimmed) {
    const int w = 300, h = 40, sheetW = 160;
    ViewRecord view;
    ASSERT_TRUE(view_make(&view, 3, 0, 45.3252, -75.8748, w, h));
    double left, top;
    view_screen_to_plane(view, 0, 0, &left, &top);
    auto rgb = [](int k, int i, int j) {
        return k == 0 ? static_cast<uint32_t>((i * 7 + j * 3) & 0xFF) * 0x010203u & 0xFFFFFF
                      : static_cast<uint32_t>(i << 16 | (j * 5) << 8 | ((i * j) & 0xFF));
    };
    ViewImages images;
    for (int k = 0; k < 2; k++) {
        auto s = std::make_shared<DecodedSheet>();
        s->width = sheetW, s->height = h;
        s->extent.minX = left + k * 150 * view.mpp, s->extent.maxX = s->extent.minX + sheetW * view.mpp;
        s->extent.maxY = top, s->extent.minY = top - h * view.mpp;
        s->extent.centreX = (s->extent.minX + s->extent.maxX) / 2, s->extent.centreY = (s->extent.minY + top) / 2;
        s->pixels.reset(static_cast<unsigned char*>(malloc(static_cast<size_t>(sheetW) * h * 3)));
        for (int j = 0; j < h; j++)
            for (int i = 0; i < sheetW; i++)
                for (int c = 0; c < 3; c++) s->pixels[(j * sheetW + i) * 3 + c] = (rgb(k, i, j) >> (16 - 8 * c)) & 0xFF;
        ASSERT_EQ(k == 0, sheet_cache_index_colours(s.get()) == 1);
        images.push_back(std::move(s));
    }
    std::vector<uint32_t> day(w * h), night(w * h);
    view_compose(view, images, day.data(), w);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            int k = x < 155 ? 0 : 1;
            ASSERT_EQ(day[y * w + x], 0xFF000000u | rgb(k, x - 150 * k, y)) << x << "," << y;
        }
    NightPalette p;
    night_palette_make(&p);
    ColourCurve curve;
    night_palette_curve(p, &curve);
    view_compose(view, images, night.data(), w, &curve);
    night_palette_apply(p, day.data(), w, 0, 0, w, h);
    EXPECT_EQ(day, night);
}

}  // namespace
