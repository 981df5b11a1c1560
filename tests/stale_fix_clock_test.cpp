// Staleness against a wall clock that steps (chrony setting the time from
// the receiver): this binary's own time() stands in for the system's, so
// the step needs no privileges and touches nothing else.
#include <gtest/gtest.h>

#include <ctime>

#include "app/stale_fix.h"
#include "position/gps_fix.h"
#include "settings/app_settings.h"

namespace {
time_t wall_step = 0;
}

extern "C" time_t time(time_t* out) {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    time_t t = now.tv_sec + wall_step;
    if (out) *out = t;
    return t;
}

TEST(StaleFixClock, AWallClockStepDoesNotAgeTheFix) {
    AppSettings s{};
    s.connected = 1;
    s.deviceType = DEVICE_NMEA;
    gps_reset();
    stale_fix_reset();
    gps_set_latitude(45.4);
    gps_set_longitude(-75.7);
    gps_set_fix_mode(3);
    stale_fix_update(&s);
    ASSERT_FALSE(stale_fix_stale());
    wall_step = 3 * 3600;
    stale_fix_update(&s);
    EXPECT_FALSE(stale_fix_stale());
    EXPECT_LT(stale_fix_age(), STALE_FIX_SECONDS);
    wall_step = 0;
    stale_fix_reset();
    gps_reset();
}
