#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/headless.h"
#include "settings/app_settings.h"
#include "position/garmin.h"
#include "position/gps_fix.h"
#include "position/receiver_feed.h"
#include "position/receiver_io.h"

namespace {

const double kPi = 3.14159265358979323846;

using Bytes = std::vector<unsigned char>;

// Wire frame built by the test itself: DLE, id, size, data, checksum, DLE ETX,
// every 0x10 among id, size, data and checksum doubled.
std::string wire(int id, const Bytes& data) {
    Bytes body = {static_cast<unsigned char>(id), static_cast<unsigned char>(data.size())};
    body.insert(body.end(), data.begin(), data.end());
    unsigned sum = 0;
    for (unsigned char b : body) sum += b;
    body.push_back(static_cast<unsigned char>(-sum));
    std::string out = "\x10";
    for (unsigned char b : body) {
        out.push_back(static_cast<char>(b));
        if (b == 0x10) out.push_back(static_cast<char>(b));
    }
    out += "\x10\x03";
    return out;
}

Bytes double_bytes(double v) {
    uint64_t bits;
    std::memcpy(&bits, &v, 8);
    Bytes out;
    for (int i = 0; i < 8; ++i) out.push_back(static_cast<unsigned char>(bits >> (8 * i)));
    return out;
}

double from_bits(uint64_t bits) {
    double v;
    std::memcpy(&v, &bits, 8);
    return v;
}

uint64_t bits_of(double v) {
    uint64_t bits;
    std::memcpy(&bits, &v, 8);
    return bits;
}

std::string position_packet(double latRad, double lonRad) {
    Bytes d = double_bytes(latRad);
    Bytes lon = double_bytes(lonRad);
    d.insert(d.end(), lon.begin(), lon.end());
    return wire(17, d);
}

std::string time_packet(int month, int day, int year, int hour, int minute, int second) {
    return wire(14, {static_cast<unsigned char>(month), static_cast<unsigned char>(day),
                     static_cast<unsigned char>(year & 0xFF), static_cast<unsigned char>(year >> 8),
                     static_cast<unsigned char>(hour & 0xFF), static_cast<unsigned char>((hour >> 8) & 0xFF),
                     static_cast<unsigned char>(minute), static_cast<unsigned char>(second)});
}

std::string written;
int capture(const char* bytes, int count, void*) {
    written.append(bytes, static_cast<size_t>(count));
    return 1;
}

void feed(const std::string& s) { garmin_feed(s.data(), static_cast<int>(s.size())); }

void feed_in_chunks(const std::string& s, size_t chunk) {
    for (size_t i = 0; i < s.size(); i += chunk)
        garmin_feed(s.data() + i, static_cast<int>(std::min(chunk, s.size() - i)));
}

std::string hex(const std::string& s) {
    std::string out;
    char b[4];
    for (unsigned char c : s) {
        std::snprintf(b, sizeof b, "%02X ", c);
        out += b;
    }
    if (!out.empty()) out.pop_back();
    return out;
}

class Garmin : public ::testing::Test {
protected:
    void SetUp() override {
        headless_install();
        gps_reset();
        garmin_reset();
        written.clear();
        receiver_set_write_hook(capture, nullptr);
    }
    void TearDown() override { receiver_set_write_hook(nullptr, nullptr); }
};

TEST_F(Garmin, RequestsAreFramedExactly) {
    garmin_request_position();
    EXPECT_EQ(hex(written), "10 0A 02 02 00 F2 10 03");
    written.clear();
    garmin_request_time();
    EXPECT_EQ(hex(written), "10 0A 02 05 00 EF 10 03");

    // DLE in the data and as the checksum is doubled.
    written.clear();
    const unsigned char payload[] = {0x10, 0x02, 0x10, 0xCE};  // sum 0xF0: checksum 0x10
    garmin_send(payload, 4);
    EXPECT_EQ(hex(written), "10 10 10 02 10 10 CE 10 10 10 03");
    EXPECT_EQ(written, wire(0x10, {0x10, 0xCE}));

    // A packet whose framing cannot fit the output buffer is not sent.
    written.clear();
    std::vector<unsigned char> huge(4000, 0x10);
    EXPECT_EQ(garmin_send(huge.data(), static_cast<int>(huge.size())), 0);
    EXPECT_EQ(written, "");
}

TEST_F(Garmin, PositionPacket) {
    feed(position_packet(0.7853981633974483, -1.3089969389957472));
    EXPECT_NEAR(gps_latitude(), 45.0, 1e-12);
    EXPECT_NEAR(gps_longitude(), -75.0, 1e-12);
    EXPECT_EQ(gps_fix_mode(), 3);
    EXPECT_EQ(garmin_frame_count(), 1);
}

TEST_F(Garmin, PositionPacketWithNanOrInfinityIsNoPosition) {
    for (double bad : {std::nan(""), HUGE_VAL}) {
        gps_reset();
        feed(position_packet(bad, -1.3089969389957472));
        EXPECT_EQ(gps_fix_mode(), 3);
        EXPECT_EQ(gps_has_position(), 0) << bad;
    }
}

TEST_F(Garmin, StuffedBytesInsideDoublesDecodeExactly) {
    // Latitude with a 0x10 byte; longitude with the data bytes 0x10 0x03 in a
    // row, which must not end the frame.
    uint64_t latBits = (bits_of(0.7853981633974483) & ~0xFFull) | 0x10;
    uint64_t lonBits = (bits_of(-1.3089969389957472) & ~0xFFFF00ull) | 0x031000ull;
    double lat = from_bits(latBits), lon = from_bits(lonBits);
    std::string f = position_packet(lat, lon);
    ASSERT_NE(f.find(std::string("\x10\x10\x03", 3)), std::string::npos);
    feed(f);
    EXPECT_EQ(garmin_frame_count(), 1);
    EXPECT_EQ(gps_latitude(), lat * 180.0 / kPi);
    EXPECT_EQ(gps_longitude(), lon * 180.0 / kPi);
    EXPECT_EQ(gps_fix_mode(), 3);
}

TEST_F(Garmin, DateAndTimePacket) {
    gps_set_zone(1);
    feed(time_packet(12, 31, 2006, 23, 30, 0));
    EXPECT_EQ(gps_utc_text(), "2006/12/31 23:30:00");
    EXPECT_EQ(gps_local_text(), "2007/01/01 00:30:00");
    EXPECT_EQ(gps_fix_mode(), 0) << "time alone is no fix";
    // Only the low byte of the hour counts.
    gps_set_zone(0);
    feed(time_packet(6, 15, 2010, 0x0507, 8, 9));
    EXPECT_EQ(gps_utc_text(), "2010/06/15 07:08:09");
}

TEST_F(Garmin, PollingAlternatesAndAgesTheFix) {
    feed(position_packet(0.7853981633974483, -1.3089969389957472));
    ASSERT_EQ(gps_fix_mode(), 3);
    headless_reset();
    std::vector<int> modes;
    std::string position = "10 0A 02 02 00 F2 10 03", time = "10 0A 02 05 00 EF 10 03";
    for (int tick = 0; tick < 10; ++tick) {
        written.clear();
        garmin_poll();
        EXPECT_EQ(hex(written), tick % 2 ? time : position) << "tick " << tick;
        if (tick % 2 == 0) modes.push_back(gps_fix_mode());
        if (tick < 4) {
            EXPECT_EQ(headless_repaints(), 0) << "tick " << tick;
        }
    }
    EXPECT_EQ(modes, (std::vector<int>{2, 1, 0, 0, 0}));
    EXPECT_EQ(headless_calls_of("invalidate").size(), 1u) << "repainted once, when the fix is lost";

    // A new answer renews the fix.
    feed(position_packet(0.1, 0.2));
    EXPECT_EQ(gps_fix_mode(), 3);
    garmin_poll();
    EXPECT_EQ(gps_fix_mode(), 2);
}

TEST_F(Garmin, OtherShortAndUnframedPacketsAreIgnored) {
    feed(wire(51, Bytes(64, 0x11)) + wire(114, Bytes(84, 0x10)) + wire(17, Bytes(15, 0x40)) +
         wire(14, Bytes(7, 0x05)));
    EXPECT_EQ(garmin_frame_count(), 4);
    EXPECT_EQ(gps_fix_mode(), 0);
    EXPECT_EQ(gps_latitude(), 0.0);
    EXPECT_EQ(gps_utc_text(), "");

    // A size byte larger than the data actually framed is not believed.
    std::string lying = wire(17, Bytes(12, 0x3F));
    lying[2] = 16;
    feed(lying);
    EXPECT_EQ(gps_fix_mode(), 0);

    // Direct calls with frames too short to hold even the header.
    const unsigned char tiny[] = {0x10, 0x11, 0x10, 0x03};
    garmin_packet(tiny, 4);
    garmin_packet(nullptr, 0);
    EXPECT_EQ(gps_fix_mode(), 0);

    // Checksums are not verified: a wrong one still decodes.
    std::string bad = position_packet(0.5, 0.25);
    ASSERT_NE(bad[bad.size() - 4], '\x10');  // checksum not doubled
    bad[bad.size() - 3] ^= 0x01;
    feed(bad);
    EXPECT_EQ(gps_fix_mode(), 3);
    EXPECT_NEAR(gps_latitude(), 0.5 * 180 / kPi, 1e-12);
}

TEST_F(Garmin, OverlongContentIsDroppedAndLaterFramesDecode) {
    for (size_t junk : {size_t(4095), size_t(4096), size_t(4097), size_t(5000), size_t(20000)}) {
        gps_reset();
        garmin_reset();
        // An unterminated run (with stuffed DLEs in it) longer than the buffer, closed by DLE ETX.
        std::string run(junk, '\x55');
        for (size_t i = 100; i + 1 < run.size(); i += 700) run[i] = run[i + 1] = '\x10';
        feed_in_chunks(run + "\x10\x03" + position_packet(0.25, -0.5) + time_packet(1, 2, 2003, 4, 5, 6), 80);
        EXPECT_NEAR(gps_latitude(), 0.25 * 180 / kPi, 1e-12) << junk;
        EXPECT_NEAR(gps_longitude(), -0.5 * 180 / kPi, 1e-12) << junk;
        EXPECT_EQ(gps_utc_text(), "2003/01/02 04:05:06") << junk;
    }
}

TEST_F(Garmin, SameResultWhateverTheReadSizes) {
    std::string stream = wire(51, Bytes(64, 0x10)) + position_packet(0.7853981633974483, -1.3089969389957472) +
                         time_packet(12, 31, 2006, 23, 30, 0) + wire(114, Bytes(84, 0x03)) +
                         position_packet(from_bits(0x3FE9211010031010ull), -0.1);
    std::vector<std::string> results;
    for (size_t chunk : {size_t(1), size_t(80), size_t(2), size_t(3), size_t(7), stream.size()}) {
        gps_reset();
        garmin_reset();
        feed_in_chunks(stream, chunk);
        char text[128];
        std::snprintf(text, sizeof text, "%ld %.17g %.17g %d %s", garmin_frame_count(), gps_latitude(),
                      gps_longitude(), gps_fix_mode(), gps_utc_text().c_str());
        results.push_back(text);
        EXPECT_EQ(results.back(), results.front()) << "chunk " << chunk;
    }
    EXPECT_EQ(results.front().substr(0, 2), "5 ");
}

TEST_F(Garmin, ReaderHandsGarminBytesToThisDecoder) {
    std::string f = position_packet(0.5, 0.5);
    for (int device : {int(DEVICE_NMEA), int(DEVICE_EARTHMATE), int(DEVICE_REMOTE), 0, 99})
        receiver_feed(device, f.data(), static_cast<int>(f.size()));
    EXPECT_EQ(garmin_frame_count(), 0);
    receiver_feed(DEVICE_GARMIN, f.data(), static_cast<int>(f.size()));
    EXPECT_EQ(garmin_frame_count(), 1);
    EXPECT_EQ(gps_fix_mode(), 3);
}

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST_F(Garmin, RealCaptureStaysInStep) {
    std::string path = std::string(KIV_TESTDATA_DIR) + "/receivers/garmin18x-bin.bin";
    if (!std::filesystem::exists(path)) GTEST_SKIP() << "no receiver captures at " << path;
    std::string bytes = read_file(path);
    // 29 PVT (51) and 29 satellite (114) packets, many with stuffed DLEs; neither
    // is decoded here, so the fix stays empty.
    for (size_t chunk : {size_t(1), size_t(80), bytes.size()}) {
        gps_reset();
        garmin_reset();
        feed_in_chunks(bytes, chunk);
        EXPECT_EQ(garmin_frame_count(), 58) << "chunk " << chunk;
        EXPECT_EQ(gps_fix_mode(), 0);
        EXPECT_EQ(gps_utc_text(), "");
    }
    // In step afterwards: a position packet right behind the capture decodes.
    feed(position_packet(0.5139, -1.7210));
    EXPECT_EQ(garmin_frame_count(), 59);
    EXPECT_NEAR(gps_latitude(), 0.5139 * 180 / kPi, 1e-12);
}

}  // namespace
