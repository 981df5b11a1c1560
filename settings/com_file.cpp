#include "settings/com_file.h"

#include <cstdio>

#include "settings/app_settings.h"
#include "settings/atomic_file.h"
#include "settings/text_scan.h"

namespace {
enum { COM_LINE_LIMIT = 255, SIZE_FLAG_LINE_LIMIT = 31 };

// Reads the two lines; returns how many were there.
int read_com_lines(int limit, char* line1, char* line2, size_t size) {
    line1[0] = line2[0] = '\0';
    FILE* f = fopen(KIV_COM_FILE, "r");
    if (!f) return 0;
    size_t cap = static_cast<size_t>(limit) + 1 < size ? static_cast<size_t>(limit) + 1 : size;
    int n = 0;
    if (read_line(f, line1, cap)) {
        n = 1;
        if (read_line(f, line2, cap)) n = 2;
    }
    fclose(f);
    return n;
}
}  // namespace

void settings_read_com(AppSettings* s) {
    char line1[COM_LINE_LIMIT + 1], line2[COM_LINE_LIMIT + 1];
    int n = read_com_lines(COM_LINE_LIMIT, line1, line2, sizeof line1);
    if (n >= 1) {
        // Only one digit is stored, so only ports 1 to 9 (0: no connection at start).
        char digit = line1[0] && line1[1] && line1[2] ? line1[3] : '\0';
        if (digit >= '0' && digit <= '9') s->comPort = static_cast<uint8_t>(digit - '0');
    }
    if (n >= 2) s->bigMaps = line2[0] == 'B';
}

int settings_read_big_maps_flag() {
    char line1[SIZE_FLAG_LINE_LIMIT + 1], line2[SIZE_FLAG_LINE_LIMIT + 1];
    return read_com_lines(SIZE_FLAG_LINE_LIMIT, line1, line2, sizeof line1) == 2 && line2[0] == 'B';
}

int settings_write_com(const AppSettings* s) {
    char text[64];
    int n = snprintf(text, sizeof text, "COM%d\n%s\n", s->comPort, s->bigMaps ? "Big" : "Small");
    return write_file_atomically(KIV_COM_FILE, text, static_cast<size_t>(n));
}

int settings_port_path(const AppSettings* s, int port, char* out, size_t size) {
    if (port < 1 || port >= SETTINGS_COM_PORTS || !out || size == 0) return 0;
    int n;
    if (s && s->comPath[port][0])
        n = snprintf(out, size, "%s", s->comPath[port]);
    else
        n = snprintf(out, size, "/dev/ttyS%d", port - 1);
    if (n < 0 || static_cast<size_t>(n) >= size) {
        out[0] = '\0';
        return 0;
    }
    return 1;
}
