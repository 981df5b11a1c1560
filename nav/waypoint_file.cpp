#include "nav/waypoint_file.h"

#include <sys/stat.h>

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "settings/atomic_file.h"
#include "tracks/gpx_writer.h"

namespace {

bool sameNumber(double a, double b) { return a == b || (std::isnan(a) && std::isnan(b)); }

WaypointFileStamp stampOf(const std::string& path) {
    WaypointFileStamp s;
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) return s;
    s.exists = true;
    s.dev = st.st_dev;
    s.ino = st.st_ino;
    s.size = st.st_size;
    s.mtimeNs = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    return s;
}

std::string fileName(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The file's waypoints; a missing file holds none. A file with tracks or
// routes is not ours to write: they would be lost.
bool readDisk(const std::string& path, std::vector<GpxWaypoint>* out, std::string* why) {
    out->clear();
    struct stat st {};
    if (stat(path.c_str(), &st) != 0 && errno == ENOENT) return true;
    GpxData data;
    std::string error;
    if (!gpx_read_file(path.c_str(), &data, &error)) {
        if (why) *why = fileName(path) + ", " + error + "; it is left as it is";
        return false;
    }
    if (!data.lines.empty()) {
        if (why) *why = fileName(path) + " holds tracks or routes, which would be lost; it is left as it is";
        return false;
    }
    *out = std::move(data.waypoints);
    return true;
}

// Whether list holds w, taking it out when it does (a multiset: two equal
// waypoints are two).
bool takeOut(std::vector<GpxWaypoint>* list, const GpxWaypoint& w) {
    for (size_t i = 0; i < list->size(); i++)
        if (waypoint_same((*list)[i], w)) {
            list->erase(list->begin() + static_cast<long>(i));
            return true;
        }
    return false;
}

}  // namespace

bool waypoint_same(const GpxWaypoint& a, const GpxWaypoint& b) {
    return a.name == b.name && a.lat == b.lat && a.lon == b.lon && a.time == b.time && sameNumber(a.ele, b.ele) &&
           a.sym == b.sym && a.cmt == b.cmt;
}

std::vector<GpxWaypoint> waypoint_merge(const std::vector<GpxWaypoint>& base, const std::vector<GpxWaypoint>& ours,
                                        const std::vector<GpxWaypoint>& disk) {
    std::vector<GpxWaypoint> dropped = base, added;
    for (const GpxWaypoint& w : ours)
        if (!takeOut(&dropped, w)) added.push_back(w);
    std::vector<GpxWaypoint> out = disk;
    for (const GpxWaypoint& w : dropped) takeOut(&out, w);
    // One the other program added as well is not doubled.
    std::vector<GpxWaypoint> theirs = out;
    for (const GpxWaypoint& w : added)
        if (!takeOut(&theirs, w)) out.push_back(w);
    return out;
}

int waypoint_store_load(WaypointStore* store, const char* path, std::string* why) {
    *store = WaypointStore{};
    store->path = path;
    store->stamp = stampOf(store->path);
    if (!readDisk(store->path, &store->base, why)) {
        store->unreadable = true;
        return 0;
    }
    store->list = store->base;
    return 1;
}

int waypoint_store_refresh(WaypointStore* store, std::string* why) {
    WaypointFileStamp now = stampOf(store->path);
    if (now == store->stamp && !store->unreadable) return 1;
    std::vector<GpxWaypoint> disk;
    if (!readDisk(store->path, &disk, why)) {
        store->unreadable = true;
        return 0;
    }
    store->list = waypoint_merge(store->base, store->list, disk);
    store->base = std::move(disk);
    store->stamp = now;
    store->unreadable = false;
    return 1;
}

int waypoint_store_save(WaypointStore* store, std::string* why) {
    if (!waypoint_store_refresh(store, why)) return 0;
    std::string text = gpx_waypoints_document(store->list);
    if (!write_file_atomically(store->path.c_str(), text.data(), text.size())) {
        if (why) *why = fileName(store->path) + " cannot be written: " + strerror(errno ? errno : EIO);
        return 0;
    }
    // As the file reads back (coordinates to seven places), so the next
    // refresh compares like with like.
    GpxData written;
    gpx_read_text(text.data(), text.size(), &written);
    store->list = written.waypoints;
    store->base = std::move(written.waypoints);
    store->stamp = stampOf(store->path);
    return 1;
}

std::string waypoint_next_name(const std::vector<GpxWaypoint>& list) {
    std::vector<bool> taken(list.size() + 2, false);
    for (const GpxWaypoint& w : list) {
        unsigned n = 0;
        char tail;
        if (w.name.size() >= 6 && sscanf(w.name.c_str(), "WPT%u%c", &n, &tail) == 1 && n < taken.size())
            taken[n] = true;
    }
    size_t n = 1;
    while (taken[n]) n++;
    char name[32];
    snprintf(name, sizeof name, "WPT%03zu", n);
    return name;
}

int waypoints_import(const char* path, std::vector<GpxWaypoint>* out, std::string* why) {
    GpxData data;
    std::string error;
    if (!gpx_read_file(path, &data, &error)) {
        if (why) *why = fileName(path) + ", " + error;
        return 0;
    }
    for (GpxWaypoint& w : data.waypoints) out->push_back(std::move(w));
    return 1;
}

int waypoints_export(const char* path, const std::vector<GpxWaypoint>& list, std::string* why) {
    std::string text = gpx_waypoints_document(list);
    if (write_file_atomically(path, text.data(), text.size())) return 1;
    if (why) *why = fileName(path) + " cannot be written: " + strerror(errno ? errno : EIO);
    return 0;
}

namespace {

bool wordChar(char c) { return static_cast<unsigned char>(c) >= 0x80 || isalnum(static_cast<unsigned char>(c)); }

// Whether word begins a word of name.
bool beginsAWord(const std::string& name, const std::string& word) {
    for (size_t at = name.find(word); at != std::string::npos; at = name.find(word, at + 1))
        if (at == 0 || !wordChar(name[at - 1])) return true;
    return false;
}

}  // namespace

int waypoint_name_rank(const std::string& foldedName, const std::string& foldedText) {
    size_t first = 0;
    bool any = false;
    while (first < foldedText.size()) {
        while (first < foldedText.size() && !wordChar(foldedText[first])) first++;
        size_t last = first;
        while (last < foldedText.size() && wordChar(foldedText[last])) last++;
        if (last > first) {
            if (!beginsAWord(foldedName, foldedText.substr(first, last - first))) return -1;
            any = true;
        }
        first = last;
    }
    if (!any) return -1;
    if (foldedName == foldedText) return 0;
    return foldedName.compare(0, foldedText.size(), foldedText) == 0 ? 1 : 2;
}
