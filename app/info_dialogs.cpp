#include "app/info_dialogs.h"

#include <sys/utsname.h>

#include <cstdio>

#include "settings/program_version.h"

const char KIV_WEB_ADDRESS[] = "https://github.com/kiv-gps/kiv";

namespace {

void setText(InfoText* t, int id, DialogRect rect, const char* text) {
    t->controlId = id;
    t->rect = rect;
    snprintf(t->text, sizeof t->text, "%s", text);
}

}  // namespace

void keys_dialog_init(KeysDialog* d) {
    *d = KeysDialog{};
    d->caption = "Buttons and Keys";
    d->frame = {0, 0, 260, 291};
    d->iconRect = {14, 17, 20, 20};
    setText(&d->texts[0], 513, {50, 18, 158, 10}, "Kiv");
    setText(&d->texts[1], 514, {50, 34, 200, 17},
            "Alt changes nothing. Shift: the cursor keys\nand the arrow buttons pan a whole map.");
    setText(&d->texts[2], 515, {50, 56, 200, 54},
            "Mouse\n\tdrag\t\t- move the map\n\tleft click\t- zoom in about the point\n"
            "\tright click\t- zoom out about the point\n\twheel\t\t- zoom about the pointer\n"
            "\tCtrl+click\t- mark a waypoint there");
    setText(&d->texts[3], 516, {50, 115, 200, 145},
            "Keys\n\tcursor keys\t- move a quarter map\n\t+ - PgUp PgDn\t- zoom in, out\n"
            "\tSpace, Home\t- back to the vehicle\n\tF11, Esc\t- full screen on, off\n\tN, C\t\t- night (by hand), course up\n"
            "\tW\t\t- mark a waypoint at the vehicle\n\tL\t\t- the waypoint list\n"
            "\tG\t\t- go to the point under the pointer\n"
            "\tM, Bksp, Esc\t- measure, take a point off, end\n"
            "\tCtrl+R\t\t- route to the point under the pointer\n"
            "\tCtrl+F\t\t- find a place, street or position\n"
            "Arrow buttons: as the cursor keys. Auto Pan on:\nevery zoom is about the vehicle, which stays put.");
    d->okText = "OK";
    d->okRect = {49, 267, 50, 14};
    d->result = 1;
}

void about_system_text(const char* sysname, const char* release, char* out, int size) {
    int major = 0, minor = 0;
    if (release) sscanf(release, "%d.%d", &major, &minor);
    snprintf(out, static_cast<size_t>(size), "%s ver. %d.%d", sysname && sysname[0] ? sysname : "Unknown", major,
             minor);
}

void about_dialog_init(AboutDialog* d) {
    *d = AboutDialog{};
    d->caption = "About KIV";
    d->frame = {10, 25, 227, 82};
    d->iconRect = {14, 12, 20, 20};
    char text[INFO_TEXT];
    snprintf(text, sizeof text, "Kiv ver. %d.%d - rev. %d", kiv_version_major, kiv_version_minor, kiv_revision);
    setText(&d->texts[0], 546, {49, 10, 158, 10}, text);
    setText(&d->texts[1], 547, {49, 20, 159, 10}, KIV_WEB_ADDRESS);
    struct utsname u {};
    if (uname(&u) == 0)
        about_system_text(u.sysname, u.release, text, sizeof text);
    else
        about_system_text(nullptr, nullptr, text, sizeof text);
    setText(&d->texts[2], 545, {49, 37, 159, 10}, text);
    d->okText = "OK";
    d->okRect = {49, 56, 40, 14};
    d->result = 1;
}
