// A worker thread for the timer's network requests (base upload and remote
// keep-alive), so a slow or unreachable base server never freezes the window.
// The tick decides on the main thread, in the timer's order and with its
// conditions; the worker makes one request at a time. While a request is
// still running, a tick is skipped (nothing is decided or queued), and the
// next tick decides afresh.
#pragma once

struct AppSettings;

// Starts the worker (also done by the first tick). Returns 1 when running.
int  net_worker_start();
// Ends the worker, cutting its running request short (within 0.1 s).
void net_worker_stop();
// The timer's base step. Returns 1 when a request was handed to the worker,
// 0 when none was due or the previous one is still running.
int  net_worker_tick(AppSettings* settings);
int  net_worker_busy();
// Waits until no request runs, at most timeoutMs; 1 when idle (tests).
int  net_worker_wait_idle(int timeoutMs);
// Requests completed since start (tests).
int  net_worker_completed();
