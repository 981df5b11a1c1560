#include "position/nmea.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "platform/platform.h"
#include "position/gps_fix.h"
#include "position/nmea_fields.h"
#include "position/nmea_satellites.h"
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
    bool phoneListing;  // between a phone's "+CMGL:" and its final reply
    // The last sentence with a position field (RMC, GGA, GLL, GNS) said
    // there is no fix: a GSA, which some receivers go on sending with the
    // last solution's mode, must not raise the fix again.
    bool positionSaysNoFix;
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

// A date and time a receiver can mean: anything else is a damaged or
// invented field.
bool plausible_time(int month, int day, int hour, int minute, int second) {
    return month >= 1 && month <= 12 && day >= 1 && day <= 31 && hour < 24 && minute < 60 && second < 61;
}

// The receiver's time is taken as it comes, earlier or later than the
// stored one: a receiver reset or a replayed log steps back, and a wrong
// date is put right by the next sentence instead of freezing the clock.
// Only a phone's message list is a history, not a stream: an older message
// there must not move the fix back, and gives 0.
int set_time(int year, int month, int day, int hour, int minute, int second) {
    if (!plausible_time(month, day, hour, minute, second)) return 1;
    if (nmea.phoneListing) {
        char text[GPS_TIME_TEXT + 16], stored[GPS_TIME_TEXT];
        std::snprintf(text, sizeof text, "%04d/%02d/%02d %02d:%02d:%02d", year, month, day, hour, minute, second);
        gps_copy_utc_text(stored);
        if (std::strcmp(text, stored) < 0) return 0;
    }
    gps_set_time_utc(year, month, day, hour, minute, second);
    return 1;
}

// hhmmss(.sss) in field n (GGA, GLL, GNS) on the day that puts it nearest
// the stored time: a step back of less than 12 hours is a step back, and a
// time just past midnight is the next day. A receiver that sends no RMC or
// ZDA gives no date at all; then the computer's clock stands in for the
// stored time, so that its fixes are recorded with a time.
void set_time_of_day(const NmeaFields& f, int n) {
    if (!six_digits(f, n)) return;
    const char* text = nmea_field_start(f, n);
    int hour = two_digits(text), minute = two_digits(text + 2), second = two_digits(text + 4);
    if (!plausible_time(1, 1, hour, minute, second)) return;
    char stored[GPS_TIME_TEXT];
    gps_copy_utc_text(stored);
    std::tm t{};
    int64_t reference;
    if (std::sscanf(stored, "%4d/%2d/%2d %2d:%2d:%2d", &t.tm_year, &t.tm_mon, &t.tm_mday, &t.tm_hour, &t.tm_min,
                    &t.tm_sec) == 6) {
        t.tm_year -= 1900;
        t.tm_mon -= 1;
        reference = timegm(&t);
    } else {
        reference = platform_clock_seconds();
    }
    const int64_t day = 86400, ofDay = hour * 3600 + minute * 60 + second;
    int64_t start = reference - ((reference % day) + day) % day;
    int64_t candidate = start + ofDay;
    if (candidate - reference > day / 2) start -= day;
    else if (reference - candidate >= day / 2) start += day;
    time_t startTime = static_cast<time_t>(start);
    if (!gmtime_r(&startTime, &t)) return;
    set_time(t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, hour, minute, second);
}

// Date ddmmyy in field 9, time hhmmss(.sss) in field 1; without a readable
// date and time the stored time stays as it is. 0 when the sentence is an
// older phone message.
int rmc_time(const NmeaFields& f) {
    if (!six_digits(f, 9) || !six_digits(f, 1)) return 1;
    const char* date = nmea_field_start(f, 9);
    const char* time = nmea_field_start(f, 1);
    int yy = two_digits(date + 4);
    return set_time(yy >= 70 ? 1900 + yy : 2000 + yy, two_digits(date + 2), two_digits(date), two_digits(time),
                    two_digits(time + 2), two_digits(time + 4));
}

