#include "settings/program_settings.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "settings/app_settings.h"
#include "settings/ini_file.h"
#include "settings/pos_file.h"
#include "settings/text_scan.h"

// Defaults until the settings files are read: no zoom letter, GMT, level 2,
// start at N 45 25 00, W 75 42 00.
ProgramSettings program_settings = {0, 0, "GMT", 2, 45.0 + 25.0 / 60.0, -(75.0 + 42.0 / 60.0)};

namespace {
enum { ZOOM_LEVEL_MAX = 4, ZONE_HOURS_MAX = 23 };

struct ZoneValue {
    int minutes;
    int valid;  // the offset is within a day
    int named;
    char name[sizeof(ProgramSettings::zoneName)];
};
}  // namespace

void settings_program_defaults(ProgramSettings* p) {
    p->zoomLetter = 0;
    p->zoneMinutes = 0;
    copy_text(p->zoneName, sizeof p->zoneName, "GMT");
    p->zoomLevel = 2;
    p->startLatitude = 45.0 + 25.0 / 60.0;
    p->startLongitude = -(75.0 + 42.0 / 60.0);
}

char settings_read_zoom_letter() {
    char letter = 0;
    ini_lookup("Zoom=", INI_PROGRAM_LINE_LIMIT,
               [](const char* v, void* o) {
                   if (!*v) return 0;
                   *static_cast<char*>(o) = static_cast<char>(toupper(static_cast<unsigned char>(*v)));
                   return 1;
               },
               &letter);
    return letter;
}

void settings_read_zone(ProgramSettings* p) {
    copy_text(p->zoneName, sizeof p->zoneName, "GMT");
    ZoneValue z{};
    int found = ini_lookup("Zone=", INI_PROGRAM_LINE_LIMIT,
                           [](const char* v, void* o) {
                               auto* z = static_cast<ZoneValue*>(o);
                               while (*v == ' ' || *v == '\t') ++v;
                               const bool west = *v == '-';
                               int hours, minutes = 0;
                               // One correction step turns local time across
                               // midnight, so only offsets within a day are sound.
                               if (!scan_int(&v, &hours)) return 0;
                               if (hours < -ZONE_HOURS_MAX || hours > ZONE_HOURS_MAX) return 1;
                               // "+5:30", "-3:30": the minutes take the sign of the hours.
                               if (*v == ':') {
                                   if (!isdigit(static_cast<unsigned char>(v[1])) ||
                                       !isdigit(static_cast<unsigned char>(v[2])))
                                       return 1;
                                   minutes = (v[1] - '0') * 10 + (v[2] - '0');
                                   if (minutes > 59) return 1;
                                   v += 3;
                               }
                               z->valid = 1;
                               z->minutes = hours * 60 + (west ? -minutes : minutes);
                               z->named = scan_word(&v, z->name, sizeof z->name);
                               return 1;
                           },
                           &z);
    if (!found || !z.valid) return;
    p->zoneMinutes = z.minutes;
    if (z.named) copy_text(p->zoneName, sizeof p->zoneName, z.name);
    const int offset = p->zoneMinutes < 0 ? -p->zoneMinutes : p->zoneMinutes;
    const int hours = offset / 60 % 24, minutes = offset % 60;  // within a day, checked above
    const char sign = p->zoneMinutes < 0 ? '-' : '+';
    if (offset != 0 && strcmp(p->zoneName, "GMT") == 0) {
        if (minutes) snprintf(p->zoneName, sizeof p->zoneName, "GMT%c%d:%02d", sign, hours, minutes);
        else snprintf(p->zoneName, sizeof p->zoneName, "GMT%c%d", sign, hours);
    }
}

void settings_read_init(ProgramSettings* p) {
    int level;
    // A level outside the zoom table would index past it.
    if (ini_read_int("Init=", INI_PROGRAM_LINE_LIMIT, &level) && level >= 0 && level <= ZOOM_LEVEL_MAX)
        p->zoomLevel = level;
}

void settings_read_program_wide(ProgramSettings* p) {
    p->zoomLetter = settings_read_zoom_letter();
    settings_read_zone(p);
    settings_read_init(p);
    settings_read_start_position(p);
}
