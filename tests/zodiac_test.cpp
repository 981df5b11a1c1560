#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/headless.h"
#include "settings/app_settings.h"
#include "position/gps_fix.h"
#include "position/receiver_feed.h"
#include "position/receiver_io.h"
#include "position/zodiac.h"

namespace {

const double kPi = 3.14159265358979323846;

// Wire bytes of one frame, built independently of the decoder's sender.
std::string frame(int id, const std::vector<uint16_t>& data, bool goodData = true, bool goodHeader = true) {
    std::vector<uint16_t> words = {0x81FF, static_cast<uint16_t>(id), static_cast<uint16_t>(data.size()), 0};
    uint16_t sum = 0;
    for (uint16_t w : words) sum = static_cast<uint16_t>(sum + w);
    words.push_back(static_cast<uint16_t>(-sum + (goodHeader ? 0 : 1)));
    sum = 0;
    for (uint16_t w : data) {
        words.push_back(w);
        sum = static_cast<uint16_t>(sum + w);
    }
    words.push_back(static_cast<uint16_t>(-sum + (goodData ? 0 : 1)));
    std::string out;
    for (uint16_t w : words) {
        out.push_back(static_cast<char>(w & 0xFF));
        out.push_back(static_cast<char>(w >> 8));
    }
    return out;
}

void put32(std::vector<uint16_t>& d, int w, int32_t v) {
    d[w] = static_cast<uint16_t>(static_cast<uint32_t>(v) & 0xFFFF);
    d[w + 1] = static_cast<uint16_t>(static_cast<uint32_t>(v) >> 16);
}

std::vector<uint16_t> message_1000(int validity, int32_t lat, int32_t lon, int32_t heightCm, int32_t speedCms) {
    std::vector<uint16_t> d(49, 0);
    d[4] = static_cast<uint16_t>(validity);
    d[13] = 31;
    d[14] = 12;
    d[15] = 2006;
    d[16] = 23;
    d[17] = 30;
    d[18] = 5;
    put32(d, 21, lat);
    put32(d, 23, lon);
    put32(d, 25, heightCm);
    put32(d, 28, speedCms);
    return d;
}

// Satellites as (prn, azimuth, elevation) in 1e-4 radian.
std::vector<uint16_t> message_1003(int inView, int listed) {
    std::vector<uint16_t> d(9 + 3 * 12, 0);
    d[8] = static_cast<uint16_t>(inView);
    for (int i = 0; i < listed; ++i) {
        d[9 + 3 * i] = static_cast<uint16_t>(i + 1);
        d[10 + 3 * i] = static_cast<uint16_t>(7854 * (i % 8));  // about 45 degrees steps
        d[11 + 3 * i] = 5236;                                   // about 30 degrees
    }
    return d;
}

std::string written;
int capture(const char* bytes, int count, void*) {
    written.append(bytes, static_cast<size_t>(count));
    return 1;
}

void feed(const std::string& s) { zodiac_feed(s.data(), static_cast<int>(s.size())); }

void feed_in_chunks(const std::string& s, size_t chunk) {
    for (size_t i = 0; i < s.size(); i += chunk)
        zodiac_feed(s.data() + i, static_cast<int>(std::min(chunk, s.size() - i)));
}

uint16_t word_at(const std::string& s, size_t byte) {
    return static_cast<uint16_t>(static_cast<unsigned char>(s[byte]) | (static_cast<unsigned char>(s[byte + 1]) << 8));
}

// A 1200 frame as the receiver would read it.
struct Sent1200 {
    bool ok = false;
    std::vector<uint16_t> data;
    int32_t latitude = 0, longitude = 0;
};

Sent1200 parse_1200(const std::string& s) {
    Sent1200 r;
    if (s.size() != 10 + 44) return r;
    uint16_t sum = 0;
    for (int i = 0; i < 5; ++i) sum = static_cast<uint16_t>(sum + word_at(s, 2 * i));
    if (word_at(s, 0) != 0x81FF || word_at(s, 2) != 1200 || word_at(s, 4) != 21 || sum != 0) return r;
    sum = 0;
    for (int i = 0; i < 22; ++i) {
        r.data.push_back(word_at(s, 10 + 2 * i));
        sum = static_cast<uint16_t>(sum + r.data.back());
    }
    if (sum != 0) return r;
    r.latitude = static_cast<int32_t>(r.data[11] | (static_cast<uint32_t>(r.data[12]) << 16));
    r.longitude = static_cast<int32_t>(r.data[13] | (static_cast<uint32_t>(r.data[14]) << 16));
    r.ok = true;
    return r;
}

// Every test runs in its own empty working directory with a captured
// receiver and a fixed clock.
class Zodiac : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/kiv_zodiac_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
        old = std::filesystem::current_path();
        std::filesystem::current_path(dir);
        headless_install();
        headless_set_clock(1167607800);  // 2006-12-31 23:30:00 UTC
        gps_reset();
        zodiac_reset();
        written.clear();
        receiver_set_write_hook(capture, nullptr);
    }
    void TearDown() override {
        receiver_set_write_hook(nullptr, nullptr);
        headless_set_clock(-1);
        std::filesystem::current_path(old);
        std::filesystem::remove_all(dir);
    }
    void write_positions(const char* text) { std::ofstream("kiv_pos.txt") << text; }
    std::filesystem::path dir, old;
};