// A fix with no dimension reported yet is two-dimensional; a 3D one stays
// 3D until a sentence says otherwise.
void raise_fix() {
    if (gps_fix_mode() < 2) gps_set_fix_mode(2);
}

// Whether the last RMC carried speed and course: VTG fills in only what
// no RMC gives.
struct RmcCarries {
    bool speed, course;
};
RmcCarries rmc_carries;

void lose_fix() {
    nmea.positionSaysNoFix = true;
    gps_set_fix_mode(0);
}

// Status "A" (or "D", differential) is a fix; "V" or anything else is none
// and leaves position, speed and course alone (receivers send made-up values
// with it). Its time still counts: the clock goes on while there is no fix.
void handle_rmc(const NmeaFields& f) {
    char status = nmea_field_first(f, 2);
    if (status != 'A' && status != 'D') {
        lose_fix();
        rmc_time(f);
        return;
    }
    if (!rmc_time(f)) return;
    nmea.positionSaysNoFix = false;
    raise_fix();
    set_position(f, 3);
    double v;
    rmc_carries.speed = nmea_field_double(f, 7, &v);
    if (rmc_carries.speed) gps_set_speed_knots(v);
    rmc_carries.course = nmea_field_double(f, 8, &v);
    if (rmc_carries.course) gps_set_course(v);
}

// GGA and GNS: a fix with position (field 2), satellites used (7), HDOP (8)
// and altitude (9); three-dimensional with an altitude, as gpsd reports it,
// unless too few satellites make that impossible.
void take_fix(const NmeaFields& f, bool threeDimensionsPossible) {
    set_position(f, 2);
    double v;
    if (nmea_field_double(f, 8, &v)) gps_set_hdop(v);
    bool altitude = nmea_field_double(f, 9, &v);
    if (altitude) gps_set_altitude(v);
    nmea.positionSaysNoFix = false;
    gps_set_fix_mode(altitude && threeDimensionsPossible ? 3 : 2);
}

// Field 7 of GGA and GNS, with or without a fix; -1 when not given.
int satellites_used(const NmeaFields& f) {
    int used = -1;
    nmea_field_int(f, 7, &used);
    gps_set_satellites_used(used);
    return used;
}

// Quality in field 6: above 0 is a fix, 0 (or unreadable) none. Some
// receivers leave it empty; then, as gpsd does, a position from 3 satellites
// is a fix, and 4 are needed for three dimensions.
void handle_gga(const NmeaFields& f) {
    set_time_of_day(f, 1);
    int quality, used = satellites_used(f);
    if (nmea_field_length(f, 6) > 0 ? nmea_field_int(f, 6, &quality) && quality > 0
                                    : nmea_field_length(f, 2) > 0 && used >= 3)
        take_fix(f, nmea_field_length(f, 6) > 0 || used >= 4);
    else
        lose_fix();
}

// GLL: position in fields 1 to 4, time of day in 5, status in 6. "A" is a
// fix, "V" none; the oldest receivers send neither time nor status, and
// their position is taken as it comes.
void handle_gll(const NmeaFields& f) {
    set_time_of_day(f, 5);
    char status = nmea_field_first(f, 6);
    if (status == 'V') {
        lose_fix();
        return;
    }
    if (status == 'A') {
        nmea.positionSaysNoFix = false;
        raise_fix();
    }
    set_position(f, 1);
}

void handle_gsa(const NmeaFields& f, int talkerSystem) {
    int mode;
    if (nmea_field_int(f, 2, &mode)) {
        if (mode == 1)
            gps_set_fix_mode(0);
        else if (mode >= 2 && !nmea.positionSaysNoFix)
            gps_set_fix_mode(mode);
    }
    double hdop;
    if (nmea_field_double(f, 16, &hdop)) gps_set_hdop(hdop);
    nmea_satellites_gsa(f, talkerSystem);
}

