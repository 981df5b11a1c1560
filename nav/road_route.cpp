#include "nav/road_route.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace {

std::vector<std::string> fields(const std::string& line) {
    std::vector<std::string> out;
    size_t start = 0;
    for (size_t tab; (tab = line.find('\t', start)) != std::string::npos; start = tab + 1)
        out.push_back(line.substr(start, tab - start));
    out.push_back(line.substr(start));
    return out;
}

bool number(const std::string& text, double* out) {
    if (text.empty()) return false;
    char* end;
    errno = 0;
    *out = std::strtod(text.c_str(), &end);
    return !*end && !errno && std::isfinite(*out);
}

bool whole(const std::string& text, int* out) {
    double d;
    if (!number(text, &d) || std::fabs(d) > 360 || d != std::floor(d)) return false;
    *out = static_cast<int>(d);
    return true;
}

}  // namespace

int road_route_parse(const std::string& text, RoadRoute* out, std::string* why) {
    *out = RoadRoute{};
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t nl; (nl = text.find('\n', start)) != std::string::npos; start = nl + 1)
        lines.push_back(text.substr(start, nl - start));
    // A reply cut short ends inside a line: that line is not trusted.
    if (start < text.size()) {
        *why = "the router's answer was cut short";
        return 0;
    }
    if (lines.empty()) {
        *why = "the router answered nothing";
        return 0;
    }
    std::vector<std::string> totals = fields(lines[0]);
    if (totals.size() != 2 || !number(totals[0], &out->metres) || !number(totals[1], &out->seconds) ||
        out->metres < 0 || out->seconds < 0) {
        *why = "the router's answer does not start with its distance and time: " + lines[0].substr(0, 80);
        return 0;
    }
    for (size_t i = 1; i < lines.size(); i++) {
        std::vector<std::string> f = fields(lines[i]);
        RoadPoint p{};
        if (f.size() != 8 || !number(f[0], &p.lat) || !number(f[1], &p.lon) || std::fabs(p.lat) > 90 ||
            std::fabs(p.lon) > 180 || !number(f[2], &p.metres) || !number(f[3], &p.seconds) || !whole(f[4], &p.turn) ||
            !whole(f[5], &p.bearing)) {
            *why = "line " + std::to_string(i + 1) + " of the router's answer is not a point: " + lines[i].substr(0, 80);
            *out = RoadRoute{};
            return 0;
        }
        p.street = f[6];
        p.instruction = f[7];
        out->points.push_back(std::move(p));
    }
    if (out->points.size() < 2) {
        *why = "the router's answer holds no line";
        *out = RoadRoute{};
        return 0;
    }
    return 1;
}
