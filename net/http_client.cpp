#include "net/http_client.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "net/http_reply.h"
#include "net/proxy.h"
#include "net/sockets.h"
#include "net/url.h"

namespace {

const char kFormType[] = "application/x-www-form-urlencoded";

// "http://host" or "http://host:port" for the absolute URI a proxy needs.
void absolute_prefix(char* out, size_t size, const char* host, int port, int viaProxy) {
    if (!viaProxy)
        out[0] = 0;
    else if (port == 0 || port == 80)
        std::snprintf(out, size, "http://%s", host);
    else
        std::snprintf(out, size, "http://%s:%d", host, port);
}

int fits(int n) { return (n >= 0 && n < NET_BUFFER_SIZE) ? n : -1; }

struct FileSink {
    int fd;
    int writeFailed;
};

int write_to_file(const char* bytes, int count, void* context) {
    FileSink* f = static_cast<FileSink*>(context);
    while (count > 0) {
        ssize_t n = write(f->fd, bytes, static_cast<size_t>(count));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            std::printf("Error: in write to file\n");
            f->writeFailed = 1;
            return 0;
        }
        bytes += n;
        count -= static_cast<int>(n);
    }
    return 1;
}

// Reads the reply into the open file; 1 when the body arrived whole.
int receive_reply(int socket, int fd) {
    std::vector<char> buffer(NET_BUFFER_SIZE);
    HttpReply* reply = new HttpReply;
    http_reply_init(reply);
    FileSink sink = {fd, 0};
    int ok = 0;
    for (;;) {
        ssize_t n = recv(socket, buffer.data(), buffer.size(), 0);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) break;  // error or receive time-out
        if (n == 0) {
            ok = http_reply_close(reply);
            break;
        }
        if (!http_reply_feed(reply, buffer.data(), static_cast<int>(n), write_to_file, &sink)) break;
        if (http_reply_done(reply)) {
            ok = 1;
            break;
        }
    }
    delete reply;
    return ok;
}

int http_request(const char* url, const char* body, const char* outputFile) {
    StartWinsock();
    int s = CreateSocket(NET_SOCK_STREAM);
    if (s == NET_INVALID_SOCKET) {
        StopWinsock();
        return 0;
    }
    int result = 0;
    char proxyHost[NET_NAME_SIZE], host[NET_NAME_SIZE], path[NET_NAME_SIZE];
    int proxyPort = 0, port = 80;
    std::vector<char> request(NET_BUFFER_SIZE);
    int length = -1;

    if (BindSocket(1, s, "http", "tcp", 0, 1) != 0) goto done;
    ReadProxyFile(body ? PROXY_LINE_POST : PROXY_LINE_GET, proxyHost, &proxyPort);
    if (!ParseUrl(url, host, path, &port)) {
        std::printf("Error: %d in %s\n", -1, "ParseUrl");
        goto done;
    }
    if (proxyPort != 0)
        length = body ? http_compose_post(request.data(), host, port, path, body, 1)
                      : http_compose_get(request.data(), host, port, path, 1);
    else
        length = body ? http_compose_post(request.data(), host, port, path, body, 0)
                      : http_compose_get(request.data(), host, port, path, 0);
    if (length < 0) {
        std::printf("Error: %d in %s\n", -1, "request too long");
        goto done;
    }
    if (proxyPort != 0) {
        if (ConnectToServer(5, s, proxyHost, "http", "tcp", proxyPort) != 0) goto done;
    } else if (port != 0 && port != 80) {
        if (ConnectToServer(5, s, host, "http", "tcp", port) != 0) goto done;
    } else if (ConnectToServer(4, s, host, "http", "tcp", port) != 0) {
        goto done;
    }
    net_apply_timeouts(s, net_receive_timeout_ms());
    if (!net_send_all(s, request.data(), length)) goto done;

    if (!outputFile) {
        result = 1;
        goto done;
    }
    {
        int fd = open(outputFile, O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        if (fd < 0) {
            result = 1;  // nothing to store into; the caller finds no file
            goto done;
        }
        result = receive_reply(s, fd);
        if (close(fd) != 0) result = 0;
        // A half-received body must not pass for a good file.
        if (!result) unlink(outputFile);
    }
done:
    CloseSocket(s);
    StopWinsock();
    return result;
}

}  // namespace

int http_compose_get(char* out, const char* host, int port, const char* path, int viaProxy) {
    char prefix[NET_NAME_SIZE + 16];
    absolute_prefix(prefix, sizeof prefix, host, port, viaProxy);
    return fits(std::snprintf(out, NET_BUFFER_SIZE, "GET %s%s HTTP/1.1\r\nHost: %s\r\nConnection: close\r\n\r\n",
                              prefix, path, host));
}

int http_compose_post(char* out, const char* host, int port, const char* path, const char* body,
                      int viaProxy) {
    char prefix[NET_NAME_SIZE + 16];
    absolute_prefix(prefix, sizeof prefix, host, port, viaProxy);
    size_t bodyLength = strnlen(body, NET_BUFFER_SIZE);
    if (bodyLength >= NET_BUFFER_SIZE) return -1;
    return fits(std::snprintf(out, NET_BUFFER_SIZE,
                              "POST %s%s HTTP/1.1\r\nHost: %s\r\nConnection: close\r\n"
                              "Content-type: %s\r\nContent-length: %d\r\n\r\n%s\r\n",
                              prefix, path, host, kFormType, static_cast<int>(bodyLength), body));
}

int HttpGetToFile(const char* url, const char* outputFile) { return http_request(url, nullptr, outputFile); }

int HttpPostToFile(const char* url, const char* body, const char* outputFile) {
    return http_request(url, body ? body : "", outputFile);
}
