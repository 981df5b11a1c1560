#include "nav/road_text.h"

#include <cctype>
#include <cstdlib>

#include "nav/navigation_text.h"

namespace {

std::string distance(double metres, char speedUnit) {
    char text[32];
    nav_format_distance(text, sizeof text, metres, speedUnit == 'M');
    return text;
}

// "Turn left onto ..." read after "in 300 m".
std::string lowerFirst(std::string text) {
    if (!text.empty() && std::isupper(static_cast<unsigned char>(text[0])))
        text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
    return text;
}

}  // namespace

const char* road_turn_arrow(int turn) {
    int a = std::abs(turn);
    bool left = turn < 0;
    if (a < 20) return "\xE2\x86\x91";                          // ↑
    if (a < 60) return left ? "\xE2\x86\x96" : "\xE2\x86\x97";  // ↖ ↗
    if (a < 135) return left ? "\xE2\x86\x90" : "\xE2\x86\x92"; // ← →
    if (a < 170) return left ? "\xE2\x86\x99" : "\xE2\x86\x98"; // ↙ ↘
    return left ? "\xE2\x86\xB6" : "\xE2\x86\xB7";              // ↶ ↷
}

std::vector<std::string> road_strip_items(const RoadRoute& route, const RoadProgress* progress, char speedUnit,
                                          int zoneMinutes, int64_t nowUtc) {
    if (!progress)
        return {"Route " + distance(route.metres, speedUnit), nav_format_time_to_go(route.seconds)};
    const RoadProgress& p = *progress;
    if (p.arrived) return {"Arrived"};
    std::vector<std::string> items;
    if (p.next >= 0) {
        const RoadPoint& at = route.points[static_cast<size_t>(p.next)];
        items.push_back(std::string(road_turn_arrow(at.turn)) + " in " + distance(p.toNext, speedUnit) + " " +
                        lowerFirst(at.instruction));
    }
    items.push_back(distance(p.toEnd, speedUnit) + " to go");
    items.push_back("TTG " + nav_format_time_to_go(p.secondsToEnd));
    items.push_back("ETA " + nav_format_local_time(nowUtc + static_cast<int64_t>(p.secondsToEnd + 0.5), nowUtc,
                                                   zoneMinutes));
    return items;
}

std::vector<std::string> road_direction_lines(const RoadRoute& route, char speedUnit, std::vector<int>* pointOfLine) {
    std::vector<std::string> lines;
    pointOfLine->clear();
    for (size_t i = 0; i < route.points.size(); i++) {
        const RoadPoint& p = route.points[i];
        if (p.instruction.empty()) continue;
        lines.push_back(distance(p.metres, speedUnit) + "\t" + road_turn_arrow(p.turn) + " " + p.instruction + "\t" +
                        p.street);
        pointOfLine->push_back(static_cast<int>(i));
    }
    return lines;
}
