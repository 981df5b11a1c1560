// One route request in the background: kivroute run as a process of its
// own (so a crash or a long query of the router never touches the window),
// or the map server's /route over HTTP when that server is elsewhere. The
// worker gets the request by value; the main thread polls for the answer
// and ends a request it no longer wants (the process killed, the transfer
// cancelled) before the next starts.
#pragma once
#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <sys/types.h>
#include <thread>
#include <vector>

struct RouteAsk {
    std::vector<double> lats, lons;    // from, the vias in order, to
    std::string profile;               // car, bicycle, foot
    std::string program;               // the router to run; empty: ask url
    std::string url;                   // the map server's /route
};

struct RouteJob {
    std::thread worker;
    std::mutex lock;
    pid_t pid = 0;                     // the router while it runs (under lock)
    std::atomic<int> cancel{0};
    std::atomic<int> done{0};
    // Set by the worker before done.
    int ok = 0;
    std::string reply;                 // the router's text
    std::string why;                   // why there is none
};

// The router the window runs: KIV_ROUTE, else kivroute beside this program,
// else kivroute on the PATH.
std::string route_job_program();
// 1 when the map server at root (no trailing '/') is this machine's.
int route_job_local_server(const char* root);

std::unique_ptr<RouteJob> route_job_start(RouteAsk ask);
// Ends it (kills the router, cancels the transfer) and joins the worker.
void route_job_end(std::unique_ptr<RouteJob>* job);
