// The one program-wide record of the current position fix. Written by the
// decoder on the reader (or remote server) thread, read by the main thread.
// Fields are set one at a time; every single read and write is indivisible.
#pragma once
#include <string>

enum { GPS_SAT_TABLE = 64 };
enum { GPS_TIME_TEXT = 20, GPS_MESSAGE_TEXT = 256 };

// Satellite systems. GPS is the zero value: the receivers that report no
// system (the binary protocols, GP-only NMEA) are GPS receivers.
enum GpsSystem { GPS_SYSTEM_GPS, GPS_SYSTEM_GLONASS, GPS_SYSTEM_GALILEO, GPS_SYSTEM_BEIDOU,
                 GPS_SYSTEM_QZSS, GPS_SYSTEM_NAVIC, GPS_SYSTEM_OTHER, GPS_SYSTEMS };
// "GPS", "GLONASS", "Galileo", "BeiDou", "QZSS", "NavIC", "Other".
const char* gps_system_name(int system);

// One row of the satellite table. signal is the NMEA 4.10 signal id of the
// strength shown, 0 when the receiver gives none; elevation and azimuth
// are -1 while unknown.
// No new position for this long: the receiver counts as silent (the map
// marker turns stale, the GPX recording starts a new segment).
enum { STALE_FIX_SECONDS = 5 };

struct GpsSatellite {
    int prn, elevation, azimuth, snr, used, system, signal;
};

// Fix mode: 0 none, 1 valid (dimension unreported), 2 two-, 3 three-dimensional.
int  gps_fix_mode();
void gps_set_fix_mode(int mode);
void gps_clear_fix_mode();         // 0
int  gps_age_fix_mode_if_valid();  // minus 1 while above 0; returns the new value
// 1 when the fix mode is above 0 and a finite latitude and longitude within
// range have actually been received: the test before acting on a fix
// (last-position file, track log, base upload, auto-pan). A mode alone, as
// from a GSA before any RMC, is no position.
int  gps_has_position();

// "%04d/%02d/%02d %02d:%02d:%02d" texts.
std::string gps_utc_text();
std::string gps_local_text();
// Copies the UTC text into out (at least GPS_TIME_TEXT bytes) without allocating.
void gps_copy_utc_text(char* out);
// The zone's offset from UTC: whole hours, or minutes (+5:30 is 330).
void gps_set_zone(int hours);
void gps_set_zone_minutes(int minutes);
int  gps_zone_minutes();
// UTC date/time in; writes the UTC text and derives the local one.
// The receiver's time is followed as it comes: a consumer that keeps times
// sees a step back as a time earlier than its last one.
void gps_set_time_utc(int year, int month, int day, int hour, int minute, int second);
// Both texts empty: a new link starts without the old receiver's time.
void gps_clear_time();

// A latitude or longitude that is not finite leaves no position (see
// gps_has_position) until a finite one comes. Altitude, speed and course
// that are not finite are unknown: the stored ones stay.
void   gps_set_latitude(double degrees);
void   gps_set_longitude(double degrees);
void   gps_set_altitude(double metres);
void   gps_set_speed_knots(double knots);
// Reduced to 0 up to below 360.
void   gps_set_course(double degrees);
double gps_latitude();
double gps_longitude();
double gps_altitude();
double gps_speed_knots();
double gps_speed();                // metres per second
double gps_course();
// Horizontal dilution of precision; NaN until a receiver reports one (a
// value that is not finite or not above 0 leaves it unknown).
void   gps_set_hdop(double hdop);
double gps_hdop();
// Counts every latitude received, equal or not: a changing count is a
// receiver still reporting, even from a position that does not move.
unsigned gps_position_count();
void   gps_course_point(char* out);  // at least 3 bytes: "N", "NE", ... "NW"

// The receiver's count of satellites in view (may exceed the table), and
// the number of table rows filled (at most GPS_SAT_TABLE).
int  gps_satellites_in_view();
int  gps_sat_count();
// Satellites used in the fix: the used marks of the table when a receiver
// marks any (GSA), else the count it reports with the fix (GGA, GNS); -1
// when neither is known.
int  gps_satellites_used();
void gps_set_satellites_used(int count);
// Sets both: the rows filled are the count cut to the table.
void gps_set_satellites_in_view(int count);
// The whole table at once, so that readers never see half of a new one.
void gps_set_satellites(const GpsSatellite* list, int count, int inView);
// Copies the filled rows (at most capacity); returns how many.
int  gps_copy_satellites(GpsSatellite* out, int capacity);
// A table no source has renewed for longer than this (a receiver stopped
// or unplugged) lists satellites that are gone.
enum { GPS_SATELLITE_AGE_SECONDS = 10 };
// Seconds on the monotonic clock since the table was last set (by
// gps_set_satellites or gps_set_satellites_in_view); -1 when it is empty
// since start or gps_clear_satellites.
int  gps_satellites_age();
void gps_clear_satellites();
int  gps_sat_system(int index);
int  gps_sat_signal(int index);
int  gps_sat_prn(int index);
int  gps_sat_azimuth(int index);
int  gps_sat_elevation(int index);
int  gps_sat_snr(int index);
int  gps_sat_used(int index);
void gps_set_sat_prn(int index, int value);
void gps_set_sat_azimuth(int index, int value);
void gps_set_sat_elevation(int index, int value);
void gps_set_sat_snr(int index, int value);
void gps_set_sat_used(int index, int value);

// Last message received; longer texts are cut to 255 characters.
std::string gps_last_message();
void gps_set_last_message(const char* text);

// The fix and the satellite table as they stood at one moment, taken under
// the record's one lock: a reader never mixes two fixes field by field.
struct GpsFixSnapshot {
    int mode, hasPosition;             // as gps_fix_mode(), gps_has_position()
    double latitude, longitude, altitude, speed, course, hdop;   // speed in m/s
    unsigned positionCount;
    char utc[GPS_TIME_TEXT];
    int satellitesInView, satellitesUsed;
};
void gps_fix_snapshot(GpsFixSnapshot* out);

// Everything back to zero and empty (program start; tests).
void gps_reset();

// Shared by the decoders: the whole local/UTC conversion, exposed for tests.
// Applies a zone offset (minutes, within a day) to a UTC time of the
// Gregorian calendar.
void gps_utc_to_local(int zoneMinutes, int& year, int& month, int& day, int& hour, int& minute);
