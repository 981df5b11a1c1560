// Searching the map server's names (the imports' places, streets, water...
// and the towns), as the server's /search answers: a blocking request for a
// worker thread, and the ranking that merges its answers with others (the
// user's waypoints) in one list.
#pragma once
#include <atomic>
#include <string>
#include <vector>

#include "nav/place_match.h"

struct PlaceSearchRequest {
    std::string serverRoot;            // the map server's root, as the sheets ask it
    std::string text;                  // as typed (any bytes)
    bool hasNear = false;              // rank by distance from (nearLat, nearLon)
    double nearLat = 0, nearLon = 0;
    int limit = 20;
};

// The URL of the request: ROOT/search?q=TEXT[&near=LAT,LON]&limit=N.
std::string place_search_url(const PlaceSearchRequest& request);

// The matches (best first) and notes (an import left out and why) of a
// reply body, added to out and notes.
void place_search_parse(const std::string& body, std::vector<PlaceMatch>* out, std::vector<std::string>* notes);

// Asks the server (blocking; a worker's call), its reply kept in scratchFile
// while read. 1 with the matches in out and the server's notes in notes;
// 0 with why it did not answer in reason. cancel (may be null) ends it.
int place_search_fetch(const PlaceSearchRequest& request, const std::string& scratchFile,
                       const std::atomic<int>* cancel, std::vector<PlaceMatch>* out, std::vector<std::string>* notes,
                       std::string* reason);

// How a name matches the searched text, case, accents and ß/ss folded: 0
// the whole name, 1 whole words, 2 the beginnings of words, 3 not at all.
int place_match_quality(const std::string& text, const std::string& name);

// Sorts matches by how they match text, then by the importance of their
// kind (city, town, waypoint, village...; main roads before service roads),
// then by distance from (lat, lon) when hasNear; sets their rank to their
// place in that order. Keeps the order of equals.
void place_matches_rank(std::vector<PlaceMatch>* matches, const std::string& text, bool hasNear, double lat,
                        double lon);
