// Satellites from GSV and GSA sentences of any talker. Each system and
// signal keeps its own list from its own GSV cycle, so one system's cycle
// never wipes another's; after every GSV or GSA the lists are merged into
// the fix record's table, grouped by system, one row per satellite.
// Reader thread only, like the rest of the decoder.
#pragma once
#include "position/gps_fix.h"

struct NmeaFields;

// A list whose GSV has not come for this long is dropped from the table.
enum { NMEA_SATELLITE_AGE_SECONDS = GPS_SATELLITE_AGE_SECONDS };

// The system a talker speaks for; -1 for "GN" (and any other combined or
// unknown talker), whose satellites are told apart by their numbers.
int nmea_talker_system(char first, char second);

void nmea_satellites_gsv(const NmeaFields& f, int talkerSystem);
// Drops the lists whose GSV has stopped even when no GSV or GSA comes any
// more (a receiver told to send positions only); called with the other
// sentences.
void nmea_satellites_age();
void nmea_satellites_gsa(const NmeaFields& f, int talkerSystem);

// All lists and used marks forgotten (tests, nmea_reset).
void nmea_satellites_reset();
