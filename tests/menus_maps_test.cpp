// The menu commands that change the sheet: Open Map from this and other
// maps trees, Reload Map, Big Maps and Satellite Image, with real sheets in
// a temporary maps tree and download doubles in place of the map server.
#include "menus_test_support.h"

namespace {

constexpr double kLat = 45.5, kLon = -(75 + 40 / 60.0);   // the default start sheet at level 2
constexpr double kStep2 = 1 / 6.0;

// A sheet file at path: uniform GIF of palette index, or a JPEG of colour.
void writeGifAt(const std::filesystem::path& path, int w, int h, int index) {
    writeBytes(path.string(), makeGif(w, h, Bytes(static_cast<size_t>(w) * h, static_cast<unsigned char>(index))));
}
void writeJpegAt(const std::string& path, int w, int h, uint32_t colour) {
    std::vector<unsigned char> rgb(static_cast<size_t>(w) * h * 3);
    for (size_t i = 0; i < rgb.size(); i += 3) {
        rgb[i] = static_cast<unsigned char>(colour >> 16);
        rgb[i + 1] = static_cast<unsigned char>(colour >> 8);
        rgb[i + 2] = static_cast<unsigned char>(colour);
    }
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    ASSERT_EQ(1, jpeg_write_rgb(path.c_str(), rgb.data(), w, h));
}

std::string storePath(const char* mapsDir, double lat, double lon, int level, int big, int format) {
    char out[SHEET_PATH_MAX];
    EXPECT_EQ(1, sheet_path(out, sizeof out, mapsDir, lat, lon, level, big, format));
    return out;
}

// Another collection: "<root>/Maps/..." in a folder of its own.
struct OtherTree {
    std::filesystem::path root;
    OtherTree() {
        char pattern[] = "/tmp/kiv_other_XXXXXX";
        root = std::filesystem::canonical(mkdtemp(pattern));
    }
    ~OtherTree() {
        std::error_code ec;
        std::filesystem::remove_all(root, ec);
    }
    std::string maps() const { return (root / "Maps").string(); }
};

std::filesystem::path cwd() { return std::filesystem::canonical(std::filesystem::current_path()); }

}  // namespace

TEST(OpenMapNames, SheetNamesGivePositionLevelAndSize) {
    int big, level;
    double lat, lon;
    ASSERT_EQ(1, open_map_parse_name("/x/Maps/w070/w075n045/mac_z2_w0754000_n0453000.gif", &big, &level, &lat, &lon));
    EXPECT_EQ(0, big);
    EXPECT_EQ(2, level);
    EXPECT_DOUBLE_EQ(45.5, lat);
    EXPECT_DOUBLE_EQ(-(75 + 40 / 60.0), lon);
    ASSERT_EQ(1, open_map_parse_name("mad_z4_e0101530_s0330045.jpg", &big, &level, &lat, &lon));
    EXPECT_EQ(1, big);
    EXPECT_EQ(4, level);
    EXPECT_DOUBLE_EQ(-(33 + 45 / 3600.0), lat);
    EXPECT_DOUBLE_EQ(10 + 15 / 60.0 + 30 / 3600.0, lon);
    ASSERT_EQ(1, open_map_parse_name("maq_z1_w0754000_n0453000.gif", &big, &level, &lat, &lon));
    EXPECT_EQ(0, big);
    ASSERT_EQ(1, open_map_parse_name("maz_z1_w0754000_n0453000.gif", &big, &level, &lat, &lon));
    EXPECT_EQ(1, big);
    ASSERT_EQ(1, open_map_parse_name("max_z1_w0754000_n0453000.gif", &big, &level, &lat, &lon));
    EXPECT_EQ(-1, big);
    // A Web Mercator sheet's name holds its centre to the second: the
    // centre comes back exact from the grid.
    double cLat, cLon;
    const char* why;
    char name[64];
    ASSERT_EQ(VIEW_PLANE_WEB_MERCATOR, world_grid_snap(47.6, 9.56, 4, 0, &cLat, &cLon, &why));
    ASSERT_EQ(1, sheet_file_name(name, sizeof name, cLat, cLon, 4, 0, SHEET_GIF));
    ASSERT_EQ(1, open_map_parse_name(name, &big, &level, &lat, &lon)) << name;
    EXPECT_EQ(4, level);
    EXPECT_DOUBLE_EQ(cLat, lat);
    EXPECT_DOUBLE_EQ(cLon, lon);
    // Not sheet names: a folder with "_z" in it does not count, nor do bad
    // letters, levels or minutes.
    for (const char* p : {"/home/a_zone/photo.gif", "/a/mac_z2_w0754000.gif", "mac_z7_w0754000_n0453000.gif",
                          "mac_z2_x0754000_n0453000.gif", "mac_z2_w0756000_n0453000.gif", "mac_s2_w0754000_n0453000.gif",
                          "/a/mac_z2_w0754000_n0453000.gif/", ""})
        EXPECT_EQ(0, open_map_parse_name(p, &big, &level, &lat, &lon)) << p;
}

