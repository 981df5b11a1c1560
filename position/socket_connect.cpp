#include "position/socket_connect.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

int socket_split_host_port(const char* text, char* host, int hostSize, int* port) {
    if (!text || !host || hostSize <= 0) return 0;
    const char* end;
    const char* colon;
    if (text[0] == '[') {
        end = strchr(text, ']');
        if (!end) return 0;
        text++;
        colon = end[1] == ':' ? end + 1 : nullptr;
        if (end[1] && !colon) return 0;
    } else if (strchr(text, ':') != strrchr(text, ':')) {
        // A bare IPv6 address: the port needs the brackets.
        colon = nullptr;
        end = text + strlen(text);
    } else {
        colon = strrchr(text, ':');
        end = colon ? colon : text + strlen(text);
    }
    size_t n = static_cast<size_t>(end - text);
    if (n == 0 || n >= static_cast<size_t>(hostSize)) return 0;
    memcpy(host, text, n);
    host[n] = '\0';
    if (colon) {
        char* stop;
        long p = strtol(colon + 1, &stop, 10);
        if (stop == colon + 1 || *stop || p < 1 || p > 65535) return 0;
        *port = static_cast<int>(p);
    }
    return 1;
}

int socket_connect(const char* host, int port, int timeoutMs, int wakeFd) {
    addrinfo hints = {};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    char service[16];
    snprintf(service, sizeof service, "%d", port);
    addrinfo* list = nullptr;
    if (getaddrinfo(host, service, &hints, &list) != 0 || !list) {
        errno = ENOENT;
        return -1;
    }
    int err = ECONNREFUSED;
    int fd = -1;
    for (addrinfo* a = list; a; a = a->ai_next) {
        fd = socket(a->ai_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd < 0) {
            err = errno;
            continue;
        }
        int r = connect(fd, a->ai_addr, a->ai_addrlen);
        if (r != 0 && errno == EINPROGRESS) {
            pollfd p[2] = {{fd, POLLOUT, 0}, {wakeFd, POLLIN, 0}};
            int w;
            do w = poll(p, wakeFd >= 0 ? 2 : 1, timeoutMs); while (w < 0 && errno == EINTR);
            socklen_t len = sizeof err;
            if (w > 0 && wakeFd >= 0 && (p[1].revents & POLLIN)) {
                // Called off: no further address is tried.
                close(fd);
                freeaddrinfo(list);
                errno = ECANCELED;
                return -1;
            }
            if (w == 0) {
                err = ETIMEDOUT;
            } else if (w > 0 && getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) == 0 && err == 0) {
                r = 0;
            }
        } else if (r != 0) {
            err = errno;
        }
        if (r == 0) break;
        close(fd);
        fd = -1;
    }
    freeaddrinfo(list);
    if (fd < 0) errno = err;
    return fd;
}
