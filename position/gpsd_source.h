// NMEA through gpsd ("gpsd://HOST[:PORT][/DEVICE]", default localhost:2947):
// the connection asks gpsd to watch with NMEA output (for one device when
// given) and is then a byte source of the serial link. gpsd's own JSON
// reports are dropped before the decoder sees them.
#pragma once

struct SerialPort;

#define GPSD_SOURCE_PREFIX "gpsd://"
enum { GPSD_DEFAULT_PORT = 2947 };

struct GpsdAddress {
    char host[256];
    int port;
    char device[256];   // empty: every device gpsd has
};

// 1 when name is a well-formed gpsd:// source.
int gpsd_source_parse(const char* name, GpsdAddress* out);
// The ?WATCH command for the address, with its line end; its length.
int gpsd_source_watch_command(const GpsdAddress* a, char* out, int size);
// Connects and sends the watch command; 1 with port->fd set, 0 with errno set.
int gpsd_source_open(const char* name, SerialPort* port);
// Keeps the NMEA of count received bytes in place, dropping every line that
// begins with '{'; the line state lives in the port. Returns what is left.
int gpsd_source_filter(SerialPort* port, char* bytes, int count);
