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
    int hours;
    int named;
    char name[sizeof(ProgramSettings::zoneName)];
};
}  // namespace

void settings_program_defaults(ProgramSettings* p) {
    p->zoomLetter = 0;
    p->zoneHours = 0;
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
                               if (!scan_int(&v, &z->hours)) return 0;
                               z->named = scan_word(&v, z->name, sizeof z->name);
                               return 1;
                           },
                           &z);
    // One correction step turns local time across midnight, so only offsets
    // within a day are sound.
    if (!found || z.hours < -ZONE_HOURS_MAX || z.hours > ZONE_HOURS_MAX) return;
    p->zoneHours = z.hours;
    if (z.named) copy_text(p->zoneName, sizeof p->zoneName, z.name);
    if (p->zoneHours != 0 && strcmp(p->zoneName, "GMT") == 0)
        snprintf(p->zoneName, sizeof p->zoneName, "GMT%+d", p->zoneHours);
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