TEST(OpenMapNames, TheTreeRootIsAboveTheMapsFolderAndItsSheetFolders) {
    char root[SHEET_PATH_MAX];
    double lat = 45.5, lon = -(75 + 40 / 60.0);
    ASSERT_EQ(1, open_map_tree_root("/data/kiv/Maps/w070/w075n045/mac_z2_w0754000_n0453000.gif", lat, lon, "./Maps",
                                    root, sizeof root));
    EXPECT_STREQ("/data/kiv", root);
    ASSERT_EQ(1, open_map_tree_root("/Maps/w070/w075n045/a.gif", lat, lon, "./Maps", root, sizeof root));
    EXPECT_STREQ("/", root);
    ASSERT_EQ(1, open_map_tree_root("Maps/w070/w075n045/a.gif", lat, lon, "./Maps", root, sizeof root));
    EXPECT_STREQ("", root);
    ASSERT_EQ(1, open_map_tree_root("/d/Karten/w070/w075n045/a.gif", lat, lon, "/srv/Karten", root, sizeof root));
    EXPECT_STREQ("/d", root);
    ASSERT_EQ(1, open_map_tree_root("/d/Maps/sources/wms-1a2b/w070/w075n045/a.gif", lat, lon, "./Maps", root, sizeof root));
    EXPECT_STREQ("/d", root);
    for (const char* p : {"/data/kiv/a.gif", "/data/kiv/Maps/a.gif", "/data/kiv/Maps/w070/a.gif",
                          "/data/kiv/Maps/w070/w075n046/a.gif", "/data/kiv/Maps/w080/w075n045/a.gif",
                          "/data/kiv/OtherMaps/w070/w075n045/a.gif", "/data/kiv/maps/w070/w075n045/a.gif",
                          "/data/Maps/w070/w075n045/sub/a.gif", "/data/Maps/sources/w070/w075n045/a.gif",
                          "/data/Maps/other/x/w070/w075n045/a.gif"})
        EXPECT_EQ(0, open_map_tree_root(p, lat, lon, "./Maps", root, sizeof root)) << p;
    EXPECT_EQ(0, open_map_tree_root("/data/kiv/Maps/w070/w075n045/a.gif", lat, lon, "./Maps", root, 5));
}