TEST_F(Zodiac, GreetingAndOneFrameSendOneReplyAndOneInitialisation) {
    write_positions("N  45 25 00\nW  75 42 00\n");
    feed("EARTHA" + frame(1010, {1, 2, 3}));
    ASSERT_GE(written.size(), 8u);
    EXPECT_EQ(written.substr(0, 8), "EARTHA\r\n");
    Sent1200 init = parse_1200(written.substr(8));
    ASSERT_TRUE(init.ok) << written.size() << " bytes written";
    EXPECT_EQ(init.latitude, 79267036);
    EXPECT_EQ(init.longitude, -132121424);
    EXPECT_EQ(init.data[0], 1);  // first sequence number
    EXPECT_EQ(init.data[1], 12);
    EXPECT_EQ(init.data[5], 31);  // day, month, year, hours, minutes, seconds UTC
    EXPECT_EQ(init.data[6], 12);
    EXPECT_EQ(init.data[7], 2006);
    EXPECT_EQ(init.data[8], 23);
    EXPECT_EQ(init.data[9], 30);
    EXPECT_EQ(init.data[10], 0);
    for (int w : {2, 3, 4, 15, 16, 17, 18, 19, 20}) EXPECT_EQ(init.data[w], 0) << "word " << w;

    size_t before = written.size();
    feed(frame(1000, message_1000(0, 1, 1, 0, 0)));
    EXPECT_EQ(written.size(), before) << "a further frame sends nothing";

    // The next greeting initialises again, with the next sequence number.
    written.clear();
    feed("xxEARTHAyy");
    EXPECT_EQ(written, "EARTHA\r\n");
    feed(frame(1002, std::vector<uint16_t>(45, 0)));
    Sent1200 again = parse_1200(written.substr(8));
    ASSERT_TRUE(again.ok);
    EXPECT_EQ(again.data[0], 2);
}

TEST_F(Zodiac, InitialisationHemispheresAndMissingFile) {
    write_positions("S  33 52 10\nE 151 12 30\n");
    feed("EARTHA");
    feed(frame(1010, {}));
    Sent1200 init = parse_1200(written.substr(8));
    ASSERT_TRUE(init.ok);
    EXPECT_EQ(init.latitude, -static_cast<int32_t>((33 + 52 / 60.0 + 10 / 3600.0) * 1e8 * kPi / 180.0));
    EXPECT_EQ(init.longitude, static_cast<int32_t>((151 + 12 / 60.0 + 30 / 3600.0) * 1e8 * kPi / 180.0));

    // Without the file, or with a line under 4 characters, only the reply goes out.
    std::filesystem::remove("kiv_pos.txt");
    written.clear();
    feed("EARTHA" + frame(1010, {}));
    EXPECT_EQ(written, "EARTHA\r\n");
    write_positions("N  45 25 00\nW \n");
    written.clear();
    feed("EARTHA" + frame(1010, {}));
    EXPECT_EQ(written, "EARTHA\r\n");
    // A line without the seconds reads what is there.
    write_positions("N  45 25\nW  75 42 00\n");
    written.clear();
    feed("EARTHA" + frame(1010, {}));
    init = parse_1200(written.substr(8));
    ASSERT_TRUE(init.ok);
    EXPECT_EQ(init.latitude, static_cast<int32_t>((45 + 25 / 60.0) * 1e8 * kPi / 180.0));
}

TEST_F(Zodiac, LastPositionLineWithoutLineFeedKeepsItsSeconds) {
    write_positions("N  45 25 00\nW  75 42 35");
    feed("EARTHA" + frame(1010, {}));
    Sent1200 init = parse_1200(written.substr(8));
    ASSERT_TRUE(init.ok);
    EXPECT_EQ(init.longitude, -static_cast<int32_t>((75 + 42 / 60.0 + 35 / 3600.0) * 1e8 * kPi / 180.0));
}

