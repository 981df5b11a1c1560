#include "position/gpsd_source.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/socket.h>
#include <unistd.h>

#include <jansson.h>

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

int gpsd_source_open(const char* name, SerialPort* port, int wakeFd) {
    GpsdAddress a;
    char command[400];
    int length;
    if (!gpsd_source_parse(name, &a) || !(length = gpsd_source_watch_command(&a, command, sizeof command))) {
        errno = EINVAL;
        return 0;
    }
    int fd = socket_connect(a.host, a.port, kConnectMs, wakeFd);
    if (fd < 0) return 0;
    // A fresh socket takes a line this short at once.
    if (send(fd, command, static_cast<size_t>(length), MSG_NOSIGNAL) != length) {
        int err = errno;
        close(fd);
        errno = err ? err : EIO;
        return 0;
    }
    *port = SerialPort{};
    port->fd = fd;
    port->kind = SERIAL_PORT_GPSD;
    return 1;
}

int gpsd_source_filter(SerialPort* port, char* bytes, int count) {
    // lineState: 0 at a line start, 1 inside a kept line, 2 inside a reply.
    GpsdReplies& r = port->gpsd;
    int kept = 0;
    for (int i = 0; i < count; i++) {
        char c = bytes[i];
        if (port->lineState == 0) {
            port->lineState = c == '{' ? 2 : 1;
            r.length = 0;
        }
        if (port->lineState == 1) bytes[kept++] = c;
        if (port->lineState == 2 && r.length >= 0 && c != '\n') {
            if (r.length < static_cast<int>(sizeof r.line))
                r.line[r.length++] = c;
            else
                r.length = -1;
        }
        if (c == '\n') {
            if (port->lineState == 2 && r.length > 0) gpsd_source_reply(&r, r.line, static_cast<size_t>(r.length));
            port->lineState = 0;
        }
    }
    return kept;
}

void gpsd_source_reply(GpsdReplies* r, const char* line, size_t length) {
    json_t* root = json_loadb(line, length, 0, nullptr);
    if (!root) return;
    const char* kind = json_string_value(json_object_get(root, "class"));
    int devices = r->devices;
    if (kind && strcmp(kind, "ERROR") == 0) {
        const char* message = json_string_value(json_object_get(root, "message"));
        snprintf(r->error, sizeof r->error, "%s", message ? message : "error");
        r->changes++;
    } else if (kind && strcmp(kind, "DEVICES") == 0) {
        devices = static_cast<int>(json_array_size(json_object_get(root, "devices")));
    } else if (kind && strcmp(kind, "DEVICE") == 0) {
        // "activated":0 says the device went away; a time, that it is active.
        json_t* activated = json_object_get(root, "activated");
        if (json_is_number(activated) && json_number_value(activated) == 0)
            devices = devices > 0 ? devices - 1 : 0;
        else if (activated && devices <= 0)
            devices = 1;
    }
    if (devices != r->devices) {
        r->devices = devices;
        if (devices > 0) r->error[0] = '\0';
        r->changes++;
    }
    json_decref(root);
}
