// GIF decoder tests. giflib is the oracle: pictures are encoded with giflib's
// encoder and with a small LZW writer below (for what giflib never writes: no
// clear codes, a full table without a clear, code sizes wider than the
// colours), then decoded by both giflib and gif_decode and compared byte for
// byte, and against the source pixels.
#include <gif_lib.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "maps/gif_decoder.h"

namespace {

using Bytes = std::vector<uint8_t>;

// ---------------------------------------------------------------- pictures

struct Picture {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> index;  // display order, one byte per pixel
};

struct Colours {
    int entries = 0;
    Bytes rgb;  // 3 * entries
};

Colours random_colours(std::mt19937& rng, int entries) {
    Colours c;
    c.entries = entries;
    c.rgb.resize(3 * entries);
    for (auto& b : c.rgb) b = uint8_t(rng());
    // Keep pure black out of the tables so "not written" (black) is visible.
    for (int i = 0; i < entries; ++i)
        if (!c.rgb[3 * i] && !c.rgb[3 * i + 1] && !c.rgb[3 * i + 2]) c.rgb[3 * i] = 1;
    return c;
}

// Mixes flat areas, runs, stripes and noise so the LZW table both fills up
// with long strings and overflows into clears.
Picture random_picture(std::mt19937& rng, int width, int height, int values, int style = -1) {
    Picture p;
    p.width = width;
    p.height = height;
    p.index.resize(size_t(width) * height);
    if (style < 0) style = rng() % 4;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            int v;
            switch (style) {
                case 0: v = rng() % values; break;
                case 1: v = ((x / 7) + (y / 5)) % values; break;
                case 2: v = (rng() % 16 == 0) ? int(rng() % values) : (x * 3 / (width + 1) + y) % values; break;
                default: v = ((x * x + y * 3) / 50) % values; break;
            }
            p.index[size_t(y) * width + x] = uint8_t(v);
        }
    }
    return p;
}

// Rows in the order they are stored: 0, 8, 16, ...; 4, 12, ...; 2, 6, ...; 1, 3, ...
std::vector<int> stream_rows(int height, bool interlaced) {
    std::vector<int> rows;
    if (!interlaced) {
        for (int y = 0; y < height; ++y) rows.push_back(y);
        return rows;
    }
    const int start[4] = {0, 4, 2, 1}, step[4] = {8, 8, 4, 2};
    for (int pass = 0; pass < 4; ++pass)
        for (int y = start[pass]; y < height; y += step[pass]) rows.push_back(y);
    return rows;
}

std::vector<uint8_t> stream_order(const Picture& p, bool interlaced) {
    std::vector<uint8_t> out;
    out.reserve(p.index.size());
    for (int y : stream_rows(p.height, interlaced))
        out.insert(out.end(), p.index.begin() + size_t(y) * p.width,
                   p.index.begin() + size_t(y + 1) * p.width);
    return out;
}

// What a correct decoder delivers: table colours, black beyond the table.
Bytes expected_rgb(const Picture& p, const Colours& c) {
    Bytes out(p.index.size() * 3, 0);
    for (size_t i = 0; i < p.index.size(); ++i) {
        int k = p.index[i];
        if (k < c.entries) std::memcpy(&out[3 * i], &c.rgb[3 * k], 3);
    }
    return out;
}

// ---------------------------------------------------------------- own LZW writer

struct LzwOptions {
    int codeSize = 8;           // minimum code size byte
    bool clearAtStart = true;
    bool clearWhenFull = true;  // otherwise keep coding with the full table
    int defineLimit = 4095;     // entries defined: up to this code, exclusive (giflib: 4095)
    int clearEvery = 0;         // extra clear after this many codes (0: never)
    int* highestCode = nullptr; // receives the highest data code written
    std::vector<Bytes>* strings = nullptr;  // receives each defined code's string
};

// Packs codes LSB first.
struct BitWriter {
    Bytes bytes;
    uint32_t acc = 0;
    int count = 0;
    void put(int code, int size) {
        acc |= uint32_t(code) << count;
        count += size;
        while (count >= 8) {
            bytes.push_back(uint8_t(acc));
            acc >>= 8;
            count -= 8;
        }
    }
    void flush() {
        if (count > 0) bytes.push_back(uint8_t(acc));
        acc = 0;
        count = 0;
    }
};

