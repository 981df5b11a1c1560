// Zoom levels, sheet names, the local store, extent records, sheet loading
// and the display bitmap. Sheets are real GIF files written by giflib and
// real JPEG files written by the program's JPEG writer.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <string>

#include "maps/area_sheets_fetch.h"
#include "maps/jpeg_sheet.h"
#include "maps/map_view.h"
#include "maps/sheet_dispatch.h"
#include "maps/sheet_extent.h"
#include "maps/sheet_image.h"
#include "maps/sheet_store.h"
#include "maps/zoom_levels.h"
#include "platform/headless.h"
#include "platform/platform.h"
#include "settings/app_settings.h"
#include "tests/sheet_test_files.h"

namespace fs = std::filesystem;

namespace {

const double MIN = 1.0 / 60.0;

// Restores the zoom letter whatever a test does with it.
struct ZoomLetter {
    char saved = program_settings.zoomLetter;
    explicit ZoomLetter(char letter) { program_settings.zoomLetter = letter; }
    ~ZoomLetter() { program_settings.zoomLetter = saved; }
};

std::string pathOf(const std::string& maps, double lat, double lon, int level, int big = 0, int format = SHEET_GIF) {
    char path[SHEET_PATH_MAX];
    if (!sheet_path(path, sizeof path, maps.c_str(), lat, lon, level, big, format)) return "";
    return path;
}

std::string nameOf(double lat, double lon, int level, int big = 0, int format = SHEET_GIF) {
    char name[64];
    if (!sheet_file_name(name, sizeof name, lat, lon, level, big, format)) return "";
    return name;
}

const SheetExtent sample_extent = {200000,     1470000.25, -200000.5, 1450000.125, -215000.0,
                                   1490000.75, -185000.0,  91.5};

std::string recordOf(const SheetExtent& e) {
    char text[512];
    EXPECT_GT(sheet_extent_format(text, sizeof text, &e), 0);
    return text;
}

Bytes withGifRecord(const Bytes& gif, const std::string& record) {
    unsigned char* out = nullptr;
    size_t size = 0;
    if (!sheet_extent_insert_gif(gif.data(), gif.size(), record.c_str(), &out, &size)) return {};
    Bytes b(out, out + size);
    free(out);
    return b;
}

Bytes withJpegRecord(const Bytes& jpeg, const std::string& record) {
    unsigned char* out = nullptr;
    size_t size = 0;
    if (!sheet_extent_insert_jpeg(jpeg.data(), jpeg.size(), record.c_str(), &out, &size)) return {};
    Bytes b(out, out + size);
    free(out);
    return b;
}

// A small sheet written by the program's JPEG writer.
Bytes makeJpeg(const TempTree& tmp, int w, int h) {
    Bytes rgb = expectedRgb(mapLikeIndices(w, h));
    std::string path = tmp.file("plain.jpg");
    if (!jpeg_write_rgb(path.c_str(), rgb.data(), w, h)) return {};
    return readBytes(path);
}

Bytes smallGifSheet() { return makeGif(24, 18, mapLikeIndices(24, 18)); }

}  // namespace

// ---- zoom levels and snapping ----

TEST(ZoomLevels, DegreeSplitOfGridPoints) {
    EXPECT_DOUBLE_EQ(dms_to_degrees(45, 20, 0), 45.0 + 20.0 / 60.0);
    EXPECT_DOUBLE_EQ(dms_to_degrees(0, 0, 36), 0.01);
    double lat = zoom_level_snap_latitude(45.40, 2, 0);
    EXPECT_EQ(dms_whole_degrees(lat), 45);
    EXPECT_EQ(dms_whole_minutes(lat), 20);
    EXPECT_EQ(dms_whole_seconds(lat), 0);
    // A value a hair under a whole minute still names the whole minute.
    double almost = 75.0 + 40.0 / 60.0 - 1e-9;
    EXPECT_EQ(dms_whole_degrees(almost), 75);
    EXPECT_EQ(dms_whole_minutes(almost), 40);
    EXPECT_EQ(dms_whole_seconds(almost), 0);
    EXPECT_EQ(dms_whole_degrees(44.9999999), 45);
    EXPECT_EQ(dms_whole_minutes(44.9999999), 0);
    EXPECT_EQ(dms_whole_seconds(dms_to_degrees(45, 30, 15)), 15);
}

TEST(ZoomLevels, StepsAndScalesWithZoomLetter) {
    ZoomLetter none(0);
    const double steps[5] = {10, 1, 10 * MIN, 3 * MIN, MIN};
    const long scales[5] = {10000000, 1000000, 200000, 50000, 20000};
    for (int l = 0; l < 5; l++) {
        EXPECT_NEAR(zoom_level_step(l), steps[l], 1e-12) << l;
        EXPECT_EQ(zoom_level_scale(l), scales[l]) << l;
    }
    EXPECT_EQ(zoom_level_name_letter(), 'z');
    program_settings.zoomLetter = 'S';
    const double s_steps[5] = {20, 2, 25 * MIN, 6 * MIN, MIN};
    for (int l = 0; l < 5; l++) {
        EXPECT_NEAR(zoom_level_step(l), s_steps[l], 1e-12) << l;
        EXPECT_EQ(zoom_level_scale(l), 2 * scales[l]) << l;
    }
    EXPECT_EQ(zoom_level_name_letter(), 's');
    // Only 'S' changes anything.
    program_settings.zoomLetter = 'Q';
    EXPECT_NEAR(zoom_level_step(2), 10 * MIN, 1e-12);
    EXPECT_EQ(zoom_level_name_letter(), 'z');
}

TEST(ZoomLevels, SnapsHalfUpOnTheAbsoluteValue) {
    ZoomLetter none(0);
    EXPECT_DOUBLE_EQ(zoom_level_snap_longitude(-75.75, 1, 0), -76);
    EXPECT_DOUBLE_EQ(zoom_level_snap_longitude(-75.49, 1, 0), -75);
    EXPECT_DOUBLE_EQ(zoom_level_snap_latitude(45.5, 1, 0), 46);
    EXPECT_DOUBLE_EQ(zoom_level_snap_latitude(-45.5, 1, 0), -46);
    EXPECT_DOUBLE_EQ(zoom_level_snap_latitude(-45.49, 1, 0), -45);
    EXPECT_NEAR(zoom_level_snap_latitude(45.40, 2, 0), 45 + 20 * MIN, 1e-9);
    EXPECT_NEAR(zoom_level_snap_longitude(-75.70, 2, 0), -(75 + 40 * MIN), 1e-9);
    EXPECT_NEAR(zoom_level_snap_latitude(45.41, 4, 0), 45 + 25 * MIN, 1e-9);
    // Half step in latitude, double step in longitude.
    EXPECT_NEAR(zoom_level_snap_latitude(45.40, 2, 1), 45 + 25 * MIN, 1e-9);
    EXPECT_DOUBLE_EQ(zoom_level_snap_longitude(-74.7, 1, 1), -74);
    EXPECT_DOUBLE_EQ(zoom_level_snap_longitude(-74.7, 1, 0), -75);
}

