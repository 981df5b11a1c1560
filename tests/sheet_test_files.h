// Test helpers for the sheet store: temporary maps trees and real GIF
// files written with giflib.
#pragma once
#include <gif_lib.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

using Bytes = std::vector<unsigned char>;

struct TempTree {
    std::filesystem::path root;
    TempTree() {
        char pattern[] = "/tmp/kiv_sheets_XXXXXX";
        root = mkdtemp(pattern);
    }
    ~TempTree() {
        std::error_code ec;
        std::filesystem::remove_all(root, ec);
    }
    std::string maps() const { return (root / "Maps").string(); }
    std::string file(const char* name) const { return (root / name).string(); }
};

// Unlinks before writing: truncating a file that is still being written back
// makes ext4 wait for the disk, which slows rewrite loops a hundredfold.
inline void writeBytes(const std::string& path, const Bytes& bytes) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    remove(path.c_str());
    FILE* f = fopen(path.c_str(), "wb");
    if (!f) return;
    if (!bytes.empty()) fwrite(bytes.data(), 1, bytes.size(), f);
    fclose(f);
}

inline Bytes readBytes(const std::string& path) {
    Bytes out;
    FILE* f = fopen(path.c_str(), "rb");
    if (!f) return out;
    unsigned char buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) out.insert(out.end(), buf, buf + n);
    fclose(f);
    return out;
}

// A palette of 256 distinct colours.
inline std::vector<GifColorType> testPalette() {
    std::vector<GifColorType> p(256);
    for (int i = 0; i < 256; i++)
        p[i] = GifColorType{static_cast<GifByteType>(i), static_cast<GifByteType>(255 - i),
                            static_cast<GifByteType>((i * 37) & 0xFF)};
    return p;
}

// Something shaped like a topographic sheet: flat areas, contour bands,
// a grid of roads and speckled lettering, so LZW works as on real sheets.
inline Bytes mapLikeIndices(int w, int h) {
    Bytes idx(static_cast<size_t>(w) * h);
    uint32_t seed = 12345;
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            int v = ((x / 40 + y / 30) & 1) ? 10 : 20;
            int r = (x - w / 2) * (x - w / 2) + (y - h / 3) * (y - h / 3);
            if (r % 900 < 30) v = 60;
            if (x % 97 == 0 || y % 83 == 0) v = 200;
            seed = seed * 1103515245u + 12345u;
            if ((seed >> 16) % 61 == 0) v = 255;
            idx[static_cast<size_t>(y) * w + x] = static_cast<unsigned char>(v);
        }
    return idx;
}

inline int gifToBytes(GifFileType* gif, const GifByteType* data, int len) {
    auto* out = static_cast<Bytes*>(gif->UserData);
    out->insert(out->end(), data, data + len);
    return len;
}

// GIF of one image with the given indices, global table by default or a
// local table only.
inline Bytes makeGif(int w, int h, const Bytes& indices, bool globalTable = true) {
    Bytes out;
    int err = 0;
    GifFileType* gif = EGifOpen(&out, gifToBytes, &err);
    if (!gif) return {};
    std::vector<GifColorType> pal = testPalette();
    ColorMapObject* map = GifMakeMapObject(256, pal.data());
    EGifPutScreenDesc(gif, w, h, 8, 0, globalTable ? map : nullptr);
    EGifPutImageDesc(gif, 0, 0, w, h, false, globalTable ? nullptr : map);
    Bytes row(w);
    for (int y = 0; y < h; y++) {
        for (int x = 0; x < w; x++) row[x] = indices[static_cast<size_t>(y) * w + x];
        EGifPutLine(gif, row.data(), w);
    }
    EGifCloseFile(gif, &err);
    GifFreeMapObject(map);
    return out;
}

// Expected RGB pixels of those indices under testPalette().
inline Bytes expectedRgb(const Bytes& indices) {
    std::vector<GifColorType> pal = testPalette();
    Bytes rgb;
    rgb.reserve(indices.size() * 3);
    for (unsigned char i : indices) {
        rgb.push_back(pal[i].Red);
        rgb.push_back(pal[i].Green);
        rgb.push_back(pal[i].Blue);
    }
    return rgb;
}
