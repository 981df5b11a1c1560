#include "net/connectivity.h"

#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

#include "net/http_client.h"
#include "net/sockets.h"
#include "net/url.h"
#include "platform/platform.h"
#include "settings/app_settings.h"

const char NET_DEFAULT_SERVER_URL[] = "http://127.0.0.1:8080/";
const char NET_PROBE_FILE[] = "tcpip.tmp";

namespace {

// The probe only needs to know that the server answers: a small page is
// enough, and a reply that runs past the cap has answered.
const int kProbeDeadlineMs = 10000;
const int64_t kProbeMaxBytes = 64 * 1024;

struct ProbeState {
    std::mutex lock;          // guards thread, url and file
    std::thread thread;
    std::string url, file;
    std::atomic<int> result{-1};
    std::atomic<int> applied{0};
    std::atomic<int> cancel{0};
    // A probe still running at exit is cut short; it removes its file.
    ~ProbeState() {
        cancel.store(1);
        if (thread.joinable()) thread.join();
    }
};

ProbeState probe;

void server_root(const char* serverUrl, char* out, int size) {
    char host[NET_NAME_SIZE], path[NET_NAME_SIZE];
    int port = 80;
    if (!ParseUrl(serverUrl, host, path, &port) || !host[0])
        std::snprintf(out, static_cast<size_t>(size), "%s", serverUrl);
    else if (port == 80 || port == 0)
        std::snprintf(out, static_cast<size_t>(size), "http://%s/", host);
    else
        std::snprintf(out, static_cast<size_t>(size), "http://%s:%d/", host, port);
}

}  // namespace

int connectivity_probe_url(const char* url, const char* file, const std::atomic<int>* cancel) {
    unlink(file);
    // The answer matters, not its bytes: a working folder that takes no
    // file must not pass for a network that gives no answer.
    std::string elsewhere;
    if (FILE* f = fopen(file, "wb")) {
        fclose(f);
    } else {
        const char* tmp = getenv("TMPDIR");
        elsewhere = std::string(tmp && tmp[0] ? tmp : "/tmp") + "/kiv_probe." + std::to_string(static_cast<long>(getpid()));
        file = elsewhere.c_str();
    }
    HttpTransfer t;
    t.deadlineMs = kProbeDeadlineMs;
    t.maxBytes = kProbeMaxBytes;
    t.cancel = cancel;
    int result = HttpTransferToFile(url, nullptr, file, &t) || t.stop == HTTP_TOO_BIG;
    unlink(file);
    return result;
}

void probe_url(const AppSettings* settings, char* out, int size) {
    if (settings->probeUrl[0])
        std::snprintf(out, static_cast<size_t>(size), "%s", settings->probeUrl);
    else
        server_root(settings->serverUrl[0] ? settings->serverUrl : NET_DEFAULT_SERVER_URL, out, size);
}

int probe_connectivity(const AppSettings* settings) {
    char url[NET_NAME_SIZE];
    probe_url(settings, url, sizeof url);
    return connectivity_probe_url(url, NET_PROBE_FILE, nullptr);
}

int connectivity_probe_thread(const char* url, const char* file) {
    int result = connectivity_probe_url(url, file, &probe.cancel);
    probe.result.store(result);
    platform_invalidate(0);            // a paint and the timer come soon
    return result;
}

int connectivity_probe_start(const AppSettings* settings, const char* file) {
    std::lock_guard<std::mutex> g(probe.lock);
    if (probe.thread.joinable()) {
        if (probe.result.load() < 0) return 0;  // still probing
        probe.thread.join();
    }
    char url[NET_NAME_SIZE];
    probe_url(settings, url, sizeof url);
    probe.url = url;
    probe.file = file;
    probe.result.store(-1);
    probe.applied.store(0);
    probe.cancel.store(0);
    http_client_start();
    probe.thread = std::thread([] { connectivity_probe_thread(probe.url.c_str(), probe.file.c_str()); });
    return 1;
}

int connectivity_probe_running() {
    std::lock_guard<std::mutex> g(probe.lock);
    return probe.thread.joinable() && probe.result.load() < 0;
}

int connectivity_probe_poll(AppSettings* settings) {
    if (probe.result.load() != 1 || probe.applied.exchange(1)) return 0;
    connectivity_go_online(settings);
    return 1;
}

void connectivity_probe_finish() {
    std::lock_guard<std::mutex> g(probe.lock);
    probe.cancel.store(1);
    if (probe.thread.joinable()) probe.thread.join();
}

int connectivity_probe_result() { return probe.result.load(); }

void connectivity_go_online(AppSettings* settings) {
    settings->online = 1;
}
