#include "position/tripmate.h"

#include <cstdio>
#include <cstring>
#include <ctime>

#include "position/nmea.h"
#include "position/receiver_io.h"

namespace {

// Counts "ASTRAL" lines modulo 2; the reader thread alone uses it.
int astral_count = 0;

const char astral_answer[] = "$IIGPQ,ASTRAL*73\r\n";

// One line of kiv_pos.txt ("%c %3d %02d %02d"), without its line end.
bool read_position_line(std::FILE* file, char* line, int size) {
    if (!std::fgets(line, size, file)) return false;
    size_t n = std::strlen(line);
    // Only a real line end is removed: a last line without one keeps its digits.
    if (n > 0 && line[n - 1] == '\n') line[--n] = 0;
    if (n > 0 && line[n - 1] == '\r') line[--n] = 0;
    return n >= 4;
}

}  // namespace

void tripmate_line(const char* line) {
    if (std::strncmp(line, "ASTRAL", 6) != 0) return;
    receiver_write(astral_answer, static_cast<int>(sizeof astral_answer - 1));
    astral_count += 1;
    if (astral_count >= 2) {
        astral_count = 0;
        tripmate_send_init();
    }
}

void tripmate_reset() { astral_count = 0; }

void tripmate_send_init() {
    char latitude[32], longitude[32];
    std::FILE* file = std::fopen("kiv_pos.txt", "r");
    if (!file) return;
    bool ok = read_position_line(file, latitude, sizeof latitude) &&
              read_position_line(file, longitude, sizeof longitude);
    std::fclose(file);
    if (!ok) return;

    std::time_t now = std::time(nullptr);
    std::tm utc{};
    if (!gmtime_r(&now, &utc)) return;
    char sentence[160];
    std::snprintf(sentence, sizeof sentence,
                  "$PRWIINIT,V,,,%s,%c,%s,%c,100.0,0.0,M,0.0,T,%02d%02d%02d,%02d%02d%02d*", latitude + 2,
                  latitude[0], longitude + 2, longitude[0], utc.tm_hour, utc.tm_min, utc.tm_sec, utc.tm_mday,
                  utc.tm_mon + 1, utc.tm_year % 100);
    if (!nmea_append_checksum(sentence + 1, static_cast<int>(sizeof sentence - 1))) return;
    receiver_write(sentence, static_cast<int>(std::strlen(sentence)));
}
