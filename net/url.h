// Splitting an HTTP URL into host, path and port.
#pragma once
#include "net/sockets.h"

// "http://" is dropped when present; the host ends at the first '/', which
// starts the path ("/" when none); a ':' in the host gives the port (80 when
// absent or not a number). host and path must hold NET_NAME_SIZE bytes.
// Returns 1, or 0 (outputs empty) when the URL, host or path is longer than
// NET_NAME_SIZE - 1 characters or the port is outside 0..65535.
int ParseUrl(const char* url, char* host, char* path, int* port);
