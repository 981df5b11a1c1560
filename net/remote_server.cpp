#include "net/remote_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <algorithm>
#include <thread>
#include <vector>

#include "net/remote_request.h"
#include "net/sockets.h"
#include "platform/platform.h"
#include "position/gps_fix.h"
#include "settings/app_settings.h"

namespace {

const int kRepaintWaitMs = 1000;       // a repaint request never holds the server longer
const int kReadyWaitMs = 10000;        // start waits this long for the listening socket
const int kDrainMs = 100;              // after the reply, unread request bytes are drained this long
const int kDrainBytes = 256 * 1024;
const int kMaxClients = 64;            // connections served at once
const int kIdleWaitMs = 1000;

struct RemoteServerState {
    std::atomic<int> serverRunning{0};
    std::atomic<int64_t> lastPositionTime{0};
    std::atomic<int> port{0};
    std::atomic<int> clientTimeoutMs{2000};
    std::atomic<uint32_t> nextThreadId{1};
    std::mutex lock;                   // guards everything below
    std::condition_variable readyChanged;
    int ready = 0;                     // listening, or given up
    int listenOk = 0;                  // the last start got its listening socket
    int wake[2] = {-1, -1};            // stop wakes the accept wait through this pipe
    char listenHost[NET_NAME_SIZE] = "";
    char listenText[NET_NAME_SIZE + 64] = "";
};

RemoteServerState server;

void signal_ready(int listenOk) {
    std::lock_guard<std::mutex> g(server.lock);
    server.listenOk = listenOk;
    server.ready = 1;
    server.readyChanged.notify_all();
}

// The pipe lives as long as the program, so a late write can never reach a
// reused descriptor. Call with the lock held.
void ensure_wake_pipe() {
    if (server.wake[0] < 0 && pipe2(server.wake, O_CLOEXEC | O_NONBLOCK) != 0) server.wake[0] = server.wake[1] = -1;
}

// Before a start: forget wake-ups meant for an earlier server.
void prepare_start() {
    std::lock_guard<std::mutex> g(server.lock);
    ensure_wake_pipe();
    char scratch[64];
    if (server.wake[0] >= 0)
        while (read(server.wake[0], scratch, sizeof scratch) > 0) {
        }
    server.ready = 0;
}

void repaint() {
    if (server.serverRunning.load()) platform_repaint_and_wait(kRepaintWaitMs);
}

// A failed bind says so as the socket layer always did.
int bind_listening(int family, const sockaddr* address, socklen_t length) {
    int s = socket(family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (s < 0) return -1;
    int on = 1, off = 0;
    setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (family == AF_INET6) setsockopt(s, IPPROTO_IPV6, IPV6_V6ONLY, &off, sizeof off);
    if (bind(s, address, length) != 0) {
        int code = errno;
        close(s);
        errno = code;
        return -1;
    }
    return s;
}

// Listen= (or the address set by the program) when given, else every
// address of this computer: IPv6 and IPv4 on one socket, IPv4 alone where
// there is no IPv6.
int open_listening_socket(const AppSettings* settings) {
    if (settings->basePort < 0 || settings->basePort > 65535) {
        std::printf("Error: %d in %s\n", settings->basePort, "port");
        return -1;
    }
    char host[NET_NAME_SIZE];
    {
        std::lock_guard<std::mutex> g(server.lock);
        std::snprintf(host, sizeof host, "%s", settings->listenHost[0] ? settings->listenHost : server.listenHost);
    }
    char port[16];
    std::snprintf(port, sizeof port, "%d", settings->basePort);
    int s = -1;
    if (host[0]) {
        addrinfo hints = {}, *found = nullptr;
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_STREAM;
        hints.ai_flags = AI_PASSIVE;
        int rc = getaddrinfo(host, port, &hints, &found);
        if (rc != 0) {
            std::printf("gethostbyname error: %ld for %s\n", static_cast<long>(rc), host);
            std::printf("Error: %d in %s\n", -1, "GetLocalHost");
            return -1;
        }
        for (addrinfo* a = found; a && s < 0; a = a->ai_next) s = bind_listening(a->ai_family, a->ai_addr, a->ai_addrlen);
        freeaddrinfo(found);
    } else {
        sockaddr_in6 any6 = {};
        any6.sin6_family = AF_INET6;
        any6.sin6_addr = in6addr_any;
        any6.sin6_port = htons(static_cast<uint16_t>(settings->basePort));
        s = bind_listening(AF_INET6, reinterpret_cast<sockaddr*>(&any6), sizeof any6);
        if (s < 0 && errno != EADDRINUSE) {
            sockaddr_in any4 = {};
            any4.sin_family = AF_INET;
            any4.sin_addr.s_addr = htonl(INADDR_ANY);
            any4.sin_port = htons(static_cast<uint16_t>(settings->basePort));
            s = bind_listening(AF_INET, reinterpret_cast<sockaddr*>(&any4), sizeof any4);
        }
    }
    if (s < 0) {
        std::printf("Error: %d in %s\n", errno, "bind()");
        return -1;
    }
    if (listen(s, 16) != 0) {
        std::printf("Error: %d in %s\n", errno, "listen()");
        close(s);
        return -1;
    }
    sockaddr_storage bound;
    socklen_t length = sizeof bound;
    if (getsockname(s, reinterpret_cast<sockaddr*>(&bound), &length) == 0) {
        char address[INET6_ADDRSTRLEN] = "";
        int boundPort = 0;
        bool any = false;
        if (bound.ss_family == AF_INET6) {
            auto* a = reinterpret_cast<sockaddr_in6*>(&bound);
            inet_ntop(AF_INET6, &a->sin6_addr, address, sizeof address);
            boundPort = ntohs(a->sin6_port);
            any = IN6_IS_ADDR_UNSPECIFIED(&a->sin6_addr);
        } else {
            auto* a = reinterpret_cast<sockaddr_in*>(&bound);
            inet_ntop(AF_INET, &a->sin_addr, address, sizeof address);
            boundPort = ntohs(a->sin_port);
            any = a->sin_addr.s_addr == htonl(INADDR_ANY);
        }
        server.port.store(boundPort);
        std::lock_guard<std::mutex> g(server.lock);
        if (any)
            std::snprintf(server.listenText, sizeof server.listenText, "Remote server on all addresses, port %d",
                          boundPort);
        else
            std::snprintf(server.listenText, sizeof server.listenText, "Remote server on %s%s%s port %d",
                          bound.ss_family == AF_INET6 ? "[" : "", address, bound.ss_family == AF_INET6 ? "]" : "",
                          boundPort);
    }
    return s;
}

using Clock = std::chrono::steady_clock;

enum ClientPhase { CLIENT_READING, CLIENT_WRITING, CLIENT_DRAINING };

// One connection of the poll loop.
struct Client {
    int fd;
    int phase;
    Clock::time_point deadline;
    std::vector<char> request;
    int received;
    char reply[512];
    int replyLength;
    int sent;
    int drained;
};

// Takes the request as it stands: position into the fix, the reply queued.
void answer(Client* c) {
    RemoteRequest request;
    remote_parse_request(c->request.data(), c->received, &request);
    if (request.hasPosition) {
        gps_set_latitude(request.latitude);
        gps_set_longitude(request.longitude);
        gps_set_fix_mode(3);
        server.lastPositionTime.store(platform_monotonic_seconds());
    }
    c->replyLength = remote_compose_reply(request.reply, platform_clock_seconds(), c->reply, sizeof c->reply);
    c->sent = 0;
    c->phase = CLIENT_WRITING;
    c->deadline = Clock::now() + std::chrono::milliseconds(server.clientTimeoutMs.load());
    if (request.isPost) repaint();
}

// After the reply: unread request bytes are drained briefly, so the close
// does not reset the connection under the reply.
void start_draining(Client* c) {
    shutdown(c->fd, SHUT_WR);
    c->phase = CLIENT_DRAINING;
    c->deadline = Clock::now() + std::chrono::milliseconds(kDrainMs);
}

// Moves one connection on; false when it is finished.
bool step(Client* c) {
    if (c->phase == CLIENT_READING) {
        for (;;) {
            ssize_t n = recv(c->fd, c->request.data() + c->received,
                             static_cast<size_t>(REMOTE_REQUEST_SIZE - c->received), 0);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return true;
            if (n < 0) return false;
            if (n == 0 && c->received == 0) return false;
            c->received += static_cast<int>(n);
            if (n == 0 || c->received >= REMOTE_REQUEST_SIZE ||
                remote_request_complete(c->request.data(), c->received)) {
                answer(c);
                break;
            }
        }
    }
    if (c->phase == CLIENT_WRITING) {
        while (c->sent < c->replyLength) {
            ssize_t n = send(c->fd, c->reply + c->sent, static_cast<size_t>(c->replyLength - c->sent), MSG_NOSIGNAL);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return true;
            if (n <= 0) return false;
            c->sent += static_cast<int>(n);
        }
        start_draining(c);
    }
    char scratch[4096];
    for (;;) {
        ssize_t n = recv(c->fd, scratch, sizeof scratch, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return c->drained < kDrainBytes;
        if (n <= 0) return false;
        c->drained += static_cast<int>(n);
        if (c->drained >= kDrainBytes) return false;
    }
}

// A connection past its deadline: a request read in part is still taken
// (as a silent client's bytes always were); anything else ends.
bool expire(Client* c) {
    if (c->phase != CLIENT_READING || c->received == 0) return false;
    answer(c);
    return step(c);
}

void check_stale() {
    // The remote counts as lost after a long silence; noticed as connections come in.
    if (server.serverRunning.load() &&
        platform_monotonic_seconds() > server.lastPositionTime.load() + REMOTE_STALE_SECONDS) {
        gps_clear_fix_mode();
        repaint();
    }
}

void accept_new(int listening, std::vector<Client>& clients) {
    while (static_cast<int>(clients.size()) < kMaxClients) {
        int fd = accept4(listening, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            // Out of descriptors, say: do not spin on the listening socket.
            if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            return;
        }
        Client c;
        c.fd = fd;
        c.phase = CLIENT_READING;
        c.deadline = Clock::now() + std::chrono::milliseconds(server.clientTimeoutMs.load());
        c.request.assign(REMOTE_REQUEST_SIZE + 1, 0);
        c.received = c.replyLength = c.sent = c.drained = 0;
        clients.push_back(std::move(c));
    }
}

// One thread serves every connection at once: each has a deadline for its
// request, so slow or idle clients never hold up a post.
void serve(int listening) {
    std::vector<Client> clients;
    std::vector<pollfd> fds;
    while (server.serverRunning.load()) {
        fds.clear();
        fds.push_back({server.wake[0], POLLIN, 0});
        bool accepting = static_cast<int>(clients.size()) < kMaxClients;
        fds.push_back({accepting ? listening : -1, POLLIN, 0});
        Clock::time_point now = Clock::now();
        int waitMs = kIdleWaitMs;
        for (const Client& c : clients) {
            fds.push_back({c.fd, static_cast<short>(c.phase == CLIENT_WRITING ? POLLOUT : POLLIN), 0});
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(c.deadline - now).count();
            waitMs = std::min<int>(waitMs, static_cast<int>(std::max<long long>(0, left)) + 1);
        }
        int ready = poll(fds.data(), fds.size(), waitMs);
        if (ready < 0 && errno != EINTR) break;
        if (!server.serverRunning.load() || (fds[0].revents & POLLIN)) break;
        now = Clock::now();
        std::vector<Client> kept;
        for (size_t i = 0; i < clients.size(); i++) {
            Client& c = clients[i];
            bool alive = true;
            if (fds[i + 2].revents) alive = step(&c);
            if (alive && now >= c.deadline) alive = expire(&c);
            if (alive) {
                kept.push_back(std::move(c));
            } else {
                close(c.fd);
                check_stale();
            }
        }
        clients.swap(kept);
        if (fds[1].revents & POLLIN) accept_new(listening, clients);
    }
    for (Client& c : clients) close(c.fd);
}

}  // namespace

int remote_server_thread(AppSettings* settings) {
    server.serverRunning.store(1);
    {
        std::lock_guard<std::mutex> g(server.lock);
        ensure_wake_pipe();
    }
    StartWinsock();
    int listening = open_listening_socket(settings);
    if (listening >= 0) {
        char text[NET_NAME_SIZE + 64];
        remote_server_listen_text(text, sizeof text);
        std::printf("%s\n", text);
        std::fflush(stdout);
    }
    signal_ready(listening >= 0);
    int result = 0;
    if (listening >= 0) {
        serve(listening);
        result = 1;
        CloseSocket(listening);
    }
    server.port.store(0);
    {
        std::lock_guard<std::mutex> g(server.lock);
        server.listenText[0] = 0;
    }
    StopWinsock();
    settings->readerThreadId.store(0);
    return result;
}

int remote_server_start(AppSettings* settings) {
    if (settings->readerThread.joinable()) return 0;
    prepare_start();
    uint32_t id = server.nextThreadId.fetch_add(1);
    settings->readerThreadId.store(id ? id : server.nextThreadId.fetch_add(1));
    settings->readerThread = std::thread([settings] { remote_server_thread(settings); });
    std::unique_lock<std::mutex> g(server.lock);
    server.readyChanged.wait_for(g, std::chrono::milliseconds(kReadyWaitMs), [] { return server.ready != 0; });
    // A port another program holds is a failed start, not a running server.
    if (server.ready && !server.listenOk) {
        g.unlock();
        settings->readerThread.join();
        settings->readerThreadId.store(0);
        return 0;
    }
    return 1;
}

void remote_server_stop(AppSettings* settings) {
    server.serverRunning.store(0);
    {
        std::lock_guard<std::mutex> g(server.lock);
        if (server.wake[1] >= 0) {
            ssize_t ignored = write(server.wake[1], "x", 1);
            (void)ignored;
        }
    }
    if (settings->readerThread.joinable() && settings->readerThread.get_id() != std::this_thread::get_id())
        settings->readerThread.join();
    settings->readerThreadId.store(0);
}

int remote_server_running() { return server.serverRunning.load(); }
int remote_server_port() { return server.port.load(); }
int64_t remote_last_position_time() { return server.lastPositionTime.load(); }

void remote_server_set_listen_host(const char* host) {
    std::lock_guard<std::mutex> g(server.lock);
    std::snprintf(server.listenHost, sizeof server.listenHost, "%s", host ? host : "");
}

int remote_server_listen_text(char* out, int size) {
    std::lock_guard<std::mutex> g(server.lock);
    std::snprintf(out, static_cast<size_t>(size), "%s", server.listenText);
    return server.listenText[0] != 0;
}

void remote_server_set_client_timeout_ms(int ms) { server.clientTimeoutMs.store(ms > 0 ? ms : 1); }
