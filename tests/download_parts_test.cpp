// The pieces of a sheet download on their own: request texts, reply pages,
// the whole-GIF check and the storing under a temporary name.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include "maps/lcc.h"
#include "maps/sheet_download_parts.h"
#include "settings/atomic_file.h"
#include "net/connectivity.h"
#include "settings/app_settings.h"
#include "sheet_test_files.h"

namespace fs = std::filesystem;

namespace {

TEST(DownloadRequest, TopographicUrlByteForByte) {
    char url[SHEET_URL_MAX];
    ASSERT_EQ(sheet_download_topo_url(url, sizeof url, "http://maps.example:8080", 1510614.978, -169810.95, 200000, 0, 1,
                                  1, 17.415275),
              1);
    EXPECT_STREQ(url,
                 "http://maps.example:8080/cgi-bin/mapserv?map=/home/atlas/mapdata/english/toporama.map"
                 "&map_web_template=/home/atlas/mapdata/to_zope_new.html&layers=north_arrow%20million_grid%20"
                 "t50k_grid%20grid_50k_3%20other_features%20roads%20hydrography%20boundary%20builtup%20vegetation"
                 "%20populated_places%20railway%20power_network%20manmade_features%20designated_areas"
                 "%20water_features%20water_saturated_soils%20relief%20contours%20toponymy%20contour"
                 "&mapxy=1510614.978000%20-169810.950000&scale=200000&mapsize=480%20360"
                 "&map_northarrow_class_label_angle=17.415275");
    ASSERT_EQ(sheet_download_topo_url(url, sizeof url, "http://h", -1.5, 2.25, 20000000, 1, 0, 0, -9.0), 1);
    EXPECT_STREQ(url,
                 "http://h/cgi-bin/mapserv?map=/home/atlas/mapdata/english/toporama.map"
                 "&map_web_template=/home/atlas/mapdata/to_zope_new.html&layers=other_features%20roads"
                 "%20hydrography%20boundary%20builtup%20vegetation%20populated_places%20railway%20power_network"
                 "%20manmade_features%20designated_areas%20water_features%20water_saturated_soils%20relief"
                 "%20contours%20toponymy%20contour&mapxy=-1.500000%202.250000&scale=20000000&mapsize=720%20540"
                 "&map_northarrow_class_label_angle=-9.000000");
}

TEST(DownloadRequest, AerialUrlByteForByte) {
    char url[SHEET_URL_MAX];
    ASSERT_EQ(sheet_download_aerial_url(url, sizeof url, "http://127.0.0.1:8080", 10, -20, 50000, 0), 1);
    EXPECT_STREQ(url,
                 "http://127.0.0.1:8080/cgi-bin/mapserv?map=/home/atlas/mapdata/english/toporama.map"
                 "&map_web_template=/home/atlas/mapdata/to_zope_new.html&layers=canimage"
                 "&mapxy=10.000000%20-20.000000&scale=50000&mapsize=480%20360");
    ASSERT_EQ(sheet_download_aerial_url(url, sizeof url, "http://h", 0, 0, 50000, 1), 1);
    EXPECT_TRUE(std::string(url).ends_with("&mapsize=720%20540"));
    ASSERT_EQ(sheet_download_image_url(url, sizeof url, "http://h:81", "ntdb12_3.gif"), 1);
    EXPECT_STREQ(url, "http://h:81/tmp/ntdb12_3.gif");
}

TEST(DownloadRequest, UrlsThatDoNotFitAreRefused) {
    std::string root = "http://" + std::string(900, 'a');
    char url[SHEET_URL_MAX];
    EXPECT_EQ(sheet_download_topo_url(url, sizeof url, root.c_str(), 1, 2, 3, 0, 1, 1, 4), 0);
    EXPECT_STREQ(url, "");
    EXPECT_EQ(sheet_download_aerial_url(url, 100, "http://h", 1, 2, 3, 0), 0);
    EXPECT_EQ(sheet_download_image_url(url, 10, "http://h", "ntdb1.gif"), 0);
}

TEST(DownloadRequest, ServerRootFromSettingsOrTheLocalDefault) {
    auto s = std::make_unique<AppSettings>();
    char root[SETTINGS_PATH_MAX];
    ASSERT_EQ(sheet_download_server_root(s.get(), root, sizeof root), 1);
    std::string fallback = NET_DEFAULT_SERVER_URL;
    while (fallback.ends_with("/")) fallback.pop_back();
    EXPECT_EQ(std::string(root), fallback);
    snprintf(s->serverUrl, sizeof s->serverUrl, "http://127.0.0.1:9000//");
    ASSERT_EQ(sheet_download_server_root(s.get(), root, sizeof root), 1);
    EXPECT_STREQ(root, "http://127.0.0.1:9000");
    EXPECT_EQ(sheet_download_server_root(s.get(), root, 8), 0);
}

TEST(DownloadRequest, CentreAndNorthArrowAngle) {
    double x, y, angle;
    ASSERT_EQ(sheet_download_centre_and_angle(45.4215, -75.6972, &x, &y, &angle), 1);
    EXPECT_NEAR(x, 1510614.978, 0.01);
    EXPECT_NEAR(y, -169810.950, 0.01);
    EXPECT_NEAR(angle, 0.9007900864 * (-75.6972 + 95), 1e-6);
    ASSERT_EQ(sheet_download_centre_and_angle(60, -120, &x, &y, &angle), 1);
    EXPECT_NEAR(angle, 0.9007900864 * (-120 + 95), 1e-6);
    // On the central meridian the minute north has the same easting.
    ASSERT_EQ(sheet_download_centre_and_angle(50, -95, &x, &y, &angle), 1);
    EXPECT_EQ(angle, 0.0);
    // One minute north of 89.99 is beyond the pole: no placement.
    EXPECT_EQ(sheet_download_centre_and_angle(89.99, -95, &x, &y, &angle), 0);
    EXPECT_EQ(sheet_download_centre_and_angle(-90, -95, &x, &y, &angle), 0);
}

class DownloadFiles : public ::testing::Test {
protected:
    TempTree tree;
    std::string write(const std::string& text) {
        std::string p = tree.file("reply.htm");
        writeBytes(p, Bytes(text.begin(), text.end()));
        return p;
    }
};

TEST_F(DownloadFiles, ReplyGivesImageAndExtent) {
    SheetReply r;
    std::string p = write(
        "<!-- MapServer Template -->\n<html>\n<table>\n<tr><td>scale</td><td>200000</td></tr>\n"
        "<tr><td>mapext</td><td>1499010.99971 -191245.643073 1532807.092572 -165916.212307</td></tr>\r\n"
        "<tr><td>image</td><td>/tmp/ntdb17134_2.gif</td></tr>\r\n"
        "<tr><td>mapext</td><td>1 2</td></tr>\n");   // after the image: never read
    ASSERT_EQ(sheet_download_parse_reply(p.c_str(), &r), 1);
    EXPECT_STREQ(r.imageName, "ntdb17134_2.gif");
    EXPECT_DOUBLE_EQ(r.minX, 1499010.99971);
    EXPECT_DOUBLE_EQ(r.minY, -191245.643073);
    EXPECT_DOUBLE_EQ(r.maxX, 1532807.092572);
    EXPECT_DOUBLE_EQ(r.maxY, -165916.212307);
}

TEST_F(DownloadFiles, RepliesWithoutBothRowsFail) {
    const char* bad[] = {
        "",
        "<tr><td>mapext</td><td>1 2 3 4</td></tr>\n",
        "<tr><td>image</td><td>/tmp/ntdb1.gif</td></tr>\n",
        "<tr><td>image</td><td>/tmp/ntdb1.gif</td></tr>\n<tr><td>mapext</td><td>1 2 3 4</td></tr>\n",
        "<tr><td>mapext</td><td>1 2 3</td></tr>\n<tr><td>image</td><td>/tmp/ntdb1.gif</td></tr>\n",
        "<tr><td>mapext</td><td>a b c d</td></tr>\n<tr><td>image</td><td>/tmp/ntdb1.gif</td></tr>\n",
        "<tr><td>mapext</td><td>1 2 3 4</td></tr>\n<tr><td>image</td><td>/tmp/ntdb1.gif\n",
        "<tr><td>mapext</td><td>1 2 3 4</td></tr>\n<tr><td>image</td><td>/tmp/ntdb\t1.gif</td></tr>\n",
        "<tr><td>mapext</td><td>1 2 3 4</td></tr>\n<tr><td>image</td><td>/tmp/x.gif</td></tr>\n",
    };
    for (const char* text : bad) {
        SheetReply r;
        std::string p = write(text);
        EXPECT_EQ(sheet_download_parse_reply(p.c_str(), &r), 0) << text;
    }
    SheetReply r;
    EXPECT_EQ(sheet_download_parse_reply(tree.file("missing").c_str(), &r), 0);
}

TEST_F(DownloadFiles, LongLinesAreReadInPiecesWithoutOverrun) {
    std::string text = std::string(40000, 'x') + "<tr><td>mapext</td><td>1 2 3 4</td></tr>\n" +
                       std::string(20000, 'y') + "\n<tr><td>image</td><td>/tmp/ntdb" + std::string(300, 'z') +
                       ".gif</td></tr>\n";
    SheetReply r;
    std::string p = write(text);
    EXPECT_EQ(sheet_download_parse_reply(p.c_str(), &r), 0);   // the name is longer than any server gives
    text = std::string(40000, 'x') + "<tr><td>mapext</td><td>1 2 3 4</td></tr>\n<tr><td>image</td><td>/tmp/ntdb" +
           std::string(200, 'z') + ".gif</td></tr>\n";
    p = write(text);
    EXPECT_EQ(sheet_download_parse_reply(p.c_str(), &r), 1);
    EXPECT_EQ(strlen(r.imageName), 4u + 200u + 4u);
}

TEST(DownloadGif, WholeGifsOnly) {
    Bytes gif = makeGif(40, 30, mapLikeIndices(40, 30));
    ASSERT_EQ(gif_is_complete(gif.data(), gif.size()), 1);
    Bytes local = makeGif(40, 30, mapLikeIndices(40, 30), false);
    EXPECT_EQ(gif_is_complete(local.data(), local.size()), 1);
    // Every cut short of the trailer is incomplete.
    for (size_t n = 0; n < gif.size(); n++) EXPECT_EQ(gif_is_complete(gif.data(), n), 0) << n;
    Bytes html = {'<', 'h', 't', 'm', 'l', '>'};
    EXPECT_EQ(gif_is_complete(html.data(), html.size()), 0);
    Bytes wrong = gif;
    wrong[13 + 768] = 0x99;   // neither image, extension nor trailer
    EXPECT_EQ(gif_is_complete(wrong.data(), wrong.size()), 0);
    // Something else where the trailer belongs.
    Bytes early = gif;
    early.pop_back();
    early.push_back(0x00);
    EXPECT_EQ(gif_is_complete(early.data(), early.size()), 0);
}

TEST(DownloadStore, StoresWholeFilesAndLeavesNothingOnFailure) {
    TempTree tree;
    fs::create_directories(tree.maps());
    std::string target = tree.maps() + "/mac_z2_w0754000_n0452000.gif";
    Bytes data(100000, 7);
    ASSERT_EQ(write_file_atomically(target.c_str(), reinterpret_cast<const char*>(data.data()), data.size()), 1);
    EXPECT_EQ(readBytes(target), data);
    // Replacing keeps one file.
    Bytes other(10, 1);
    ASSERT_EQ(write_file_atomically(target.c_str(), reinterpret_cast<const char*>(other.data()), other.size()), 1);
    EXPECT_EQ(readBytes(target), other);
    int files = 0;
    for (const auto& e : fs::directory_iterator(tree.maps())) files += e.is_regular_file();
    EXPECT_EQ(files, 1);
    // No folder: nothing written anywhere.
    std::string nowhere = tree.maps() + "/none/x.gif";
    EXPECT_EQ(write_file_atomically(nowhere.c_str(), reinterpret_cast<const char*>(data.data()), data.size()), 0);
    EXPECT_FALSE(fs::exists(tree.maps() + "/none"));

    // A write that fails half way (file size limit, as on a full disk)
    // leaves the stored sheet as it was and no partial file beside it.
    struct rlimit old;
    getrlimit(RLIMIT_FSIZE, &old);
    struct rlimit small = {50000, old.rlim_max};
    signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    int result = write_file_atomically(target.c_str(), reinterpret_cast<const char*>(data.data()), data.size());
    std::string fresh = tree.maps() + "/mac_z3_w0754200_n0452100.gif";
    int freshResult = write_file_atomically(fresh.c_str(), reinterpret_cast<const char*>(data.data()), data.size());
    setrlimit(RLIMIT_FSIZE, &old);
    signal(SIGXFSZ, SIG_DFL);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(freshResult, 0);
    EXPECT_EQ(readBytes(target), other);
    EXPECT_FALSE(fs::exists(fresh));
    files = 0;
    for (const auto& e : fs::directory_iterator(tree.maps())) files += e.is_regular_file();
    EXPECT_EQ(files, 1);

    unsigned char* back = nullptr;
    size_t size = 0;
    ASSERT_EQ(sheet_download_read_file(target.c_str(), 10, &back, &size), 1);
    EXPECT_EQ(size, 10u);
    free(back);
    EXPECT_EQ(sheet_download_read_file(target.c_str(), 9, &back, &size), 0);   // over the bound
    EXPECT_EQ(back, nullptr);
    EXPECT_EQ(sheet_download_read_file(tree.maps().c_str(), 1 << 20, &back, &size), 0);   // a folder
}

}  // namespace
