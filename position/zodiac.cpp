#include "position/zodiac.h"

#include <bit>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "platform/platform.h"
#include "position/gps_fix.h"
#include "position/receiver_io.h"

namespace {

const double kPi = 3.14159265358979323846;
const char kGreeting[] = "EARTHA";
const int kGreetingLength = 6;
const int kChannels = 12;  // the receiver reports twelve channels

// Program-wide decoder state; used by the reader thread alone.
struct ZodiacDecoder {
    int frameState = ZODIAC_HUNTING;
    int bytePos = 0;  // 0: next byte is a word's low byte, 1: its high byte
    uint16_t header[ZODIAC_HEADER_WORDS] = {};
    uint16_t data[ZODIAC_MAX_DATA_WORDS] = {};
    int dataIndex = 0;
    int dataWords = 0;        // N + 1 of the frame being collected
    int initPending = 0;      // 0 idle, 1 send 1200 after the next frame, -1 sent
    uint16_t sequence = 0;
    int greetingMatched = 0;  // characters of "EARTHA" seen so far, kept across chunks
    long frames = 0;
};

ZodiacDecoder zodiac;

int32_t signed32(const uint16_t* d, int w) {
    return static_cast<int32_t>(static_cast<uint32_t>(d[w]) | (static_cast<uint32_t>(d[w + 1]) << 16));
}
uint32_t unsigned32(const uint16_t* d, int w) {
    return static_cast<uint32_t>(d[w]) | (static_cast<uint32_t>(d[w + 1]) << 16);
}

// Little-endian wire words into host words.
void copy_words(uint16_t* to, const unsigned char* from, int words) {
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(to, from, 2 * static_cast<size_t>(words));
    } else {
        for (int k = 0; k < words; ++k) to[k] = static_cast<uint16_t>(from[2 * k] | (from[2 * k + 1] << 8));
    }
}

// True when the chunk completes a greeting. The match carries over from the
// previous chunk, since the reader may split "EARTHA" between two reads.
bool scan_greeting(const unsigned char* p, int count) {
    bool found = false;
    int m = zodiac.greetingMatched;
    int i = 0;
    while (i < count) {
        if (m == 0) {
            // Binary data rarely holds an 'E': skip to the next one.
            const void* e = std::memchr(p + i, 'E', static_cast<size_t>(count - i));
            if (!e) break;
            i = static_cast<int>(static_cast<const unsigned char*>(e) - p);
        }
        unsigned char c = p[i++];
        if (c == static_cast<unsigned char>(kGreeting[m])) {
            if (++m == kGreetingLength) {
                found = true;
                m = 0;
            }
        } else {
            // 'E' occurs only at the start of the greeting.
            m = (c == 'E') ? 1 : 0;
        }
    }
    zodiac.greetingMatched = m;
    return found;
}

void accept_header() {
    ZodiacDecoder& z = zodiac;
    int words = z.header[2] + 1;
    if (z.header[4] != zodiac_checksum(z.header, 4) || words > ZODIAC_MAX_DATA_WORDS) {
        z.frameState = ZODIAC_HUNTING;
        return;
    }
    z.dataWords = words;
    z.dataIndex = 0;
    z.bytePos = 0;
    z.frameState = ZODIAC_DATA;
}

// Geodetic position status.
void decode_1000(const uint16_t* d, int n) {
    if (n < 30) return;
    int validity = d[4];
    // Bits 2..4 flag an invalid solution; bit 0 an altitude held fixed.
    if ((validity & 0x1C) == 0)
        gps_set_fix_mode((validity & 1) ? 2 : 3);
    else
        gps_set_fix_mode(0);
    gps_set_time_utc(d[15], d[14], d[13], d[16], d[17], d[18]);
    gps_set_latitude(signed32(d, 21) * 1e-8 * 180.0 / kPi);
    gps_set_longitude(signed32(d, 23) * 1e-8 * 180.0 / kPi);
    gps_set_altitude(signed32(d, 25) / 100.0);
    gps_set_speed_knots(unsigned32(d, 28) / 100.0 * 1.94387);
}

