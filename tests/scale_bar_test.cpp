// The scale bar: the longest round distance that fits, and the bar in the frame.
#include <gtest/gtest.h>

#include <vector>

#include "app/app_state.h"
#include "app/scale_bar.h"
#include "maps/view_plane.h"

namespace {

TEST(ScaleBar, ChoosesARoundDistanceAndDrawsItBlackOnWhite) {
    struct { double mpp; int maxPx, imperial, ok; const char* label; int lengthPx; } cases[] = {
        {5, 150, 0, 1, "500 m", 100},   {10, 200, 0, 1, "2 km", 200}, {1000, 120, 0, 1, "100 km", 100},
        {5, 150, 1, 1, "2000 ft", 122}, {10, 200, 1, 1, "1 mi", 161}, {2.5, 400, 1, 1, "0.5 mi", 322},
        {0, 100, 0, 0, "", 0},          {0.5, 1, 0, 0, "", 0}};
    for (const auto& c : cases) {
        ScaleBar bar{};
        ASSERT_EQ(scale_bar_choose(c.mpp, c.maxPx, c.imperial, &bar), c.ok) << c.mpp;
        EXPECT_STREQ(bar.label, c.label);
        EXPECT_EQ(bar.lengthPx, c.lengthPx) << c.label;
    }
    std::vector<uint32_t> px(100 * 40, 0xFF808080u);
    auto at = [&](int x, int y) { return static_cast<int>(px[y * 100 + x] & 0xFF); };
    ScaleBarPlace p;
    scale_bar_place(0, 0, 100, 40, 50, 12, SCALE_BAR_BOTTOM_LEFT, &p);
    scale_bar_draw(ClientFrame{px.data(), 100, 40, 100, false, nullptr, nullptr}, p.barX, p.barY, 50);
    EXPECT_EQ(std::vector<int>({at(p.barX + 25, p.barY), at(p.barX + 25, p.barY + 1), at(p.barX + 25, p.barY - 8),
                                at(p.barX + 49, p.barY - SCALE_BAR_TICK + 1)}),
              std::vector<int>({0, 255, 128, 0}));  // bar, outline, between the ticks, right tick's top
    EXPECT_LT(p.labelY + 12, p.barY - SCALE_BAR_TICK);
    // Off the frame on three sides: the visible part is drawn, and nothing
    // lands in the guard columns beyond the frame's width (its stride is wider).
    std::vector<uint32_t> wide(120 * 40, 0xFF808080u);
    scale_bar_draw(ClientFrame{wide.data(), 100, 40, 120, false, nullptr, nullptr}, -30, 2, 300);
    int guarded = 0;
    for (int y = 0; y < 40; ++y)
        for (int x = 100; x < 120; ++x) guarded += wide[y * 120 + x] == 0xFF808080u;
    EXPECT_EQ(guarded, 20 * 40);
    EXPECT_EQ(wide[2 * 120 + 50] & 0xFF, 0u);  // the bar across the visible width
    ViewRecord v;
    ASSERT_TRUE(view_make(&v, 3, 0, 45.3, -75.9, 480, 360));
    EXPECT_NEAR(scale_bar_ground_mpp(v, 240, 180) / v.mpp, 1.0, 0.03);
}

}  // namespace