TEST_F(MenuTest, OpenMapOfAnotherTreeShowsItsSheetAndMovesTheWorkingFolder) {
    TestSheet home = addSheet(kLat, kLon, 2, 0, 40);
    create();
    OtherTree other;
    double lat = kLat + kStep2, lon = kLon - kStep2;
    std::string file = storePath(other.maps().c_str(), lat, lon, 3, 0, SHEET_GIF);
    writeGifAt(file, 480, 360, 90);
    // Its maps folder keeps another server's sheets at its top.
    writeFile(other.maps() + "/source.txt", "topographic: server http://elsewhere\naerial: server http://elsewhere\n");
    ASSERT_EQ(static_cast<int>(home.colour()), pictureColour());

    headless_set_open_file(file);
    app_command(MENU_OPEN_MAP);
    auto dialogs = headless_calls_of("open_file_dialog");
    ASSERT_EQ(1u, dialogs.size());
    EXPECT_EQ("GIF Files (*.GIF)|*.gif|JPG Files (*.JPG)|*.jpg|All Files (*.*)|*.*", dialogs[0].text);
    EXPECT_EQ("./Maps", dialogs[0].caption);
    EXPECT_EQ(0, dialogs[0].a);
    EXPECT_EQ(static_cast<int>(paletteColour(90)), pictureColour());
    EXPECT_NE(nullptr, map_view.dibHeader);
    EXPECT_EQ(3, map_view.zoomLevel);
    EXPECT_NEAR(lat, map_view.sheetLat, 1e-9);
    EXPECT_NEAR(lon, map_view.sheetLon, 1e-9);
    EXPECT_EQ(0, settings()->autoPan);
    EXPECT_EQ(0, headless_menu_checked(MENU_AUTO_PAN));
    EXPECT_EQ(other.root, cwd());
    EXPECT_EQ(0, strncmp(settings()->mapsDir, "./Maps/sources/server-", 22)) << settings()->mapsDir;
    EXPECT_EQ(1, invalidations(1));
    EXPECT_TRUE(busyBalanced());

    // From now on the settings files are those of the other folder.
    app_command(MENU_BIG_MAPS);
    EXPECT_EQ("COM0\nBig\n", readFile((other.root / "kiv_com.txt").string()));
    EXPECT_EQ("COM0\nSmall\n", readFile((dir / "kiv_com.txt").string()));
}

TEST_F(MenuTest, OpenMapOfABigSheetSetsBigMaps) {
    addSheet(kLat, kLon, 2, 0, 40);
    create();
    std::string file = storePath("./Maps", kLat, -(75 + 20 / 60.0), 2, 1, SHEET_GIF);
    writeGifAt(file, 720, 540, 91);
    headless_set_open_file((dir / file).string());
    app_command(MENU_OPEN_MAP);
    EXPECT_EQ(1, settings()->bigMaps);
    EXPECT_EQ(1, headless_menu_checked(MENU_BIG_MAPS));
    EXPECT_EQ(720, map_view.imageWidth);
    EXPECT_EQ(dir, cwd());
    // The size file follows, so the next start opens big.
    EXPECT_EQ("COM0\nBig\n", readFile("kiv_com.txt"));
}

TEST_F(MenuTest, OpenMapOfAPictureWithoutExtentsDrawsNoMarker) {
    TestSheet home = addSheet(kLat, kLon, 2, 0, 40);
    create("Hair=0\n");
    auto yellowPixels = [] {
        int n = 0;
        for (int y = 0; y < 360; y++)
            for (int x = 0; x < 480; x++) n += panePixel(x, y) == 0xFFFF00;
        return n;
    };
    setFix(kLat, kLon);
    app_paint();
    ASSERT_GT(yellowPixels(), 0);
    writeGifAt(dir / "photo.gif", 480, 360, 92);
    headless_set_open_file((dir / "photo.gif").string());
    app_command(MENU_OPEN_MAP);
    app_paint();
    EXPECT_EQ(static_cast<int>(paletteColour(92)), panePixel(0, 0));
    EXPECT_EQ(0, yellowPixels());
    (void)home;
}

TEST_F(MenuTest, OpenMapOfOtherFilesKeepsPositionOrFolder) {
    addSheet(kLat, kLon, 2, 0, 40);
    create();
    double lat = map_view.sheetLat, lon = map_view.sheetLon;
    // A picture not named as a sheet: shown where the map stood.
    writeGifAt(dir / "photo.gif", 100, 80, 92);
    headless_set_open_file((dir / "photo.gif").string());
    app_command(MENU_OPEN_MAP);
    EXPECT_EQ(static_cast<int>(paletteColour(92)), pictureColour());
    EXPECT_EQ(100, map_view.imageWidth);
    EXPECT_EQ(2, map_view.zoomLevel);
    EXPECT_EQ(lat, map_view.sheetLat);
    EXPECT_EQ(lon, map_view.sheetLon);
    EXPECT_EQ(0, settings()->autoPan);
    EXPECT_EQ(dir, cwd());

    // A sheet lying loose, outside any maps tree: its position, not its folder.
    OtherTree loose;
    std::filesystem::path file = loose.root / "mac_z1_w0760000_n0460000.gif";
    writeGifAt(file, 480, 360, 93);
    headless_set_open_file(file.string());
    app_command(MENU_OPEN_MAP);
    EXPECT_EQ(static_cast<int>(paletteColour(93)), pictureColour());
    EXPECT_EQ(1, map_view.zoomLevel);
    EXPECT_DOUBLE_EQ(46.0, map_view.sheetLat);
    EXPECT_DOUBLE_EQ(-76.0, map_view.sheetLon);
    EXPECT_EQ(dir, cwd());
}

