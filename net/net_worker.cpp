#include "net/net_worker.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "net/base_upload.h"
#include "net/http_client.h"

namespace {

struct NetWorker {
    std::mutex lock;                 // guards everything below
    std::condition_variable changed;
    std::thread thread;
    int running = 0;
    int quit = 0;
    int busy = 0;                    // a job is waiting or running
    BaseJob job;
    int completed = 0;
    std::atomic<int> cancel{0};      // ends the running request within 0.1 s
    // A worker still running at exit is cut short rather than left to run
    // while the process takes its libraries down.
    ~NetWorker();
};

NetWorker worker;

// Asks the worker to end, cutting its running request short; returns its
// thread for the caller to join (not joinable when none was running).
std::thread endWork(NetWorker& w) {
    std::lock_guard<std::mutex> g(w.lock);
    w.quit = 1;
    w.cancel.store(1);
    w.running = 0;
    w.changed.notify_all();
    return std::move(w.thread);
}

NetWorker::~NetWorker() {
    std::thread ending = endWork(*this);
    if (ending.joinable()) ending.join();
}

void work() {
    std::unique_lock<std::mutex> g(worker.lock);
    for (;;) {
        worker.changed.wait(g, [] { return worker.quit || worker.busy; });
        if (worker.busy) {
            BaseJob job = worker.job;
            g.unlock();
            base_upload_run(&job, &worker.cancel);
            g.lock();
            worker.busy = 0;
            worker.completed++;
            worker.changed.notify_all();
        }
        if (worker.quit) return;
    }
}

}  // namespace

int net_worker_start() {
    std::lock_guard<std::mutex> g(worker.lock);
    if (!worker.running) {
        worker.quit = 0;
        worker.cancel.store(0);
        http_client_start();
        worker.thread = std::thread(work);
        worker.running = 1;
    }
    return 1;
}

void net_worker_stop() {
    std::thread ending = endWork(worker);
    if (ending.joinable()) ending.join();
}

int net_worker_tick(AppSettings* settings) {
    net_worker_start();
    std::lock_guard<std::mutex> g(worker.lock);
    if (worker.busy) return 0;
    BaseJob job;
    if (base_upload_plan(settings, &job) == BASE_JOB_NONE) return 0;
    worker.job = job;
    worker.busy = 1;
    worker.changed.notify_all();
    return 1;
}

int net_worker_busy() {
    std::lock_guard<std::mutex> g(worker.lock);
    return worker.busy;
}

int net_worker_wait_idle(int timeoutMs) {
    std::unique_lock<std::mutex> g(worker.lock);
    return worker.changed.wait_for(g, std::chrono::milliseconds(timeoutMs), [] { return !worker.busy; });
}

int net_worker_completed() {
    std::lock_guard<std::mutex> g(worker.lock);
    return worker.completed;
}