TEST(ZoomLevels, ClampsToTheServiceAreaOfTheLevel) {
    ZoomLetter none(0);
    EXPECT_DOUBLE_EQ(zoom_level_snap_latitude(30, 1, 0), 40);
    EXPECT_DOUBLE_EQ(zoom_level_snap_latitude(-30, 3, 0), -40);
    EXPECT_DOUBLE_EQ(zoom_level_snap_latitude(88, 4, 0), 86);  // the Canadian grid reaches the Arctic islands
    EXPECT_DOUBLE_EQ(zoom_level_snap_latitude(45.4, 0, 0), 50);
    EXPECT_DOUBLE_EQ(zoom_level_snap_latitude(74, 0, 0), 70);
    EXPECT_DOUBLE_EQ(zoom_level_snap_latitude(-89, 0, 0), -86);
    EXPECT_DOUBLE_EQ(zoom_level_snap_longitude(-130, 0, 0), -120);
    EXPECT_DOUBLE_EQ(zoom_level_snap_longitude(-40, 0, 0), -60);
    EXPECT_DOUBLE_EQ(zoom_level_snap_longitude(-130, 1, 0), -130);
    EXPECT_DOUBLE_EQ(zoom_level_snap_longitude(-160, 2, 0), -150);
    EXPECT_DOUBLE_EQ(zoom_level_snap_longitude(-40, 2, 0), -45);
    // East longitudes are clamped to the signed bounds.
    EXPECT_DOUBLE_EQ(zoom_level_snap_longitude(10, 1, 0), -45);
    EXPECT_DOUBLE_EQ(zoom_level_snap_longitude(10, 0, 0), -60);
    // Nonsense levels and angles stay inside the tables and the area.
    EXPECT_DOUBLE_EQ(zoom_level_snap_latitude(45.4, -3, 0), 50);
    EXPECT_NEAR(zoom_level_snap_latitude(45.41, 9, 0), 45 + 25 * MIN, 1e-9);
    EXPECT_DOUBLE_EQ(zoom_level_snap_latitude(NAN, 2, 0), 86);
    EXPECT_DOUBLE_EQ(zoom_level_snap_longitude(NAN, 2, 0), -45);
}

TEST(ZoomLevels, LetterSGridAppliesToEverySnap) {
    ZoomLetter none(0);
    EXPECT_NEAR(zoom_level_snap_latitude(45.40, 2, 0), 45 + 20 * MIN, 1e-9);
    program_settings.zoomLetter = 'S';
    EXPECT_NEAR(zoom_level_snap_latitude(45.40, 2, 0), 45 + 25 * MIN, 1e-9);
    EXPECT_NEAR(zoom_level_snap_longitude(-75.70, 2, 0), -(75 + 50 * MIN), 1e-9);
    EXPECT_NEAR(zoom_level_snap_latitude(46.0, 2, 0), 45 + 50 * MIN, 1e-9);
    EXPECT_DOUBLE_EQ(zoom_level_snap_longitude(-75.7, 0, 0), -80);
    EXPECT_DOUBLE_EQ(zoom_level_snap_longitude(-89.0, 0, 0), -80);
    EXPECT_DOUBLE_EQ(zoom_level_snap_longitude(-91.0, 0, 0), -100);
    EXPECT_NEAR(zoom_level_snap_latitude(45.41, 4, 0), 45 + 25 * MIN, 1e-9);
    double lat = zoom_level_snap_latitude(45.40, 2, 0), lon = zoom_level_snap_longitude(-75.70, 2, 0);
    EXPECT_EQ(nameOf(lat, lon, 2), "mac_s2_w0755000_n0452500.gif");
    program_settings.zoomLetter = 0;
    EXPECT_NEAR(zoom_level_snap_latitude(45.40, 2, 0), 45 + 20 * MIN, 1e-9);
}

// ---- names ----

TEST(SheetNames, ExamplesOfTheStore) {
    ZoomLetter none(0);
    const std::string maps = SHEET_DEFAULT_MAPS_DIR;
    EXPECT_EQ(maps, "./Maps");
    double lat = zoom_level_snap_latitude(45.40, 2, 0), lon = zoom_level_snap_longitude(-75.70, 2, 0);
    EXPECT_EQ(pathOf(maps, lat, lon, 2), "./Maps/w070/w075n045/mac_z2_w0754000_n0452000.gif");
    EXPECT_EQ(pathOf(maps, lat, lon, 2, 1), "./Maps/w070/w075n045/mad_z2_w0754000_n0452000.gif");
    EXPECT_EQ(pathOf(maps, lat, lon, 2, 0, SHEET_JPEG), "./Maps/w070/w075n045/mac_z2_w0754000_n0452000.jpg");
    EXPECT_EQ(pathOf(maps, lat, lon, 2, 1, SHEET_JPEG), "./Maps/w070/w075n045/mad_z2_w0754000_n0452000.jpg");
    lat = zoom_level_snap_latitude(45.40, 0, 0);
    lon = zoom_level_snap_longitude(-75.70, 0, 0);
    EXPECT_EQ(pathOf(maps, lat, lon, 0), "./Maps/w080/w080n050/mac_z0_w0800000_n0500000.gif");
    lat = zoom_level_snap_latitude(45.41, 4, 0);
    lon = zoom_level_snap_longitude(-75.71, 4, 0);
    EXPECT_EQ(pathOf("/data/maps", lat, lon, 4), "/data/maps/w070/w075n045/mac_z4_w0754300_n0452500.gif");
    // 123 S is no place: no name rather than a sheet of another place.
    EXPECT_EQ(pathOf("M", -(123 + 30 * MIN), -(147 + 3 * MIN), 3), "");
}

TEST(SheetNames, ZeroCountsAsNorthAndEast) {
    ZoomLetter none(0);
    // Outside the Canadian area the names are those of Web Mercator sheets.
    EXPECT_EQ(pathOf("M", 0, 0, 1), "M/epsg3857/e000/e000n000/wmc_z1_e0000000_n0000000.gif");
    EXPECT_EQ(pathOf("M", -0.5, 12.5, 1), "M/epsg3857/e010/e012s000/wmc_z1_e0123000_s0003000.gif");
    char folder[64];
    ASSERT_TRUE(sheet_folder(folder, sizeof folder, "M", 0.0, -0.0));
    EXPECT_STREQ(folder, "M/e000/e000n000");
}

