#include "app/road_routing.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>

#include "app/go_to.h"
#include "app/route_job.h"
#include "app/stale_fix.h"
#include "app/view_pane.h"
#include "maps/sheet_download_parts.h"
#include "maps/sheet_source.h"
#include "maps/view_plane.h"
#include "nav/geodesic.h"
#include "nav/road_following.h"
#include "nav/road_text.h"
#include "platform/platform.h"
#include "position/gps_fix.h"
#include "settings/app_settings.h"

namespace {

constexpr int kArrivedShownSeconds = 15, kViaShownSeconds = 10;
constexpr int64_t kFixesKeptSeconds = 30;
const char* const kProfiles[] = {"car", "bicycle", "foot"};

struct LatLon {
    double lat, lon;
};

// The window's one road route and its request.
struct RoadRouting {
    RoadRoute route;                   // shown and followed; no points: none
    LatLon to{};
    std::string toName;
    std::vector<LatLon> vias;          // of the route asked for, those not passed yet
    std::vector<LatLon> nextVias;      // added for the next Route To
    int profile = ROAD_PROFILE_CAR;
    RouteServer server;                // the router kept running between requests
    std::unique_ptr<RouteJob> job;
    int requests = 0, jobRequest = 0;  // the answer taken is the latest request's only
    int rerouting = 0;                 // the request in flight replaces a route left
    std::string note;                  // said on the strip...
    int64_t noteUntil = 0;             // ...until then (monotonic seconds); 0 until the next request
    std::vector<RoadFix> fixes;        // oldest first, the last kFixesKeptSeconds
    double lastLat = NAN, lastLon = NAN;
    char lastUtc[GPS_TIME_TEXT] = "";
    RoadProgress progress;
    int driving = 0;                   // progress is of a current fix
} routing;

bool freshFix() { return gps_has_position() && gps_fix_mode() > 0 && !stale_fix_stale(); }

// Where a route starts: the vehicle, else the middle of the view.
bool startPoint(const AppSettings* s, LatLon* out) {
    if (freshFix()) {
        *out = {gps_latitude(), gps_longitude()};
        return true;
    }
    int plane;
    double x, y, mpp;
    return view_pane_centre_now(s, &plane, &x, &y, &mpp) && view_plane_to_degrees(plane, x, y, &out->lat, &out->lon);
}

void say(const std::string& note, int seconds) {
    routing.note = note;
    routing.noteUntil = seconds ? platform_monotonic_seconds() + seconds : 0;
    platform_invalidate(0);
}

void ask(const AppSettings* s, LatLon from) {
    RouteAsk a;
    a.profile = kProfiles[routing.profile];
    a.lats.push_back(from.lat), a.lons.push_back(from.lon);
    for (const LatLon& v : routing.vias) a.lats.push_back(v.lat), a.lons.push_back(v.lon);
    a.lats.push_back(routing.to.lat), a.lons.push_back(routing.to.lon);
    char root[1024] = "";
    sheet_download_server_root(s, root, sizeof root);
    if (route_job_local_server(root)) a.program = route_job_program();
    else a.url = std::string(root) + "/route";
    route_job_end(&routing.job, &routing.server);
    routing.job = route_job_start(std::move(a), &routing.server);
    routing.jobRequest = ++routing.requests;
    routing.fixes.clear();
}

}  // namespace

std::string road_routing_unavailable(const AppSettings* s) {
    int kind = sheet_source_kind(s, 0);
    if (kind == SHEET_SOURCE_SERVER) return "";
    return std::string("Routing needs a map server with imported roads; the maps come from ") +
           (kind == SHEET_SOURCE_TILES ? "tiles (Tiles=)" : "a WMS (Wms=)") + " here, which have no roads to route on.";
}

void road_routing_to(const AppSettings* s, double lat, double lon, const char* name) {
    std::string why = road_routing_unavailable(s);
    LatLon from{};
    if (why.empty() && !startPoint(s, &from)) why = "Route To: no position and no view to start from.";
    if (!why.empty()) {
        say(why, 0);
        return;
    }
    routing.to = {lat, lon};
    routing.toName = name ? name : "";
    routing.vias = std::move(routing.nextVias);
    routing.nextVias.clear();
    routing.rerouting = 0;
    say("", 0);
    ask(s, from);
}

void road_routing_add_via(double lat, double lon) {
    routing.nextVias.push_back({lat, lon});
    say("Via point " + std::to_string(routing.nextVias.size()) + " added for the next Route To", kViaShownSeconds);
}

