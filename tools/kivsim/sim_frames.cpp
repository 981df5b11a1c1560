#include <cmath>
#include <cstdio>
#include <cstring>

#include "tools/kivsim/sim.h"

const SimSatellite sim_sky[8] = {
    {2, 45, 120, 42}, {5, 30, 60, 38},  {9, 70, 300, 45}, {12, 15, 200, 30},
    {17, 55, 30, 44}, {21, 25, 250, 35}, {26, 60, 160, 41}, {29, 10, 90, 28},
};

namespace {

// ddmm.mmmm,H (or dddmm.mmmm,H) rounded to the fourth decimal of a minute.
std::string coordinate(double v, int degreeDigits, char positive, char negative) {
    long m = lround(fabs(v) * 600000.0);
    char text[32];
    snprintf(text, sizeof text, "%0*ld%02ld.%04ld,%c", degreeDigits, m / 600000,
             (m % 600000) / 10000, m % 10000, v < 0 ? negative : positive);
    return text;
}

tm utc_parts(time_t utc) {
    tm t;
    gmtime_r(&utc, &t);
    return t;
}

uint16_t word_checksum(const uint16_t* w, size_t n) {
    uint16_t sum = 0;
    for (size_t i = 0; i < n; i++) sum = static_cast<uint16_t>(sum + w[i]);
    return static_cast<uint16_t>(-sum);
}

void put32(std::vector<uint16_t>& d, int word, uint32_t v) {
    d[word] = static_cast<uint16_t>(v & 0xFFFF);
    d[word + 1] = static_cast<uint16_t>(v >> 16);
}

uint16_t angle_1e4(int degrees) { return static_cast<uint16_t>(lround(degrees * M_PI / 180.0 * 1e4)); }

}  // namespace

std::string nmea_with_checksum(const std::string& body) {
    unsigned x = 0;
    for (char c : body) x ^= static_cast<unsigned char>(c);
    char tail[8];
    snprintf(tail, sizeof tail, "*%02X\r\n", x);
    return "$" + body + tail;
}

std::string nmea_rmc(const SimFix& f, time_t utc) {
    tm t = utc_parts(utc);
    char head[32], tail[64];
    snprintf(head, sizeof head, "GPRMC,%02d%02d%02d.00,A,", t.tm_hour, t.tm_min, t.tm_sec);
    snprintf(tail, sizeof tail, ",%.1f,%.1f,%02d%02d%02d,,,A", f.speedKnots, f.course, t.tm_mday,
             t.tm_mon + 1, t.tm_year % 100);
    return nmea_with_checksum(head + coordinate(f.lat, 2, 'N', 'S') + "," +
                              coordinate(f.lon, 3, 'E', 'W') + tail);
}

std::string nmea_epoch(const SimFix& f, time_t utc) {
    tm t = utc_parts(utc);
    std::string out = nmea_rmc(f, utc);
    char text[128];
    snprintf(text, sizeof text, "GPGGA,%02d%02d%02d.00,", t.tm_hour, t.tm_min, t.tm_sec);
    std::string gga = text + coordinate(f.lat, 2, 'N', 'S') + "," + coordinate(f.lon, 3, 'E', 'W');
    snprintf(text, sizeof text, ",1,08,1.0,%.1f,M,0.0,M,,", f.altitude);
    out += nmea_with_checksum(gga + text);
    std::string gsa = "GPGSA,A,3";
    for (int i = 0; i < 12; i++) {
        if (i < 8) {
            snprintf(text, sizeof text, ",%02d", sim_sky[i].prn);
            gsa += text;
        } else {
            gsa += ",";
        }
    }
    out += nmea_with_checksum(gsa + ",1.8,1.0,1.5");
    for (int m = 0; m < 2; m++) {
        snprintf(text, sizeof text, "GPGSV,2,%d,08", m + 1);
        std::string gsv = text;
        for (int i = 4 * m; i < 4 * m + 4; i++) {
            const SimSatellite& s = sim_sky[i];
            snprintf(text, sizeof text, ",%02d,%02d,%03d,%02d", s.prn, s.elevation, s.azimuth, s.snr);
            gsv += text;
        }
        out += nmea_with_checksum(gsv);
    }
    return out;
}

std::string zodiac_frame(int id, const std::vector<uint16_t>& data) {
    uint16_t h[5] = {0x81FF, static_cast<uint16_t>(id), static_cast<uint16_t>(data.size()), 0, 0};
    h[4] = word_checksum(h, 4);
    std::vector<uint16_t> words(h, h + 5);
    words.insert(words.end(), data.begin(), data.end());
    words.push_back(word_checksum(data.data(), data.size()));
    std::string out;
    for (uint16_t w : words) {
        out += static_cast<char>(w & 0xFF);
        out += static_cast<char>(w >> 8);
    }
    return out;
}

