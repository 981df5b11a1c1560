#include "position/gps_fix.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <mutex>

#include "platform/platform.h"

namespace {

struct GpsFix {
    double latitude = 0, longitude = 0, altitude = 0, speedKnots = 0, courseDegrees = 0;
    double hdop = std::numeric_limits<double>::quiet_NaN();
    unsigned positionCount = 0;
    int fixMode = 0;
    char utcTimeText[GPS_TIME_TEXT] = {};
    char localTimeText[GPS_TIME_TEXT] = {};
    int zoneMinutes = 0;
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    int positionReceived = 0;  // 1 latitude, 2 longitude
    int satellitesInView = 0;
    int satellitesUsed = -1;  // as reported with the fix
    int satCount = 0;
    GpsSatellite sats[GPS_SAT_TABLE] = {};
    int64_t satellitesAt = -1;  // monotonic seconds of the last table, -1 none
    char lastMessage[GPS_MESSAGE_TEXT] = {};
};

GpsFix fix;
std::mutex fix_lock;

// Days of a month (1..12) of the Gregorian calendar.
int month_length(int year, int month) {
    static const int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : days[month - 1];
}

bool in_table(int i) { return i >= 0 && i < GPS_SAT_TABLE; }

template <typename T>
T read_field(const T& field) {
    std::lock_guard<std::mutex> g(fix_lock);
    return field;
}
template <typename T>
void write_field(T& field, T value) {
    std::lock_guard<std::mutex> g(fix_lock);
    field = value;
}

int read_sat(int GpsSatellite::*member, int i) {
    if (!in_table(i)) return 0;
    std::lock_guard<std::mutex> g(fix_lock);
    return fix.sats[i].*member;
}
void write_sat(int GpsSatellite::*member, int i, int v) {
    if (!in_table(i)) return;
    std::lock_guard<std::mutex> g(fix_lock);
    fix.sats[i].*member = v;
}

// gps_has_position's rule; fix_lock held.
bool has_position_locked() {
    return fix.fixMode > 0 && fix.positionReceived == 3 && std::fabs(fix.latitude) <= 90 &&
           std::fabs(fix.longitude) <= 180;
}

int table_rows(int count) { return count < 0 ? 0 : count > GPS_SAT_TABLE ? GPS_SAT_TABLE : count; }

// "%04d/%02d/%02d %02d:%02d:%02d" of the values modulo 10000 and 100 (year
// padded with blanks, "%4d", when blankYear). Every binary fix passes here,
// so in-range values are written by hand; anything else goes to snprintf.
void write_time_text(char* out, bool blankYear, int year, int month, int day, int hour, int minute, int second) {
    year %= 10000;
    month %= 100;
    day %= 100;
    hour %= 100;
    minute %= 100;
    second %= 100;
    if (year < 0 || month < 0 || day < 0 || hour < 0 || minute < 0 || second < 0) {
        std::snprintf(out, GPS_TIME_TEXT, blankYear ? "%4d/%02d/%02d %02d:%02d:%02d" : "%04d/%02d/%02d %02d:%02d:%02d",
                      year, month, day, hour, minute, second);
        return;
    }
    out[0] = static_cast<char>('0' + year / 1000);
    out[1] = static_cast<char>('0' + year / 100 % 10);
    out[2] = static_cast<char>('0' + year / 10 % 10);
    out[3] = static_cast<char>('0' + year % 10);
    for (int i = 0; blankYear && i < 3 && out[i] == '0'; ++i) out[i] = ' ';
    const int rest[5] = {month, day, hour, minute, second};
    const char separators[5] = {'/', '/', ' ', ':', ':'};
    for (int k = 0; k < 5; ++k) {
        out[4 + 3 * k] = separators[k];
        out[5 + 3 * k] = static_cast<char>('0' + rest[k] / 10);
        out[6 + 3 * k] = static_cast<char>('0' + rest[k] % 10);
    }
    out[19] = '\0';
}

}  // namespace

int gps_fix_mode() { return read_field(fix.fixMode); }
void gps_set_fix_mode(int mode) { write_field(fix.fixMode, mode); }
void gps_clear_fix_mode() { write_field(fix.fixMode, 0); }
int gps_has_position() {
    std::lock_guard<std::mutex> g(fix_lock);
    return has_position_locked();
}
int gps_age_fix_mode_if_valid() {
    std::lock_guard<std::mutex> g(fix_lock);
    if (fix.fixMode > 0) fix.fixMode -= 1;
    return fix.fixMode;
}