// Channel summary: which table satellites are used, and their signal.
void decode_1002(const uint16_t* d, int n) {
    if (n < 9 + 3 * kChannels) return;
    int prn[kChannels];
    for (int i = 0; i < kChannels; ++i) {
        gps_set_sat_used(i, 0);
        prn[i] = gps_sat_prn(i);
    }
    for (int k = 0; k < kChannels; ++k) {
        int status = d[9 + 3 * k], sat = d[10 + 3 * k], cn0 = d[11 + 3 * k];
        for (int i = 0; i < kChannels; ++i) {
            if (prn[i] != sat) continue;
            gps_set_sat_used(i, status & 1);
            gps_set_sat_snr(i, cn0);
            break;
        }
    }
}

// Visible satellites: numbers and angles (1e-4 radian, unsigned).
void decode_1003(const uint16_t* d, int n) {
    if (n < 9) return;
    int inView = d[8];
    int listed = inView < kChannels ? inView : kChannels;
    if (n < 9 + 3 * listed) return;
    gps_set_satellites_in_view(inView);
    for (int i = 0; i < kChannels; ++i) {
        int prn = 0, azimuth = 0, elevation = 0;
        if (i < listed) {
            prn = d[9 + 3 * i];
            azimuth = static_cast<int>(d[10 + 3 * i] * 180.0 / (kPi * 1e4));
            elevation = static_cast<int>(d[11 + 3 * i] * 180.0 / (kPi * 1e4));
        }
        gps_set_sat_prn(i, prn);
        gps_set_sat_azimuth(i, azimuth);
        gps_set_sat_elevation(i, elevation);
    }
}

// Differential correction status: printed, not shown in the window.
void decode_1005(const uint16_t* d, int n) {
    if (n < 7) return;
    std::printf("Station bad: %d\n", d[3] & 1);
    std::printf("User disabled: %d\n", (d[3] >> 1) & 1);
    std::printf("Station ID: %d\n", d[4]);
    std::printf("Age of last correction in seconds: %d\n", d[5]);
    std::printf("Number of corrections: %d\n", d[6]);
    int present = n - 7;
    int corrections = d[6] < present ? d[6] : present;
    for (int k = 0; k < corrections; ++k) {
        int w = d[7 + k];
        std::printf("Sat%02d:", w & 0x3F);
        std::printf("ephemeris:%d", (w >> 6) & 1);
        std::printf("rtcm corrections:%d", (w >> 7) & 1);
        std::printf("rtcm udre:%d", (w >> 8) & 1);
        std::printf("sat health:%d", (w >> 9) & 1);
        std::printf("rtcm sat health:%d", (w >> 10) & 1);
        std::printf("corrections state:%d", (w >> 11) & 1);
        std::printf("iode mismatch:%d", (w >> 12) & 1);
    }
}

const char* message_name(int id) {
    switch (id) {
    case 1000: return "Geodetic Position Status Output";
    case 1001: return "ECEF Position Status Output";
    case 1002: return "Channel Summary";
    case 1003: return "Visible Satellites";
    default: return "other Zodiac message";
    }
}

// "Rockwell %d - %s" for every message, so built by hand (out: 64 bytes).
void message_text(int id, char* out) {
    static const char prefix[] = "Rockwell ";
    std::memcpy(out, prefix, sizeof prefix - 1);
    char* p = out + sizeof prefix - 1;
    char digits[6];
    int n = 0;
    unsigned v = static_cast<unsigned>(id) & 0xFFFF;
    do {
        digits[n++] = static_cast<char>('0' + v % 10);
        v /= 10;
    } while (v);
    while (n) *p++ = digits[--n];
    *p++ = ' ';
    *p++ = '-';
    *p++ = ' ';
    const char* name = message_name(id);
    size_t len = std::strlen(name);
    std::memcpy(p, name, len + 1);
}

