#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "position/gps_fix.h"

namespace {

struct LocalCase {
    int zone;
    int y, mo, d, h, mi, s;
    const char* utc;
    const char* local;
};

// Month, year and day-of-month carries of the zone shift; no leap years.
const LocalCase local_cases[] = {
    {+2, 2006, 1, 31, 23, 0, 0, "2006/01/31 23:00:00", "2006/02/01 01:00:00"},
    {-5, 2006, 1, 1, 0, 30, 0, "2006/01/01 00:30:00", "2005/12/31 19:30:00"},
    {+2, 2008, 2, 28, 23, 0, 0, "2008/02/28 23:00:00", "2008/03/01 01:00:00"},
    {+1, 2006, 12, 31, 23, 30, 0, "2006/12/31 23:30:00", "2007/01/01 00:30:00"},
    {-3, 2007, 3, 1, 1, 0, 0, "2007/03/01 01:00:00", "2007/02/28 22:00:00"},
    {0, 1994, 3, 23, 12, 35, 19, "1994/03/23 12:35:19", "1994/03/23 12:35:19"},
    {+12, 2010, 6, 30, 12, 0, 0, "2010/06/30 12:00:00", "2010/07/01 00:00:00"},
    {-12, 2010, 7, 1, 11, 59, 59, "2010/07/01 11:59:59", "2010/06/30 23:59:59"},
};

TEST(FixRecord, TimeConversionAcrossDayMonthAndYearEnds) {
    for (const auto& c : local_cases) {
        gps_reset();
        gps_set_zone(c.zone);
        gps_set_time_utc(c.y, c.mo, c.d, c.h, c.mi, c.s);
        EXPECT_EQ(gps_utc_text(), c.utc) << c.utc << " zone " << c.zone;
        EXPECT_EQ(gps_local_text(), c.local) << c.utc << " zone " << c.zone;
    }
}

TEST(FixRecord, LocalTextPadsYearWithBlanks) {
    gps_reset();
    gps_set_zone(0);
    gps_set_time_utc(99, 1, 2, 3, 4, 5);
    EXPECT_EQ(gps_utc_text(), "0099/01/02 03:04:05");
    EXPECT_EQ(gps_local_text(), "  99/01/02 03:04:05");
}

TEST(FixRecord, CompassPoints) {
    struct { double course; const char* name; } cases[] = {
        {0, "N"}, {22.4, "N"}, {22.5, "NE"}, {90, "E"}, {180, "S"}, {269.9, "W"},
        {337.4, "NW"}, {337.5, "N"}, {359.9, "N"}, {-10, "N"}, {720, "N"}, {400, "NE"}};
    for (const auto& c : cases) {
        gps_set_course(c.course);
        char name[3] = {'x', 'x', 'x'};
        gps_course_point(name);
        EXPECT_STREQ(name, c.name) << c.course;
    }
}

TEST(FixRecord, SpeedAndSatelliteTable) {
    gps_reset();
    gps_set_speed_knots(10);
    EXPECT_DOUBLE_EQ(gps_speed(), 18.52 / 3.6);
    gps_set_satellites_in_view(14);
    for (int i = 0; i < 14; i++) gps_set_sat_prn(i, i + 1);  // 12 and 13 fall outside the table
    EXPECT_EQ(gps_satellites_in_view(), 14);
    EXPECT_EQ(gps_sat_prn(11), 12);
    EXPECT_EQ(gps_sat_prn(12), 0);
    EXPECT_EQ(gps_sat_prn(-1), 0);
}

TEST(FixRecord, FixModeAgeingAndClearing) {
    gps_reset();
    gps_set_fix_mode(3);
    EXPECT_EQ(gps_age_fix_mode_if_valid(), 2);
    EXPECT_EQ(gps_age_fix_mode_if_valid(), 1);
    EXPECT_EQ(gps_age_fix_mode_if_valid(), 0);
    EXPECT_EQ(gps_age_fix_mode_if_valid(), 0);
    gps_set_fix_mode(2);
    gps_clear_fix_mode();
    EXPECT_EQ(gps_fix_mode(), 0);
}

TEST(FixRecord, LongMessageIsCutNotOverrun) {
    std::string longer(5000, 'A');
    gps_set_last_message(longer.c_str());
    EXPECT_EQ(gps_last_message(), std::string(255, 'A'));
}

// A reader on one thread never sees a double that is half of two writes.
TEST(FixRecord, NoTornDoublesBetweenThreads) {
    gps_reset();
    const double a = 1.0000000000000002, b = -123456789.98765432;
    std::atomic<bool> stop{false};
    std::thread writer([&] {
        for (int i = 0; !stop.load(); i++) gps_set_latitude((i & 1) ? a : b);
    });
    int bad = 0;
    for (int i = 0; i < 200000; i++) {
        double v = gps_latitude();
        if (v != a && v != b && v != 0.0) bad++;
    }
    stop = true;
    writer.join();
    EXPECT_EQ(bad, 0);
}

}  // namespace