TEST_F(MenuTest, OpenMapOfABrokenFileWarnsAndKeepsTheFile) {
    TestSheet home = addSheet(kLat, kLon, 2, 0, 40);
    create();
    double lat = map_view.sheetLat;
    std::string file = storePath("./Maps", kLat + kStep2, kLon, 2, 0, SHEET_GIF);
    writeBytes(file, Bytes{'G', 'I', 'F', '8', '9', 'a', 1, 2, 3});
    headless_set_open_file((dir / file).string());
    app_command(MENU_OPEN_MAP);
    EXPECT_EQ(1, messages("Error in loading the GIF image"));
    EXPECT_TRUE(fileExists(file));
    EXPECT_EQ(static_cast<int>(home.colour()), pictureColour());
    EXPECT_EQ(lat, map_view.sheetLat);
    EXPECT_EQ(1, settings()->autoPan);
    EXPECT_TRUE(busyBalanced());

    // With aerial images on, the file is read as JPEG.
    settings()->satelliteImage = 1;
    resetCalls();
    writeGifAt(dir / "photo.gif", 10, 10, 3);
    headless_set_open_file((dir / "photo.gif").string());
    app_command(MENU_OPEN_MAP);
    EXPECT_EQ(1, messages("Error in loading the JPG image"));
    EXPECT_TRUE(fileExists((dir / "photo.gif").string()));
}

TEST_F(MenuTest, OpenMapCancelledDoesNothing) {
    addSheet(kLat, kLon, 2, 0, 40);
    create();
    app_command(MENU_OPEN_MAP);
    auto kinds = headless_calls();
    ASSERT_EQ(1u, kinds.size());
    EXPECT_EQ("open_file_dialog", kinds[0].what);
    EXPECT_EQ(1, settings()->autoPan);
}

TEST_F(MenuTest, ReloadMapDownloadsTheSheetAgainOverTheStoredOneWhileOffline) {
    TestSheet home = addSheet(kLat, kLon, 2, 0, 40);
    create("Rose=0\nGrid=1\n");
    sheet_download_hooks = fake_downloads;
    ASSERT_EQ(0, settings()->online);
    download_double.index = 120;
    app_command(MENU_RELOAD_MAP);
    EXPECT_EQ(1, download_double.calls);
    // The stored sheet stays in place until the new one is whole.
    EXPECT_TRUE(download_double.fileExistedAtCall);
    EXPECT_EQ(2, download_double.lastLevel);
    EXPECT_EQ(0, download_double.lastRose);
    EXPECT_EQ(1, download_double.lastGrid);
    EXPECT_DOUBLE_EQ(map_view.sheetLat, download_double.lastLat);
    EXPECT_EQ(static_cast<int>(paletteColour(120)), pictureColour());
    EXPECT_EQ(1, invalidations(1));
    EXPECT_TRUE(busyBalanced());

    // The server down: the stored sheet and the picture stay, and one
    // message says the reload failed.
    download_double.result = 1;
    resetCalls();
    Bytes stored = readBytes(storePath("./Maps", kLat, kLon, 2, 0, SHEET_GIF));
    app_command(MENU_RELOAD_MAP);
    EXPECT_EQ(2, download_double.calls);
    EXPECT_EQ(stored, readBytes(storePath("./Maps", kLat, kLon, 2, 0, SHEET_GIF)));
    EXPECT_EQ(static_cast<int>(paletteColour(120)), pictureColour());
    EXPECT_EQ(1, invalidations(1));
    ASSERT_EQ(1, messageBoxes());
    EXPECT_NE(std::string::npos, headless_calls_of("message_box")[0].text.find("Reload failed"));
    (void)home;
}

