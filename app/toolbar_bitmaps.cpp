#include "app/toolbar_bitmaps.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace {

constexpr int S = TOOLBAR_BITMAP_SIZE;

struct Face {
    unsigned char rgb[S * S * 3];
};

void set(Face* f, int x, int y, uint32_t c) {
    if (x < 0 || y < 0 || x >= S || y >= S) return;
    unsigned char* p = f->rgb + (y * S + x) * 3;
    p[0] = static_cast<unsigned char>(c >> 16);
    p[1] = static_cast<unsigned char>(c >> 8);
    p[2] = static_cast<unsigned char>(c);
}

void rect(Face* f, int x0, int y0, int x1, int y1, uint32_t c) {   // inclusive
    for (int y = y0; y <= y1; y++)
        for (int x = x0; x <= x1; x++) set(f, x, y, c);
}

void frameRect(Face* f, int x0, int y0, int x1, int y1, uint32_t c) {
    for (int x = x0; x <= x1; x++) set(f, x, y0, c), set(f, x, y1, c);
    for (int y = y0; y <= y1; y++) set(f, x0, y, c), set(f, x1, y, c);
}

// Button face: light grey, raised edge.
void blank(Face* f) {
    rect(f, 0, 0, S - 1, S - 1, 0xC0C0C0);
    for (int i = 0; i < S; i++) {
        set(f, i, 0, 0xFFFFFF), set(f, 0, i, 0xFFFFFF);
        set(f, i, S - 1, 0x404040), set(f, S - 1, i, 0x404040);
        if (i > 0 && i < S - 1) set(f, i, S - 2, 0x808080), set(f, S - 2, i, 0x808080);
    }
}

// A 5-row pixel font for the captions.
struct Glyph {
    char c;
    const char* rows[5];
};
const Glyph font[] = {
    {'G', {".##", "#..", "#.#", "#.#", ".##"}},     {'P', {"##.", "#.#", "##.", "#..", "#.."}},
    {'S', {".##", "#..", ".#.", "..#", "##."}},     {'W', {"#...#", "#...#", "#.#.#", "#.#.#", ".#.#."}},
    {'E', {"###", "#..", "##.", "#..", "###"}},     {'T', {"###", ".#.", ".#.", ".#.", ".#."}},
    {'N', {"#..#", "##.#", "#.##", "#..#", "#..#"}}, {'O', {".#.", "#.#", "#.#", "#.#", ".#."}},
    {'R', {"##.", "#.#", "##.", "#.#", "#.#"}},     {'H', {"#.#", "#.#", "###", "#.#", "#.#"}},
    {'U', {"#.#", "#.#", "#.#", "#.#", "###"}},     {'A', {".#.", "#.#", "###", "#.#", "#.#"}},
    {'1', {".#.", "##.", ".#.", ".#.", "###"}},     {'0', {"###", "#.#", "#.#", "#.#", "###"}},
    {'2', {"##.", "..#", ".#.", "#..", "###"}},     {'5', {"###", "#..", "##.", "..#", "##."}},
    {':', {".", "#", ".", "#", "."}},               {'M', {"#...#", "##.##", "#.#.#", "#...#", "#...#"}},
    {'k', {"#..", "#.#", "##.", "#.#", "#.#"}},
};

const Glyph* glyph(char c) {
    for (const Glyph& g : font)
        if (g.c == c) return &g;
    return nullptr;
}

int textWidth(const char* text) {
    int w = 0;
    for (const char* p = text; *p; p++)
        if (const Glyph* g = glyph(*p)) w += static_cast<int>(strlen(g->rows[0])) + (p[1] ? 1 : 0);
    return w;
}

// Caption centred at the foot of the face.
void caption(Face* f, const char* text, uint32_t c) {
    int x = (S - textWidth(text)) / 2, y = 25;
    for (const char* p = text; *p; p++) {
        const Glyph* g = glyph(*p);
        if (!g) continue;
        int w = static_cast<int>(strlen(g->rows[0]));
        for (int r = 0; r < 5; r++)
            for (int i = 0; i < w; i++)
                if (g->rows[r][i] == '#') set(f, x + i, y + r, c);
        x += w + 1;
    }
}

// Hand-held receiver: dark body, antenna, green screen, keypad.
void drawGps(Face* f) {
    blank(f);
    rect(f, 19, 2, 20, 5, 0x202020);                 // antenna
    rect(f, 10, 5, 21, 23, 0x303848);                // body
    frameRect(f, 10, 5, 21, 23, 0x101010);
    rect(f, 12, 7, 19, 13, 0x90C878);                // screen
    frameRect(f, 12, 7, 19, 13, 0x405030);
    set(f, 14, 11, 0xC00000), set(f, 15, 10, 0xC00000), set(f, 16, 10, 0xC00000), set(f, 17, 9, 0xC00000);
    for (int r = 0; r < 3; r++)
        for (int k = 0; k < 3; k++) rect(f, 12 + k * 3, 15 + r * 3, 13 + k * 3, 16 + r * 3, 0xD0D0D0);
    caption(f, "GPS", 0x000000);
}

