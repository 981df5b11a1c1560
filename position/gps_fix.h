// The one program-wide record of the current position fix. Written by the
// decoder on the reader (or remote server) thread, read by the main thread.
// Fields are set one at a time; every single read and write is indivisible.
#pragma once
#include <string>

enum { GPS_SAT_TABLE = 12 };
enum { GPS_TIME_TEXT = 20, GPS_MESSAGE_TEXT = 256 };

// Fix mode: 0 none, 1 valid (dimension unreported), 2 two-, 3 three-dimensional.
int  gps_fix_mode();
void gps_set_fix_mode(int mode);
void gps_age_fix_mode();           // minus 1
void gps_clear_fix_mode();         // 0
int  gps_age_fix_mode_if_valid();  // minus 1 while above 0; returns the new value

// "%04d/%02d/%02d %02d:%02d:%02d" texts.
std::string gps_utc_text();
std::string gps_local_text();
// Copies the UTC text into out (at least GPS_TIME_TEXT bytes) without allocating.
void gps_copy_utc_text(char* out);
void gps_set_zone(int hours);
int  gps_zone();
// UTC date/time in; writes the UTC text and derives the local one (no leap years).
void gps_set_time_utc(int year, int month, int day, int hour, int minute, int second);

void   gps_set_latitude(double degrees);
void   gps_set_longitude(double degrees);
void   gps_set_altitude(double metres);
void   gps_set_speed_knots(double knots);
void   gps_set_course(double degrees);
double gps_latitude();
double gps_longitude();
double gps_altitude();
double gps_speed_knots();
double gps_speed();                // metres per second
double gps_course();
void   gps_course_point(char* out);  // at least 3 bytes: "N", "NE", ... "NW"

int  gps_satellites_in_view();
void gps_set_satellites_in_view(int count);
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

// Everything back to zero and empty (program start; tests).
void gps_reset();

// Shared by the decoders: the whole local/UTC conversion, exposed for tests.
// Applies zone hours to a UTC time with the program's calendar rules.
void gps_utc_to_local(int zone, int& year, int& month, int& day, int& hour);
