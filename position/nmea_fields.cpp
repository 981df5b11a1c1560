#include "position/nmea_fields.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

const char hex_digits[] = "0123456789ABCDEF";

// Exact powers of ten: a mantissa of up to 15 digits divided by one of them
// is rounded once, exactly as strtod would round it.
const double powers_of_ten[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
const int max_fast_digits = 15;

// Checksum and comma positions, eight bytes at a time: the commas sit at
// irregular places, and a branch per byte mispredicts on most of them.
struct CommaScan {
    uint64_t sum = 0;                   // XOR of the words; fold_bytes gives the byte
    int at[NMEA_MAX_FIELDS] = {};       // comma offsets
    int count = 0;                      // commas seen (may exceed the table)
};

const uint64_t low7 = 0x7F7F7F7F7F7F7F7FULL;
const uint64_t commas8 = 0x2C2C2C2C2C2C2C2CULL;

unsigned fold_bytes(uint64_t w) {
    w ^= w >> 32;
    w ^= w >> 16;
    w ^= w >> 8;
    return static_cast<unsigned>(w & 0xFF);
}

void note_comma(CommaScan* s, size_t offset) {
    if (s->count < NMEA_MAX_FIELDS) s->at[s->count] = static_cast<int>(offset);
    s->count += 1;
}

void scan_words(const char* text, size_t from, size_t to, CommaScan* s, bool commas) {
    size_t i = from;
    if constexpr (std::endian::native == std::endian::little) {
        for (; i + 8 <= to; i += 8) {
            uint64_t w;
            std::memcpy(&w, text + i, 8);
            s->sum ^= w;
            if (!commas) continue;
            // High bit set exactly in the bytes that are commas.
            uint64_t x = w ^ commas8;
            uint64_t hits = ~(((x & low7) + low7) | x | low7);
            while (hits) {
                note_comma(s, i + (std::countr_zero(hits) >> 3));
                hits &= hits - 1;
            }
        }
    }
    for (; i < to; ++i) {
        s->sum ^= static_cast<unsigned char>(text[i]);
        if (commas && text[i] == ',') note_comma(s, i);
    }
}

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
    size_t length = std::strlen(text);
    const char* star = static_cast<const char*>(std::memchr(text, '*', length));
    size_t checked = star ? static_cast<size_t>(star - text) : length;
    // Fields end at a stray carriage return; the checksum still covers it.
    const char* cr = static_cast<const char*>(std::memchr(text, '\r', checked));
    size_t fieldsEnd = cr ? static_cast<size_t>(cr - text) : checked;

    CommaScan scan;
    scan_words(text, 0, fieldsEnd, &scan, true);
    scan_words(text, fieldsEnd, checked, &scan, false);

    int ncomma = scan.count < NMEA_MAX_FIELDS ? scan.count : NMEA_MAX_FIELDS;
    f->count = scan.count >= NMEA_MAX_FIELDS ? NMEA_MAX_FIELDS : scan.count + 1;
    for (int i = 0; i < f->count; ++i) {
        f->start[i] = i == 0 ? text : text + scan.at[i - 1] + 1;
        f->end[i] = text + (i < ncomma ? scan.at[i] : fieldsEnd);
    }
    unsigned sum = fold_bytes(scan.sum);
    return star && star[1] == hex_digits[sum >> 4] && star[2] == hex_digits[sum & 15];
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
