// Row conversions on the way to the screen, at every length around the
// sixteen-byte steps and their tails.
#include "platform/pixel_rows.h"

#include <gtest/gtest.h>

#include <vector>

TEST(PixelRows, EveryLengthConvertsEachPixelAndWritesNothingPastTheRow) {
    for (int n = 0; n <= 40; n++) {
        std::vector<unsigned char> src(n * 3 + 16, 0xEE);
        for (int i = 0; i < n * 3; i++) src[i] = static_cast<unsigned char>(i * 7 + 1);
        std::vector<unsigned char> swapped(n * 3 + 16, 0xAB);
        std::vector<uint32_t> fromBgr(n + 4, 0xABABABABu), xrgb(n + 4, 0xABABABABu);
        pixel_row_swap_rb(swapped.data(), src.data(), n);
        pixel_row_bgr_to_xrgb(fromBgr.data(), src.data(), n);
        pixel_row_rgb_to_xrgb(xrgb.data(), src.data(), n);
        for (int k = 0; k < n; k++) {
            const unsigned char* p = &src[k * 3];
            EXPECT_EQ(std::vector<unsigned char>({p[2], p[1], p[0]}),
                      std::vector<unsigned char>(&swapped[k * 3], &swapped[k * 3 + 3])) << n << " " << k;
            EXPECT_EQ(0xFF000000u | (p[2] << 16) | (p[1] << 8) | p[0], fromBgr[k]) << n << " " << k;
            EXPECT_EQ(0xFF000000u | (p[0] << 16) | (p[1] << 8) | p[2], xrgb[k]) << n << " " << k;
        }
        EXPECT_EQ(0xAB, swapped[n * 3]) << n;
        EXPECT_EQ(0xABABABABu, fromBgr[n]) << n;
        EXPECT_EQ(0xABABABABu, xrgb[n]) << n;
    }
}
