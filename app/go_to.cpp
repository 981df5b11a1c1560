#include "app/go_to.h"

#include <cmath>
#include <string>

#include "platform/platform.h"
#include "position/gps_fix.h"
#include "settings/app_settings.h"
#include "tracks/gpx_writer.h"
#include "settings/window_state.h"

namespace {

constexpr int kReachedShownSeconds = 15;

// The one navigation of the window.
struct GoTo {
    NavState state;
    NavReading reading;
    std::string reached;               // said on the strip until reachedUntil
    int64_t reachedUntil = 0;          // monotonic seconds
} going;

void start(std::vector<NavPoint> points, int leg) {
    going = GoTo{};
    going.state.points = std::move(points);
    going.state.leg = leg;
    platform_invalidate(0);
}

// The receiver's clock when it gives one: a drive replayed from a log has
// its ETAs in its own day.
int64_t fixTime() {
    char utc[GPS_TIME_TEXT];
    gps_copy_utc_text(utc);
    int64_t t = utc[0] ? gpx_time_from_text(utc) : GPX_TIME_UNKNOWN;
    return t == GPX_TIME_UNKNOWN ? platform_clock_seconds() : t;
}

}  // namespace

void go_to_point(double lat, double lon, const char* name) {
    if (!(std::fabs(lat) <= 90) || !(std::fabs(lon) <= 180)) return;
    start({NavPoint{lat, lon, name ? name : ""}}, 0);
}

void go_to_route(const std::vector<NavPoint>& points, int leg) {
    if (points.empty()) {
        go_to_stop();
        return;
    }
    start(points, leg >= 0 && leg < static_cast<int>(points.size()) ? leg : 0);
}

void go_to_stop() { start({}, 0); }

const NavState& go_to_state() { return going.state; }

const NavReading& go_to_update(const AppSettings* s, int64_t* nowUtc) {
    *nowUtc = fixTime();
    if (going.state.points.empty() || !gps_has_position() || gps_fix_mode() <= 0) {
        going.reading = NavReading{};
        return going.reading;
    }
    NavFix fix{gps_latitude(), gps_longitude(), gps_speed(), gps_speed() > 0 ? gps_course() : NAN};
    double radius = s && s->arrivalMetres > 0 ? s->arrivalMetres : NAV_ARRIVAL_METRES;
    going.reading = nav_step(&going.state, fix, *nowUtc, radius);
    if (going.reading.reachedNow) {
        going.reached = going.reading.reached;
        going.reachedUntil = platform_monotonic_seconds() + kReachedShownSeconds;
        platform_beep();
    }
    return going.reading;
}

const char* go_to_reached_note() {
    if (going.reached.empty() || platform_monotonic_seconds() >= going.reachedUntil) return "";
    return going.reached.c_str();
}

void go_to_keep(WindowState* state) {
    state->goTo.clear();
    for (const NavPoint& p : going.state.points) state->goTo.push_back(WindowState::Point{p.lat, p.lon, p.name});
    state->goToLeg = going.state.leg;
    state->goToArrived = going.state.arrived;
}

void go_to_restore(const WindowState& state) {
    std::vector<NavPoint> points;
    for (const WindowState::Point& p : state.goTo) points.push_back(NavPoint{p.lat, p.lon, p.name});
    go_to_route(points, state.goToLeg);
    // Arrived before: said already, not again at the start.
    going.state.arrived = state.goToArrived;
}
