// Sheet downloads against a loopback map server that misbehaves on
// purpose: each case checks what is stored (nothing, or a whole sheet whose
// record reads back), what was asked, and that no temporary file is left.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "download_fault_server.h"
#include "maps/lcc.h"
#include "maps/map_view.h"
#include "maps/sheet_dispatch.h"
#include "maps/sheet_download.h"
#include "maps/sheet_download_parts.h"
#include "maps/sheet_extent.h"
#include "maps/sheet_image.h"
#include "maps/sheet_source.h"
#include "maps/sheet_store.h"
#include "maps/zoom_levels.h"
#include "net/sockets.h"
#include "platform/headless.h"
#include "settings/app_settings.h"
#include "settings/settings_load.h"
#include "sheet_test_files.h"

namespace fs = std::filesystem;

namespace {

// Ottawa's level-2 sheet and the extent a real server gave for it.
const double kLat = 45.0 + 20.0 / 60.0, kLon = -(75.0 + 40.0 / 60.0);
const char kMapext[] = "1499010.999710 -191245.643073 1532807.092572 -165916.212307";

const char kTopoLayers[] =
    "other_features%20roads%20hydrography%20boundary%20builtup%20vegetation%20populated_places%20railway"
    "%20power_network%20manmade_features%20designated_areas%20water_features%20water_saturated_soils"
    "%20relief%20contours%20toponymy%20contour";
const char kMapservPrefix[] =
    "GET /cgi-bin/mapserv?map=/home/atlas/mapdata/english/toporama.map"
    "&map_web_template=/home/atlas/mapdata/to_zope_new.html&layers=";

std::string page(const std::string& image, const std::string& mapext = kMapext) {
    return "<html>\n<head><title>Toporama</title></head>\n<body>\n<table>\n"
           "<tr><td>scale</td><td>200000</td></tr>\n"
           "<tr><td>mapext</td><td>" + mapext + "</td></tr>\n"
           "<tr><td>image</td><td>/tmp/" + image + "</td></tr>\n</table>\n</body>\n</html>\n";
}

std::string asString(const Bytes& b) { return std::string(b.begin(), b.end()); }

// A small sheet-like GIF, different for each seed.
Bytes sheetGif(int w = 480, int h = 360, int seed = 0) {
    Bytes idx = mapLikeIndices(w, h);
    for (size_t i = 0; i < idx.size(); i += 97) idx[i] = static_cast<unsigned char>(seed * 31 + 7);
    return makeGif(w, h, idx);
}

bool startsWith(const std::string& s, const char* prefix) { return s.rfind(prefix, 0) == 0; }

// Mapserv pages and /tmp/ images from two handlers.
FaultServer::Handler route(std::function<FaultReply()> reply, std::function<FaultReply()> image) {
    return [reply, image](const std::string& line) -> FaultReply {
        if (startsWith(line, "GET /cgi-bin/mapserv?")) return reply();
        if (startsWith(line, "GET /tmp/")) return image();
        return faultStatus(404, "Not Found", "<html>no</html>");
    };
}

class DownloadFault : public ::testing::Test {
protected:
    TempTree tree;
    fs::path oldCwd = fs::current_path();
    std::unique_ptr<AppSettings> settings = std::make_unique<AppSettings>();
    char path[SHEET_PATH_MAX] = {};

