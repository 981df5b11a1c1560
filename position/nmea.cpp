#include "position/nmea.h"

#include <cmath>
#include <cstring>

#include "position/gps_fix.h"
#include "position/nmea_fields.h"
#include "position/sms.h"
#include "position/tripmate.h"

namespace {

enum NmeaFramerState {
    NMEA_FRAMER_IN_LINE,   // storing bytes until the line feed
    NMEA_FRAMER_SKIPPING,  // dropping an overlong line until a line feed or "$"
};

struct NmeaDecoder {
    char line[NMEA_LINE_BUFFER];
    int fill;
    NmeaFramerState state;
    char field[NMEA_FIELD_BUFFER];
};

NmeaDecoder nmea;

const int max_line_text = NMEA_LINE_BUFFER - 1;  // room for the terminating zero
const char hex_digits[] = "0123456789ABCDEF";

// ---- sentence handlers --------------------------------------------------

// ddmm.mmmm (or dddmm.mmmm) to degrees.
double nmea_degrees(double value) {
    double whole;
    double frac = std::modf(value / 100.0, &whole);
    return whole + frac * 100.0 / 60.0;
}

// Latitude in field n, its hemisphere in n+1, longitude in n+2, hemisphere
// in n+3. Each coordinate is kept when its own field cannot be read.
void set_position(const NmeaFields& f, int n) {
    double v;
    if (nmea_field_double(f, n, &v)) {
        double lat = nmea_degrees(v);
        gps_set_latitude(nmea_field_first(f, n + 1) == 'S' ? -lat : lat);
    }
    if (nmea_field_double(f, n + 2, &v)) {
        double lon = nmea_degrees(v);
        gps_set_longitude(nmea_field_first(f, n + 3) == 'W' ? -lon : lon);
    }
}

bool six_digits(const NmeaFields& f, int n) {
    if (nmea_field_length(f, n) < 6) return false;
    const char* p = nmea_field_start(f, n);
    for (int i = 0; i < 6; ++i)
        if (p[i] < '0' || p[i] > '9') return false;
    return true;
}

int two_digits(const char* p) { return (p[0] - '0') * 10 + (p[1] - '0'); }

// Date ddmmyy in field 9, time hhmmss(.sss) in field 1. Returns 0 when the
// sentence is older than the stored UTC time and must be ignored. Without a
// readable date and time the stored time stays as it is.
int rmc_time(const NmeaFields& f) {
    if (!six_digits(f, 9) || !six_digits(f, 1)) return 1;
    const char* date = nmea_field_start(f, 9);
    const char* time = nmea_field_start(f, 1);
    int yy = two_digits(date + 4);
    int year = yy >= 70 ? 1900 + yy : 2000 + yy;
    // "%04d/%02d/%02d %02d:%02d:%02d" straight from the digits.
    char text[GPS_TIME_TEXT] = {yy >= 70 ? '1' : '2', yy >= 70 ? '9' : '0', date[4], date[5], '/',
                                date[2], date[3], '/', date[0], date[1], ' ',
                                time[0], time[1], ':', time[2], time[3], ':', time[4], time[5], 0};
    char stored[GPS_TIME_TEXT];
    gps_copy_utc_text(stored);
    if (std::strcmp(text, stored) < 0) return 0;
    gps_set_time_utc(year, two_digits(date + 2), two_digits(date), two_digits(time), two_digits(time + 2),
                     two_digits(time + 4));
    return 1;
}

void handle_rmc(const NmeaFields& f) {
    if (!rmc_time(f)) return;
    if (nmea_field_first(f, 2) != 'V' && gps_fix_mode() == 0) gps_set_fix_mode(1);
    set_position(f, 3);
    double v;
    if (nmea_field_double(f, 7, &v)) gps_set_speed_knots(v);
    if (nmea_field_double(f, 8, &v)) gps_set_course(v);
}

void handle_gga(const NmeaFields& f) {
    set_position(f, 2);
    double v;
    if (nmea_field_double(f, 9, &v)) gps_set_altitude(v);
}

void handle_gsa(const NmeaFields& f) {
    int mode;
    if (!nmea_field_int(f, 2, &mode)) return;
    if (mode == 1)
        gps_set_fix_mode(0);
    else if (mode >= 2)
        gps_set_fix_mode(mode);
}

int int_or_zero(const NmeaFields& f, int n) {
    int v;
    return nmea_field_int(f, n, &v) ? v : 0;
}

void handle_gsv(const NmeaFields& f) {
    int message;
    // Without a message number the entries cannot be placed: keep the table.
    if (!nmea_field_int(f, 2, &message)) return;
    int inView = int_or_zero(f, 3);
    gps_set_satellites_in_view(inView);
    if (message < 1 || message > GPS_SAT_TABLE) return;
    int first = 4 * (message - 1);
    for (int i = first; i < first + 4 && i < inView && i < GPS_SAT_TABLE; ++i) {
        int n = 4 + 4 * (i - first);
        gps_set_sat_prn(i, int_or_zero(f, n));
        gps_set_sat_elevation(i, int_or_zero(f, n + 1));
        gps_set_sat_azimuth(i, int_or_zero(f, n + 2));
        // An empty SNR (satellite not tracked) keeps the last one seen.
        if (nmea_field_length(f, n + 3) > 0) gps_set_sat_snr(i, int_or_zero(f, n + 3));
    }
}

bool starts_with(const char* text, const char* prefix) {
    return std::strncmp(text, prefix, std::strlen(prefix)) == 0;
}

// ---- line handling ---------------------------------------------------------

void handle_complete_line() {
    int end = nmea.fill;
    nmea.line[end] = 0;
    if (end > 0 && nmea.line[end - 1] == '\r') nmea.line[end - 1] = 0;
    nmea.fill = 0;
    nmea_line(nmea.line);
}

}  // namespace

