// One tile of a tile source, through the tile cache: a fresh cached tile
// is used as it is; a stale one is asked again with its validators (a 304
// keeps it); a failed request falls back on a cached copy of any age, so
// the cache serves offline. A 404 is an empty tile, remembered like any
// other reply, unless a copy of the tile is cached: that copy stays. At most TILE_HOST_CONNECTIONS requests to one host run at
// once, from all threads together.
#pragma once
#include <string>

struct TileSource;

enum { TILE_HOST_CONNECTIONS = 2 };
// A tile transfer slower than this over a window ends: a server that
// drips bytes would otherwise hold a sheet for minutes.
constexpr int64_t TILE_MIN_BYTES_PER_SECOND = 512;
enum { TILE_STALL_WINDOW_MS = 15000 };
// Freshness of a reply that says none (no max-age, no Expires).
constexpr long TILE_DEFAULT_FRESH_SECONDS = 7 * 24 * 3600;

// The tile's file in the cache: "<cacheDir>/z/x/y.png", and its sidecar
// "<...>.png.cache" (expiry, validators, or that the server had none).
std::string tile_fetch_cache_path(const char* cacheDir, int z, int x, int y);

// Brings tile (z, x, y) into the cache and names its file in *path ("" for
// an empty tile). refresh asks again although the cached copy is fresh.
// 1 when the tile is known (an image file or empty); 2 when the request
// failed (the reason in why) and the cached copy stands in; 0 with the
// reason in why when it is neither cached nor fetched. deadlineMs bounds
// the request (0: the transfer's own deadline).
int tile_fetch_cached(const TileSource* source, const char* cacheDir, int z, int x, int y, int refresh,
                    std::string* path, std::string* why, int deadlineMs = 0);

// The most requests to the host that ran at once since start (for the tests of the limit).
int tile_fetch_peak_connections(const char* host);
