#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "nmea_test_support.h"
#include "platform/headless.h"
#include "position/nmea_satellites.h"

namespace {

const char* const example_rmc = "GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W";

std::string rmc(const std::string& time, const std::string& status, const std::string& lat, const std::string& lon,
                const std::string& date, const std::string& speed = "1.0", const std::string& course = "90.0") {
    return nmea_with_checksum("GPRMC," + time + "," + status + "," + lat + "," + lon + "," + speed + "," + course +
                              "," + date + ",,,A");
}

using NmeaSentences = NmeaDecoderTest;

TEST_F(NmeaSentences, RmcExampleSetsTimePositionSpeedCourseAndRaisesFix) {
    feed_text(nmea_with_checksum(example_rmc));
    EXPECT_EQ(gps_utc_text(), "1994/03/23 12:35:19");
    EXPECT_EQ(gps_local_text(), "1994/03/23 12:35:19");
    EXPECT_NEAR(gps_latitude(), 48.1173, 1e-9);
    EXPECT_NEAR(gps_longitude(), 11.516667, 1e-6);
    EXPECT_DOUBLE_EQ(gps_speed_knots(), 22.4);
    EXPECT_DOUBLE_EQ(gps_course(), 84.4);
    EXPECT_EQ(gps_fix_mode(), 2);  // no dimension given: 2D, as gpsd says
    EXPECT_EQ(gps_last_message(), std::string(example_rmc) + "*6A");
}

TEST_F(NmeaSentences, LocalTimeFollowsTheZone) {
    gps_set_zone(2);
    feed_text(rmc("230000", "A", "4807.038,N", "01131.000,E", "310106"));
    EXPECT_EQ(gps_utc_text(), "2006/01/31 23:00:00");
    EXPECT_EQ(gps_local_text(), "2006/02/01 01:00:00");
}

TEST_F(NmeaSentences, BadChecksumsChangeNothingButAreShown) {
    const std::string body = example_rmc;
    const std::string rejected[] = {
        "$" + body + "*6a\r\n",  // lower-case hex digits
        "$" + body + "*6B\r\n",  // wrong
        "$" + body + "\r\n",     // none
        "$" + body + "*6\r\n",   // one digit
        "$" + body + "*\r\n",
    };
    for (const auto& line : rejected) {
        feed_text(line);
        EXPECT_EQ(gps_utc_text(), "") << line;
        EXPECT_EQ(gps_latitude(), 0.0) << line;
        EXPECT_EQ(gps_fix_mode(), 0) << line;
        EXPECT_EQ(gps_last_message(), line.substr(1, line.size() - 3)) << line;
    }
    EXPECT_EQ(nmea_checksum_ok((body + "*6A").c_str()), 1);
    EXPECT_EQ(nmea_checksum_ok((body + "*6a").c_str()), 0);
    EXPECT_EQ(nmea_checksum_ok("IIGPQ,ASTRAL*73"), 1);
    EXPECT_EQ(nmea_checksum_ok(""), 0);
}

TEST_F(NmeaSentences, AnyTalkerIsDecodedButNoProprietarySentence) {
    feed_text(nmea_with_checksum("GNRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W"));
    feed_text(nmea_with_checksum("GLGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,"));
    EXPECT_EQ(gps_utc_text(), "1994/03/23 12:35:19");
    EXPECT_NEAR(gps_latitude(), 48.1173, 1e-9);
    EXPECT_EQ(gps_altitude(), 545.4);
    // "$P..." is a maker's own sentence, whatever letters follow; lower case is no talker.
    for (const char* body : {"PGRMC,123600,A,5000.000,N,00100.000,E,1.0,1.0,230394,,",
                             "gpRMC,123600,A,5000.000,N,00100.000,E,1.0,1.0,230394,,",
                             "PSTMC,123600,5000.000,N,00100.000,E,1,08,0.9,1.0,M,,,,"}) {
        feed_text(nmea_with_checksum(body));
        EXPECT_NEAR(gps_latitude(), 48.1173, 1e-9) << body;
        EXPECT_EQ(gps_last_message().substr(0, 5), std::string(body).substr(0, 5));
    }
}

TEST_F(NmeaSentences, ImpossibleRmcDateOrTimeDoesNotFreezeLaterOnes) {
    feed_text(rmc("123519", "A", "4807.038,N", "01131.000,E", "230324"));
    for (const char* date : {"999924", "001324", "000124", "320124"}) feed_text(rmc("123520", "A", "4807.038,N", "01131.000,E", date));
    for (const char* time : {"243520", "126020", "123561"}) feed_text(rmc(time, "A", "4807.038,N", "01131.000,E", "230324"));
    EXPECT_EQ(gps_utc_text(), "2024/03/23 12:35:19");
    feed_text(rmc("123521", "A", "5000.000,N", "00100.000,E", "230324"));
    EXPECT_EQ(gps_utc_text(), "2024/03/23 12:35:21");
    EXPECT_NEAR(gps_latitude(), 50.0, 1e-12);
}

TEST_F(NmeaSentences, ModeWithoutPositionIsNoPosition) {
    feed_text(nmea_with_checksum("GPGSA,A,3,04,05,,09,12,,,24,,,,,2.5,1.3,2.1"));
    EXPECT_EQ(gps_fix_mode(), 3);
    EXPECT_EQ(gps_has_position(), 0);
    feed_text(rmc("123519", "A", "4807.038,N", "01131.000,E", "230394"));
    EXPECT_EQ(gps_has_position(), 1);
}

TEST_F(NmeaSentences, GnsVtgAndZdaOfModernReceivers) {
    // ZDA gives the date that GNS, with its time of day only, goes on from.
    feed_text(nmea_with_checksum("GPZDA,120213.000,31,07,2022,+00,00"));
    EXPECT_EQ(gps_utc_text(), "2022/07/31 12:02:13");
    feed_text(nmea_with_checksum("GNGNS,120214.000,5957.0062,N,01100.6429,E,NDD,11,1.3,168.9,39.5,,,V"));
    EXPECT_EQ(gps_utc_text(), "2022/07/31 12:02:14");
    EXPECT_EQ(gps_fix_mode(), 3);
    EXPECT_NEAR(gps_latitude(), 59 + 57.0062 / 60, 1e-9);
    EXPECT_EQ(gps_altitude(), 168.9);
    feed_text(nmea_with_checksum("GNGNS,120215.000,,,,,NNN,00,,,,,,V"));
    EXPECT_EQ(gps_fix_mode(), 0);
    // VTG speaks only where no RMC carries speed and course.
    feed_text(nmea_with_checksum("GPVTG,054.7,T,034.4,M,005.5,N,010.2,K,A"));
    EXPECT_DOUBLE_EQ(gps_speed_knots(), 5.5);
    EXPECT_DOUBLE_EQ(gps_course(), 54.7);
    feed_text(rmc("120216", "A", "5957.0062,N", "01100.6429,E", "310722", "1.0", ""));
    feed_text(nmea_with_checksum("GPVTG,054.7,T,034.4,M,005.5,N,010.2,K,A"));
    EXPECT_DOUBLE_EQ(gps_speed_knots(), 1.0);
    EXPECT_DOUBLE_EQ(gps_course(), 54.7);
    feed_text(nmea_with_checksum("GPVTG,100.0,T,,M,9.0,N,16.7,K,N"));
    EXPECT_DOUBLE_EQ(gps_course(), 54.7);
}

// The receiver's time is followed as it comes, as gpsd does: a step back
// (receiver reset, a replayed log, a week-number rollover) is taken whole.
TEST_F(NmeaSentences, EarlierTimesAreStepsTheFixFollows) {
    feed_text(rmc("120000.00", "V", ",", ",", "010166"));
    feed_text(rmc("120001.00", "A", "4524.0060,N", "07542.0000,W", "010624"));
    EXPECT_EQ(gps_utc_text(), "2024/06/01 12:00:01");
    feed_text(rmc("123518", "A", "5000.000,N", "00100.000,E", "270799", "9.0"));
    EXPECT_EQ(gps_utc_text(), "1999/07/27 12:35:18");
    EXPECT_NEAR(gps_latitude(), 50.0, 1e-12);
    EXPECT_DOUBLE_EQ(gps_speed_knots(), 9.0);
    // GGA and GLL carry the time of day; past midnight it is the next day.
    feed_text(rmc("235959", "A", "4807.038,N", "01131.000,E", "280224"));
    feed_text(nmea_with_checksum("GPGGA,000001,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,"));
    EXPECT_EQ(gps_utc_text(), "2024/02/29 00:00:01");
    feed_text(nmea_with_checksum("GPGLL,4807.038,N,01131.000,E,000002,A,A"));
    EXPECT_EQ(gps_utc_text(), "2024/02/29 00:00:02");
}

// A time of day goes on the day that puts it nearest the time before it:
// back by less than 12 hours is a step back, not the next day.
TEST_F(NmeaSentences, TimeOfDayTakesTheDayNearestTheTimeBefore) {
    const struct {
        const char *rmcTime, *rmcDate, *body, *utc;
    } cases[] = {
        {"120000", "101226", "GPGGA,115955,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,", "2026/12/10 11:59:55"},
        {"000005", "111226", "GPGLL,4807.038,N,01131.000,E,235958,A,A", "2026/12/10 23:59:58"},
        {"235959", "101226", "GNGNS,000001,4807.038,N,01131.000,E,AA,08,0.9,545.4,46.9,,,V", "2026/12/11 00:00:01"},
        {"230000", "101226", "GPGLL,4807.038,N,01131.000,E,110000,A,A", "2026/12/11 11:00:00"},
    };
    for (const auto& c : cases) {
        feed_text(rmc(c.rmcTime, "A", "4807.038,N", "01131.000,E", c.rmcDate));
        feed_text(nmea_with_checksum(c.body));
        EXPECT_EQ(gps_utc_text(), c.utc) << c.body;
    }
}

// A receiver that sends neither RMC nor ZDA: the day comes from the
// computer's clock, the one nearest it for a receiver on either side of
// midnight.
TEST_F(NmeaSentences, TimeOfDayWithoutAnyDateTakesTheDayFromTheClock) {
    const int64_t beforeMidnight = 1796947198;   // 2026-12-10 23:59:58 UTC
    const struct {
        int64_t clock;
        const char *body, *utc;
    } cases[] = {
        {beforeMidnight, "GPGGA,235957,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,", "2026/12/10 23:59:57"},
        {beforeMidnight, "GNGNS,000001,4807.038,N,01131.000,E,AA,08,0.9,545.4,46.9,,,V", "2026/12/11 00:00:01"},
    };
    headless_install();
    for (const auto& c : cases) {
        gps_reset();
        nmea_reset();
        headless_set_clock(c.clock);
        feed_text(nmea_with_checksum(c.body));
        EXPECT_EQ(gps_utc_text(), c.utc) << c.body;
    }
    headless_set_clock(-1);
}

// RMC "V" moves no position, but its time keeps the clock going; after it
// (or any sentence saying no fix) a GSA still reporting the last solution's
// mode does not bring the fix back.
TEST_F(NmeaSentences, NoFixKeepsTheClockAndAGsaDoesNotRaiseIt) {
    feed_text(rmc("120000", "A", "4807.038,N", "01131.000,E", "101226"));
    feed_text(rmc("120005", "V", "4900.000,N", "01131.000,E", "101226"));
    EXPECT_EQ(gps_utc_text(), "2026/12/10 12:00:05");
    EXPECT_NEAR(gps_latitude(), 48.1173, 1e-9);
    for (const char* body : {"GPRMC,120006,V,,,,,,,101226,,,N", "GPGGA,120006,,,,,0,00,,,M,,M,,",
                             "GPGLL,,,,,120006,V,N", "GNGNS,120006,,,,,NN,00,,,,,,V"}) {
        feed_text(rmc("120000", "A", "4807.038,N", "01131.000,E", "101226"));
        feed_text(nmea_with_checksum(body));
        feed_text(nmea_with_checksum("GPGSA,A,3,04,05,,09,12,,,24,,,,,2.5,1.3,2.1"));
        EXPECT_EQ(gps_fix_mode(), 0) << body;
    }
    feed_text(nmea_with_checksum("GPGGA,120007,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,"));
    feed_text(nmea_with_checksum("GPGSA,A,2,04,05,,09,12,,,24,,,,,2.5,1.3,2.1"));
    EXPECT_EQ(gps_fix_mode(), 2);
}

// A sentence saying "no fix" loses the fix and moves nothing: receivers
// send old, zero or made-up positions with it.
TEST_F(NmeaSentences, NoFixSentencesLoseTheFixAndMoveNothing) {
    for (const char* body : {"GPRMC,120003.00,V,0000.0000,N,00000.0000,E,0.0,0.0,010624,,,N",
                             "GPGGA,120003,9000.000,N,00000.000,E,0,00,,,M,,M,,",
                             "GPGGA,120003,9000.000,N,00000.000,E,,00,,,M,,M,,",
                             "GPGLL,0000.000,N,00000.000,E,120003,V,N",
                             "GNGNS,120003,0000.000,N,00000.000,E,NNN,00,,,,,,V"}) {
        feed_text(rmc("120002", "A", "4807.038,N", "01131.000,E", "010624", "5.0"));
        feed_text(nmea_with_checksum(body));
        EXPECT_EQ(gps_fix_mode(), 0) << body;
        EXPECT_NEAR(gps_latitude(), 48.1173, 1e-9) << body;
        EXPECT_DOUBLE_EQ(gps_speed_knots(), 5.0) << body;
    }
}

TEST_F(NmeaSentences, TwoDigitYearsSplitAt1970) {
    feed_text(rmc("000000", "A", "4807.038,N", "01131.000,E", "010170"));
    EXPECT_EQ(gps_utc_text(), "1970/01/01 00:00:00");
    feed_text(rmc("235959", "A", "4807.038,N", "01131.000,E", "311269"));
    EXPECT_EQ(gps_utc_text(), "2069/12/31 23:59:59");
}

TEST_F(NmeaSentences, RmcWithoutDateOrTimeKeepsTheStoredTime) {
    feed_text(rmc("", "A", "4807.038,N", "01131.000,E", "230394"));
    EXPECT_EQ(gps_utc_text(), "");
    feed_text(rmc("123519", "A", "4807.038,N", "01131.000,E", "230394"));
    const std::string unreadable[] = {rmc("123520", "A", "4807.038,N", "01131.000,E", ""),
                                      rmc("", "A", "4807.038,N", "01131.000,E", "230394"),
                                      rmc("12x520", "A", "4807.038,N", "01131.000,E", "230394"),
                                      rmc("123520", "A", "4807.038,N", "01131.000,E", "2303")};
    for (const auto& s : unreadable) {
        feed_text(s);
        EXPECT_EQ(gps_utc_text(), "1994/03/23 12:35:19") << s;
        EXPECT_EQ(gps_local_text(), "1994/03/23 12:35:19") << s;
    }
}

TEST_F(NmeaSentences, PositionFieldsAreIndependentAndHemispheresSigned) {
    // GGA alone is a fix: 3D with an altitude, 2D without.
    feed_text(nmea_with_checksum("GPGGA,123519,4807.038,S,01131.000,W,1,08,0.9,545.4,M,46.9,M,,"));
    EXPECT_EQ(gps_fix_mode(), 3);
    EXPECT_EQ(gps_satellites_used(), 8);
    EXPECT_NEAR(gps_latitude(), -48.1173, 1e-9);
    EXPECT_NEAR(gps_longitude(), -11.516666667, 1e-9);
    EXPECT_DOUBLE_EQ(gps_altitude(), 545.4);
    EXPECT_DOUBLE_EQ(gps_hdop(), 0.9);
    // Empty latitude, unreadable altitude: only the longitude moves.
    feed_text(nmea_with_checksum("GPGGA,123520,,,01200.000,E,1,08,0.9,high,M,46.9,M,,"));
    EXPECT_EQ(gps_fix_mode(), 2);
    EXPECT_NEAR(gps_latitude(), -48.1173, 1e-9);
    EXPECT_NEAR(gps_longitude(), 12.0, 1e-12);
    EXPECT_DOUBLE_EQ(gps_altitude(), 545.4);
    // GLL: unreadable longitude keeps the old one.
    feed_text(nmea_with_checksum("GPGLL,4916.45,N,abc,W,225444,A"));
    EXPECT_NEAR(gps_latitude(), 49.274166667, 1e-9);
    EXPECT_NEAR(gps_longitude(), 12.0, 1e-12);
    // No number is taken from "nan" or "inf".
    feed_text(nmea_with_checksum("GPGLL,nan,N,inf,E,225444,A"));
    EXPECT_NEAR(gps_latitude(), 49.274166667, 1e-9);
    EXPECT_NEAR(gps_longitude(), 12.0, 1e-12);
    // RMC: empty speed and course keep the old values.
    feed_text(rmc("123519", "A", "4807.038,N", "01131.000,E", "230394", "3.5", "45.0"));
    feed_text(rmc("123520", "A", "4807.038,N", "01131.000,E", "230394", "", "x"));
    EXPECT_DOUBLE_EQ(gps_speed_knots(), 3.5);
    EXPECT_DOUBLE_EQ(gps_course(), 45.0);
}

TEST_F(NmeaSentences, GsaModeSetsTheFixMode) {
    gps_set_fix_mode(3);
    feed_text(nmea_with_checksum("GPGSA,A,1,,,,,,,,,,,,,0.0,0.0,0.0"));
    EXPECT_EQ(gps_fix_mode(), 0);
    EXPECT_TRUE(std::isnan(gps_hdop()));   // 0.0: no dilution known
    feed_text(nmea_with_checksum("GPGSA,A,2,04,05,,,,,,,,,,,2.5,1.3,2.1"));
    EXPECT_EQ(gps_fix_mode(), 2);
    EXPECT_DOUBLE_EQ(gps_hdop(), 1.3);
    feed_text(nmea_with_checksum("GPGSA,A,,04,05,,,,,,,,,,,2.5,1.3,2.1"));
    EXPECT_EQ(gps_fix_mode(), 2);
    feed_text(nmea_with_checksum("GPGSA,A,3,04,05,,,,,,,,,,,2.5,1.3,2.1"));
    EXPECT_EQ(gps_fix_mode(), 3);
}

using NmeaSatellites = NmeaDecoderTest;

std::string gsv(int total, int message, const std::string& inView, int firstPrn, int entries,
                const std::string& snr = "40") {
    std::ostringstream body;
    body << "GPGSV," << total << "," << message << "," << inView;
    for (int prn = firstPrn; prn < firstPrn + entries; ++prn)
        body << "," << prn << "," << 10 + prn << "," << 100 + prn << "," << snr;
    return nmea_with_checksum(body.str());
}

TEST_F(NmeaSatellites, MessageTwoAndThreeOfNineFillTheirEntries) {
    feed_text(gsv(3, 2, "09", 5, 4));
    EXPECT_EQ(gps_satellites_in_view(), 9);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(gps_sat_prn(i), 0) << i;
    for (int i = 4; i < 8; ++i) {
        EXPECT_EQ(gps_sat_prn(i), i + 1) << i;
        EXPECT_EQ(gps_sat_elevation(i), 10 + i + 1) << i;
        EXPECT_EQ(gps_sat_azimuth(i), 100 + i + 1) << i;
        EXPECT_EQ(gps_sat_snr(i), 40) << i;
    }
    // Message 3 carries four groups but only one satellite is left.
    feed_text(gsv(3, 3, "09", 9, 4));
    EXPECT_EQ(gps_sat_prn(8), 9);
    for (int i = 9; i < 12; ++i) EXPECT_EQ(gps_sat_prn(i), 0) << i;
    EXPECT_EQ(gps_sat_used(8), 0);
}

TEST_F(NmeaSatellites, EmptySnrIsNoSignalAndAnEmptyPlaceIsUnknown) {
    feed_text(gsv(1, 1, "2", 7, 2, "35"));
    feed_text(nmea_with_checksum("GPGSV,1,1,2,07,,,,08,x,200,"));
    EXPECT_EQ(gps_sat_prn(0), 7);
    EXPECT_EQ(gps_sat_elevation(0), -1);
    EXPECT_EQ(gps_sat_azimuth(0), -1);
    EXPECT_EQ(gps_sat_snr(0), 0);
    EXPECT_EQ(gps_sat_elevation(1), -1);
    EXPECT_EQ(gps_sat_azimuth(1), 200);
    EXPECT_EQ(gps_sat_snr(1), 0);
}

TEST_F(NmeaSatellites, MoreThanTwelveInViewFillTheirEntries) {
    for (int m = 1; m <= 5; ++m) feed_text(gsv(5, m, "19", 4 * (m - 1) + 1, m == 5 ? 3 : 4));
    EXPECT_EQ(gps_satellites_in_view(), 19);
    EXPECT_EQ(gps_sat_count(), 19);
    for (int i = 0; i < 19; ++i) EXPECT_EQ(gps_sat_prn(i), i + 1) << i;
    // A message far beyond the table changes no entry.
    feed_text(gsv(99, 99, "400", 500, 4));
    for (int i = 0; i < 19; ++i) EXPECT_EQ(gps_sat_prn(i), i + 1) << i;
    EXPECT_EQ(gps_satellites_in_view(), 400);
    EXPECT_EQ(gps_sat_count(), GPS_SAT_TABLE);
}

struct Row {
    int system, prn, snr, used, signal;
};

std::vector<Row> table() {
    std::vector<Row> rows;
    for (int i = 0; i < gps_sat_count(); ++i)
        rows.push_back({gps_sat_system(i), gps_sat_prn(i), gps_sat_snr(i), gps_sat_used(i), gps_sat_signal(i)});
    return rows;
}

bool operator==(const Row& a, const Row& b) {
    return a.system == b.system && a.prn == b.prn && a.snr == b.snr && a.used == b.used && a.signal == b.signal;
}
void PrintTo(const Row& r, std::ostream* os) {
    *os << "{" << r.system << "," << r.prn << "," << r.snr << "," << r.used << "," << r.signal << "}";
}

TEST_F(NmeaSatellites, SystemsKeepTheirOwnCyclesSignalsMergeAndSilentOnesAgeOut) {
    headless_install();
    headless_set_clock(1000);
    feed_text(nmea_with_checksum("GPGSV,1,1,02,05,06,110,19,10,24,284,34,1"));
    feed_text(nmea_with_checksum("GPGSV,1,1,02,05,06,110,25,10,24,284,,6"));   // L2: stronger for 5
    feed_text(nmea_with_checksum("GLGSV,1,1,01,66,58,305,32,1"));
    feed_text(nmea_with_checksum("GAGSV,1,1,01,12,61,237,31,7"));
    // A combined talker without system id: the numbers say GLONASS and GPS.
    feed_text(nmea_with_checksum("GNGSA,A,3,10,66,,,,,,,,,,,1.8,0.9,1.5"));
    feed_text(nmea_with_checksum("GNGSA,A,3,12,,,,,,,,,,,,1.05,0.64,0.83,3"));
    EXPECT_EQ(gps_satellites_in_view(), 4);
    std::vector<Row> expected = {{GPS_SYSTEM_GPS, 5, 25, 0, 6}, {GPS_SYSTEM_GPS, 10, 34, 1, 1},
                                 {GPS_SYSTEM_GLONASS, 66, 32, 1, 1}, {GPS_SYSTEM_GALILEO, 12, 31, 1, 7}};
    EXPECT_EQ(table(), expected);
    // GPS goes on; GLONASS and Galileo fall silent and age out.
    headless_advance_clock(NMEA_SATELLITE_AGE_SECONDS + 1);
    feed_text(nmea_with_checksum("GPGSV,1,1,01,10,24,284,35,1"));
    expected = {{GPS_SYSTEM_GPS, 10, 35, 1, 1}};
    EXPECT_EQ(table(), expected);
    EXPECT_EQ(gps_satellites_in_view(), 1);
    // With no GSV at all any more, a position sentence lets them go.
    headless_advance_clock(NMEA_SATELLITE_AGE_SECONDS + 1);
    feed_text(rmc("123519", "A", "4807.038,N", "01131.000,E", "230394"));
    EXPECT_EQ(gps_sat_count(), 0);
    EXPECT_EQ(gps_satellites_in_view(), 0);
    headless_set_clock(-1);
}

// Which satellites a run of GSA lists leaves marked used, after one GSV
// cycle each of GPS 5 and 10 and BeiDou 3.
TEST_F(NmeaSatellites, UsedMarksFollowTheGsaListsOfEachSystem) {
    struct Case {
        const char* what;
        std::vector<const char*> gsa;
        std::vector<int> used;  // GPS 5, GPS 10, BeiDou 3
    } cases[] = {
        {"a field that is no system id", {"GPGSA,A,3,05,10,,,,,,,,,,,5.1,1.3,4.9,3.3",
                                          "BDGSA,A,3,03,,,,,,,,,,,,5.1,1.3,4.9,3.3"}, {1, 1, 1}},
        {"empty combined list of a system with none used", {"GNGSA,A,3,05,,,,,,,,,,,,1.8,0.9,1.5",
                                                            "GNGSA,A,3,,,,,,,,,,,,,1.8,0.9,1.5"}, {1, 0, 0}},
        {"combined list after the fix is lost", {"GNGSA,A,3,05,10,,,,,,,,,,,1.8,0.9,1.5",
                                                 "GNGSA,A,1,,,,,,,,,,,,,,,"}, {0, 0, 0}},
        {"system id of a combined talker", {"GNGSA,A,3,10,,,,,,,,,,,,1.8,0.9,1.5,1",
                                            "GNGSA,A,3,03,,,,,,,,,,,,1.8,0.9,1.5,4"}, {0, 1, 1}},
        {"system id under a GPS main talker", {"GPGSA,A,3,05,,,,,,,,,,,,1.8,0.9,1.5,1",
                                               "GPGSA,A,3,03,,,,,,,,,,,,1.8,0.9,1.5,4"}, {1, 0, 1}},
    };
    for (const Case& c : cases) {
        nmea_reset();
        // The count reported with the fix stands only while no satellite is marked.
        feed_text(nmea_with_checksum("GPGGA,123520,4807.038,N,01131.000,E,1,07,0.9,545.4,M,46.9,M,,"));
        feed_text(nmea_with_checksum("GPGSV,1,1,02,05,06,110,19,10,24,284,34"));
        feed_text(nmea_with_checksum("BDGSV,1,1,01,03,40,120,30"));
        for (const char* body : c.gsa) feed_text(nmea_with_checksum(body));
        ASSERT_EQ(gps_sat_count(), 3) << c.what;
        EXPECT_EQ((std::vector<int>{gps_sat_used(0), gps_sat_used(1), gps_sat_used(2)}), c.used) << c.what;
        int marked = c.used[0] + c.used[1] + c.used[2];
        EXPECT_EQ(gps_satellites_used(), marked ? marked : 7) << c.what;
    }
}

TEST_F(NmeaSatellites, UnreadableMessageNumberKeepsTableAndCount) {
    feed_text(gsv(1, 1, "4", 21, 4));
    for (const char* number : {"", "x", "-"}) {
        std::string body = std::string("GPGSV,1,") + number + ",7,01,02,003,04,05,06,007,08";
        feed_text(nmea_with_checksum(body));
        EXPECT_EQ(gps_satellites_in_view(), 4) << number;
        EXPECT_EQ(gps_sat_prn(0), 21) << number;
    }
    // Message number 0 sets the count but fills nothing.
    feed_text(nmea_with_checksum("GPGSV,1,0,7,01,02,003,04"));
    EXPECT_EQ(gps_satellites_in_view(), 7);
    EXPECT_EQ(gps_sat_prn(0), 21);
}

using NmeaFraming = NmeaDecoderTest;

TEST_F(NmeaFraming, BareLineFeedAndSplitLinesAreHandled) {
    feed_text(nmea_with_checksum(example_rmc, "\n"));
    EXPECT_EQ(gps_utc_text(), "1994/03/23 12:35:19");
    EXPECT_EQ(gps_last_message(), std::string(example_rmc) + "*6A");
    // A line cut across feeds, the carriage return and line feed apart.
    std::string next = rmc("123520", "A", "4807.038,N", "01131.000,E", "230394");
    feed_text(next.substr(0, 10));
    feed_text(next.substr(10, next.size() - 11));
    EXPECT_EQ(gps_utc_text(), "1994/03/23 12:35:19");
    feed_text("\n");
    EXPECT_EQ(gps_utc_text(), "1994/03/23 12:35:20");
    // Empty lines and nothing at all.
    feed_text("\n\r\n\n");
    nmea_feed(nullptr, 5);
    nmea_feed("x", 0);
    nmea_feed("x", -1);
    EXPECT_EQ(gps_utc_text(), "1994/03/23 12:35:20");
}

// u-blox receivers put UBX frames (here with a "$" inside) and NMEA on one line.
TEST_F(NmeaFraming, SentenceAfterBinaryBytesOnTheSameLineIsDecoded) {
    const char* gga = "GNGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,";
    const std::string line = std::string("\xB5\x62\x01\x07\x24\x0D\xA3", 7) + nmea_with_checksum(gga);
    for (size_t split : {0, 3, 9}) {
        feed_text(line.substr(0, split));
        feed_text(line.substr(split));
        EXPECT_EQ(gps_last_message().substr(0, 10), "GNGGA,1235") << split;
        gps_set_last_message("");
    }
}

TEST_F(NmeaFraming, OverlongLineIsDroppedAndDecodingGoesOn) {
    feed_text(std::string(5000, 'x'));
    feed_text(nmea_with_checksum(example_rmc));
    EXPECT_EQ(gps_utc_text(), "1994/03/23 12:35:19");

    // The same with the junk ending in its own line feed, then a sentence.
    feed_text(std::string(5000, 'y') + "\n");
    feed_text(rmc("123520", "A", "4807.038,N", "01131.000,E", "230394"));
    EXPECT_EQ(gps_utc_text(), "1994/03/23 12:35:20");

    // Junk of many buffers, fed a byte at a time.
    std::string junk(3 * NMEA_LINE_BUFFER + 17, 'z');
    for (char c : junk) nmea_feed(&c, 1);
    feed_text(rmc("123521", "A", "4807.038,N", "01131.000,E", "230394"));
    EXPECT_EQ(gps_utc_text(), "1994/03/23 12:35:21");
}

TEST_F(NmeaFraming, LongestLineFitsAndOneMoreIsDropped) {
    // 4095 characters after nothing else: the longest line the buffer holds.
    std::string body = "GPTXT," + std::string(4095 - 1 - 6 - 3, 'a');
    std::string line = nmea_with_checksum(body, "\n");
    ASSERT_EQ(line.size(), 4096u);
    feed_text(line);
    EXPECT_EQ(gps_last_message(), body.substr(0, GPS_MESSAGE_TEXT - 1));

    gps_set_last_message("before");
    std::string longer = nmea_with_checksum(body + "b", "\n");
    feed_text(longer);
    EXPECT_EQ(gps_last_message(), "before");
    feed_text(nmea_with_checksum(example_rmc));
    EXPECT_EQ(gps_utc_text(), "1994/03/23 12:35:19");
}

TEST_F(NmeaFraming, FieldsAreCutAt99Characters) {
    std::string longField(150, '7');
    std::string sentence = "GPTXT,01," + longField + ",end*00";
    std::string field = nmea_field(sentence.c_str(), 2);
    EXPECT_EQ(field, longField.substr(0, NMEA_FIELD_BUFFER - 1));
    EXPECT_STREQ(nmea_field(sentence.c_str(), 0), "GPTXT");
    EXPECT_STREQ(nmea_field(sentence.c_str(), 3), "end");
    EXPECT_STREQ(nmea_field(sentence.c_str(), 4), "");
    EXPECT_STREQ(nmea_field(sentence.c_str(), 40), "");
    EXPECT_STREQ(nmea_field("GPRMC,,A\r", 2), "A");
    EXPECT_STREQ(nmea_field("", 0), "");
    // A latitude with 140 trailing zeros still reads as a number.
    feed_text(rmc("123519", "A", "4807.038" + std::string(140, '0') + ",N", "01131.000,E", "230394"));
    EXPECT_NEAR(gps_latitude(), 48.1173, 1e-9);
}

TEST_F(NmeaFraming, ChecksumWriterAppendsDigitsAndLineEnd) {
    char text[64] = "GPGLL,4916.45,N,12311.12,W,225444,A*";
    ASSERT_EQ(nmea_append_checksum(text, sizeof text), 1);
    std::string expected = nmea_with_checksum("GPGLL,4916.45,N,12311.12,W,225444,A").substr(1);
    EXPECT_EQ(std::string(text), expected);
    char noStar[16] = "GPGLL,1,2";
    EXPECT_EQ(nmea_append_checksum(noStar, sizeof noStar), 0);
    EXPECT_STREQ(noStar, "GPGLL,1,2");
    char tight[8] = "GPA,1*";  // needs 6 bytes after the text: no room
    EXPECT_EQ(nmea_append_checksum(tight, sizeof tight), 0);
}

// ---- TripMate handshake -------------------------------------------------------

class TripMateHandshake : public NmeaDecoderTest {
protected:
    std::string oldDir, tempDir;
    void SetUp() override {
        NmeaDecoderTest::SetUp();
        char cwd[4096];
        ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
        oldDir = cwd;
        char pattern[] = "/tmp/kiv_tripmate_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        tempDir = pattern;
        ASSERT_EQ(chdir(tempDir.c_str()), 0);
    }
    void TearDown() override {
        std::remove((tempDir + "/kiv_pos.txt").c_str());
        EXPECT_EQ(chdir(oldDir.c_str()), 0);
        rmdir(tempDir.c_str());
        NmeaDecoderTest::TearDown();
    }
    void write_positions(const std::string& text) { std::ofstream(tempDir + "/kiv_pos.txt") << text; }
};

const char* const astral_answer = "$IIGPQ,ASTRAL*73\r\n";

TEST_F(TripMateHandshake, EverySecondAstralSendsTheInitialisation) {
    write_positions("N  48 07 02\nE  11 31 00\n");
    feed_text("ASTRAL\r\n");
    ASSERT_EQ(sent.writes.size(), 1u);
    EXPECT_EQ(sent.writes[0], astral_answer);
    std::time_t before = std::time(nullptr);
    feed_text("ASTRAL\r\n");
    std::time_t after = std::time(nullptr);
    ASSERT_EQ(sent.writes.size(), 3u);
    EXPECT_EQ(sent.writes[1], astral_answer);

    const std::string& init = sent.writes[2];
    std::smatch m;
    ASSERT_TRUE(std::regex_match(init, m,
                                 std::regex(R"(\$PRWIINIT,V,,, 48 07 02,N, 11 31 00,E,100\.0,0\.0,M,0\.0,T,)"
                                            R"((\d{6}),(\d{6})\*([0-9A-F]{2})\r\n)")))
        << init;
    EXPECT_EQ(nmea_with_checksum(init.substr(1, init.size() - 6)), init);
    // Time and date come from the computer's UTC clock.
    bool matched = false;
    for (std::time_t t : {before, after}) {
        std::tm utc{};
        gmtime_r(&t, &utc);
        char date[40];
        std::snprintf(date, sizeof date, "%02d%02d%02d", utc.tm_mday, utc.tm_mon + 1, utc.tm_year % 100);
        if (m[2] == date) matched = true;
    }
    EXPECT_TRUE(matched) << m[2];

    // Third greeting: answered only; the fourth sends the initialisation again.
    feed_text("ASTRAL\r\n");
    EXPECT_EQ(sent.writes.size(), 4u);
    feed_text("ASTRAL and more\n");
    ASSERT_EQ(sent.writes.size(), 6u);
    EXPECT_EQ(sent.writes[5].substr(0, 10), "$PRWIINIT,");
}

TEST_F(TripMateHandshake, NothingIsSentWithoutTwoUsableLines) {
    feed_text("ASTRAL\nASTRAL\n");  // no kiv_pos.txt
    EXPECT_EQ(sent.writes.size(), 2u);
    write_positions("N  48 07 02\nE\n");
    feed_text("ASTRAL\nASTRAL\n");
    EXPECT_EQ(sent.writes.size(), 4u);
    write_positions("N  48 07 02\n");
    feed_text("ASTRAL\nASTRAL\n");
    EXPECT_EQ(sent.writes.size(), 6u);
}

TEST_F(TripMateHandshake, LastLineWithoutLineEndKeepsItsDigits) {
    write_positions("S  33 52 10\r\nW  70 40 05");
    feed_text("ASTRAL\nASTRAL\n");
    ASSERT_EQ(sent.writes.size(), 3u);
    EXPECT_EQ(sent.writes[2].substr(0, 42), "$PRWIINIT,V,,, 33 52 10,S, 70 40 05,W,100.");
}

TEST_F(TripMateHandshake, OtherLinesAreNotAnswered) {
    write_positions("N  48 07 02\nE  11 31 00\n");
    feed_text("astral\n ASTRAL\nASTRA\n$ASTRAL\n");
    EXPECT_TRUE(sent.writes.empty());
}

// ---- chunking ------------------------------------------------------------------

struct FixSnapshot {
    std::string utc, local, last;
    double lat, lon, alt, speed, course;
    int mode, inView;
    int prn[12], snr[12];
    bool operator==(const FixSnapshot& o) const {
        return utc == o.utc && local == o.local && last == o.last && lat == o.lat && lon == o.lon &&
               alt == o.alt && speed == o.speed && course == o.course && mode == o.mode && inView == o.inView &&
               std::memcmp(prn, o.prn, sizeof prn) == 0 && std::memcmp(snr, o.snr, sizeof snr) == 0;
    }
};

FixSnapshot feed_in_chunks(const std::string& stream, int chunk) {
    gps_reset();
    nmea_reset();
    for (size_t at = 0; at < stream.size(); at += chunk)
        nmea_feed(stream.data() + at, static_cast<int>(std::min<size_t>(chunk, stream.size() - at)));
    FixSnapshot s{gps_utc_text(), gps_local_text(), gps_last_message(), gps_latitude(), gps_longitude(),
                  gps_altitude(), gps_speed_knots(), gps_course(), gps_fix_mode(), gps_satellites_in_view(), {}, {}};
    for (int i = 0; i < 12; ++i) s.prn[i] = gps_sat_prn(i), s.snr[i] = gps_sat_snr(i);
    return s;
}

void expect_same_in_all_chunk_sizes(const std::string& stream) {
    FixSnapshot whole = feed_in_chunks(stream, static_cast<int>(stream.size()));
    for (int chunk : {1, 7, 80}) EXPECT_TRUE(feed_in_chunks(stream, chunk) == whole) << "chunk " << chunk;
}

using NmeaChunking = NmeaDecoderTest;

TEST_F(NmeaChunking, SyntheticStreamDecodesAlikeInAnyChunkSize) {
    std::string stream = std::string(4500, '#') + "\n" + gsv(2, 1, "6", 3, 4) + gsv(2, 2, "6", 7, 2, "") +
                         nmea_with_checksum("GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,") +
                         nmea_with_checksum(example_rmc, "\n") + "garbage\r\r\n" +
                         rmc("123520", "A", "4807.039,N", "01131.001,W", "230394") +
                         nmea_with_checksum("GPGSA,A,3,04,05,,09,12,,,24,,,,,2.5,1.3,2.1") + "$GPRMC,trunc";
    FixSnapshot whole = feed_in_chunks(stream, static_cast<int>(stream.size()));
    EXPECT_EQ(whole.utc, "1994/03/23 12:35:20");
    EXPECT_EQ(whole.mode, 3);
    EXPECT_DOUBLE_EQ(whole.alt, 545.4);
    EXPECT_EQ(whole.prn[5], 8);
    expect_same_in_all_chunk_sizes(stream);
}

TEST_F(NmeaChunking, CaptureDecodesAlikeInAnyChunkSize) {
    std::ifstream in(std::string(KIV_TESTDATA_DIR) + "/receivers/telit-he910.bin", std::ios::binary);
    if (!in) GTEST_SKIP() << "receiver captures not present";
    std::stringstream all;
    all << in.rdbuf();
    FixSnapshot whole = feed_in_chunks(all.str(), static_cast<int>(all.str().size()));
    EXPECT_EQ(whole.utc, "2019/03/12 10:54:59");
    expect_same_in_all_chunk_sizes(all.str());
}

}  // namespace
