// Reporting the position to a base server, and the keep-alive of a REMOTE
// instance, as the window timer asks every tick.
#pragma once

#include <atomic>
#include <cstdint>

#include "net/sockets.h"

struct AppSettings;

enum BaseJobKind { BASE_JOB_NONE = 0, BASE_JOB_KEEPALIVE = 1, BASE_JOB_UPLOAD = 2 };
enum { BASE_INTERVAL_SECONDS = 60, BASE_BODY_SIZE = 128 };
constexpr double BASE_MOVE_DEGREES = 0.0005;

// One request to make: GET url (keep-alive) or POST body to url (upload).
struct BaseJob {
    int kind;
    char url[NET_NAME_SIZE];
    char body[BASE_BODY_SIZE];
};

// Decides this tick's request by the keep-alive and upload conditions and
// records it as made (last time, last uploaded position) whatever its
// outcome. Main thread. Returns the job's kind.
int base_upload_plan(AppSettings* settings, BaseJob* job);
// Makes the request; the reply is not read. Blocks up to the time-outs, or
// until cancel (when given) is set.
int base_upload_run(const BaseJob* job, const std::atomic<int>* cancel = nullptr);
// Plan and run on the calling thread.
void base_upload_tick(AppSettings* settings);

// "latitude=%lf&longitude=%lf" with six decimals, whatever the C locale.
// Returns 0 when the values are not finite or do not fit.
int base_upload_body(double latitude, double longitude, char* out, int size);

int64_t base_last_time();         // seconds since 1970 of the last request, 0 at start
void    base_upload_reset();      // back to program start (tests)
