// The user's own waypoints and their file, waypoints.gpx (GPX 1.1) in the
// working folder. Another program may change the file while Kiv runs (a
// sync tool, an editor, gpsbabel): before each write the file is read again
// if it changed and the user's own changes since are made over what it now
// holds, so no one's changes are lost. A file that does not read is never
// written over. No toolkit, no globals: the caller keeps the record.
#pragma once
#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tracks/gpx_reader.h"

// What the file was when last read or written: a change by anyone else
// shows in one of these (an atomic replace gives a new inode).
struct WaypointFileStamp {
    bool exists = false;
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = 0;
    int64_t mtimeNs = 0;
    bool operator==(const WaypointFileStamp&) const = default;
};

struct WaypointStore {
    std::string path;                  // the file
    std::vector<GpxWaypoint> list;     // the waypoints as the user sees them
    std::vector<GpxWaypoint> base;     // the file's as last read or written
    WaypointFileStamp stamp;           // of the file then
    bool unreadable = false;           // the file did not read: it is not written over
};

// The same waypoint: every field equal (unknown ones unknown in both).
bool waypoint_same(const GpxWaypoint& a, const GpxWaypoint& b);

// The user's changes from base to ours made over disk: what ours dropped
// goes from disk, what ours added comes after it; the rest of disk (the
// other program's changes) stays.
std::vector<GpxWaypoint> waypoint_merge(const std::vector<GpxWaypoint>& base, const std::vector<GpxWaypoint>& ours,
                                        const std::vector<GpxWaypoint>& disk);

// Reads the store's file (none yet: an empty list). 1, or 0 with the
// reason ("waypoints.gpx, line 3: not well-formed (invalid token)"), the
// list then empty and the file marked not to be written over.
int waypoint_store_load(WaypointStore* store, const char* path, std::string* why);
// The file changed since it was read or written: read again, the user's
// changes kept over it. 1 (also when nothing changed), 0 with the reason
// when it does not read.
int waypoint_store_refresh(WaypointStore* store, std::string* why);
// The list into the file, atomically, after a refresh. 0 with the reason
// when the file does not read or cannot be written: it is then as it was.
int waypoint_store_save(WaypointStore* store, std::string* why);

// "WPT001", "WPT002"...: the first such name no waypoint of list has.
std::string waypoint_next_name(const std::vector<GpxWaypoint>& list);

// Import: the waypoints of any GPX file added to out. 1, or 0 with why.
int waypoints_import(const char* path, std::vector<GpxWaypoint>* out, std::string* why);
// Export: list as a GPX 1.1 file, written atomically. 1, or 0 with why.
int waypoints_export(const char* path, const std::vector<GpxWaypoint>& list, std::string* why);

// How well a name answers a search, both folded by text_fold: 0 the same,
// 1 the name begins with the text, 2 every word of the text begins a word
// of the name; -1 no match.
int waypoint_name_rank(const std::string& foldedName, const std::string& foldedText);
