// The vehicle arrow points along the on-screen course and stays inside the bitmap.
#include <gtest/gtest.h>

#include <vector>

#include "app/marker.h"
#include "maps/map_view.h"

namespace {

TEST(VehicleArrow, PointsAlongTheCourseAndClipsAtTheEdges) {
    const int w = 41, h = 41, stride = map_view_bitmap_stride(w);
    struct {
        double angle;
        int dx, dy;  // one screen step along the course
    } cases[] = {{0, 0, -1}, {90, 1, 0}, {180, 0, 1}, {270, -1, 0}};
    for (const auto& c : cases) {
        std::vector<unsigned char> bits(stride * h, 100);
        drawVehicleArrow(mark_surface_bitmap(bits.data(), w, h), 20, 20, c.angle);
        const unsigned char* ahead = &bits[(20 + 8 * c.dy) * stride + (20 + 8 * c.dx) * 3];
        const unsigned char* behind = &bits[(20 - 8 * c.dy) * stride + (20 - 8 * c.dx) * 3];
        EXPECT_TRUE(ahead[0] == 0 && ahead[1] == ahead[2]) << c.angle;  // yellow or black
        EXPECT_EQ(behind[0], 100) << c.angle;                         // the notch at the tail
        EXPECT_EQ(bits[20 * stride + 20 * 3 + 2], 255) << c.angle;  // filled yellow at the centre
    }
    std::vector<unsigned char> bits(stride * h, 100);
    for (int at : {-12, 0, 40, 52}) drawVehicleArrow(mark_surface_bitmap(bits.data(), w, h), at, 40 - at, 45);
    EXPECT_TRUE(!vehicleArrowShown(0.4, 1) && vehicleArrowShown(3, 1) && !vehicleArrowShown(3, 0));
}

}  // namespace
