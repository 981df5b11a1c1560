// Fetching a list of sheets with a few transfers at once, on threads of
// their own: stored sheets are skipped (so a cut run picks up where it
// stopped), each sheet is stored whole or not at all by the download, and
// the counts can be read at any time from any thread. A failed sheet is
// tried again twice after a short pause; after a few sheets in a row have
// failed that way, the server is taken as unreachable and the fetch stops.
#pragma once
#include <cstdint>
#include <vector>

#include "maps/area_sheets.h"
#include "maps/sheet_dispatch.h"

struct AppSettings;

struct AreaFetchJob {
    const AppSettings* settings;       // maps folder and server keys, copied at the start
    int aerial, bigMaps, rose, grid;
    int jobs;                          // transfers at once, 1..16
    SheetDownloadHooks downloads;      // topoSheet / aerialSheet used
    int refresh = 0;                   // stored sheets are fetched afresh (refetchSheet), not skipped
};

struct AreaFetchCounts {
    int total;                         // sheets of the list
    int done;                          // fetched + skipped + failed
    int fetched, skipped, failed;
    int64_t bytes;                     // of the sheets fetched
    int finished;                      // every worker has ended
    int stopped;                       // ended early: AREA_FETCH_FAILURES_IN_A_ROW sheets failed in a row
};

enum { AREA_FETCH_FAILURES_IN_A_ROW = 3, AREA_FETCH_TRIES = 3 };

// 1 when the sheet of this kind is in the store; its size in *bytes.
int area_sheet_stored(const AppSettings* s, const AreaSheet& a, int aerial, int bigMaps, int64_t* bytes);

struct AreaFetch;
// Called on a worker thread (one call at a time) after each sheet: ok 1
// fetched, 2 already stored, 0 failed with the reason in why ("" when
// cancelled or not known).
typedef void (*AreaFetchSheetFn)(const AreaSheet& sheet, int ok, int64_t bytes, const char* why, void* context);
AreaFetch* area_fetch_start(const std::vector<AreaSheet>& sheets, const AreaFetchJob& job, AreaFetchSheetFn each,
                            void* context);
void area_fetch_counts(AreaFetch* f, AreaFetchCounts* out);
// No further sheet (nor a further try) is started; transfers in flight end
// on their own.
void area_fetch_cancel(AreaFetch* f);
// Waits for the workers to end and frees f. At exit, cancel first (and the
// downloads' own cancel, so a transfer in flight ends soon).
void area_fetch_end(AreaFetch* f);
