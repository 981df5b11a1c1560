#include "nav/coordinate_text.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "nav/utm.h"

namespace {

// One half of a position: up to three numbers (degrees, minutes, seconds)
// and a hemisphere letter, or 0.
struct Part {
    std::vector<std::string> numbers;
    char hemisphere = 0;
};

bool is_digit(char c) { return c >= '0' && c <= '9'; }

char hemisphere_of(char c)
{
    switch (c) {
    case 'N': case 'n': return 'N';
    case 'S': case 's': return 'S';
    case 'E': case 'e': return 'E';
    case 'W': case 'w': return 'W';
    default: return 0;
    }
}

// The marks of degrees, minutes and seconds (° º ' ′ ’ " ″ ”), as UTF-8,
// stand between numbers like spaces.
size_t mark_length(const std::string& t, size_t i)
{
    static const char* const kMarks[] = {"\xC2\xB0", "\xC2\xBA", "\xE2\x80\xB2", "\xE2\x80\xB3", "\xE2\x80\x99",
                                         "\xE2\x80\x9D", "'", "\"", " ", "\t"};
    for (const char* m : kMarks) {
        std::string mark(m);
        if (t.compare(i, mark.size(), mark) == 0) return mark.size();
    }
    return 0;
}

// Splits text into numbers, hemisphere letters and commas; false when
// anything else is in it.
bool tokens_of(const std::string& t, std::vector<std::string>* out)
{
    for (size_t i = 0; i < t.size();) {
        if (size_t n = mark_length(t, i)) {
            i += n;
        } else if (t[i] == ',' || t[i] == ';') {
            out->push_back(",");
            i++;
        } else if (hemisphere_of(t[i])) {
            out->push_back(std::string(1, hemisphere_of(t[i])));
            i++;
        } else if (is_digit(t[i]) || ((t[i] == '-' || t[i] == '+' || t[i] == '.') && i + 1 < t.size() &&
                                        (is_digit(t[i + 1]) || t[i + 1] == '.'))) {
            size_t j = i + 1;
            while (j < t.size() && (is_digit(t[j]) || t[j] == '.')) j++;
            out->push_back(t.substr(i, j - i));
            i = j;
        } else {
            return false;
        }
    }
    return true;
}

bool is_number(const std::string& token) { return token != "," && !hemisphere_of(token[0]); }

// The two parts of the tokens; false when they do not make two.
bool parts_of(const std::vector<std::string>& tokens, Part* a, Part* b)
{
    std::vector<Part> parts(1);
    bool letterFirst = !tokens.empty() && hemisphere_of(tokens[0][0]);
    bool anyLetter = false, anyComma = false;
    for (const std::string& t : tokens) {
        anyLetter |= !is_number(t) && t != ",";
        anyComma |= t == ",";
    }
    for (size_t i = 0; i < tokens.size(); i++) {
        const std::string& t = tokens[i];
        if (t == ",") {
            if (!parts.back().numbers.empty() || parts.back().hemisphere) parts.emplace_back();
        } else if (!is_number(t)) {
            // Before its numbers: starts a part; after them: ends one.
            if (letterFirst) {
                if (!parts.back().numbers.empty() || parts.back().hemisphere) parts.emplace_back();
                parts.back().hemisphere = t[0];
            } else {
                if (parts.back().hemisphere || parts.back().numbers.empty()) return false;
                parts.back().hemisphere = t[0];
                parts.emplace_back();
            }
        } else {
            parts.back().numbers.push_back(t);
        }
    }
    while (!parts.empty() && parts.back().numbers.empty() && !parts.back().hemisphere) parts.pop_back();
    if (!anyLetter && !anyComma && parts.size() == 1) {
        // Numbers alone: halves of one, two or three numbers each.
        std::vector<std::string> all = parts[0].numbers;
        if (all.size() % 2 || all.size() < 2 || all.size() > 6) return false;
        parts.assign(2, Part());
        parts[0].numbers.assign(all.begin(), all.begin() + static_cast<long>(all.size() / 2));
        parts[1].numbers.assign(all.begin() + static_cast<long>(all.size() / 2), all.end());
    }
    if (parts.size() != 2) return false;
    *a = parts[0];
    *b = parts[1];
    return true;
}

// Degrees of a part; false with the reason when its numbers cannot be.
bool degrees_of(const Part& p, double* degrees, std::string* reason)
{
    if (p.numbers.empty() || p.numbers.size() > 3) {
        *reason = "a position is degrees, minutes and seconds at most";
        return false;
    }
    double value = 0, scale = 1;
    bool negative = false;
    static const char* const kUnit[] = {"degrees", "minutes", "seconds"};
    for (size_t i = 0; i < p.numbers.size(); i++) {
        const std::string& n = p.numbers[i];
        char* end = nullptr;
        double v = std::strtod(n.c_str(), &end);
        if (!end || *end || !std::isfinite(v)) {
            *reason = "\"" + n + "\" is not a number";
            return false;
        }
        bool last = i + 1 == p.numbers.size();
        if (i > 0 && (n[0] == '-' || n[0] == '+')) {
            *reason = std::string("the ") + kUnit[i] + " take no sign";
            return false;
        }
        if (!last && v != std::floor(v)) {
            *reason = std::string("only the last number may have a fraction, not the ") + kUnit[i];
            return false;
        }
        if (i > 0 && v >= 60) {
            *reason = std::string("there are fewer than 60 ") + kUnit[i] + ": " + n;
            return false;
        }
        if (i == 0) negative = n[0] == '-';
        value += std::fabs(v) / scale;
        scale *= 60;
    }
    if (negative && p.hemisphere) {
        *reason = "a negative number with a hemisphere letter is ambiguous";
        return false;
    }
    *degrees = (negative || p.hemisphere == 'S' || p.hemisphere == 'W') ? -value : value;
    return true;
}

void split(double value, int parts, int decimals, long long* whole, long long* minutes, double* rest)
{
    // Rounded first, so that 59.9999 minutes never shows as 60.
    double unit = parts == 2 ? 60.0 : 3600.0;
    double factor = std::pow(10.0, decimals);
    double total = std::round(std::fabs(value) * unit * factor) / factor;
    *whole = static_cast<long long>(total / unit);
    double left = total - static_cast<double>(*whole) * unit;
    if (parts == 2) {
        *minutes = 0;
        *rest = left;
    } else {
        *minutes = static_cast<long long>(left / 60);
        *rest = left - static_cast<double>(*minutes) * 60;
    }
}

} // namespace

