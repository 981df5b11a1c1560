#include "tracks/gpx_reader.h"

#include <expat.h>

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "settings/great_circle.h"

namespace {

// Expat gives a namespaced name as "URI" kSeparator "local".
constexpr char kSeparator = '\x01';
constexpr size_t kTextLimit = 4096;   // of one field's text; longer is no value of ours
constexpr size_t kNameLimit = 255;

struct Name {
    const char* local;
    bool own;                          // GPX namespace or none
};

Name split(const char* name) {
    const char* sep = strchr(name, kSeparator);
    if (!sep) return {name, true};
    return {sep + 1, strncmp(name, "http://www.topografix.com/GPX/", 30) == 0};
}

bool is(const char* a, const char* b) { return strcmp(a, b) == 0; }

// A decimal number and nothing else around blanks; false for "45,40",
// "0x10", "nan" and empty text.
bool decimal(const char* text, double* out) {
    const char* p = text + strspn(text, " \t\r\n");
    size_t n = strspn(p, "0123456789+-.eE");
    if (n == 0 || p[n + strspn(p + n, " \t\r\n")] != 0) return false;
    char* end;
    double v = strtod(p, &end);
    if (end != p + n || !std::isfinite(v)) return false;
    *out = v;
    return true;
}

enum PointKind { NO_POINT, TRACK_POINT, ROUTE_POINT, WAY_POINT };

struct Reader {
    XML_Parser parser = nullptr;
    GpxData data;
    std::string error;
    int depth = 0;
    bool root = false;
    PointKind kind = NO_POINT;
    int pointDepth = 0, extensionsDepth = 0;
    bool usable = false, inSegment = false;
    GpxPoint point{};
    std::string name, sym, cmt;
    const char* field = nullptr;       // collecting this field's text
    std::string text;

    void stop(const std::string& why, bool withLine = true) {
        if (!error.empty()) return;
        error = withLine ? "line " + std::to_string(XML_GetCurrentLineNumber(parser)) + ": " + why : why;
        XML_StopParser(parser, XML_FALSE);
    }

    GpxLine& line(int route) {
        if (data.lines.empty() || !inSegment || data.lines.back().route != route) {
            data.lines.push_back(GpxLine{{}, route, {}});
            inSegment = true;
        }
        return data.lines.back();
    }

    bool coordinate(const char** attrs, const char* want, double* out) {
        for (const char** a = attrs; a[0]; a += 2) {
            if (!is(a[0], want)) continue;
            if (decimal(a[1], out)) return true;
            stop(std::string(want) + " \"" + std::string(a[1]).substr(0, 40) + "\" is not a number");
            return false;
        }
        stop(std::string("a point without ") + want);
        return false;
    }

    void startPoint(PointKind k, const char** attrs) {
        double lat = NAN, lon = NAN;
        if (!coordinate(attrs, "lat", &lat) || !coordinate(attrs, "lon", &lon)) return;
        kind = k;
        pointDepth = depth;
        point = gpx_point(lat, lon);
        usable = std::fabs(lat) <= 90 && std::fabs(lon) <= 180;
        name.clear();
        sym.clear();
        cmt.clear();
    }

    void endPoint() {
        if (usable) {
            if (kind == WAY_POINT)
                data.waypoints.push_back(GpxWaypoint{point.lat, point.lon, name, point.time, point.ele, sym, cmt});
            else if (kind == TRACK_POINT) line(0).points.push_back(point);
            else {
                GpxLine& route = line(1);
                route.points.push_back(point);
                route.names.push_back(name);   // Follow Route says which point is next
            }
        } else {
            data.outside++;
        }
        kind = NO_POINT;
    }

    // The field an element of a point stands for, or null.
    const char* fieldOf(Name n) const {
        static const char* const own[] = {"ele", "time", "fix", "sat", "hdop", "name", "speed", "course",
                                          "sym",  "cmt",  nullptr};
        if (extensionsDepth) return is(n.local, "speed") ? "speed" : is(n.local, "course") ? "course" : nullptr;
        if (!n.own || depth != pointDepth + 1) return nullptr;
        for (const char* const* f = own; *f; ++f)
            if (is(n.local, *f)) return *f;
        return nullptr;
    }

    void start(const char* element, const char** attrs) {
        ++depth;
        Name n = split(element);
        if (!root) {
            root = true;
            if (!n.own || !is(n.local, "gpx")) stop(std::string("the root element is <") + n.local + ">, not <gpx>", false);
            return;
        }
        if (kind != NO_POINT) {
            if (n.own && depth == pointDepth + 1 && is(n.local, "extensions")) extensionsDepth = depth;
            field = fieldOf(n);
            text.clear();
            return;
        }
        if (!n.own) return;
        if (is(n.local, "trkseg") || is(n.local, "trk") || is(n.local, "rte")) inSegment = false;
        else if (is(n.local, "trkpt")) startPoint(TRACK_POINT, attrs);
        else if (is(n.local, "rtept")) startPoint(ROUTE_POINT, attrs);
        else if (is(n.local, "wpt")) startPoint(WAY_POINT, attrs);
    }