// GIF-flavoured LZW. The code width follows the reader's rule: a reader that
// has n entries before reading a code uses the smallest width above n - 1.
Bytes lzw_encode(const std::vector<uint8_t>& indexes, const LzwOptions& o) {
    const int clear = 1 << o.codeSize, end = clear + 1;
    BitWriter w;
    std::vector<int32_t> keys(8192), codes(8192);
    int next = 0, readerNext = 0, readerSize = 0, sinceClear = 0;
    bool readerFresh = true;
    auto reset = [&] {
        std::fill(keys.begin(), keys.end(), -1);
        next = clear + 2;
        readerNext = clear + 2;
        readerSize = o.codeSize + 1;
        readerFresh = true;
        sinceClear = 0;
    };
    // Emits a data code and mirrors what the reader does with it.
    auto emit = [&](int code) {
        if (o.highestCode) *o.highestCode = std::max(*o.highestCode, code);
        w.put(code, readerSize);
        if (!readerFresh && readerNext < 4096) ++readerNext;
        readerFresh = false;
        if (readerNext >= (1 << readerSize) && readerSize < 12) ++readerSize;
        ++sinceClear;
    };
    auto find = [&](int prefix, int c) -> int {
        int32_t key = (prefix << 8) | c;
        for (uint32_t h = (uint32_t(key) * 2654435761u) >> 19;; h = (h + 1) & 8191) {
            if (keys[h] == -1) return -1;
            if (keys[h] == key) return codes[h];
        }
    };
    auto add = [&](int prefix, int c, int code) {
        if (o.strings) {
            o.strings->resize(4096);
            Bytes str = prefix < clear ? Bytes{uint8_t(prefix)} : (*o.strings)[prefix];
            str.push_back(uint8_t(c));
            (*o.strings)[code] = str;
        }
        int32_t key = (prefix << 8) | c;
        uint32_t h = (uint32_t(key) * 2654435761u) >> 19;
        while (keys[h] != -1) h = (h + 1) & 8191;
        keys[h] = key;
        codes[h] = code;
    };

    reset();
    if (o.clearAtStart) w.put(clear, readerSize);
    if (indexes.empty()) {
        w.put(end, readerSize);
        w.flush();
        return w.bytes;
    }
    int prefix = indexes[0];
    for (size_t i = 1; i < indexes.size(); ++i) {
        int c = indexes[i];
        int k = find(prefix, c);
        if (k >= 0) {
            prefix = k;
            continue;
        }
        emit(prefix);
        if (next < o.defineLimit) {
            add(prefix, c, next++);
        } else if (o.clearWhenFull) {
            w.put(clear, readerSize);
            reset();
        }
        if (o.clearEvery && sinceClear >= o.clearEvery) {
            w.put(clear, readerSize);
            reset();
        }
        prefix = c;
    }
    emit(prefix);
    w.put(end, readerSize);
    w.flush();
    return w.bytes;
}

// ---------------------------------------------------------------- GIF container

void put16(Bytes& b, int v) {
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
}

int table_bits(int entries) {
    int bits = 1;
    while ((1 << bits) < entries) ++bits;
    return bits;
}

void put_screen(Bytes& b, const char* version, int width, int height, const Colours* global) {
    b.insert(b.end(), version, version + 6);
    put16(b, width);
    put16(b, height);
    b.push_back(global ? uint8_t(0xF0 | (table_bits(global->entries) - 1)) : 0x70);
    b.push_back(0);
    b.push_back(0);
    if (global) b.insert(b.end(), global->rgb.begin(), global->rgb.end());
}

void put_sub_blocks(Bytes& b, const Bytes& data, std::mt19937* rng) {
    size_t pos = 0;
    while (pos < data.size()) {
        size_t n = rng ? 1 + (*rng)() % 255 : 255;
        n = std::min(n, data.size() - pos);
        b.push_back(uint8_t(n));
        b.insert(b.end(), data.begin() + pos, data.begin() + pos + n);
        pos += n;
    }
    b.push_back(0);
}

void put_comment(Bytes& b, const std::string& text) {
    b.push_back(0x21);
    b.push_back(0xFE);
    put_sub_blocks(b, Bytes(text.begin(), text.end()), nullptr);
}

void put_graphic_control(Bytes& b, int transparent) {
    const uint8_t gce[] = {0x21, 0xF9, 4, 0x01, 10, 0, uint8_t(transparent), 0};
    b.insert(b.end(), gce, gce + sizeof gce);
}

void put_image(Bytes& b, const Picture& p, bool interlaced, const Colours* local,
               const LzwOptions& o, std::mt19937* rng, int left = 0, int top = 0) {
    b.push_back(0x2C);
    put16(b, left);
    put16(b, top);
    put16(b, p.width);
    put16(b, p.height);
    uint8_t flags = interlaced ? 0x40 : 0;
    if (local) flags |= 0x80 | (table_bits(local->entries) - 1);
    b.push_back(flags);
    if (local) b.insert(b.end(), local->rgb.begin(), local->rgb.end());
    b.push_back(uint8_t(o.codeSize));
    put_sub_blocks(b, lzw_encode(stream_order(p, interlaced), o), rng);
}

Bytes simple_gif(const Picture& p, const Colours& c, bool interlaced = false,
                 const LzwOptions& o = LzwOptions()) {
    Bytes b;
    put_screen(b, "GIF89a", p.width, p.height, &c);
    put_image(b, p, interlaced, nullptr, o, nullptr);
    b.push_back(0x3B);
    return b;
}

// The store's extent record: a comment right after the global table, header GIF89a.
const char kExtent[] = "200000,1558232.500000,-196711.625000,1529432.500000,-218311.625000,"
                       "1587032.500000,-175111.625000,-3.250000";

Bytes with_extent_comment(Bytes gif) {
    int entries = (gif[10] & 0x80) ? 2 << (gif[10] & 7) : 0;
    Bytes comment = {0x21, 0xFE, uint8_t(std::strlen(kExtent))};
    comment.insert(comment.end(), kExtent, kExtent + std::strlen(kExtent));
    comment.push_back(0);
    gif.insert(gif.begin() + 13 + 3 * entries, comment.begin(), comment.end());
    std::memcpy(gif.data(), "GIF89a", 6);
    return gif;
}