TEST_F(Zodiac, GreetingSplitAcrossReadsIsAnswered) {
    write_positions("N  45 25 00\nW  75 42 00\n");
    feed("junkEAR");
    EXPECT_EQ(written, "");
    feed("THA");
    EXPECT_EQ(written, "EARTHA\r\n");
    // Two greetings in one read are answered once; a near miss not at all.
    written.clear();
    feed("EARTHAEARTHA");
    EXPECT_EQ(written, "EARTHA\r\n");
    written.clear();
    feed("EARTHEARTH");
    EXPECT_EQ(written, "");
}

TEST_F(Zodiac, GeodeticPositionStatus) {
    int32_t lat = static_cast<int32_t>(52.062625946 * kPi / 180.0 * 1e8);
    int32_t lon = static_cast<int32_t>(-75.7 * kPi / 180.0 * 1e8);
    gps_set_zone(1);
    feed(frame(1000, message_1000(0, lat, lon, -1234, 1000)));
    EXPECT_EQ(gps_fix_mode(), 3);
    EXPECT_NEAR(gps_latitude(), 52.062625946, 6e-7);  // 1e-8 radian steps
    EXPECT_NEAR(gps_latitude(), lat * 1e-8 * 180.0 / kPi, 1e-12);
    EXPECT_NEAR(gps_longitude(), -75.7, 6e-7);
    EXPECT_NEAR(gps_longitude(), lon * 1e-8 * 180.0 / kPi, 1e-12);
    EXPECT_DOUBLE_EQ(gps_altitude(), -12.34);
    EXPECT_DOUBLE_EQ(gps_speed_knots(), 10.0 * 1.94387);
    EXPECT_EQ(gps_utc_text(), "2006/12/31 23:30:05");
    EXPECT_EQ(gps_local_text(), "2007/01/01 00:30:05");
    EXPECT_EQ(gps_last_message(), "Rockwell 1000 - Geodetic Position Status Output");

    struct { int validity, mode; } cases[] = {{0x0001, 2}, {0x0004, 0}, {0x0008, 0}, {0x0010, 0},
                                               {0x0000, 3}, {0x0003, 2}, {0x0020, 3}, {0x0005, 0}};
    for (auto c : cases) {
        feed(frame(1000, message_1000(c.validity, lat, lon, 0, 0)));
        EXPECT_EQ(gps_fix_mode(), c.mode) << "validity " << c.validity;
    }
}

TEST_F(Zodiac, WrongChecksumsChangeNothingButStillInitialise) {
    feed(frame(1003, message_1003(3, 3)));
    std::string before = gps_last_message();
    feed(frame(1000, message_1000(0, 100000000, 100000000, 0, 0), /*goodData=*/false));
    EXPECT_EQ(gps_last_message(), before);
    EXPECT_EQ(gps_fix_mode(), 0);
    EXPECT_EQ(gps_latitude(), 0.0);

    // A bad header drops the frame; the next good frame still decodes.
    feed(frame(1000, message_1000(0, 100000000, 0, 0, 0), true, /*goodHeader=*/false) +
         frame(1010, {7}));
    EXPECT_EQ(gps_fix_mode(), 0);
    EXPECT_EQ(gps_last_message(), "Rockwell 1010 - other Zodiac message");

    write_positions("N  45 25 00\nW  75 42 00\n");
    feed("EARTHA" + frame(1002, std::vector<uint16_t>(45, 0), /*goodData=*/false));
    EXPECT_EQ(gps_last_message(), "Rockwell 1010 - other Zodiac message");
    EXPECT_TRUE(parse_1200(written.substr(8)).ok) << "pending initialisation sent after a bad frame";
}