TEST(SheetNames, RefusesWhatDoesNotFitOrIsNoAngle) {
    std::string longDir(250, 'd');
    char path[SHEET_PATH_MAX];
    EXPECT_EQ(sheet_path(path, sizeof path, longDir.c_str(), 45, -75, 2, 0, SHEET_GIF), 0);
    EXPECT_EQ(sheet_path(path, sizeof path, "M", NAN, -75, 2, 0, SHEET_GIF), 0);
    EXPECT_EQ(sheet_path(path, sizeof path, "M", 45, 1e300, 2, 0, SHEET_GIF), 0);
    EXPECT_EQ(sheet_path(path, sizeof path, "M", 90.5, -75, 2, 0, SHEET_GIF), 0);
    EXPECT_EQ(sheet_path(path, sizeof path, "M", 45, -180.5, 2, 0, SHEET_GIF), 0);
    EXPECT_EQ(sheet_path(path, sizeof path, "M", 45, -75, 5, 0, SHEET_GIF), 0);
    char small[20];
    EXPECT_EQ(sheet_folder(small, sizeof small, "./Maps/abcdefgh", 45, -75), 0);
    // And the look-up of such a sheet simply finds nothing.
    double lat = 45, lon = -75;
    int level = 2;
    EXPECT_FALSE(find_sheet(&lat, &lon, &level, longDir.c_str(), path, 0, 0));
}

// ---- look-up and deletion ----

TEST(SheetStore, FindsAndWalksToCoarserLevels) {
    ZoomLetter none(0);
    TempTree tmp;
    const std::string maps = tmp.maps();
    // Only a level-2 sheet covers the point.
    double lat2 = zoom_level_snap_latitude(45.41, 2, 0), lon2 = zoom_level_snap_longitude(-75.71, 2, 0);
    writeBytes(pathOf(maps, lat2, lon2, 2), smallGifSheet());

    char path[SHEET_PATH_MAX];
    double lat = zoom_level_snap_latitude(45.41, 4, 0), lon = zoom_level_snap_longitude(-75.71, 4, 0);
    int level = 4;
    EXPECT_FALSE(find_sheet(&lat, &lon, &level, maps.c_str(), path, 0, 0));
    EXPECT_EQ(level, 4);
    EXPECT_NEAR(lat, 45 + 25 * MIN, 1e-9);

    EXPECT_TRUE(find_sheet(&lat, &lon, &level, maps.c_str(), path, 0, 1));
    EXPECT_EQ(level, 2);
    EXPECT_DOUBLE_EQ(lat, lat2);
    EXPECT_DOUBLE_EQ(lon, lon2);
    EXPECT_EQ(path, pathOf(maps, lat2, lon2, 2));

    // The same point with big maps, or as an aerial image, has no sheet.
    lat = zoom_level_snap_latitude(45.41, 4, 0);
    lon = zoom_level_snap_longitude(-75.71, 4, 0);
    level = 4;
    EXPECT_FALSE(find_sheet(&lat, &lon, &level, maps.c_str(), path, 1, 1));
    EXPECT_EQ(level, 0);
    level = 3;
    EXPECT_FALSE(find_sheet_jpeg(&lat, &lon, &level, maps.c_str(), path, 0, 1));
}

TEST(SheetStore, BigMapsWalkOnTheirOwnGrid) {
    // Big sheets use the doubled longitude step at every level: the level-2
    // sheet covering 75.87 W is w0760000, which the single step misses.
    ZoomLetter none(0);
    TempTree tmp;
    const std::string maps = tmp.maps();
    writeBytes(pathOf(maps, 45 + 20 * MIN, -76, 2, 1), smallGifSheet());
    char path[SHEET_PATH_MAX];
    double lat = zoom_level_snap_latitude(45.34, 4, 0), lon = zoom_level_snap_longitude(-75.87, 4, 1);
    int level = 4;
    EXPECT_TRUE(find_sheet(&lat, &lon, &level, maps.c_str(), path, 1, 1));
    EXPECT_EQ(level, 2);
    EXPECT_EQ(path, pathOf(maps, 45 + 20 * MIN, -76, 2, 1));
}

TEST(SheetStore, JpegVariantWalksLikeGif) {
    ZoomLetter none(0);
    TempTree tmp;
    const std::string maps = tmp.maps();
    double lat1 = zoom_level_snap_latitude(62.3, 1, 0), lon1 = zoom_level_snap_longitude(-114.4, 1, 0);
    writeBytes(pathOf(maps, lat1, lon1, 1, 1, SHEET_JPEG), makeJpeg(tmp, 16, 16));
    char path[SHEET_PATH_MAX];
    double lat = zoom_level_snap_latitude(62.3, 3, 0), lon = zoom_level_snap_longitude(-114.4, 3, 0);
    int level = 3;
    EXPECT_TRUE(find_sheet_jpeg(&lat, &lon, &level, maps.c_str(), path, 1, 1));
    EXPECT_EQ(level, 1);
    EXPECT_EQ(path, pathOf(maps, 62, -114, 1, 1, SHEET_JPEG));
    // The GIF variant does not see the JPEG file.
    lat = 62;
    lon = -114;
    level = 1;
    EXPECT_FALSE(find_sheet(&lat, &lon, &level, maps.c_str(), path, 1, 0));
}

TEST(SheetStore, LevelZeroNeverWalks) {
    ZoomLetter none(0);
    TempTree tmp;
    char path[SHEET_PATH_MAX];
    double lat = 50, lon = -80;
    int level = 0;
    EXPECT_FALSE(find_sheet(&lat, &lon, &level, tmp.maps().c_str(), path, 0, 1));
    EXPECT_EQ(level, 0);
    EXPECT_DOUBLE_EQ(lat, 50);
    EXPECT_DOUBLE_EQ(lon, -80);
    EXPECT_EQ(path, pathOf(tmp.maps(), 50, -80, 0));
    writeBytes(path, smallGifSheet());
    EXPECT_TRUE(find_sheet(&lat, &lon, &level, tmp.maps().c_str(), path, 0, 1));
}

TEST(SheetStore, AFolderIsNoSheet) {
    TempTree tmp;
    std::string p = pathOf(tmp.maps(), 50, -80, 0);
    fs::create_directories(p);
    char path[SHEET_PATH_MAX];
    double lat = 50, lon = -80;
    int level = 0;
    EXPECT_FALSE(find_sheet(&lat, &lon, &level, tmp.maps().c_str(), path, 0, 0));
}