// The two kiv_pos.txt lines as the TripMate initialisation reads them: at
// most 31 characters each, the line end removed (a last line without one
// keeps all its characters).
bool read_position_lines(char lines[2][32]) {
    std::FILE* f = std::fopen("kiv_pos.txt", "r");
    if (!f) return false;
    bool ok = true;
    for (int i = 0; i < 2 && ok; ++i) {
        if (!std::fgets(lines[i], 32, f)) {
            ok = false;
            break;
        }
        size_t len = std::strlen(lines[i]);
        if (len > 0 && lines[i][len - 1] == '\n') lines[i][--len] = '\0';
        if (len > 0 && lines[i][len - 1] == '\r') lines[i][--len] = '\0';
        if (std::strlen(lines[i]) < 4) ok = false;
    }
    std::fclose(f);
    return ok;
}

// The number in characters first..first+length-1 (0-based) of the line,
// made non-negative; characters past the line's end are absent.
int line_number(const char* line, size_t first, size_t length) {
    size_t len = std::strlen(line);
    if (first >= len) return 0;
    char part[8] = {};
    size_t n = len - first < length ? len - first : length;
    std::memcpy(part, line + first, n);
    return std::abs(static_cast<int>(std::strtol(part, nullptr, 10)));
}

// "%c %3d %02d %02d" line to units of 1e-8 radian.
int32_t line_angle(const char* line) {
    int degrees = line_number(line, 2, 3);
    int minutes = line_number(line, 6, 2);
    int seconds = line_number(line, 9, 2);
    double angle = (degrees + minutes / 60.0 + seconds / 3600.0) * 1e8 * kPi / 180.0;
    return static_cast<int32_t>(angle);
}

}  // namespace

uint16_t zodiac_checksum(const uint16_t* words, int count) {
    uint16_t sum = 0;
    for (int i = 0; i < count; ++i) sum = static_cast<uint16_t>(sum + words[i]);
    return static_cast<uint16_t>(-sum);
}

void zodiac_feed(const char* bytes, int count) {
    if (!bytes || count <= 0) return;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(bytes);
    if (scan_greeting(p, count)) {
        receiver_write("EARTHA\r\n", 8);
        zodiac.initPending = 1;
    }
    ZodiacDecoder& z = zodiac;
    int i = 0;
    while (i < count) {
        switch (z.frameState) {
        case ZODIAC_HUNTING: {
            const void* ff = std::memchr(p + i, 0xFF, static_cast<size_t>(count - i));
            if (!ff) return;
            i = static_cast<int>(static_cast<const unsigned char*>(ff) - p) + 1;
            z.frameState = ZODIAC_AFTER_FF;
            break;
        }
        case ZODIAC_AFTER_FF:
            // Anything but 0x81 keeps waiting for it.
            z.header[0] = ZODIAC_SYNC;
            z.bytePos = 0;
            if (p[i++] == 0x81) z.frameState = ZODIAC_HEADER_ID;
            break;
        case ZODIAC_HEADER_ID:
        case ZODIAC_HEADER_COUNT:
        case ZODIAC_HEADER_FLAGS:
        case ZODIAC_HEADER_CHECKSUM: {
            if (z.frameState == ZODIAC_HEADER_ID && z.bytePos == 0 && count - i >= 8) {
                // Whole header in this read: take words 2 to 5 at once.
                copy_words(z.header + 1, p + i, 4);
                i += 8;
                accept_header();
                break;
            }
            int w = z.frameState - 1;
            if (z.bytePos == 0) {
                z.header[w] = p[i++];
                z.bytePos = 1;
                break;
            }
            z.header[w] = static_cast<uint16_t>(z.header[w] | (p[i++] << 8));
            z.bytePos = 0;
            if (z.frameState == ZODIAC_HEADER_CHECKSUM)
                accept_header();
            else
                z.frameState += 1;
            break;
        }
        case ZODIAC_DATA: {
            if (z.bytePos == 1) {
                z.data[z.dataIndex] = static_cast<uint16_t>(z.data[z.dataIndex] | (p[i++] << 8));
                z.dataIndex += 1;
                z.bytePos = 0;
            }
            int words = z.dataWords - z.dataIndex;
            if ((count - i) / 2 < words) words = (count - i) / 2;
            copy_words(z.data + z.dataIndex, p + i, words);
            z.dataIndex += words;
            i += 2 * words;
            if (z.dataIndex < z.dataWords && i < count) {
                z.data[z.dataIndex] = p[i++];
                z.bytePos = 1;
            }
            if (z.dataIndex == z.dataWords) {
                z.frameState = ZODIAC_HUNTING;
                z.frames += 1;
                zodiac_message(z.header, z.data, z.dataWords);
            }
            break;
        }
        default:
            z.frameState = ZODIAC_HUNTING;
            break;
        }
    }
}