TEST_F(Zodiac, VisibleSatellitesAndChannelSummary) {
    feed(frame(1003, message_1003(14, 12)));
    EXPECT_EQ(gps_satellites_in_view(), 14);
    EXPECT_EQ(gps_last_message(), "Rockwell 1003 - Visible Satellites");
    for (int i = 0; i < 12; ++i) {
        EXPECT_EQ(gps_sat_prn(i), i + 1);
        EXPECT_EQ(gps_sat_azimuth(i), static_cast<int>(7854 * (i % 8) * 180.0 / (kPi * 1e4)));
        EXPECT_EQ(gps_sat_elevation(i), 30);
    }
    EXPECT_EQ(gps_sat_azimuth(1), 45);
    EXPECT_EQ(gps_sat_azimuth(7), 315);

    // Channel summary: channel k tracks PRN 12 - k; odd channels are used.
    std::vector<uint16_t> d(45, 0);
    for (int k = 0; k < 12; ++k) {
        d[9 + 3 * k] = static_cast<uint16_t>(k % 2 ? 0x0003 : 0x0002);
        d[10 + 3 * k] = static_cast<uint16_t>(12 - k);
        d[11 + 3 * k] = static_cast<uint16_t>(30 + k);
    }
    d[10 + 3 * 11] = 99;  // a satellite not in the table changes nothing
    feed(frame(1002, d));
    EXPECT_EQ(gps_last_message(), "Rockwell 1002 - Channel Summary");
    for (int k = 0; k < 11; ++k) {
        int entry = 12 - k - 1;
        EXPECT_EQ(gps_sat_used(entry), k % 2) << "channel " << k;
        EXPECT_EQ(gps_sat_snr(entry), 30 + k) << "channel " << k;
    }
    EXPECT_EQ(gps_sat_snr(0), 0);

    // Five satellites clear entries 5 to 11 but leave SNR and use to 1002.
    feed(frame(1003, message_1003(5, 5)));
    EXPECT_EQ(gps_satellites_in_view(), 5);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(gps_sat_prn(i), i + 1);
    for (int i = 5; i < 12; ++i) {
        EXPECT_EQ(gps_sat_prn(i), 0) << i;
        EXPECT_EQ(gps_sat_azimuth(i), 0) << i;
        EXPECT_EQ(gps_sat_elevation(i), 0) << i;
    }
    EXPECT_EQ(gps_sat_snr(6), 35);
}

TEST_F(Zodiac, MessageNamesAndOtherIdentifiers) {
    feed(frame(1010, {1, 2}));
    EXPECT_EQ(gps_last_message(), "Rockwell 1010 - other Zodiac message");
    feed(frame(1001, std::vector<uint16_t>(40, 0)));
    EXPECT_EQ(gps_last_message(), "Rockwell 1001 - ECEF Position Status Output");
    feed(frame(1108, std::vector<uint16_t>(14, 0)));
    EXPECT_EQ(gps_last_message(), "Rockwell 1108 - other Zodiac message");
    feed(frame(0, {}));  // N = 0 still takes its checksum word
    EXPECT_EQ(gps_last_message(), "Rockwell 0 - other Zodiac message");
    EXPECT_EQ(zodiac_frame_count(), 4);
}

TEST_F(Zodiac, DifferentialStatusIsPrinted) {
    std::vector<uint16_t> d = {0, 0, 0, 0x0003, 77, 12, 2, 0x1041, 0x0EFF, 0x0123};
    testing::internal::CaptureStdout();
    feed(frame(1005, d));
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out,
              "Station bad: 1\nUser disabled: 1\nStation ID: 77\nAge of last correction in seconds: 12\n"
              "Number of corrections: 2\n"
              "Sat01:ephemeris:1rtcm corrections:0rtcm udre:0sat health:0rtcm sat health:0"
              "corrections state:0iode mismatch:1"
              "Sat63:ephemeris:1rtcm corrections:1rtcm udre:0sat health:1rtcm sat health:1"
              "corrections state:1iode mismatch:0");
    EXPECT_EQ(gps_last_message(), "Rockwell 1005 - other Zodiac message");

    // More corrections announced than present: only those present are printed.
    d = {0, 0, 0, 0, 1, 2, 40, 0x0005};
    testing::internal::CaptureStdout();
    feed(frame(1005, d));
    out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("Number of corrections: 40\nSat05:"), std::string::npos) << out;
    EXPECT_EQ(out.find("Sat00"), std::string::npos) << out;
}

TEST_F(Zodiac, MessagesShorterThanTheirFieldsAreNotDecoded) {
    feed(frame(1003, message_1003(12, 12)));
    feed(frame(1000, std::vector<uint16_t>(20, 0x1234)));
    EXPECT_EQ(gps_last_message(), "Rockwell 1000 - Geodetic Position Status Output");
    EXPECT_EQ(gps_fix_mode(), 0);
    EXPECT_EQ(gps_utc_text(), "");
    std::vector<uint16_t> d(9 + 3 * 4, 0);
    d[8] = 12;  // claims twelve, carries four
    feed(frame(1003, d));
    EXPECT_EQ(gps_satellites_in_view(), 12);
    EXPECT_EQ(gps_sat_prn(11), 12);
    feed(frame(1002, std::vector<uint16_t>(20, 1)));
    EXPECT_EQ(gps_sat_used(0), 0);
}