// ---------------------------------------------------------------- decoding

struct Result {
    bool delivered = false;
    int width = -1;
    int height = -1;
    Bytes rgb;
    long consumed = -1;  // stream position afterwards
};

Result decode(const Bytes& bytes) {
    Result r;
    FILE* f = bytes.empty() ? std::fopen("/dev/null", "rb")
                            : fmemopen(const_cast<uint8_t*>(bytes.data()), bytes.size(), "rb");
    if (!f) {
        ADD_FAILURE() << "cannot open memory stream";
        return r;
    }
    unsigned char* pixels = nullptr;
    EXPECT_EQ(gif_decode(f, &pixels, &r.width, &r.height), 0);
    r.consumed = std::ftell(f);
    std::fclose(f);
    if (pixels) {
        r.delivered = true;
        r.rgb.assign(pixels, pixels + size_t(r.width) * r.height * 3);
        std::free(pixels);
    }
    // Every file also through the path the view's cache takes: the indices
    // give the RGB path's colours pixel for pixel (or nothing, for it to decode RGB).
    f = bytes.empty() ? nullptr : fmemopen(const_cast<uint8_t*>(bytes.data()), bytes.size(), "rb");
    unsigned char* indices = nullptr;
    uint32_t colours[256];
    int w = -1, h = -1;
    if (f && gif_decode_indices(f, &indices, colours, &w, &h)) {
        EXPECT_TRUE(r.delivered && w == r.width && h == r.height);
        size_t i = 0;
        for (const unsigned char* want = r.rgb.data(); r.delivered && i < size_t(w) * h; i++, want += 3)
            if (colours[indices[i]] != (0xFF000000u | want[0] << 16 | want[1] << 8 | want[2])) break;
        EXPECT_EQ(i, size_t(w) * h) << "the first pixel whose colour differs";
    }
    std::free(indices);
    if (f) std::fclose(f);
    return r;
}

struct MemSource {
    const Bytes* bytes;
    size_t pos;
};

int giflib_read(GifFileType* g, GifByteType* dest, int n) {
    auto* src = static_cast<MemSource*>(g->UserData);
    size_t left = src->bytes->size() - src->pos;
    size_t take = std::min(left, size_t(n));
    std::memcpy(dest, src->bytes->data() + src->pos, take);
    src->pos += take;
    return int(take);
}

// giflib's view of the first image as RGB (DGifSlurp de-interlaces); black
// beyond the colour table. False when giflib rejects the file.
bool giflib_decode(const Bytes& bytes, int* width, int* height, Bytes* rgb) {
    MemSource src{&bytes, 0};
    int err = 0;
    GifFileType* g = DGifOpen(&src, giflib_read, &err);
    if (!g) return false;
    bool ok = DGifSlurp(g) == GIF_OK && g->ImageCount > 0;
    if (ok) {
        const SavedImage& im = g->SavedImages[0];
        const ColorMapObject* map = im.ImageDesc.ColorMap ? im.ImageDesc.ColorMap : g->SColorMap;
        *width = im.ImageDesc.Width;
        *height = im.ImageDesc.Height;
        rgb->assign(size_t(*width) * *height * 3, 0);
        for (size_t i = 0; i < size_t(*width) * *height; ++i) {
            int k = im.RasterBits[i];
            if (map && k < map->ColorCount) {
                (*rgb)[3 * i] = map->Colors[k].Red;
                (*rgb)[3 * i + 1] = map->Colors[k].Green;
                (*rgb)[3 * i + 2] = map->Colors[k].Blue;
            }
        }
    }
    DGifCloseFile(g, &err);
    return ok;
}

int giflib_write(GifFileType* g, const GifByteType* data, int n) {
    auto* out = static_cast<Bytes*>(g->UserData);
    out->insert(out->end(), data, data + n);
    return n;
}

// giflib's encoder: the usual LZW with a clear at the start and whenever the
// table fills.
Bytes giflib_encode(const Picture& p, const Colours& c, bool interlaced, bool comment,
                    int transparent) {
    Bytes out;
    int err = 0;
    GifFileType* g = EGifOpen(&out, giflib_write, &err);
    EXPECT_NE(g, nullptr);
    if (!g) return out;
    std::vector<GifColorType> colours(c.entries);
    for (int i = 0; i < c.entries; ++i)
        colours[i] = {c.rgb[3 * i], c.rgb[3 * i + 1], c.rgb[3 * i + 2]};
    ColorMapObject* map = GifMakeMapObject(c.entries, colours.data());
    EGifSetGifVersion(g, true);
    bool ok = EGifPutScreenDesc(g, p.width, p.height, 8, 0, map) == GIF_OK;
    if (ok && transparent >= 0) {
        uint8_t gce[4] = {0x01, 10, 0, uint8_t(transparent)};
        ok = EGifPutExtension(g, GRAPHICS_EXT_FUNC_CODE, 4, gce) == GIF_OK;
    }
    if (ok && comment) ok = EGifPutComment(g, "made by the test") == GIF_OK;
    ok = ok && EGifPutImageDesc(g, 0, 0, p.width, p.height, interlaced, nullptr) == GIF_OK;
    std::vector<uint8_t> rows = stream_order(p, interlaced);
    for (int r = 0; ok && r < p.height; ++r)
        ok = EGifPutLine(g, rows.data() + size_t(r) * p.width, p.width) == GIF_OK;
    EGifCloseFile(g, &err);
    GifFreeMapObject(map);
    EXPECT_TRUE(ok) << "giflib could not encode";
    return out;
}

