#include "maps/mbtiles.h"

#include <sqlite3.h>

#include <cstdio>
#include <cstdlib>
#include "maps/sheet_download_parts.h"

struct MbtilesFile {
    sqlite3* db = nullptr;
    sqlite3_stmt* select = nullptr;
};

MbtilesFile* mbtiles_open(const char* path, std::string* why) {
    MbtilesFile* f = new MbtilesFile;
    if (sqlite3_open_v2(path, &f->db, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr) != SQLITE_OK ||
        // The length is known without reading the tile, which is read only
        // when it is within the cap a tile server's reply has.
        sqlite3_prepare_v2(f->db,
                           "SELECT CASE WHEN length(tile_data) <= ?4 THEN tile_data END, length(tile_data) FROM tiles "
                           "WHERE zoom_level = ?1 AND tile_column = ?2 AND tile_row = ?3",
                           -1, &f->select, nullptr) != SQLITE_OK) {
        *why = std::string("The MBTiles file ") + path + " cannot be read: " + sqlite3_errmsg(f->db);
        mbtiles_close(f);
        return nullptr;
    }
    return f;
}

void mbtiles_close(MbtilesFile* f) {
    if (!f) return;
    sqlite3_finalize(f->select);
    sqlite3_close(f->db);
    delete f;
}

int mbtiles_read_tile(MbtilesFile* f, int z, int x, int y, std::string* bytes, std::string* why) {
    sqlite3_reset(f->select);
    sqlite3_bind_int(f->select, 1, z);
    sqlite3_bind_int(f->select, 2, x);
    sqlite3_bind_int(f->select, 3, (1 << z) - 1 - y);
    sqlite3_bind_int64(f->select, 4, static_cast<sqlite3_int64>(SHEET_TRANSFER_BYTES_MAX));
    int rc = sqlite3_step(f->select);
    if (rc == SQLITE_DONE) return 0;
    if (rc != SQLITE_ROW) {
        *why = std::string("The MBTiles file cannot be read: ") + sqlite3_errmsg(f->db);
        return -1;
    }
    const void* data = sqlite3_column_blob(f->select, 0);
    int size = sqlite3_column_bytes(f->select, 0);
    if (static_cast<size_t>(size) > SHEET_TRANSFER_BYTES_MAX ||
        static_cast<size_t>(sqlite3_column_int64(f->select, 1)) > SHEET_TRANSFER_BYTES_MAX) {
        *why = "A tile of the MBTiles file is larger than " + std::to_string(SHEET_TRANSFER_BYTES_MAX >> 20) + " MB";
        return -1;
    }
    bytes->assign(static_cast<const char*>(data), static_cast<size_t>(size > 0 ? size : 0));
    return size > 0 ? 1 : 0;
}

void mbtiles_limits(MbtilesFile* f, int* maxZoom, int* haveBounds, double bounds[4]) {
    *haveBounds = 0;
    sqlite3_stmt* q = nullptr;
    if (sqlite3_prepare_v2(f->db, "SELECT name, value FROM metadata WHERE name IN ('maxzoom', 'bounds')", -1, &q,
                           nullptr) != SQLITE_OK)
        return;  // no metadata table: nothing said
    while (sqlite3_step(q) == SQLITE_ROW) {
        const char* name = reinterpret_cast<const char*>(sqlite3_column_text(q, 0));
        const char* value = reinterpret_cast<const char*>(sqlite3_column_text(q, 1));
        if (!name || !value) continue;
        char* end = nullptr;
        if (std::string(name) == "maxzoom") {
            long z = std::strtol(value, &end, 10);
            if (end != value && z >= 0 && z <= 30) *maxZoom = static_cast<int>(z);
        } else if (sscanf(value, "%lf,%lf,%lf,%lf", &bounds[0], &bounds[1], &bounds[2], &bounds[3]) == 4 &&
                   bounds[0] < bounds[2] && bounds[1] < bounds[3]) {
            *haveBounds = 1;
        }
    }
    sqlite3_finalize(q);
}
