// Positions typed in the Find box: every form a user may type is read to
// the same place; impossible ones are refused with a reason; names with a
// number in them are not taken for positions.
#include <gtest/gtest.h>

#include "nav/coordinate_text.h"

namespace {

struct Typed {
    const char* text;
    int result;                        // as coordinate_text_parse
    double lat, lon;
};

TEST(CoordinateText, EveryFormReadsToThePlaceAndImpossibleOnesAreRefused) {
    const Typed cases[] = {
        {"45.42, -75.69", 1, 45.42, -75.69},
        {"45.42 -75.69", 1, 45.42, -75.69},
        {"45\xC2\xB0" "25'12\"N 75\xC2\xB0" "41'24\"W", 1, 45.42, -75.69},
        {"45\xC2\xB0" "25\xE2\x80\xB2" "12\xE2\x80\xB3S, 75\xC2\xB0" "41\xE2\x80\xB2" "24\xE2\x80\xB3" "E", 1, -45.42, 75.69},
        {"N 45 25.2 W 75 41.4", 1, 45.42, -75.69},
        {"W 75 41.4 N 45 25.2", 1, 45.42, -75.69},
        {"s45.5 e170.25", 1, -45.5, 170.25},
        {"45 25 12 75 41 24", 1, 45.42, 75.69},
        {"91, 10", -1, 0, 0},
        {"45.4, 181", -1, 0, 0},
        {"N 45 61 W 75 0", -1, 0, 0},
        {"45 25 61 N 75 0 0 W", -1, 0, 0},
        {"N 45 W 75 N 3", 0, 0, 0},
        {"N 45 S 75", -1, 0, 0},
        {"-45 N, 75 W", -1, 0, 0},
        {"Highway 17", 0, 0, 0},
        {"N 5", 0, 0, 0},
        {"Montr\xC3\xA9" "al", 0, 0, 0},
        {"", 0, 0, 0},
    };
    for (const Typed& c : cases) {
        double lat = 0, lon = 0;
        std::string reason;
        EXPECT_EQ(coordinate_text_parse(c.text, &lat, &lon, &reason), c.result) << c.text;
        if (c.result == 1) {
            EXPECT_NEAR(lat, c.lat, 1e-9) << c.text;
            EXPECT_NEAR(lon, c.lon, 1e-9) << c.text;
        }
        EXPECT_EQ(reason.empty(), c.result != -1) << c.text << ": " << reason;
    }
}

TEST(CoordinateText, WrittenFormsReadBackToThePlace) {
    for (CoordinateForm form : {COORDINATE_DECIMAL, COORDINATE_DM, COORDINATE_DMS}) {
        double lat = 0, lon = 0;
        std::string reason, text = coordinate_text_format(-33.8568, 151.2153, form);
        ASSERT_EQ(coordinate_text_parse(text, &lat, &lon, &reason), 1) << text;
        EXPECT_NEAR(lat, -33.8568, 1e-4) << text;
        EXPECT_NEAR(lon, 151.2153, 1e-4) << text;
    }
}

// The pointer's position in each form Options > Pointer Position offers,
// finer than whole seconds (UTM against PROJ's cs2cs).
TEST(CoordinateText, PointerFormsOfOnePlace) {
    const struct {
        CoordinateForm form;
        const char* text;
    } cases[] = {
        {COORDINATE_DECIMAL, "45.423600 N 75.700900 W"},
        {COORDINATE_DMS, "45\xC2\xB0" "25'25.0\"N 75\xC2\xB0" "42'03.2\"W"},
        {COORDINATE_DM, "N 45 25.416 W 75 42.054"},
        {COORDINATE_UTM, "18T 445166.9 5030247.7"},
    };
    for (const auto& c : cases) EXPECT_EQ(coordinate_text_format(45.4236, -75.7009, c.form), c.text) << c.form;
}

}  // namespace
