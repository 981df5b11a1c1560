#include "net/http_client.h"

#include <curl/curl.h>
#include <fcntl.h>
#include <unistd.h>

#include <strings.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <string>

#include "net/proxy.h"
#include "settings/program_version.h"
#include "net/sockets.h"

namespace {

using Clock = std::chrono::steady_clock;

const int kPollMs = 100;  // how soon a cancel or a deadline is seen while the line is quiet

std::once_flag curlStarted;
std::mutex caLock;
std::string caFile;
std::mutex contactLock;
std::string contact;

// What the callbacks share with the transfer loop.
struct Exchange {
    int fd = -1;
    int64_t maxBytes = 0;
    int64_t bytes = 0;
    bool tooBig = false;
    bool writeFailed = false;
    Clock::time_point lastActivity;
    bool headersEnded = false;  // the blank line after the last reply's headers came
    // Caching headers of the last reply.
    std::string etag, lastModified;
    long maxAge = -1, age = 0;
    bool noCache = false, expiresSaid = false;
    time_t expires = -1, date = -1;
    // Request going out, for the send-only form.
    bool headerSent = false;
    size_t bodyToSend = 0;
    size_t bodySent = 0;
};

size_t on_body(char* data, size_t size, size_t count, void* context) {
    Exchange* x = static_cast<Exchange*>(context);
    size_t n = size * count;
    x->lastActivity = Clock::now();
    if (x->fd < 0) return n;  // send-only: the reply is not stored
    if (x->bytes + static_cast<int64_t>(n) > x->maxBytes) {
        x->tooBig = true;
        return 0;
    }
    for (size_t done = 0; done < n;) {
        ssize_t w = write(x->fd, data + done, n - done);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) {
            x->writeFailed = true;
            return 0;
        }
        done += static_cast<size_t>(w);
    }
    x->bytes += static_cast<int64_t>(n);
    return n;
}

// The value of a "Name: value" line when its name is name (any case).
bool header_value(const std::string& line, const char* name, std::string* value) {
    size_t len = std::strlen(name);
    if (line.size() <= len || line[len] != ':' || strncasecmp(line.c_str(), name, len) != 0) return false;
    size_t from = line.find_first_not_of(" \t", len + 1), to = line.find_last_not_of(" \t\r\n");
    *value = from == std::string::npos || to < from ? "" : line.substr(from, to - from + 1);
    return true;
}

void read_cache_header(const std::string& line, Exchange* x) {
    std::string v;
    if (header_value(line, "ETag", &v)) x->etag = v;
    if (header_value(line, "Last-Modified", &v)) x->lastModified = v;
    if (header_value(line, "Expires", &v)) {
        // "0" or any date that does not read means already expired.
        x->expiresSaid = true;
        x->expires = curl_getdate(v.c_str(), nullptr);
    }
    if (header_value(line, "Date", &v)) x->date = curl_getdate(v.c_str(), nullptr);
    if (header_value(line, "Age", &v)) x->age = std::max(0L, std::strtol(v.c_str(), nullptr, 10));
    if (header_value(line, "Cache-Control", &v)) {
        // Every Cache-Control line of a reply adds to the others.
        for (char& c : v) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        for (size_t at = 0; at < v.size();) {
            size_t end = v.find(',', at);
            if (end == std::string::npos) end = v.size();
            size_t from = v.find_first_not_of(" \t", at);
            std::string d = from < end ? v.substr(from, end - from) : "";
            if (d.compare(0, 8, "max-age=") == 0) x->maxAge = std::strtol(d.c_str() + 8, nullptr, 10);
            if (d.compare(0, 8, "no-cache") == 0 || d.compare(0, 8, "no-store") == 0) x->noCache = true;
            at = end + 1;
        }
    }
}

size_t on_header(char* line, size_t size, size_t count, void* context) {
    Exchange* x = static_cast<Exchange*>(context);
    size_t n = size * count;
    x->lastActivity = Clock::now();
    // A reply cut inside its headers is no reply, whatever came of it.
    if (n >= 5 && std::memcmp(line, "HTTP/", 5) == 0) {
        x->headersEnded = false;
        x->etag.clear();
        x->lastModified.clear();
        x->maxAge = -1;
        x->age = 0;
        x->noCache = x->expiresSaid = false;
        x->expires = x->date = -1;
    }
    read_cache_header(std::string(line, n), x);
    if ((n == 2 && line[0] == '\r' && line[1] == '\n') || (n == 1 && line[0] == '\n')) x->headersEnded = true;
    return n;
}

