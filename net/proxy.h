// The optional HTTP proxy named by the first line of "kiv_prx.txt" in the
// current directory: a host name and a port separated by blanks or a ':',
// or "http://host:port".
#pragma once

enum { PROXY_LINE_GET = 16384, PROXY_LINE_POST = 256 };

// Parses one proxy line. host must hold NET_NAME_SIZE bytes. Returns 1 with
// host and port set when the line names a proxy; 0 (host empty, port 0) when
// it does not, or when the host is too long or the port is outside 1..65535.
int ParseProxyLine(const char* line, char* host, int* port);

// Reads the proxy file anew. lineSize is the line buffer of the request kind
// (PROXY_LINE_GET or PROXY_LINE_POST); a longer first line means no proxy.
int ReadProxyFile(int lineSize, char* host, int* port);
