// Field table of one NMEA sentence, built in the same pass as its checksum,
// and readers of numeric fields that never touch the heap.
#pragma once

enum { NMEA_MAX_FIELDS = 24 };  // GSV reads up to field 19

struct NmeaFields {
    const char* start[NMEA_MAX_FIELDS];
    const char* end[NMEA_MAX_FIELDS];
    int count;  // fields present; later ones read as empty
};

// Splits the text after "$" at its commas up to the first "*" or carriage
// return; returns 1 when its checksum is right.
int nmea_split(const char* text, NmeaFields* f);

inline const char* nmea_field_start(const NmeaFields& f, int n) {
    return n >= 0 && n < f.count ? f.start[n] : nullptr;
}
inline int nmea_field_length(const NmeaFields& f, int n) {
    return n >= 0 && n < f.count ? static_cast<int>(f.end[n] - f.start[n]) : 0;
}
// First character of a field, 0 when empty.
inline char nmea_field_first(const NmeaFields& f, int n) {
    return nmea_field_length(f, n) > 0 ? f.start[n][0] : 0;
}

// A decimal number at the start of the field ("4807.038", "-12", "1e3");
// 0 when empty or unreadable (no digits, infinite, not a number).
int nmea_field_double(const NmeaFields& f, int n, double* out);
// A whole number at the start of the field ("07", "-3", "12.5" reads 12);
// 0 when empty or unreadable. Huge values are clamped.
int nmea_field_int(const NmeaFields& f, int n, int* out);

// The same readers on a counted text (tests, other decoders).
int nmea_read_double(const char* p, int length, double* out);
int nmea_read_int(const char* p, int length, int* out);