TEST_F(Zodiac, OversizedHeaderIsDroppedAndHuntingResumes) {
    // Valid header checksums announcing more words than the buffer holds.
    for (int n : {2048, 5000, 65535}) {
        uint16_t words[5] = {0x81FF, 1000, static_cast<uint16_t>(n), 0, 0};
        uint16_t sum = 0;
        for (int i = 0; i < 4; ++i) sum = static_cast<uint16_t>(sum + words[i]);
        words[4] = static_cast<uint16_t>(-sum);
        std::string header;
        for (uint16_t w : words) {
            header.push_back(static_cast<char>(w & 0xFF));
            header.push_back(static_cast<char>(w >> 8));
        }
        gps_set_last_message("");
        feed(header + std::string(300, '\x55') + frame(1010, {static_cast<uint16_t>(n & 0xFF)}));
        EXPECT_EQ(gps_last_message(), "Rockwell 1010 - other Zodiac message") << "N = " << n;
    }
    // The largest frame that fits is decoded.
    feed(frame(1010, std::vector<uint16_t>(ZODIAC_MAX_DATA_WORDS - 1, 0xFFFF)));
    feed(frame(1003, message_1003(1, 1)));
    EXPECT_EQ(gps_satellites_in_view(), 1);
    EXPECT_EQ(zodiac_frame_count(), 5);
}

TEST_F(Zodiac, SyncWaitsForItsSecondByte) {
    // After 0xFF, anything but 0x81 keeps waiting; noise before 0xFF is ignored.
    std::string f = frame(1010, {});
    feed(std::string("\x81\x00\x12", 3) + "\xff" + std::string("\x00\x42", 2) + f.substr(1));
    EXPECT_EQ(gps_last_message(), "Rockwell 1010 - other Zodiac message");
}

std::string mixed_stream() {
    std::string s = "EARTHA";
    s += frame(1003, message_1003(9, 9));
    s += std::string("\xff\x13\x00", 3);
    s += frame(1000, message_1000(1, 90000000, -130000000, 5000, 250));
    s += "noise EARTHA more";
    s += frame(1002, std::vector<uint16_t>(45, 3), false);
    s += frame(1005, {0, 0, 0, 1, 2, 3, 0});
    s += frame(1000, message_1000(0, 91000000, -131000000, 5100, 300));
    return s;
}

TEST_F(Zodiac, SameResultWhateverTheReadSizes) {
    write_positions("N  45 25 00\nW  75 42 00\n");
    std::string stream = mixed_stream();
    std::string reference_writes;
    double lat = 0, lon = 0;
    std::string last, utc;
    testing::internal::CaptureStdout();
    // Byte by byte first; the two greetings are further apart than any read.
    for (size_t chunk : {size_t(1), size_t(80), size_t(2), size_t(3), size_t(7), size_t(64)}) {
        gps_reset();
        zodiac_reset();
        written.clear();
        feed_in_chunks(stream, chunk);
        EXPECT_EQ(zodiac_frame_count(), 5) << "chunk " << chunk;
        if (chunk == 1) {
            reference_writes = written;
            lat = gps_latitude();
            lon = gps_longitude();
            last = gps_last_message();
            utc = gps_utc_text();
            continue;
        }
        EXPECT_EQ(written, reference_writes) << "chunk " << chunk;
        EXPECT_EQ(gps_latitude(), lat) << "chunk " << chunk;
        EXPECT_EQ(gps_longitude(), lon) << "chunk " << chunk;
        EXPECT_EQ(gps_last_message(), last) << "chunk " << chunk;
        EXPECT_EQ(gps_utc_text(), utc) << "chunk " << chunk;
    }
    testing::internal::GetCapturedStdout();
    // Two greetings, each answered and followed by one initialisation.
    EXPECT_EQ(reference_writes.size(), 2u * (8 + 54));
    EXPECT_EQ(last, "Rockwell 1000 - Geodetic Position Status Output");
    EXPECT_NEAR(lat, 91000000 * 1e-8 * 180 / kPi, 1e-12);
}