void road_routing_clear() {
    route_job_end(&routing.job, &routing.server);
    routing.route = RoadRoute{};
    routing.vias.clear();
    routing.nextVias.clear();
    routing.fixes.clear();
    routing.driving = 0;
    say("", 0);
}

void road_routing_stop() {
    road_routing_clear();
    route_server_end(&routing.server);
}

int road_routing_poll() {
    if (!routing.job || !routing.job->done) return 0;
    std::unique_ptr<RouteJob> job = std::move(routing.job);
    const int ok = job->ok;
    std::string reply = std::move(job->reply), why = job->why;
    route_job_end(&job, &routing.server);
    // An answer to an older request never replaces a newer one.
    if (routing.jobRequest != routing.requests) return 0;
    const bool rerouted = routing.rerouting;
    routing.rerouting = 0;
    RoadRoute route;
    if (ok && road_route_parse(reply, &route, &why)) {
        routing.route = std::move(route);
        routing.fixes.clear();
        routing.driving = 0;
        // One navigation at a time: the road route takes Go To's place.
        if (!go_to_state().points.empty()) go_to_stop();
        say("", 0);
        return 1;
    }
    // A failed re-route keeps the route left: it still leads there.
    say(std::string(rerouted ? "No new route: " : "No route: ") + why, 0);
    return 1;
}

void road_routing_update(const AppSettings* s) {
    routing.driving = 0;
    if (routing.note.size() && routing.noteUntil && platform_monotonic_seconds() >= routing.noteUntil) routing.note.clear();
    if (routing.route.points.empty() || !freshFix()) return;
    const double lat = gps_latitude(), lon = gps_longitude();
    const double arrival = s->arrivalMetres > 0 ? s->arrivalMetres : ROAD_OFF_METRES;
    routing.progress = road_progress(routing.route, lat, lon, arrival);
    routing.driving = 1;
    if (routing.progress.arrived) {
        std::string name = routing.toName;
        road_routing_clear();
        say(name.empty() ? "Arrived" : "Arrived at " + name, kArrivedShownSeconds);
        platform_beep();
        return;
    }
    while (!routing.vias.empty() &&
           geodesic_inverse(lat, lon, routing.vias.front().lat, routing.vias.front().lon).metres <= arrival)
        routing.vias.erase(routing.vias.begin());
    // Each fix once: a new time or a new place.
    char utc[GPS_TIME_TEXT];
    gps_copy_utc_text(utc);
    if (lat != routing.lastLat || lon != routing.lastLon || strcmp(utc, routing.lastUtc) != 0) {
        routing.lastLat = lat, routing.lastLon = lon;
        snprintf(routing.lastUtc, sizeof routing.lastUtc, "%s", utc);
        double course = gps_course();
        int64_t now = platform_monotonic_seconds();
        routing.fixes.push_back(RoadFix{lat, lon, gps_speed(), gps_speed() > 0 ? course : NAN, now});
        while (routing.fixes.size() > 1 && now - routing.fixes.front().at > kFixesKeptSeconds)
            routing.fixes.erase(routing.fixes.begin());
    }
    // At most one request in flight: a re-route under way is waited for.
    if (routing.job) return;
    double off = s->routeOffMetres > 0 ? s->routeOffMetres : ROAD_OFF_METRES;
    if (!road_left(routing.route, routing.fixes, off, ROAD_OFF_SECONDS)) return;
    routing.rerouting = 1;
    ask(s, LatLon{lat, lon});
    platform_invalidate(0);
}

int road_routing_strip_items(const AppSettings* s, int64_t nowUtc, std::vector<std::string>* items) {
    const bool route = !routing.route.points.empty();
    if (!route && routing.note.empty() && !routing.job) return 0;
    items->clear();
    if (!routing.note.empty()) items->push_back(routing.note);
    if (routing.job) items->push_back(routing.rerouting ? "Off the route: re-routing..." : "Routing...");
    if (route) {
        std::vector<std::string> more = road_strip_items(routing.route, routing.driving ? &routing.progress : nullptr,
                                                         s->speedUnit, gps_zone_minutes(), nowUtc);
        items->insert(items->end(), more.begin(), more.end());
    }
    return 1;
}

const RoadRoute& road_routing_route() { return routing.route; }
int road_routing_requests() { return routing.requests; }
int road_routing_in_flight() { return routing.job != nullptr; }
int road_routing_profile() { return routing.profile; }

void road_routing_set_profile(int profile) {
    if (profile >= ROAD_PROFILE_CAR && profile <= ROAD_PROFILE_FOOT) routing.profile = profile;
}
