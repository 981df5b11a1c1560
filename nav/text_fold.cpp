#include "nav/text_fold.h"

#include <cstdint>

namespace {

// U+00C0..U+00FF; "" keeps the letter itself (the signs × and ÷).
const char* const kLatin1[64] = {
    "a", "a", "a", "a", "a",  "a", "ae", "c", "e", "e", "e", "e", "i", "i", "i", "i",
    "d", "n", "o", "o", "o",  "o", "o",  "",  "o", "u", "u", "u", "u", "y", "th", "ss",
    "a", "a", "a", "a", "a",  "a", "ae", "c", "e", "e", "e", "e", "i", "i", "i", "i",
    "d", "n", "o", "o", "o",  "o", "o",  "",  "o", "u", "u", "u", "u", "y", "th", "y",
};

// U+0100..U+017F, upper and lower case in turn.
const char* const kLatinA[128] = {
    "a", "a", "a", "a", "a", "a", "c", "c", "c", "c", "c", "c", "c", "c", "d", "d",
    "d", "d", "e", "e", "e", "e", "e", "e", "e", "e", "e", "e", "g", "g", "g", "g",
    "g", "g", "g", "g", "h", "h", "h", "h", "i", "i", "i", "i", "i", "i", "i", "i",
    "i", "i", "ij", "ij", "j", "j", "k", "k", "k", "l", "l", "l", "l", "l", "l", "l",
    "l", "l", "l", "n", "n", "n", "n", "n", "n", "n", "n", "n", "o", "o", "o", "o",
    "o", "o", "oe", "oe", "r", "r", "r", "r", "r", "r", "s", "s", "s", "s", "s", "s",
    "s", "s", "t", "t", "t", "t", "t", "t", "u", "u", "u", "u", "u", "u", "u", "u",
    "u", "u", "u", "u", "w", "w", "y", "y", "y", "z", "z", "z", "z", "z", "z", "s",
};

void appendUtf8(std::string& out, uint32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// The code point at text[*i], *i moved past it; false for a byte that
// starts no well-formed sequence (*i moved past that byte).
bool decode(const std::string& text, size_t* i, uint32_t* out) {
    unsigned char b = static_cast<unsigned char>(text[*i]);
    int more = b < 0x80 ? 0 : (b & 0xE0) == 0xC0 ? 1 : (b & 0xF0) == 0xE0 ? 2 : (b & 0xF8) == 0xF0 ? 3 : -1;
    ++*i;
    if (more < 0) return false;
    uint32_t c = more == 0 ? b : b & (0x3F >> more);
    for (int k = 0; k < more; k++) {
        if (*i >= text.size() || (static_cast<unsigned char>(text[*i]) & 0xC0) != 0x80) return false;
        c = (c << 6) | (static_cast<unsigned char>(text[(*i)++]) & 0x3F);
    }
    static const uint32_t least[] = {0, 0x80, 0x800, 0x10000};
    if (c < least[more] || c > 0x10FFFF || (c >= 0xD800 && c < 0xE000)) return false;
    *out = c;
    return true;
}

}  // namespace

std::string text_fold(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        uint32_t c;
        if (!decode(text, &i, &c)) continue;
        if (c < 0x80) out += static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
        else if (c >= 0xC0 && c <= 0xFF && *kLatin1[c - 0xC0]) out += kLatin1[c - 0xC0];
        else if (c >= 0x100 && c <= 0x17F) out += kLatinA[c - 0x100];
        else if (c >= 0x218 && c <= 0x21B) out += c < 0x21A ? "s" : "t";     // Romanian comma below
        else if (c == 0x1E9E) out += "ss";                                   // capital sharp s
        else if (c >= 0x300 && c <= 0x36F) continue;                         // combining accents
        else if ((c >= 0x391 && c <= 0x3A9) || (c >= 0x410 && c <= 0x42F)) appendUtf8(out, c + 0x20);
        else if (c >= 0x400 && c <= 0x40F) appendUtf8(out, c + 0x50);
        else appendUtf8(out, c);
    }
    return out;
}
