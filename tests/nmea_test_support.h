// Helpers shared by the NMEA decoder tests: sentences with their checksum,
// a recorder for the bytes sent to the receiver, and a fresh decoder.
#pragma once
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "position/gps_fix.h"
#include "position/nmea.h"
#include "position/receiver_io.h"
#include "position/sms.h"

// "$" + body + "*XX\r\n" with the XOR checksum written out by hand.
inline std::string nmea_with_checksum(const std::string& body, const char* lineEnd = "\r\n") {
    unsigned sum = 0;
    for (unsigned char c : body) sum ^= c;
    char tail[8];
    std::snprintf(tail, sizeof tail, "*%02X", sum);
    return "$" + body + tail + lineEnd;
}

inline void feed_text(const std::string& text) { nmea_feed(text.data(), static_cast<int>(text.size())); }

struct WriteRecorder {
    std::vector<std::string> writes;
    static int record(const char* bytes, int count, void* context) {
        static_cast<WriteRecorder*>(context)->writes.emplace_back(bytes, count);
        return 1;
    }
};

// Every test starts from a program just started: empty fix, empty line
// buffer, phone idle; writes to the receiver are recorded.
class NmeaDecoderTest : public ::testing::Test {
protected:
    WriteRecorder sent;
    void SetUp() override {
        gps_reset();
        nmea_reset();
        sms_reset();
        receiver_set_write_hook(&WriteRecorder::record, &sent);
    }
    void TearDown() override { receiver_set_write_hook(nullptr, nullptr); }
};
