// Fetching a list of sheets with a few transfers at once, on threads of
// their own: stored sheets are skipped (so a cut run picks up where it
// stopped), each sheet is stored whole or not at all by the download, and
// the counts can be read at any time from any thread.
#pragma once
#include <cstdint>
#include <vector>

#include "maps/area_sheets.h"
#include "maps/sheet_dispatch.h"

struct AppSettings;

struct AreaFetchJob {
    const AppSettings* settings;       // maps folder and server keys, read only
    int aerial, bigMaps, rose, grid;
    int jobs;                          // transfers at once, 1..16
    SheetDownloadHooks downloads;      // downloadSheet / downloadAerialSheet used
};

struct AreaFetchCounts {
    int total;                         // sheets of the list
    int done;                          // fetched + skipped + failed
    int fetched, skipped, failed;
    int64_t bytes;                     // of the sheets fetched
    int finished;                      // every worker has ended
};

// 1 when the sheet of this kind is in the store; its size in *bytes.
int area_sheet_stored(const AppSettings* s, const AreaSheet& a, int aerial, int bigMaps, int64_t* bytes);
// Bytes a sheet of this kind is expected to take: the mean of the stored
// ones among sheets, else a typical size.
int64_t area_sheet_estimate_bytes(const AppSettings* s, const std::vector<AreaSheet>& sheets, int aerial,
                                  int bigMaps);

struct AreaFetch;
// Called on a worker thread (one call at a time) after each sheet: ok 1
// fetched, 2 already stored, 0 failed.
typedef void (*AreaFetchSheetFn)(const AreaSheet& sheet, int ok, int64_t bytes, void* context);
AreaFetch* area_fetch_start(const std::vector<AreaSheet>& sheets, const AreaFetchJob& job, AreaFetchSheetFn each,
                            void* context);
void area_fetch_counts(AreaFetch* f, AreaFetchCounts* out);
// No further sheet is started; transfers in flight end on their own.
void area_fetch_cancel(AreaFetch* f);
// Waits at most waitMs for the workers. 1: all ended and f is freed. 0: a
// transfer is still in flight; its worker ends with the process (f stays
// theirs) and this process's temporary download files are removed.
int  area_fetch_end(AreaFetch* f, int waitMs);
