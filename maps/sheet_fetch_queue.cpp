#include "maps/sheet_fetch_queue.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <tuple>

#include "maps/sheet_dispatch.h"
#include "maps/sheet_download.h"
#include "maps/sheet_reload.h"
#include "maps/sheet_source_settings.h"
#include "maps/sheet_store.h"
#include "settings/app_settings.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kBackoffMaxSeconds = 60;
constexpr size_t kDoneKept = 16;

// A sheet as a key: grid points are exact doubles of the snapping.
using SheetKey = std::tuple<double, double, int, int, int>;
SheetKey keyOf(const SheetFetchRequest& r) { return {r.lat, r.lon, r.level, r.aerial, r.bigMaps}; }

struct Backoff {
    int failures = 0;
    Clock::time_point retryAt;
};

struct FetchQueue {
    std::mutex lock;
    std::condition_variable changed;
    std::thread worker;
    bool running = false, stopping = false;
    bool busy = false, waiting = false;
    SheetFetchRequest current{}, next{};
    std::deque<SheetFetchRequest> view;   // after next: the view's missing sheets, in its order
    std::deque<SheetFetchDone> done;
    std::map<SheetKey, Backoff> backoff;
    SheetDownloadHooks downloads{};
    AppSettings settings{};            // what downloads read, copied at start
    void (*wake)() = nullptr;
};
FetchQueue sheetQueue;   // the one queue of the program

SheetFetchDone fetch(const SheetFetchRequest& r, const SheetDownloadHooks& h, const AppSettings* s) {
    SheetFetchDone d{};
    d.request = r;
    Result got = result_fail("");
    if (r.reload)
        got = sheet_reload_fetch(r.aerial, r.lat, r.lon, r.level, s, d.path, r.bigMaps, r.rose, r.grid, &h);
    else if (r.aerial && h.aerialSheet)
        got = h.aerialSheet(r.lat, r.lon, r.level, s, d.path, r.bigMaps);
    else if (!r.aerial && h.topoSheet)
        got = h.topoSheet(r.lat, r.lon, r.level, s, d.path, r.bigMaps, r.rose, r.grid);
    d.ok = got.ok;
    if (!d.ok) snprintf(d.reason, sizeof d.reason, "%s", got.why.c_str());
    return d;
}

void work() {
    // The worker's own copy: it never reads the window's record.
    auto s = std::make_unique<AppSettings>();
    std::unique_lock<std::mutex> g(sheetQueue.lock);
    for (;;) {
        sheetQueue.changed.wait(g, [] { return sheetQueue.waiting || !sheetQueue.view.empty() || sheetQueue.stopping; });
        if (sheetQueue.stopping) break;
        if (sheetQueue.waiting) {
            sheetQueue.current = sheetQueue.next;
            sheetQueue.waiting = false;
        } else {
            sheetQueue.current = sheetQueue.view.front();
            sheetQueue.view.pop_front();
        }
        sheetQueue.busy = true;
        SheetFetchRequest r = sheetQueue.current;
        SheetDownloadHooks h = sheetQueue.downloads;
        sheet_source_settings_copy(s.get(), &sheetQueue.settings);
        g.unlock();
        SheetFetchDone d = fetch(r, h, s.get());
        g.lock();
        sheetQueue.busy = false;
        Backoff& b = sheetQueue.backoff[keyOf(d.request)];
        if (d.ok) {
            sheetQueue.backoff.erase(keyOf(d.request));
        } else {
            b.failures++;
            b.retryAt = Clock::now() + std::chrono::seconds(sheet_fetch_backoff_seconds(b.failures));
        }
        if (sheetQueue.stopping) break;
        sheetQueue.done.push_back(d);
        if (sheetQueue.done.size() > kDoneKept) sheetQueue.done.pop_front();
        void (*wake)() = sheetQueue.wake;
        sheetQueue.changed.notify_all();
        g.unlock();
        if (wake) wake();
        g.lock();
    }
    sheetQueue.busy = false;
    sheetQueue.changed.notify_all();
}

}  // namespace

int sheet_fetch_backoff_seconds(int failures) {
    if (failures <= 0) return 0;
    return failures >= 7 ? kBackoffMaxSeconds : std::min(kBackoffMaxSeconds, 1 << (failures - 1));
}

int sheet_fetch_same(const SheetFetchRequest* a, const SheetFetchRequest* b) { return keyOf(*a) == keyOf(*b); }