TEST(SheetStore, CreatesTheFolderLevelsOfASheet) {
    TempTree tmp;
    const std::string maps = tmp.maps();
    EXPECT_TRUE(sheet_create_folders(maps.c_str(), 45 + 20 * MIN, -(75 + 40 * MIN)));
    EXPECT_TRUE(fs::is_directory(maps + "/w070/w075n045"));
    // Existing folders are fine; a sibling shares the first level.
    EXPECT_TRUE(sheet_create_folders(maps.c_str(), 45 + 20 * MIN, -(75 + 40 * MIN)));
    EXPECT_TRUE(sheet_create_folders(maps.c_str(), 46, -72));
    EXPECT_TRUE(fs::is_directory(maps + "/w070/w072n046"));
    // Missing parents of the maps folder are made too.
    EXPECT_TRUE(sheet_create_folders((maps + "/deeper/Maps").c_str(), 46, -72));
    EXPECT_TRUE(fs::is_directory(maps + "/deeper/Maps/w070/w072n046"));
    char path[SHEET_PATH_MAX] = "stale";
    std::string longDir(250, 'd');
    EXPECT_EQ(sheet_path(path, sizeof path, longDir.c_str(), 45, -75, 2, 0, SHEET_GIF), 0);
    EXPECT_STREQ(path, "");
}

// A WMS sheet is a PNG: it counts as stored where areas are counted too,
// for topographic sheets only.
TEST(SheetStore, AWmsPngSheetCountsAsStored) {
    TempTree tmp;
    static AppSettings settings{};
    snprintf(settings.mapsDir, sizeof settings.mapsDir, "%s", tmp.maps().c_str());
    std::string png = pathOf(tmp.maps(), 46, -76, 1, 0, SHEET_PNG);
    writeBytes(png, Bytes(100, 1));
    char path[SHEET_PATH_MAX];
    EXPECT_EQ(sheet_stored(path, tmp.maps().c_str(), 46, -76, 1, 0, SHEET_GIF), SHEET_PNG);
    EXPECT_EQ(path, png);
    int64_t bytes = 0;
    EXPECT_EQ(area_sheet_stored(&settings, AreaSheet{46, -76, 1}, 0, 0, &bytes), 1);
    EXPECT_EQ(bytes, 100);
    EXPECT_EQ(area_sheet_stored(&settings, AreaSheet{46, -76, 1}, 1, 0, &bytes), 0);
}

// The reason goes to the caller: folders are made on download threads.
TEST(SheetStore, AMapsFolderThatCannotBeMadeIsGivenAsTheReason) {
    headless_install();
    TempTree tmp;
    writeBytes(tmp.file("plain"), smallGifSheet());
    const std::string maps = tmp.file("plain") + "/Maps";  // below a file
    Result made = sheet_create_folders(maps.c_str(), 46, -72);
    EXPECT_FALSE(made);
    EXPECT_EQ(made.why, "The maps folder " + maps + " cannot be created (Not a directory): no sheet can be stored");
    EXPECT_TRUE(headless_calls_of("message_box").empty());
    platform_install(nullptr);
}

TEST(SheetStore, DeleteReportsMissingAndRemoves) {
    TempTree tmp;
    const std::string maps = tmp.maps();
    char path[SHEET_PATH_MAX];
    EXPECT_FALSE(delete_sheet(46, -76, 1, maps.c_str(), path, 0));
    EXPECT_EQ(path, pathOf(maps, 46, -76, 1));
    writeBytes(pathOf(maps, 46, -76, 1), smallGifSheet());
    writeBytes(pathOf(maps, 46, -76, 1, 0, SHEET_JPEG), makeJpeg(tmp, 8, 8));
    EXPECT_TRUE(delete_sheet(46, -76, 1, maps.c_str(), path, 0));
    EXPECT_FALSE(fs::exists(pathOf(maps, 46, -76, 1)));
    EXPECT_TRUE(fs::exists(pathOf(maps, 46, -76, 1, 0, SHEET_JPEG)));
    EXPECT_FALSE(delete_sheet(46, -76, 1, maps.c_str(), path, 0));
    EXPECT_TRUE(delete_sheet_jpeg(46, -76, 1, maps.c_str(), path, 0));
    EXPECT_FALSE(fs::exists(pathOf(maps, 46, -76, 1, 0, SHEET_JPEG)));
}

// ---- jump and pan dispatch ----

namespace {
struct HookCall {
    int calls = 0, aerialCalls = 0;
    double lat = 0, lon = 0;
    int level = -1, big = -1, rose = -1, grid = -1;
    int result = 0;
} hook;

Result fakeDownload(double lat, double lon, int level, const AppSettings* s, char* out, int big, int rose, int grid) {
    hook.calls++;
    hook.lat = lat;
    hook.lon = lon;
    hook.level = level;
    hook.big = big;
    hook.rose = rose;
    hook.grid = grid;
    std::string p = std::string(s->mapsDir) + "/downloaded.gif";
    snprintf(out, SHEET_PATH_MAX, "%s", p.c_str());
    return hook.result == 0 ? result_ok() : result_fail("");
}
Result fakeAerial(double, double, int, const AppSettings*, char*, int) {
    hook.aerialCalls++;
    return hook.result == 0 ? result_ok() : result_fail("");
}
}  // namespace

TEST(SheetDispatch, OfflinePanOnceDoesNothingTwiceWalks) {
    ZoomLetter none(0);
    TempTree tmp;
    static AppSettings settings{};
    snprintf(settings.mapsDir, sizeof settings.mapsDir, "%s", tmp.maps().c_str());
    // A hole in the level-4 coverage, covered by a level-3 sheet.
    double lat3 = zoom_level_snap_latitude(45.52, 3, 0), lon3 = zoom_level_snap_longitude(-75.60, 3, 0);
    writeBytes(pathOf(tmp.maps(), lat3, lon3, 3), smallGifSheet());

    char path[SHEET_PATH_MAX];
    char lastPanDir = ' ';
    double lat = zoom_level_snap_latitude(45.52, 4, 0), lon = zoom_level_snap_longitude(-75.60, 4, 0);
    int level = 4;
    EXPECT_FALSE(sheet_dispatch_for_pan(0, 0, &lat, &lon, &level, &settings, path, 'E', &lastPanDir, 0, 0, 0).ok);
    EXPECT_EQ(lastPanDir, 'E');
    EXPECT_EQ(level, 4);
    // Another direction does not walk, and forgets the first.
    EXPECT_FALSE(sheet_dispatch_for_pan(0, 0, &lat, &lon, &level, &settings, path, 'N', &lastPanDir, 0, 0, 0).ok);
    EXPECT_EQ(lastPanDir, 'N');
    EXPECT_EQ(level, 4);
    EXPECT_TRUE(sheet_dispatch_for_pan(0, 0, &lat, &lon, &level, &settings, path, 'N', &lastPanDir, 0, 0, 0).ok);
    EXPECT_EQ(lastPanDir, ' ');
    EXPECT_EQ(level, 3);
    EXPECT_DOUBLE_EQ(lat, lat3);
    EXPECT_DOUBLE_EQ(lon, lon3);
    EXPECT_EQ(path, pathOf(tmp.maps(), lat3, lon3, 3));

    // A repeated pan that finds nothing even when walking resets the letter.
    lat = 70;
    lon = -140;
    level = 2;
    lastPanDir = 'W';
    EXPECT_FALSE(sheet_dispatch_for_pan(0, 0, &lat, &lon, &level, &settings, path, 'W', &lastPanDir, 0, 0, 0).ok);
    EXPECT_EQ(lastPanDir, ' ');
    // A sheet found at once clears the letter.
    lat = lat3;
    lon = lon3;
    level = 3;
    lastPanDir = 'S';
    EXPECT_TRUE(sheet_dispatch_for_pan(0, 0, &lat, &lon, &level, &settings, path, 'E', &lastPanDir, 0, 0, 0).ok);
    EXPECT_EQ(lastPanDir, ' ');
    EXPECT_EQ(level, 3);
}

