#include "tracks/gpx_writer.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <utility>
#include <string>

const char GPX_CLOSING[] = "</trkseg></trk></gpx>\n";
const char GPX_NEW_SEGMENT[] = "</trkseg><trkseg>\n";

namespace {

constexpr off_t kPage = 512;   // a disk sector: the unit a drive writes whole
constexpr size_t kClosingLength = sizeof GPX_CLOSING - 1;
// Moving the closing tags to a new page (see movePage): a comment opened
// over the old closing tags ends in the processing instruction that follows
// them, so the document is whole before, between and after the two writes.
constexpr char kPageStart[] = "<?kiv -->";
constexpr char kTrailer[] = "<?kiv ?>\n";

// Days since 1970-01-01 of a proleptic Gregorian date.
int64_t daysFromCivil(int64_t y, int m, int d) {
    y -= m <= 2;
    int64_t era = (y >= 0 ? y : y - 399) / 400;
    int64_t yoe = y - era * 400;
    int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void civilFromDays(int64_t z, int* y, int* m, int* d) {
    z += 719468;
    int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    int64_t doe = z - era * 146097;
    int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    int64_t mp = (5 * doy + 2) / 153;
    *d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    *m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    *y = static_cast<int>(yoe + era * 400 + (*m <= 2));
}

// "YYYY-MM-DDTHH:MM:SSZ"; false for years outside 0..9999.
bool isoTime(char* out, size_t size, int64_t t) {
    if (t == GPX_TIME_UNKNOWN || t < -62167219200LL || t > 253402300799LL) return false;
    int64_t days = t >= 0 ? t / 86400 : -((-t + 86399) / 86400);
    int64_t secs = t - days * 86400;
    int y, m, d;
    civilFromDays(days, &y, &m, &d);
    // Every field is in range here; the modulo tells the compiler so.
    snprintf(out, size, "%04u-%02u-%02uT%02u:%02u:%02uZ", static_cast<unsigned>(y) % 10000u,
             static_cast<unsigned>(m) % 100u, static_cast<unsigned>(d) % 100u, static_cast<unsigned>(secs / 3600) % 100u,
             static_cast<unsigned>(secs / 60 % 60), static_cast<unsigned>(secs % 60));
    return true;
}

bool known(double v) { return std::isfinite(v) && std::fabs(v) < 1e9; }

bool writeAt(int fd, const char* data, size_t size, off_t offset) {
    while (size > 0) {
        ssize_t n = pwrite(fd, data, size, offset);
        if (n < 0 && errno == EINTR) continue;
        if (n == 0) errno = ENOSPC;
        if (n <= 0) return false;
        data += n;
        size -= static_cast<size_t>(n);
        offset += n;
    }
    return true;
}

// One step of the file's changes: written, and with sync on the disk before
// the next step starts. The failure's errno goes to w->error.
bool step(GpxWriter* w, const char* data, size_t size, off_t offset) {
    if (writeAt(w->fd, data, size, offset) && (!w->sync || fdatasync(w->fd) == 0)) return true;
    w->error = errno ? errno : EIO;
    return false;
}

bool samePage(off_t from, size_t size) { return from / kPage == (from + static_cast<off_t>(size) - 1) / kPage; }

// The closing tags go to the start of the next page. Three steps in this
// order, each inside one page and each leaving a whole document:
//   1. blanks from the end of the file to the page end (after the root);
//   2. at the page start "<?kiv -->" + closing + "<?kiv ?>": after the root
//      that is one processing instruction ending at the last "?>";
//   3. "<!--" and blanks over the old closing tags: the comment now runs to
//      the "-->" of step 2, so the closing tags there end the document.
bool movePage(GpxWriter* w) {
    off_t next = (w->tail / kPage + 1) * kPage;
    if (w->end < next) {
        std::string blanks(static_cast<size_t>(next - w->end), ' ');
        blanks.back() = '\n';
        if (!step(w, blanks.data(), blanks.size(), w->end)) return false;
    }
    std::string start = std::string(kPageStart) + GPX_CLOSING + kTrailer;
    if (!step(w, start.data(), start.size(), next)) return false;
    std::string comment = "<!--" + std::string(static_cast<size_t>(w->end - w->tail) - 4, ' ');
    if (!step(w, comment.data(), comment.size(), w->tail)) return false;
    w->tail = next + static_cast<off_t>(sizeof kPageStart - 1);
    w->end = next + static_cast<off_t>(start.size());
    return true;
}

}  // namespace

void gpx_append_escaped(std::string& out, const char* text) {
    for (; text && *text; ++text) {
        switch (*text) {
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '&': out += "&amp;"; break;
        case '"': out += "&quot;"; break;
        default:
            // Control characters are not allowed in XML 1.0.
            if (static_cast<unsigned char>(*text) >= 0x20 || *text == '\t') out += *text;
        }
    }
}

GpxPoint gpx_point(double lat, double lon) {
    return GpxPoint{lat, lon, NAN, NAN, NAN, NAN, GPX_TIME_UNKNOWN, 0, -1};
}

int64_t gpx_time_from_text(const char* text) {
    int y, mo, d, h, mi, s, n = 0;
    char a, b, c;
    if (!text || sscanf(text, "%4d%c%2d%c%2d%c%2d:%2d:%2d%n", &y, &a, &mo, &b, &d, &c, &h, &mi, &s, &n) != 9)
        return GPX_TIME_UNKNOWN;
    bool iso = a == '-' && b == '-' && (c == 'T' || c == ' ');
    bool kiv = a == '/' && b == '/' && c == ' ';
    if (!(iso || kiv) || mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59 || s > 60 || h < 0 || mi < 0 ||
        s < 0)
        return GPX_TIME_UNKNOWN;
    int64_t t = daysFromCivil(y, mo, d) * 86400 + h * 3600 + mi * 60 + s;
    // An ISO time may name its zone: "+02:00" is two hours ahead of UTC.
    const char* zone = text + n;
    if (iso && *zone == '.') zone += 1 + strspn(zone + 1, "0123456789");
    if (iso && (*zone == '+' || *zone == '-')) {
        int zh, zm = 0, k = 0;
        if (sscanf(zone + 1, "%2d%n", &zh, &k) != 1 || k != 2) return GPX_TIME_UNKNOWN;
        const char* m = zone + 3 + (zone[3] == ':');
        if (*m >= '0' && *m <= '9' && (sscanf(m, "%2d%n", &zm, &k) != 1 || k != 2)) return GPX_TIME_UNKNOWN;
        if (zh > 14 || zm > 59) return GPX_TIME_UNKNOWN;
        t -= (zone[0] == '-' ? -1 : 1) * (zh * 3600 + zm * 60);
    }
    return t;
}

namespace {
// Formats at buf + *n, counting on as snprintf does (a cut shows as *n >= size).
__attribute__((format(printf, 4, 5))) void appendFormat(char* buf, size_t size, size_t* n, const char* fmt, ...) {
    if (*n >= size) return;
    va_list args;
    va_start(args, fmt);
    int wrote = vsnprintf(buf + *n, size - *n, fmt, args);
    va_end(args);
    if (wrote > 0) *n += static_cast<size_t>(wrote);
}
}  // namespace

size_t gpx_format_header(char* out, size_t size, const char* trackName) {
    std::string text =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<gpx version=\"1.1\" creator=\"Kiv\" xmlns=\"http://www.topografix.com/GPX/1/1\" "
        "xmlns:gpxtpx=\"http://www.garmin.com/xmlschemas/TrackPointExtension/v2\">\n<trk><name>";
    gpx_append_escaped(text, trackName);
    text += "</name><trkseg>\n";
    if (text.size() >= size) return 0;
    memcpy(out, text.c_str(), text.size() + 1);
    return text.size();
}

size_t gpx_format_point(char* out, size_t size, const GpxPoint* p) {
    if (!known(p->lat) || !known(p->lon) || std::fabs(p->lat) > 90 || std::fabs(p->lon) > 180) return 0;
    char buf[640];
    size_t n = 0;
    appendFormat(buf, sizeof buf, &n, "<trkpt lat=\"%.7f\" lon=\"%.7f\">", p->lat, p->lon);
    if (known(p->ele)) appendFormat(buf, sizeof buf, &n, "<ele>%.1f</ele>", p->ele);
    char iso[32];
    if (isoTime(iso, sizeof iso, p->time)) appendFormat(buf, sizeof buf, &n, "<time>%s</time>", iso);
    if (p->fix == 2 || p->fix == 3) appendFormat(buf, sizeof buf, &n, "<fix>%dd</fix>", p->fix);
    if (p->sat >= 0 && p->sat < 1000) appendFormat(buf, sizeof buf, &n, "<sat>%d</sat>", p->sat);
    if (known(p->hdop) && p->hdop >= 0) appendFormat(buf, sizeof buf, &n, "<hdop>%.1f</hdop>", p->hdop);
    bool speed = known(p->speed) && p->speed >= 0, course = known(p->course);
    if (speed || course) {
        // GPX 1.1 has no speed or course of its own; this extension is the
        // one the common tools understand.
        appendFormat(buf, sizeof buf, &n, "<extensions><gpxtpx:TrackPointExtension>");
        if (speed) appendFormat(buf, sizeof buf, &n, "<gpxtpx:speed>%.2f</gpxtpx:speed>", p->speed);
        if (course) appendFormat(buf, sizeof buf, &n, "<gpxtpx:course>%.1f</gpxtpx:course>", p->course);
        appendFormat(buf, sizeof buf, &n, "</gpxtpx:TrackPointExtension></extensions>");
    }
    appendFormat(buf, sizeof buf, &n, "</trkpt>\n");
    if (n >= sizeof buf || n >= size) return 0;
    memcpy(out, buf, n + 1);
    return n;
}

int gpx_writer_open(GpxWriter* w, const char* path, const char* trackName, int sync) {
    *w = GpxWriter{-1, 0, 0, 0, 0};
    w->sync = sync;
    w->error = EINVAL;
    char text[1024];
    size_t header = gpx_format_header(text, sizeof text - kClosingLength, trackName);
    if (!header) return 0;
    memcpy(text + header, GPX_CLOSING, kClosingLength + 1);
    // Written whole under another name first: the file never exists empty,
    // not even after a power cut.
    std::string temporary = std::string(path) + ".part";
    int fd = open(temporary.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
        w->error = errno;
        return 0;
    }
    w->fd = fd;
    bool ok = step(w, text, header + kClosingLength, 0);
    if (ok && link(temporary.c_str(), path) != 0) {
        w->error = errno;
        ok = false;
    }
    if (!ok) {
        int error = w->error;
        close(fd);
        unlink(temporary.c_str());
        *w = GpxWriter{-1, 0, 0, 0, 0};
        w->error = error;
        return 0;
    }
    unlink(temporary.c_str());
    w->error = 0;
    w->tail = static_cast<off_t>(header);
    w->end = static_cast<off_t>(header + kClosingLength);
    return 1;
}

int gpx_writer_point(GpxWriter* w, const GpxPoint* p) {
    if (w->fd < 0) {
        w->error = EBADF;
        return 0;
    }
    char text[1024];
    size_t n = 0;
    if (w->newSegment && w->points > 0) {
        memcpy(text, GPX_NEW_SEGMENT, sizeof GPX_NEW_SEGMENT);
        n = sizeof GPX_NEW_SEGMENT - 1;
    }
    size_t point = gpx_format_point(text + n, sizeof text - n - kClosingLength, p);
    if (!point) {
        w->error = EINVAL;
        return 0;
    }
    n += point;
    size_t body = n;
    memcpy(text + n, GPX_CLOSING, kClosingLength);
    n += kClosingLength;
    // All of the old closing region is overwritten, so none of it is left
    // behind the new closing tags.
    while (static_cast<off_t>(n) < w->end - w->tail) text[n++] = ' ';
    if (!samePage(w->tail, n) && !movePage(w)) return 0;
    if (!step(w, text, n, w->tail)) return 0;
    if (w->tail + static_cast<off_t>(n) > w->end) w->end = w->tail + static_cast<off_t>(n);
    w->tail += static_cast<off_t>(body);
    w->newSegment = 0;
    w->points++;
    return 1;
}

void gpx_writer_break(GpxWriter* w) { w->newSegment = 1; }

int gpx_writer_close(GpxWriter* w) {
    int ok = w->fd < 0 || close(w->fd) == 0;
    if (!ok) w->error = errno;
    w->fd = -1;
    return ok;
}

int gpx_file_name(char* out, size_t size, const char* folder, int64_t time, int copy) {
    char iso[32];
    if (!isoTime(iso, sizeof iso, time)) return 0;
    // "YYYY-MM-DDTHH:MM:SSZ" -> "YYYYMMDD-HHMMSS"
    char stamp[16] = {iso[0], iso[1], iso[2], iso[3], iso[5], iso[6], iso[8], iso[9], '-',
                      iso[11], iso[12], iso[14], iso[15], iso[17], iso[18], 0};
    size_t len = strlen(folder);
    const char* sep = len && folder[len - 1] == '/' ? "" : "/";
    char suffix[16] = "";
    if (copy > 0) snprintf(suffix, sizeof suffix, "-%d", copy);
    int n = snprintf(out, size, "%s%skiv-%s%s.gpx", folder, sep, stamp, suffix);
    return n > 0 && static_cast<size_t>(n) < size;
}

std::string gpx_waypoints_document(const std::vector<GpxWaypoint>& waypoints) {
    std::string text =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<gpx version=\"1.1\" creator=\"Kiv\" xmlns=\"http://www.topografix.com/GPX/1/1\">\n";
    char buf[128];
    for (const GpxWaypoint& w : waypoints) {
        if (!known(w.lat) || !known(w.lon) || std::fabs(w.lat) > 90 || std::fabs(w.lon) > 180) continue;
        snprintf(buf, sizeof buf, "<wpt lat=\"%.7f\" lon=\"%.7f\">", w.lat, w.lon);
        text += buf;
        if (known(w.ele)) {
            snprintf(buf, sizeof buf, "<ele>%.1f</ele>", w.ele);
            text += buf;
        }
        char iso[32];
        if (isoTime(iso, sizeof iso, w.time)) text += std::string("<time>") + iso + "</time>";
        // The schema's order: name, cmt, then sym.
        const std::pair<const char*, const std::string*> fields[] = {{"name", &w.name}, {"cmt", &w.cmt},
                                                                     {"sym", &w.sym}};
        for (const auto& [tag, value] : fields) {
            if (value->empty()) continue;
            text += std::string("<") + tag + ">";
            gpx_append_escaped(text, value->c_str());
            text += std::string("</") + tag + ">";
        }
        text += "</wpt>\n";
    }
    text += "</gpx>\n";
    return text;
}