// Watches the request go out (the send-only form needs no reply).
int on_debug(CURL*, curl_infotype type, char*, size_t size, void* context) {
    Exchange* x = static_cast<Exchange*>(context);
    if (type == CURLINFO_HEADER_OUT) x->headerSent = true;
    if (type == CURLINFO_DATA_OUT) x->bodySent += size;
    return 0;
}

bool request_sent(const Exchange& x) { return x.headerSent && x.bodySent >= x.bodyToSend; }

// Why the transfer failed, in words for a message: libcurl's own text, with
// the system's reason for a refused connection.
void report(CURL* easy, CURLcode code, const char* detail, bool writeFailed, HttpTransfer* t) {
    if (writeFailed) {
        std::snprintf(t->error, sizeof t->error, "the reply cannot be written to its file");
        return;
    }
    long osError = 0;
    if (code == CURLE_COULDNT_CONNECT && curl_easy_getinfo(easy, CURLINFO_OS_ERRNO, &osError) == CURLE_OK &&
        osError != 0) {
        std::snprintf(t->error, sizeof t->error, "%s (%s)", detail, std::strerror(static_cast<int>(osError)));
        return;
    }
    std::snprintf(t->error, sizeof t->error, "%s", detail);
}

// What is left of the reply's freshness: its lifetime (max-age, else
// Expires - Date, an Expires that does not read being in the past) less
// the age it had on arrival; -1 when it says no lifetime.
long freshSeconds(const Exchange& x) {
    if (x.noCache) return 0;
    long lifetime = -1;
    if (x.maxAge >= 0)
        lifetime = x.maxAge;
    else if (x.expiresSaid)
        lifetime = x.expires < 0 ? 0 : static_cast<long>(x.expires - (x.date >= 0 ? x.date : time(nullptr)));
    return lifetime < 0 && !x.expiresSaid ? -1 : std::max(0L, lifetime - x.age);
}

void start_curl() { curl_global_init(CURL_GLOBAL_DEFAULT); }

// Scheme and host of the URL, as libcurl reads it, the host with the port
// the URL names when that is not the scheme's own (as the Host line needs).
bool url_parts(const char* url, std::string* scheme, std::string* host) {
    CURLU* u = curl_url();
    if (!u) return false;
    bool ok = curl_url_set(u, CURLUPART_URL, url, CURLU_GUESS_SCHEME | CURLU_PATH_AS_IS) == CURLUE_OK;
    char* part = nullptr;
    if (ok && curl_url_get(u, CURLUPART_SCHEME, &part, 0) == CURLUE_OK) {
        *scheme = part;
        curl_free(part);
    } else {
        ok = false;
    }
    part = nullptr;
    if (ok && curl_url_get(u, CURLUPART_HOST, &part, 0) == CURLUE_OK) {
        *host = part;
        curl_free(part);
    } else {
        ok = false;
    }
    part = nullptr;
    if (ok && curl_url_get(u, CURLUPART_PORT, &part, 0) == CURLUE_OK && part) {
        std::string port = part;
        if (!(*scheme == "http" && port == "80") && !(*scheme == "https" && port == "443")) *host += ":" + port;
        curl_free(part);
    }
    curl_url_cleanup(u);
    return ok;
}

std::string ca_bundle() {
    std::lock_guard<std::mutex> g(caLock);
    if (!caFile.empty()) return caFile;
    const char* env = std::getenv("CURL_CA_BUNDLE");
    return env ? env : "";
}

int fail_early(const char* where, HttpTransfer* t) {
    std::snprintf(t->error, sizeof t->error, "%s", where);
    t->stop = HTTP_FAILED;
    return 0;
}

}  // namespace

