#include "position/nmea_satellites.h"

#include <algorithm>
#include <cstdint>

#include "platform/platform.h"
#include "position/gps_fix.h"
#include "position/nmea_fields.h"

namespace {

// One GSV cycle's satellites of one talker and signal, in the order the
// receiver lists them. Rows past the last cycle's count keep old values,
// as a single list always has.
struct SatelliteList {
    int live;
    int system;   // talker system, -1 when the numbers tell
    int signal;   // NMEA 4.10 signal id, 0 without
    int inView;
    int64_t seen;  // monotonic seconds of the last GSV
    GpsSatellite rows[GPS_SAT_TABLE];
};

// Satellite numbers below kNumbers are looked up directly (every system's
// NMEA numbers are); larger ones by a search.
enum { kLists = 16, kUsedPerSystem = GPS_SAT_TABLE, kNumbers = 512 };

struct UsedSatellites {
    int prn[kUsedPerSystem];
    int count;
};

struct SatelliteLists {
    SatelliteList lists[kLists];
    UsedSatellites used[GPS_SYSTEMS];
    unsigned char usedMark[GPS_SYSTEMS][kNumbers];  // 1 where used holds the number
    short row[GPS_SYSTEMS][kNumbers];  // while merging: table row + 1 of a satellite, 0 none
};

SatelliteLists sats;

// The NMEA numbering of the combined talkers: GPS 1-32 with SBAS 33-64,
// GLONASS 65-96, QZSS 193-200, BeiDou 201-237 and 401-437, Galileo 301-336.
int system_of_number(int prn) {
    if (prn >= 1 && prn <= 64) return GPS_SYSTEM_GPS;
    if (prn >= 65 && prn <= 96) return GPS_SYSTEM_GLONASS;
    if (prn >= 193 && prn <= 200) return GPS_SYSTEM_QZSS;
    if ((prn >= 201 && prn <= 237) || (prn >= 401 && prn <= 437)) return GPS_SYSTEM_BEIDOU;
    if (prn >= 301 && prn <= 336) return GPS_SYSTEM_GALILEO;
    return GPS_SYSTEM_OTHER;
}

// A GPS talker listing numbers above 64 uses the extended numbering.
int row_system(int talkerSystem, int prn) {
    if (talkerSystem < 0 || (talkerSystem == GPS_SYSTEM_GPS && prn > 64)) return system_of_number(prn);
    return talkerSystem;
}

int int_or(const NmeaFields& f, int n, int otherwise) {
    int v;
    return nmea_field_int(f, n, &v) ? v : otherwise;
}
int int_or_zero(const NmeaFields& f, int n) { return int_or(f, n, 0); }

// The signal id follows the last whole group of four as one hex digit.
int gsv_signal(const NmeaFields& f) {
    int last = f.count - 1;
    if (last < 4 || (last - 4) % 4 != 0 || nmea_field_length(f, last) != 1) return 0;
    char c = nmea_field_first(f, last);
    if (c >= '1' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return 0;
}

SatelliteList* list_for(int system, int signal, int64_t now) {
    SatelliteList* free = nullptr;
    SatelliteList* oldest = &sats.lists[0];
    for (SatelliteList& l : sats.lists) {
        if (l.live && l.system == system && l.signal == signal) return &l;
        if (!l.live && !free) free = &l;
        if (l.seen < oldest->seen) oldest = &l;
    }
    SatelliteList* l = free ? free : oldest;
    *l = SatelliteList{};
    l->live = 1;
    l->system = system;
    l->signal = signal;
    l->seen = now;
    return l;
}

int system_index(int system) { return system >= 0 && system < GPS_SYSTEMS ? system : GPS_SYSTEM_OTHER; }

bool is_used(const GpsSatellite& s) {
    int system = system_index(s.system);
    if (s.prn >= 0 && s.prn < kNumbers) return sats.usedMark[system][s.prn];
    const UsedSatellites& u = sats.used[system];
    return std::find(u.prn, u.prn + u.count, s.prn) != u.prn + u.count;
}

// The merge's slot of a satellite: its table row + 1, 0 while it has none;
// nullptr for a number outside the direct lookup.
short* row_slot(const GpsSatellite& s) {
    return s.prn > 0 && s.prn < kNumbers ? &sats.row[system_index(s.system)][s.prn] : nullptr;
}

// All live lists into the fix record: grouped by the talker's system, each
// list's rows in the receiver's order (a GPS list naming a QZSS satellite
// keeps it in its place); rows of a combined talker join their system's
// group. A satellite that a list of another signal repeats becomes one row
// with the stronger signal.
void publish(int64_t now) {
    GpsSatellite out[GPS_SAT_TABLE];
    int from[GPS_SAT_TABLE];
    int n = 0, inView = 0;
    bool combined = false;
    // Talker systems in order, the combined talkers' lists last.
    for (int pass = 0; pass <= GPS_SYSTEMS; ++pass) {
        int system = pass < GPS_SYSTEMS ? pass : -1;
        int systemInView = 0;
        for (int k = 0; k < kLists; ++k) {
            SatelliteList& l = sats.lists[k];
            if (!l.live) continue;
            if (now - l.seen > NMEA_SATELLITE_AGE_SECONDS) {
                l.live = 0;
                continue;
            }
            if (l.system != system) continue;
            systemInView = std::max(systemInView, l.inView);
            int rows = std::min(l.inView, static_cast<int>(GPS_SAT_TABLE));
            for (int i = 0; i < rows; ++i) {
                const GpsSatellite& s = l.rows[i];
                // The row of the same satellite from another list, if any.
                int j = -1;
                short* slot = row_slot(s);
                if (slot) {
                    if (*slot && from[*slot - 1] != k) j = *slot - 1;
                } else if (s.prn != 0) {
                    for (int m = 0; m < n && j < 0; ++m)
                        if (from[m] != k && out[m].prn == s.prn && out[m].system == s.system) j = m;
                }
                if (j >= 0) {
                    if (s.snr > out[j].snr) {
                        out[j].snr = s.snr;
                        out[j].signal = s.signal;
                    }
                } else if (n < GPS_SAT_TABLE) {
                    if (slot && !*slot) *slot = static_cast<short>(n + 1);
                    from[n] = k;
                    out[n++] = s;
                    combined = combined || system < 0;
                }
            }
        }
        inView += systemInView;
    }
    int order[GPS_SAT_TABLE];
    for (int i = 0; i < n; ++i) {
        order[i] = i;
        if (short* slot = row_slot(out[i])) *slot = 0;
    }
    // The rows come grouped by their list's system; those of a combined
    // talker move to their satellites' own groups.
    if (combined) {
        int group[GPS_SAT_TABLE];
        for (int i = 0; i < n; ++i) {
            int listSystem = sats.lists[from[i]].system;
            group[i] = listSystem >= 0 ? listSystem : out[i].system;
        }
        std::stable_sort(order, order + n, [&](int a, int b) { return group[a] < group[b]; });
    }
    GpsSatellite table[GPS_SAT_TABLE];
    for (int i = 0; i < n; ++i) {
        table[i] = out[order[i]];
        table[i].used = is_used(table[i]);
    }
    gps_set_satellites(table, n, inView);
}

void set_used(int system, const int* prns, int count) {
    UsedSatellites& u = sats.used[system];
    unsigned char* mark = sats.usedMark[system];
    for (int i = 0; i < u.count; ++i)
        if (u.prn[i] >= 0 && u.prn[i] < kNumbers) mark[u.prn[i]] = 0;
    u.count = std::min(count, static_cast<int>(kUsedPerSystem));
    std::copy(prns, prns + u.count, u.prn);
    for (int i = 0; i < u.count; ++i)
        if (u.prn[i] >= 0 && u.prn[i] < kNumbers) mark[u.prn[i]] = 1;
}

}  // namespace

int nmea_talker_system(char first, char second) {
    switch (first * 256 + second) {
    case 'G' * 256 + 'P': return GPS_SYSTEM_GPS;
    case 'G' * 256 + 'L': return GPS_SYSTEM_GLONASS;
    case 'G' * 256 + 'A': return GPS_SYSTEM_GALILEO;
    case 'G' * 256 + 'B':
    case 'B' * 256 + 'D': return GPS_SYSTEM_BEIDOU;
    case 'G' * 256 + 'Q':
    case 'Q' * 256 + 'Z': return GPS_SYSTEM_QZSS;
    case 'G' * 256 + 'I': return GPS_SYSTEM_NAVIC;
    default: return -1;
    }
}

void nmea_satellites_gsv(const NmeaFields& f, int talkerSystem) {
    int message;
    // Without a message number the rows cannot be placed: keep the table.
    if (!nmea_field_int(f, 2, &message)) return;
    int64_t now = platform_monotonic_seconds();
    int signal = gsv_signal(f);
    SatelliteList* l = list_for(talkerSystem, signal, now);
    l->inView = int_or_zero(f, 3);
    l->seen = now;
    if (message >= 1 && message <= GPS_SAT_TABLE) {
        int first = 4 * (message - 1);
        for (int i = first; i < first + 4 && i < l->inView && i < GPS_SAT_TABLE; ++i) {
            int n = 4 + 4 * (i - first);
            GpsSatellite& s = l->rows[i];
            s.prn = int_or_zero(f, n);
            // Not yet known (a satellite just risen): -1, no place in the sky.
            s.elevation = int_or(f, n + 1, -1);
            s.azimuth = int_or(f, n + 2, -1);
            // An empty SNR is a satellite in view but not tracked: no signal.
            s.snr = int_or_zero(f, n + 3);
            s.system = row_system(talkerSystem, s.prn);
            s.signal = signal;
        }
    }
    publish(now);
}

void nmea_satellites_gsa(const NmeaFields& f, int talkerSystem) {
    int prns[12], count = 0;
    for (int n = 3; n <= 14; ++n) {
        int prn;
        if (nmea_field_int(f, n, &prn) && prn > 0) prns[count++] = prn;
    }
    // NMEA 4.10 names the system (one digit, 1 GPS ... 6 NavIC) after the
    // DOPs, even under a "GP" main talker; some receivers put other numbers
    // ("3.3") in that place, which leave the talker's system.
    int system = talkerSystem;
    char id = nmea_field_first(f, 18);
    if (nmea_field_length(f, 18) == 1 && id >= '1' && id <= '6') system = id - '1';
    if (system >= 0) {
        set_used(system, prns, count);
    } else {
        // A combined list: each number says its system, and every system
        // named gets its list replaced. An empty list (a system with none
        // used, in receivers that send one GSA per system) names none and
        // changes nothing, unless the receiver says it has no fix.
        int mode;
        bool noFix = nmea_field_int(f, 2, &mode) && mode == 1;
        bool named[GPS_SYSTEMS] = {};
        for (int i = 0; i < count; ++i) named[system_of_number(prns[i])] = true;
        for (int s = 0; s < GPS_SYSTEMS; ++s) {
            if (!named[s] && !noFix) continue;
            int mine[12], n = 0;
            for (int i = 0; i < count; ++i)
                if (system_of_number(prns[i]) == s) mine[n++] = prns[i];
            set_used(s, mine, n);
        }
    }
    publish(platform_monotonic_seconds());
}

void nmea_satellites_age() {
    int64_t now = platform_monotonic_seconds();
    for (const SatelliteList& l : sats.lists)
        if (l.live && now - l.seen > NMEA_SATELLITE_AGE_SECONDS) return publish(now);
}

void nmea_satellites_reset() { sats = SatelliteLists{}; }
