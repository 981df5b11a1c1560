// Decoded sheets kept for the view, least recently used first to go,
// bounded in bytes of pixels, so that driving and panning never decode a
// sheet twice in a row. Main thread only: a worker decodes with
// sheet_cache_decode by value and the main thread puts the result in.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <list>
#include <memory>
#include <string>
#include <unordered_map>
#include <utility>

#include "maps/sheet_extent.h"

// About 140 topographic sheets (kept at a byte a pixel), two or three
// 1920 x 1080 views' worth; a larger pane raises its own cache's bound.
constexpr size_t SHEET_CACHE_DEFAULT_BYTES = 24u << 20;

struct FreeDeleter {
    void operator()(unsigned char* p) const { free(p); }
    void operator()(uint32_t* p) const { free(p); }
};

struct DecodedSheet {
    int width, height;
    SheetExtent extent;                                   // from the file's record
    std::unique_ptr<unsigned char[], FreeDeleter> pixels; // packed RGB rows, top-down; null when indexed
    // A sheet of at most 256 colours (every topographic sheet) is kept as a
    // byte a pixel into its colours: a third of the memory.
    std::unique_ptr<unsigned char[], FreeDeleter> indices;
    uint32_t colours[256];                                // 0xFFRRGGBB: the client frame's pixels
    // A sheet filtered to a scale between the levels is kept as the frame's
    // pixels (0xFFRRGGBB, the day's colours), rows top-down: copied, not
    // looked up. Null otherwise; pixels and indices are null when set.
    std::unique_ptr<uint32_t[], FreeDeleter> xrgb;
};

// Turns RGB pixels into indices and colours when there are at most 256
// colours: 1, or 0 with the sheet left as it was.
int sheet_cache_index_colours(DecodedSheet* sheet);

// Entries are shared: one handed out stays whole while the caller holds it,
// even when the cache lets it go.
struct SheetCache {
    size_t limitBytes = SHEET_CACHE_DEFAULT_BYTES;
    size_t usedBytes = 0;
    long decodes = 0;  // files decoded through sheet_cache_get
    using Entries = std::list<std::pair<std::string, std::shared_ptr<const DecodedSheet>>>;
    Entries entries;  // most recent first
    // Each entry by its path: a view of a hundred sheets looks each up at
    // every gather, in a cache of as many.
    std::unordered_map<std::string, Entries::iterator> byPath;

    SheetCache() = default;
    SheetCache(SheetCache&&) = default;
    SheetCache& operator=(SheetCache&&) = default;
    SheetCache(const SheetCache&) = delete;  // byPath would point into the other's entries
    SheetCache& operator=(const SheetCache&) = delete;
};

// Decodes the sheet file (SHEET_GIF, SHEET_JPEG or SHEET_PNG) and reads its
// extent record; a GIF straight to indices. 1, or 0 with the reason in why.
// Touches no cache.
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

// The bytes a sheet takes in the cache (a byte a pixel when indexed, four
// as frame pixels).
size_t sheet_cache_bytes(const DecodedSheet& sheet);

// Forgets the sheet of the path (its file was replaced or removed).
void sheet_cache_drop(SheetCache* cache, const char* path);
