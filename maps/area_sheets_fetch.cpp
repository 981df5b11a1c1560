#include "maps/area_sheets_fetch.h"

#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

#include "maps/map_view.h"
#include "maps/sheet_source.h"
#include "maps/sheet_source_settings.h"
#include "maps/sheet_store.h"
#include "settings/app_settings.h"

struct AreaFetch {
    std::vector<AreaSheet> sheets;
    AppSettings settings{};            // the workers' own copy of what downloads read
    AreaFetchJob job;                  // job.settings points at the copy
    AreaFetchSheetFn each;
    void* context;
    std::atomic<size_t> next{0};
    std::atomic<int> cancel{0};
    std::mutex lock;                   // counts, the callback, running
    std::condition_variable cancelled;
    AreaFetchCounts counts{};
    int running = 0;
    int failuresInARow = 0;
    std::vector<std::thread> workers;
};

namespace {

constexpr int kMaxJobs = 16;

int64_t fileSize(const char* path) {
    struct stat st;
    return stat(path, &st) == 0 && S_ISREG(st.st_mode) ? static_cast<int64_t>(st.st_size) : -1;
}

Result download(const AreaFetchJob& j, const AreaSheet& a, int stored, char* path) {
    const SheetDownloadHooks& h = j.downloads;
    if (stored && j.refresh)
        return h.refetchSheet ? h.refetchSheet(j.aerial, a.lat, a.lon, a.level, j.settings, path, j.bigMaps, j.rose, j.grid)
                              : result_fail("");
    if (j.aerial)
        return h.aerialSheet ? h.aerialSheet(a.lat, a.lon, a.level, j.settings, path, j.bigMaps) : result_fail("");
    return h.topoSheet ? h.topoSheet(a.lat, a.lon, a.level, j.settings, path, j.bigMaps, j.rose, j.grid)
                       : result_fail("");
}

// Tries a missing (or, renewing, a stored) sheet up to AREA_FETCH_TRIES times, a second, then two
// seconds apart. 1 and its size when it is stored; else 0 with the last
// attempt's reason in *why.
int fetchSheet(AreaFetch* f, const AreaSheet& a, int stored, int64_t* bytes, std::string* why) {
    for (int attempt = 0; attempt < AREA_FETCH_TRIES; attempt++) {
        if (attempt > 0) {
            std::unique_lock<std::mutex> g(f->lock);
            if (f->cancelled.wait_for(g, std::chrono::seconds(1 << (attempt - 1)), [f] { return f->cancel.load(); }))
                return 0;
        }
        char path[SHEET_PATH_MAX] = "";
        Result got = download(f->job, a, stored, path);
        if (got && (*bytes = fileSize(path)) >= 0) return 1;
        *why = got.why;
        if (f->cancel.load()) return 0;
    }
    *bytes = 0;
    return 0;
}

void work(AreaFetch* f) {
    const AreaFetchJob& j = f->job;
    for (;;) {
        size_t i = f->next++;
        if (i >= f->sheets.size() || f->cancel.load()) break;
        const AreaSheet& a = f->sheets[i];
        int64_t bytes = 0;
        int stored = area_sheet_stored(j.settings, a, j.aerial, j.bigMaps, &bytes);
        std::string why;
        int ok = stored && !j.refresh ? 2 : fetchSheet(f, a, stored, &bytes, &why);
        std::lock_guard<std::mutex> g(f->lock);
        AreaFetchCounts& c = f->counts;
        c.done++;
        if (ok == 1) c.fetched++, c.bytes += bytes;
        else if (ok == 2) c.skipped++;
        else c.failed++;
        if (ok == 1) f->failuresInARow = 0;
        // A cancelled transfer is no sign of an unreachable server.
        if (ok == 0 && !f->cancel.load() && ++f->failuresInARow >= AREA_FETCH_FAILURES_IN_A_ROW) {
            c.stopped = 1;
            f->cancel = 1;
            f->cancelled.notify_all();
        }
        if (f->each) f->each(a, ok, bytes, ok == 0 ? why.c_str() : "", f->context);
    }
    std::lock_guard<std::mutex> g(f->lock);
    if (--f->running == 0) f->counts.finished = 1;
}

}  // namespace

int area_sheet_stored(const AppSettings* s, const AreaSheet& a, int aerial, int bigMaps, int64_t* bytes) {
    char path[SHEET_PATH_MAX];
    if (sheet_stored(path, sheet_source_store_dir(s, aerial), a.lat, a.lon, a.level, bigMaps, aerial ? SHEET_JPEG : SHEET_GIF) < 0) return 0;
    int64_t n = fileSize(path);
    if (n < 0) return 0;
    if (bytes) *bytes = n;
    return 1;
}

AreaFetch* area_fetch_start(const std::vector<AreaSheet>& sheets, const AreaFetchJob& job, AreaFetchSheetFn each,
                            void* context) {
    auto* f = new AreaFetch;
    f->sheets = sheets;
    sheet_source_settings_copy(&f->settings, job.settings);
    f->job = job;
    f->job.settings = &f->settings;
    f->each = each;
    f->context = context;
    f->counts.total = static_cast<int>(sheets.size());
    int n = std::clamp(job.jobs, 1, kMaxJobs);
    n = std::max(1, std::min(n, static_cast<int>(sheets.size())));
    f->running = n;
    for (int i = 0; i < n; i++) f->workers.emplace_back(work, f);
    return f;
}

void area_fetch_counts(AreaFetch* f, AreaFetchCounts* out) {
    std::lock_guard<std::mutex> g(f->lock);
    *out = f->counts;
}

void area_fetch_cancel(AreaFetch* f) {
    std::lock_guard<std::mutex> g(f->lock);
    f->cancel = 1;
    f->cancelled.notify_all();
}

void area_fetch_end(AreaFetch* f) {
    for (std::thread& t : f->workers) t.join();
    delete f;
}
