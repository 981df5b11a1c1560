#include "settings/window_state.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "settings/atomic_file.h"
#include "settings/ini_file.h"
#include "settings/text_scan.h"

namespace {

// A whole number and nothing after it but blanks: "12abc" is damage, not 12.
int read_number(const char* path, const char* key, int* out) {
    return ini_lookup_in(path, key, INI_LINE_LIMIT,
                         [](const char* v, void* o) {
                             int n;
                             if (!scan_int(&v, &n) || v[strspn(v, " \t")]) return 0;
                             *static_cast<int*>(o) = n;
                             return 1;
                         },
                         out);
}

// The number when it lies in [low, high]; else *out is left as it was.
void read_in_range(const char* path, const char* key, int low, int high, int* out) {
    int n;
    if (read_number(path, key, &n) && n >= low && n <= high) *out = n;
}

// A size: above the screens there are it is cut to high; below low it is
// a number cut short (Height=6 of Height=680), not a window the program
// could have had, and the default stays.
void read_size(const char* path, const char* key, int low, int high, int* out) {
    int n;
    if (read_number(path, key, &n) && n >= low) *out = std::min(n, high);
}

void read_list(const char* path, const char* key, std::vector<std::string>* out) {
    struct Target {
        const char* key;
        std::vector<std::string>* list;
    } t{key, out};
    ini_lookup_in(path, key, INI_PATH_LINE_LIMIT,
                  [](const char* v, void* o) {
                      auto* t = static_cast<Target*>(o);
                      // A line cut by the reader would name another file.
                      if (*v && strlen(t->key) + strlen(v) < INI_PATH_LINE_LIMIT) t->list->push_back(v);
                      return 0;  // on to the next line: every one counts
                  },
                  &t);
}

// GoTo=lat lon name, one a point in order. One that does not read drops
// them all: a route with a point left out leads elsewhere.
void readGoTo(const char* path, WindowState* state) {
    std::vector<std::string> lines;
    read_list(path, "GoTo=", &lines);
    std::vector<WindowState::Point> points;
    for (const std::string& line : lines) {
        const char* v = line.c_str();
        char* end = nullptr;
        double lat = strtod(v, &end);
        if (end == v || *end != ' ') return;
        v = end;
        double lon = strtod(v, &end);
        if (end == v || (*end && *end != ' ') || !(std::fabs(lat) <= 90) || !(std::fabs(lon) <= 180)) return;
        points.push_back(WindowState::Point{lat, lon, *end ? end + 1 : ""});
    }
    state->goTo = std::move(points);
    if (!state->goTo.empty()) read_in_range(path, "GoToLeg=", 0, static_cast<int>(state->goTo.size()) - 1, &state->goToLeg);
    read_in_range(path, "GoToArrived=", 0, 1, &state->goToArrived);
}

}  // namespace

void window_state_defaults(WindowState* state) {
    *state = WindowState{};
    state->width = WINDOW_STATE_DEFAULT_WIDTH;
    state->height = WINDOW_STATE_DEFAULT_HEIGHT;
    state->level = -1;
    state->autoPan = 1;
    state->followMode = 1;
}

int window_state_read(const char* path, WindowState* state) {
    window_state_defaults(state);
    FILE* f = fopen(path, "r");
    if (!f) return 0;
    fclose(f);
    int x, y;
    if (read_number(path, "X=", &x) && read_number(path, "Y=", &y) && std::abs(x) <= WINDOW_STATE_MAX_OFFSET &&
        std::abs(y) <= WINDOW_STATE_MAX_OFFSET)
        state->hasPosition = 1, state->x = x, state->y = y;
    read_size(path, "Width=", WINDOW_STATE_MIN_WIDTH, WINDOW_STATE_MAX_WIDTH, &state->width);
    read_size(path, "Height=", WINDOW_STATE_MIN_HEIGHT, WINDOW_STATE_MAX_HEIGHT, &state->height);
    read_in_range(path, "Maximised=", 0, 1, &state->maximised);
    read_in_range(path, "FullScreen=", 0, 1, &state->fullScreen);
    read_in_range(path, "Level=", 0, 4, &state->level);
    read_in_range(path, "AutoPan=", 0, 1, &state->autoPan);
    read_in_range(path, "AutoZoom=", 0, 1, &state->autoZoom);
    read_in_range(path, "Follow=", 0, 1, &state->followMode);
    read_in_range(path, "Night=", 0, 2, &state->night);
    read_in_range(path, "MagnifyMap=", 0, 1, &state->magnifyMap);
    read_list(path, "Gpx=", &state->gpxFiles);
    readGoTo(path, state);
    read_in_range(path, "RouteProfile=", 0, 2, &state->routeProfile);
    read_in_range(path, "CourseUp=", 0, 1, &state->courseUp);
    read_in_range(path, "PointerFormat=", 0, 3, &state->pointerForm);
    return 1;
}

int window_state_write(const char* path, const WindowState& state) {
    std::string text = "# Kiv's window as it was left; rewritten by Kiv on exit.\n";
    auto put = [&text](const char* key, long value) { text += key + std::to_string(value) + "\n"; };
    if (state.hasPosition) put("X=", state.x), put("Y=", state.y);
    put("Width=", state.width), put("Height=", state.height);
    put("Maximised=", state.maximised != 0), put("FullScreen=", state.fullScreen != 0);
    put("Level=", state.level);
    put("AutoPan=", state.autoPan != 0), put("AutoZoom=", state.autoZoom != 0);
    put("Follow=", state.followMode), put("Night=", state.night), put("MagnifyMap=", state.magnifyMap != 0);
    for (const std::string& p : state.gpxFiles)
        if (!p.empty() && p.find_first_of("\r\n") == std::string::npos) text += "Gpx=" + p + "\n";
    for (const WindowState::Point& p : state.goTo) {
        char where[64];
        snprintf(where, sizeof where, "GoTo=%.8f %.8f", p.lat, p.lon);
        std::string name = p.name;
        for (char& c : name)
            if (c == '\r' || c == '\n') c = ' ';
        text += where + (name.empty() ? "" : " " + name) + "\n";
    }
    if (!state.goTo.empty()) put("GoToLeg=", state.goToLeg), put("GoToArrived=", state.goToArrived != 0);
    put("RouteProfile=", state.routeProfile);
    put("CourseUp=", state.courseUp != 0), put("PointerFormat=", state.pointerForm);
    return write_file_atomically(path, text.data(), text.size());
}