TEST_F(Zodiac, ReaderHandsEarthMateBytesToThisDecoder) {
    std::string f = frame(1010, {1});
    for (int device : {int(DEVICE_NMEA), int(DEVICE_GARMIN), int(DEVICE_REMOTE), 0, 99})
        receiver_feed(device, f.data(), static_cast<int>(f.size()));
    EXPECT_EQ(zodiac_frame_count(), 0);
    receiver_feed(DEVICE_EARTHMATE, f.data(), static_cast<int>(f.size()));
    EXPECT_EQ(zodiac_frame_count(), 1);
    EXPECT_EQ(gps_last_message(), "Rockwell 1010 - other Zodiac message");
}

// --- Real receiver capture (gpsd regression log of a Rockwell Jupiter) ---

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::vector<std::vector<std::string>> read_tsv(const std::string& path) {
    std::vector<std::vector<std::string>> rows;
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);  // column names
    while (std::getline(in, line)) {
        std::vector<std::string> cells;
        std::stringstream ls(line);
        std::string cell;
        while (std::getline(ls, cell, '\t')) cells.push_back(cell);
        rows.push_back(cells);
    }
    return rows;
}

double seconds_of_day(const std::string& hhmmss, double fraction) {
    return std::stoi(hhmmss.substr(0, 2)) * 3600 + std::stoi(hhmmss.substr(3, 2)) * 60 +
           std::stoi(hhmmss.substr(6, 2)) + fraction;
}

TEST_F(Zodiac, RealCaptureMatchesGpsd) {
    std::string dir = std::string(KIV_TESTDATA_DIR) + "/receivers";
    if (!std::filesystem::exists(dir + "/zodiac.bin")) GTEST_SKIP() << "no receiver captures in " << dir;
    std::string bytes = read_file(dir + "/zodiac.bin");
    auto expected = read_tsv(dir + "/zodiac.expected.tsv");
    ASSERT_EQ(expected.size(), 21u);

    struct Seen {
        double lat, lon, alt;
        int mode;
        std::string utc;
        double nanoseconds;
    };
    std::vector<Seen> seen;
    long frames = 0;
    for (size_t i = 0; i < bytes.size(); ++i) {
        zodiac_feed(bytes.data() + i, 1);
        if (zodiac_frame_count() == frames) continue;
        frames = zodiac_frame_count();
        if (gps_last_message() != "Rockwell 1000 - Geodetic Position Status Output") continue;
        // The frame just ended: 5 header words and 50 data words; the receiver's
        // sub-second part (nanoseconds) is data words 19-20, which gpsd adds.
        size_t start = i + 1 - 110;
        uint32_t ns = word_at(bytes, start + 10 + 38) | (static_cast<uint32_t>(word_at(bytes, start + 10 + 40)) << 16);
        seen.push_back({gps_latitude(), gps_longitude(), gps_altitude(), gps_fix_mode(), gps_utc_text(), ns / 1e9});
    }
    EXPECT_EQ(frames, 63);
    ASSERT_EQ(seen.size(), expected.size());
    for (size_t k = 0; k < seen.size(); ++k) {
        const auto& e = expected[k];
        EXPECT_NEAR(seen[k].lat, std::stod(e[5]), 1e-6) << "row " << k + 1;
        EXPECT_NEAR(seen[k].lon, std::stod(e[6]), 1e-6) << "row " << k + 1;
        EXPECT_NEAR(seen[k].alt, std::stod(e[10]), 0.005) << "row " << k + 1;  // height above the ellipsoid
        EXPECT_EQ(seen[k].mode, std::stoi(e[4])) << "row " << k + 1;
        // Same date; whole seconds plus the receiver's fraction give gpsd's time.
        std::string date = e[3].substr(0, 10);
        std::replace(date.begin(), date.end(), '-', '/');
        EXPECT_EQ(seen[k].utc.substr(0, 10), date) << "row " << k + 1;
        double ours = seconds_of_day(seen[k].utc.substr(11, 8), seen[k].nanoseconds);
        double theirs = seconds_of_day(e[3].substr(11, 8), std::stod(e[3].substr(19, 4)));
        EXPECT_NEAR(ours, theirs, 0.001) << "row " << k + 1 << " " << seen[k].utc << " vs " << e[3];
    }

    // Read sizes do not matter.
    for (size_t chunk : {size_t(80), bytes.size()}) {
        gps_reset();
        zodiac_reset();
        feed_in_chunks(bytes, chunk);
        EXPECT_EQ(zodiac_frame_count(), 63);
        EXPECT_NEAR(gps_latitude(), seen.back().lat, 0.0);
        EXPECT_EQ(gps_utc_text(), seen.back().utc);
    }
}

}  // namespace
