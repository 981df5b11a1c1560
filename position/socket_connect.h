// A TCP connection for the network position sources (gpsd, raw NMEA over
// TCP). The networking layer sits above position/, so this small helper
// lives here.
#pragma once

// Connects to host:port (name or numeric, IPv4 or IPv6) within timeoutMs.
// Returns a non-blocking, close-on-exec descriptor, or -1 with errno set
// (ECONNREFUSED, ETIMEDOUT, EHOSTUNREACH; ENOENT when the name does not resolve;
// ECANCELED when wakeFd, if not -1, became readable while waiting).
int socket_connect(const char* host, int port, int timeoutMs, int wakeFd = -1);
// Splits "HOST[:PORT]" (IPv6 as "[addr]:port", or bare without a port) into host and port; the
// port stays as given when absent. 1 on success.
int socket_split_host_port(const char* text, char* host, int hostSize, int* port);
