// Feeds arbitrary bytes to the NMEA decoder the way the serial reader does,
// with the phone's timer polls in between, and drives the line, field and
// checksum functions directly. The first byte picks the path and chunk size.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "position/gps_fix.h"
#include "position/nmea.h"
#include "position/receiver_feed.h"
#include "position/receiver_io.h"
#include "position/sms.h"

namespace {

int discard_write(const char*, int count, void*) { return count > 0; }

void check_fix_texts() {
    if (gps_last_message().size() >= GPS_MESSAGE_TEXT) __builtin_trap();
    size_t utc = gps_utc_text().size();
    if (utc != 0 && utc != GPS_TIME_TEXT - 1) __builtin_trap();
}

void feed_stream(int deviceType, const char* data, size_t size, int chunk) {
    for (size_t at = 0; at < size; at += chunk) {
        int n = static_cast<int>(size - at < static_cast<size_t>(chunk) ? size - at : chunk);
        receiver_feed(deviceType, data + at, n);
        sms_poll();
    }
}

void drive_lines(const char* data, size_t size) {
    std::string text(data, size);
    size_t at = 0;
    while (at <= text.size()) {
        size_t lf = text.find('\n', at);
        std::string line = text.substr(at, lf == std::string::npos ? std::string::npos : lf - at);
        nmea_line(line.c_str());
        nmea_sentence(line.c_str());
        nmea_checksum_ok(line.c_str());
        for (int n : {0, 1, 3, 9, 19, 30})
            if (std::strlen(nmea_field(line.c_str(), n)) >= NMEA_FIELD_BUFFER) __builtin_trap();
        char buffer[64];
        size_t copy = line.size() < sizeof buffer - 1 ? line.size() : sizeof buffer - 1;
        std::memcpy(buffer, line.data(), copy);
        buffer[copy] = 0;
        nmea_append_checksum(buffer, static_cast<int>(sizeof buffer));
        if (lf == std::string::npos) break;
        at = lf + 1;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool hooked = (receiver_set_write_hook(discard_write, nullptr), true);
    (void)hooked;
    if (size == 0) return 0;
    // Three line buffers' worth is enough to reach every overflow path;
    // longer inputs (the seed captures) would only slow the search.
    if (size > 3 * NMEA_LINE_BUFFER) size = 3 * NMEA_LINE_BUFFER;
    gps_reset();
    nmea_reset();
    sms_reset();
    const unsigned mode = data[0];
    if (mode & 0x80) {
        drive_lines(reinterpret_cast<const char*>(data + 1), size - 1);
    } else {
        // The whole input is the stream, so the captures seed as they are
        // ("$" is 0x24: NMEA device, chunks of 5).
        static const int nmea_devices[] = {1, 2, 4, 6};
        feed_stream(nmea_devices[(mode >> 5) & 3], reinterpret_cast<const char*>(data), size, 1 + (mode & 0x1F));
    }
    check_fix_texts();
    return 0;
}