    void SetUp() override {
        fs::current_path(tree.root);
        setenv("TMPDIR", tree.root.c_str(), 1);   // the temporary files are looked for there
        settings_defaults(settings.get());
        snprintf(settings->mapsDir, sizeof settings->mapsDir, "%s", tree.maps().c_str());
        headless_install();
        net_set_receive_timeout_ms(5000);
    }
    void TearDown() override {
        fs::current_path(oldCwd);
        unsetenv("TMPDIR");
        net_set_receive_timeout_ms(30000);
    }
    void useServer(FaultServer& server) {
        snprintf(settings->serverUrl, sizeof settings->serverUrl, "%s", server.root().c_str());
    }
    Result fetch(double lat = kLat, double lon = kLon, int level = 2, int big = 0, int rose = 1, int grid = 0) {
        return sheet_download_topo(lat, lon, level, settings.get(), path, big, rose, grid);
    }
    std::string expectedPath(int format = SHEET_GIF, double lat = kLat, double lon = kLon, int level = 2) {
        char p[SHEET_PATH_MAX];
        sheet_path(p, sizeof p, tree.maps().c_str(), lat, lon, level, 0, format);
        return p;
    }
    // Everything the downloads leave besides stored sheets and folders.
    std::vector<std::string> leftovers() {
        std::vector<std::string> out;
        for (const auto& e : fs::recursive_directory_iterator(tree.root)) {
            if (!e.is_regular_file()) continue;
            std::string name = e.path().filename().string();
            bool sheet = (startsWith(name, "mac_") || startsWith(name, "mad_")) &&
                         (name.size() == 28) && (name.ends_with(".gif") || name.ends_with(".jpg"));
            if (!sheet) out.push_back(e.path().string());
        }
        return out;
    }
    void expectNothingStored() {
        EXPECT_FALSE(fs::exists(expectedPath()));
        EXPECT_EQ(leftovers(), std::vector<std::string>{});
        int files = 0;
        if (fs::exists(tree.maps()))
            for (const auto& e : fs::recursive_directory_iterator(tree.maps())) files += e.is_regular_file();
        EXPECT_EQ(files, 0);
    }
};

TEST_F(DownloadFault, StoresTheImageWithItsRecordAndAsksExactly) {
    Bytes gif = sheetGif();
    FaultServer server(route([] { return faultOk(page("ntdb1234_5678.gif")); },
                             [&] { return faultOk(asString(gif), "image/gif"); }));
    useServer(server);
    ASSERT_TRUE(fetch().ok);
    EXPECT_EQ(std::string(path), expectedPath());

    double x, y;
    ASSERT_EQ(ll2lcc(&x, &y, kLat, kLon), 1);
    double x1, y1;
    ll2lcc(&x1, &y1, kLat + 1.0 / 60.0, kLon);
    double angle = std::atan((y1 - y) / (x1 - x)) * 180.0 / M_PI + 90.0;
    char tail[256];
    snprintf(tail, sizeof tail, "&mapxy=%lf%%20%lf&scale=200000&mapsize=480%%20360&map_northarrow_class_label_angle=%lf",
             x, y, angle);
    std::vector<std::string> asked = server.requests();
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_EQ(asked[0], kMapservPrefix + std::string("north_arrow%20") + kTopoLayers + tail + " HTTP/1.1");
    EXPECT_EQ(asked[1], "GET /tmp/ntdb1234_5678.gif HTTP/1.1");

    // The stored file is the image with the record after the colour table.
    char record[256];
    SheetExtent e = {200000, x, y, 1499010.999710, -191245.643073, 1532807.092572, -165916.212307, angle};
    sheet_extent_format(record, sizeof record, &e);
    unsigned char* expected = nullptr;
    size_t expectedSize = 0;
    ASSERT_EQ(sheet_extent_insert_gif(gif.data(), gif.size(), record, &expected, &expectedSize), 1);
    Bytes stored = readBytes(path);
    EXPECT_EQ(stored, Bytes(expected, expected + expectedSize));
    free(expected);

    double cx, cy, minX, minY, maxX, maxY;
    ASSERT_TRUE(sheet_extent_read_stored(kLat, kLon, 2, tree.maps().c_str(), 0, &cx, &cy, &minX, &minY, &maxX, &maxY));
    EXPECT_DOUBLE_EQ(minX, 1499010.999710);
    EXPECT_DOUBLE_EQ(maxY, -165916.212307);
    EXPECT_EQ(leftovers(), std::vector<std::string>{});

    // Stored once: the next call asks nothing.
    ASSERT_TRUE(fetch().ok);
    EXPECT_EQ(server.requestCount(), 2);
}

TEST_F(DownloadFault, RoseAndGridChooseTheLeadingLayers) {
    Bytes gif = sheetGif(48, 36);
    FaultServer server(route([] { return faultOk(page("ntdb1.gif")); },
                             [&] { return faultOk(asString(gif), "image/gif"); }));
    useServer(server);
    const std::string base = std::string(kMapservPrefix);
    struct Case {
        int rose, grid;
        std::string layers;
    } cases[] = {
        {0, 0, base + kTopoLayers},
        {1, 0, base + "north_arrow%20" + kTopoLayers},
        {0, 1, base + "million_grid%20t50k_grid%20grid_50k_3%20" + kTopoLayers},
        {1, 1, base + "north_arrow%20million_grid%20t50k_grid%20grid_50k_3%20" + kTopoLayers},
    };
    int level = 0;
    for (const Case& c : cases) {
        // A new sheet each time (another level), so each case asks anew.
        double lat = zoom_level_snap_latitude(45.4, level, 0), lon = zoom_level_snap_longitude(-75.7, level, 0);
        ASSERT_TRUE(fetch(lat, lon, level, 0, c.rose, c.grid).ok) << level;
        std::string line = server.requests()[2 * level];
        EXPECT_EQ(line.substr(0, c.layers.size()), c.layers) << line;
        EXPECT_EQ(line.substr(c.layers.size(), 7), "&mapxy=") << line;
        level++;
    }
    // Big sheets ask for the big size; the scale follows the level.
    double lat = zoom_level_snap_latitude(45.4, 4, 0), lon = zoom_level_snap_longitude(-75.7, 4, 1);
    ASSERT_TRUE(fetch(lat, lon, 4, 1, 0, 0).ok);
    EXPECT_NE(server.requests()[8].find("&scale=20000&mapsize=720%20540&"), std::string::npos);
}

TEST_F(DownloadFault, AngleSignFollowsTheSideOfTheCentralMeridian) {
    Bytes gif = sheetGif(48, 36);
    FaultServer server(route([] { return faultOk(page("ntdb1.gif")); },
                             [&] { return faultOk(asString(gif), "image/gif"); }));
    useServer(server);
    auto angleOf = [](const std::string& line) {
        size_t at = line.find("map_northarrow_class_label_angle=");
        return atof(line.c_str() + at + strlen("map_northarrow_class_label_angle="));
    };
    ASSERT_TRUE(fetch(50, -105, 1).ok);   // west: atan(...) - 90
    ASSERT_TRUE(fetch(50, -85, 1).ok);    // east: atan(...) + 90
    std::vector<std::string> asked = server.requests();
    ASSERT_EQ(asked.size(), 4u);
    double west = angleOf(asked[0]), east = angleOf(asked[2]);
    // Grid north turns by the cone constant times the distance in longitude.
    EXPECT_NEAR(west, 0.9007900864 * (-105 + 95), 0.01);
    EXPECT_NEAR(east, 0.9007900864 * (-85 + 95), 0.01);
    EXPECT_LT(west, 0);
    EXPECT_GT(east, 0);
}

TEST_F(DownloadFault, RepliesThatNameNoUsableImageStoreNothing) {
    struct Case {
        const char* what;
        std::string body;
        int requests;   // 1: the image is never asked for
    } cases[] = {
        {"no image row", "<html>\n<tr><td>mapext</td><td>" + std::string(kMapext) + "</td></tr>\n</html>\n", 1},
        {"image row without ntdb", "<tr><td>mapext</td><td>1 2 3 4</td></tr>\n<tr><td>image</td><td>/tmp/x.gif</td></tr>\n", 1},
        {"three numbers", page("ntdb1.gif", "1499010.999710 -191245.643073 1532807.092572"), 1},
        {"extent after image", "<tr><td>image</td><td>/tmp/ntdb1.gif</td></tr>\n<tr><td>mapext</td><td>" +
                                   std::string(kMapext) + "</td></tr>\n", 1},
        {"empty extent", page("ntdb1.gif", "5 5 5 5"), 1},
        {"name with a space", page("ntdb1 x.gif"), 1},
        {"empty page", "", 1},
    };
    Bytes gif = sheetGif(48, 36);
    for (const Case& c : cases) {
        std::string body = c.body;
        FaultServer server(route([body] { return faultOk(body); },
                                 [&] { return faultOk(asString(gif), "image/gif"); }));
        useServer(server);
        EXPECT_FALSE(fetch().ok) << c.what;
        EXPECT_EQ(server.requestCount(), c.requests) << c.what;
        expectNothingStored();
    }
}

TEST_F(DownloadFault, ImagesThatAreNotWholeGifsStoreNothing) {
    Bytes gif = sheetGif();
    ASSERT_EQ(gif.back(), 0x3B);
    Bytes noTrailer(gif.begin(), gif.end() - 1);
    Bytes halfway(gif.begin(), gif.begin() + gif.size() / 2);
    // Whole in structure, but a code size no decoder accepts.
    Bytes badCodeSize = sheetGif(48, 36);
    size_t at = 13 + 768 + 10;
    ASSERT_EQ(badCodeSize[13 + 768], 0x2C);
    badCodeSize[at] = 13;
    struct Case {
        const char* what;
        FaultReply image;
    } cases[] = {
        {"404 page", faultStatus(404, "Not Found", "<html><body>Not Found</body></html>")},
        {"500 page", faultStatus(500, "Internal Server Error", "GIF89a... not really")},
        {"no trailer", faultOk(asString(noTrailer), "image/gif")},
        {"cut in the middle, length says so", faultOk(asString(halfway), "image/gif")},
        {"cut in the middle, length says more",
         faultRaw(FaultReply::SEND, "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(gif.size()) +
                                        "\r\n\r\n" + asString(halfway))},
        {"connection closed, no reply", faultRaw(FaultReply::CLOSE, "")},
        {"code size 13", faultOk(asString(badCodeSize), "image/gif")},
        {"empty body", faultOk("", "image/gif")},
    };
    for (const Case& c : cases) {
        FaultReply image = c.image;
        FaultServer server(route([] { return faultOk(page("ntdb42.gif")); }, [image] { return image; }));
        useServer(server);
        EXPECT_FALSE(fetch().ok) << c.what;
        EXPECT_EQ(server.requestCount(), 2) << c.what;
        expectNothingStored();
    }
}

TEST_F(DownloadFault, ChunkedRepliesAreReadWhole) {
    Bytes gif = sheetGif();
    FaultServer server(route([] { return faultChunked(page("ntdb7.gif"), 19); },
                             [&] { return faultChunked(asString(gif), 1000, "image/gif"); }));
    useServer(server);
    ASSERT_TRUE(fetch().ok);
    unsigned char* pixels = nullptr;
    int w = 0, h = 0;
    ASSERT_EQ(sheet_image_decode_file(path, SHEET_GIF, &pixels, &w, &h), 1);
    free(pixels);
    EXPECT_EQ(w, 480);
    EXPECT_EQ(h, 360);
    // Exactly the image plus the record: no chunk framing stored.
    char record[256];
    EXPECT_EQ(fs::file_size(path), gif.size() + 4 + sheet_extent_read_record(path, SHEET_GIF, record, sizeof record));
    EXPECT_EQ(leftovers(), std::vector<std::string>{});
}

TEST_F(DownloadFault, SilentServerEndsInATimeOut) {
    net_set_receive_timeout_ms(300);
    Bytes gif = sheetGif(48, 36);
    {
        FaultServer server(route([] { return faultRaw(FaultReply::HOLD, ""); },
                                 [&] { return faultOk(asString(gif), "image/gif"); }));
        useServer(server);
        EXPECT_FALSE(fetch().ok);
        EXPECT_EQ(server.requestCount(), 1);
        expectNothingStored();
    }
    {
        // The image stalls half way.
        std::string half = asString(gif).substr(0, gif.size() / 2);
        FaultServer server(route([] { return faultOk(page("ntdb3.gif")); },
                                 [&] {
                                     return faultRaw(FaultReply::SEND_AND_HOLD,
                                                     "HTTP/1.1 200 OK\r\nContent-Length: " +
                                                         std::to_string(gif.size()) + "\r\n\r\n" + half);
                                 }));
        useServer(server);
        EXPECT_FALSE(fetch().ok);
        expectNothingStored();
    }
}

TEST_F(DownloadFault, NoServerNoSheet) {
    // A port nothing listens on (taken and released).
    int port;
    {
        FaultServer gone([](const std::string&) { return FaultReply{}; });
        port = gone.port();
    }
    snprintf(settings->serverUrl, sizeof settings->serverUrl, "http://127.0.0.1:%d", port);
    EXPECT_FALSE(fetch().ok);
    expectNothingStored();
}

TEST_F(DownloadFault, StoredSheetIsUsedWithoutAsking) {
    FaultServer server([](const std::string&) { return faultStatus(500, "No", ""); });
    useServer(server);
    std::string stored = expectedPath();
    writeBytes(stored, Bytes{'k', 'e', 'e', 'p'});
    EXPECT_TRUE(fetch().ok);
    EXPECT_EQ(std::string(path), stored);
    EXPECT_EQ(readBytes(stored), (Bytes{'k', 'e', 'e', 'p'}));
    std::string aerial = expectedPath(SHEET_JPEG);
    writeBytes(aerial, Bytes{'j'});
    EXPECT_TRUE(sheet_download_aerial(kLat, kLon, 2, settings.get(), path, 0).ok);
    EXPECT_EQ(std::string(path), aerial);
    EXPECT_EQ(server.requestCount(), 0);
}

TEST_F(DownloadFault, PointsTheProjectionCannotPlaceAskNothing) {
    FaultServer server([](const std::string&) { return faultStatus(500, "No", ""); });
    useServer(server);
    EXPECT_FALSE(fetch(95, -75, 1).ok);
    EXPECT_FALSE(fetch(45, -190, 1).ok);
    EXPECT_FALSE(fetch(NAN, -75, 1).ok);
    EXPECT_FALSE(fetch(45, -75, 7).ok);
    EXPECT_EQ(server.requestCount(), 0);
    EXPECT_EQ(leftovers(), std::vector<std::string>{});
}

TEST_F(DownloadFault, AFailedRenameLeavesNoPartialFile) {
    Bytes gif = sheetGif(48, 36);
    FaultServer server(route([] { return faultOk(page("ntdb1.gif")); },
                             [&] { return faultOk(asString(gif), "image/gif"); }));
    useServer(server);
    // A folder where the sheet should go: the sheet cannot be renamed there.
    fs::create_directories(fs::path(expectedPath()) / "inside");
    EXPECT_FALSE(fetch().ok);
    EXPECT_TRUE(fs::is_directory(expectedPath()));
    EXPECT_EQ(leftovers(), std::vector<std::string>{});
}

TEST_F(DownloadFault, TrailingSlashOfTheServerRootIsDropped) {
    Bytes gif = sheetGif(48, 36);
    FaultServer server(route([] { return faultOk(page("ntdb1.gif")); },
                             [&] { return faultOk(asString(gif), "image/gif"); }));
    snprintf(settings->serverUrl, sizeof settings->serverUrl, "%s/", server.root().c_str());
    ASSERT_TRUE(fetch().ok);
    EXPECT_TRUE(startsWith(server.requests()[0], "GET /cgi-bin/mapserv?map="));
    EXPECT_EQ(server.requests()[1], "GET /tmp/ntdb1.gif HTTP/1.1");
}

// The maps folder keeps the sheets of one map server address (a store of
// before source records takes the one in use); another address has its own.
TEST_F(DownloadFault, EachServerAddressKeepsItsOwnSheets) {
    auto serving = [](std::string west) {
        return route([west] { return faultOk(page("ntdb1.gif", west + (kMapext + west.size()))); },
                     [] { return faultOk(asString(sheetGif(48, 36)), "image/gif"); });
    };
    FaultServer a(serving("1499010")), b(serving("1499020"));
    auto westIn = [&](FaultServer& server) {   // of the sheet in the store picked, 0 for none
        useServer(server);
        EXPECT_TRUE(sheet_source_select_store(settings.get()).ok);
        double e[6] = {};
        sheet_extent_read_stored(kLat, kLon, 2, settings->mapsDir, 0, &e[0], &e[1], &e[2], &e[3], &e[4], &e[5]);
        return static_cast<long>(e[2]);
    };
    useServer(a);
    ASSERT_TRUE(fetch().ok);
    EXPECT_EQ(1499010, westIn(a));
    EXPECT_EQ(0, westIn(b));
    ASSERT_TRUE(fetch().ok);
    EXPECT_EQ(1499020, westIn(b));
    EXPECT_EQ(1499010, westIn(a));
    EXPECT_EQ(tree.maps(), settings->mapsDir);
}

// Two programs in one folder download at the same time: each must read its
// own reply and image, whatever the other writes meanwhile. The images are
// staged so that with one shared file name the second program's image would
// end up written over the first's: B sends half, A all, then B the rest.
TEST_F(DownloadFault, TwoProcessesInOneFolderKeepTheirOwnFiles) {
    Bytes gifA = sheetGif(480, 360, 1), gifB = sheetGif(480, 360, 2);
    const double latB = kLat, lonB = kLon + 10.0 / 60.0;
    char xB[32];
    {
        double x, y;
        ll2lcc(&x, &y, latB, lonB);
        snprintf(xB, sizeof xB, "mapxy=%lf", x);
    }
    std::string b = xB;
    std::mutex m;
    std::condition_variable cv;
    bool bHalfSent = false, aSent = false;
    auto waitFor = [&](bool* flag) {
        std::unique_lock<std::mutex> lock(m);
        cv.wait_for(lock, std::chrono::seconds(5), [&] { return *flag; });
    };
    auto raise = [&](bool* flag) {
        {
            std::lock_guard<std::mutex> lock(m);
            *flag = true;
        }
        cv.notify_all();
    };
    FaultServer* self = nullptr;
    FaultServer server([&, b](const std::string& line) -> FaultReply {
        bool isB = line.find(b) != std::string::npos || line.find("ntdbB") != std::string::npos;
        if (startsWith(line, "GET /cgi-bin/")) {
            self->waitForRequests(2);   // both replies are in flight together
            return faultOk(page(isB ? "ntdbB.gif" : "ntdbA.gif", isB ? "1 2 3 4" : "5 6 7 8"));
        }
        self->waitForRequests(4);
        if (isB) {
            std::string whole = asString(gifB);
            FaultReply r = faultRaw(FaultReply::SEND, "HTTP/1.1 200 OK\r\nContent-Length: " +
                                                          std::to_string(whole.size()) + "\r\n\r\n" +
                                                          whole.substr(0, whole.size() / 2));
            r.pause = [&] {
                raise(&bHalfSent);
                waitFor(&aSent);
                std::this_thread::sleep_for(std::chrono::milliseconds(200));   // A has read its image
            };
            r.rest = whole.substr(whole.size() / 2);
            return r;
        }
        waitFor(&bHalfSent);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));   // B has written its half
        FaultReply r = faultOk(asString(gifA), "image/gif");
        r.after = [&] { raise(&aSent); };
        return r;
    });
    self = &server;
    useServer(server);
    pid_t child = fork();
    if (child == 0) {
        char p[SHEET_PATH_MAX];
        _exit(sheet_download_topo(latB, lonB, 2, settings.get(), p, 0, 1, 0).ok ? 0 : 1);
    }
    Result mine = fetch();
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(mine.ok) << mine.why;
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(server.requestCount(), 4);

    auto pixelsOf = [](const std::string& p) {
        unsigned char* px = nullptr;
        int w = 0, h = 0;
        sheet_image_decode_file(p.c_str(), SHEET_GIF, &px, &w, &h);
        Bytes out(px, px + (px ? static_cast<size_t>(w) * h * 3 : 0));
        free(px);
        return out;
    };
    auto expectedPixels = [&](const Bytes& gif) {
        std::string tmp = tree.file("expected.gif");
        writeBytes(tmp, gif);
        unsigned char* px = nullptr;
        int w = 0, h = 0;
        sheet_image_decode_file(tmp.c_str(), SHEET_GIF, &px, &w, &h);
        Bytes out(px, px + (px ? static_cast<size_t>(w) * h * 3 : 0));
        free(px);
        remove(tmp.c_str());
        return out;
    };
    EXPECT_EQ(pixelsOf(expectedPath()), expectedPixels(gifA));
    EXPECT_EQ(pixelsOf(expectedPath(SHEET_GIF, latB, lonB)), expectedPixels(gifB));
    double cx, cy, minX, minY, maxX, maxY;
    ASSERT_TRUE(sheet_extent_read_stored(latB, lonB, 2, tree.maps().c_str(), 0, &cx, &cy, &minX, &minY, &maxX, &maxY));
    EXPECT_EQ(minX, 1);
    ASSERT_TRUE(sheet_extent_read_stored(kLat, kLon, 2, tree.maps().c_str(), 0, &cx, &cy, &minX, &minY, &maxX, &maxY));
    EXPECT_EQ(minX, 5);
    EXPECT_EQ(leftovers(), std::vector<std::string>{});
}