std::string gps_utc_text() {
    std::lock_guard<std::mutex> g(fix_lock);
    return fix.utcTimeText;
}
void gps_copy_utc_text(char* out) {
    std::lock_guard<std::mutex> g(fix_lock);
    std::memcpy(out, fix.utcTimeText, sizeof fix.utcTimeText);
}
std::string gps_local_text() {
    std::lock_guard<std::mutex> g(fix_lock);
    return fix.localTimeText;
}
void gps_set_zone(int hours) { gps_set_zone_minutes(hours * 60); }
void gps_set_zone_minutes(int minutes) { write_field(fix.zoneMinutes, minutes); }
int gps_zone_minutes() { return read_field(fix.zoneMinutes); }

void gps_utc_to_local(int zoneMinutes, int& year, int& month, int& day, int& hour, int& minute) {
    if (zoneMinutes == 0) return;
    minute += zoneMinutes % 60;
    hour += zoneMinutes / 60;
    if (minute < 0) {
        hour -= 1;
        minute += 60;
    } else if (minute > 59) {
        hour += 1;
        minute -= 60;
    }
    if (hour < 0) {
        day -= 1;
        hour += 24;
    } else if (hour > 23) {
        day += 1;
        hour -= 24;
    }
    if (day < 1) {
        month -= 1;
        // The month before January is December.
        day = (month >= 1 && month <= 12) ? month_length(year, month) : 31;
    } else if (month >= 1 && month <= 12 && day > month_length(year, month)) {
        month += 1;
        day = 1;
    }
    if (month < 1) {
        year -= 1;
        month += 12;
    } else if (month > 12) {
        year += 1;
        month -= 12;
    }
}

void gps_set_time_utc(int year, int month, int day, int hour, int minute, int second) {
    std::lock_guard<std::mutex> g(fix_lock);
    fix.year = year;
    fix.month = month;
    fix.day = day;
    fix.hour = hour;
    fix.minute = minute;
    fix.second = second;
    write_time_text(fix.utcTimeText, false, year, month, day, hour, minute, second);
    gps_utc_to_local(fix.zoneMinutes, fix.year, fix.month, fix.day, fix.hour, fix.minute);
    write_time_text(fix.localTimeText, true, fix.year, fix.month, fix.day, fix.hour, fix.minute, fix.second);
}

void gps_clear_time() {
    std::lock_guard<std::mutex> g(fix_lock);
    fix.utcTimeText[0] = 0;
    fix.localTimeText[0] = 0;
}

// A coordinate that is not finite is stored as sent but is no position.
void gps_set_latitude(double d) {
    std::lock_guard<std::mutex> g(fix_lock);
    fix.latitude = d;
    fix.positionCount++;
    fix.positionReceived = std::isfinite(d) ? fix.positionReceived | 1 : fix.positionReceived & ~1;
}
void gps_set_longitude(double d) {
    std::lock_guard<std::mutex> g(fix_lock);
    fix.longitude = d;
    fix.positionReceived = std::isfinite(d) ? fix.positionReceived | 2 : fix.positionReceived & ~2;
}
void gps_set_altitude(double m) {
    if (std::isfinite(m)) write_field(fix.altitude, m);
}
void gps_set_speed_knots(double k) {
    if (std::isfinite(k)) write_field(fix.speedKnots, k);
}
void gps_set_course(double d) {
    if (!std::isfinite(d)) return;
    // Any finite course folds exactly into one turn (fmod is exact).
    d = std::fmod(d, 360.0);
    if (d < 0) d += 360.0;
    if (d >= 360.0) d = 0;
    write_field(fix.courseDegrees, d);
}
void gps_set_hdop(double h) {
    write_field(fix.hdop, std::isfinite(h) && h > 0 ? h : std::numeric_limits<double>::quiet_NaN());
}
double gps_hdop() { return read_field(fix.hdop); }
unsigned gps_position_count() { return read_field(fix.positionCount); }
double gps_latitude() { return read_field(fix.latitude); }
double gps_longitude() { return read_field(fix.longitude); }
double gps_altitude() { return read_field(fix.altitude); }
double gps_speed_knots() { return read_field(fix.speedKnots); }
double gps_speed() { return read_field(fix.speedKnots) * 1.852 / 3.6; }
double gps_course() { return read_field(fix.courseDegrees); }

void gps_course_point(char* out) {
    static const char* const names[9] = {"N", "NE", "E", "SE", "S", "SW", "W", "NW", "N"};
    double c = gps_course();
    // The setter keeps the course within one turn; still never convert a
    // value outside it, nor index outside the table.
    if (!(c >= 0 && c < 360)) c = 0;
    int index = static_cast<int>(std::floor((c + 22.5) / 45.0));
    if (index < 0 || index > 8) index = 0;
    std::snprintf(out, 3, "%s", names[index]);
}

const char* gps_system_name(int system) {
    static const char* const names[GPS_SYSTEMS] = {"GPS", "GLONASS", "Galileo", "BeiDou", "QZSS", "NavIC", "Other"};
    return system >= 0 && system < GPS_SYSTEMS ? names[system] : names[GPS_SYSTEM_OTHER];
}

