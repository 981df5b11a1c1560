// kivsheet store: the sheet store by source and level (count, size, age),
// and pruning a source's sheets or sheets older than some days.
#include "tools/kivsheet/kivsheet_store.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <map>
#include <string>
#include <system_error>
#include <vector>

#include "settings/app_settings.h"
#include "tools/kivsheet/kivsheet_area.h"
#include "tools/kivsheet/kivsheet_options.h"

namespace fs = std::filesystem;

namespace {

struct LevelCount {
    long count = 0;
    long long bytes = 0;
    double oldestDays = 0, newestDays = 1e9;
};

// The level of a sheet file name ("mac_z2_w0754000_n0452000.gif"), or -1
// for a file that is no sheet.
int sheetLevel(const std::string& name) {
    size_t dot = name.rfind('.');
    if (dot == std::string::npos || name.size() < 8 || name[3] != '_' || name[6] != '_') return -1;
    std::string ext = name.substr(dot + 1);
    if (ext != "gif" && ext != "png" && ext != "jpg") return -1;
    return name[5] >= '0' && name[5] <= '9' ? name[5] - '0' : -1;
}

// One store: the maps folder's own sheets (one address of the old map
// server, or a store older than sources), a folder of sources/, or a tile
// cache of tiles/ (its "levels" the tiles' zooms).
struct Store {
    std::string name, path, said;
    bool tiles = false;
};

// The first line of a store's source.txt: the sources that made its sheets.
std::string noteOf(const std::string& path) {
    char line[1200] = "";
    if (FILE* f = fopen((path + "/source.txt").c_str(), "r")) {
        if (!fgets(line, sizeof line, f)) line[0] = 0;
        fclose(f);
    }
    return std::string(line, strcspn(line, "\n"));
}

std::vector<Store> storesOf(const std::string& root) {
    std::string said = noteOf(root);
    if (said.empty()) said = "the map server (Server=), a store older than sources";
    std::vector<Store> out = {{"server", root, said}};
    std::error_code ec;
    for (const auto& d : fs::directory_iterator(root + "/sources", ec)) {
        std::string path = d.path().string();
        if (d.is_directory()) out.push_back({d.path().filename().string(), path, noteOf(path)});
    }
    for (const auto& d : fs::directory_iterator(root + "/tiles", ec))
        if (d.is_directory())
            out.push_back({"tiles/" + d.path().filename().string(), d.path().string(), "tile cache", true});
    return out;
}

double ageDays(const fs::path& p) {
    struct stat st;
    return stat(p.c_str(), &st) == 0 ? difftime(time(nullptr), st.st_mtime) / 86400.0 : 0;
}

// Each sheet of the store (the two-level folders of sheets only, not the
// tile cache nor the other stores), with its level.
template <typename Fn>
void eachSheet(const Store& s, Fn fn) {
    std::error_code ec;
    if (s.tiles) {
        // "<zoom>/<x>/<y>.png", whatever the bytes' format.
        for (auto it = fs::recursive_directory_iterator(s.path, ec); it != fs::recursive_directory_iterator();
             it.increment(ec))
            if (it->is_regular_file() && it->path().extension() == ".png" && it.depth() == 2)
                fn(it->path(), atoi(it->path().parent_path().parent_path().filename().c_str()));
        return;
    }
    for (const auto& top : fs::directory_iterator(s.path, ec)) {
        std::string name = top.path().filename().string();
        if (!top.is_directory() || name == "sources" || name == "tiles") continue;
        for (auto it = fs::recursive_directory_iterator(top.path(), ec); it != fs::recursive_directory_iterator();
             it.increment(ec)) {
            int level = it->is_regular_file() ? sheetLevel(it->path().filename().string()) : -1;
            if (level >= 0) fn(it->path(), level);
        }
    }
}

std::string size(long long bytes) {
    char t[32];
    snprintf(t, sizeof t, bytes < 1000000 ? "%.0f kB" : "%.1f MB", bytes < 1000000 ? bytes / 1e3 : bytes / 1e6);
    return t;
}

void list(const std::vector<Store>& stores) {
    for (const Store& s : stores) {
        std::map<int, LevelCount> levels;
        eachSheet(s, [&](const fs::path& p, int level) {
            LevelCount& c = levels[level];
            double age = ageDays(p);
            c.count++;
            c.bytes += static_cast<long long>(fs::file_size(p));
            if (age > c.oldestDays) c.oldestDays = age;
            if (age < c.newestDays) c.newestDays = age;
        });
        printf("%s: %s\n", s.name.c_str(), s.said.c_str());
        if (levels.empty()) printf(s.tiles ? "  no tiles\n" : "  no sheets\n");
        for (const auto& [level, c] : levels)
            printf(s.tiles ? "  zoom %d: %ld tiles, %s, %.0f to %.0f days old\n"
                           : "  level %d: %ld sheets, %s, %.0f to %.0f days old\n",
                   level, c.count, size(c.bytes).c_str(), c.newestDays, c.oldestDays);
    }
}

}  // namespace

int kivsheet_store(const KivsheetOptions& o) {
    static AppSettings s;
    kivsheet_load_settings(&s);
    // The maps folder as it is: listing picks no store, so it never records
    // an address in a store older than source records.
    std::string root = o.maps.empty() ? s.mapsDir : o.maps;
    std::vector<Store> stores = storesOf(root);
    if (o.prune.empty() && o.olderThanDays < 0) {
        list(stores);
        return 0;
    }
    bool found = false;
    long removed = 0;
    for (const Store& st : stores) {
        if (!o.prune.empty() && o.prune != "all" && o.prune != st.name) continue;
        found = true;
        std::vector<fs::path> doomed;
        eachSheet(st, [&](const fs::path& p, int) {
            if (o.olderThanDays < 0 || ageDays(p) > o.olderThanDays) doomed.push_back(p);
        });
        std::error_code ec;
        for (const fs::path& p : doomed) {
            removed += fs::remove(p, ec) ? 1 : 0;
            if (st.tiles) fs::remove(p.string() + ".cache", ec);  // asked afresh when next needed
        }
    }
    if (!found) {
        fprintf(stderr, "kivsheet: no store named %s in %s (kivsheet store lists them)\n", o.prune.c_str(), root.c_str());
        return 2;
    }
    printf("%ld sheets and tiles removed\n", removed);
    return 0;
}
