#include "net/remote_server.h"

#include <fcntl.h>
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

struct RemoteServerState {
    std::atomic<int> serverRunning{0};
    std::atomic<int64_t> lastPositionTime{0};
    std::atomic<int> port{0};
    std::atomic<int> clientTimeoutMs{5000};
    std::atomic<uint32_t> nextThreadId{1};
    std::mutex lock;                   // guards everything below
    std::condition_variable readyChanged;
    int ready = 0;                     // listening, or given up
    int listenOk = 0;                  // the last start got its listening socket
    int clientSocket = -1;             // connection being handled
    int wake[2] = {-1, -1};            // stop wakes the accept wait through this pipe
    char listenHost[NET_NAME_SIZE] = "";
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

int open_listening_socket(const AppSettings* settings) {
    int s = CreateSocket(NET_SOCK_STREAM);
    if (s == NET_INVALID_SOCKET) return -1;
    int on = 1;
    setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    char host[NET_NAME_SIZE];
    {
        std::lock_guard<std::mutex> g(server.lock);
        std::memcpy(host, server.listenHost, sizeof host);
    }
    int rc;
    if (host[0]) {
        uint32_t address = GetHostAddress(host);
        rc = address ? BindSocketToAddress(s, address, settings->basePort) : -1;
    } else {
        rc = BindSocket(2, s, "http", "tcp", settings->basePort, 0);
    }
    if (rc == 0 && listen(s, 5) != 0) {
        std::printf("Error: %d in %s\n", errno, "listen()");
        rc = -1;
    }
    if (rc != 0) {
        CloseSocket(s);
        return -1;
    }
    sockaddr_in bound;
    socklen_t length = sizeof bound;
    if (getsockname(s, reinterpret_cast<sockaddr*>(&bound), &length) == 0) server.port.store(ntohs(bound.sin_port));
    return s;
}

// Waits for a connection or the stop; -1 when stopping or accept failed.
int accept_or_wake(int listening) {
    pollfd p[2] = {{listening, POLLIN, 0}, {server.wake[0], POLLIN, 0}};
    int ready;
    do {
        ready = poll(p, server.wake[0] >= 0 ? 2 : 1, -1);
    } while (ready < 0 && errno == EINTR);
    if (!server.serverRunning.load() || (p[1].revents & POLLIN)) return -1;
    int c = accept(listening, nullptr, nullptr);
    if (c >= 0)
        fcntl(c, F_SETFD, FD_CLOEXEC);
    else
        std::this_thread::sleep_for(std::chrono::milliseconds(50));  // e.g. out of descriptors: do not spin
    return c;
}

// Reads one request: until it is whole, the buffer is full, the client
// closes or goes silent. Returns the bytes read, -1 when nothing came.
int read_request(int c, char* buffer) {
    int total = 0;
    for (;;) {
        ssize_t n = recv(c, buffer + total, static_cast<size_t>(REMOTE_REQUEST_SIZE - total), 0);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return total > 0 ? total : -1;
        if (n == 0) return total;
        total += static_cast<int>(n);
        if (total >= REMOTE_REQUEST_SIZE || remote_request_complete(buffer, total)) return total;
    }
}

// Lets the reply reach a client that is still sending: unread bytes at close
// would reset the connection under the reply.
void finish_connection(int c) {
    shutdown(c, SHUT_WR);
    net_apply_timeouts(c, kDrainMs);
    char scratch[4096];
    int drained = 0;
    while (drained < kDrainBytes) {
        ssize_t n = recv(c, scratch, sizeof scratch, 0);
        if (n <= 0) break;
        drained += static_cast<int>(n);
    }
}

void handle_connection(int c) {
    net_apply_timeouts(c, server.clientTimeoutMs.load());
    std::vector<char> buffer(REMOTE_REQUEST_SIZE + 1);
    int length = read_request(c, buffer.data());
    if (length < 0) return;
    RemoteRequest request;
    remote_parse_request(buffer.data(), length, &request);
    if (request.hasPosition) {
        gps_set_latitude(request.latitude);
        gps_set_longitude(request.longitude);
        gps_set_fix_mode(3);
        server.lastPositionTime.store(platform_clock_seconds());
    }
    char reply[512];
    int replyLength = remote_compose_reply(request.reply, platform_clock_seconds(), reply, sizeof reply);
    if (replyLength > 0) net_send_all(c, reply, replyLength);
    if (request.isPost) repaint();
    finish_connection(c);
}

void serve(int listening) {
    while (server.serverRunning.load()) {
        int c = accept_or_wake(listening);
        if (c < 0 && !server.serverRunning.load()) break;
        if (c >= 0) {
            {
                std::lock_guard<std::mutex> g(server.lock);
                server.clientSocket = c;
            }
            if (server.serverRunning.load()) handle_connection(c);
            {
                std::lock_guard<std::mutex> g(server.lock);
                server.clientSocket = -1;
            }
            CloseSocket(c);
        }
        // The remote counts as lost after a long silence; noticed as connections come in.
        if (server.serverRunning.load() &&
            platform_clock_seconds() > server.lastPositionTime.load() + REMOTE_STALE_SECONDS) {
            gps_clear_fix_mode();
            repaint();
        }
    }
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
    signal_ready(listening >= 0);
    int result = 0;
    if (listening >= 0) {
        serve(listening);
        result = 1;
        CloseSocket(listening);
    }
    server.port.store(0);
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
        if (server.clientSocket >= 0) shutdown(server.clientSocket, SHUT_RDWR);
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

void remote_server_set_client_timeout_ms(int ms) { server.clientTimeoutMs.store(ms > 0 ? ms : 1); }
