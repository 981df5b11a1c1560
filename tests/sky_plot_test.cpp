// The GPS monitor's satellite list and sky plot from the fix record, read
// back as text lines and as the plot's pixels.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "app/monitor_dialog.h"
#include "app/sky_plot.h"
#include "app/stale_fix.h"
#include "platform/headless.h"
#include "platform/platform.h"
#include "position/gps_fix.h"
#include "settings/app_settings.h"

namespace {

uint32_t pixel(const SkyPlot& p, int x, int y) {
    const unsigned char* px = p.rgb + (y * SKY_PLOT_SIZE + x) * 3;
    return (uint32_t{px[0]} << 16) | (px[1] << 8) | px[2];
}

GpsSatellite sat(int system, int prn, int azimuth, int elevation, int snr, int used) {
    return {prn, elevation, azimuth, snr, used, system, 1};
}

class SkyPlotTest : public ::testing::Test {
protected:
    MonitorDialog* d = nullptr;
    void SetUp() override {
        gps_reset();
        gps_set_fix_mode(3);
        d = monitor_dialog_create();
    }
    void TearDown() override {
        monitor_dialog_free(d);
        gps_reset();
    }
    void show(const std::vector<GpsSatellite>& sats) {
        gps_set_satellites(sats.data(), static_cast<int>(sats.size()), static_cast<int>(sats.size()));
        monitor_dialog_refresh(d);
    }
    std::string line(int i) const { return d->texts[MONITOR_ROW_FIRST + i].text; }
};

TEST_F(SkyPlotTest, ListGroupsEverySystemAfterTheGpsRowsOfOld) {
    std::vector<GpsSatellite> sats;
    for (int i = 0; i < 13; ++i) sats.push_back(sat(GPS_SYSTEM_GPS, i + 1, 10 * i, 5 + i, 30 + i, i % 2));
    sats.push_back(sat(GPS_SYSTEM_GLONASS, 66, 305, 58, 32, 1));
    sats.push_back(sat(GPS_SYSTEM_GALILEO, 12, 237, 61, 0, 0));
    show(sats);
    EXPECT_EQ("   [01]      000      05       30       No", line(0));
    EXPECT_EQ("   [12]      110      16       41       Yes", line(11));
    EXPECT_EQ("   [13]      120      17       42       No", line(12));
    EXPECT_EQ("  GLONASS", line(13));
    EXPECT_EQ("   [66]      305      58       32       Yes", line(14));
    EXPECT_EQ("  Galileo", line(15));
    EXPECT_EQ("   [12]      237      61       00       No", line(16));
    EXPECT_EQ(17, d->lineCount);
    // The lines past the twelfth continue the rows' spacing below them.
    const DialogRect& twelfth = d->texts[MONITOR_ROW_FIRST + 11].rect;
    const DialogRect& last = d->texts[MONITOR_ROW_FIRST + 16].rect;
    EXPECT_EQ(171, twelfth.y);
    EXPECT_EQ(twelfth.y + 5 * 9, last.y);
}

TEST_F(SkyPlotTest, NorthUpRingsAndOneMarkPerSatelliteRedrawnWithTheList) {
    show({sat(GPS_SYSTEM_GPS, 5, 90, 0, 45, 1), sat(GPS_SYSTEM_GLONASS, 66, 45, 45, 15, 0)});
    int cx = SKY_PLOT_SIZE / 2, x, y;
    // Used: filled in the colour of its strength, at the east horizon.
    ASSERT_TRUE(sky_plot_place(90, 0, &x, &y));
    EXPECT_EQ(y, cx);
    EXPECT_GT(x, cx + 60);
    EXPECT_EQ(SKY_STRONG, pixel(d->sky, x, y));
    // Not used: hollow, its edge coloured; north-east is up and right.
    ASSERT_TRUE(sky_plot_place(45, 45, &x, &y));
    EXPECT_GT(x, cx);
    EXPECT_EQ(x - cx, cx - y);
    EXPECT_EQ(SKY_BACKGROUND, pixel(d->sky, x, y));
    EXPECT_EQ(SKY_WEAK, pixel(d->sky, x - SKY_PLOT_MARK + 1, y));
    // The 60-degree ring south of the centre, the horizon ring west.
    int rx, ry;
    ASSERT_TRUE(sky_plot_place(180, 60, &rx, &ry));
    EXPECT_EQ(SKY_RING, pixel(d->sky, rx, ry));
    ASSERT_TRUE(sky_plot_place(270, 0, &rx, &ry));
    EXPECT_EQ(SKY_RING, pixel(d->sky, rx, ry));
    // The next refresh draws the table as it is then.
    show({sat(GPS_SYSTEM_GPS, 5, 90, 0, 25, 0)});
    ASSERT_TRUE(sky_plot_place(45, 45, &x, &y));
    EXPECT_EQ(SKY_BACKGROUND, pixel(d->sky, x - SKY_PLOT_MARK + 1, y));
    ASSERT_TRUE(sky_plot_place(90, 0, &x, &y));
    EXPECT_EQ(SKY_FAIR, pixel(d->sky, x + SKY_PLOT_MARK - 1, y));
}

// A silent receiver: no satellite is used once the fix is stale, none is
// listed once the table is old; a lost fix ends the used marks at once.
TEST_F(SkyPlotTest, UsedOnlyWithACurrentFixListedOnlyWhileRenewed) {
    headless_install();
    headless_set_clock(1000);
    AppSettings s{};
    s.connected = 1;
    s.deviceType = DEVICE_NMEA;
    gps_set_latitude(45.4);
    gps_set_longitude(-75.7);
    stale_fix_update(&s);
    int x, y;
    ASSERT_TRUE(sky_plot_place(45, 45, &x, &y));
    show({sat(GPS_SYSTEM_GPS, 5, 45, 45, 45, 1)});
    EXPECT_EQ(SKY_STRONG, pixel(d->sky, x, y));
    headless_advance_clock(STALE_FIX_SECONDS + 1);
    stale_fix_update(&s);
    monitor_dialog_refresh(d);
    EXPECT_TRUE(line(0).ends_with(" No")) << line(0);   // listed, not used
    EXPECT_EQ(SKY_BACKGROUND, pixel(d->sky, x, y));
    headless_advance_clock(GPS_SATELLITE_AGE_SECONDS);
    monitor_dialog_refresh(d);
    EXPECT_EQ(0, d->lineCount);
    stale_fix_reset();
    show({sat(GPS_SYSTEM_GPS, 5, 45, 45, 45, 1)});
    gps_set_fix_mode(0);
    monitor_dialog_refresh(d);
    EXPECT_TRUE(line(0).ends_with(" No")) << line(0);   // listed, not used
    platform_install(nullptr);
}

TEST_F(SkyPlotTest, EachSystemHasItsOwnShape) {
    std::set<std::vector<int>> shapes;
    for (int system = 0; system < GPS_SYSTEMS - 1; ++system) {
        show({sat(system, 1, 0, 90, 45, 1)});
        std::vector<int> mask;
        int c = SKY_PLOT_SIZE / 2;
        for (int dy = -SKY_PLOT_MARK; dy <= SKY_PLOT_MARK; ++dy)
            for (int dx = -SKY_PLOT_MARK; dx <= SKY_PLOT_MARK; ++dx)
                mask.push_back(pixel(d->sky, c + dx, c + dy) == SKY_STRONG);
        shapes.insert(mask);
    }
    EXPECT_EQ(static_cast<size_t>(GPS_SYSTEMS - 1), shapes.size());
}

}  // namespace
