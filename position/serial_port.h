// The byte source behind the serial link: one record with the descriptor and
// its kind, opened by one function from the port's name: a terminal device
// path, "gpsd://HOST[:PORT][/DEVICE]" (gpsd_source.h) or "tcp://HOST:PORT"
// (tcp_source.h).
#pragma once
#include <cstdint>

#include "position/gpsd_source.h"

enum SerialPortKind { SERIAL_PORT_NONE = 0, SERIAL_PORT_TTY = 1, SERIAL_PORT_TCP = 2, SERIAL_PORT_GPSD = 3 };

struct SerialPort {
    int fd = -1;                   // non-blocking, close-on-exec; -1 when closed
    int kind = SERIAL_PORT_NONE;   // SerialPortKind
    int lineState = 0;             // gpsd: where the reading stands in the current line
    GpsdReplies gpsd{};            // gpsd: what its replies said
};

// 1 when the name is a network source (gpsd:// or tcp://), which carries
// NMEA only and has no line settings.
int serial_port_is_network(const char* name);

// Line settings in the program's codes (see AppSettings).
struct SerialLine {
    uint32_t baudRate;
    uint8_t dataBits;      // 5..8
    uint8_t parity;        // 0 none, 1 odd, 2 even, 3 mark, 4 space
    uint8_t stopBits;      // 0 one, 1 one and a half, 2 two
    uint8_t flowControl;   // bit 0 DTR/DSR, bit 1 RTS/CTS, bit 2 XON/XOFF
};

// Opens an existing terminal device for reading and writing, exclusively,
// or connects a network source. 1 on success; 0 with port->fd = -1 and
// errno telling why (EBUSY when another program holds the device). A network
// connect gives up when wakeFd (unless -1) becomes readable.
int  serial_port_open(const char* name, SerialPort* port, int wakeFd = -1);
// 1 when the name can be opened at all: a device path, or a well-formed
// network source.
int  serial_port_name_ok(const char* name);
void serial_port_close(SerialPort* port);

// Raw mode with the given line settings. 0 when a setting is unsupported or
// the driver refuses it; the previous configuration then stays in force.
// Network sources have no line: always 1.
int serial_port_configure(const SerialPort* port, const SerialLine* line);

// Discards both directions.
void serial_port_purge(const SerialPort* port);
// Raises (on = 1) or lowers DTR; also RTS when rts is set. Quiet on ptys.
void serial_port_set_dtr(const SerialPort* port, int on, int rts);
// 1 while DSR is up or the device has no modem lines (ptys).
int  serial_port_dsr(const SerialPort* port);

// What is queued, at most max bytes, without waiting: the count, 0 when
// nothing is queued, -1 when the device is gone (hang-up, unplugged).
int serial_port_read(SerialPort* port, char* buffer, int max);

// Writes within timeoutMs (-1: no bound), giving up early when wakeFd becomes
// readable. waitDsr holds the output while DSR is down. Returns the bytes
// written, or -1 when the first attempt failed outright.
int serial_port_write(const SerialPort* port, const char* bytes, int count, int timeoutMs,
                      int wakeFd, int waitDsr);

// The termios speed constant for a rate in bits per second; 0 when unsupported.
unsigned serial_port_speed_code(uint32_t baudRate);
