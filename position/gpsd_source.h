// NMEA through gpsd ("gpsd://HOST[:PORT][/DEVICE]", default localhost:2947;
// an IPv6 host bare for the default port or as [ADDR]:PORT): the connection
// asks gpsd to watch with NMEA output (for one device when given) and is
// then a byte source of the serial link. gpsd's own JSON replies never reach
// the decoder; what they say about errors and receivers is kept.
#pragma once
#include <cstddef>

struct SerialPort;

#define GPSD_SOURCE_PREFIX "gpsd://"
enum { GPSD_DEFAULT_PORT = 2947 };

struct GpsdAddress {
    char host[256];
    int port;
    char device[256];   // empty: every device gpsd has
};

// What gpsd's replies said (ERROR, DEVICES, DEVICE), read with Jansson.
struct GpsdReplies {
    char line[4096];      // the reply being received; a longer one is skipped
    int length;           // -1 while skipping
    int devices = -1;     // receivers gpsd has; -1 until it says
    char error[160];      // its last ERROR message, empty when none
    unsigned changes;     // counts every change of devices or error
};

// 1 when name is a well-formed gpsd:// source.
int gpsd_source_parse(const char* name, GpsdAddress* out);
// The ?WATCH command for the address, with its line end; its length.
int gpsd_source_watch_command(const GpsdAddress* a, char* out, int size);
// Connects (giving up when wakeFd becomes readable) and sends the watch command; 1 with port->fd set, 0 with errno set.
int gpsd_source_open(const char* name, SerialPort* port, int wakeFd = -1);
// Keeps the NMEA of count received bytes in place, taking every line that
// begins with '{' out to gpsd_source_reply; the line state lives in the
// port. Returns what is left.
int gpsd_source_filter(SerialPort* port, char* bytes, int count);
// Takes in one whole JSON reply line.
void gpsd_source_reply(GpsdReplies* r, const char* line, size_t length);
