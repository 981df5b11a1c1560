// The window's state between runs: what is written comes back, damage does not.
#include <gtest/gtest.h>

#include "settings/window_state.h"
#include "tests/settings_fixture.h"

namespace {

using WindowStateFile = SettingsDir;

TEST_F(WindowStateFile, ComesBackWholeAndDamageFallsBackToDefaults) {
    WindowState s, b;
    EXPECT_EQ(window_state_read(KIV_STATE_FILE, &b), 0);
    EXPECT_EQ(std::tie(b.width, b.hasPosition), std::make_tuple(1024, 0));
    window_state_defaults(&s);
    s.hasPosition = 1, s.x = -1200, s.y = 40, s.width = 1900, s.height = 1000, s.maximised = 1, s.level = 4;
    s.autoZoom = 1, s.followMode = 0, s.night = 2, s.magnifyMap = 1, s.routeProfile = 2, s.gpxFiles = {"/home/a b/Trip to  Lake .gpx", " lead.gpx"};
    ASSERT_EQ(window_state_write(KIV_STATE_FILE, s), 1);
    ASSERT_EQ(window_state_read(KIV_STATE_FILE, &b), 1);
    EXPECT_EQ(std::tie(b.hasPosition, b.x, b.y, b.width, b.height, b.maximised, b.fullScreen),
              std::tie(s.hasPosition, s.x, s.y, s.width, s.height, s.maximised, s.fullScreen));
    EXPECT_EQ(std::tie(b.level, b.autoPan, b.autoZoom, b.followMode, b.night, b.magnifyMap, b.routeProfile),
              std::tie(s.level, s.autoPan, s.autoZoom, s.followMode, s.night, s.magnifyMap, s.routeProfile));
    EXPECT_EQ(b.gpxFiles, s.gpxFiles);
    put(KIV_STATE_FILE, "X=12abc\nY=5\nWidth=99999\nHeight=6\nLevel=7\nAutoPan=2\nFollow=x\nNight=1\nGpx=\nGpx=/t\n");
    ASSERT_EQ(window_state_read(KIV_STATE_FILE, &b), 1);
    EXPECT_EQ(std::tie(b.hasPosition, b.width, b.height, b.level, b.autoPan, b.followMode, b.night),
              std::make_tuple(0, WINDOW_STATE_MAX_WIDTH, WINDOW_STATE_DEFAULT_HEIGHT, -1, 1, 1, 1));
    EXPECT_EQ(b.gpxFiles, std::vector<std::string>{"/t"});
}

}  // namespace
