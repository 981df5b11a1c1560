// One route over the routing database of the map server's imports, by
// Routino: each point of the line with its distance, time, turn, street and
// instruction, or the reason there is none.
#pragma once
#include <memory>
#include <string>
#include <vector>

struct RouteLatLon {
    double lat, lon;
};

struct RouteRequest {
    std::string dataDir;               // the imports folder; the database is in its "routing"
    std::string profile = "car";       // car, bicycle or foot
    std::string language = "en";       // of the instructions; English where Routino has not this one
    std::vector<RouteLatLon> points;   // from, the vias in order, to
    std::vector<std::string> names;    // the same points as the user gave them, for the reasons
};

struct RoutePoint {
    double lat, lon;
    double metres, seconds;            // from the start
    int turn;                          // degrees, - left, + right, at this point
    int bearing;                       // degrees from north of the next section
    std::string street;                // of the next section
    std::string instruction;           // empty on plain shape points
};

struct RouteAnswer {
    std::vector<RoutePoint> points;
    std::string reason;                // why there is no route
};

// The database folder inside an imports folder, and the file that stamps a
// whole database with the Routino version that built it and its files' sizes.
std::string route_database_dir(const std::string& dataDir);
extern const char ROUTE_DATABASE_STAMP[];

// 1 with answer->points; 0 with answer->reason.
int route_compute(const RouteRequest& request, RouteAnswer* answer);

// What Routino keeps between routes: the profiles, the translations and the
// database (its files mapped), loaded on the first route and again only when
// the database is rebuilt or another is asked for. One per process: Routino
// keeps its profiles and translations in globals.
struct RouteLoaded;
struct RouteEngine {
    std::shared_ptr<RouteLoaded> loaded;
};
// As route_compute, loading into engine only what it has not loaded yet.
int route_engine_compute(RouteEngine* engine, const RouteRequest& request, RouteAnswer* answer);

// "en", "fr" or "de" from LC_ALL, LC_MESSAGES and LANG, as the locale asks.
std::string route_language_from_environment();