TEST(SheetDispatch, OfflineJumpWalksInTheChosenFormat) {
    ZoomLetter none(0);
    TempTree tmp;
    static AppSettings settings{};
    snprintf(settings.mapsDir, sizeof settings.mapsDir, "%s", tmp.maps().c_str());
    writeBytes(pathOf(tmp.maps(), 50, -80, 0, 0, SHEET_JPEG), makeJpeg(tmp, 8, 8));
    char path[SHEET_PATH_MAX];
    double lat = zoom_level_snap_latitude(45.4, 2, 0), lon = zoom_level_snap_longitude(-75.7, 2, 0);
    int level = 2;
    EXPECT_FALSE(sheet_dispatch_for_jump(0, 0, &lat, &lon, &level, &settings, path, 0, 0, 0).ok);
    lat = zoom_level_snap_latitude(45.4, 2, 0);
    lon = zoom_level_snap_longitude(-75.7, 2, 0);
    level = 2;
    EXPECT_TRUE(sheet_dispatch_for_jump(0, 1, &lat, &lon, &level, &settings, path, 0, 0, 0).ok);
    EXPECT_EQ(level, 0);
    EXPECT_DOUBLE_EQ(lat, 50);
    EXPECT_DOUBLE_EQ(lon, -80);
}

TEST(SheetDispatch, OnlineGoesThroughTheDownloadHooks) {
    TempTree tmp;
    static AppSettings settings{};
    snprintf(settings.mapsDir, sizeof settings.mapsDir, "%s", tmp.maps().c_str());
    // A sheet in the store does not matter online: the download decides.
    writeBytes(pathOf(tmp.maps(), 46, -76, 1), smallGifSheet());
    char path[SHEET_PATH_MAX] = "";
    char lastPanDir = 'E';
    double lat = 46, lon = -76;
    int level = 1;
    SheetDownloadHooks saved = sheet_download_hooks;
    sheet_download_hooks = SheetDownloadHooks{};
    EXPECT_FALSE(sheet_dispatch_for_jump(1, 0, &lat, &lon, &level, &settings, path, 0, 0, 0).ok);
    EXPECT_FALSE(sheet_dispatch_for_pan(1, 1, &lat, &lon, &level, &settings, path, 'E', &lastPanDir, 0, 0, 0).ok);

    sheet_download_hooks = SheetDownloadHooks{fakeDownload, fakeAerial, nullptr, nullptr};
    hook = HookCall{};
    EXPECT_TRUE(sheet_dispatch_for_jump(1, 0, &lat, &lon, &level, &settings, path, 1, 1, 0).ok);
    EXPECT_EQ(hook.calls, 1);
    EXPECT_EQ(hook.level, 1);
    EXPECT_EQ(hook.big, 1);
    EXPECT_EQ(hook.rose, 1);
    EXPECT_EQ(hook.grid, 0);
    EXPECT_EQ(std::string(path), tmp.maps() + "/downloaded.gif");
    hook.result = 1;
    EXPECT_FALSE(sheet_dispatch_for_pan(1, 0, &lat, &lon, &level, &settings, path, 'E', &lastPanDir, 0, 0, 1).ok);
    EXPECT_EQ(lastPanDir, 'E');  // the offline retry rule is not touched online
    EXPECT_EQ(hook.grid, 1);
    hook.result = 0;
    EXPECT_TRUE(sheet_dispatch_for_pan(1, 1, &lat, &lon, &level, &settings, path, 'W', &lastPanDir, 0, 0, 0).ok);
    EXPECT_EQ(hook.aerialCalls, 1);
    EXPECT_EQ(hook.calls, 2);
    sheet_download_hooks = saved;
}

// ---- extent records ----

TEST(SheetExtents, RecordFormatAndParse) {
    std::string rec = recordOf(sample_extent);
    EXPECT_EQ(rec, "200000,1470000.250000,-200000.500000,1450000.125000,-215000.000000,1490000.750000,"
                   "-185000.000000,91.500000");
    SheetExtent e{};
    ASSERT_EQ(sheet_extent_parse(rec.data(), rec.size(), &e), 1);
    EXPECT_EQ(e.scale, 200000);
    EXPECT_DOUBLE_EQ(e.centreX, 1470000.25);
    EXPECT_DOUBLE_EQ(e.maxX, 1490000.75);
    EXPECT_DOUBLE_EQ(e.angle, 91.5);

    // Exactly len characters are parsed, terminator or not.
    std::string padded = rec + "99999";
    ASSERT_EQ(sheet_extent_parse(padded.data(), rec.size(), &e), 1);
    EXPECT_DOUBLE_EQ(e.angle, 91.5);

    const SheetExtent marker = {7, 1, 2, 3, 4, 5, 6, 8};
    for (const char* bad : {"", "200000,1,2,3,4,5,6", "200000,1,2,3,4,5,6,", "x,1,2,3,4,5,6,7",
                            "1;2,3,4,5,6,7,8", "1,2,3,nan,4,5,6,7", "1,2,3,4,inf,5,6,7", "1,2,3,4,5,4,6,7",
                            "1,2,3,4,5,6,5,7", "1,2,3,4,5,6,7,nan"}) {
        SheetExtent out = marker;
        EXPECT_EQ(sheet_extent_parse(bad, strlen(bad), &out), 0) << bad;
        EXPECT_EQ(out.scale, 7) << bad;
        EXPECT_DOUBLE_EQ(out.minX, 3) << bad;
    }
}

