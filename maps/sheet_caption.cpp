#include "maps/sheet_caption.h"

#include <cctype>
#include <cstring>
#include <string>

namespace {

const int kGlyphW = 3, kGlyphH = 5, kPad = 1;

// 3 x 5 glyphs, five rows of three bits from the top left.
struct Glyph {
    char c;
    const char* rows;
};
const Glyph kGlyphs[] = {
    {'A', "010101111101101"}, {'B', "110101110101110"}, {'C', "011100100100011"}, {'D', "110101101101110"},
    {'E', "111100110100111"}, {'F', "111100110100100"}, {'G', "011100101101011"}, {'H', "101101111101101"},
    {'I', "111010010010111"}, {'J', "001001001101010"}, {'K', "101101110101101"}, {'L', "100100100100111"},
    {'M', "101111111101101"}, {'N', "110101101101101"}, {'O', "010101101101010"}, {'P', "110101110100100"},
    {'Q', "010101101110011"}, {'R', "110101110101101"}, {'S', "011100010001110"}, {'T', "111010010010010"},
    {'U', "101101101101111"}, {'V', "101101101101010"}, {'W', "101101111111101"}, {'X', "101101010101101"},
    {'Y', "101101010010010"}, {'Z', "111001010100111"}, {'0', "111101101101111"}, {'1', "010110010010111"},
    {'2', "110001010100111"}, {'3', "110001010001110"}, {'4', "101101111001001"}, {'5', "111100110001110"},
    {'6', "011100111101111"}, {'7', "111001010010010"}, {'8', "111101111101111"}, {'9', "111101111001110"},
    {'.', "000000000000010"}, {',', "000000000010100"}, {'-', "000000111000000"}, {'/', "001001010100100"},
    {':', "000010000010000"}, {'(', "001010010010001"}, {')', "100010010010100"}, {'&', "010101010101011"},
    {'\'', "010010000000000"}, {'+', "000010111010000"}, {'_', "000000000000111"}, {'@', "010101111100011"},
    {' ', "000000000000000"}, {'?', "110001010000010"},
};

const char* glyphOf(char c) {
    c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    for (const Glyph& g : kGlyphs)
        if (g.c == c) return g.rows;
    return glyphOf('?');
}

// The text as drawn: "©" spelled out, other bytes beyond ASCII left out.
std::string drawable(const char* text) {
    std::string out;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p) {
        if (p[0] == 0xC2 && p[1] == 0xA9) {
            out += "(C)";
            ++p;
        } else if (*p >= 0x20 && *p < 0x7F) {
            out += static_cast<char>(*p);
        }
    }
    return out;
}

void set(unsigned char* rgb, int width, int x, int y, unsigned char v) {
    memset(rgb + (static_cast<size_t>(y) * width + x) * 3, v, 3);
}

}  // namespace

void sheet_caption_draw(unsigned char* rgb, int width, int height, const char* text) {
    std::string t = text ? drawable(text) : "";
    if (t.empty() || height < kGlyphH + 2 * kPad) return;
    int advance = kGlyphW + 1;
    int fit = (width - 2 * kPad) / advance;
    if (static_cast<int>(t.size()) > fit) t = t.substr(t.size() - static_cast<size_t>(fit));
    int bandW = static_cast<int>(t.size()) * advance - 1 + 2 * kPad, bandH = kGlyphH + 2 * kPad;
    int left = width - bandW, top = height - bandH;
    for (int y = top; y < height; ++y)
        for (int x = left; x < width; ++x) set(rgb, width, x, y, 255);
    for (size_t n = 0; n < t.size(); ++n) {
        const char* rows = glyphOf(t[n]);
        for (int r = 0; r < kGlyphH; ++r)
            for (int c = 0; c < kGlyphW; ++c)
                if (rows[r * kGlyphW + c] == '1')
                    set(rgb, width, left + kPad + static_cast<int>(n) * advance + c, top + kPad + r, 0);
    }
}

void sheet_caption_size(const char* text, int* width, int* height) {
    size_t n = text ? drawable(text).size() : 0;
    *width = n ? static_cast<int>(n) * (kGlyphW + 1) - 1 + 2 * kPad : 0;
    *height = kGlyphH + 2 * kPad;
}
