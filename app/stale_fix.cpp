#include "app/stale_fix.h"

#include <cstdio>

#include "net/remote_server.h"
#include "platform/platform.h"
#include "position/gps_fix.h"
#include "settings/app_settings.h"

namespace {

struct StaleFix {
    int seen = 0;                      // a position came on this link
    int stale = 0;
    int64_t freshAt = 0;               // monotonic seconds of the last new position
    unsigned count = 0;                // gps_position_count() when last looked at
    double lat = 0, lon = 0;
    int connected = 0;
    int shownAge = -1;
};

StaleFix st;

}  // namespace

int stale_fix_update(const AppSettings* s) {
    const int wasStale = st.stale, wasAge = st.shownAge;
    const int64_t now = platform_monotonic_seconds();
    const int connected = s && s->connected.load() == 1;
    const unsigned count = gps_position_count();
    if (connected != st.connected) {
        // A new link starts afresh: only positions that come on it count.
        const unsigned seenCount = st.count;
        st = StaleFix{};
        st.connected = connected;
        st.count = seenCount;
    }
    if (connected) {
        const int mode = gps_fix_mode();
        const bool position = mode > 0 && gps_has_position();
        if (s->deviceType == DEVICE_REMOTE) {
            // Posts carry no time: the server's own clock of the last one.
            int64_t posted = remote_last_position_time();
            if (posted > 0 && position && (count != st.count || !st.seen)) {
                st.seen = 1;
                st.lat = gps_latitude(), st.lon = gps_longitude();
            }
            if (posted > 0) st.freshAt = posted;
            st.stale = st.seen && (mode <= 0 || now - st.freshAt > REMOTE_STALE_SECONDS);
        } else {
            if (position && count != st.count) {
                st.seen = 1;
                st.freshAt = now;
                st.lat = gps_latitude(), st.lon = gps_longitude();
            }
            st.stale = st.seen && (mode <= 0 || now - st.freshAt > STALE_FIX_SECONDS);
        }
    }
    st.count = count;
    st.shownAge = st.stale ? stale_fix_age() : -1;
    return st.stale != wasStale || st.shownAge != wasAge;
}

int stale_fix_stale() { return st.stale; }

int stale_fix_age() {
    if (!st.seen) return -1;
    int64_t age = platform_monotonic_seconds() - st.freshAt;
    return age < 0 ? 0 : age > 999999999 ? 999999999 : static_cast<int>(age);
}

int stale_fix_last(double* lat, double* lon) {
    if (!st.seen) return 0;
    *lat = st.lat, *lon = st.lon;
    return 1;
}

void stale_fix_title(char* out, size_t size) {
    if (!size) return;
    out[0] = 0;
    if (!st.stale) return;
    int age = stale_fix_age();
    if (age < 120) snprintf(out, size, " - no fix for %d s", age);
    else if (age < 120 * 60) snprintf(out, size, " - no fix for %d min", age / 60);
    else snprintf(out, size, " - no fix for %d h", age / 3600);
}

void stale_fix_reset() { st = StaleFix{}; }
