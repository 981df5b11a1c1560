#include "net/sockets.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

std::atomic<int> connect_timeout_ms{5000};
std::atomic<int> receive_timeout_ms{30000};

sockaddr_in make_address(uint32_t address, uint16_t networkPort) {
    sockaddr_in a;
    std::memset(&a, 0, sizeof a);
    a.sin_family = AF_INET;
    a.sin_port = networkPort;
    a.sin_addr.s_addr = address;
    return a;
}

void print_error(int code, const char* where) { std::printf("Error: %d in %s\n", code, where); }

uint16_t network_port(int port) { return htons(static_cast<uint16_t>(port)); }

// connect() bounded by the connect time-out; the socket is blocking again afterwards.
int connect_bounded(int socket, const sockaddr_in& address) {
    int flags = fcntl(socket, F_GETFL, 0);
    if (flags < 0 || fcntl(socket, F_SETFL, flags | O_NONBLOCK) < 0) return -1;
    int rc = connect(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    if (rc < 0 && errno == EINPROGRESS) {
        pollfd p = {socket, POLLOUT, 0};
        int ready;
        do {
            ready = poll(&p, 1, connect_timeout_ms.load());
        } while (ready < 0 && errno == EINTR);
        if (ready == 0) {
            errno = ETIMEDOUT;
            rc = -1;
        } else if (ready > 0) {
            int error = 0;
            socklen_t length = sizeof error;
            getsockopt(socket, SOL_SOCKET, SO_ERROR, &error, &length);
            if (error != 0) errno = error;
            rc = error == 0 ? 0 : -1;
        }
    }
    int saved = errno;
    fcntl(socket, F_SETFL, flags);
    errno = saved;
    return rc;
}

}  // namespace

int StartWinsock() { return 1; }
void StopWinsock() {}

int CreateSocket(int type) {
    int s = socket(AF_INET, type == NET_SOCK_STREAM ? SOCK_STREAM : type, 0);
    if (s < 0) return NET_INVALID_SOCKET;
    fcntl(s, F_SETFD, FD_CLOEXEC);
    return s;
}

void CloseSocket(int socket) {
    if (socket >= 0) close(socket);
}

uint32_t GetHostAddress(const char* name) {
    addrinfo hints;
    std::memset(&hints, 0, sizeof hints);
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    int rc = (name && *name) ? getaddrinfo(name, nullptr, &hints, &found) : EAI_NONAME;
    if (rc != 0 || !found) {
        std::printf("gethostbyname error: %ld for %s\n", static_cast<long>(rc), name ? name : "");
        if (found) freeaddrinfo(found);
        return 0;
    }
    uint32_t address = reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr.s_addr;
    freeaddrinfo(found);
    return address;
}

uint32_t GetLocalHost() {
    char name[260];
    if (gethostname(name, sizeof name) != 0) return 0;
    name[sizeof name - 1] = 0;
    return GetHostAddress(name);
}

uint16_t GetServicePort(const char* service, const char* protocol) {
    servent entry, *found = nullptr;
    char scratch[1024];
    if (!service || !protocol ||
        getservbyname_r(service, protocol, &entry, scratch, sizeof scratch, &found) != 0 || !found) {
        std::printf("getservbyname error: %ld\n", static_cast<long>(errno));
        return 0xFFFF;
    }
    return static_cast<uint16_t>(found->s_port);
}

int BindSocketToAddress(int socket, uint32_t address, int port) {
    sockaddr_in a = make_address(address, network_port(port));
    if (bind(socket, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0) {
        int code = errno;
        print_error(code, "bind()");
        return code;
    }
    return 0;
}

namespace {
// Option 3 of binding and connecting: this computer, the named service's port.
int local_service_address(const char* service, const char* protocol, uint32_t* address, uint16_t* portN) {
    *address = GetLocalHost();
    if (*address == 0) {
        print_error(-1, "GetLocalHost error");
        return -1;
    }
    *portN = GetServicePort(service, protocol);
    return 0;
}
}  // namespace

int BindSocket(int option, int socket, const char* service, const char* protocol, int port,
               int anyAddress) {
    if (anyAddress) option = 1;
    uint32_t address = 0;
    uint16_t portN = 0;
    switch (option) {
    case 1:
        address = htonl(INADDR_ANY);
        break;
    case 2:
        address = GetLocalHost();
        if (address == 0) {
            print_error(-1, "GetLocalHost");
            return -1;
        }
        portN = network_port(port);
        break;
    case 3:
        if (local_service_address(service, protocol, &address, &portN) != 0) return -1;
        break;
    default:
        // No address: the bind itself reports the failure.
        address = 0xFFFFFFFFu;
        break;
    }
    sockaddr_in a = make_address(address, portN);
    if (bind(socket, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0) {
        int code = errno;
        print_error(code, "bind()");
        return code;
    }
    return 0;
}

int ConnectToServer(int option, int socket, const char* host, const char* service,
                    const char* protocol, int port) {
    uint32_t address = 0;
    uint16_t portN = 0;
    switch (option) {
    case 1:
        std::printf("Error: Invalid option in ConnectToServer\n");
        return -1;
    case 2:
        address = GetLocalHost();
        if (address == 0) {
            print_error(-1, "GetHostAddress");
            return -1;
        }
        portN = network_port(port);
        break;
    case 3:
        if (local_service_address(service, protocol, &address, &portN) != 0) return -1;
        break;
    case 4:
    case 5:
        address = GetHostAddress(host);
        if (address == 0) {
            print_error(-1, "GetLocalHost error");
            return -1;
        }
        portN = network_port(option == 4 ? 80 : port);
        break;
    default:
        break;  // all-zero address: the connect fails
    }
    sockaddr_in a = make_address(address, portN);
    if (connect_bounded(socket, a) != 0) {
        int code = errno;
        print_error(code, "connect()");
        return code != 0 ? code : -1;
    }
    return 0;
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

int net_last_error() { return errno; }