void zodiac_message(const uint16_t* header, const uint16_t* data, int dataWords) {
    if (!header || !data) return;
    int n = header[2];
    if (dataWords >= n + 1 && data[n] == zodiac_checksum(data, n)) {
        int id = header[1];
        switch (id) {
        case 1000: decode_1000(data, n); break;
        case 1002: decode_1002(data, n); break;
        case 1003: decode_1003(data, n); break;
        case 1005: decode_1005(data, n); break;
        default: break;
        }
        char text[64];
        message_text(id, text);
        gps_set_last_message(text);
    }
    if (zodiac.initPending == 1) zodiac_send_init();
}

int zodiac_send(int id, const uint16_t* words, int count) {
    if (!words || count < 1 || count > ZODIAC_MAX_DATA_WORDS) return 0;
    uint16_t h[ZODIAC_HEADER_WORDS] = {ZODIAC_SYNC, static_cast<uint16_t>(id), static_cast<uint16_t>(count - 1), 0, 0};
    h[4] = zodiac_checksum(h, 4);
    // Header and data in one write, so no other write lands inside the frame.
    unsigned char out[2 * (ZODIAC_HEADER_WORDS + ZODIAC_MAX_DATA_WORDS)];
    int n = 0;
    for (uint16_t w : h) {
        out[n++] = static_cast<unsigned char>(w & 0xFF);
        out[n++] = static_cast<unsigned char>(w >> 8);
    }
    for (int i = 0; i < count; ++i) {
        out[n++] = static_cast<unsigned char>(words[i] & 0xFF);
        out[n++] = static_cast<unsigned char>(words[i] >> 8);
    }
    return receiver_write(reinterpret_cast<const char*>(out), n);
}

int zodiac_send_init() {
    zodiac.initPending = -1;  // one attempt per greeting
    char lines[2][32];
    if (!read_position_lines(lines)) return 0;

    std::time_t now = static_cast<std::time_t>(platform_clock_seconds());
    std::tm utc{};
    gmtime_r(&now, &utc);

    int32_t latitude = line_angle(lines[0]);
    int32_t longitude = line_angle(lines[1]);
    if (lines[0][0] == 'S') latitude = -latitude;
    if (lines[1][0] == 'W') longitude = -longitude;

    uint16_t previous = zodiac.sequence;
    zodiac.sequence = previous >= 32768 ? 0 : static_cast<uint16_t>(previous + 1);

    uint16_t w[22] = {};
    w[0] = zodiac.sequence;
    w[1] = 0x000C;
    w[5] = static_cast<uint16_t>(utc.tm_mday);
    w[6] = static_cast<uint16_t>(utc.tm_mon + 1);
    w[7] = static_cast<uint16_t>(utc.tm_year + 1900);
    w[8] = static_cast<uint16_t>(utc.tm_hour);
    w[9] = static_cast<uint16_t>(utc.tm_min);
    w[10] = static_cast<uint16_t>(utc.tm_sec);
    w[11] = static_cast<uint16_t>(static_cast<uint32_t>(latitude) & 0xFFFF);
    w[12] = static_cast<uint16_t>(static_cast<uint32_t>(latitude) >> 16);
    w[13] = static_cast<uint16_t>(static_cast<uint32_t>(longitude) & 0xFFFF);
    w[14] = static_cast<uint16_t>(static_cast<uint32_t>(longitude) >> 16);
    w[21] = zodiac_checksum(w, 21);
    zodiac_send(1200, w, 22);
    return 1;
}

void zodiac_reset() { zodiac = ZodiacDecoder{}; }

long zodiac_frame_count() { return zodiac.frames; }
