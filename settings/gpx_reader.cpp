#include "settings/gpx_reader.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

struct Cursor {
    const char* p;
    const char* end;
};

// Position of the first occurrence of needle at or after from, or end.
const char* find(const char* from, const char* end, const char* needle) {
    size_t n = strlen(needle);
    while (from < end) {
        const char* hit = static_cast<const char*>(memchr(from, needle[0], static_cast<size_t>(end - from)));
        if (!hit || static_cast<size_t>(end - hit) < n) return end;
        if (memcmp(hit, needle, n) == 0) return hit;
        from = hit + 1;
    }
    return end;
}

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// A test per character by hand: strchr here was the reader's largest cost.
bool isNameChar(char c) {
    return c && !isSpace(c) && c != '/' && c != '>' && c != '=' && c != '"' && c != '\'';
}

// The name after '<' or "</", without a namespace prefix.
void localName(const char*& p, const char* end, const char** name, size_t* length) {
    const char* start = p;
    while (p < end && isNameChar(*p)) ++p;
    const char* colon = start;
    for (const char* q = start; q < p; ++q)
        if (*q == ':') colon = q + 1;
    *name = colon;
    *length = static_cast<size_t>(p - colon);
}

bool is(const char* name, size_t length, const char* want) {
    return length == strlen(want) && memcmp(name, want, length) == 0;
}

// The '>' that ends a tag opened before p, skipping quoted values; end when none.
const char* tagEnd(const char* p, const char* end) {
    char quote = 0;
    for (; p < end; ++p) {
        if (quote) {
            if (*p == quote) quote = 0;
        } else if (*p == '"' || *p == '\'') {
            quote = *p;
        } else if (*p == '>') {
            return p;
        }
    }
    return end;
}

// A number from a bounded piece of text; NaN when there is none.
double number(const char* p, const char* end) {
    char buf[64];
    while (p < end && isSpace(*p)) ++p;
    size_t n = std::min(static_cast<size_t>(end - p), sizeof buf - 1);
    memcpy(buf, p, n);
    buf[n] = 0;
    char* stop;
    double v = strtod(buf, &stop);
    return stop == buf ? NAN : v;
}

// The value of attribute want between p and the tag's end (either quote).
bool attribute(const char* p, const char* end, const char* want, double* out) {
    while (p < end) {
        while (p < end && !isNameChar(*p)) ++p;
        const char* name;
        size_t length;
        localName(p, end, &name, &length);
        while (p < end && isSpace(*p)) ++p;
        if (p >= end || *p != '=') continue;
        ++p;
        while (p < end && isSpace(*p)) ++p;
        if (p >= end || (*p != '"' && *p != '\'')) continue;
        char quote = *p++;
        const char* close = static_cast<const char*>(memchr(p, quote, static_cast<size_t>(end - p)));
        if (!close) return false;
        if (is(name, length, want)) {
            *out = number(p, close);
            return true;
        }
        p = close + 1;
    }
    return false;
}

