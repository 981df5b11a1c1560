#include "app/find_places.h"

#include <unistd.h>

#include <atomic>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>

#include "app/app_state.h"
#include "app/commands_route.h"
#include "app/go_to.h"
#include "app/view_pane.h"
#include "app/waypoint_commands.h"
#include "maps/map_view.h"
#include "maps/sheet_download_parts.h"
#include "maps/view_plane.h"
#include "maps/world_grid.h"
#include "nav/coordinate_text.h"
#include "nav/geodesic.h"
#include "nav/place_search.h"
#include "net/http_client.h"
#include "position/gps_fix.h"
#include "settings/app_settings.h"

namespace {

constexpr int kLimit = 30;
// OpenStreetMap's names have 255 characters at most: 4 bytes each.
constexpr size_t kLongestName = 1024;
// The worker's reply file, in the working folder while a request runs.
const char kScratch[] = "kiv_find.tmp";

// The worker and the search the dialog shows. The worker takes the newest
// request only: the text typed while a request runs replaces the one
// waiting, and an answer to older text is never shown.
struct PlaceFinder {
    std::mutex lock;
    std::condition_variable wake;
    std::thread thread;
    bool started = false, stopping = false;
    std::atomic<int> cancel{0};
    // Under lock.
    bool waiting = false, inFlight = false;
    PlaceSearchRequest request;
    unsigned requestSeq = 0, answerSeq = 0;
    int answered = 0;
    std::vector<PlaceMatch> answer;
    std::vector<std::string> notes;
    std::string reason;
    // Main thread: the search on show.
    unsigned shownSeq = 0;
    bool merged = true;
    std::vector<PlaceMatch> local;     // waypoints, a typed position
    bool hasNear = false;
    double nearLat = 0, nearLon = 0;
    bool hasVehicle = false;
    double vehicleLat = 0, vehicleLon = 0;
};

PlaceFinder finder;

void work()
{
    std::unique_lock<std::mutex> hold(finder.lock);
    for (;;) {
        finder.wake.wait(hold, [] { return finder.stopping || finder.waiting; });
        if (finder.stopping) return;
        PlaceSearchRequest request = finder.request;
        unsigned seq = finder.requestSeq;
        finder.waiting = false;
        finder.inFlight = true;
        hold.unlock();
        std::vector<PlaceMatch> found;
        std::vector<std::string> notes;
        std::string reason;
        int ok = place_search_fetch(request, kScratch, &finder.cancel, &found, &notes, &reason);
        hold.lock();
        finder.inFlight = false;
        finder.answerSeq = seq;
        finder.answered = ok;
        finder.answer = std::move(found);
        finder.notes = std::move(notes);
        finder.reason = std::move(reason);
    }
}

void ask_server(const PlaceSearchRequest& request, unsigned seq)
{
    std::lock_guard<std::mutex> hold(finder.lock);
    if (!finder.started) {
        http_client_start();
        finder.stopping = false;
        finder.thread = std::thread(work);
        finder.started = true;
    }
    finder.request = request;
    finder.requestSeq = seq;
    finder.waiting = true;
    finder.wake.notify_one();
}

std::string distance_text(double metres)
{
    char buf[32];
    if (metres < 1000) std::snprintf(buf, sizeof buf, "%.0f m", metres);
    else if (metres < 100000) std::snprintf(buf, sizeof buf, "%.1f km", metres / 1000);
    else std::snprintf(buf, sizeof buf, "%.0f km", metres / 1000);
    return buf;
}

void show(FindDialogState* d, std::vector<PlaceMatch> matches, const std::string& status)
{
    place_matches_rank(&matches, d->text, finder.hasNear, finder.nearLat, finder.nearLon);
    d->rows.clear();
    for (const PlaceMatch& m : matches) {
        std::string row = m.name + "\t" + m.kind + "\t" + m.source + "\t";
        if (finder.hasVehicle) {
            GeodesicLine g = geodesic_inverse(finder.vehicleLat, finder.vehicleLon, m.lat, m.lon);
            char bearing[16];
            std::snprintf(bearing, sizeof bearing, "%03.0f\xC2\xB0", std::fmod(std::round(g.bearingDegrees), 360.0));
            row += distance_text(g.metres) + "\t" + bearing;
        } else {
            row += "\t";
        }
        d->rows.push_back(row);
    }
    d->matches = std::move(matches);
    d->status = status;
    d->version++;
}

// Where distances are reckoned from: the vehicle, else the view's centre.
void take_near()
{
    GpsFixSnapshot f{};
    gps_fix_snapshot(&f);
    finder.hasVehicle = f.hasPosition != 0;
    finder.vehicleLat = f.latitude;
    finder.vehicleLon = f.longitude;
    finder.hasNear = finder.hasVehicle;
    finder.nearLat = f.latitude;
    finder.nearLon = f.longitude;
    int plane;
    double x, y, mpp;
    if (!finder.hasNear && app_window.settings && view_pane_centre_now(app_window.settings, &plane, &x, &y, &mpp))
        finder.hasNear = view_plane_to_degrees(plane, x, y, &finder.nearLat, &finder.nearLon) == 1;
}

}  // namespace