TEST(SheetExtents, GifSheetRoundTripDecodesUnchanged) {
    ZoomLetter none(0);
    TempTree tmp;
    const std::string maps = tmp.maps();
    const int w = 48, h = 36;
    Bytes indices = mapLikeIndices(w, h);
    Bytes plain = makeGif(w, h, indices);
    ASSERT_FALSE(plain.empty());
    std::string rec = recordOf(sample_extent);
    Bytes sheet = withGifRecord(plain, rec);
    ASSERT_EQ(sheet.size(), plain.size() + 3 + rec.size() + 1);
    EXPECT_EQ(0, memcmp(sheet.data(), "GIF89a", 6));
    size_t at = 13 + 768;
    EXPECT_EQ(sheet[at], 0x21);
    EXPECT_EQ(sheet[at + 1], 0xFE);
    EXPECT_EQ(sheet[at + 2], rec.size());
    EXPECT_EQ(sheet[at + 3 + rec.size()], 0x00);
    writeBytes(pathOf(maps, 46, -76, 1), sheet);

    double cx = 0, cy = 0, x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    ASSERT_TRUE(sheet_extent_read_stored(46, -76, 1, maps.c_str(), 0, &cx, &cy, &x0, &y0, &x1, &y1));
    EXPECT_DOUBLE_EQ(cx, 1470000.25);
    EXPECT_DOUBLE_EQ(cy, -200000.5);
    EXPECT_DOUBLE_EQ(x0, 1450000.125);
    EXPECT_DOUBLE_EQ(y0, -215000.0);
    EXPECT_DOUBLE_EQ(x1, 1490000.75);
    EXPECT_DOUBLE_EQ(y1, -185000.0);
    // The JPEG variant and other names do not read it.
    EXPECT_FALSE(sheet_extent_read_stored_jpeg(46, -76, 1, maps.c_str(), 0, &cx, &cy, &x0, &y0, &x1, &y1));
    EXPECT_FALSE(sheet_extent_read_stored(46, -76, 1, maps.c_str(), 1, &cx, &cy, &x0, &y0, &x1, &y1));

    unsigned char* pixels = nullptr;
    int pw = 0, ph = 0;
    ASSERT_TRUE(sheet_image_decode_file(pathOf(maps, 46, -76, 1).c_str(), SHEET_GIF, &pixels, &pw, &ph));
    ASSERT_EQ(pw, w);
    ASSERT_EQ(ph, h);
    Bytes expect = expectedRgb(indices);
    EXPECT_EQ(0, memcmp(pixels, expect.data(), expect.size()));
    free(pixels);
}

TEST(SheetExtents, GifWithoutGlobalColourTable) {
    TempTree tmp;
    const int w = 20, h = 10;
    Bytes indices = mapLikeIndices(w, h);
    Bytes plain = makeGif(w, h, indices, false);
    ASSERT_FALSE(plain.empty());
    ASSERT_EQ(plain[10] & 0x80, 0);
    Bytes sheet = withGifRecord(plain, recordOf(sample_extent));
    ASSERT_FALSE(sheet.empty());
    // The record follows the screen descriptor; the image is untouched.
    EXPECT_EQ(sheet[13], 0x21);
    EXPECT_EQ(sheet[14], 0xFE);
    writeBytes(pathOf(tmp.maps(), 46, -76, 1), sheet);
    double cx = 0, cy = 0, x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    ASSERT_TRUE(sheet_extent_read_stored(46, -76, 1, tmp.maps().c_str(), 0, &cx, &cy, &x0, &y0, &x1, &y1));
    EXPECT_DOUBLE_EQ(x1, 1490000.75);
    unsigned char* pixels = nullptr;
    int pw = 0, ph = 0;
    ASSERT_TRUE(sheet_image_decode_file(pathOf(tmp.maps(), 46, -76, 1).c_str(), SHEET_GIF, &pixels, &pw, &ph));
    Bytes expect = expectedRgb(indices);
    ASSERT_EQ(pw * ph * 3, static_cast<int>(expect.size()));
    EXPECT_EQ(0, memcmp(pixels, expect.data(), expect.size()));
    free(pixels);
}

TEST(SheetExtents, GifWriterRefusesWhatItCannotPlace) {
    Bytes plain = smallGifSheet();
    unsigned char* out = nullptr;
    size_t size = 0;
    std::string longest(255, '1'), tooLong(256, '1');
    EXPECT_EQ(sheet_extent_insert_gif(plain.data(), plain.size(), longest.c_str(), &out, &size), 1);
    free(out);
    EXPECT_EQ(sheet_extent_insert_gif(plain.data(), plain.size(), tooLong.c_str(), &out, &size), 0);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(sheet_extent_insert_gif(plain.data(), plain.size(), "", &out, &size), 0);
    // Cut inside the colour table, or not a GIF at all.
    EXPECT_EQ(sheet_extent_insert_gif(plain.data(), 13 + 767, "1,2,3,4,5,6,7,8", &out, &size), 0);
    EXPECT_EQ(sheet_extent_insert_gif(plain.data(), 12, "1,2,3,4,5,6,7,8", &out, &size), 0);
    Bytes notGif = plain;
    notGif[0] = 'J';
    EXPECT_EQ(sheet_extent_insert_gif(notGif.data(), notGif.size(), "1,2,3,4,5,6,7,8", &out, &size), 0);
    EXPECT_EQ(out, nullptr);
    // A record of huge numbers does not fit one sub-block.
    SheetExtent huge = sample_extent;
    huge.maxX = 1e250;
    char text[1024];
    ASSERT_GT(sheet_extent_format(text, sizeof text, &huge), 255);
    EXPECT_EQ(sheet_extent_insert_gif(plain.data(), plain.size(), text, &out, &size), 0);
    // ... while the JPEG segment holds it.
    TempTree tmp;
    Bytes jpeg = makeJpeg(tmp, 16, 16);
    ASSERT_EQ(sheet_extent_insert_jpeg(jpeg.data(), jpeg.size(), text, &out, &size), 1);
    free(out);
}