// GNS: time of day in field 1, then as GGA, with a mode letter per system
// in field 6 in place of the quality: any letter other than "N" is a fix.
void handle_gns(const NmeaFields& f) {
    set_time_of_day(f, 1);
    satellites_used(f);
    int letters = nmea_field_length(f, 6);
    const char* mode = nmea_field_start(f, 6);
    bool fix = false;
    for (int i = 0; i < letters; ++i) fix = fix || (mode[i] != 'N' && mode[i] != ' ');
    if (fix)
        take_fix(f, true);
    else
        lose_fix();
}

// VTG: course true in field 1 and knots in field 5 ("054.7,T,034.4,M,005.5,N,
// 010.2,K,A"), or fields 1 and 3 in the old form without unit letters. A
// mode "N" (not valid) in field 9 changes nothing.
void handle_vtg(const NmeaFields& f) {
    if (nmea_field_first(f, 9) == 'N') return;
    bool lettered = nmea_field_first(f, 2) == 'T' || nmea_field_first(f, 6) == 'N';
    double v;
    if (!rmc_carries.course && nmea_field_double(f, 1, &v)) gps_set_course(v);
    if (!rmc_carries.speed && nmea_field_double(f, lettered ? 5 : 3, &v)) gps_set_speed_knots(v);
}

// ZDA: hhmmss.ss in field 1, day, month and four-digit year in 2 to 4.
void handle_zda(const NmeaFields& f) {
    int day, month, year;
    if (!six_digits(f, 1) || !nmea_field_int(f, 2, &day) || !nmea_field_int(f, 3, &month) ||
        !nmea_field_int(f, 4, &year) || year < 1970 || year > 9999)
        return;
    const char* time = nmea_field_start(f, 1);
    set_time(year, month, day, two_digits(time), two_digits(time + 2), two_digits(time + 4));
}

bool is_talker(char first, char second) {
    return first >= 'A' && first <= 'Z' && first != 'P' && second >= 'A' && second <= 'Z';
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
        // A "$" starts a sentence wherever it comes: what stands before it
        // on the line (binary frames of receivers that mix protocols, a cut
        // sentence) is dropped.
        if (const char* dollar = static_cast<const char*>(memrchr(p, '$', stop - p))) {
            nmea.fill = 0;
            p = dollar;
        }
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
    if (starts_with(line, "+CMGL:")) nmea.phoneListing = true;
    if (starts_with(line, "OK") || starts_with(line, "ERROR") || std::strstr(line, "CMS ERROR")) {
        nmea.phoneListing = false;
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
    // Any two upper-case letters are a talker ("GP", "GN", "GL", "BD" ...),
    // except the "P" that starts every proprietary sentence.
    if (nmea_split(text, &f) && is_talker(text[0], text[1])) {
        const char* type = text + 2;
        if (starts_with(type, "RMC"))
            handle_rmc(f);
        else if (starts_with(type, "GGA"))
            handle_gga(f);
        else if (starts_with(type, "GLL"))
            handle_gll(f);
        else if (starts_with(type, "GSA"))
            handle_gsa(f, nmea_talker_system(text[0], text[1]));
        else if (starts_with(type, "GSV"))
            nmea_satellites_gsv(f, nmea_talker_system(text[0], text[1]));
        else if (starts_with(type, "GNS"))
            handle_gns(f);
        else if (starts_with(type, "VTG"))
            handle_vtg(f);
        else if (starts_with(type, "ZDA"))
            handle_zda(f);
        // Satellites whose GSV stopped go even when no GSV comes at all.
        if (!starts_with(type, "GSV") && !starts_with(type, "GSA")) nmea_satellites_age();
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
    nmea.phoneListing = false;
    rmc_carries = RmcCarries{};
    nmea.positionSaysNoFix = false;
    nmea_satellites_reset();
    tripmate_reset();
}
