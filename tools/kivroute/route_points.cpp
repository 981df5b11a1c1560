#include "tools/kivroute/route_points.h"

#include <cmath>
#include <cstdio>

namespace {

std::string field(const std::string& s) {
    std::string out = s;
    for (char& c : out)
        if (c == '\t' || c == '\n' || c == '\r') c = ' ';
    return out;
}

std::string number(const char* format, double v) {
    char text[48];
    std::snprintf(text, sizeof text, format, v);
    return text;
}

}  // namespace

std::string route_totals_line(const RouteAnswer& route) {
    if (route.points.empty()) return "0\t0\n";
    const RoutePoint& end = route.points.back();
    return number("%.0f", end.metres) + "\t" + number("%.0f", end.seconds) + "\n";
}

std::string route_instruction_lines(const RouteAnswer& route) {
    std::string out;
    for (const RoutePoint& p : route.points)
        if (!p.instruction.empty()) out += number("%.0f", p.metres) + "\t" + field(p.instruction) + "\n";
    return out;
}

std::string route_point_lines(const RouteAnswer& route) {
    std::string out;
    for (const RoutePoint& p : route.points) {
        out += number("%.6f", p.lat) + "\t" + number("%.6f", p.lon) + "\t" + number("%.1f", p.metres) + "\t" +
               number("%.1f", p.seconds) + "\t" + std::to_string(p.turn) + "\t" + std::to_string(p.bearing) +
               "\t" + field(p.street) + "\t" + field(p.instruction) + "\n";
    }
    return out;
}