// Character data up to the next '<', the five entities and numeric
// references decoded (UTF-8), cut at 255 bytes.
std::string text(const char* p, const char* end) {
    const char* stop = static_cast<const char*>(memchr(p, '<', static_cast<size_t>(end - p)));
    if (!stop) stop = end;
    std::string out;
    static const struct { const char* name; char c; } entities[] = {
        {"lt;", '<'}, {"gt;", '>'}, {"amp;", '&'}, {"quot;", '"'}, {"apos;", '\''}};
    while (p < stop && out.size() < 255) {
        if (*p != '&') {
            out += *p++;
            continue;
        }
        ++p;
        bool done = false;
        for (const auto& e : entities) {
            size_t n = strlen(e.name);
            if (static_cast<size_t>(stop - p) >= n && memcmp(p, e.name, n) == 0) {
                out += e.c;
                p += n;
                done = true;
                break;
            }
        }
        if (done || p >= stop || *p != '#') continue;
        const char* semi = static_cast<const char*>(memchr(p, ';', static_cast<size_t>(stop - p)));
        if (!semi || semi - p > 10) continue;
        char digits[12] = {};
        memcpy(digits, p + 1, static_cast<size_t>(semi - p - 1));
        unsigned long c = digits[0] == 'x' ? strtoul(digits + 1, nullptr, 16) : strtoul(digits, nullptr, 10);
        p = semi + 1;
        if (c == 0 || c > 0x10FFFF) continue;
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

enum PointKind { NO_POINT, TRACK_POINT, ROUTE_POINT, WAY_POINT };

struct Reader {
    GpxData* out;
    int gpx = 0;
    PointKind kind = NO_POINT;
    bool usable = false;
    GpxPoint point{};
    std::string name;
    bool inSegment = false;

    GpxLine& line(int route) {
        if (out->lines.empty() || !inSegment || out->lines.back().route != route) {
            out->lines.push_back(GpxLine{{}, route});
            inSegment = true;
        }
        return out->lines.back();
    }

    void startPoint(PointKind k, const char* attrs, const char* end) {
        kind = k;
        double lat = NAN, lon = NAN;
        attribute(attrs, end, "lat", &lat);
        attribute(attrs, end, "lon", &lon);
        point = gpx_point(lat, lon);
        usable = std::isfinite(lat) && std::isfinite(lon) && std::fabs(lat) <= 90 && std::fabs(lon) <= 180;
        name.clear();
    }

    void endPoint() {
        if (usable) {
            if (kind == WAY_POINT) out->waypoints.push_back(GpxWaypoint{point.lat, point.lon, name});
            else line(kind == ROUTE_POINT).points.push_back(point);
        }
        kind = NO_POINT;
    }

    void field(const char* n, size_t length, const char* p, const char* end) {
        if (is(n, length, "ele")) point.ele = number(p, end);
        else if (is(n, length, "speed")) point.speed = number(p, end);
        else if (is(n, length, "course")) point.course = number(p, end);
        else if (is(n, length, "hdop")) point.hdop = number(p, end);
        else if (is(n, length, "sat")) {
            double s = number(p, end);
            point.sat = s >= 0 && s < 1000 ? static_cast<int>(s) : -1;
        } else if (is(n, length, "fix")) {
            std::string t = text(p, end);
            point.fix = t == "2d" ? 2 : t == "3d" ? 3 : 0;
        } else if (is(n, length, "time")) point.time = gpx_time_from_text(text(p, end).c_str());
        else if (is(n, length, "name")) name = text(p, end);
    }

    void start(const char* n, size_t length, const char* attrs, const char* close, bool empty) {
        if (is(n, length, "gpx")) gpx = 1;
        else if (is(n, length, "trkseg") || is(n, length, "trk") || is(n, length, "rte")) inSegment = false;
        else if (is(n, length, "trkpt")) startPoint(TRACK_POINT, attrs, close);
        else if (is(n, length, "rtept")) startPoint(ROUTE_POINT, attrs, close);
        else if (is(n, length, "wpt")) startPoint(WAY_POINT, attrs, close);
        else if (kind != NO_POINT && !empty) field(n, length, close + 1, end);
        if (empty && kind != NO_POINT &&
            (is(n, length, "trkpt") || is(n, length, "rtept") || is(n, length, "wpt")))
            endPoint();
    }

    void finish(const char* n, size_t length) {
        if (kind != NO_POINT && (is(n, length, "trkpt") || is(n, length, "rtept") || is(n, length, "wpt")))
            endPoint();
        else if (is(n, length, "trkseg") || is(n, length, "rte")) inSegment = false;
    }

    const char* end = nullptr;
};

}  // namespace

int gpx_read_text(const char* data, size_t size, GpxData* out) {
    Reader r;
    r.out = out;
    const char* p = data;
    const char* end = data + size;
    r.end = end;
    while (p < end) {
        const char* lt = static_cast<const char*>(memchr(p, '<', static_cast<size_t>(end - p)));
        if (!lt || end - lt < 2) break;
        p = lt + 1;
        if (*p == '?') {
            p = find(p, end, "?>");
            continue;
        }
        if (*p == '!') {
            if (end - p >= 3 && p[1] == '-' && p[2] == '-') p = find(p + 3, end, "-->");
            else if (end - p >= 8 && memcmp(p, "![CDATA[", 8) == 0) p = find(p + 8, end, "]]>");
            else p = tagEnd(p, end);
            continue;
        }
        bool closing = *p == '/';
        if (closing) ++p;
        const char* name;
        size_t length;
        localName(p, end, &name, &length);
        const char* close = tagEnd(p, end);
        if (close >= end) break;
        if (closing) r.finish(name, length);
        else r.start(name, length, p, close, close > p && close[-1] == '/');
        p = close + 1;
    }
    return r.gpx;
}

int gpx_read_file(const char* path, GpxData* out) {
    FILE* f = fopen(path, "rb");
    if (!f) return 0;
    std::string data;
    char buf[1 << 16];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) data.append(buf, n);
    fclose(f);
    return gpx_read_text(data.data(), data.size(), out);
}

size_t gpx_point_count(const GpxData& data) {
    size_t n = 0;
    for (const GpxLine& l : data.lines) n += l.points.size();
    return n;
}

double gpx_length_metres(const GpxData& data) {
    constexpr double kRadius = 6371008.8, kRad = M_PI / 180;
    double total = 0;
    for (const GpxLine& l : data.lines)
        for (size_t i = 1; i < l.points.size(); ++i) {
            const GpxPoint &a = l.points[i - 1], &b = l.points[i];
            double dlat = (b.lat - a.lat) * kRad, dlon = (b.lon - a.lon) * kRad;
            double h = std::sin(dlat / 2) * std::sin(dlat / 2) +
                       std::cos(a.lat * kRad) * std::cos(b.lat * kRad) * std::sin(dlon / 2) * std::sin(dlon / 2);
            total += 2 * kRadius * std::asin(std::sqrt(std::min(1.0, h)));
        }
    return total;
}