TEST_F(MenuTest, ReloadMapOfAnAerialSheetUsesTheAerialDownload) {
    addSheet(kLat, kLon, 2, 0, 40);
    create();
    std::string jpeg = storePath("./Maps", kLat, kLon, 2, 0, SHEET_JPEG);
    writeJpegAt(jpeg, 480, 360, 0x204060);
    settings()->satelliteImage = 1;
    sheet_download_hooks = fake_downloads;
    download_double.aerialColour = 0xC08020;
    app_command(MENU_RELOAD_MAP);
    EXPECT_EQ(0, download_double.calls);
    EXPECT_EQ(1, download_double.aerialCalls);
    EXPECT_TRUE(download_double.fileExistedAtCall);
    EXPECT_TRUE(near(pictureColour(), 0xC08020)) << std::hex << pictureColour();
    // The topographic sheet was not touched.
    EXPECT_TRUE(fileExists(storePath("./Maps", kLat, kLon, 2, 0, SHEET_GIF)));
}

TEST_F(MenuTest, BigMapsSwapsTheSheetAndStoresTheSize) {
    TestSheet small = addSheet(kLat, kLon, 2, 0, 40);
    TestSheet big = addSheet(kLat, kLon, 2, 1, 41);
    create();
    ASSERT_EQ(static_cast<int>(small.colour()), pictureColour());
    app_command(MENU_BIG_MAPS);
    EXPECT_EQ(1, settings()->bigMaps);
    EXPECT_EQ(1, headless_menu_checked(MENU_BIG_MAPS));
    EXPECT_EQ("COM0\nBig\n", readFile("kiv_com.txt"));
    EXPECT_EQ(static_cast<int>(big.colour()), pictureColour());
    EXPECT_EQ(720, map_view.imageWidth);
    EXPECT_DOUBLE_EQ(big.lon, map_view.sheetLon);
    EXPECT_DOUBLE_EQ(big.lat, map_view.sheetLat);
    EXPECT_EQ(1, invalidations(0));
    EXPECT_TRUE(busyBalanced());
    // The window keeps its size.
    app_paint();
    EXPECT_TRUE(headless_calls_of("resize_client").empty());

    app_command(MENU_BIG_MAPS);
    EXPECT_EQ(0, settings()->bigMaps);
    EXPECT_EQ("COM0\nSmall\n", readFile("kiv_com.txt"));
    app_paint();                       // the view composes the sheet taken
    EXPECT_EQ(static_cast<int>(small.colour()), pictureColour());
}

TEST_F(MenuTest, BigMapsWithoutTheOtherSheetKeepsThePictureAndDownloadsWhileOffline) {
    TestSheet small = addSheet(kLat, kLon, 2, 0, 40);
    create();
    app_command(MENU_BIG_MAPS);
    EXPECT_EQ(static_cast<int>(small.colour()), pictureColour());
    EXPECT_EQ("COM0\nBig\n", readFile("kiv_com.txt"));
    EXPECT_DOUBLE_EQ(zoom_level_snap_longitude(small.lon, 2, 1), map_view.sheetLon);
    EXPECT_EQ(0, messageBoxes());

    // The download is asked directly, online or not.
    sheet_download_hooks = fake_downloads;
    app_command(MENU_BIG_MAPS);
    EXPECT_EQ(1, download_double.calls);
    EXPECT_EQ(0, download_double.lastBigMaps);
    EXPECT_EQ(static_cast<int>(small.colour()), pictureColour());
}

TEST_F(MenuTest, BigMapsWithAerialImagesAndNoAerialSheetFallsBackToTopographic) {
    TestSheet small = addSheet(kLat, kLon, 2, 0, 40);
    create();
    sheet_download_hooks = fake_downloads;
    download_double.result = 1;
    settings()->satelliteImage = 1;
    app_command(MENU_BIG_MAPS);
    EXPECT_EQ(1, download_double.aerialCalls);
    EXPECT_EQ(1, messages("No aerial map available"));
    EXPECT_EQ(0, settings()->satelliteImage);
    EXPECT_EQ(0, headless_menu_checked(MENU_SATELLITE_IMAGE));
    EXPECT_EQ(static_cast<int>(small.colour()), pictureColour());
    EXPECT_EQ("COM0\nBig\n", readFile("kiv_com.txt"));
}

