// The files the program writes for itself and reads back at the start, on
// arbitrary bytes: the window's state (kiv_state.txt), whose values must
// come back in range and survive being written and read again, and the
// track log, whose reader must report every point it hands on. The first
// byte picks the file.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz/fuzz_files.h"
#include "tracks/track_log.h"
#include "settings/window_state.h"

namespace {

bool within(int v, int low, int high) { return v >= low && v <= high; }

bool sane(const WindowState& s) {
    return within(s.width, WINDOW_STATE_MIN_WIDTH, WINDOW_STATE_MAX_WIDTH) &&
           within(s.height, WINDOW_STATE_MIN_HEIGHT, WINDOW_STATE_MAX_HEIGHT) &&
           (!s.hasPosition || (std::abs(s.x) <= WINDOW_STATE_MAX_OFFSET && std::abs(s.y) <= WINDOW_STATE_MAX_OFFSET)) &&
           within(s.maximised, 0, 1) && within(s.fullScreen, 0, 1) && within(s.level, -1, 4) &&
           within(s.autoPan, 0, 1) && within(s.autoZoom, 0, 1) && within(s.followMode, 0, 1) && within(s.night, 0, 2) &&
           within(s.magnifyMap, 0, 1) && within(s.courseUp, 0, 1) && within(s.pointerForm, 0, 3);
}

bool same(const WindowState& a, const WindowState& b) {
    return a.hasPosition == b.hasPosition && (!a.hasPosition || (a.x == b.x && a.y == b.y)) && a.width == b.width &&
           a.height == b.height && a.maximised == b.maximised && a.fullScreen == b.fullScreen && a.level == b.level &&
           a.autoPan == b.autoPan && a.autoZoom == b.autoZoom && a.followMode == b.followMode && a.night == b.night &&
           a.magnifyMap == b.magnifyMap && a.courseUp == b.courseUp && a.pointerForm == b.pointerForm;
}

void checkState(const std::string& path) {
    WindowState read, again;
    if (!window_state_read(path.c_str(), &read) || !sane(read)) abort();
    if (!window_state_write(path.c_str(), read) || !window_state_read(path.c_str(), &again) || !same(read, again)) abort();
    // Every GPX path comes back but those with a line break, which are left out.
    std::vector<std::string> kept;
    for (const std::string& p : read.gpxFiles)
        if (p.find_first_of("\r\n") == std::string::npos) kept.push_back(p);
    if (kept != again.gpxFiles) abort();
}

void countPoint(double, double, void* context) { ++*static_cast<int*>(context); }

void checkTrackLog(const std::string& path) {
    int seen = 0;
    if (track_log_read_points(path.c_str(), countPoint, &seen) != seen) abort();
    char time[32];
    memset(time, 'x', sizeof time);
    if (track_log_last_time(path.c_str(), time, sizeof time) && strnlen(time, sizeof time) >= sizeof time) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string folder = fuzz_folder("kiv_state_fuzz");
    if (size == 0) return 0;
    bool state = data[0] & 1;
    std::string path = folder + (state ? "/" KIV_STATE_FILE : "/track.log");
    fuzz_write_file(path, data + 1, size - 1);
    if (state) checkState(path);
    else checkTrackLog(path);
    return 0;
}
