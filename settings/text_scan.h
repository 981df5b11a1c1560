// Line reading and the scanf-like field scanners of the settings readers.
// The scanners follow scanf's rules (numbers and words skip leading blanks,
// a word ends at the first blank) but never overflow: numbers saturate and
// words are cut to the destination.
#pragma once
#include <cstddef>
#include <cstdio>

// Reads the next line of f into buf, keeping at most size - 1 characters;
// the rest of a longer line is skipped, so a piece from the middle of a line
// is never taken for a line of its own. The line break (LF or CR LF) is
// removed. Returns 1 for a line, 0 at the end of the file.
int read_line(FILE* f, char* buf, size_t size);

// The text after key when line starts with it exactly (case included), else null.
const char* after_prefix(const char* line, const char* key);

// "%d": optional blanks, optional sign, digits. Saturates at the int range.
int scan_int(const char** p, int* out);
// "%lf" (strtod rules).
int scan_double(const char** p, double* out);
// "%s": optional blanks, then up to the next blank; cut to size - 1 characters.
int scan_word(const char** p, char* out, size_t size);

// FNV-1a (32 bits) of the text: a short name that stays the same from run
// to run (a tile cache's folder, a store of a server's sheets).
unsigned text_fnv1a(const char* text);

// Bounded copy that always terminates (size > 0).
void copy_text(char* out, size_t size, const char* text);