int random_dimension(std::mt19937& rng) {
    return 1 + int(rng() % ((rng() % 5 == 0) ? 800 : 120));
}

// ---------------------------------------------------------------- tests

TEST(GifDecode, PictureDecodesToTableColoursTopLeftFirst) {
    std::mt19937 rng(1);
    Colours c = random_colours(rng, 256);
    Picture p = random_picture(rng, 37, 23, 256);
    Result r = decode(simple_gif(p, c));
    ASSERT_TRUE(r.delivered);
    EXPECT_EQ(r.width, 37);
    EXPECT_EQ(r.height, 23);
    ASSERT_EQ(r.rgb.size(), size_t(37 * 23 * 3));
    EXPECT_EQ(0, std::memcmp(r.rgb.data(), &c.rgb[3 * p.index[0]], 3));
    EXPECT_EQ(r.rgb, expected_rgb(p, c));
}

TEST(GifDecode, InterlacedEqualsPlainForAllSmallHeights) {
    std::mt19937 rng(2);
    Colours c = random_colours(rng, 16);
    for (int height = 1; height <= 20; ++height) {
        Picture p = random_picture(rng, 9, height, 16);
        Result plain = decode(simple_gif(p, c, false));
        Result laced = decode(simple_gif(p, c, true));
        ASSERT_TRUE(plain.delivered && laced.delivered) << height;
        EXPECT_EQ(laced.rgb, plain.rgb) << height;
        EXPECT_EQ(laced.rgb, expected_rgb(p, c)) << height;
    }
}

TEST(GifDecode, RejectsWrongSignatures) {
    std::mt19937 rng(3);
    Colours c = random_colours(rng, 4);
    Picture p = random_picture(rng, 5, 5, 4);
    Bytes good = simple_gif(p, c);
    EXPECT_TRUE(decode(good).delivered);
    for (const char* sig : {"GIF88a", "JIF89a", "GIF89b", "gif89a"}) {
        Bytes bad = good;
        std::memcpy(bad.data(), sig, 6);
        Result r = decode(bad);
        EXPECT_FALSE(r.delivered) << sig;
        EXPECT_EQ(r.width, 0);
        EXPECT_EQ(r.height, 0);
    }
    Bytes old = good;
    std::memcpy(old.data(), "GIF87a", 6);
    EXPECT_TRUE(decode(old).delivered);
    EXPECT_FALSE(decode(Bytes()).delivered);
    EXPECT_FALSE(decode(Bytes(good.begin(), good.begin() + 12)).delivered);
}

TEST(GifDecode, OnlyTheFirstImageIsDelivered) {
    std::mt19937 rng(4);
    Colours c = random_colours(rng, 8);
    Picture first = random_picture(rng, 12, 7, 8);
    Picture second = random_picture(rng, 20, 30, 8);
    Colours other = random_colours(rng, 8);
    LzwOptions o;
    o.codeSize = 3;
    Bytes b;
    put_screen(b, "GIF89a", 20, 30, &c);
    put_image(b, first, false, nullptr, o, nullptr);
    put_image(b, second, true, &other, o, nullptr);
    b.push_back(0x3B);
    Result r = decode(b);
    ASSERT_TRUE(r.delivered);
    EXPECT_EQ(r.width, 12);
    EXPECT_EQ(r.height, 7);
    EXPECT_EQ(r.rgb, expected_rgb(first, c));
}

TEST(GifDecode, ExtensionsDoNotChangePixels) {
    std::mt19937 rng(5);
    Colours c = random_colours(rng, 32);
    Picture p = random_picture(rng, 40, 30, 32);
    Bytes plain = simple_gif(p, c);
    Bytes decorated;
    put_screen(decorated, "GIF89a", 40, 30, &c);
    put_graphic_control(decorated, p.index[0]);  // the top-left colour "transparent"
    put_comment(decorated, std::string(600, 'x'));
    const uint8_t app[] = {0x21, 0xFF, 11, 'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0',
                           3, 1, 0, 0, 0};
    decorated.insert(decorated.end(), app, app + sizeof app);
    const uint8_t text[] = {0x21, 0x01, 12, 0, 0, 0, 0, 8, 0, 8, 0, 8, 8, 1, 0, 2, 'h', 'i', 0};
    decorated.insert(decorated.end(), text, text + sizeof text);
    decorated.push_back(0x00);  // stray bytes between blocks are passed over
    decorated.push_back(0x99);
    put_image(decorated, p, false, nullptr, LzwOptions(), nullptr);
    decorated.push_back(0x3B);
    Result a = decode(plain), b = decode(decorated);
    ASSERT_TRUE(a.delivered && b.delivered);
    EXPECT_EQ(b.rgb, a.rgb);
    EXPECT_EQ(0, std::memcmp(b.rgb.data(), &c.rgb[3 * p.index[0]], 3));
    Result sheet = decode(with_extent_comment(plain));
    ASSERT_TRUE(sheet.delivered);
    EXPECT_EQ(sheet.rgb, a.rgb);
}