int gps_satellites_in_view() { return read_field(fix.satellitesInView); }
int gps_sat_count() { return read_field(fix.satCount); }
void gps_set_satellites_in_view(int n) {
    const int64_t now = platform_monotonic_seconds();
    std::lock_guard<std::mutex> g(fix_lock);
    fix.satellitesInView = n;
    fix.satCount = table_rows(n);
    fix.satellitesAt = now;
}
void gps_set_satellites(const GpsSatellite* list, int count, int inView) {
    count = table_rows(count);
    const int64_t now = platform_monotonic_seconds();
    std::lock_guard<std::mutex> g(fix_lock);
    if (count > 0) std::memcpy(fix.sats, list, count * sizeof *list);
    fix.satCount = count;
    fix.satellitesInView = inView;
    fix.satellitesAt = now;
}
int gps_satellites_age() {
    const int64_t now = platform_monotonic_seconds();
    std::lock_guard<std::mutex> g(fix_lock);
    if (fix.satellitesAt < 0) return -1;
    int64_t age = now - fix.satellitesAt;
    return age < 0 ? 0 : age > 999999999 ? 999999999 : static_cast<int>(age);
}
void gps_clear_satellites() {
    std::lock_guard<std::mutex> g(fix_lock);
    fix.satCount = 0;
    fix.satellitesInView = 0;
    fix.satellitesAt = -1;
}
// The GSA used marks when there are any, else the count sent with the fix.
static int satellites_used_locked() {
    int marked = 0;
    for (int i = 0; i < fix.satCount; ++i) marked += fix.sats[i].used ? 1 : 0;
    return marked > 0 ? marked : fix.satellitesUsed;
}
int gps_satellites_used() {
    std::lock_guard<std::mutex> g(fix_lock);
    return satellites_used_locked();
}
void gps_set_satellites_used(int count) { write_field(fix.satellitesUsed, count < 0 ? -1 : count); }
int gps_copy_satellites(GpsSatellite* out, int capacity) {
    std::lock_guard<std::mutex> g(fix_lock);
    int n = fix.satCount < capacity ? fix.satCount : table_rows(capacity);
    if (n > 0) std::memcpy(out, fix.sats, n * sizeof *out);
    return n;
}
int gps_sat_prn(int i) { return read_sat(&GpsSatellite::prn, i); }
int gps_sat_azimuth(int i) { return read_sat(&GpsSatellite::azimuth, i); }
int gps_sat_elevation(int i) { return read_sat(&GpsSatellite::elevation, i); }
int gps_sat_snr(int i) { return read_sat(&GpsSatellite::snr, i); }
int gps_sat_used(int i) { return read_sat(&GpsSatellite::used, i); }
int gps_sat_system(int i) { return read_sat(&GpsSatellite::system, i); }
int gps_sat_signal(int i) { return read_sat(&GpsSatellite::signal, i); }
void gps_set_sat_prn(int i, int v) { write_sat(&GpsSatellite::prn, i, v); }
void gps_set_sat_azimuth(int i, int v) { write_sat(&GpsSatellite::azimuth, i, v); }
void gps_set_sat_elevation(int i, int v) { write_sat(&GpsSatellite::elevation, i, v); }
void gps_set_sat_snr(int i, int v) { write_sat(&GpsSatellite::snr, i, v); }
void gps_set_sat_used(int i, int v) { write_sat(&GpsSatellite::used, i, v); }

std::string gps_last_message() {
    std::lock_guard<std::mutex> g(fix_lock);
    return fix.lastMessage;
}
void gps_set_last_message(const char* text) {
    std::lock_guard<std::mutex> g(fix_lock);
    // Every sentence passes here: a plain copy, cut to the field.
    size_t n = text ? strnlen(text, sizeof fix.lastMessage - 1) : 0;
    if (n) std::memcpy(fix.lastMessage, text, n);
    fix.lastMessage[n] = 0;
}

void gps_fix_snapshot(GpsFixSnapshot* out) {
    std::lock_guard<std::mutex> g(fix_lock);
    out->mode = fix.fixMode;
    out->hasPosition = has_position_locked();
    out->latitude = fix.latitude;
    out->longitude = fix.longitude;
    out->altitude = fix.altitude;
    out->speed = fix.speedKnots * 1.852 / 3.6;
    out->course = fix.courseDegrees;
    out->hdop = fix.hdop;
    out->positionCount = fix.positionCount;
    std::memcpy(out->utc, fix.utcTimeText, sizeof out->utc);
    out->satellitesInView = fix.satellitesInView;
    out->satellitesUsed = satellites_used_locked();
}

void gps_reset() {
    std::lock_guard<std::mutex> g(fix_lock);
    fix = GpsFix{};
}