// Temporary files go to the temporary folder, never the working folder
// (which may take no file).
TEST_F(DownloadFault, TemporaryNamesAreOwnedByProcessAndCall) {
    SheetTempFiles a, b;
    sheet_download_temp_files_make(&a);
    sheet_download_temp_files_make(&b);
    std::string pid = tree.root.string() + "/tmp_map." + std::to_string(getpid()) + ".";
    EXPECT_TRUE(startsWith(a.reply, pid.c_str())) << a.reply;
    EXPECT_TRUE(std::string(a.reply).ends_with(".htm"));
    EXPECT_TRUE(std::string(a.image).ends_with(".gif"));
    EXPECT_TRUE(std::string(a.jpeg).ends_with(".jpg"));
    EXPECT_STRNE(a.reply, b.reply);
    EXPECT_STRNE(a.image, b.image);
}

TEST_F(DownloadFault, AerialSheetsAreJpegWithTheRecordAfterTheFixedPrefix) {
    Bytes gif = sheetGif();
    FaultServer server(route([] { return faultOk(page("ntdb9.gif")); },
                             [&] { return faultOk(asString(gif), "image/gif"); }));
    useServer(server);
    // The topographic sheet of the point does not stand in for the aerial one.
    writeBytes(expectedPath(), sheetGif(48, 36));
    ASSERT_TRUE(sheet_download_aerial(kLat, kLon, 2, settings.get(), path, 0).ok);
    EXPECT_EQ(std::string(path), expectedPath(SHEET_JPEG));
    std::vector<std::string> asked = server.requests();
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_TRUE(startsWith(asked[0], (kMapservPrefix + std::string("canimage&mapxy=")).c_str())) << asked[0];
    EXPECT_TRUE(asked[0].ends_with("&scale=200000&mapsize=480%20360 HTTP/1.1")) << asked[0];

    Bytes stored = readBytes(path);
    ASSERT_GT(stored.size(), 200u);
    EXPECT_EQ(stored[SHEET_JPEG_RECORD_OFFSET], 0xFF);
    EXPECT_EQ(stored[SHEET_JPEG_RECORD_OFFSET + 1], 0xFE);
    double cx, cy, minX, minY, maxX, maxY;
    ASSERT_TRUE(sheet_extent_read_stored_jpeg(kLat, kLon, 2, tree.maps().c_str(), 0, &cx, &cy, &minX, &minY, &maxX, &maxY));
    EXPECT_DOUBLE_EQ(minY, -191245.643073);
    unsigned char* pixels = nullptr;
    int w = 0, h = 0;
    ASSERT_EQ(sheet_image_decode_file(path, SHEET_JPEG, &pixels, &w, &h), 1);
    free(pixels);
    EXPECT_EQ(w, 480);
    EXPECT_EQ(h, 360);
    EXPECT_EQ(headless_calls_of("message_box").size(), 0u);
    EXPECT_EQ(leftovers(), std::vector<std::string>{});
}

