// One route request in the background: to kivroute kept running as a
// process of its own (kivroute --serve: the database loaded once for every
// request; a crash or a long query of the router never touches the window),
// or to the map server's /route over HTTP when that server is elsewhere. The
// worker gets the request and the router's pipes by value; the main thread
// polls for the answer and ends a request it no longer wants (the router
// killed, to be started again by the next request, or the transfer
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

// The router kept running between requests. Main thread.
struct RouteServer {
    pid_t pid = 0;                     // 0: none running
    int in = -1, out = -1;             // its stdin and stdout
    std::string program;
};

struct RouteJob {
    std::thread worker;
    pid_t pid = 0;                     // the router asked (0: the map server)
    std::atomic<int> cancel{0};
    std::atomic<int> done{0};
    // Set by the worker before done.
    int ok = 0;
    int routerGone = 0;                // the router ended (and was reaped)
    std::string reply;                 // the router's text
    std::string why;                   // why there is none
};

// The router the window runs: KIV_ROUTE, else kivroute beside this program,
// else kivroute on the PATH.
std::string route_job_program();
// 1 when the map server at root (no trailing '/') is this machine's.
int route_job_local_server(const char* root);

// Asks server (started first when it does not run, or runs another program)
// or the map server of ask.url (server then ended: it is not wanted).
std::unique_ptr<RouteJob> route_job_start(RouteAsk ask, RouteServer* server);
// Ends it (kills the router while it answers, cancels the transfer) and
// joins the worker; server is forgotten when its router is gone.
void route_job_end(std::unique_ptr<RouteJob>* job, RouteServer* server);
// Ends and reaps the router (the window closing, the data elsewhere).
void route_server_end(RouteServer* server);