TEST(SheetExtents, JpegSheetRoundTripDecodesUnchanged) {
    TempTree tmp;
    const std::string maps = tmp.maps();
    Bytes plain = makeJpeg(tmp, 40, 30);
    ASSERT_GT(plain.size(), 200u);
    std::string rec = recordOf(sample_extent);
    Bytes sheet = withJpegRecord(plain, rec);
    ASSERT_EQ(sheet.size(), plain.size() + 4 + rec.size());
    EXPECT_EQ(sheet[158], 0xFF);
    EXPECT_EQ(sheet[159], 0xFE);
    EXPECT_EQ(sheet[160] * 256 + sheet[161], static_cast<int>(rec.size() + 2));
    EXPECT_EQ(sheet[162 + rec.size()], 0xFF);
    writeBytes(pathOf(maps, 46, -76, 1, 0, SHEET_JPEG), sheet);

    double cx = 0, cy = 0, x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    ASSERT_TRUE(sheet_extent_read_stored_jpeg(46, -76, 1, maps.c_str(), 0, &cx, &cy, &x0, &y0, &x1, &y1));
    EXPECT_DOUBLE_EQ(cx, 1470000.25);
    EXPECT_DOUBLE_EQ(y0, -215000.0);
    EXPECT_DOUBLE_EQ(y1, -185000.0);
    EXPECT_FALSE(sheet_extent_read_stored(46, -76, 1, maps.c_str(), 0, &cx, &cy, &x0, &y0, &x1, &y1));

    unsigned char *a = nullptr, *b = nullptr;
    int aw = 0, ah = 0, bw = 0, bh = 0;
    ASSERT_TRUE(sheet_image_decode_file(tmp.file("plain.jpg").c_str(), SHEET_JPEG, &a, &aw, &ah));
    ASSERT_TRUE(sheet_image_decode_file(pathOf(maps, 46, -76, 1, 0, SHEET_JPEG).c_str(), SHEET_JPEG, &b, &bw, &bh));
    ASSERT_EQ(aw, 40);
    ASSERT_EQ(ah, 30);
    ASSERT_EQ(bw, aw);
    ASSERT_EQ(bh, ah);
    EXPECT_EQ(0, memcmp(a, b, static_cast<size_t>(aw) * ah * 3));
    free(a);
    free(b);
}

TEST(SheetExtents, JpegRecordOnlyAtItsPlace) {
    TempTree tmp;
    const std::string maps = tmp.maps();
    Bytes plain = makeJpeg(tmp, 16, 16);
    double v[6] = {0, 0, 0, 0, 0, 0};
    // A JPEG without the record, and one whose comment comes later.
    writeBytes(pathOf(maps, 46, -76, 1, 0, SHEET_JPEG), plain);
    EXPECT_FALSE(sheet_extent_read_stored_jpeg(46, -76, 1, maps.c_str(), 0, &v[0], &v[1], &v[2], &v[3], &v[4], &v[5]));
    Bytes sheet = withJpegRecord(plain, recordOf(sample_extent));
    sheet.insert(sheet.begin() + 158, {0xFF, 0xFE, 0x00, 0x04, 'a', 'b'});
    writeBytes(pathOf(maps, 46, -76, 1, 0, SHEET_JPEG), sheet);
    EXPECT_FALSE(sheet_extent_read_stored_jpeg(46, -76, 1, maps.c_str(), 0, &v[0], &v[1], &v[2], &v[3], &v[4], &v[5]));
    for (double x : v) EXPECT_EQ(x, 0);

    // The writer refuses a JPEG whose segments are laid out otherwise.
    unsigned char* out = nullptr;
    size_t size = 0;
    Bytes shifted = plain;
    shifted.insert(shifted.begin() + 2, {0xFF, 0xFE, 0x00, 0x03, 'x'});
    EXPECT_EQ(sheet_extent_insert_jpeg(shifted.data(), shifted.size(), "1,2,3,4,5,6,7,8", &out, &size), 0);
    EXPECT_EQ(sheet_extent_insert_jpeg(plain.data(), 158, "1,2,3,4,5,6,7,8", &out, &size), 0);
    Bytes gif = smallGifSheet();
    EXPECT_EQ(sheet_extent_insert_jpeg(gif.data(), gif.size(), "1,2,3,4,5,6,7,8", &out, &size), 0);
    std::string tooLong(SHEET_JPEG_RECORD_MAX + 1, '1');
    EXPECT_EQ(sheet_extent_insert_jpeg(plain.data(), plain.size(), tooLong.c_str(), &out, &size), 0);
    EXPECT_EQ(out, nullptr);
}

TEST(SheetExtents, TruncatedAndDamagedSheetsNeverReadAndKeepOutputs) {
    TempTree tmp;
    const std::string maps = tmp.maps();
    std::string rec = recordOf(sample_extent);
    struct Case {
        int format;
        Bytes sheet;
        size_t recordEnd;
    } cases[] = {
        {SHEET_GIF, withGifRecord(smallGifSheet(), rec), 13 + 768 + 3 + rec.size()},
        {SHEET_JPEG, withJpegRecord(makeJpeg(tmp, 16, 16), rec), 158 + 4 + rec.size()},
    };
    for (const Case& c : cases) {
        ASSERT_FALSE(c.sheet.empty());
        std::string path = pathOf(maps, 46, -76, 1, 0, c.format);
        auto read = [&](double* v) {
            return c.format == SHEET_JPEG
                       ? sheet_extent_read_stored_jpeg(46, -76, 1, maps.c_str(), 0, &v[0], &v[1], &v[2], &v[3], &v[4], &v[5])
                       : sheet_extent_read_stored(46, -76, 1, maps.c_str(), 0, &v[0], &v[1], &v[2], &v[3], &v[4], &v[5]);
        };
        for (size_t cut = 0; cut <= c.recordEnd; cut++) {
            writeBytes(path, Bytes(c.sheet.begin(), c.sheet.begin() + cut));
            double v[6] = {-1, -1, -1, -1, -1, -1};
            bool ok = read(v);
            // The record needs every one of its bytes, nothing after it.
            EXPECT_EQ(ok, cut == c.recordEnd) << c.format << " cut " << cut;
            if (!ok) {
                for (double x : v) EXPECT_EQ(x, -1);
            }
        }
        // A record cut short by its own length byte is refused, even
        // when the bytes after it would complete the numbers.
        Bytes shortLen = c.sheet;
        if (c.format == SHEET_GIF)
            shortLen[13 + 768 + 2] = 30;
        else
            shortLen[161] = 30;
        writeBytes(path, shortLen);
        double v[6] = {-1, -1, -1, -1, -1, -1};
        EXPECT_FALSE(read(v));
        remove(path.c_str());
        EXPECT_FALSE(read(v));
    }
}

// ---- loading and the display bitmap ----

