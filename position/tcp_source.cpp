#include "position/tcp_source.h"

#include <cerrno>
#include <cstring>

#include "position/serial_port.h"
#include "position/socket_connect.h"

namespace {
constexpr int kConnectMs = 3000;
}

int tcp_source_parse(const char* name, char* host, int hostSize, int* port) {
    const size_t n = strlen(TCP_SOURCE_PREFIX);
    if (!name || strncmp(name, TCP_SOURCE_PREFIX, n) != 0) return 0;
    *port = 0;
    return socket_split_host_port(name + n, host, hostSize, port) && *port > 0;
}

int tcp_source_open(const char* name, SerialPort* port, int wakeFd) {
    char host[256];
    int number;
    if (!tcp_source_parse(name, host, sizeof host, &number)) {
        errno = EINVAL;
        return 0;
    }
    int fd = socket_connect(host, number, kConnectMs, wakeFd);
    if (fd < 0) return 0;
    port->fd = fd;
    port->kind = SERIAL_PORT_TCP;
    return 1;
}