TEST(GifDecode, StopsAtTheTrailerWithoutReadingFurther) {
    std::mt19937 rng(6);
    Colours c = random_colours(rng, 4);
    Picture p = random_picture(rng, 10, 10, 4);
    Bytes b = simple_gif(p, c);
    const long trailerEnd = long(b.size());
    std::string junk = "HTTP/1.0 200 OK\r\n,;!\x2c\x21 arbitrary text after the trailer";
    b.insert(b.end(), junk.begin(), junk.end());
    Result r = decode(b);
    ASSERT_TRUE(r.delivered);
    EXPECT_EQ(r.rgb, expected_rgb(p, c));
    EXPECT_EQ(r.consumed, trailerEnd);
}

TEST(GifDecode, EndingInsideACommentGivesNoImage) {
    std::mt19937 rng(7);
    Colours c = random_colours(rng, 4);
    Bytes b;
    put_screen(b, "GIF89a", 10, 10, &c);
    b.insert(b.end(), {0x21, 0xFE, 200, 'a', 'b', 'c'});
    Result r = decode(b);
    EXPECT_FALSE(r.delivered);
    EXPECT_EQ(r.consumed, long(b.size()));
}

TEST(GifDecode, LocalTableAndMissingTables) {
    std::mt19937 rng(8);
    Colours global = random_colours(rng, 4), local = random_colours(rng, 4);
    Picture p = random_picture(rng, 8, 8, 4);
    LzwOptions o;
    o.codeSize = 2;
    Bytes b;
    put_screen(b, "GIF89a", 8, 8, &global);
    put_image(b, p, false, &local, o, nullptr);
    b.push_back(0x3B);
    Result r = decode(b);
    ASSERT_TRUE(r.delivered);
    EXPECT_EQ(r.rgb, expected_rgb(p, local));

    // No colour table anywhere: nothing to give the pixels their colours.
    Bytes none;
    put_screen(none, "GIF89a", 8, 8, nullptr);
    put_image(none, p, false, nullptr, o, nullptr);
    none.push_back(0x3B);
    EXPECT_FALSE(decode(none).delivered);

    // A local table alone is enough.
    Bytes localOnly;
    put_screen(localOnly, "GIF89a", 8, 8, nullptr);
    put_image(localOnly, p, false, &local, o, nullptr);
    localOnly.push_back(0x3B);
    Result l = decode(localOnly);
    ASSERT_TRUE(l.delivered);
    EXPECT_EQ(l.rgb, expected_rgb(p, local));
}

TEST(GifDecode, IndexesBeyondTheTableAreBlackAndDoNotLeakBetweenFiles) {
    std::mt19937 rng(9);
    // A file with a full 256-entry table first, so stale entries would show.
    Colours full = random_colours(rng, 256);
    Picture big = random_picture(rng, 16, 16, 256);
    ASSERT_TRUE(decode(simple_gif(big, full)).delivered);

    Colours small = random_colours(rng, 4);
    Picture p = random_picture(rng, 30, 20, 256);  // indexes up to 255 with 4 colours
    Result r = decode(simple_gif(p, small));
    ASSERT_TRUE(r.delivered);
    EXPECT_EQ(r.rgb, expected_rgb(p, small));
}

TEST(GifDecode, WideCodeSizesGiveBlackForIndexesAbove255) {
    std::mt19937 rng(10);
    Colours c = random_colours(rng, 256);
    Picture p = random_picture(rng, 25, 25, 256);
    for (int codeSize = 9; codeSize <= 12; ++codeSize) {
        // Literal codes 256.. are legal for the LZW but have no colour.
        std::vector<uint8_t> idx = p.index;
        Bytes b;
        put_screen(b, "GIF89a", 25, 25, &c);
        b.push_back(0x2C);
        put16(b, 0);
        put16(b, 0);
        put16(b, 25);
        put16(b, 25);
        b.push_back(0);
        b.push_back(uint8_t(codeSize));
        BitWriter w;
        const int clear = 1 << codeSize;
        const int size = codeSize + 1;
        w.put(clear, size);
        // Literals only, each followed by a clear, so the width never changes:
        // pixel i gets index i (some above 255), then the end code.
        Bytes expect(25 * 25 * 3, 0);
        for (int i = 0; i < 25 * 25; ++i) {
            int k = (i * 7) % clear;
            w.put(k, size);
            w.put(clear, size);
            if (k < 256) std::memcpy(&expect[3 * i], &c.rgb[3 * k], 3);
        }
        w.put(clear + 1, size);
        w.flush();
        put_sub_blocks(b, w.bytes, nullptr);
        b.push_back(0x3B);
        Result r = decode(b);
        ASSERT_TRUE(r.delivered) << codeSize;
        EXPECT_EQ(r.rgb, expect) << codeSize;
    }
    // Above 12 bits is not a GIF code stream.
    Bytes b = simple_gif(p, c);
    b[13 + 768 + 10] = 13;
    EXPECT_FALSE(decode(b).delivered);
}