int coordinate_text_parse(const std::string& text, double* lat, double* lon, std::string* reason)
{
    std::vector<std::string> tokens;
    Part a, b;
    if (!tokens_of(text, &tokens) || !parts_of(tokens, &a, &b)) return 0;
    // A name may hold numbers and letters (a street "N 5"): only the shape
    // of a position counts, each part with a number.
    if (a.numbers.empty() || b.numbers.empty()) return 0;
    bool aLon = a.hemisphere == 'E' || a.hemisphere == 'W';
    bool bLon = b.hemisphere == 'E' || b.hemisphere == 'W';
    bool aLat = a.hemisphere == 'N' || a.hemisphere == 'S';
    bool bLat = b.hemisphere == 'N' || b.hemisphere == 'S';
    if ((aLon && bLon) || (aLat && bLat)) {
        *reason = "both halves name the same axis (" + std::string(1, a.hemisphere) + " and " +
                  std::string(1, b.hemisphere) + ")";
        return -1;
    }
    if (aLon || bLat) std::swap(a, b);
    double la = 0, lo = 0;
    if (!degrees_of(a, &la, reason) || !degrees_of(b, &lo, reason)) return -1;
    char buf[96];
    if (std::fabs(la) > 90) {
        std::snprintf(buf, sizeof buf, "latitude %g is past the pole (90 degrees at most)", la);
        *reason = buf;
        return -1;
    }
    if (std::fabs(lo) > 180) {
        std::snprintf(buf, sizeof buf, "longitude %g is past 180 degrees", lo);
        *reason = buf;
        return -1;
    }
    *lat = la;
    *lon = lo;
    return 1;
}

std::string coordinate_text_format(double lat, double lon, CoordinateForm form)
{
    char out[96];
    char ns = lat < 0 ? 'S' : 'N', ew = lon < 0 ? 'W' : 'E';
    long long d1, m1, d2, m2;
    double r1, r2;
    if (form == COORDINATE_DM) {
        split(lat, 2, 3, &d1, &m1, &r1);
        split(lon, 2, 3, &d2, &m2, &r2);
        std::snprintf(out, sizeof out, "%c %lld %06.3f %c %lld %06.3f", ns, d1, r1, ew, d2, r2);
    } else if (form == COORDINATE_DMS) {
        split(lat, 3, 1, &d1, &m1, &r1);
        split(lon, 3, 1, &d2, &m2, &r2);
        std::snprintf(out, sizeof out, "%lld\xC2\xB0%02lld'%04.1f\"%c %lld\xC2\xB0%02lld'%04.1f\"%c", d1, m1, r1, ns,
                      d2, m2, r2, ew);
    } else if (UtmPoint u; form == COORDINATE_UTM && utm_from_degrees(lat, lon, &u)) {
        std::snprintf(out, sizeof out, "%d%c %.1f %.1f", u.zone, u.band, u.easting, u.northing);
    } else {
        std::snprintf(out, sizeof out, "%.6f %c %.6f %c", std::fabs(lat), ns, std::fabs(lon), ew);
    }
    return out;
}
