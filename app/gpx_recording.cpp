#include "app/gpx_recording.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "position/gps_fix.h"
#include "settings/app_settings.h"
#include "settings/gpx_writer.h"

namespace {

struct GpxRecording {
    GpxWriter writer{-1, 0, 0, 0, 0};
    int64_t lastTime = GPX_TIME_UNKNOWN;
    int64_t day = -1;                  // UTC day of the open (or failed) file
    int failed = 0;                    // the day's file could not be created
    int pendingBreak = 0;
};

GpxRecording rec;

int64_t dayOf(int64_t t) { return t >= 0 ? t / 86400 : -((-t + 86399) / 86400); }

bool openFor(const AppSettings* s, int64_t time) {
    if (rec.writer.fd >= 0 && dayOf(time) == rec.day) return true;
    if (rec.failed && dayOf(time) == rec.day) return false;
    gpx_writer_close(&rec.writer);
    rec.day = dayOf(time);
    char path[SETTINGS_PATH_MAX + 32], name[64];
    char utc[GPS_TIME_TEXT];
    gps_copy_utc_text(utc);
    snprintf(name, sizeof name, "Kiv %s", utc);
    rec.failed = !gpx_file_name(path, sizeof path, s->gpxFolder, time) || !gpx_writer_open(&rec.writer, path, name);
    rec.writer.sync = 1;   // a drive's record must outlive a power cut
    rec.pendingBreak = 0;
    return !rec.failed;
}

}  // namespace

void gpx_recording_point(const AppSettings* s, double lat, double lon) {
    if (!s->track || !s->gpxFolder[0]) return;
    char utc[GPS_TIME_TEXT];
    gps_copy_utc_text(utc);
    int64_t time = gpx_time_from_text(utc);
    if (time == GPX_TIME_UNKNOWN || (rec.lastTime != GPX_TIME_UNKNOWN && time <= rec.lastTime)) return;
    if (!openFor(s, time)) return;
    GpxPoint p = gpx_point(lat, lon);
    int mode = gps_fix_mode();
    p.time = time;
    p.fix = mode;
    // Only a three-dimensional fix has a height.
    if (mode == 3) p.ele = gps_altitude();
    p.speed = gps_speed();
    p.course = gps_course();
    p.sat = gps_satellites_used();
    p.hdop = gps_hdop();
    if (rec.pendingBreak) gpx_writer_break(&rec.writer);
    rec.pendingBreak = 0;
    if (gpx_writer_point(&rec.writer, &p)) rec.lastTime = time;
}

void gpx_recording_break() { rec.pendingBreak = 1; }

void gpx_recording_stop() {
    gpx_writer_close(&rec.writer);
    rec = GpxRecording{};
}