TEST(GifDecode, FullTableWithoutClearKeepsTwelveBitCodes) {
    std::mt19937 rng(11);
    Colours c = random_colours(rng, 8);
    for (int limit : {4095, 4096}) {
        // Noise of values 0..6 fills the table; then the strings of the last
        // codes defined, each followed by a 7 (never seen before, so every
        // string is coded by exactly its own code), so the full table is used.
        LzwOptions o;
        o.codeSize = 3;
        o.clearAtStart = false;
        o.clearWhenFull = false;
        o.defineLimit = limit;  // 4096: also uses code 4095, which giflib never defines
        Picture p = random_picture(rng, 300, 200, 7, 0);
        std::vector<Bytes> strings;
        o.strings = &strings;
        lzw_encode(std::vector<uint8_t>(p.index.begin(), p.index.begin() + 30000), o);
        o.strings = nullptr;
        size_t at = 30000;
        for (int code = limit - 40; code < limit; ++code) {
            p.index[at++] = 7;
            for (uint8_t v : strings[code]) p.index[at++] = v;
        }
        std::fill(p.index.begin() + at, p.index.end(), 7);

        int highest = 0;
        o.highestCode = &highest;
        Bytes gif = simple_gif(p, c, false, o);
        ASSERT_EQ(highest, limit - 1);
        Result r = decode(gif);
        ASSERT_TRUE(r.delivered) << limit;
        EXPECT_EQ(r.rgb, expected_rgb(p, c)) << limit;
        if (limit == 4095) {
            int w = 0, h = 0;
            Bytes want;
            ASSERT_TRUE(giflib_decode(gif, &w, &h, &want));
            EXPECT_EQ(r.rgb, want);
        }
    }
}

TEST(GifDecode, ImageSizeDiffersFromScreen) {
    std::mt19937 rng(12);
    Colours c = random_colours(rng, 16);
    LzwOptions o;
    o.codeSize = 4;
    for (auto [sw, sh, w, h] : {std::array<int, 4>{100, 80, 30, 20}, {10, 10, 64, 48},
                                {0, 0, 5, 5}, {65535, 65535, 7, 3}}) {
        Picture p = random_picture(rng, w, h, 16);
        Bytes b;
        put_screen(b, "GIF89a", sw, sh, &c);
        put_image(b, p, false, nullptr, o, nullptr, 3, 4);
        b.push_back(0x3B);
        Result r = decode(b);
        ASSERT_TRUE(r.delivered);
        // The outputs describe the buffer, not the screen.
        EXPECT_EQ(r.width, w);
        EXPECT_EQ(r.height, h);
        EXPECT_EQ(r.rgb, expected_rgb(p, c));
    }
}

TEST(GifDecode, DataBeyondTheLastRowIsPassedOver) {
    std::mt19937 rng(16);
    Colours c = random_colours(rng, 16);
    for (int variant = 0; variant < 4; ++variant) {
        // Codes for 20 x 20 pixels under a 10 x 10 descriptor, then more
        // sub-blocks full of trailer and introducer bytes before the terminator.
        // Noise, or one flat colour whose long strings run far past the end.
        const bool interlaced = variant & 1;
        Picture big = random_picture(rng, 20, 20, 16, 0);
        if (variant & 2) std::fill(big.index.begin(), big.index.end(), 5);
        Picture small;
        small.width = 10;
        small.height = 10;
        small.index.assign(big.index.begin(), big.index.begin() + 100);
        std::vector<uint8_t> display(100);
        std::vector<int> rows = stream_rows(10, interlaced);
        for (int r = 0; r < 10; ++r)
            std::copy(small.index.begin() + r * 10, small.index.begin() + r * 10 + 10,
                      display.begin() + rows[r] * 10);
        small.index = display;
        LzwOptions o;
        o.codeSize = 4;
        Bytes b;
        put_screen(b, "GIF89a", 10, 10, &c);
        b.insert(b.end(), {0x2C, 0, 0, 0, 0, 10, 0, 10, 0, uint8_t(interlaced ? 0x40 : 0), 4});
        Bytes data = lzw_encode(big.index, o);
        put_sub_blocks(b, data, &rng);
        b.pop_back();  // the terminator comes after the junk
        for (int i = 0; i < 3; ++i) {
            b.push_back(200);
            b.insert(b.end(), 200, (i == 1) ? 0x2C : 0x3B);
        }
        b.push_back(0);
        b.push_back(0x3B);
        Result r = decode(b);
        ASSERT_TRUE(r.delivered);
        EXPECT_EQ(r.rgb, expected_rgb(small, c));
        EXPECT_EQ(r.consumed, long(b.size()));
    }
}