// A paint while the box is up (the toolkit runs one inside it) must already
// look for topographic sheets, or it would swap in nothing for Big Maps.
TEST_F(MenuTest, NoAerialSheetSwitchesToTopographicBeforeTheMessage) {
    addSheet(kLat, kLon, 2, 0, 40);
    create();
    sheet_download_hooks = fake_downloads;
    download_double.result = 1;
    settings()->satelliteImage = 1;
    static int aerial_during_box;
    aerial_during_box = -1;
    capture_backend.message_box = [](const char* text, const char*, int) {
        if (text && strcmp(text, "No aerial map available") == 0)
            aerial_during_box = app_window.settings->satelliteImage;
        return static_cast<int>(PLATFORM_ANSWER_OK);
    };
    app_command(MENU_BIG_MAPS);
    EXPECT_EQ(0, aerial_during_box);
}

TEST_F(MenuTest, SatelliteImageOfflineWithoutAnAerialSheetKeepsThePicture) {
    TestSheet small = addSheet(kLat, kLon, 2, 0, 40);
    create();
    double lat = map_view.sheetLat, lon = map_view.sheetLon;
    app_command(MENU_SATELLITE_IMAGE);
    EXPECT_EQ(1, settings()->satelliteImage);
    EXPECT_EQ(1, headless_menu_checked(MENU_SATELLITE_IMAGE));
    EXPECT_EQ(static_cast<int>(small.colour()), pictureColour());
    EXPECT_EQ(0, messageBoxes());
    // The search walked to coarser levels in vain: the sheet stays put.
    EXPECT_EQ(2, map_view.zoomLevel);
    EXPECT_EQ(lat, map_view.sheetLat);
    EXPECT_EQ(lon, map_view.sheetLon);
    EXPECT_EQ(1, invalidations(1));
    EXPECT_TRUE(busyBalanced());

    // Back to topographic: the GIF is found again.
    app_command(MENU_SATELLITE_IMAGE);
    EXPECT_EQ(0, settings()->satelliteImage);
    EXPECT_EQ(static_cast<int>(small.colour()), pictureColour());
}

TEST_F(MenuTest, SatelliteImageOfflineFindsACoarserAerialSheet) {
    addSheet(kLat, kLon, 2, 0, 40);
    create();
    double lat1 = zoom_level_snap_latitude(map_view.sheetLat, 1, 0), lon1 = zoom_level_snap_longitude(map_view.sheetLon, 1, 0);
    writeJpegAt(storePath("./Maps", lat1, lon1, 1, 0, SHEET_JPEG), 480, 360, 0x40A040);
    app_command(MENU_SATELLITE_IMAGE);
    EXPECT_TRUE(near(pictureColour(), 0x40A040)) << std::hex << pictureColour();
    EXPECT_EQ(1, map_view.zoomLevel);
    EXPECT_DOUBLE_EQ(lat1, map_view.sheetLat);
    EXPECT_DOUBLE_EQ(lon1, map_view.sheetLon);
}

TEST_F(MenuTest, SatelliteImageOnlineDownloadsOrFallsBack) {
    TestSheet small = addSheet(kLat, kLon, 2, 0, 40);
    create();
    settings()->online = 1;
    sheet_download_hooks = fake_downloads;
    download_double.aerialColour = 0x8080F0;
    app_command(MENU_SATELLITE_IMAGE);
    EXPECT_EQ(1, download_double.aerialCalls);
    EXPECT_TRUE(near(pictureColour(), 0x8080F0)) << std::hex << pictureColour();

    // Back to topographic through the download (which finds the local file).
    download_double.index = 40;
    app_command(MENU_SATELLITE_IMAGE);
    EXPECT_EQ(1, download_double.calls);
    EXPECT_EQ(static_cast<int>(small.colour()), pictureColour());

    // No aerial sheet at the service.
    download_double.result = 1;
    resetCalls();
    app_command(MENU_SATELLITE_IMAGE);
    EXPECT_EQ(1, messages("No aerial map available"));
    EXPECT_EQ(0, settings()->satelliteImage);
    EXPECT_EQ(0, headless_menu_checked(MENU_SATELLITE_IMAGE));
    EXPECT_EQ(static_cast<int>(small.colour()), pictureColour());
}
