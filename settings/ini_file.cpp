#include "settings/ini_file.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "settings/text_scan.h"

int ini_lookup(const char* key, int lineLimit, IniValueMatch match, void* out) {
    return ini_lookup_in(KIV_INI_FILE, key, lineLimit, match, out);
}

int ini_lookup_in(const char* file, const char* key, int lineLimit, IniValueMatch match, void* out) {
    FILE* f = fopen(file, "r");
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

int ini_read_text(const char* key, char* out, size_t size) {
    std::string value;
    int found = ini_lookup(key, INI_PATH_LINE_LIMIT,
                           [](const char* v, void* o) {
                               // A blank value does not count: a later line may give one.
                               if (!v[strspn(v, " \t")]) return 0;
                               *static_cast<std::string*>(o) = v;
                               return 1;
                           },
                           &value);
    if (!found) return 0;
    size_t from = value.find_first_not_of(" \t"), to = value.find_last_not_of(" \t");
    value = from == std::string::npos ? std::string() : value.substr(from, to - from + 1);
    // A line over the pass's limit was cut by the reader: too long as well.
    if (value.size() >= size || strlen(key) + value.size() >= INI_PATH_LINE_LIMIT) {
        out[0] = '\0';
        return -1;
    }
    memcpy(out, value.c_str(), value.size() + 1);
    return 1;
}
