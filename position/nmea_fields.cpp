#include "position/nmea_fields.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

const char hex_digits[] = "0123456789ABCDEF";

// Exact powers of ten: a mantissa of up to 15 digits divided by one of them
// is rounded once, exactly as strtod would round it.
const double powers_of_ten[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
const int max_fast_digits = 15;

bool is_digit(char c) { return c >= '0' && c <= '9'; }

int read_double_slow(const char* p, int length, double* out) {
    char text[100];
    if (length > 99) length = 99;
    std::memcpy(text, p, length);
    text[length] = 0;
    char* stop = nullptr;
    double v = std::strtod(text, &stop);
    if (stop == text || !std::isfinite(v)) return 0;
    *out = v;
    return 1;
}

}  // namespace

int nmea_split(const char* text, NmeaFields* f) {
    const char* p = text;
    const char* bodyEnd = nullptr;
    const char* commas[NMEA_MAX_FIELDS];
    int ncomma = 0;
    bool more = false;
    unsigned sum = 0;
    for (;; ++p) {
        unsigned char c = static_cast<unsigned char>(*p);
        if (c == '*' || c == 0) break;
        sum ^= c;
        if (c == ',') {
            if (bodyEnd) continue;
            if (ncomma < NMEA_MAX_FIELDS)
                commas[ncomma++] = p;
            else
                more = true;
        } else if (c == '\r' && !bodyEnd) {
            bodyEnd = p;
        }
    }
    if (!bodyEnd) bodyEnd = p;
    f->count = more ? NMEA_MAX_FIELDS : (ncomma < NMEA_MAX_FIELDS ? ncomma + 1 : NMEA_MAX_FIELDS);
    for (int i = 0; i < f->count; ++i) {
        f->start[i] = i == 0 ? text : commas[i - 1] + 1;
        f->end[i] = i < ncomma ? commas[i] : bodyEnd;
    }
    return *p == '*' && p[1] == hex_digits[sum >> 4] && p[2] == hex_digits[sum & 15];
}

int nmea_read_double(const char* p, int length, double* out) {
    const char* end = p + length;
    const char* q = p;
    while (q < end && *q == ' ') ++q;
    bool negative = false;
    if (q < end && (*q == '-' || *q == '+')) negative = *q++ == '-';
    unsigned long long mantissa = 0;
    int digits = 0, fraction = 0;
    while (q < end && is_digit(*q)) mantissa = mantissa * 10 + (*q++ - '0'), ++digits;
    if (q < end && *q == '.') {
        ++q;
        while (q < end && is_digit(*q)) mantissa = mantissa * 10 + (*q++ - '0'), ++digits, ++fraction;
    }
    if (digits == 0) return 0;
    if (digits > max_fast_digits || (q < end && (*q == 'e' || *q == 'E'))) return read_double_slow(p, length, out);
    double v = static_cast<double>(mantissa) / powers_of_ten[fraction];
    *out = negative ? -v : v;
    return 1;
}

int nmea_read_int(const char* p, int length, int* out) {
    const char* end = p + length;
    const char* q = p;
    while (q < end && *q == ' ') ++q;
    bool negative = false;
    if (q < end && (*q == '-' || *q == '+')) negative = *q++ == '-';
    if (q >= end || !is_digit(*q)) return 0;
    long long v = 0;
    while (q < end && is_digit(*q)) {
        if (v < 1000000000) v = v * 10 + (*q - '0');
        ++q;
    }
    if (v > 1000000000) v = 1000000000;
    *out = static_cast<int>(negative ? -v : v);
    return 1;
}

int nmea_field_double(const NmeaFields& f, int n, double* out) {
    int length = nmea_field_length(f, n);
    return length > 0 && nmea_read_double(f.start[n], length, out);
}

int nmea_field_int(const NmeaFields& f, int n, int* out) {
    int length = nmea_field_length(f, n);
    return length > 0 && nmea_read_int(f.start[n], length, out);
}
