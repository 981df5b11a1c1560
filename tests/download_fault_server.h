// A loopback map server for the download tests that answers each request
// as the test says: good pages and images, broken ones, chunked ones,
// half ones or none at all. It keeps every request line it received.
#pragma once
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct FaultReply {
    enum Mode { SEND, SEND_AND_HOLD, CLOSE, HOLD } mode = SEND;
    std::string bytes;   // sent as they are (status line and headers included)
    // Staged replies: after bytes, pause() runs, then rest is sent; after()
    // runs once everything is sent and the connection is closed.
    std::function<void()> pause;
    std::string rest;
    std::function<void()> after;
};

inline FaultReply faultRaw(FaultReply::Mode mode, const std::string& bytes) {
    FaultReply r;
    r.mode = mode;
    r.bytes = bytes;
    return r;
}

inline FaultReply faultOk(const std::string& body, const char* type = "text/html") {
    return faultRaw(FaultReply::SEND, "HTTP/1.1 200 OK\r\nContent-Type: " + std::string(type) +
                                          "\r\nContent-Length: " + std::to_string(body.size()) +
                                          "\r\nConnection: close\r\n\r\n" + body);
}

inline FaultReply faultStatus(int status, const char* reason, const std::string& body) {
    return faultRaw(FaultReply::SEND, "HTTP/1.1 " + std::to_string(status) + " " + reason +
                                          "\r\nContent-Type: text/html\r\nContent-Length: " +
                                          std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
}

// Chunks of at most chunk bytes, a chunk extension on the first, a trailer.
inline FaultReply faultChunked(const std::string& body, size_t chunk, const char* type = "text/html") {
    std::string out = "HTTP/1.1 200 OK\r\nContent-Type: " + std::string(type) +
                      "\r\nTransfer-Encoding: chunked\r\nConnection: close\r\n\r\n";
    char size[32];
    for (size_t at = 0; at < body.size(); at += chunk) {
        size_t n = std::min(chunk, body.size() - at);
        snprintf(size, sizeof size, at == 0 ? "%zx;name=value\r\n" : "%zX\r\n", n);
        out += size + body.substr(at, n) + "\r\n";
    }
    out += "0\r\nX-Trailer: 1\r\n\r\n";
    return faultRaw(FaultReply::SEND, out);
}

class FaultServer {
public:
    using Handler = std::function<FaultReply(const std::string& requestLine)>;

    // With wholeHead the handler is given the request's whole head (its
    // header lines too) instead of the first line; with anyAddress it is
    // reached at every address of this machine, not only the loopback one.
    explicit FaultServer(Handler handler, bool wholeHead = false, bool anyAddress = false)
        : handler_(std::move(handler)), wholeHead_(wholeHead) {
        listen_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(anyAddress ? INADDR_ANY : INADDR_LOOPBACK);
        bind(listen_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        listen(listen_, 16);
        socklen_t len = sizeof a;
        getsockname(listen_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
        thread_ = std::thread([this] { run(); });
    }
    ~FaultServer() {
        stop_ = true;
        thread_.join();
        for (std::thread& t : clients_) t.join();
        close(listen_);
    }
    int port() const { return port_; }
    std::string root() const { return "http://127.0.0.1:" + std::to_string(port_); }
    std::vector<std::string> requests() {
        std::lock_guard<std::mutex> lock(mutex_);
        return requests_;
    }
    int requestCount() { return static_cast<int>(requests().size()); }
    std::vector<std::string> heads() {
        std::lock_guard<std::mutex> lock(mutex_);
        return heads_;
    }
    // Blocks a handler until n requests have arrived (or a few seconds pass).
    void waitForRequests(int n) {
        std::unique_lock<std::mutex> lock(mutex_);
        arrived_.wait_for(lock, std::chrono::seconds(5), [&] { return static_cast<int>(requests_.size()) >= n; });
    }

private:
    void run() {
        while (!stop_) {
            pollfd p = {listen_, POLLIN, 0};
            if (poll(&p, 1, 50) <= 0) continue;
            int c = accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
            if (c < 0) continue;
            clients_.emplace_back([this, c] { serve(c); });
        }
    }
    // Reads the head of one request; the first line is kept.
    void serve(int c) {
        std::string head;
        char buf[4096];
        while (head.find("\r\n\r\n") == std::string::npos && head.find("\n\n") == std::string::npos) {
            pollfd p = {c, POLLIN, 0};
            if (poll(&p, 1, 5000) <= 0) break;
            ssize_t n = recv(c, buf, sizeof buf, 0);
            if (n <= 0) break;
            head.append(buf, static_cast<size_t>(n));
        }
        std::string line = head.substr(0, head.find_first_of("\r\n"));
        {
            std::lock_guard<std::mutex> lock(mutex_);
            requests_.push_back(line);
            heads_.push_back(head);
        }
        arrived_.notify_all();
        FaultReply reply = handler_(wholeHead_ ? head : line);
        if (reply.mode == FaultReply::SEND || reply.mode == FaultReply::SEND_AND_HOLD) {
            sendAll(c, reply.bytes);
            if (reply.pause) {
                reply.pause();
                sendAll(c, reply.rest);
            }
        }
        if (reply.mode == FaultReply::HOLD || reply.mode == FaultReply::SEND_AND_HOLD)
            while (!stop_) {
                pollfd p = {c, POLLIN, 0};
                if (poll(&p, 1, 50) > 0 && recv(c, buf, sizeof buf, 0) <= 0) break;
            }
        close(c);
        if (reply.after) reply.after();
    }
    static void sendAll(int c, const std::string& bytes) {
        size_t at = 0;
        while (at < bytes.size()) {
            ssize_t n = send(c, bytes.data() + at, bytes.size() - at, MSG_NOSIGNAL);
            if (n <= 0) break;
            at += static_cast<size_t>(n);
        }
    }

    Handler handler_;
    bool wholeHead_ = false;
    int listen_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
    std::vector<std::thread> clients_;   // touched by the accept thread only, joined after it
    std::mutex mutex_;
    std::condition_variable arrived_;
    std::vector<std::string> requests_, heads_;
};
