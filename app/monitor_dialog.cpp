#include "app/monitor_dialog.h"

#include <cstdio>
#include <string>

#include "app/stale_fix.h"
#include "position/gps_fix.h"

namespace {

// The message line holds a blank and at most 47 characters of the message.
constexpr int kMessageLine = 48;
const int kRowY[MONITOR_SAT_ROWS] = {76, 84, 93, 101, 110, 119, 127, 136, 144, 153, 162, 171};
constexpr int kLinePitch = 9;  // the lines past the twelfth, reached by scrolling

int lineY(int i) { return i < MONITOR_SAT_ROWS ? kRowY[i] : kRowY[MONITOR_SAT_ROWS - 1] + (i - 11) * kLinePitch; }

void setText(MonitorText* t, const char* text) { snprintf(t->text, sizeof t->text, "%s", text); }

// An unknown place (-1) shows as dashes.
void placeText(char* out, size_t size, int value, int digits) {
    if (value < 0) snprintf(out, size, "%.*s", digits, "---");
    else snprintf(out, size, "%0*d", digits, value);
}

}  // namespace

MonitorDialog* monitor_dialog_create() {
    auto* d = new MonitorDialog{};
    monitor_dialog_init(d);
    return d;
}

void monitor_dialog_free(MonitorDialog* d) { delete d; }

void monitor_dialog_init(MonitorDialog* d) {
    *d = MonitorDialog{};
    d->caption = "GPS Monitor";
    d->frame = {0, 0, 205 + 125, 215};
    d->iconRect = {21, 22, 21, 20};
    d->okText = "OK";
    d->okRect = {7, 62, 50, 14};
    d->groups[0] = {"Date / Time", {70, 10, 127, 19}};
    d->groups[1] = {"Lat / Long / Alt", {70, 33, 127, 20}};
    d->groups[2] = {"Satellites", {70, 58, 128, 125}};
    d->groups[3] = {"Messages", {7, 187, 191, 20}};
    d->texts[MONITOR_TIME] = {608, {73, 18, 118, 10}, ""};
    d->texts[MONITOR_POSITION] = {609, {73, 41, 121, 10}, ""};
    d->texts[MONITOR_MESSAGE] = {610, {13, 195, 176, 10}, ""};
    d->texts[MONITOR_HEADER] = {624, {73, 67, 119, 10}, ""};
    d->texts[MONITOR_LEGEND] = {700, {205, 150, 118, 30}, ""};
    for (int i = 0; i < MONITOR_LINES; i++) d->texts[MONITOR_ROW_FIRST + i] = {625 + i, {73, lineY(i), 120, 10}, ""};
    d->listRect = {73, 76, 124, 105};
    d->skyRect = {205, 14, 118, 130};
    for (MonitorText& t : d->texts) setText(&t, " ");
    d->timerMs = MONITOR_FIRST_TIMER_MS;
    d->open = 1;
}

void monitor_dialog_refresh(MonitorDialog* d) {
    MonitorText* t = d->texts;
    snprintf(t[MONITOR_TIME].text, MONITOR_TEXT, "  %s (UTC)", gps_utc_text().c_str());
    int mode = gps_fix_mode();
    if (mode <= 0)
        setText(&t[MONITOR_POSITION], "  No Fix");
    else
        // Whole metres: the line must hold "(3D)" after a four-digit altitude.
        snprintf(t[MONITOR_POSITION].text, MONITOR_TEXT, "  %.4f, %.4f, %.0f m (%dD)", gps_latitude(),
                 gps_longitude(), gps_altitude(), mode);
    snprintf(t[MONITOR_MESSAGE].text, kMessageLine + 1, " %s", gps_last_message().c_str());
    setText(&t[MONITOR_HEADER], "  PRN     AZM    ELV     SS     USED");
    setText(&t[MONITOR_LEGEND], sky_plot_legend());
    GpsSatellite sats[GPS_SAT_TABLE];
    // A table that no source renews any more lists satellites that are gone.
    int age = gps_satellites_age();
    int count = age >= 0 && age <= GPS_SATELLITE_AGE_SECONDS ? gps_copy_satellites(sats, GPS_SAT_TABLE) : 0;
    int inView = gps_satellites_in_view();
    if (count > inView) count = inView;
    // Satellites are used in a fix only while there is a current one.
    if (mode <= 0 || stale_fix_stale())
        for (int i = 0; i < count; i++) sats[i].used = 0;
    int line = 0, system = GPS_SYSTEM_GPS;
    for (int i = 0; i < count && line < MONITOR_LINES; i++) {
        const GpsSatellite& s = sats[i];
        if (s.elevation > 90) break;
        if (s.system != system) {
            system = s.system;
            snprintf(t[MONITOR_ROW_FIRST + line++].text, MONITOR_TEXT, "  %s", gps_system_name(system));
            if (line >= MONITOR_LINES) break;
        }
        char azimuth[12], elevation[12];
        placeText(azimuth, sizeof azimuth, s.azimuth, 3);
        placeText(elevation, sizeof elevation, s.elevation, 2);
        snprintf(t[MONITOR_ROW_FIRST + line++].text, MONITOR_TEXT, "   [%02d]      %s      %s       %02d       %s",
                 s.prn, azimuth, elevation, s.snr, s.used ? "Yes" : "No");
    }
    d->lineCount = line;
    // A shorter list than the last leaves none of its rows behind.
    for (int i = line; i < MONITOR_LINES; i++) setText(&t[MONITOR_ROW_FIRST + i], " ");
    sky_plot_draw(&d->sky, sats, count);
}

void monitor_dialog_timer(MonitorDialog* d) {
    if (!d->open) return;
    monitor_dialog_refresh(d);
    d->timerMs = MONITOR_TIMER_MS;
}

int monitor_dialog_command(MonitorDialog* d, int id) {
    if (id != 1) return 0;
    monitor_dialog_close(d);
    return 1;
}

void monitor_dialog_close(MonitorDialog* d) {
    d->open = 0;
    d->timerMs = 0;
}
