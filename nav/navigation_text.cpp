#include "nav/navigation_text.h"

#include <cmath>
#include <cstdio>

#include "nav/distance_text.h"

namespace {

constexpr double kFoot = 0.3048, kMile = 1609.344;

std::string printed(const char* format, double value) {
    char text[48];
    snprintf(text, sizeof text, format, value);
    return text;
}

std::string speedText(double ms, char unit) {
    if (!std::isfinite(ms)) return "--";
    return printed(unit == 'S' ? "%.1f " : "%.0f ", ms / speed_unit_mps(unit)) + speed_unit_text(unit);
}

}  // namespace

std::string nav_format_time_to_go(double seconds) {
    if (!std::isfinite(seconds)) return "--";
    long minutes = std::lround(seconds / 60);
    if (minutes < 60) return std::to_string(minutes) + " min";
    if (minutes >= 100 * 60) return ">99 h";
    char text[24];
    snprintf(text, sizeof text, "%ld h %02ld", minutes / 60, minutes % 60);
    return text;
}

std::string nav_format_local_time(int64_t utc, int64_t nowUtc, int zoneMinutes) {
    const int64_t shift = static_cast<int64_t>(zoneMinutes) * 60;
    int64_t local = utc + shift, today = nowUtc + shift;
    auto day = [](int64_t t) { return t >= 0 ? t / 86400 : (t - 86399) / 86400; };
    int64_t inDay = local - day(local) * 86400, days = day(local) - day(today);
    char text[32];
    if (days > 0) snprintf(text, sizeof text, "%02d:%02d +%lldd", static_cast<int>(inDay / 3600),
                           static_cast<int>(inDay / 60 % 60), static_cast<long long>(days));
    else snprintf(text, sizeof text, "%02d:%02d", static_cast<int>(inDay / 3600), static_cast<int>(inDay / 60 % 60));
    return text;
}

void nav_format_distance(char* out, size_t size, double metres, int imperial) {
    if (!std::isfinite(metres)) snprintf(out, size, "--");
    else if (imperial && metres < 1000 * kFoot) snprintf(out, size, "%.0f ft", metres / kFoot);
    else if (imperial) snprintf(out, size, metres < 100 * kMile ? "%.1f mi" : "%.0f mi", metres / kMile);
    else if (metres < 1000) snprintf(out, size, "%.0f m", metres);
    else snprintf(out, size, metres < 100000 ? "%.1f km" : "%.0f km", metres / 1000);
}

std::vector<std::string> nav_strip_items(const NavReading& r, char speedUnit, int zoneMinutes, int64_t nowUtc) {
    std::vector<std::string> items;
    if (!r.active) return items;
    const int imperial = speedUnit == 'M';
    std::string name = r.name.empty() ? "" : " " + r.name;
    if (r.arrived) items.push_back("Arrived" + (name.empty() ? name : " at" + name));
    else if (r.legs > 1) items.push_back("To" + name + " (" + std::to_string(r.leg + 1) + "/" + std::to_string(r.legs) + ")");
    else if (!name.empty()) items.push_back("To" + name);
    char text[48];
    snprintf(text, sizeof text, "Brg %03.0f\xC2\xB0", std::fmod(std::round(r.bearing), 360.0));
    items.push_back(text);
    nav_format_distance(text, sizeof text, r.metres, imperial);
    items.push_back(text);
    if (r.arrived) return items;
    items.push_back("SMG " + speedText(r.madeGood, speedUnit));
    items.push_back("TTG " + nav_format_time_to_go(r.secondsToGo));
    items.push_back("ETA " + (r.eta ? nav_format_local_time(r.eta, nowUtc, zoneMinutes) : std::string("--")));
    if (r.onLeg) {
        nav_format_distance(text, sizeof text, std::fabs(r.crossTrack), imperial);
        items.push_back(std::string("XTE ") + text + (r.crossTrack >= 0 ? " R" : " L"));
    }
    return items;
}
