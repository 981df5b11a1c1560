#include "settings/dev_file.h"

#include <cstdio>

#include "settings/app_settings.h"
#include "settings/atomic_file.h"
#include "settings/device_table.h"
#include "settings/text_scan.h"

void settings_read_dev(AppSettings* s) {
    FILE* f = fopen(KIV_DEV_FILE, "r");
    if (!f) return;
    char line[256];
    int got = read_line(f, line, sizeof line);
    fclose(f);
    if (got) settings_select_device(s, device_from_letter(line[0]));
}

int settings_write_dev(int deviceType) {
    const char* name = device_name(deviceType);
    if (!name) return 0;
    char text[64];
    int n = snprintf(text, sizeof text, "%s\n", name);
    return write_file_atomically(KIV_DEV_FILE, text, static_cast<size_t>(n));
}
