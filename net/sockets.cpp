#include "net/sockets.h"

#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

namespace {

std::atomic<int> connect_timeout_ms{5000};
std::atomic<int> receive_timeout_ms{30000};

}  // namespace

int StartWinsock() { return 1; }
void StopWinsock() {}

void CloseSocket(int socket) {
    if (socket >= 0) close(socket);
}

void net_set_connect_timeout_ms(int ms) { connect_timeout_ms.store(ms > 0 ? ms : 1); }
void net_set_receive_timeout_ms(int ms) { receive_timeout_ms.store(ms > 0 ? ms : 1); }
int net_connect_timeout_ms() { return connect_timeout_ms.load(); }
int net_receive_timeout_ms() { return receive_timeout_ms.load(); }

void net_apply_timeouts(int socket, int receiveMs) {
    timeval t;
    t.tv_sec = receiveMs / 1000;
    t.tv_usec = (receiveMs % 1000) * 1000;
    setsockopt(socket, SOL_SOCKET, SO_RCVTIMEO, &t, sizeof t);
    setsockopt(socket, SOL_SOCKET, SO_SNDTIMEO, &t, sizeof t);
}

int net_send_all(int socket, const char* bytes, int count) {
    int sent = 0;
    while (sent < count) {
        ssize_t n = send(socket, bytes + sent, static_cast<size_t>(count - sent), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return 0;
        sent += static_cast<int>(n);
    }
    return 1;
}
