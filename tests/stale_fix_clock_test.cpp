// Staleness against a stepping wall clock: this binary's own time() stands
// in for the system's, so the step needs no privileges.
#include <gtest/gtest.h>

#include <ctime>

#include "app/stale_fix.h"
#include "position/gps_fix.h"
#include "settings/app_settings.h"

static time_t wall_step = 0;

extern "C" time_t time(time_t* out) {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    if (out) *out = now.tv_sec + wall_step;
    return now.tv_sec + wall_step;
}

TEST(StaleFixClock, AWallClockStepDoesNotAgeTheFix) {
    AppSettings s{};
    s.connected = 1;
    s.deviceType = DEVICE_NMEA;
    gps_set_latitude(45.4);
    gps_set_longitude(-75.7);
    gps_set_fix_mode(3);
    stale_fix_update(&s);
    wall_step = 3 * 3600;  // chrony setting the time from the receiver
    stale_fix_update(&s);
    EXPECT_FALSE(stale_fix_stale());
    EXPECT_LT(stale_fix_age(), STALE_FIX_SECONDS);
}
