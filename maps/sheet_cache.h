// Decoded sheets kept for the view, least recently used first to go,
// bounded in bytes of pixels, so that driving and panning never decode a
// sheet twice in a row. Main thread only: a worker decodes with
// sheet_cache_decode by value and the main thread puts the result in.
#pragma once
#include <cstddef>
#include <cstdlib>
#include <list>
#include <memory>
#include <string>
#include <utility>

#include "maps/sheet_extent.h"

constexpr size_t SHEET_CACHE_DEFAULT_BYTES = 48u << 20;

struct FreeDeleter {
    void operator()(unsigned char* p) const { free(p); }
};

struct DecodedSheet {
    int width, height;
    SheetExtent extent;                                   // from the file's record
    std::unique_ptr<unsigned char[], FreeDeleter> pixels; // packed RGB rows, top-down
};

// Entries are shared: one handed out stays whole while the caller holds it,
// even when the cache lets it go.
struct SheetCache {
    size_t limitBytes = SHEET_CACHE_DEFAULT_BYTES;
    size_t usedBytes = 0;
    long decodes = 0;  // files decoded through sheet_cache_get
    std::list<std::pair<std::string, std::shared_ptr<const DecodedSheet>>> entries;  // most recent first
};

// Decodes the sheet file (SHEET_GIF, SHEET_JPEG or SHEET_PNG) and reads its
// extent record. 1, or 0 with the reason in why. Touches no cache.
int sheet_cache_decode(const char* path, int format, DecodedSheet* out, std::string* why);

// The cached sheet of the path (now the most recent), or null.
std::shared_ptr<const DecodedSheet> sheet_cache_find(SheetCache* cache, const char* path);

// Keeps the sheet as the most recent, letting the least recent go until the
// pixels fit the bound. A sheet larger than the bound alone is not kept.
void sheet_cache_put(SheetCache* cache, const char* path, std::shared_ptr<const DecodedSheet> sheet);

// The cached sheet, decoded and put in on a miss; null with the reason in
// why when the file does not decode or has no record.
std::shared_ptr<const DecodedSheet> sheet_cache_get(SheetCache* cache, const char* path, int format,
                                                    std::string* why);

// Forgets the sheet of the path (its file was replaced or removed).
void sheet_cache_drop(SheetCache* cache, const char* path);
