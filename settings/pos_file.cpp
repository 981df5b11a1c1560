#include "settings/pos_file.h"

#include <cmath>
#include <cstdio>

#include "settings/app_settings.h"
#include "settings/atomic_file.h"
#include "settings/text_scan.h"

namespace {
enum { POS_LINE_LIMIT = 31 };

// DDMM.SS: degrees, two digits of minutes, two decimals of seconds.
double from_ddmm_ss(double v) {
    return std::floor(v / 100.0) + std::floor(std::fmod(v, 100.0)) / 60.0 + (std::fmod(v, 1.0) / 0.6) / 60.0;
}

double within(double v, double limit) { return std::isfinite(v) && std::fabs(v) <= limit ? v : 0.0; }
}  // namespace

double settings_parse_position_line(const char* line, char* letter) {
    *letter = line[0];
    if (!line[0]) return 0.0;
    const char* p = line + 1;
    int d, m, s;
    if (scan_int(&p, &d) && scan_int(&p, &m) && scan_int(&p, &s))
        return within(d + m / 60.0 + s / 3600.0, 180.0);
    p = line + 1;
    double v;
    if (scan_double(&p, &v) && std::isfinite(v)) return within(from_ddmm_ss(v), 180.0);
    return 0.0;
}

void settings_read_start_position(ProgramSettings* p) {
    char lat[POS_LINE_LIMIT + 1] = "N 45 25 00";
    char lon[POS_LINE_LIMIT + 1] = "W 75 42 00";
    if (FILE* f = fopen(KIV_POS_FILE, "r")) {
        char line[POS_LINE_LIMIT + 1];
        if (read_line(f, line, sizeof line)) {
            copy_text(lat, sizeof lat, line);
            if (read_line(f, line, sizeof line)) copy_text(lon, sizeof lon, line);
        }
        fclose(f);
    }
    char letter;
    double v = within(settings_parse_position_line(lat, &letter), 90.0);
    p->startLatitude = letter == 'S' ? -v : v;
    v = settings_parse_position_line(lon, &letter);
    p->startLongitude = letter == 'W' ? -v : v;
}

void settings_dms_split(double degrees, int* whole, int* minutes, int* seconds) {
    double v = std::isfinite(degrees) ? std::fabs(degrees) : 0.0;
    if (v > 360.0) v = 360.0;
    // 0.0004 s is about 1e-7 degrees: float noise, not position.
    long total = static_cast<long>(std::floor(v * 3600.0 + 0.0004));
    *whole = static_cast<int>(total / 3600);
    *minutes = static_cast<int>(total / 60 % 60);
    *seconds = static_cast<int>(total % 60);
}

int settings_write_pos(double latitude, double longitude) {
    int d1, m1, s1, d2, m2, s2;
    settings_dms_split(latitude, &d1, &m1, &s1);
    settings_dms_split(longitude, &d2, &m2, &s2);
    char text[96];
    int n = snprintf(text, sizeof text, "%c %3d %02d %02d\n%c %3d %02d %02d\n", latitude > 0 ? 'N' : 'S', d1, m1,
                     s1, longitude > 0 ? 'E' : 'W', d2, m2, s2);
    return write_file_atomically(KIV_POS_FILE, text, static_cast<size_t>(n));
}
