#include "position/garmin.h"

#include <cstdint>
#include <cstring>

#include "platform/platform.h"
#include "position/gps_fix.h"
#include "position/receiver_io.h"

namespace {

const double kPi = 3.14159265358979323846;

// Reader thread only.
struct GarminDecoder {
    unsigned char frame[GARMIN_FRAME_BUFFER] = {};
    int fill = 0;
    unsigned char lastStored = 0;  // 0 after a doubled DLE, so it cannot start a frame end
    int discarding = 0;            // frame outgrew the buffer: drop up to its end
    long frames = 0;
};

// Main thread only.
struct GarminSender {
    unsigned char out[GARMIN_FRAME_BUFFER] = {};
    int garminRequestToggle = 0;
};

GarminDecoder decoder;
GarminSender sender;

double little_endian_double(const unsigned char* p) {
    uint64_t bits = 0;
    for (int i = 7; i >= 0; --i) bits = (bits << 8) | p[i];
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

}  // namespace

int garmin_send(const unsigned char* bytes, int count) {
    // Worst case every byte and the checksum doubled, plus DLE, DLE, ETX.
    if (!bytes || count < 0 || 2 * count + 5 > GARMIN_FRAME_BUFFER) return 0;
    unsigned char* out = sender.out;
    int n = 0;
    unsigned char checksum = 0;
    out[n++] = GARMIN_DLE;
    for (int i = 0; i < count; ++i) {
        out[n++] = bytes[i];
        if (bytes[i] == GARMIN_DLE) out[n++] = GARMIN_DLE;
        checksum = static_cast<unsigned char>(checksum - bytes[i]);
    }
    out[n++] = checksum;
    if (checksum == GARMIN_DLE) out[n++] = GARMIN_DLE;
    out[n++] = GARMIN_DLE;
    out[n++] = GARMIN_ETX;
    return receiver_write(reinterpret_cast<const char*>(out), n);
}

int garmin_request_position() {
    static const unsigned char request[4] = {GARMIN_COMMAND, 0x02, 0x02, 0x00};
    return garmin_send(request, 4);
}

int garmin_request_time() {
    static const unsigned char request[4] = {GARMIN_COMMAND, 0x02, 0x05, 0x00};
    return garmin_send(request, 4);
}

void garmin_feed(const char* bytes, int count) {
    if (!bytes || count <= 0) return;
    GarminDecoder& d = decoder;
    for (int i = 0; i < count; ++i) {
        unsigned char b = static_cast<unsigned char>(bytes[i]);
        if (b == GARMIN_DLE && d.lastStored == GARMIN_DLE) {
            // Second byte of a doubled DLE: one 0x10 stays in the buffer.
            d.lastStored = 0;
            continue;
        }
        bool frameEnd = (b == GARMIN_ETX && d.lastStored == GARMIN_DLE);
        d.lastStored = b;
        if (!d.discarding) d.frame[d.fill++] = b;
        if (frameEnd) {
            if (!d.discarding) {
                d.frames += 1;
                garmin_packet(d.frame, d.fill);
            }
            d.discarding = 0;
            d.fill = 0;
        } else if (d.fill == GARMIN_FRAME_BUFFER) {
            // No frame end in a whole buffer: drop it and the rest of that frame.
            d.discarding = 1;
            d.fill = 0;
        }
    }
}

void garmin_packet(const unsigned char* frame, int length) {
    // DLE, identifier, size, data, checksum, DLE, ETX.
    if (!frame || length < 6 || frame[0] != GARMIN_DLE) return;
    int id = frame[1];
    int size = frame[2];
    int present = length - 6;
    if (size > present) size = present;
    const unsigned char* data = frame + 3;
    if (id == GARMIN_DATE_TIME) {
        if (size < 8) return;
        int month = data[0];
        int day = data[1];
        int year = data[2] | (data[3] << 8);
        int hour = static_cast<signed char>(data[4]);
        int minute = data[6];
        int second = data[7];
        gps_set_time_utc(year, month, day, hour, minute, second);
    } else if (id == GARMIN_POSITION) {
        if (size < 16) return;
        gps_set_latitude(little_endian_double(data) * 180.0 / kPi);
        gps_set_longitude(little_endian_double(data + 8) * 180.0 / kPi);
        gps_set_fix_mode(3);
    }
}

void garmin_poll() {
    if (sender.garminRequestToggle) {
        garmin_request_time();
    } else {
        garmin_request_position();
        if (gps_fix_mode() > 0 && gps_age_fix_mode_if_valid() == 0) platform_invalidate();
    }
    sender.garminRequestToggle = !sender.garminRequestToggle;
}

void garmin_reset() {
    decoder = GarminDecoder{};
    sender = GarminSender{};
}

long garmin_frame_count() { return decoder.frames; }