TEST(GifDecode, LongStringsAcrossTheLastPixelAreCut) {
    // A flat run codes as strings of 1, 2, 3, ... pixels, each new one the
    // string just being defined; after another colour the run's longest string
    // comes back as an existing entry. Either kind starts at the last pixel.
    std::mt19937 rng(17);
    Colours c = random_colours(rng, 4);
    std::vector<uint8_t> data(500, 3);
    data.push_back(1);
    data.insert(data.end(), 500, 3);
    for (int width : {379, 502}) {  // 27 strings fill 378 pixels; 500 + 1 + 1
        LzwOptions o;
        o.codeSize = 2;
        Bytes b;
        put_screen(b, "GIF89a", width, 1, &c);
        b.insert(b.end(), {0x2C, 0, 0, 0, 0, uint8_t(width & 255), uint8_t(width >> 8), 1, 0, 0, 2});
        put_sub_blocks(b, lzw_encode(data, o), nullptr);
        b.push_back(0x3B);
        Result r = decode(b);
        ASSERT_TRUE(r.delivered);
        Picture p;
        p.width = width;
        p.height = 1;
        p.index.assign(data.begin(), data.begin() + width);
        EXPECT_EQ(r.rgb, expected_rgb(p, c)) << width;
    }
}

TEST(GifDecode, ZeroAndHugeSizesFailCleanly) {
    std::mt19937 rng(13);
    Colours c = random_colours(rng, 4);
    Picture tiny = random_picture(rng, 2, 2, 4);
    LzwOptions o;
    o.codeSize = 2;
    auto with_size = [&](int w, int h) {
        Bytes b;
        put_screen(b, "GIF89a", w, h, &c);
        put_image(b, tiny, false, nullptr, o, nullptr);
        b[13 + 12 + 5] = uint8_t(w);  // image descriptor width and height
        b[13 + 12 + 6] = uint8_t(w >> 8);
        b[13 + 12 + 7] = uint8_t(h);
        b[13 + 12 + 8] = uint8_t(h >> 8);
        b.push_back(0x3B);
        return b;
    };
    EXPECT_TRUE(decode(with_size(2, 2)).delivered);
    EXPECT_FALSE(decode(with_size(0, 5)).delivered);
    EXPECT_FALSE(decode(with_size(5, 0)).delivered);
    EXPECT_FALSE(decode(with_size(65535, 65535)).delivered);
    EXPECT_FALSE(decode(with_size(4097, 4096)).delivered);
    // At the limit: delivered, the four decoded pixels in place and the rest black.
    Result r = decode(with_size(4096, 4096));
    ASSERT_TRUE(r.delivered);
    EXPECT_EQ(r.width, 4096);
    EXPECT_EQ(0, std::memcmp(r.rgb.data(), &c.rgb[3 * tiny.index[0]], 3));
    EXPECT_EQ(0, std::memcmp(&r.rgb[9], &c.rgb[3 * tiny.index[3]], 3));
    for (size_t i = 12; i < r.rgb.size(); i += 4099) ASSERT_EQ(r.rgb[i], 0) << i;
}

TEST(GifDecode, TruncatedAtEveryOffset) {
    std::mt19937 rng(14);
    Colours c = random_colours(rng, 16);
    for (bool interlaced : {false, true}) {
        Picture p = random_picture(rng, 23, 17, 16);
        LzwOptions o;
        o.codeSize = 4;
        Bytes b;
        put_screen(b, "GIF89a", 23, 17, &c);
        put_comment(b, "sheet");
        put_image(b, p, interlaced, nullptr, o, &rng);
        b.push_back(0x3B);
        const size_t codeSizeAt = 13 + 48 + 9 + 10;
        ASSERT_EQ(b[codeSizeAt], 4);
        const Bytes full = expected_rgb(p, c);
        for (size_t n = 0; n <= b.size(); ++n) {
            Result r = decode(Bytes(b.begin(), b.begin() + n));
            // Once the code size is read the image is delivered, filled as far
            // as the data went and black beyond.
            ASSERT_EQ(r.delivered, n > codeSizeAt) << n;
            if (!r.delivered) continue;
            ASSERT_EQ(r.rgb.size(), full.size());
            for (size_t i = 0; i < full.size(); i += 3) {
                bool same = std::memcmp(&r.rgb[i], &full[i], 3) == 0;
                bool black = !r.rgb[i] && !r.rgb[i + 1] && !r.rgb[i + 2];
                ASSERT_TRUE(same || black) << n << " pixel " << i / 3;
            }
            if (n + 1 >= b.size()) {
                EXPECT_EQ(r.rgb, full) << n;
            }
        }
    }
}