    void setField() {
        double v = NAN;
        const char* t = text.c_str();
        if (is(field, "time")) point.time = gpx_time_from_text(t + strspn(t, " \t\r\n"));
        else if (is(field, "name")) name = cutName(text);
        else if (is(field, "sym")) sym = cutName(text);
        else if (is(field, "cmt")) cmt = cutName(text);
        else if (is(field, "fix")) point.fix = is(t, "2d") ? 2 : is(t, "3d") ? 3 : 0;
        else if (!decimal(t, &v)) return;
        else if (is(field, "ele")) point.ele = v;
        else if (is(field, "speed")) point.speed = v;
        else if (is(field, "course")) point.course = v;
        else if (is(field, "hdop")) point.hdop = v;
        else if (is(field, "sat")) point.sat = v >= 0 && v < 1000 ? static_cast<int>(v) : -1;
    }

    static std::string cutName(const std::string& t) {
        if (t.size() <= kNameLimit) return t;
        size_t n = kNameLimit;
        // Not inside a UTF-8 sequence.
        while (n > 0 && (static_cast<unsigned char>(t[n]) & 0xC0) == 0x80) --n;
        return t.substr(0, n);
    }

    void end(const char* element) {
        Name n = split(element);
        if (field) setField();
        field = nullptr;
        if (extensionsDepth == depth) extensionsDepth = 0;
        if (kind != NO_POINT && depth == pointDepth) endPoint();
        else if (n.own && kind == NO_POINT && (is(n.local, "trkseg") || is(n.local, "rte"))) inSegment = false;
        --depth;
    }
};

void XMLCALL onStart(void* r, const XML_Char* name, const XML_Char** attrs) { static_cast<Reader*>(r)->start(name, attrs); }
void XMLCALL onEnd(void* r, const XML_Char* name) { static_cast<Reader*>(r)->end(name); }
void XMLCALL onText(void* r, const XML_Char* s, int len) {
    Reader* reader = static_cast<Reader*>(r);
    if (reader->field && reader->text.size() < kTextLimit)
        reader->text.append(s, std::min(static_cast<size_t>(len), kTextLimit - reader->text.size()));
}
// GPX needs no entities of its own; refusing every declaration leaves no
// room for an expansion attack, whatever the library's own limits.
void XMLCALL onEntity(void* r, const XML_Char*, int, const XML_Char*, int, const XML_Char*, const XML_Char*,
                      const XML_Char*, const XML_Char*) {
    static_cast<Reader*>(r)->stop("entity declarations are not allowed in GPX");
}

}  // namespace

int gpx_read_text(const char* text, size_t size, GpxData* out, std::string* error) {
    Reader r;
    r.parser = XML_ParserCreateNS(nullptr, kSeparator);
    if (!r.parser) {
        if (error) *error = "out of memory";
        return 0;
    }
    XML_SetUserData(r.parser, &r);
    XML_SetElementHandler(r.parser, onStart, onEnd);
    XML_SetCharacterDataHandler(r.parser, onText);
    XML_SetEntityDeclHandler(r.parser, onEntity);
    bool ok = true;
    do {
        int piece = size > (1u << 20) ? 1 << 20 : static_cast<int>(size);
        bool last = static_cast<size_t>(piece) == size;
        if (XML_Parse(r.parser, text, piece, last) != XML_STATUS_OK) {
            ok = false;
            break;
        }
        text += piece;
        size -= static_cast<size_t>(piece);
    } while (size > 0);
    if (!ok && r.error.empty())
        r.error = "line " + std::to_string(XML_GetCurrentLineNumber(r.parser)) + ": " +
                  XML_ErrorString(XML_GetErrorCode(r.parser));
    XML_ParserFree(r.parser);
    if (!ok) {
        if (error) *error = r.error;
        return 0;
    }
    for (GpxLine& l : r.data.lines) out->lines.push_back(std::move(l));
    for (GpxWaypoint& w : r.data.waypoints) out->waypoints.push_back(std::move(w));
    out->outside += r.data.outside;
    return 1;
}

int gpx_read_file(const char* path, GpxData* out, std::string* error) {
    FILE* f = fopen(path, "rb");
    if (!f) {
        if (error) *error = strerror(errno);
        return 0;
    }
    std::string data;
    char buf[1 << 16];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) data.append(buf, n);
    bool failed = ferror(f);
    fclose(f);
    if (failed) {
        if (error) *error = "cannot be read";
        return 0;
    }
    return gpx_read_text(data.data(), data.size(), out, error);
}

size_t gpx_point_count(const GpxData& data) {
    size_t n = 0;
    for (const GpxLine& l : data.lines) n += l.points.size();
    return n;
}

double gpx_length_metres(const GpxData& data) {
    double total = 0;
    for (const GpxLine& l : data.lines)
        for (size_t i = 1; i < l.points.size(); ++i)
            total += great_circle_metres(l.points[i - 1].lat, l.points[i - 1].lon, l.points[i].lat, l.points[i].lon);
    return total;
}
