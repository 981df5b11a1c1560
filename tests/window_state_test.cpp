// The window's state between runs: what is written comes back, damage does not.
#include <gtest/gtest.h>

#include "settings/window_state.h"
#include "tests/settings_fixture.h"

namespace {

using WindowStateFile = SettingsDir;

TEST_F(WindowStateFile, ComesBackWholeAndDamageFallsBackToDefaults) {
    WindowState s, back;
    EXPECT_EQ(window_state_read(KIV_STATE_FILE, &back), 0);
    EXPECT_EQ(back.width, 1024);
    EXPECT_FALSE(back.hasPosition);
    window_state_defaults(&s);
    s.hasPosition = 1, s.x = -1200, s.y = 40, s.width = 1900, s.height = 1000, s.maximised = 1, s.level = 4;
    s.autoZoom = 1, s.followMode = 0, s.night = 1;
    s.gpxFiles = {"/home/a b/Trip to  Lake .gpx", " lead.gpx"};
    ASSERT_EQ(window_state_write(KIV_STATE_FILE, s), 1);
    EXPECT_EQ(count_entries(), 1);  // no temporary left
    ASSERT_EQ(window_state_read(KIV_STATE_FILE, &back), 1);
    EXPECT_EQ(std::tie(back.hasPosition, back.x, back.y, back.width, back.height, back.maximised, back.fullScreen),
              std::tie(s.hasPosition, s.x, s.y, s.width, s.height, s.maximised, s.fullScreen));
    EXPECT_EQ(std::tie(back.level, back.autoPan, back.autoZoom, back.followMode, back.night),
              std::tie(s.level, s.autoPan, s.autoZoom, s.followMode, s.night));
    EXPECT_EQ(back.gpxFiles, s.gpxFiles);

    put(KIV_STATE_FILE, "X=12abc\nY=5\nWidth=99999\nHeight=-3\nLevel=7\nAutoPan=2\nFollow=x\nNight=1\nGpx=\nGpx=/t.gpx\n");
    ASSERT_EQ(window_state_read(KIV_STATE_FILE, &back), 1);
    EXPECT_FALSE(back.hasPosition);
    EXPECT_EQ(back.width, WINDOW_STATE_MAX_WIDTH);
    EXPECT_EQ(back.height, WINDOW_STATE_MIN_HEIGHT);
    EXPECT_EQ(std::tie(back.level, back.autoPan, back.followMode, back.night), std::make_tuple(-1, 1, 1, 1));
    EXPECT_EQ(back.gpxFiles, std::vector<std::string>{"/t.gpx"});
}

}  // namespace
