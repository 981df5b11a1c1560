#include "tracks/gpx_recording.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>

#include "position/gps_fix.h"
#include "settings/app_settings.h"
#include "tracks/gpx_writer.h"
#include "settings/text_scan.h"

namespace {

using Clock = std::chrono::steady_clock;

// How often the fix record is looked at; a fix is taken once it has stood
// unchanged for one look, so a sentence being decoded is never half-taken.
constexpr auto kLook = std::chrono::milliseconds(25);
// A file that could not be created or written is tried again after this.
constexpr auto kRetry = std::chrono::seconds(60);
// Names of one second tried after the first: "-1" up to "-999".
constexpr int kMaxCopies = 999;

struct Config {
    std::string folder;
    int interval;
};

struct Shared {
    std::mutex lock;
    std::condition_variable wake;
    bool stop = false;
    std::string failure;               // not yet taken by the main thread
    std::string file;                  // being written; "" when none
    bool failureSaid = false;          // said since recording last worked
    std::atomic<int> pendingBreak{0};
    std::atomic<int> points{0};
    std::atomic<int> looks{0};
};

Shared shared;
std::thread recorder;
std::string runningFolder;             // of the running recorder; main thread

void fail(const std::string& what) {
    std::lock_guard<std::mutex> g(shared.lock);
    if (shared.failureSaid) return;
    shared.failure = what;
    shared.failureSaid = true;
}

void worked() {
    std::lock_guard<std::mutex> g(shared.lock);
    shared.failureSaid = false;
}

// Equal as the file writes them.
bool samePlace(const GpsFixSnapshot& f, double lat, double lon) {
    return std::llround(f.latitude * 1e7) == std::llround(lat * 1e7) &&
           std::llround(f.longitude * 1e7) == std::llround(lon * 1e7);
}

int64_t dayOf(int64_t t) { return t >= 0 ? t / 86400 : -((-t + 86399) / 86400); }

struct Recorder {
    Config config;
    GpxWriter writer{-1, 0, 0, 0, 0};
    std::string path;
    int64_t day = INT64_MIN;           // UTC day of the open file
    Clock::time_point retryAt{};
    int64_t lastTime = GPX_TIME_UNKNOWN;
    double lastLat = 0, lastLon = 0;   // of the last point
    unsigned lastCount = 0;            // position count of the last point
    bool anyPoint = false;
    bool gap = false;                  // the next point opens a new segment
    Clock::time_point lastNews{};
    GpsFixSnapshot seen{};             // at the previous look

    bool open(int64_t time, const char* utc) {
        if (writer.fd >= 0 && dayOf(time) == day) return true;
        if (writer.fd < 0 && Clock::now() < retryAt) return false;
        gpx_writer_close(&writer);
        // The folder of the settings is made when missing, as the maps folder is;
        // what stands in the way shows in the failure to create the file.
        std::error_code ignored;
        std::filesystem::create_directories(config.folder, ignored);
        std::string track = std::string("Kiv ") + utc;
        // A file of the same second exists when a replayed log or a receiver's
        // date returns to it: the next free name.
        for (int copy = 0;; ++copy) {
            char name[SETTINGS_PATH_MAX + 32];
            if (!gpx_file_name(name, sizeof name, config.folder.c_str(), time, copy)) {
                fail("GPX recording: the folder name " + config.folder + " is too long");
                retryAt = Clock::now() + kRetry;
                return false;
            }
            path = name;
            // A drive's record must outlive a power cut.
            if (gpx_writer_open(&writer, name, track.c_str(), 1)) break;
            if (writer.error != EEXIST || copy == kMaxCopies) {
                fail("GPX recording: cannot create " + path + ": " + strerror(writer.error));
                retryAt = Clock::now() + kRetry;
                return false;
            }
        }
        day = dayOf(time);
        gap = false;
        std::lock_guard<std::mutex> g(shared.lock);
        shared.file = path;
        return true;
    }

