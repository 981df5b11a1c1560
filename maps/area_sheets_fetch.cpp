#include "maps/area_sheets_fetch.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>

#include "maps/map_view.h"
#include "maps/sheet_download_parts.h"
#include "maps/sheet_store.h"
#include "settings/app_settings.h"

struct AreaFetch {
    std::vector<AreaSheet> sheets;
    AreaFetchJob job;
    AreaFetchSheetFn each;
    void* context;
    std::atomic<size_t> next{0};
    std::atomic<int> cancel{0};
    std::mutex lock;                   // counts, the callback, running
    std::condition_variable ended;
    AreaFetchCounts counts{};
    int running = 0;
    std::vector<std::thread> workers;
};

namespace {

constexpr int kMaxJobs = 16;

int64_t fileSize(const char* path) {
    struct stat st;
    return stat(path, &st) == 0 && S_ISREG(st.st_mode) ? static_cast<int64_t>(st.st_size) : -1;
}

void work(AreaFetch* f) {
    const AreaFetchJob& j = f->job;
    for (;;) {
        size_t i = f->next++;
        if (i >= f->sheets.size() || f->cancel.load()) break;
        const AreaSheet& a = f->sheets[i];
        int64_t bytes = 0;
        int ok = 0;
        char path[SHEET_PATH_MAX] = "";
        if (area_sheet_stored(j.settings, a, j.aerial, j.bigMaps, &bytes)) {
            ok = 2;
        } else {
            int rc = j.aerial ? (j.downloads.downloadAerialSheet
                                     ? j.downloads.downloadAerialSheet(a.lat, a.lon, a.level, j.settings, path, j.bigMaps)
                                     : 1)
                              : (j.downloads.downloadSheet ? j.downloads.downloadSheet(a.lat, a.lon, a.level, j.settings,
                                                                                       path, j.bigMaps, j.rose, j.grid)
                                                           : 1);
            bytes = rc == 0 ? fileSize(path) : 0;
            ok = rc == 0 && bytes >= 0 ? 1 : 0;
            if (!ok) bytes = 0;
        }
        std::lock_guard<std::mutex> g(f->lock);
        AreaFetchCounts& c = f->counts;
        c.done++;
        if (ok == 1) c.fetched++, c.bytes += bytes;
        else if (ok == 2) c.skipped++;
        else c.failed++;
        if (f->each) f->each(a, ok, bytes, f->context);
    }
    std::lock_guard<std::mutex> g(f->lock);
    if (--f->running == 0) f->counts.finished = 1;
    f->ended.notify_all();
}

void removeTemporaryFiles() {
    sheetTempFilesRemoveAll();
}

}  // namespace

int area_sheet_stored(const AppSettings* s, const AreaSheet& a, int aerial, int bigMaps, int64_t* bytes) {
    char path[SHEET_PATH_MAX];
    if (sheetStored(path, s->mapsDir, a.lat, a.lon, a.level, bigMaps, aerial ? SHEET_JPEG : SHEET_GIF) < 0) return 0;
    int64_t n = fileSize(path);
    if (n < 0) return 0;
    if (bytes) *bytes = n;
    return 1;
}

int64_t area_sheet_estimate_bytes(const AppSettings* s, const std::vector<AreaSheet>& sheets, int aerial,
                                  int bigMaps) {
    int64_t sum = 0, n = 0, bytes = 0;
    for (const AreaSheet& a : sheets)
        if (area_sheet_stored(s, a, aerial, bigMaps, &bytes)) sum += bytes, n++;
    if (n > 0) return sum / n;
    // What the local map server's sheets typically take.
    return bigMaps ? (aerial ? 110000 : 90000) : (aerial ? 50000 : 40000);
}

AreaFetch* area_fetch_start(const std::vector<AreaSheet>& sheets, const AreaFetchJob& job, AreaFetchSheetFn each,
                            void* context) {
    auto* f = new AreaFetch;
    f->sheets = sheets;
    f->job = job;
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

void area_fetch_cancel(AreaFetch* f) { f->cancel = 1; }

int area_fetch_end(AreaFetch* f, int waitMs) {
    std::unique_lock<std::mutex> g(f->lock);
    bool idle = f->ended.wait_for(g, std::chrono::milliseconds(waitMs), [f] { return f->running == 0; });
    g.unlock();
    if (!idle) {
        f->cancel = 1;
        for (std::thread& t : f->workers) t.detach();
        removeTemporaryFiles();
        return 0;
    }
    for (std::thread& t : f->workers) t.join();
    delete f;
    return 1;
}
