#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <limits>
#include <thread>

#include "position/gps_fix.h"

namespace {

struct LocalCase {
    int zone;
    int y, mo, d, h, mi, s;
    const char* utc;
    const char* local;
};

// Month, year and day-of-month carries of the zone shift (minutes), leap
// days included.
const LocalCase local_cases[] = {
    {+120, 2006, 1, 31, 23, 0, 0, "2006/01/31 23:00:00", "2006/02/01 01:00:00"},
    {-300, 2006, 1, 1, 0, 30, 0, "2006/01/01 00:30:00", "2005/12/31 19:30:00"},
    {+120, 2008, 2, 28, 23, 0, 0, "2008/02/28 23:00:00", "2008/02/29 01:00:00"},
    {+120, 2024, 2, 28, 23, 30, 0, "2024/02/28 23:30:00", "2024/02/29 01:30:00"},
    {+120, 2100, 2, 28, 23, 0, 0, "2100/02/28 23:00:00", "2100/03/01 01:00:00"},
    {+60, 2006, 12, 31, 23, 30, 0, "2006/12/31 23:30:00", "2007/01/01 00:30:00"},
    {-180, 2007, 3, 1, 1, 0, 0, "2007/03/01 01:00:00", "2007/02/28 22:00:00"},
    {0, 1994, 3, 23, 12, 35, 19, "1994/03/23 12:35:19", "1994/03/23 12:35:19"},
    {+720, 2010, 6, 30, 12, 0, 0, "2010/06/30 12:00:00", "2010/07/01 00:00:00"},
    {-720, 2010, 7, 1, 11, 59, 59, "2010/07/01 11:59:59", "2010/06/30 23:59:59"},
    {+330, 2024, 12, 31, 18, 45, 0, "2024/12/31 18:45:00", "2025/01/01 00:15:00"},
    {-210, 2024, 3, 1, 2, 0, 5, "2024/03/01 02:00:05", "2024/02/29 22:30:05"},
};

TEST(FixRecord, TimeConversionAcrossDayMonthAndYearEnds) {
    for (const auto& c : local_cases) {
        gps_reset();
        gps_set_zone_minutes(c.zone);
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

TEST(FixRecord, HugeOrNonFiniteCourseStaysWithinOneTurn) {
    gps_reset();
    gps_set_course(1e308);
    double c = gps_course();
    EXPECT_TRUE(c >= 0 && c < 360) << c;
    EXPECT_DOUBLE_EQ(c, std::fmod(1e308, 360.0));
    gps_set_course(-1e308);
    EXPECT_TRUE(gps_course() >= 0 && gps_course() < 360);
    gps_set_course(90);
    gps_set_course(std::numeric_limits<double>::infinity());
    gps_set_course(std::nan(""));
    EXPECT_EQ(gps_course(), 90);
    char name[3];
    gps_course_point(name);
    EXPECT_STREQ(name, "E");
}

TEST(FixRecord, PositionNeedsModeAndBothFiniteCoordinates) {
    gps_reset();
    gps_set_fix_mode(3);
    EXPECT_EQ(gps_has_position(), 0);  // a mode alone
    gps_set_latitude(std::nan(""));
    gps_set_longitude(std::numeric_limits<double>::infinity());
    EXPECT_EQ(gps_has_position(), 0);
    gps_set_latitude(45.5);
    EXPECT_EQ(gps_has_position(), 0);
    gps_set_longitude(-75.7);
    EXPECT_EQ(gps_has_position(), 1);
    gps_set_longitude(std::nan(""));  // a damaged packet after a good one
    EXPECT_EQ(gps_has_position(), 0);
    gps_set_longitude(-75.7);
    gps_clear_fix_mode();
    EXPECT_EQ(gps_has_position(), 0);
}

TEST(FixRecord, SpeedAndSatelliteTable) {
    gps_reset();
    gps_set_speed_knots(10);
    EXPECT_DOUBLE_EQ(gps_speed(), 18.52 / 3.6);
    gps_set_satellites_in_view(70);
    for (int i = 0; i < 70; i++) gps_set_sat_prn(i, i + 1);  // 64 and up fall outside the table
    EXPECT_EQ(gps_satellites_in_view(), 70);
    EXPECT_EQ(gps_sat_count(), GPS_SAT_TABLE);
    EXPECT_EQ(gps_sat_prn(63), 64);
    EXPECT_EQ(gps_sat_prn(64), 0);
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
