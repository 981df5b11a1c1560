#include "maps/sheet_decoding.h"

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>

namespace {

void work(SheetDecoding* d) {
    std::unique_lock<std::mutex> g(d->lock);
    for (;;) {
        d->changed.wait(g, [d] { return d->stopping || !d->waiting.empty(); });
        if (d->stopping) break;
        d->current = std::move(d->waiting.front());
        d->waiting.pop_front();
        d->busy = true;
        d->currentDropped = false;
        SheetDecodeJob job = d->current;
        g.unlock();
        SheetDecoded out{job.path, nullptr, "", sheet_decoding_stamp(job.path.c_str())};
        auto sheet = std::make_shared<DecodedSheet>();
        if (sheet_cache_decode(job.path.c_str(), job.format, sheet.get(), &out.why)) out.sheet = std::move(sheet);
        g.lock();
        d->busy = false;
        d->decodes++;
        if (!d->stopping && !d->currentDropped) d->done.push_back(std::move(out));
        // Asked again while it was decoded, the sheet may have come on show.
        void (*wake)() = d->current.wake && !d->currentDropped ? d->wake : nullptr;
        d->changed.notify_all();
        if (d->stopping) break;
        g.unlock();
        if (wake) wake();
        g.lock();
    }
}

}  // namespace

std::string sheet_decoding_stamp(const char* path) {
    struct stat st;
    if (stat(path, &st) != 0) return "";
    char out[96];
    snprintf(out, sizeof out, "%llu %lld %lld.%09ld", static_cast<unsigned long long>(st.st_ino),
             static_cast<long long>(st.st_size), static_cast<long long>(st.st_mtim.tv_sec), st.st_mtim.tv_nsec);
    return out;
}

SheetDecoding::~SheetDecoding() { sheet_decoding_stop(this); }

void sheet_decoding_ask(SheetDecoding* d, const std::vector<SheetDecodeJob>& jobs, void (*wake)()) {
    bool handedBack = false;           // a sheet on show is done already: its poll is asked for here
    {
        std::lock_guard<std::mutex> g(d->lock);
        d->wake = wake;
        d->waiting.clear();
        for (const SheetDecodeJob& job : jobs) {
            if (d->busy && d->current.path == job.path) {
                d->current.wake = d->current.wake || job.wake;
                continue;
            }
            if (std::any_of(d->done.begin(), d->done.end(), [&job](const SheetDecoded& s) { return s.path == job.path; })) {
                handedBack = handedBack || job.wake;
                continue;
            }
            d->waiting.push_back(job);
        }
        if (!d->worker.joinable() && !d->waiting.empty()) {
            d->stopping = false;
            d->worker = std::thread(work, d);
        }
        d->changed.notify_all();
    }
    if (handedBack && wake) wake();
}

int sheet_decoding_take(SheetDecoding* d, std::vector<SheetDecoded>* out) {
    std::lock_guard<std::mutex> g(d->lock);
    int n = static_cast<int>(d->done.size());
    for (SheetDecoded& s : d->done) out->push_back(std::move(s));
    d->done.clear();
    return n;
}

void sheet_decoding_drop(SheetDecoding* d, const char* path) {
    std::lock_guard<std::mutex> g(d->lock);
    std::erase_if(d->waiting, [path](const SheetDecodeJob& j) { return j.path == path; });
    std::erase_if(d->done, [path](const SheetDecoded& s) { return s.path == path; });
    if (d->busy && d->current.path == path) d->currentDropped = true;
}

int sheet_decoding_drain(SheetDecoding* d, int timeoutMs) {
    std::unique_lock<std::mutex> g(d->lock);
    return d->changed.wait_for(g, std::chrono::milliseconds(timeoutMs),
                               [d] { return d->waiting.empty() && !d->busy; })
               ? 1
               : 0;
}

void sheet_decoding_stop(SheetDecoding* d) {
    {
        std::lock_guard<std::mutex> g(d->lock);
        d->stopping = true;
        d->waiting.clear();
        d->done.clear();
        d->changed.notify_all();
    }
    if (d->worker.joinable()) d->worker.join();
    std::lock_guard<std::mutex> g(d->lock);
    d->stopping = false;
    d->busy = false;
    d->done.clear();
}