void sheet_fetch_start(const SheetDownloadHooks* downloads, const AppSettings* settings, void (*wake)()) {
    std::lock_guard<std::mutex> g(sheetQueue.lock);
    sheetQueue.downloads = *downloads;
    // A fresh start lifts the cancel of an earlier stop.
    if (!sheetQueue.running && downloads->cancelDownloads) downloads->cancelDownloads(0);
    sheet_source_settings_copy(&sheetQueue.settings, settings);
    sheetQueue.wake = wake;
    if (sheetQueue.running) return;
    sheetQueue.stopping = false;
    sheetQueue.busy = sheetQueue.waiting = false;
    sheetQueue.view.clear();
    sheetQueue.running = true;
    sheetQueue.worker = std::thread(work);
}

namespace {

// Under the lock: a sheet fetched now or waiting in the user's slot.
bool underWay(const SheetKey& key) {
    return (sheetQueue.busy && keyOf(sheetQueue.current) == key) || (sheetQueue.waiting && keyOf(sheetQueue.next) == key);
}

bool inViewList(const SheetKey& key) {
    return std::any_of(sheetQueue.view.begin(), sheetQueue.view.end(), [&key](const SheetFetchRequest& w) { return keyOf(w) == key; });
}

bool backingOff(const SheetFetchRequest& r) {
    auto b = sheetQueue.backoff.find(keyOf(r));
    return !r.reload && b != sheetQueue.backoff.end() && Clock::now() < b->second.retryAt;
}

}  // namespace

int sheet_fetch_request(const SheetFetchRequest* r) {
    std::lock_guard<std::mutex> g(sheetQueue.lock);
    if (!sheetQueue.running || sheetQueue.stopping) return SHEET_FETCH_STOPPED;
    SheetKey key = keyOf(*r);
    if (underWay(key)) {
        // A reload asked while the same sheet waits turns the wait into a reload.
        if (sheetQueue.waiting && keyOf(sheetQueue.next) == key && r->reload) sheetQueue.next.reload = 1;
        return SHEET_FETCH_ALREADY;
    }
    if (backingOff(*r)) return SHEET_FETCH_BACKING_OFF;
    // Asked for by the user, a sheet the view also waits for comes first.
    std::erase_if(sheetQueue.view, [&key](const SheetFetchRequest& w) { return keyOf(w) == key; });
    sheetQueue.next = *r;
    sheetQueue.waiting = true;
    sheetQueue.changed.notify_all();
    return SHEET_FETCH_QUEUED;
}

void sheet_fetch_view(const SheetFetchRequest* sheets, int count, int* results) {
    std::lock_guard<std::mutex> g(sheetQueue.lock);
    sheetQueue.view.clear();
    for (int i = 0; i < count; i++) {
        const SheetFetchRequest& r = sheets[i];
        SheetKey key = keyOf(r);
        if (!sheetQueue.running || sheetQueue.stopping) results[i] = SHEET_FETCH_STOPPED;
        else if (underWay(key) || inViewList(key)) results[i] = SHEET_FETCH_ALREADY;
        else if (backingOff(r)) results[i] = SHEET_FETCH_BACKING_OFF;
        else {
            sheetQueue.view.push_back(r);
            results[i] = SHEET_FETCH_QUEUED;
        }
    }
    sheetQueue.changed.notify_all();
}

int sheet_fetch_take(SheetFetchDone* out) {
    std::lock_guard<std::mutex> g(sheetQueue.lock);
    if (sheetQueue.done.empty()) return 0;
    *out = sheetQueue.done.front();
    sheetQueue.done.pop_front();
    return 1;
}

int sheet_fetch_current(SheetFetchRequest* out) {
    std::lock_guard<std::mutex> g(sheetQueue.lock);
    if (sheetQueue.busy) *out = sheetQueue.current;
    else if (sheetQueue.waiting) *out = sheetQueue.next;
    else if (!sheetQueue.view.empty()) *out = sheetQueue.view.front();
    else return 0;
    return 1;
}

int sheet_fetch_pending(const SheetFetchRequest* r) {
    std::lock_guard<std::mutex> g(sheetQueue.lock);
    SheetKey key = keyOf(*r);
    return underWay(key) || inViewList(key);
}

void sheet_fetch_stop() {
    std::unique_lock<std::mutex> g(sheetQueue.lock);
    if (!sheetQueue.running) return;
    sheetQueue.stopping = true;
    sheetQueue.waiting = false;
    sheetQueue.view.clear();
    sheetQueue.changed.notify_all();
    void (*cancel)(int) = sheetQueue.downloads.cancelDownloads;
    std::thread worker = std::move(sheetQueue.worker);
    sheetQueue.running = false;
    sheetQueue.done.clear();
    sheetQueue.backoff.clear();
    g.unlock();
    // Left set: other workers of this exit end their transfers too.
    if (cancel) cancel(1);
    worker.join();
}
