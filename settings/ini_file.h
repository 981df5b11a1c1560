// kiv_ini.txt: one key per line at the very start of the line, exact case,
// value right after the equals sign. Each key is looked up by its own pass
// from the top; the first line whose value converts wins.
#pragma once
#include <climits>
#include <cstddef>

#define KIV_INI_FILE "kiv_ini.txt"

// Line limits of the passes: most keys, and Zoom=, Zone=, Init=; keys
// naming a file are read with room for a whole path.
enum { INI_LINE_LIMIT = 255, INI_PROGRAM_LINE_LIMIT = 259, INI_PATH_LINE_LIMIT = PATH_MAX + 16 };

// Called with the text after the key; returns 1 when the value converts
// (the pass ends), 0 to go on with the next line.
typedef int (*IniValueMatch)(const char* value, void* out);

// One pass over the ini file for key. Returns 1 when a line matched, 0 when
// none did or the file cannot be opened.
int ini_lookup(const char* key, int lineLimit, IniValueMatch match, void* out);
// The same over another key file of the same form.
int ini_lookup_in(const char* file, const char* key, int lineLimit, IniValueMatch match, void* out);

// The common patterns: "<key>%d" and "<key>%s" (word cut to size - 1).
int ini_read_int(const char* key, int lineLimit, int* out);
int ini_read_word(const char* key, int lineLimit, char* out, size_t size);
// The whole value (a path, an address, a layer list), blanks inside kept and at both ends dropped (a name
// with a space or '&' in it). 1 when found; -1 when found but longer than
// size - 1 characters, out then empty (a cut value would be another one);
// 0 when absent or blank.
int ini_read_text(const char* key, char* out, size_t size);
