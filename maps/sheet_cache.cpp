#include "maps/sheet_cache.h"

#include <cstring>
#include <vector>

#include "maps/sheet_image.h"

namespace {

size_t bytesOf(const DecodedSheet& s) { return static_cast<size_t>(s.width) * s.height * 3; }

}  // namespace

int sheet_cache_decode(const char* path, int format, DecodedSheet* out, std::string* why) {
    std::vector<char> text(SHEET_JPEG_RECORD_MAX + 1);
    int len = sheetReadExtentRecord(path, format, text.data(), text.size());
    SheetExtent extent;
    if (len <= 0 || !sheetParseExtentRecord(text.data(), static_cast<size_t>(len), &extent)) {
        *why = std::string("The sheet ") + path + " has no extent record";
        return 0;
    }
    unsigned char* pixels = nullptr;
    int w = 0, h = 0;
    if (!decodeSheetFile(path, format, &pixels, &w, &h)) {
        *why = std::string("The sheet ") + path + " does not decode";
        return 0;
    }
    out->width = w;
    out->height = h;
    out->extent = extent;
    out->pixels.reset(pixels);
    return 1;
}

std::shared_ptr<const DecodedSheet> sheet_cache_find(SheetCache* cache, const char* path) {
    for (auto it = cache->entries.begin(); it != cache->entries.end(); ++it)
        if (it->first == path) {
            cache->entries.splice(cache->entries.begin(), cache->entries, it);
            return it->second;
        }
    return nullptr;
}

void sheet_cache_put(SheetCache* cache, const char* path, std::shared_ptr<const DecodedSheet> sheet) {
    sheet_cache_drop(cache, path);
    size_t bytes = bytesOf(*sheet);
    if (bytes > cache->limitBytes) return;
    while (!cache->entries.empty() && cache->usedBytes + bytes > cache->limitBytes) {
        cache->usedBytes -= bytesOf(*cache->entries.back().second);
        cache->entries.pop_back();
    }
    cache->entries.emplace_front(path, std::move(sheet));
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
    for (auto it = cache->entries.begin(); it != cache->entries.end(); ++it)
        if (it->first == path) {
            cache->usedBytes -= bytesOf(*it->second);
            cache->entries.erase(it);
            return;
        }
}
