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
    int succeeded = 0;
    std::atomic<int> cancel{0};      // ends the running request within 0.1 s
    // A worker still running at exit is cut short rather than left to run
    // while the process takes its libraries down.
    ~NetWorker() {
        cancel.store(1);
        {
            std::lock_guard<std::mutex> g(lock);
            quit = 1;
            changed.notify_all();
        }
        if (thread.joinable()) thread.join();
    }
};

NetWorker worker;

void work() {
    std::unique_lock<std::mutex> g(worker.lock);
    for (;;) {
        worker.changed.wait(g, [] { return worker.quit || worker.busy; });
        if (worker.busy) {
            BaseJob job = worker.job;
            g.unlock();
            int ok = base_upload_run(&job, &worker.cancel);
            g.lock();
            worker.busy = 0;
            worker.completed++;
            worker.succeeded += ok;
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
    std::thread ending;
    {
        std::lock_guard<std::mutex> g(worker.lock);
        if (!worker.running) return;
        worker.quit = 1;
        worker.cancel.store(1);
        worker.running = 0;
        ending = std::move(worker.thread);
        worker.changed.notify_all();
    }
    ending.join();
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

int net_worker_succeeded() {
    std::lock_guard<std::mutex> g(worker.lock);
    return worker.succeeded;
}