int HttpTransferToFile(const char* url, const char* body, const char* outputFile, HttpTransfer* t) {
    t->stop = HTTP_FAILED;
    t->status = 0;
    t->bytes = 0;
    t->contentType[0] = 0;
    t->error[0] = 0;
    if (!url || strnlen(url, NET_NAME_SIZE) >= NET_NAME_SIZE) return fail_early("the address is too long", t);
    size_t bodyLength = body ? strnlen(body, NET_BUFFER_SIZE) : 0;
    if (bodyLength >= NET_BUFFER_SIZE - 512) return fail_early("request too long", t);
    std::string scheme, host;
    if (!url_parts(url, &scheme, &host)) return fail_early("not a valid address", t);
    http_client_start();

    CURL* easy = curl_easy_init();
    CURLM* multi = curl_multi_init();
    if (!easy || !multi) {
        if (easy) curl_easy_cleanup(easy);
        if (multi) curl_multi_cleanup(multi);
        return fail_early("curl_easy_init", t);
    }
    char detail[CURL_ERROR_SIZE] = "";
    Exchange x;
    x.maxBytes = t->maxBytes > 0 ? t->maxBytes : HTTP_MAX_BYTES;

    // The request text as the old map server and base server know it: the
    // Host line (with a port other than the scheme's), "Connection: close", the User-Agent tile
    // services require and the validators of a cached copy, nothing else.
    curl_slist* headers = nullptr;
    if (scheme == "http") headers = curl_slist_append(headers, ("Host: " + host).c_str());
    headers = curl_slist_append(headers, "Connection: close");
    headers = curl_slist_append(headers, ("User-Agent: " + http_user_agent()).c_str());
    if (!t->etag.empty()) headers = curl_slist_append(headers, ("If-None-Match: " + t->etag).c_str());
    if (!t->lastModified.empty())
        headers = curl_slist_append(headers, ("If-Modified-Since: " + t->lastModified).c_str());
    headers = curl_slist_append(headers, "Accept:");
    headers = curl_slist_append(headers, "Proxy-Connection:");
    std::string posted;
    if (body) {
        headers = curl_slist_append(headers, "Content-type: application/x-www-form-urlencoded");
        headers = curl_slist_append(headers, ("Content-length: " + std::to_string(bodyLength)).c_str());
        headers = curl_slist_append(headers, "Expect:");
        // The line end after the body is sent but not counted.
        posted.assign(body, bodyLength);
        posted += "\r\n";
        x.bodyToSend = posted.size();
    }

    curl_easy_setopt(easy, CURLOPT_URL, url);
    curl_easy_setopt(easy, CURLOPT_DEFAULT_PROTOCOL, "http");
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(easy, CURLOPT_MAXREDIRS, static_cast<long>(HTTP_REDIRECTS));
    curl_easy_setopt(easy, CURLOPT_PATH_AS_IS, 1L);
    curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, detail);
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(net_connect_timeout_ms()));
    int deadlineMs = t->deadlineMs > 0 ? t->deadlineMs : HTTP_DEADLINE_MS;
    curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, static_cast<long>(deadlineMs));
    curl_easy_setopt(easy, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(x.maxBytes));
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, on_body);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &x);
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, on_header);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, &x);
    std::string ca = ca_bundle();
    if (!ca.empty()) curl_easy_setopt(easy, CURLOPT_CAINFO, ca.c_str());
    if (body) {
        curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(posted.size()));
        curl_easy_setopt(easy, CURLOPT_POSTFIELDS, posted.c_str());
    }
    char proxyHost[NET_NAME_SIZE];
    int proxyPort = 0;
    std::string proxy;
    if (ReadProxyFile(body ? PROXY_LINE_POST : PROXY_LINE_GET, proxyHost, &proxyPort)) {
        proxy = "http://" + std::string(proxyHost) + ":" + std::to_string(proxyPort);
        curl_easy_setopt(easy, CURLOPT_PROXY, proxy.c_str());
    }

    if (outputFile) x.fd = open(outputFile, O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (outputFile && x.fd < 0) {
        std::snprintf(t->error, sizeof t->error, "the reply file %s cannot be created (%s)", outputFile,
                      std::strerror(errno));
        curl_easy_cleanup(easy);
        curl_multi_cleanup(multi);
        curl_slist_free_all(headers);
        t->stop = HTTP_FAILED;
        return 0;
    }
    // Without a file to store into, the request is only sent.
    bool sendOnly = x.fd < 0;
    if (sendOnly) {
        curl_easy_setopt(easy, CURLOPT_VERBOSE, 1L);
        curl_easy_setopt(easy, CURLOPT_DEBUGFUNCTION, on_debug);
        curl_easy_setopt(easy, CURLOPT_DEBUGDATA, &x);
    }

    const Clock::time_point start = Clock::now();
    const Clock::time_point deadline = start + std::chrono::milliseconds(deadlineMs);
    const auto silence = std::chrono::milliseconds(net_receive_timeout_ms());
    x.lastActivity = start;
    Clock::time_point windowStart = start;
    int64_t windowBytes = 0;
    curl_multi_add_handle(multi, easy);
    int stop = -1;
    CURLcode code = CURLE_OK;
    for (;;) {
        int running = 0;
        if (curl_multi_perform(multi, &running) != CURLM_OK) {
            stop = HTTP_FAILED;
            std::snprintf(detail, sizeof detail, "%s", "transfer loop failed");
            break;
        }
        if (!running) break;
        if (sendOnly && request_sent(x)) {
            stop = HTTP_DONE;
            break;
        }
        Clock::time_point now = Clock::now();
        if (t->cancel && t->cancel->load()) {
            stop = HTTP_CANCELLED;
            std::snprintf(detail, sizeof detail, "%s", "cancelled");
            break;
        }
        // A server that drips bytes is never silent, yet no reply comes of it.
        if (t->minBytesPerSecond > 0 && t->stallWindowMs > 0 &&
            now - windowStart >= std::chrono::milliseconds(t->stallWindowMs)) {
            if ((x.bytes - windowBytes) * 1000 < t->minBytesPerSecond * t->stallWindowMs) {
                stop = HTTP_TIMED_OUT;
                std::snprintf(detail, sizeof detail, "fewer than %lld bytes a second for %d s",
                              static_cast<long long>(t->minBytesPerSecond), t->stallWindowMs / 1000);
                break;
            }
            windowStart = now;
            windowBytes = x.bytes;
        }
        if (now >= deadline || (!sendOnly && now - x.lastActivity > silence)) {
            stop = HTTP_TIMED_OUT;
            std::snprintf(detail, sizeof detail, "%s", now >= deadline ? "deadline passed" : "server went silent");
            break;
        }
        curl_multi_poll(multi, nullptr, 0, kPollMs, nullptr);
    }
    if (stop < 0) {
        int left = 0;
        while (CURLMsg* m = curl_multi_info_read(multi, &left))
            if (m->msg == CURLMSG_DONE) code = m->data.result;
        if (x.tooBig || code == CURLE_FILESIZE_EXCEEDED) {
            stop = HTTP_TOO_BIG;
            std::snprintf(detail, sizeof detail, "reply larger than %lld bytes", static_cast<long long>(x.maxBytes));
        } else if (code == CURLE_OPERATION_TIMEDOUT && Clock::now() >= deadline - std::chrono::milliseconds(kPollMs)) {
            stop = HTTP_TIMED_OUT;
        } else {
            stop = code == CURLE_OK && !x.writeFailed && (x.headersEnded || sendOnly) ? HTTP_DONE : HTTP_FAILED;
            if (code == CURLE_OK && !x.headersEnded && !sendOnly)
                std::snprintf(detail, sizeof detail, "%s", "reply ended inside its headers");
        }
        if (code != CURLE_OK && !detail[0]) std::snprintf(detail, sizeof detail, "%s", curl_easy_strerror(code));
    }
    if (sendOnly && request_sent(x) && stop != HTTP_CANCELLED) stop = HTTP_DONE;
    if (stop != HTTP_DONE) report(easy, code, detail, x.writeFailed, t);
    curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &t->status);
    char* type = nullptr;
    if (curl_easy_getinfo(easy, CURLINFO_CONTENT_TYPE, &type) == CURLE_OK && type)
        std::snprintf(t->contentType, sizeof t->contentType, "%s", type);
    curl_multi_remove_handle(multi, easy);
    curl_easy_cleanup(easy);
    curl_multi_cleanup(multi);
    curl_slist_free_all(headers);

    t->stop = stop;
    t->bytes = x.bytes;
    if (t->status != 304) {
        t->etag = x.etag;
        t->lastModified = x.lastModified;
    }
    t->maxAgeSeconds = freshSeconds(x);
    if (x.fd >= 0) {
        if (close(x.fd) != 0 && stop == HTTP_DONE) t->stop = HTTP_FAILED;
        // A half-received body must not pass for a good file.
        if (t->stop != HTTP_DONE) unlink(outputFile);
    }
    return t->stop == HTTP_DONE ? 1 : 0;
}

void http_client_start() { std::call_once(curlStarted, start_curl); }

int HttpGetToFile(const char* url, const char* outputFile) {
    HttpTransfer t;
    return HttpTransferToFile(url, nullptr, outputFile, &t);
}

int HttpPostToFile(const char* url, const char* body, const char* outputFile) {
    HttpTransfer t;
    return HttpTransferToFile(url, body ? body : "", outputFile, &t);
}

void http_set_contact(const char* text) {
    std::lock_guard<std::mutex> g(contactLock);
    contact = text ? text : "";
}

std::string http_user_agent() {
    std::lock_guard<std::mutex> g(contactLock);
    std::string agent = std::string("Kiv/") + kiv_version;
    return contact.empty() ? agent : agent + " (+" + contact + ")";
}

void http_set_ca_file(const char* path) {
    std::lock_guard<std::mutex> g(caLock);
    caFile = path ? path : "";
}
