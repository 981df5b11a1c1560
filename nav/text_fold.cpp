#include "nav/text_fold.h"

#include <cstdint>

namespace {

// The folded letters of U+00C0..U+017F, one entry a code point ("" keeps it).
const char* const kLatin[] = {
    // U+00C0
    "a", "a", "a", "a", "a", "a", "ae", "c", "e", "e", "e", "e", "i", "i", "i", "i",
    "d", "n", "o", "o", "o", "o", "o", "", "o", "u", "u", "u", "u", "y", "th", "ss",
    "a", "a", "a", "a", "a", "a", "ae", "c", "e", "e", "e", "e", "i", "i", "i", "i",
    "d", "n", "o", "o", "o", "o", "o", "", "o", "u", "u", "u", "u", "y", "th", "y",
    // U+0100
    "a", "a", "a", "a", "a", "a", "c", "c", "c", "c", "c", "c", "c", "c", "d", "d",
    "d", "d", "e", "e", "e", "e", "e", "e", "e", "e", "e", "e", "g", "g", "g", "g",
    "g", "g", "g", "g", "h", "h", "h", "h", "i", "i", "i", "i", "i", "i", "i", "i",
    "i", "i", "ij", "ij", "j", "j", "k", "k", "k", "l", "l", "l", "l", "l", "l", "l",
    "l", "l", "l", "n", "n", "n", "n", "n", "n", "n", "n", "n", "o", "o", "o", "o",
    "o", "o", "oe", "oe", "r", "r", "r", "r", "r", "r", "s", "s", "s", "s", "s", "s",
    "s", "s", "t", "t", "t", "t", "t", "t", "u", "u", "u", "u", "u", "u", "u", "u",
    "u", "u", "u", "u", "w", "w", "y", "y", "y", "z", "z", "z", "z", "z", "z", "s",
};

void put_utf8(uint32_t c, std::string* out)
{
    if (c < 0x80) {
        *out += static_cast<char>(c);
    } else if (c < 0x800) {
        *out += static_cast<char>(0xC0 | (c >> 6));
        *out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        *out += static_cast<char>(0xE0 | (c >> 12));
        *out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        *out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        *out += static_cast<char>(0xF0 | (c >> 18));
        *out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        *out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        *out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// The code point at text[*i], advancing *i; -1 for a byte that does not
// start a well-formed sequence (skipped).
int32_t next_code_point(const std::string& text, size_t* i)
{
    auto b = static_cast<unsigned char>(text[(*i)++]);
    if (b < 0x80) return b;
    int more = b >= 0xF0 && b < 0xF5 ? 3 : b >= 0xE0 ? 2 : b >= 0xC2 && b < 0xE0 ? 1 : -1;
    if (more < 0) return -1;
    uint32_t c = b & (0x3F >> more);
    for (int k = 0; k < more; k++) {
        if (*i >= text.size() || (static_cast<unsigned char>(text[*i]) & 0xC0) != 0x80) return -1;
        c = (c << 6) | (static_cast<unsigned char>(text[(*i)++]) & 0x3F);
    }
    bool overlong = (more == 2 && c < 0x800) || (more == 3 && c < 0x10000);
    if (overlong || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return -1;
    return static_cast<int32_t>(c);
}

} // namespace

std::string text_fold(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        int32_t c = next_code_point(text, &i);
        if (c < 0) continue;
        if (c >= 'A' && c <= 'Z') {
            out += static_cast<char>(c - 'A' + 'a');
        } else if (c >= 0xC0 && c <= 0x17F && kLatin[c - 0xC0][0]) {
            out += kLatin[c - 0xC0];
        } else if (c >= 0x300 && c <= 0x36F) {
            // A combining accent (a decomposed name): dropped with the others.
        } else if (c == 0x1E9E) {
            out += "ss";                                          // capital sharp s
        } else if ((c >= 0x391 && c <= 0x3A9) || (c >= 0x410 && c <= 0x42F)) {
            put_utf8(static_cast<uint32_t>(c + 0x20), &out);     // Greek and Cyrillic capitals
        } else if (c >= 0x400 && c <= 0x40F) {
            put_utf8(static_cast<uint32_t>(c + 0x50), &out);
        } else {
            put_utf8(static_cast<uint32_t>(c), &out);
        }
    }
    return out;
}