// Blue arrow; dir 0 west, 1 north, 2 south, 3 east.
void drawArrow(Face* f, int dir, const char* text) {
    blank(f);
    bool horizontal = dir == 0 || dir == 3;
    int length = horizontal ? 24 : 20;
    int head = horizontal ? 11 : 10, headHalf = horizontal ? 9 : 10, shaftHalf = 3;
    int cx = 16, cy = 12, start = horizontal ? 4 : 2;
    for (int u = 0; u < length; u++)
        for (int v = -headHalf; v <= headHalf; v++) {
            int fromTip = u;                          // u = 0 at the tip
            bool inside = fromTip < head ? std::abs(v) <= fromTip * headHalf / head : std::abs(v) <= shaftHalf;
            if (!inside) continue;
            bool edge = fromTip < head ? std::abs(v) == fromTip * headHalf / head
                                       : (std::abs(v) == shaftHalf || u == length - 1);
            uint32_t c = edge ? 0x000080 : 0x0000FF;
            int x, y;
            switch (dir) {
            case 0: x = start + u, y = cy + v; break;
            case 3: x = start + length - 1 - u, y = cy + v; break;
            case 1: x = cx + v, y = start + u; break;
            default: x = cx + v, y = start + length - 1 - u; break;
            }
            set(f, x, y, c);
        }
    caption(f, text, 0x000000);
}

// Map thumbnail for a level: coarse levels show coast and lakes, fine
// levels contours, roads and streets.
void drawLevel(Face* f, int level, const char* text) {
    blank(f);
    const int x0 = 3, y0 = 3, x1 = 28, y1 = 21;
    for (int y = y0; y <= y1; y++)
        for (int x = x0; x <= x1; x++) {
            uint32_t c = 0xE8F0D0;                    // land
            double u = (x - x0) / 25.0, v = (y - y0) / 18.0;
            switch (level) {
            case 0:
                if (v < 0.35 - 0.25 * std::sin(u * 6.0) || u > 0.8 + 0.1 * std::sin(v * 9.0)) c = 0x78A8E0;
                break;
            case 1:
                if ((u - 0.3) * (u - 0.3) + (v - 0.4) * (v - 0.4) < 0.03) c = 0x78A8E0;
                if ((u - 0.75) * (u - 0.75) * 2 + (v - 0.7) * (v - 0.7) < 0.02) c = 0x78A8E0;
                break;
            case 2:
                if (std::abs(v - 0.5 - 0.25 * std::sin(u * 7.0)) < 0.07) c = 0x78A8E0;
                else if (static_cast<int>(((u - 0.3) * (u - 0.3) + v * v) * 40) % 3 == 0) c = 0xD8C8A0;
                break;
            case 3:
                if (static_cast<int>(((u - 0.6) * (u - 0.6) + (v - 0.4) * (v - 0.4)) * 60) % 3 == 0) c = 0xC8A878;
                if (std::abs(u + v - 1.0) < 0.05) c = 0xE03020;
                break;
            default:
                if ((x - x0) % 6 == 2 || (y - y0) % 5 == 2) c = 0xFFFFFF;
                if ((x - x0) % 12 == 2 || (y - y0) % 10 == 2) c = 0xF0A020;
                if ((x - x0) % 6 == 5 && (y - y0) % 5 == 4) c = 0x806040;
                break;
            }
            set(f, x, y, c);
        }
    frameRect(f, x0 - 1, y0 - 1, x1 + 1, y1 + 1, 0x000000);
    caption(f, text, 0x000000);
}

// Pressed variant: the picture one pixel down and right on a lighter
// ground, the edge sunken (dark top and left, white bottom and right).
void pressed(const Face& from, Face* to) {
    Face plain;
    blank(&plain);
    rect(to, 0, 0, S - 1, S - 1, 0xE0E0E0);
    for (int y = 2; y < S - 2; y++)
        for (int x = 2; x < S - 2; x++) {
            const unsigned char* p = from.rgb + (y * S + x) * 3;
            if (memcmp(p, plain.rgb + (y * S + x) * 3, 3)) set(to, x + 1, y + 1, (p[0] << 16) | (p[1] << 8) | p[2]);
        }
    for (int i = 0; i < S; i++) {
        set(to, i, S - 1, 0xFFFFFF), set(to, S - 1, i, 0xFFFFFF);
        set(to, i, 0, 0x404040), set(to, 0, i, 0x404040);
        if (i > 0 && i < S - 1) set(to, i, 1, 0x808080), set(to, 1, i, 0x808080);
    }
}

struct Faces {
    Face gps, gpsPressed, arrows[4], levels[5], levelsPressed[5];
};

Faces* faces() {
    static Faces* all = [] {
        auto* a = static_cast<Faces*>(calloc(1, sizeof(Faces)));
        drawGps(&a->gps);
        pressed(a->gps, &a->gpsPressed);
        const char* arrowText[4] = {"WEST", "NORTH", "SOUTH", "EAST"};
        const int arrowDir[4] = {0, 1, 2, 3};
        for (int i = 0; i < 4; i++) drawArrow(&a->arrows[i], arrowDir[i], arrowText[i]);
        const char* scales[5] = {"1:10M", "1:1M", "1:200k", "1:50k", "1:20k"};
        for (int i = 0; i < 5; i++) {
            drawLevel(&a->levels[i], i, scales[i]);
            pressed(a->levels[i], &a->levelsPressed[i]);
        }
        return a;
    }();
    return all;
}

}  // namespace

const unsigned char* toolbar_bitmap(int id) {
    Faces* a = faces();
    if (!a) return nullptr;
    if (id == BITMAP_GPS) return a->gps.rgb;
    if (id == BITMAP_GPS_PRESSED) return a->gpsPressed.rgb;
    if (id >= BITMAP_WEST && id <= BITMAP_EAST) return a->arrows[id - BITMAP_WEST].rgb;
    if (id >= BITMAP_LEVEL && id < BITMAP_LEVEL + 5) return a->levels[id - BITMAP_LEVEL].rgb;
    if (id >= BITMAP_LEVEL_PRESSED && id < BITMAP_LEVEL_PRESSED + 5)
        return a->levelsPressed[id - BITMAP_LEVEL_PRESSED].rgb;
    return nullptr;
}
