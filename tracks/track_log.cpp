#include "tracks/track_log.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "settings/app_settings.h"
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
struct TrackLogLine {
    int hasPoint;                      // it starts with two numbers
    double latitude, longitude;
    const char* time;                  // the text after " - ", or null
};

// The one reader of the log: each line to fn. 0 when the file cannot be
// opened or is no regular file (a device such as /dev/zero never ends).
int each_line(const char* path, void (*fn)(const TrackLogLine& line, void* context), void* context) {
    if (!path || !*path) return 0;
    FILE* f = fopen(path, "r");
    if (!f) return 0;
    struct stat st;
    if (fstat(fileno(f), &st) != 0 || !S_ISREG(st.st_mode)) {
        fclose(f);
        return 0;
    }
    char text[TRACK_LINE_LIMIT + 1];
    while (read_line(f, text, sizeof text)) {
        TrackLogLine line{};
        const char* p = text;
        line.hasPoint = scan_double(&p, &line.latitude) && scan_double(&p, &line.longitude);
        const char* dash = strstr(text, " - ");
        line.time = dash ? dash + 3 : nullptr;
        fn(line, context);
    }
    fclose(f);
    return 1;
}
}  // namespace

int track_log_last_time(const char* path, char* out, size_t size) {
    struct Last {
        char* out;
        size_t size;
        int found;
    } last{out, size, 0};
    each_line(path, [](const TrackLogLine& line, void* context) {
        auto* l = static_cast<Last*>(context);
        if (!line.time) return;
        copy_text(l->out, l->size, line.time);
        l->found = 1;
    }, &last);
    return last.found;
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
    struct Points {
        TrackPointFn point;
        void* context;
        int count;
    } points{point, context, 0};
    int opened = each_line(path, [](const TrackLogLine& line, void* c) {
        auto* p = static_cast<Points*>(c);
        if (!line.hasPoint) return;
        if (p->point) p->point(line.latitude, line.longitude, p->context);
        ++p->count;
    }, &points);
    return opened ? points.count : -1;
}

void track_log_resume(AppSettings* s) {
    if (s->trackLogFile[0]) track_log_last_time(s->trackLogFile, s->lastLoggedTime, sizeof s->lastLoggedTime);
}
