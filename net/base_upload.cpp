#include "net/base_upload.h"

#include <atomic>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "net/http_client.h"
#include "platform/platform.h"
#include "position/gps_fix.h"
#include "settings/app_settings.h"

namespace {

// One variable serves upload and keep-alive: an instance does only one of them.
std::atomic<int64_t> lastBaseTime{0};

// The interval is over, or nothing was sent yet (0), even in the first
// minute after boot, where the monotonic clock starts.
bool base_due(int64_t now) {
    int64_t last = lastBaseTime.load();
    return last == 0 || now > last + BASE_INTERVAL_SECONDS;
}

int append_fixed(char*& at, char* end, double value) {
    auto r = std::to_chars(at, end, value, std::chars_format::fixed, 6);
    if (r.ec != std::errc()) return 0;
    at = r.ptr;
    return 1;
}

int append_text(char*& at, char* end, const char* text) {
    size_t n = std::strlen(text);
    if (static_cast<size_t>(end - at) < n) return 0;
    std::memcpy(at, text, n);
    at += n;
    return 1;
}

}  // namespace

int base_upload_body(double latitude, double longitude, char* out, int size) {
    if (size <= 0) return 0;
    out[0] = 0;
    if (!std::isfinite(latitude) || !std::isfinite(longitude)) return 0;
    char* at = out;
    char* end = out + size - 1;  // room for the terminating zero
    if (!append_text(at, end, "latitude=") || !append_fixed(at, end, latitude) ||
        !append_text(at, end, "&longitude=") || !append_fixed(at, end, longitude)) {
        out[0] = 0;
        return 0;
    }
    *at = 0;
    return 1;
}

int base_upload_plan(AppSettings* settings, BaseJob* job) {
    job->kind = BASE_JOB_NONE;
    job->url[0] = 0;
    job->body[0] = 0;
    if (!settings->baseEnabled) return BASE_JOB_NONE;

    if (settings->deviceType == DEVICE_REMOTE) {
        int64_t now = platform_monotonic_seconds();
        if (base_due(now)) {
            std::snprintf(job->url, sizeof job->url, "http://%s:%d/", settings->baseHost, settings->basePort);
            job->kind = BASE_JOB_KEEPALIVE;
            lastBaseTime.store(now);
        }
        return job->kind;
    }

    if (!gps_has_position()) return BASE_JOB_NONE;
    double latitude = gps_latitude();
    double longitude = gps_longitude();
    int64_t now = platform_monotonic_seconds();
    bool due = base_due(now) ||
               std::fabs(latitude - program_settings.startLatitude) > BASE_MOVE_DEGREES ||
               std::fabs(longitude - program_settings.startLongitude) > BASE_MOVE_DEGREES;
    if (!due || !base_upload_body(latitude, longitude, job->body, sizeof job->body)) return BASE_JOB_NONE;
    std::snprintf(job->url, sizeof job->url, "http://%s:%d/kiv/sendbase.cgi", settings->baseHost,
                  settings->basePort);
    job->kind = BASE_JOB_UPLOAD;
    program_settings.startLatitude = latitude;
    program_settings.startLongitude = longitude;
    lastBaseTime.store(now);
    return job->kind;
}

int base_upload_run(const BaseJob* job, const std::atomic<int>* cancel) {
    HttpTransfer t;
    t.cancel = cancel;
    switch (job->kind) {
    case BASE_JOB_KEEPALIVE:
        return HttpTransferToFile(job->url, nullptr, nullptr, &t);
    case BASE_JOB_UPLOAD:
        return HttpTransferToFile(job->url, job->body, nullptr, &t);
    default:
        return 0;
    }
}

void base_upload_tick(AppSettings* settings) {
    BaseJob job;
    if (base_upload_plan(settings, &job) != BASE_JOB_NONE) base_upload_run(&job);
}

int64_t base_last_time() { return lastBaseTime.load(); }
void base_upload_reset() { lastBaseTime.store(0); }
