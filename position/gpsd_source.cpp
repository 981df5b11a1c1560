#include "position/gpsd_source.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/socket.h>
#include <unistd.h>

#include "position/serial_port.h"
#include "position/socket_connect.h"

namespace {
constexpr int kConnectMs = 3000;
}

int gpsd_source_parse(const char* name, GpsdAddress* out) {
    const size_t n = strlen(GPSD_SOURCE_PREFIX);
    if (!name || strncmp(name, GPSD_SOURCE_PREFIX, n) != 0) return 0;
    *out = GpsdAddress{};
    const char* rest = name + n;
    const char* slash = strchr(rest, '/');
    char hostPart[300];
    size_t hostLength = slash ? static_cast<size_t>(slash - rest) : strlen(rest);
    if (hostLength >= sizeof hostPart) return 0;
    memcpy(hostPart, rest, hostLength);
    hostPart[hostLength] = '\0';
    out->port = GPSD_DEFAULT_PORT;
    if (hostPart[0] == '\0')
        snprintf(out->host, sizeof out->host, "localhost");
    else if (!socket_split_host_port(hostPart, out->host, sizeof out->host, &out->port))
        return 0;
    if (slash && slash[1]) {
        // The device is an absolute path: "gpsd://host/dev/ttyACM0".
        int w = snprintf(out->device, sizeof out->device, "%s", slash);
        if (w < 0 || static_cast<size_t>(w) >= sizeof out->device) return 0;
        if (strpbrk(out->device, "\"\\")) return 0;
    }
    return 1;
}

int gpsd_source_watch_command(const GpsdAddress* a, char* out, int size) {
    int n;
    if (a->device[0])
        n = snprintf(out, static_cast<size_t>(size), "?WATCH={\"enable\":true,\"nmea\":true,\"device\":\"%s\"}\n",
                     a->device);
    else
        n = snprintf(out, static_cast<size_t>(size), "?WATCH={\"enable\":true,\"nmea\":true}\n");
    return n > 0 && n < size ? n : 0;
}

int gpsd_source_open(const char* name, SerialPort* port) {
    GpsdAddress a;
    char command[400];
    int length;
    if (!gpsd_source_parse(name, &a) || !(length = gpsd_source_watch_command(&a, command, sizeof command))) {
        errno = EINVAL;
        return 0;
    }
    int fd = socket_connect(a.host, a.port, kConnectMs);
    if (fd < 0) return 0;
    // A fresh socket takes a line this short at once.
    if (send(fd, command, static_cast<size_t>(length), MSG_NOSIGNAL) != length) {
        int err = errno;
        close(fd);
        errno = err ? err : EIO;
        return 0;
    }
    port->fd = fd;
    port->kind = SERIAL_PORT_GPSD;
    port->lineState = 0;
    return 1;
}

int gpsd_source_filter(SerialPort* port, char* bytes, int count) {
    // lineState: 0 at a line start, 1 inside a kept line, 2 inside a dropped one.
    int kept = 0;
    for (int i = 0; i < count; i++) {
        char c = bytes[i];
        if (port->lineState == 0) port->lineState = c == '{' ? 2 : 1;
        if (port->lineState == 1) bytes[kept++] = c;
        if (c == '\n') port->lineState = 0;
    }
    return kept;
}
