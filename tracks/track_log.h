// The track log: one line per point, "%f %f - %s" (latitude, longitude,
// fix time text), appended as the marker moves and read back by the plot.
#pragma once
#include <cstddef>

struct AppSettings;

// The time text of the last line holding " - " (the text after it, without
// the line break, cut to size - 1). Returns 1 when such a line was found;
// out is left alone otherwise.
int track_log_last_time(const char* path, char* out, size_t size);

// The time of the log's last point into s->lastLoggedTime (left alone
// without one), so that a restart appends no point twice: once the
// settings are read.
void track_log_resume(AppSettings* s);

// Appends one point as a single write, straight to the file (no buffering
// in the program), so a point is either wholly in the log or not at all
// and none is lost when the program dies afterwards. A log whose last line
// was cut off (disk full, power loss) gets a line break first, so the new
// point stays readable. Returns 1 when written.
int track_log_append(const char* path, double latitude, double longitude, const char* timeText);

// Calls point(lat, lon, context) for every line that yields two numbers with
// "%lf %lf"; other lines are skipped. Returns the number of points, or -1
// when the file cannot be opened or is no regular file.
typedef void (*TrackPointFn)(double latitude, double longitude, void* context);
int track_log_read_points(const char* path, TrackPointFn point, void* context);
