#include "maps/tile_fetch.h"

#include <sys/stat.h>
#include <unistd.h>

#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <map>
#include <mutex>

#include "maps/map_view.h"
#include "maps/sheet_download_parts.h"
#include "maps/sheet_image.h"
#include "maps/sheet_store.h"
#include "maps/tile_source.h"
#include "maps/webp_image.h"
#include "net/http_client.h"
#include "settings/app_settings.h"
#include "settings/atomic_file.h"
#include "settings/text_scan.h"

namespace {

// Connections in use per host, shared by every thread of the process.
std::mutex hostLock;
std::condition_variable hostFreed;
std::map<std::string, int> inUse, peak;

struct HostSlot {
    std::string host;
    explicit HostSlot(const std::string& h) : host(h) {
        std::unique_lock<std::mutex> g(hostLock);
        hostFreed.wait(g, [&] { return inUse[host] < TILE_HOST_CONNECTIONS; });
        if (++inUse[host] > peak[host]) peak[host] = inUse[host];
    }
    ~HostSlot() {
        {
            std::lock_guard<std::mutex> g(hostLock);
            --inUse[host];
        }
        hostFreed.notify_all();
    }
};

// What the sidecar keeps of the last reply.
struct CacheNote {
    long long expires = 0;  // seconds since the epoch
    int missing = 0;        // the server has no such tile
    std::string etag, lastModified;
};

int readNote(const std::string& path, CacheNote* note) {
    FILE* f = fopen(path.c_str(), "r");
    if (!f) return 0;
    char line[512];
    while (fgets(line, sizeof line, f)) {
        line[strcspn(line, "\r\n")] = 0;
        if (const char* value = after_prefix(line, "expires=")) note->expires = atoll(value);
        if (const char* value = after_prefix(line, "missing=")) note->missing = atoi(value);
        if (const char* value = after_prefix(line, "etag=")) note->etag = value;
        if (const char* value = after_prefix(line, "last-modified=")) note->lastModified = value;
    }
    fclose(f);
    return 1;
}

int writeNote(const std::string& path, const CacheNote& note) {
    std::string text = "expires=" + std::to_string(note.expires) + "\nmissing=" + std::to_string(note.missing) +
                       "\netag=" + note.etag + "\nlast-modified=" + note.lastModified + "\n";
    return write_file_atomically(path.c_str(), text.c_str(), text.size());
}

bool exists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

long long expiryOf(const HttpTransfer& t) {
    return static_cast<long long>(time(nullptr)) + (t.maxAgeSeconds >= 0 ? t.maxAgeSeconds : TILE_DEFAULT_FRESH_SECONDS);
}

int createFolders(const char* cacheDir, const std::string& file, std::string* why) {
    std::string folder = file.substr(0, file.rfind('/'));
    Result made = sheet_create_folder_of(cacheDir, folder.c_str());
    if (!made) *why = made.why;
    return made ? 1 : 0;
}

// A tile read from a folder tree of another program ("file://" or a path).
int localTile(const char* url, std::string* path) {
    const char* file = strncmp(url, "file://", 7) == 0 ? url + 7 : url;
    *path = exists(file) ? file : "";
    return 1;
}

}  // namespace

std::string tile_fetch_cache_path(const char* cacheDir, int z, int x, int y) {
    return std::string(cacheDir) + "/" + std::to_string(z) + "/" + std::to_string(x) + "/" + std::to_string(y) + ".png";
}

int tile_fetch_peak_connections(const char* host) {
    std::lock_guard<std::mutex> g(hostLock);
    return peak[host];
}

int tile_fetch_cached(const TileSource* source, const char* cacheDir, int z, int x, int y, int refresh,
                    std::string* path, std::string* why, int deadlineMs) {
    char url[SHEET_URL_MAX];
    if (!tile_source_url(url, sizeof url, source, z, x, y)) {
        *why = "The tile address (Tiles=) is too long";
        return 0;
    }
    if (strstr(url, "://") == nullptr || strncmp(url, "file://", 7) == 0) return localTile(url, path);
    std::string file = tile_fetch_cache_path(cacheDir, z, x, y), notePath = file + ".cache";
    CacheNote note;
    int noted = readNote(notePath, &note);
    bool cached = exists(file) || (noted && note.missing);
    if (cached && !refresh && note.expires > time(nullptr)) {
        *path = note.missing ? "" : file;
        return 1;
    }
    if (!createFolders(cacheDir, file, why)) return 0;

    HttpTransfer t;
    if (deadlineMs > 0) t.deadlineMs = deadlineMs;
    t.minBytesPerSecond = TILE_MIN_BYTES_PER_SECOND;
    t.stallWindowMs = TILE_STALL_WINDOW_MS;
    if (cached && !note.missing) {
        t.etag = note.etag;
        t.lastModified = note.lastModified;
    }
    // Two sheets may want the same tile at once: each transfer writes a file of its own.
    std::string part = sheet_download_part_name(file);
    char host[256];
    tile_source_host(source, host, sizeof host);
    Result got;
    {
        HostSlot slot(host);
        got = sheet_download_fetch(url, part.c_str(), &t);
    }
    if (!got) *why = got.why;
    // A tile once served and now said missing is more likely a server in
    // trouble or a changed address than a tile taken back: the copy stays.
    bool absent = (t.status == 404 || t.status == 410) && !exists(file);
    if (!got || (t.status >= 300 && t.status != 304 && !absent) || (t.status == 304 && !cached)) {
        unlink(part.c_str());
        if (got) *why = "The tile server answered HTTP " + std::to_string(t.status);
        // Stale is better than nothing, offline above all.
        if (!cached) return 0;
        *path = note.missing ? "" : file;
        return 2;
    }
    note.expires = expiryOf(t);
    if (t.status == 304 && cached) {
        unlink(part.c_str());
    } else if (absent) {
        unlink(part.c_str());
        note = CacheNote{note.expires, 1, "", ""};
    } else {
        unsigned char head[16];
        FILE* f = fopen(part.c_str(), "rb");
        size_t n = f ? fread(head, 1, sizeof head, f) : 0;
        if (f) fclose(f);
        if (sheet_image_format(head, n) < 0 && !webp_is_image(head, n)) {
            unlink(part.c_str());
            *why = std::string("The tile server sent no image (") + (t.contentType[0] ? t.contentType : "no type") + ")";
            // A login page of a hotel or train network is no answer of the
            // tile server: the cached copy serves as it would offline.
            if (!cached) return 0;
            *path = note.missing ? "" : file;
            return 2;
        }
        if (rename(part.c_str(), file.c_str()) != 0) {
            unlink(part.c_str());
            *why = "The tile cannot be stored in " + file;
            return 0;
        }
        note = CacheNote{note.expires, 0, t.etag, t.lastModified};
    }
    writeNote(notePath, note);
    *path = note.missing ? "" : file;
    return 1;
}
