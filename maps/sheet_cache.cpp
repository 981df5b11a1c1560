#include "maps/sheet_cache.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "maps/gif_decoder.h"
#include "maps/sheet_image.h"
#include "maps/sheet_store.h"

int sheet_cache_decode(const char* path, int format, DecodedSheet* out, std::string* why) {
    std::vector<char> text(SHEET_JPEG_RECORD_MAX + 1);
    int len = sheet_extent_read_record(path, format, text.data(), text.size());
    SheetExtent extent;
    if (len <= 0 || !sheet_extent_parse(text.data(), static_cast<size_t>(len), &extent)) {
        *why = std::string("The sheet ") + path + " has no extent record";
        return 0;
    }
    unsigned char* pixels = nullptr;
    int w = 0, h = 0;
    // A GIF goes straight to its indices: no RGB picture on the way.
    if (format == SHEET_GIF) {
        FILE* f = fopen(path, "rb");
        unsigned char* indices = nullptr;
        if (f && gif_decode_indices(f, &indices, out->colours, &w, &h)) {
            fclose(f);
            out->width = w;
            out->height = h;
            out->extent = extent;
            out->indices.reset(indices);
            out->pixels.reset();
            return 1;
        }
        if (f) fclose(f);
    }
    if (!sheet_image_decode_file(path, format, &pixels, &w, &h)) {
        *why = std::string("The sheet ") + path + " does not decode";
        return 0;
    }
    out->width = w;
    out->height = h;
    out->extent = extent;
    out->pixels.reset(pixels);
    sheet_cache_index_colours(out);
    return 1;
}

int sheet_cache_index_colours(DecodedSheet* sheet) {
    if (!sheet->pixels || sheet->width <= 0 || sheet->height <= 0) return 0;
    size_t count = static_cast<size_t>(sheet->width) * sheet->height;
    auto* indices = static_cast<unsigned char*>(malloc(count));
    if (!indices) return 0;
    // Open addressing over the colour: 1024 slots for at most 256 colours.
    constexpr uint32_t kSlots = 1024, kEmpty = 0;   // every key is opaque
    uint32_t keys[kSlots];
    unsigned char slotIndex[kSlots];
    std::fill(keys, keys + kSlots, kEmpty);
    int used = 0;
    const unsigned char* p = sheet->pixels.get();
    uint32_t lastKey = kEmpty;
    unsigned char lastIndex = 0;
    for (size_t i = 0; i < count; i++, p += 3) {
        uint32_t key = 0xFF000000u | (static_cast<uint32_t>(p[0]) << 16) | (p[1] << 8) | p[2];
        if (key == lastKey) {          // runs of one colour are the common case
            indices[i] = lastIndex;
            continue;
        }
        uint32_t slot = (key * 2654435761u) >> 22;
        while (keys[slot] != kEmpty && keys[slot] != key) slot = (slot + 1) & (kSlots - 1);
        if (keys[slot] == kEmpty) {
            if (used == 256) {
                free(indices);
                return 0;
            }
            keys[slot] = key;
            slotIndex[slot] = static_cast<unsigned char>(used);
            sheet->colours[used++] = key;
        }
        indices[i] = lastIndex = slotIndex[slot];
        lastKey = key;
    }
    sheet->indices.reset(indices);
    sheet->pixels.reset();
    return 1;
}

std::shared_ptr<const DecodedSheet> sheet_cache_find(SheetCache* cache, const char* path) {
    auto found = cache->byPath.find(path);
    if (found == cache->byPath.end()) return nullptr;
    cache->entries.splice(cache->entries.begin(), cache->entries, found->second);
    return found->second->second;
}

void sheet_cache_put(SheetCache* cache, const char* path, std::shared_ptr<const DecodedSheet> sheet) {
    sheet_cache_drop(cache, path);
    size_t bytes = sheet_cache_bytes(*sheet);
    if (bytes > cache->limitBytes) return;
    while (!cache->entries.empty() && cache->usedBytes + bytes > cache->limitBytes) {
        cache->usedBytes -= sheet_cache_bytes(*cache->entries.back().second);
        cache->byPath.erase(cache->entries.back().first);
        cache->entries.pop_back();
    }
    cache->entries.emplace_front(path, std::move(sheet));
    cache->byPath[path] = cache->entries.begin();
    cache->usedBytes += bytes;
}

std::shared_ptr<const DecodedSheet> sheet_cache_get(SheetCache* cache, const char* path, int format,
                                                    std::string* why) {
    if (auto hit = sheet_cache_find(cache, path)) return hit;
    auto sheet = std::make_shared<DecodedSheet>();
    cache->decodes++;
    if (!sheet_cache_decode(path, format, sheet.get(), why)) return nullptr;
    sheet_cache_put(cache, path, sheet);
    return sheet;
}

void sheet_cache_drop(SheetCache* cache, const char* path) {
    auto found = cache->byPath.find(path);
    if (found == cache->byPath.end()) return;
    cache->usedBytes -= sheet_cache_bytes(*found->second->second);
    cache->entries.erase(found->second);
    cache->byPath.erase(found);
}

size_t sheet_cache_bytes(const DecodedSheet& s) {
    if (s.xrgb) return static_cast<size_t>(s.width) * s.height * sizeof(uint32_t);
    return static_cast<size_t>(s.width) * s.height * (s.indices ? 1 : 3) + (s.indices ? sizeof s.colours : 0);
}
