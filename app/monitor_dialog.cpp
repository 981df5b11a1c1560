#include "app/monitor_dialog.h"

#include <cstdio>
#include <string>

#include "position/gps_fix.h"

namespace {

// The message line holds a blank and at most 47 characters of the message.
constexpr int kMessageLine = 48;
const int kRowY[MONITOR_SAT_ROWS] = {76, 84, 93, 101, 110, 119, 127, 136, 144, 153, 162, 171};

void setText(MonitorText* t, const char* text) { snprintf(t->text, sizeof t->text, "%s", text); }

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
    d->frame = {0, 0, 205, 215};
    d->iconRect = {21, 22, 21, 20};
    d->okText = "OK";
    d->okRect = {7, 62, 50, 14};
    d->groups[0] = {"Date / Time", {70, 10, 127, 19}};
    d->groups[1] = {"Lat / Long / Alt", {70, 33, 127, 20}};
    d->groups[2] = {"Satellites", {70, 58, 128, 125}};
    d->groups[3] = {"Messages", {7, 187, 191, 20}};
    d->texts[MONITOR_TIME] = {608, {73, 18, 118, 10}, ""};
    d->texts[MONITOR_POSITION] = {609, {73, 41, 118, 10}, ""};
    d->texts[MONITOR_MESSAGE] = {610, {13, 195, 176, 10}, ""};
    d->texts[MONITOR_HEADER] = {624, {73, 67, 119, 10}, ""};
    for (int i = 0; i < MONITOR_SAT_ROWS; i++) d->texts[MONITOR_ROW_FIRST + i] = {625 + i, {73, kRowY[i], 120, 10}, ""};
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
        snprintf(t[MONITOR_POSITION].text, MONITOR_TEXT, "  %.4f : %.4f : %.2f  (%dD)", gps_latitude(),
                 gps_longitude(), gps_altitude(), mode);
    snprintf(t[MONITOR_MESSAGE].text, kMessageLine + 1, " %s", gps_last_message().c_str());
    setText(&t[MONITOR_HEADER], "  PRN     AZM    ELV     SS     USED");
    int count = gps_satellites_in_view();
    for (int i = 0; i < count && i < MONITOR_SAT_ROWS; i++) {
        int elevation = gps_sat_elevation(i);
        if (elevation > 90) break;
        snprintf(t[MONITOR_ROW_FIRST + i].text, MONITOR_TEXT, "   [%02d]      %03d      %02d       %02d       %s",
                 gps_sat_prn(i), gps_sat_azimuth(i), elevation, gps_sat_snr(i), gps_sat_used(i) ? "Yes" : "No");
    }
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
