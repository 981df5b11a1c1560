// Raw NMEA over TCP ("tcp://HOST:PORT"): phone apps, ser2net, marine
// multiplexers. The connection is a byte source of the serial link.
#pragma once

struct SerialPort;

#define TCP_SOURCE_PREFIX "tcp://"

// 1 when name is a tcp:// source with a host and a port.
int tcp_source_parse(const char* name, char* host, int hostSize, int* port);
// Connects (giving up when wakeFd becomes readable); 1 with port->fd set, 0 with errno set.
int tcp_source_open(const char* name, SerialPort* port, int wakeFd = -1);