std::string zodiac_epoch(const SimFix& f, time_t utc) {
    tm t = utc_parts(utc);
    std::vector<uint16_t> pos(55, 0);
    pos[4] = 0;   // valid three-dimensional solution
    pos[13] = static_cast<uint16_t>(t.tm_mday);
    pos[14] = static_cast<uint16_t>(t.tm_mon + 1);
    pos[15] = static_cast<uint16_t>(t.tm_year + 1900);
    pos[16] = static_cast<uint16_t>(t.tm_hour);
    pos[17] = static_cast<uint16_t>(t.tm_min);
    pos[18] = static_cast<uint16_t>(t.tm_sec);
    put32(pos, 21, static_cast<uint32_t>(static_cast<int32_t>(lround(f.lat * M_PI / 180.0 * 1e8))));
    put32(pos, 23, static_cast<uint32_t>(static_cast<int32_t>(lround(f.lon * M_PI / 180.0 * 1e8))));
    put32(pos, 25, static_cast<uint32_t>(static_cast<int32_t>(lround(f.altitude * 100))));
    put32(pos, 28, static_cast<uint32_t>(lround(f.speedKnots / 1.94387 * 100)));
    std::string out = zodiac_frame(1000, pos);

    std::vector<uint16_t> channels(51, 0);
    std::vector<uint16_t> visible(51, 0);
    visible[8] = 8;
    for (int k = 0; k < 8; k++) {
        channels[9 + 3 * k] = 1;   // used in the solution
        channels[10 + 3 * k] = static_cast<uint16_t>(sim_sky[k].prn);
        channels[11 + 3 * k] = static_cast<uint16_t>(sim_sky[k].snr);
        visible[9 + 3 * k] = static_cast<uint16_t>(sim_sky[k].prn);
        visible[10 + 3 * k] = angle_1e4(sim_sky[k].azimuth);
        visible[11 + 3 * k] = angle_1e4(sim_sky[k].elevation);
    }
    // Visible satellites first: the channel summary finds its entries by PRN.
    out += zodiac_frame(1003, visible);
    out += zodiac_frame(1002, channels);
    return out;
}

int ZodiacReader::next(int* id, std::vector<uint16_t>* data) {
    auto word = [this](size_t at) { return static_cast<uint16_t>(bytes[at] | (bytes[at + 1] << 8)); };
    size_t i = 0;
    while (i + 10 <= bytes.size()) {
        if (bytes[i] != 0xFF || bytes[i + 1] != 0x81) {
            i++;
            continue;
        }
        uint16_t h[5];
        for (int k = 0; k < 5; k++) h[k] = word(i + 2 * k);
        if (word_checksum(h, 4) != h[4]) {
            i++;
            continue;
        }
        size_t need = 10 + (static_cast<size_t>(h[2]) + 1) * 2;
        if (i + need > bytes.size()) break;   // wait for the rest
        data->assign(h[2], 0);
        for (size_t k = 0; k < h[2]; k++) (*data)[k] = word(i + 10 + 2 * k);
        uint16_t sum = word(i + 10 + 2 * h[2]);
        bytes.erase(bytes.begin(), bytes.begin() + static_cast<long>(i + need));
        if (sum != word_checksum(data->data(), data->size())) {
            i = 0;
            continue;
        }
        *id = h[1];
        return 1;
    }
    bytes.erase(bytes.begin(), bytes.begin() + static_cast<long>(i));
    if (bytes.size() > 65536) bytes.clear();
    return 0;
}

std::string garmin_frame(int id, const std::vector<uint8_t>& data) {
    std::vector<uint8_t> body = {static_cast<uint8_t>(id), static_cast<uint8_t>(data.size())};
    body.insert(body.end(), data.begin(), data.end());
    uint8_t sum = 0;
    for (uint8_t b : body) sum = static_cast<uint8_t>(sum + b);
    body.push_back(static_cast<uint8_t>(-sum));
    std::string out = "\x10";
    for (uint8_t b : body) {
        out += static_cast<char>(b);
        if (b == 0x10) out += static_cast<char>(b);
    }
    out += "\x10\x03";
    return out;
}

int GarminReader::feed(uint8_t b) {
    switch (state) {
        case 0:
            if (b == 0x10) state = 1;
            return 0;
        case 1:
            packet.clear();
            if (b == 0x10 || b == 0x03) {
                state = b == 0x10 ? 1 : 0;
                return 0;
            }
            packet.push_back(b);
            state = 2;
            return 0;
        case 2:
            if (b == 0x10)
                state = 3;
            else if (packet.size() < 1024)
                packet.push_back(b);
            return 0;
        default:
            if (b == 0x10) {
                packet.push_back(b);
                state = 2;
                return 0;
            }
            if (b != 0x03) {   // a new packet started inside this one
                packet.assign(1, b);
                state = 2;
                return 0;
            }
            state = 0;
            if (packet.size() < 3 || packet.size() != static_cast<size_t>(packet[1]) + 3) return 0;
            uint8_t sum = 0;
            for (uint8_t x : packet) sum = static_cast<uint8_t>(sum + x);
            return sum == 0 ? 1 : 0;
    }
}

int LineReader::feed(char c, std::string* out) {
    if (c == '\r' || c == '\n') {
        if (line.empty()) return 0;
        *out = line;
        line.clear();
        return 1;
    }
    if (line.size() < 4096) line += c;
    return 0;
}
