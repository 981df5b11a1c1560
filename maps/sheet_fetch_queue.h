// Sheet downloads on a worker thread, so the window never waits for a map
// server. One download at a time; while it runs, the one sheet a user
// action asked for waits first (a newer request for another sheet takes
// its place), then the sheets the view lacks, in the view's order. A sheet
// that failed is not asked again until its back-off has passed. Results
// are handed over to whoever polls (the main thread's timer or paint); the
// worker only calls the wake function so that a poll comes soon.
#pragma once
#include <cstdint>

#include "maps/map_view.h"

struct AppSettings;
struct SheetDownloadHooks;

struct SheetFetchRequest {
    double lat, lon;                   // snapped sheet centre
    int level;
    int aerial;                        // JPEG aerial sheet instead of the topographic GIF
    int bigMaps, rose, grid;
    int reload;                        // fetch afresh; the stored sheet stays until the new one is whole
};

struct SheetFetchDone {
    SheetFetchRequest request;
    int ok;                            // the sheet is stored at path
    char path[SHEET_PATH_MAX];
    char reason[256];                  // why not (sheet_download.h), "" when not known
};

enum {
    SHEET_FETCH_QUEUED = 1,            // will be fetched
    SHEET_FETCH_ALREADY = 2,           // this sheet is already being fetched or waiting
    SHEET_FETCH_BACKING_OFF = 3,       // failed recently; asked again later
    SHEET_FETCH_STOPPED = 4,           // no worker (not started, or stopped)
};

// The worker uses these downloads and the maps folder and server keys of
// settings, both copied. A start lifts the downloads' cancel. wake may be
// called from the worker thread.
void sheet_fetch_start(const SheetDownloadHooks* downloads, const AppSettings* settings, void (*wake)());
int  sheet_fetch_request(const SheetFetchRequest* request);
// The sheets the view lacks, in the order they are to come (nearest the
// vehicle first). They replace the view's earlier list, so a sheet the
// view moved away from is no longer fetched; the transfer under way runs
// on. results[i] gets the answer sheet_fetch_request would give for each.
void sheet_fetch_view(const SheetFetchRequest* sheets, int count, int* results);
// 1 with the oldest finished fetch not yet handed over.
int  sheet_fetch_take(SheetFetchDone* out);
// 1 with the request being fetched (else the next one waiting) while there is one.
int  sheet_fetch_current(SheetFetchRequest* out);
// 1 while the sheet is being fetched or waits to be.
int  sheet_fetch_pending(const SheetFetchRequest* request);
// Same sheet (position, level, format and size).
int  sheet_fetch_same(const SheetFetchRequest* a, const SheetFetchRequest* b);
// Drops the waiting requests, cuts a running transfer short through the
// downloads' cancel (left set, for exit) and waits for the worker to end.
// Results not taken are dropped.
void sheet_fetch_stop();
// Seconds a sheet waits before it is asked again after n failures in a row.
int  sheet_fetch_backoff_seconds(int failures);