// The reason goes back to the caller; the download (on a worker thread in
// the window) shows no message itself.
TEST_F(DownloadFault, ARefusedSheetIsReportedToTheCaller) {
    struct {
        FaultReply page, image;
        const char* says;
    } cases[] = {
        {faultOk(page("ntdb9.gif")), faultStatus(404, "Not Found", "<html>gone</html>"),
         "The map server answered HTTP 404"},
        {faultOk(page("ntdb9.gif")), faultOk("garbage", "image/gif"), "The map server sent no readable GIF image"},
        {faultStatus(500, "Internal Server Error", "<html>down</html>"), faultOk(""), "The map server answered HTTP 500"},
        {faultOk("<html>busy</html>"), faultOk(""), "The map server's reply names no sheet image with its extent: busy"},
        {faultOk("<HTML><HEAD><TITLE>MapServer Message</TITLE></HEAD>\n<!-- MapServer version 8.0 -->\n<BODY "
                 "BGCOLOR=\"#FFFFFF\">\nmsDrawMap(): Image handling error.\n<br>SetAttributeFilter() failed</BODY>"),
         faultOk(""),
         "The map server's reply names no sheet image with its extent: MapServer Message msDrawMap(): Image "
         "handling error. SetAttributeFilter() failed"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.says);
        FaultServer server(route([&] { return c.page; }, [&] { return c.image; }));
        useServer(server);
        for (int aerial : {0, 1}) {
            Result got = aerial ? sheet_download_aerial(kLat, kLon, 2, settings.get(), path, 0) : fetch();
            EXPECT_FALSE(got.ok);
            EXPECT_EQ(got.why, c.says);
            EXPECT_FALSE(fs::exists(expectedPath(aerial ? SHEET_JPEG : SHEET_GIF)));
        }
    }
    EXPECT_TRUE(headless_calls_of("message_box").empty());
    EXPECT_EQ(leftovers(), std::vector<std::string>{});
}

TEST_F(DownloadFault, DispatchUsesTheInstalledDownloads) {
    Bytes gif = sheetGif(48, 36);
    FaultServer server(route([] { return faultOk(page("ntdb1.gif")); },
                             [&] { return faultOk(asString(gif), "image/gif"); }));
    useServer(server);
    sheet_download_install();
    double lat = kLat, lon = kLon;
    int level = 2;
    EXPECT_TRUE(sheet_dispatch_for_jump(1, 0, &lat, &lon, &level, settings.get(), path, 0, 1, 0).ok);
    EXPECT_EQ(std::string(path), expectedPath());
    EXPECT_EQ(server.requestCount(), 2);
}

}  // namespace
