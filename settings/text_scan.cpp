#include "settings/text_scan.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

int read_line(FILE* f, char* buf, size_t size) {
    if (!f || !buf || size < 2) return 0;
    size_t n = 0;
    int c = EOF, any = 0;
    // Character by character, so a NUL inside a line cannot hide its end.
    while ((c = getc(f)) != EOF) {
        any = 1;
        if (c == '\n') break;
        if (n + 1 < size) buf[n++] = static_cast<char>(c);
    }
    buf[n] = '\0';
    if (n > 0 && buf[n - 1] == '\r') buf[--n] = '\0';
    return any;
}

const char* after_prefix(const char* line, const char* key) {
    size_t n = strlen(key);
    return strncmp(line, key, n) == 0 ? line + n : nullptr;
}

static void skip_blanks(const char** p) {
    while (**p && isspace(static_cast<unsigned char>(**p))) ++*p;
}

int scan_int(const char** p, int* out) {
    const char* s = *p;
    skip_blanks(&s);
    int negative = 0;
    if (*s == '+' || *s == '-') negative = *s++ == '-';
    if (!isdigit(static_cast<unsigned char>(*s))) return 0;
    long long v = 0;
    while (isdigit(static_cast<unsigned char>(*s))) {
        if (v <= static_cast<long long>(INT_MAX) + 1) v = v * 10 + (*s - '0');
        ++s;
    }
    if (negative) v = -v;
    if (v > INT_MAX) v = INT_MAX;
    if (v < INT_MIN) v = INT_MIN;
    *out = static_cast<int>(v);
    *p = s;
    return 1;
}

int scan_double(const char** p, double* out) {
    const char* s = *p;
    skip_blanks(&s);
    char* end = nullptr;
    errno = 0;
    double v = strtod(s, &end);
    if (end == s) return 0;
    *out = v;
    *p = end;
    return 1;
}

int scan_word(const char** p, char* out, size_t size) {
    const char* s = *p;
    skip_blanks(&s);
    if (!*s) return 0;
    size_t n = 0;
    while (*s && !isspace(static_cast<unsigned char>(*s))) {
        if (n + 1 < size) out[n++] = *s;
        ++s;
    }
    if (size > 0) out[n] = '\0';
    *p = s;
    return 1;
}

void copy_text(char* out, size_t size, const char* text) {
    if (size == 0) return;
    size_t n = strnlen(text, size - 1);
    memcpy(out, text, n);
    out[n] = '\0';
}

unsigned text_fnv1a(const char* text) {
    unsigned h = 2166136261u;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p) h = (h ^ *p) * 16777619u;
    return h;
}
