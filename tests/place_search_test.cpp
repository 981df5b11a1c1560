// The window's merge of the map server's answers with the waypoints: names
// folded as the server folds them, ranked by match, kind, then distance.
#include <gtest/gtest.h>

#include "nav/place_search.h"
#include "nav/text_fold.h"

namespace {

TEST(PlaceSearch, NamesFoldCaseAccentsAndSharpS) {
    const std::pair<const char*, const char*> cases[] = {
        {"Montréal", "montreal"}, {"GOETHESTRASSE", "goethestrasse"}, {"Goethestraße", "goethestrasse"},
        {"Łódź Ærø", "lodz aero"}, {"Sa\xCC\x88ntis", "santis"}, {"\xff" "A\xc3", "a"}, {"МОСКВА", "москва"},
    };
    for (const auto& [text, folded] : cases) EXPECT_EQ(text_fold(text), folded) << text;
}

TEST(PlaceSearch, MergedMatchesRankByMatchThenKindThenDistance) {
    std::vector<PlaceMatch> m = {
        {"Rue de Montréal", "street", "quebec", 45.5, -73.6, 0},
        {"Montréal-Est", "village", "quebec", 45.6, -73.5, 0},
        {"Montreal Harbour", "waypoint", "waypoints.gpx", 45.5, -73.55, 0},
        {"Montréal", "city", "towns", 45.5, -73.57, 0},
        {"Montréal", "waypoint", "waypoints.gpx", 45.0, -73.0, 0},
        {"Montrose", "town", "towns", 45.5, -73.6, 0},
        {"Montréal", "waypoint", "waypoints.gpx", 45.4, -73.5, 0},
    };
    place_matches_rank(&m, "montreal", true, 45.5, -73.5);
    const char* const order[][2] = {{"Montréal", "city"}, {"Montréal", "waypoint"}, {"Montréal", "waypoint"},
                                    {"Montreal Harbour", "waypoint"}, {"Montréal-Est", "village"},
                                    {"Rue de Montréal", "street"}, {"Montrose", "town"}};
    ASSERT_EQ(m.size(), 7u);
    for (size_t i = 0; i < m.size(); i++) {
        EXPECT_EQ(m[i].name + " " + m[i].kind, std::string(order[i][0]) + " " + order[i][1]) << i;
        EXPECT_EQ(m[i].rank, static_cast<double>(i));
    }
    EXPECT_NEAR(m[1].lat, 45.4, 1e-9);  // the nearer of two waypoints of one name
}

}  // namespace
