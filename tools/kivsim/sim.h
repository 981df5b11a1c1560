// kivsim: a receiver simulator on a pseudo-terminal or a serial device.
// Shared declarations of the route, the wire formats and the modes.
#pragma once
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

// A route of waypoints travelled at a constant speed.
struct SimRoute {
    std::vector<double> lat, lon;   // degrees
    std::vector<double> along;      // metres from the start to each waypoint
    double speedKmh = 0;
};

struct SimFix {
    double lat, lon;         // degrees
    double speedKnots;
    double course;           // degrees true
    double altitude;         // metres
};

int    route_parse(const char* text, SimRoute* route);   // "lat,lon;lat,lon;..." -> 1/0
int    route_load(const char* path, SimRoute* route);    // "lat lon" lines -> 1/0
double route_seconds(const SimRoute& route);             // time to the end; 0 when standing
// Past the end: back from the start (loop) or standing at the last point.
SimFix route_fix(const SimRoute& route, double seconds, int loop);

// A fixed sky of eight satellites.
struct SimSatellite {
    int prn, elevation, azimuth, snr;
};
extern const SimSatellite sim_sky[8];

// NMEA: RMC, GGA, GSA and two GSV sentences for one epoch.
std::string nmea_epoch(const SimFix& fix, time_t utc);
std::string nmea_rmc(const SimFix& fix, time_t utc);
std::string nmea_with_checksum(const std::string& body);   // "$" body "*hh\r\n"

// Rockwell Zodiac frames (16-bit words, low byte first).
std::string zodiac_frame(int id, const std::vector<uint16_t>& data);
std::string zodiac_epoch(const SimFix& fix, time_t utc);   // 1000, 1002, 1003

// Zodiac frames coming in; returns complete, checked frames one by one.
struct ZodiacReader {
    std::vector<uint8_t> bytes;
    int next(int* id, std::vector<uint16_t>* data);   // 1 when a frame was taken
};

// Garmin DLE/ETX packets.
std::string garmin_frame(int id, const std::vector<uint8_t>& data);
struct GarminReader {
    std::vector<uint8_t> packet;
    int state = 0;   // 0 hunting, 1 after DLE, 2 in packet, 3 DLE in packet
    // Feeds one byte; 1 when a packet (id, size, data, checksum) completed.
    int feed(uint8_t byte);
};

// Lines coming in (CR, LF or both end a line).
struct LineReader {
    std::string line;
    int feed(char c, std::string* out);   // 1 when a non-empty line completed
};
