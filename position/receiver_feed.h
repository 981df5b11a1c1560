// Hands received bytes to the decoder of the device type: NMEA for 1 (NMEA),
// 2 (USB EarthMate), 4 (TripMate) and 6 (Nokia SMS); Zodiac for 3
// (EarthMate); Garmin for 5. Runs on the serial reader thread.
#pragma once

void receiver_feed(int deviceType, const char* bytes, int count);
