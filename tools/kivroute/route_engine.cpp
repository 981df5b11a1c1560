#include "tools/kivroute/route_engine.h"

#include <sys/stat.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include <routino.h>

const char ROUTE_DATABASE_STAMP[] = "kiv-routing-stamp";

std::string route_database_dir(const std::string& dataDir) { return dataDir + "/routing"; }

namespace {

const char* const kMakeOne = "import an OpenStreetMap extract with kiv-mapserver.sh import FILE";
const char* const kRebuild = "rebuild it with kiv-mapserver.sh routes";

struct ProfileName {
    const char* ours;
    const char* routino;
    const char* said;                  // in "no route ... for a car"
};
const ProfileName kProfiles[] = {{"car", "motorcar", "a car"}, {"bicycle", "bicycle", "a bicycle"},
                                 {"foot", "foot", "walking"}};

// The stamp the build writes once the database is whole: the Routino version
// that built it, then each file with its size. A database without it, or
// with files of other sizes, was cut short or changed since; one of another
// version may not load or may read its files wrongly.
std::string check_stamp(const std::string& dir) {
    std::ifstream stamp(dir + "/" + ROUTE_DATABASE_STAMP);
    if (!stamp) return "the routing database in " + dir + " is not whole (an interrupted build?): " + kRebuild;
    std::string word, version;
    stamp >> word >> version;
    if (word != "routino" || version.empty())
        return "the routing database in " + dir + " is damaged (its stamp is unreadable): " + kRebuild;
    if (version != Routino_Version)
        return "the routing database in " + dir + " was built by Routino " + version + " and this kivroute uses " +
               Routino_Version + ": " + kRebuild;
    std::string file;
    long long size;
    while (stamp >> file >> size) {
        struct stat st;
        if (stat((dir + "/" + file).c_str(), &st) != 0 || st.st_size != size)
            return "the routing database in " + dir + " is damaged (" + file + " is missing or of another size): " +
                   kRebuild;
    }
    return "";
}

std::string point_text(const RouteRequest& r, size_t i) {
    if (i < r.names.size() && !r.names[i].empty()) return r.names[i];
    char text[64];
    std::snprintf(text, sizeof text, "%.6f,%.6f", r.points[i].lat, r.points[i].lon);
    return text;
}

// Routino's HTML texts as plain text: its list output keeps the tags and
// entities of the street names.
std::string plain_text(const char* html) {
    std::string out;
    if (!html) return out;
    for (const char* p = html; *p; p++) {
        if (*p == '<') {
            const char* end = std::strchr(p, '>');
            if (!end) break;
            p = end;
        } else if (*p == '&') {
            static const struct {
                const char* entity;
                char c;
            } entities[] = {{"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&#39;", '\''},
                            {"&apos;", '\''}};
            bool found = false;
            for (const auto& e : entities)
                if (std::strncmp(p, e.entity, std::strlen(e.entity)) == 0) {
                    out += e.c;
                    p += std::strlen(e.entity) - 1;
                    found = true;
                    break;
                }
            if (!found) out += *p;
        } else {
            out += *p;
        }
    }
    return out;
}

// The stamp's file as it is now: a rebuilt database is moved in whole, so
// its stamp is another file (or the same one written again).
bool same_stamp(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
           a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

}  // namespace

struct RouteLoaded {
    Routino_Database* db = nullptr;
    bool profiles = false, translations = false;
    std::string dir;                   // of db
    struct stat stamp {};              // of db, when it was loaded
    ~RouteLoaded() {
        if (db) Routino_UnloadDatabase(db);
        if (profiles) Routino_FreeXMLProfiles();
        if (translations) Routino_FreeXMLTranslations();
    }
};

namespace {

// Loads what engine lacks for the database in dir: "" or the reason.
std::string load(RouteEngine* engine, const std::string& dir) {
    struct stat stamp {};
    stat((dir + "/" + ROUTE_DATABASE_STAMP).c_str(), &stamp);
    if (engine->loaded && engine->loaded->db && engine->loaded->dir == dir && same_stamp(engine->loaded->stamp, stamp))
        return "";
    engine->loaded.reset();           // before the next parse: Routino's lists are global
    auto loaded = std::make_shared<RouteLoaded>();
    std::string data = ROUTINO_DATA_DIR;
    if (const char* d = std::getenv("KIV_ROUTINO_DATA")) data = d;
    if (Routino_ParseXMLProfiles((data + "/profiles.xml").c_str()) != 0)
        return "cannot read Routino's profiles in " + data + "/profiles.xml (is routino-common installed?)";
    loaded->profiles = true;
    if (Routino_ParseXMLTranslations((data + "/translations.xml").c_str()) != 0)
        return "cannot read Routino's translations in " + data + "/translations.xml";
    loaded->translations = true;
    if (!Routino_GetTranslation("en"))
        return "Routino's files in " + data + " lack English";
    loaded->db = Routino_LoadDatabase(dir.c_str(), nullptr);
    if (!loaded->db) return "the routing database in " + dir + " cannot be read: " + kRebuild;
    loaded->dir = dir;
    loaded->stamp = stamp;
    engine->loaded = std::move(loaded);
    return "";
}

}  // namespace

int route_compute(const RouteRequest& request, RouteAnswer* answer) {
    RouteEngine engine;
    return route_engine_compute(&engine, request, answer);
}

int route_engine_compute(RouteEngine* engine, const RouteRequest& request, RouteAnswer* answer) {
    answer->points.clear();
    answer->reason.clear();
    const ProfileName* profileName = nullptr;
    for (const ProfileName& p : kProfiles)
        if (request.profile == p.ours) profileName = &p;
    if (!profileName) {
        answer->reason = "no profile " + request.profile + " (car, bicycle or foot)";
        return 0;
    }
    if (request.points.size() < 2) {
        answer->reason = "a route needs a start and a destination";
        return 0;
    }
    if (Routino_CheckAPIVersion() != ROUTINO_ERROR_NONE) {
        answer->reason = std::string("this kivroute was built for another Routino library than ") + Routino_Version;
        return 0;
    }
    std::string dir = route_database_dir(request.dataDir);
    struct stat st;
    if (stat(dir.c_str(), &st) != 0) {
        answer->reason = "no routing data in " + request.dataDir + ": " + kMakeOne;
        return 0;
    }
    answer->reason = check_stamp(dir);
    if (!answer->reason.empty()) return 0;

    answer->reason = load(engine, dir);
    if (!answer->reason.empty()) return 0;
    Routino_Database* db = engine->loaded->db;
    Routino_Translation* translation = Routino_GetTranslation(request.language.c_str());
    if (!translation) translation = Routino_GetTranslation("en");
    Routino_Profile* profile = Routino_GetProfile(profileName->routino);
    if (!profile) {
        answer->reason = std::string("Routino's profiles lack the ") + profileName->routino + " profile";
        return 0;
    }
    if (Routino_ValidateProfile(db, profile) != ROUTINO_ERROR_NONE) {
        answer->reason = "the routing database in " + dir + " does not suit the " + request.profile +
                         " profile: " + kRebuild;
        return 0;
    }

    std::vector<Routino_Waypoint*> waypoints;
    for (size_t i = 0; i < request.points.size(); i++) {
        Routino_Waypoint* w =
            Routino_FindWaypoint(db, profile, request.points[i].lat, request.points[i].lon);
        if (!w) {
            for (Routino_Waypoint* done : waypoints) std::free(done);
            answer->reason = "no road within 1 km of " + point_text(request, i) + " for " + profileName->said;
            return 0;
        }
        waypoints.push_back(w);
    }
    Routino_Output* route =
        Routino_CalculateRoute(db, profile, translation, waypoints.data(), static_cast<int>(waypoints.size()),
                               ROUTINO_ROUTE_QUICKEST | ROUTINO_ROUTE_LIST_HTML_ALL, nullptr);
    for (Routino_Waypoint* w : waypoints) std::free(w);
    if (!route) {
        int leg = Routino_errno - ROUTINO_ERROR_NO_ROUTE_1 + 1;
        if (leg >= 1 && static_cast<size_t>(leg) < request.points.size())
            answer->reason = "no route from " + point_text(request, static_cast<size_t>(leg) - 1) + " to " +
                             point_text(request, static_cast<size_t>(leg)) + " for " + profileName->said;
        else
            answer->reason = "Routino found no route (error " + std::to_string(Routino_errno) + ")";
        return 0;
    }
    for (Routino_Output* o = route; o; o = o->next) {
        RoutePoint p;
        p.lat = o->lat * 180.0 / M_PI;
        p.lon = o->lon * 180.0 / M_PI;
        p.metres = o->dist * 1000.0;
        // The library gives minutes, though its header says seconds (its
        // own router prints the same figure as minutes).
        p.seconds = o->time * 60.0;
        p.turn = o->turn;
        p.bearing = o->bearing;
        p.street = plain_text(o->name);
        if (o->desc1) {
            // "At Junction, go Left heading North" and "Follow Wood Street for
            // 0.222 km, 0.3 min"; the totals of desc3 are on every line already.
            p.instruction = plain_text(o->desc1);
            std::string more = plain_text(o->desc2);
            if (!more.empty()) p.instruction += ". " + more;
        }
        answer->points.push_back(std::move(p));
    }
    Routino_DeleteRoute(route);
    return 1;
}

std::string route_language_from_environment() {
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* v = std::getenv(name);
        if (!v || !*v) continue;
        std::string lang(v, strnlen(v, 2));
        return lang == "fr" || lang == "de" ? lang : "en";
    }
    return "en";
}
