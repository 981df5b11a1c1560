#include "settings/ini_file.h"

#include <cstdio>
#include <cstring>

#include "settings/text_scan.h"

int ini_lookup(const char* key, int lineLimit, IniValueMatch match, void* out) {
    FILE* f = fopen(KIV_INI_FILE, "r");
    if (!f) return 0;
    char line[INI_PATH_LINE_LIMIT + 1];
    size_t size = static_cast<size_t>(lineLimit) + 1;
    if (size > sizeof line) size = sizeof line;
    int found = 0;
    while (!found && read_line(f, line, size)) {
        const char* value = after_prefix(line, key);
        if (value && match(value, out)) found = 1;
    }
    fclose(f);
    return found;
}

namespace {
struct WordTarget {
    char* out;
    size_t size;
};
}  // namespace

int ini_read_int(const char* key, int lineLimit, int* out) {
    return ini_lookup(key, lineLimit,
                      [](const char* v, void* o) { return scan_int(&v, static_cast<int*>(o)); }, out);
}

int ini_read_word(const char* key, int lineLimit, char* out, size_t size) {
    WordTarget t{out, size};
    return ini_lookup(key, lineLimit,
                      [](const char* v, void* o) {
                          auto* w = static_cast<WordTarget*>(o);
                          return scan_word(&v, w->out, w->size);
                      },
                      &t);
}

int ini_read_path(const char* key, char* out, size_t size) {
    char value[INI_PATH_LINE_LIMIT + 1];
    int found = ini_lookup(key, INI_PATH_LINE_LIMIT,
                           [](const char* v, void* o) {
                               // A blank value does not convert: a later line may.
                               if (!v[strspn(v, " \t")]) return 0;
                               copy_text(static_cast<char*>(o), INI_PATH_LINE_LIMIT + 1, v);
                               return 1;
                           },
                           value);
    if (!found) return 0;
    const char* start = value + strspn(value, " \t");
    size_t n = strlen(start);
    while (n > 0 && (start[n - 1] == ' ' || start[n - 1] == '\t')) --n;
    out[0] = 0;
    if (n >= size) return -1;
    memcpy(out, start, n);
    out[n] = 0;
    return 1;
}