void find_places_typed(FindDialogState* d)
{
    finder.shownSeq++;
    finder.local.clear();
    finder.merged = true;
    take_near();
    double lat, lon;
    std::string reason;
    int position = coordinate_text_parse(d->text, &lat, &lon, &reason);
    if (position == -1) {
        show(d, {}, "Not a position: " + reason);
        return;
    }
    if (position == 1) {
        PlaceMatch m{coordinate_text_format(lat, lon, COORDINATE_DM), "position", "typed", lat, lon, 0};
        show(d, {m}, "A position");
        return;
    }
    if (d->text.find_first_not_of(" \t") == std::string::npos) {
        show(d, {}, "");
        return;
    }
    waypoint_search(d->text.c_str(), &finder.local);
    if (d->text.size() > kLongestName) {
        // Not worth a request (nor one past the server's URL limit).
        show(d, finder.local, "No name is that long");
        return;
    }
    PlaceSearchRequest request;
    char root[1024];
    const AppSettings* s = app_window.settings;
    request.serverRoot = sheet_download_server_root(s, root, sizeof root) ? root : "";
    request.text = d->text;
    request.hasNear = finder.hasNear;
    request.nearLat = finder.nearLat;
    request.nearLon = finder.nearLon;
    request.limit = kLimit;
    finder.merged = false;
    ask_server(request, finder.shownSeq);
    show(d, finder.local, "Searching the map server...");
}

void find_places_poll(FindDialogState* d)
{
    if (finder.merged) return;
    std::vector<PlaceMatch> matches = finder.local;
    std::string status;
    {
        std::lock_guard<std::mutex> hold(finder.lock);
        if (finder.answerSeq != finder.shownSeq || finder.inFlight || finder.waiting) return;
        if (finder.answered) {
            matches.insert(matches.end(), finder.answer.begin(), finder.answer.end());
            for (const std::string& n : finder.notes) status += (status.empty() ? "" : "; ") + n;
        } else {
            status = finder.reason + (finder.local.empty() ? "" : "; only the waypoints were searched");
        }
    }
    finder.merged = true;
    if (status.empty()) status = matches.empty() ? "Nothing found" : std::to_string(matches.size()) + " found";
    show(d, std::move(matches), status);
}

int find_places_busy()
{
    std::lock_guard<std::mutex> hold(finder.lock);
    return finder.waiting || finder.inFlight;
}

void find_places_stop()
{
    {
        std::lock_guard<std::mutex> hold(finder.lock);
        if (!finder.started) return;
        finder.stopping = true;
        finder.cancel = 1;
        finder.wake.notify_one();
    }
    finder.thread.join();
    std::lock_guard<std::mutex> hold(finder.lock);
    finder.started = false;
    finder.waiting = finder.inFlight = false;
    finder.cancel = 0;
}

void find_places_act(AppSettings* s, const PlaceMatch& m, int action)
{
    if (action == FIND_GO_TO) {
        go_to_point(m.lat, m.lon, m.name.c_str());
    } else if (action == FIND_ROUTE_TO && s) {
        command_route_to(s, m.lat, m.lon, m.name.c_str());
    } else if (action == FIND_MARK) {
        waypoint_mark(m.lat, m.lon, m.name.c_str());
    } else if (action == FIND_SHOW && s) {
        if (!view_pane_show_point(s, m.lat, m.lon)) {
            Result place = world_grid_place_check(m.lat, m.lon, map_view.zoomLevel, s->bigMaps);
            platform_warn(("No map can show " + m.name + " at this level" + (place ? "." : ": " + place.why)).c_str());
        }
    }
    platform_invalidate();
}

void command_find(AppSettings* s)
{
    FindDialogState d;
    d.typed = find_places_typed;
    d.poll = find_places_poll;
    int action = platform_run_dialog(PLATFORM_DIALOG_FIND, &d);
    if (action != FIND_CLOSED && d.chosen >= 0 && d.chosen < static_cast<int>(d.matches.size()))
        find_places_act(s, d.matches[static_cast<size_t>(d.chosen)], action);
}