void nmea_feed(const char* bytes, int count) {
    if (!bytes || count <= 0) return;
    const char* p = bytes;
    const char* end = bytes + count;
    while (p < end) {
        if (nmea.state == NMEA_FRAMER_SKIPPING) {
            while (p < end && *p != '\n' && *p != '$') ++p;
            if (p == end) break;
            if (*p == '\n') ++p;  // the dropped line ends here
            nmea.state = NMEA_FRAMER_IN_LINE;
            nmea.fill = 0;
            continue;
        }
        const char* lf = static_cast<const char*>(std::memchr(p, '\n', end - p));
        const char* stop = lf ? lf : end;
        int n = static_cast<int>(stop - p);
        if (n > max_line_text - nmea.fill) {
            // No line feed within the buffer: drop the text so far and
            // resynchronise rather than overrun or stall.
            p += max_line_text - nmea.fill;
            nmea.fill = 0;
            nmea.state = NMEA_FRAMER_SKIPPING;
            continue;
        }
        std::memcpy(nmea.line + nmea.fill, p, n);
        nmea.fill += n;
        if (!lf) break;
        p = lf + 1;
        handle_complete_line();
    }
}

void nmea_line(const char* line) {
    if (!line || line[0] == 0) return;
    if (line[0] == '$') {
        nmea_sentence(line + 1);
        return;
    }
    if (starts_with(line, "OK") || starts_with(line, "ERROR") || std::strstr(line, "CMS ERROR")) {
        sms_reply_done();
        return;
    }
    // A phone's text message may carry an RMC sentence after other words.
    if (const char* rmc = std::strstr(line, "GPRMC")) {
        nmea_sentence(rmc);
        return;
    }
    tripmate_line(line);
}

void nmea_sentence(const char* text) {
    if (!text) return;
    NmeaFields f;
    if (nmea_split(text, &f) && text[0] == 'G' && text[1] == 'P') {
        if (starts_with(text + 2, "RMC"))
            handle_rmc(f);
        else if (starts_with(text + 2, "GGA"))
            handle_gga(f);
        else if (starts_with(text + 2, "GLL"))
            set_position(f, 1);
        else if (starts_with(text + 2, "GSA"))
            handle_gsa(f);
        else if (starts_with(text + 2, "GSV"))
            handle_gsv(f);
    }
    gps_set_last_message(text);
}

const char* nmea_field(const char* sentence, int n) {
    nmea.field[0] = 0;
    if (!sentence || n < 0) return nmea.field;
    const char* p = sentence;
    for (int k = 0; k < n; ++k) {
        while (*p && *p != ',' && *p != '*' && *p != '\r') ++p;
        if (*p != ',') return nmea.field;  // fewer fields: empty
        ++p;
    }
    int len = 0;
    while (len < NMEA_FIELD_BUFFER - 1 && p[len] && p[len] != ',' && p[len] != '*' && p[len] != '\r') ++len;
    std::memcpy(nmea.field, p, len);
    nmea.field[len] = 0;
    return nmea.field;
}

int nmea_checksum_ok(const char* sentence) {
    if (!sentence) return 0;
    unsigned sum = 0;
    const char* p = sentence;
    while (*p && *p != '*') sum ^= static_cast<unsigned char>(*p++);
    if (*p != '*') return 0;
    return p[1] == hex_digits[sum >> 4] && p[2] == hex_digits[sum & 15];
}

int nmea_append_checksum(char* sentence, int capacity) {
    if (!sentence || capacity <= 0) return 0;
    unsigned sum = 0;
    int i = 0;
    while (i < capacity && sentence[i] && sentence[i] != '*') sum ^= static_cast<unsigned char>(sentence[i++]);
    if (i >= capacity || sentence[i] != '*') return 0;
    if (capacity - i < 6) return 0;  // "*" + two digits + "\r\n" + zero
    char* out = sentence + i + 1;
    out[0] = hex_digits[sum >> 4];
    out[1] = hex_digits[sum & 15];
    out[2] = '\r';
    out[3] = '\n';
    out[4] = 0;
    return 1;
}

void nmea_reset() {
    nmea.fill = 0;
    nmea.state = NMEA_FRAMER_IN_LINE;
    nmea.line[0] = 0;
    nmea.field[0] = 0;
    tripmate_reset();
}