// Code streams written by hand: bad codes end the image, never the process.
TEST(GifDecode, HostileCodeStreams) {
    std::mt19937 rng(15);
    Colours c = random_colours(rng, 4);
    auto image = [&](int codeSize, const std::vector<std::pair<int, int>>& codes) {
        Bytes b;
        put_screen(b, "GIF89a", 8, 8, &c);
        b.push_back(0x2C);
        put16(b, 0);
        put16(b, 0);
        put16(b, 8);
        put16(b, 8);
        b.push_back(0);
        b.push_back(uint8_t(codeSize));
        BitWriter w;
        for (auto [code, size] : codes) w.put(code, size);
        w.flush();
        put_sub_blocks(b, w.bytes, nullptr);
        b.push_back(0x3B);
        return decode(b);
    };
    auto colour = [&](int k) { return Bytes(c.rgb.begin() + 3 * k, c.rgb.begin() + 3 * k + 3); };
    auto pixel = [](const Result& r, int i) { return Bytes(r.rgb.begin() + 3 * i, r.rgb.begin() + 3 * i + 3); };
    const Bytes black = {0, 0, 0};

    // A code that refers to itself before it exists (first code after a clear).
    Result r = image(2, {{4, 3}, {6, 3}, {1, 3}});
    ASSERT_TRUE(r.delivered);
    EXPECT_EQ(pixel(r, 0), black);
    // Literal 1, then code 7 (beyond the next free slot 6): the image ends after one pixel.
    r = image(2, {{4, 3}, {1, 3}, {7, 3}, {2, 3}});
    ASSERT_TRUE(r.delivered);
    EXPECT_EQ(pixel(r, 0), colour(1));
    EXPECT_EQ(pixel(r, 1), black);
    // The proper repeat (code equal to the next free slot) expands to 1 1 1.
    r = image(2, {{4, 3}, {1, 3}, {6, 3}, {5, 3}});
    ASSERT_TRUE(r.delivered);
    EXPECT_EQ(pixel(r, 0), colour(1));
    EXPECT_EQ(pixel(r, 2), colour(1));
    EXPECT_EQ(pixel(r, 3), black);
    // Clears back to back, then end code straight after a clear.
    r = image(2, {{4, 3}, {4, 3}, {4, 3}, {2, 3}, {4, 3}, {5, 3}});
    ASSERT_TRUE(r.delivered);
    EXPECT_EQ(pixel(r, 0), colour(2));
    EXPECT_EQ(pixel(r, 1), black);
    // Code size 12: 13-bit codes, 4096 clear, 4097 end, and no room for
    // entries, so 4098 and up end the image.
    r = image(12, {{4096, 13}, {3, 13}, {4098, 13}, {3, 13}});
    ASSERT_TRUE(r.delivered);
    EXPECT_EQ(pixel(r, 0), colour(3));
    EXPECT_EQ(pixel(r, 1), black);
    r = image(12, {{2, 13}, {8191, 13}});
    ASSERT_TRUE(r.delivered);
    EXPECT_EQ(pixel(r, 0), colour(2));
    EXPECT_EQ(pixel(r, 1), black);
    // Code sizes 0 and 1 (below the format's minimum) run without harm.
    for (int s : {0, 1}) {
        std::vector<std::pair<int, int>> codes;
        for (int i = 0; i < 200; ++i) codes.push_back({int(rng() % 4), 4});
        r = image(s, codes);
        EXPECT_TRUE(r.delivered);
    }
    // Only clear codes, 64 KB of them: ends at the end of the data.
    {
        std::vector<std::pair<int, int>> codes(200000, {4, 3});
        r = image(2, codes);
        ASSERT_TRUE(r.delivered);
        EXPECT_EQ(pixel(r, 0), black);
    }
}

// Random pictures through both encoders, decoded by giflib and by gif_decode.
TEST(GifDecode, MatchesGiflibOnGeneratedFiles) {
    std::mt19937 rng(20240601);
    int compared = 0, own = 0;
    for (int round = 0; round < 300; ++round) {
        const int width = random_dimension(rng), height = random_dimension(rng);
        const int entries = 2 << (rng() % 8);
        const bool interlaced = rng() % 2;
        Colours c = random_colours(rng, entries);
        Bytes gif;
        Picture p;
        if (round % 2 == 0) {
            p = random_picture(rng, width, height, entries);
            gif = giflib_encode(p, c, interlaced, rng() % 3 == 0, rng() % 3 == 0 ? 1 : -1);
        } else {
            LzwOptions o;
            o.codeSize = std::max(2, table_bits(entries)) + int(rng() % 3);
            if (o.codeSize > 8) o.codeSize = 8;
            o.clearAtStart = rng() % 2;
            o.clearWhenFull = rng() % 2;
            o.clearEvery = rng() % 4 == 0 ? 1 + int(rng() % 3000) : 0;
            // Some indexes beyond the table when the code size allows them.
            int values = rng() % 4 == 0 ? (1 << o.codeSize) : entries;
            p = random_picture(rng, width, height, values);
            gif.clear();
            put_screen(gif, rng() % 2 ? "GIF89a" : "GIF87a", width, height, &c);
            if (rng() % 3 == 0) put_graphic_control(gif, int(rng() % entries));
            put_image(gif, p, interlaced, nullptr, o, &rng);
            gif.push_back(0x3B);
            ++own;
        }
        if (rng() % 3 == 0) gif = with_extent_comment(gif);

        int gw = 0, gh = 0;
        Bytes want;
        ASSERT_TRUE(giflib_decode(gif, &gw, &gh, &want)) << "round " << round;
        Result r = decode(gif);
        ASSERT_TRUE(r.delivered) << "round " << round;
        ASSERT_EQ(r.width, gw) << "round " << round;
        ASSERT_EQ(r.height, gh) << "round " << round;
        ASSERT_EQ(r.rgb, want) << "round " << round << " " << width << "x" << height
                               << (interlaced ? " interlaced" : "");
        ASSERT_EQ(r.rgb, expected_rgb(p, c)) << "round " << round;
        ++compared;
    }
    EXPECT_EQ(compared, 300);
    EXPECT_EQ(own, 150);
}

}  // namespace
