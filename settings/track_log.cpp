#include "settings/track_log.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "settings/text_scan.h"

namespace {
enum { TRACK_LINE_LIMIT = 255 };

// 1 when the file is empty or ends with a line break.
int ends_with_line_break(int fd) {
    struct stat st;
    if (fstat(fd, &st) != 0 || st.st_size == 0) return 1;
    char last = '\n';
    if (pread(fd, &last, 1, st.st_size - 1) != 1) return 1;
    return last == '\n';
}
}  // namespace

int track_log_last_time(const char* path, char* out, size_t size) {
    if (!path || !*path) return 0;
    FILE* f = fopen(path, "r");
    if (!f) return 0;
    // Only a file can be a track log; a device such as /dev/zero never ends.
    struct stat st;
    if (fstat(fileno(f), &st) != 0 || !S_ISREG(st.st_mode)) {
        fclose(f);
        return 0;
    }
    char line[TRACK_LINE_LIMIT + 1];
    int found = 0;
    while (read_line(f, line, sizeof line)) {
        const char* dash = strstr(line, " - ");
        if (!dash) continue;
        copy_text(out, size, dash + 3);
        found = 1;
    }
    fclose(f);
    return found;
}

int track_log_append(const char* path, double latitude, double longitude, const char* timeText) {
    if (!path || !*path) return 0;
    char text[TRACK_LINE_LIMIT + 2];
    int n = snprintf(text + 1, sizeof text - 1, "%f %f - %s\n", latitude, longitude, timeText ? timeText : "");
    if (n < 0 || static_cast<size_t>(n) >= sizeof text - 1) return 0;
    int fd = open(path, O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    int readable = fd >= 0;
    if (fd < 0 && errno == EACCES) fd = open(path, O_WRONLY | O_APPEND | O_CLOEXEC);
    if (fd < 0) return 0;
    const char* start = text + 1;
    size_t size = static_cast<size_t>(n);
    if (readable && !ends_with_line_break(fd)) {
        text[0] = '\n';
        start = text;
        ++size;
    }
    ssize_t w;
    do {
        w = write(fd, start, size);
    } while (w < 0 && errno == EINTR);
    close(fd);
    return w == static_cast<ssize_t>(size);
}

int track_log_read_points(const char* path, TrackPointFn point, void* context) {
    if (!path || !*path) return -1;
    FILE* f = fopen(path, "r");
    if (!f) return -1;
    char line[TRACK_LINE_LIMIT + 1];
    int count = 0;
    while (read_line(f, line, sizeof line)) {
        const char* p = line;
        double lat, lon;
        if (!scan_double(&p, &lat) || !scan_double(&p, &lon)) continue;
        if (point) point(lat, lon, context);
        ++count;
    }
    fclose(f);
    return count;
}