TEST(SheetImage, LoadReplacesPixelsOnlyOnSuccess) {
    TempTree tmp;
    headless_install();
    const std::string maps = tmp.maps();
    Bytes indices = mapLikeIndices(30, 20);
    std::string good = pathOf(maps, 46, -76, 1);
    writeBytes(good, withGifRecord(makeGif(30, 20, indices), recordOf(sample_extent)));

    unsigned char* pixels = static_cast<unsigned char*>(malloc(12));
    int w = 2, h = 2;
    ASSERT_TRUE(sheet_image_load(good.c_str(), 0, &pixels, &w, &h));
    EXPECT_EQ(w, 30);
    EXPECT_EQ(h, 20);
    Bytes expect = expectedRgb(indices);
    EXPECT_EQ(0, memcmp(pixels, expect.data(), expect.size()));

    // A missing GIF fails quietly and keeps the image.
    unsigned char* kept = pixels;
    Result missing = sheet_image_load(pathOf(maps, 47, -76, 1).c_str(), 0, &pixels, &w, &h);
    EXPECT_FALSE(missing);
    EXPECT_EQ(missing.why, "");
    EXPECT_EQ(pixels, kept);
    EXPECT_EQ(w, 30);
    EXPECT_TRUE(headless_calls_of("message_box").empty());

    // A sheet that does not decode is deleted and reported.
    std::string bad = pathOf(maps, 48, -76, 1);
    Bytes broken = readBytes(good);
    broken.resize(13 + 768 + 3 + 10);  // cut inside the record
    writeBytes(bad, broken);
    Result broke = sheet_image_load(bad.c_str(), 0, &pixels, &w, &h);
    EXPECT_FALSE(fs::exists(bad));
    EXPECT_EQ(pixels, kept);
    EXPECT_EQ(w, 30);
    EXPECT_EQ(h, 20);
    EXPECT_EQ(broke.why, "Error in loading the GIF image");   // the window shows it

    // The same for an aerial sheet, with its own message.
    headless_reset();
    std::string badJpeg = pathOf(maps, 46, -76, 1, 0, SHEET_JPEG);
    writeBytes(badJpeg, Bytes{'n', 'o', 't', ' ', 'a', ' ', 'j', 'p', 'e', 'g'});
    broke = sheet_image_load(badJpeg.c_str(), 1, &pixels, &w, &h);
    EXPECT_FALSE(fs::exists(badJpeg));
    EXPECT_EQ(pixels, kept);
    EXPECT_EQ(broke.why, "Error in loading the JPG image");

    // A good aerial sheet loads.
    writeBytes(badJpeg, withJpegRecord(makeJpeg(tmp, 12, 9), recordOf(sample_extent)));
    ASSERT_TRUE(sheet_image_load(badJpeg.c_str(), 1, &pixels, &w, &h));
    EXPECT_EQ(w, 12);
    EXPECT_EQ(h, 9);
    free(pixels);
    platform_install(nullptr);
}

TEST(DisplayBitmap, LayoutPaddingAndColourOrder) {
    headless_install();
    const int w = 5, h = 3;  // 15 bytes a row, padded to 16
    Bytes rgb(w * h * 3);
    for (size_t i = 0; i < rgb.size(); i++) rgb[i] = static_cast<unsigned char>(i + 1);
    unsigned char* header = nullptr;
    unsigned char* bits = nullptr;
    ASSERT_TRUE(map_view_build_bitmap(&header, &bits, rgb.data(), w, h));
    EXPECT_EQ(map_view_bitmap_stride(w), 16);
    EXPECT_EQ(bits, header + 40);
    DisplayBitmapHeader hd;
    memcpy(&hd, header, sizeof hd);
    EXPECT_EQ(hd.size, 40u);
    EXPECT_EQ(hd.width, 5);
    EXPECT_EQ(hd.height, -3);
    EXPECT_EQ(hd.planes, 1);
    EXPECT_EQ(hd.bitCount, 24);
    EXPECT_EQ(hd.compression, 0u);
    EXPECT_EQ(hd.sizeImage, 0u);
    EXPECT_EQ(hd.clrUsed, 0u);
    // Raw little-endian bytes as a blit reads them.
    EXPECT_EQ(header[0], 40);
    EXPECT_EQ(header[8], 0xFD);
    EXPECT_EQ(header[11], 0xFF);
    EXPECT_EQ(header[14], 24);
    for (int y = 0; y < h; y++) {
        for (int x = 0; x < w; x++) {
            const unsigned char* s = &rgb[(y * w + x) * 3];
            const unsigned char* d = bits + y * 16 + x * 3;
            EXPECT_EQ(d[0], s[2]);
            EXPECT_EQ(d[1], s[1]);
            EXPECT_EQ(d[2], s[0]);
        }
        EXPECT_EQ(bits[y * 16 + 15], 0);
    }
    // Rebuilding replaces the block; a 4-pixel row needs no padding.
    ASSERT_TRUE(map_view_build_bitmap(&header, &bits, rgb.data(), 4, 2));
    EXPECT_EQ(map_view_bitmap_stride(4), 12);
    memcpy(&hd, header, sizeof hd);
    EXPECT_EQ(hd.width, 4);
    EXPECT_EQ(hd.height, -2);
    EXPECT_EQ(bits[12], rgb[12 + 2]);
    // Without pixels the existing bitmap stays.
    unsigned char* before = header;
    EXPECT_FALSE(map_view_build_bitmap(&header, &bits, nullptr, 4, 2));
    EXPECT_FALSE(map_view_build_bitmap(&header, &bits, rgb.data(), 0, 2));
    EXPECT_EQ(header, before);
    EXPECT_TRUE(headless_calls_of("message_box").empty());
    free(header);
    platform_install(nullptr);
}

TEST(DisplayBitmap, SheetChangeIntoTheMapView) {
    ZoomLetter none(0);
    TempTree tmp;
    const std::string maps = tmp.maps();
    const int w = 480, h = 360;
    Bytes indices = mapLikeIndices(w, h);
    double lat = zoom_level_snap_latitude(45.40, 2, 0), lon = zoom_level_snap_longitude(-75.70, 2, 0);
    writeBytes(pathOf(maps, lat, lon, 2), withGifRecord(makeGif(w, h, indices), recordOf(sample_extent)));

    map_view_reset(&map_view);
    EXPECT_EQ(map_view.zoomLevel, 2);
    EXPECT_EQ(map_view.lastPanDir, ' ');
    EXPECT_EQ(map_view.imageWidth, 0);
    EXPECT_EQ(map_view.dibHeader, nullptr);
    int level = 2;
    ASSERT_TRUE(find_sheet(&lat, &lon, &level, maps.c_str(), map_view.sheetPath, 0, 1));
    ASSERT_TRUE(sheet_image_load(map_view.sheetPath, 0, &map_view.pixels, &map_view.imageWidth, &map_view.imageHeight));
    ASSERT_TRUE(map_view_build_bitmap(&map_view.dibHeader, &map_view.dibBits, map_view.pixels, map_view.imageWidth,
                                   map_view.imageHeight));
    Bytes expect = expectedRgb(indices);
    size_t stride = map_view_bitmap_stride(w);
    EXPECT_EQ(stride, 1440u);
    const unsigned char* last = map_view.dibBits + (h - 1) * stride + (w - 1) * 3;
    const unsigned char* src = &expect[((h - 1) * w + (w - 1)) * 3];
    EXPECT_EQ(last[0], src[2]);
    EXPECT_EQ(last[2], src[0]);
    map_view_reset(&map_view);
    EXPECT_EQ(map_view.pixels, nullptr);
}