    void record(const GpsFixSnapshot& f, int64_t time) {
        if (!open(time, f.utc)) return;
        GpxPoint p = gpx_point(f.latitude, f.longitude);
        p.time = time;
        p.fix = f.mode;
        // Only a three-dimensional fix has a height.
        if (f.mode == 3) p.ele = f.altitude;
        p.speed = f.speed;
        p.course = f.course;
        p.sat = f.satellitesUsed;
        p.hdop = f.hdop;
        bool reopened = shared.pendingBreak.exchange(0) != 0;
        if (gap || reopened) gpx_writer_break(&writer);
        if (!gpx_writer_point(&writer, &p)) {
            fail("GPX recording: cannot write " + path + ": " + strerror(writer.error));
            gpx_writer_close(&writer);
            retryAt = Clock::now() + kRetry;
            return;
        }
        worked();
        shared.points.fetch_add(1);
        gap = false;
        lastTime = time;
        lastLat = f.latitude;
        lastLon = f.longitude;
        anyPoint = true;
    }

    void look() {
        GpsFixSnapshot f;
        gps_fix_snapshot(&f);
        Clock::time_point now = Clock::now();
        if (!f.hasPosition) {
            if (anyPoint) gap = true;
            seen = f;
            return;
        }
        bool settled = f.positionCount == seen.positionCount && strcmp(f.utc, seen.utc) == 0 &&
                       f.latitude == seen.latitude && f.longitude == seen.longitude && seen.hasPosition;
        bool fresh = f.positionCount != seen.positionCount;
        seen = f;
        if (fresh) {
            // A receiver silent for a while: what comes next is a new piece.
            if (anyPoint && now - lastNews > std::chrono::seconds(STALE_FIX_SECONDS)) gap = true;
            lastNews = now;
        }
        if (!settled || (anyPoint && f.positionCount == lastCount)) return;
        int64_t time = gpx_time_from_text(f.utc);
        if (time == GPX_TIME_UNKNOWN) return;
        if (lastTime != GPX_TIME_UNKNOWN && time < lastTime) {
            // The receiver's time stepped back (a reset, a replayed log):
            // follow it in a new segment.
            gap = true;
        } else if (lastTime != GPX_TIME_UNKNOWN && time - lastTime < config.interval) {
            return;
        } else if (time == lastTime && samePlace(f, lastLat, lastLon)) {
            // RMC, GGA and GLL of one epoch, each a new position count:
            // one fix, whatever the interval.
            return;
        }
        lastCount = f.positionCount;
        record(f, time);
    }

    void run() {
        std::unique_lock<std::mutex> g(shared.lock);
        while (!shared.stop) {
            shared.wake.wait_for(g, kLook, [] { return shared.stop; });
            if (shared.stop) break;
            g.unlock();
            look();
            shared.looks.fetch_add(1);
            g.lock();
        }
        g.unlock();
        gpx_writer_close(&writer);
    }
};

}  // namespace

void gpx_recording_update(const AppSettings* s) {
    std::string folder = s && s->track ? s->gpxFolder : "";
    if (recorder.joinable() && folder == runningFolder) return;
    gpx_recording_stop();
    if (folder.empty()) return;
    runningFolder = folder;
    Config config{folder, s->gpxInterval < 0 ? 0 : s->gpxInterval};
    {
        std::lock_guard<std::mutex> g(shared.lock);
        shared.stop = false;
    }
    recorder = std::thread([config] {
        Recorder r;
        r.config = config;
        r.run();
    });
}

void gpx_recording_break() { shared.pendingBreak.store(1); }

void gpx_recording_stop() {
    if (recorder.joinable()) {
        {
            std::lock_guard<std::mutex> g(shared.lock);
            shared.stop = true;
        }
        shared.wake.notify_all();
        recorder.join();
    }
    runningFolder.clear();
    std::lock_guard<std::mutex> g(shared.lock);
    shared.failure.clear();
    shared.file.clear();
    shared.failureSaid = false;
    shared.pendingBreak.store(0);
    shared.points.store(0);
    shared.looks.store(0);
}

int gpx_recording_take_failure(char* out, size_t size) {
    std::lock_guard<std::mutex> g(shared.lock);
    if (shared.failure.empty()) return 0;
    copy_text(out, size, shared.failure.c_str());
    shared.failure.clear();
    return 1;
}

int gpx_recording_points() { return shared.points.load(); }

int gpx_recording_looks() { return shared.looks.load(); }

int gpx_recording_file(char* out, size_t size) {
    std::lock_guard<std::mutex> g(shared.lock);
    if (shared.file.empty()) return 0;
    copy_text(out, size, shared.file.c_str());
    return 1;
}
