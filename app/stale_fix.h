// Whether the position on the map is current. Once a position has come on
// the open link it turns stale when the receiver reports no fix (mode 0),
// when no new position has come for STALE_FIX_SECONDS (a silent receiver),
// or for REMOTE when the last post is older than the server's limit. The
// marker is then drawn hollow and grey, the title says "no fix" with the
// age and the speed read-out is dimmed, until the next fix. Main thread.
#pragma once
#include <cstddef>
#include <cstdint>

#include "position/gps_fix.h"   // STALE_FIX_SECONDS

struct AppSettings;

constexpr uint32_t STALE_FIX_GREY = 0x909090;

// Takes the fix record's state now (every paint and timer tick). 1 when
// what is shown changes: the stale state or, while stale, its age.
int  stale_fix_update(const AppSettings* s);
int  stale_fix_stale();
// Seconds since the last new position; -1 before the first one.
int  stale_fix_age();
// The last current position; 0 before the first one.
int  stale_fix_last(double* lat, double* lon);
// " - no fix for 12 s" while stale, else empty.
void stale_fix_title(char* out, size_t size);
void stale_fix_reset();
