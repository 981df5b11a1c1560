// Sheets from a WMS GetMap source against a loopback server: the request
// text, the stores each image format goes to, and replies that are no sheet
// (a ServiceException, a wrong size, a damaged or oversized PNG).
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <zlib.h>

#include <csignal>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include "download_fault_server.h"
#include "maps/jpeg_sheet.h"
#include "maps/map_view.h"
#include "maps/png_sheet.h"
#include "maps/sheet_download.h"
#include "maps/sheet_download_parts.h"
#include "maps/sheet_extent.h"
#include "maps/sheet_image.h"
#include "maps/sheet_reload.h"
#include "maps/sheet_store.h"
#include "maps/wms_request.h"
#include "net/sockets.h"
#include "platform/headless.h"
#include "settings/app_settings.h"
#include "settings/settings_load.h"
#include "sheet_test_files.h"

namespace fs = std::filesystem;

namespace {

const double kLat = 45.0 + 20.0 / 60.0, kLon = -(75.0 + 40.0 / 60.0);

std::string asString(const Bytes& b) { return std::string(b.begin(), b.end()); }

Bytes rgb(int w, int h) {
    Bytes p(static_cast<size_t>(w) * h * 3);
    for (size_t i = 0; i < p.size(); i++) p[i] = static_cast<unsigned char>((i * 7) / 3);
    return p;
}

Bytes pngOf(int w, int h) {
    Bytes pixels = rgb(w, h);
    unsigned char* out = nullptr;
    size_t size = 0;
    png_write_rgb_memory(pixels.data(), w, h, &out, &size);
    Bytes b(out, out + size);
    free(out);
    return b;
}

Bytes jpegOf(int w, int h, const std::string& file) {
    Bytes pixels = rgb(w, h);
    jpeg_write_rgb(file.c_str(), pixels.data(), w, h);
    Bytes b = readBytes(file);
    remove(file.c_str());
    return b;
}

void chunk(Bytes* png, const char* type, const Bytes& data) {
    unsigned char head[8] = {static_cast<unsigned char>(data.size() >> 24), static_cast<unsigned char>(data.size() >> 16),
                             static_cast<unsigned char>(data.size() >> 8), static_cast<unsigned char>(data.size())};
    memcpy(head + 4, type, 4);
    png->insert(png->end(), head, head + 8);
    png->insert(png->end(), data.begin(), data.end());
    uLong crc = crc32(crc32(0L, head + 4, 4), data.data(), static_cast<uInt>(data.size()));
    for (int s = 24; s >= 0; s -= 8) png->push_back(static_cast<unsigned char>(crc >> s));
}

// A whole, valid one-bit palette PNG of w x h: a few kilobytes however
// many pixels it declares.
Bytes palettePng(uint32_t w, uint32_t h) {
    Bytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    Bytes ihdr = {static_cast<unsigned char>(w >> 24), static_cast<unsigned char>(w >> 16),
                  static_cast<unsigned char>(w >> 8),  static_cast<unsigned char>(w),
                  static_cast<unsigned char>(h >> 24), static_cast<unsigned char>(h >> 16),
                  static_cast<unsigned char>(h >> 8),  static_cast<unsigned char>(h), 1, 3, 0, 0, 0};
    chunk(&png, "IHDR", ihdr);
    chunk(&png, "PLTE", Bytes{255, 255, 255});
    Bytes raw(static_cast<size_t>(h) * (1 + (w + 7) / 8), 0);
    uLongf size = compressBound(static_cast<uLong>(raw.size()));
    Bytes z(size);
    compress(z.data(), &size, raw.data(), static_cast<uLong>(raw.size()));
    z.resize(size);
    chunk(&png, "IDAT", z);
    chunk(&png, "IEND", Bytes{});
    return png;
}

TEST(WmsRequest, GetMapUrlByteForByte) {
    WmsBox box = {1499010.5, -191245.25, 1532807.125, -165916.0};
    struct {
        const char *url, *layers, *styles, *format, *version, *expected;
    } cases[] = {
        {"https://maps.example.ca/wms", "topographic", "", "", "",
         "https://maps.example.ca/wms?SERVICE=WMS&VERSION=1.3.0&REQUEST=GetMap&LAYERS=topographic&STYLES="
         "&CRS=EPSG:3978&BBOX=1499010.500000,-191245.250000,1532807.125000,-165916.000000&WIDTH=480&HEIGHT=360"
         "&FORMAT=image%2Fpng"},
        {"http://h/cgi-bin/mapserv?map=/m.map", "a b,ns:c", "x,", "image/gif", "1.1.1",
         "http://h/cgi-bin/mapserv?map=/m.map&SERVICE=WMS&VERSION=1.1.1&REQUEST=GetMap&LAYERS=a%20b,ns%3Ac"
         "&STYLES=x,&SRS=EPSG:3978&BBOX=1499010.500000,-191245.250000,1532807.125000,-165916.000000&WIDTH=480"
         "&HEIGHT=360&FORMAT=image%2Fgif"},
        {"http://h/wms?", "t", "", "image/tiff", "1.2",
         "http://h/wms?SERVICE=WMS&VERSION=1.3.0&REQUEST=GetMap&LAYERS=t&STYLES=&CRS=EPSG:3978"
         "&BBOX=1499010.500000,-191245.250000,1532807.125000,-165916.000000&WIDTH=480&HEIGHT=360"
         "&FORMAT=image%2Fpng"},
    };
    for (const auto& c : cases) {
        WmsSource s = {};
        snprintf(s.url, sizeof s.url, "%s", c.url);
        snprintf(s.layers, sizeof s.layers, "%s", c.layers);
        snprintf(s.styles, sizeof s.styles, "%s", c.styles);
        snprintf(s.format, sizeof s.format, "%s", c.format);
        snprintf(s.version, sizeof s.version, "%s", c.version);
        char url[SHEET_URL_MAX];
        ASSERT_EQ(wms_get_map_url(url, sizeof url, &s, &box, 480, 360), 1);
        EXPECT_STREQ(url, c.expected);
        EXPECT_EQ(wms_get_map_url(url, strlen(c.expected), &s, &box, 480, 360), 0);
        EXPECT_STREQ(url, "");
    }
}

TEST(WmsRequest, BoxIsTheExtentTheCgiServerGivesForTheSheet) {
    // Ottawa's level-2 sheet: centre and extent as a real server gave them.
    WmsBox b = wms_sheet_box(1515909.046141, -178580.927690, 200000, 480, 360);
    EXPECT_NEAR(b.minX, 1499010.999710, 1e-5);
    EXPECT_NEAR(b.minY, -191245.643073, 1e-5);
    EXPECT_NEAR(b.maxX, 1532807.092572, 1e-5);
    EXPECT_NEAR(b.maxY, -165916.212307, 1e-5);
}

TEST(WmsReply, ServiceExceptionText) {
    struct {
        const char *reply, *message;
    } cases[] = {
        {"<?xml version='1.0' encoding=\"UTF-8\"?>\n<ServiceExceptionReport version=\"1.3.0\" "
         "xmlns=\"http://www.opengis.net/ogc\">\n<ServiceException code=\"LayerNotDefined\">\n"
         "msWMSLoadGetMapParams(): WMS server error. Invalid layer(s) given in the LAYERS parameter.\n"
         "</ServiceException>\n</ServiceExceptionReport>\n",
         "msWMSLoadGetMapParams(): WMS server error. Invalid layer(s) given in the LAYERS parameter."},
        {"  <ServiceExceptionReport><ServiceException><![CDATA[Bad  BBOX & <CRS>]]></ServiceException>"
         "</ServiceExceptionReport>",
         "Bad BBOX & <CRS>"},
        {"<ows:ExceptionReport><ows:Exception><ows:ExceptionText>No &lt;tile&gt;</ows:ExceptionText>"
         "</ows:Exception></ows:ExceptionReport>",
         "No <tile>"},
        {"<x/>", "the service sent an XML reply and no map"},
    };
    for (const auto& c : cases) {
        char out[256];
        ASSERT_EQ(wms_service_message(reinterpret_cast<const unsigned char*>(c.reply), strlen(c.reply), out,
                                    sizeof out),
                  1);
        EXPECT_STREQ(out, c.message);
    }
    char out[8];
    const unsigned char gif[] = "GIF89a<";
    EXPECT_EQ(wms_service_message(gif, 7, out, sizeof out), 0);
    const char* longText = "<e>a long message that is cut</e>";
    EXPECT_EQ(wms_service_message(reinterpret_cast<const unsigned char*>(longText), strlen(longText), out, sizeof out), 1);
    EXPECT_STREQ(out, "a long ");
}

// The PNG reader refuses images over the GIF decoder's bound before
// allocating, and damaged ones without reading past their end.
TEST(PngSheet, OversizedOrDamagedPngsAreRefused) {
    TempTree tree;
    std::string file = tree.file("s.png");
    writeBytes(file, palettePng(4096, 4096 + 1));
    unsigned char* pixels = nullptr;
    int w = 0, h = 0;
    EXPECT_EQ(sheet_image_decode_file(file.c_str(), SHEET_PNG, &pixels, &w, &h), 0);
    EXPECT_EQ(pixels, nullptr);
    writeBytes(file, palettePng(64, 48));
    ASSERT_EQ(sheet_image_decode_file(file.c_str(), SHEET_PNG, &pixels, &w, &h), 1);
    EXPECT_EQ(w * 1000 + h, 64048);
    free(pixels);
    Bytes whole = pngOf(48, 36);
    for (size_t cut : {whole.size() - 13, whole.size() / 2, size_t{40}, size_t{8}}) {
        writeBytes(file, Bytes(whole.begin(), whole.begin() + static_cast<long>(cut)));
        pixels = nullptr;
        EXPECT_EQ(sheet_image_decode_file(file.c_str(), SHEET_PNG, &pixels, &w, &h), 0) << cut;
        EXPECT_EQ(pixels, nullptr);
    }
}

class DownloadWms : public ::testing::Test {
protected:
    TempTree tree;
    fs::path oldCwd = fs::current_path();
    std::unique_ptr<AppSettings> settings = std::make_unique<AppSettings>();
    char path[SHEET_PATH_MAX] = {};
    FaultReply reply;
    FaultServer server{[this](const std::string&) { return reply; }};

    void SetUp() override {
        fs::current_path(tree.root);
        settings_defaults(settings.get());
        snprintf(settings->mapsDir, sizeof settings->mapsDir, "%s", tree.maps().c_str());
        std::string wms = server.root() + "/wms";
        snprintf(settings->wms.url, sizeof settings->wms.url, "%s", wms.c_str());
        snprintf(settings->wms.layers, sizeof settings->wms.layers, "topographic");
        snprintf(settings->wmsAerial.url, sizeof settings->wmsAerial.url, "%s", wms.c_str());
        snprintf(settings->wmsAerial.layers, sizeof settings->wmsAerial.layers, "aerial");
        headless_install();
        sheet_download_install();
        net_set_receive_timeout_ms(5000);
    }
    void TearDown() override {
        fs::current_path(oldCwd);
        net_set_receive_timeout_ms(30000);
    }
    Result fetch(int aerial = 0, int level = 2) {
        return aerial ? sheet_download_aerial(kLat, kLon, level, settings.get(), path, 0)
                      : sheet_download_topo(kLat, kLon, level, settings.get(), path, 0, 1, 1);
    }
    std::string pathOf(int format, int level = 2) {
        char p[SHEET_PATH_MAX];
        sheet_path(p, sizeof p, tree.maps().c_str(), kLat, kLon, level, 0, format);
        return p;
    }
    std::vector<std::string> files() {
        std::vector<std::string> out;
        for (const auto& e : fs::recursive_directory_iterator(tree.root))
            if (e.is_regular_file()) out.push_back(e.path().string());
        return out;
    }
};

TEST_F(DownloadWms, APngSheetIsStoredWithTheRequestedBoxAsItsRecord) {
    reply = faultOk(asString(pngOf(480, 360)), "image/png");
    ASSERT_TRUE(fetch().ok);
    EXPECT_EQ(std::string(path), pathOf(SHEET_PNG));
    double x, y, angle;
    ASSERT_EQ(sheet_download_centre_and_angle(kLat, kLon, &x, &y, &angle), 1);
    WmsBox b = wms_sheet_box(x, y, 200000, 480, 360);
    char expected[SHEET_URL_MAX];
    ASSERT_EQ(wms_get_map_url(expected, sizeof expected, &settings->wms, &b, 480, 360), 1);
    ASSERT_EQ(server.requestCount(), 1);
    EXPECT_EQ("GET " + std::string(expected).substr(server.root().size()) + " HTTP/1.1", server.requests()[0]);

    double cx, cy, minX, minY, maxX, maxY;
    ASSERT_TRUE(sheet_extent_read_stored(kLat, kLon, 2, tree.maps().c_str(), 0, &cx, &cy, &minX, &minY, &maxX, &maxY));
    EXPECT_EQ(minX, b.minX);
    EXPECT_EQ(minY, b.minY);
    EXPECT_EQ(maxX, b.maxX);
    EXPECT_EQ(maxY, b.maxY);
    // The store finds it where it looks for the GIF; the view loads it.
    double lat = kLat, lon = kLon;
    int level = 2;
    char found[SHEET_PATH_MAX];
    ASSERT_TRUE(find_sheet(&lat, &lon, &level, tree.maps().c_str(), found, 0, 0));
    EXPECT_STREQ(found, path);
    unsigned char* pixels = nullptr;
    int w = 0, h = 0;
    ASSERT_TRUE(sheet_image_load(found, 0, &pixels, &w, &h));
    EXPECT_EQ(Bytes(pixels, pixels + w * h * 3), rgb(480, 360));
    free(pixels);
    // Stored once: asked once. A reload replaces it.
    ASSERT_TRUE(fetch().ok);
    EXPECT_EQ(server.requestCount(), 1);
    EXPECT_TRUE(sheet_reload_fetch(0, kLat, kLon, 2, settings.get(), path, 0, 1, 1, nullptr).ok);
    EXPECT_EQ(server.requestCount(), 2);
    EXPECT_EQ(files(), std::vector<std::string>{pathOf(SHEET_PNG)});
    EXPECT_EQ(headless_calls_of("message_box").size(), 0u);
}

TEST_F(DownloadWms, EachImageFormatGoesToItsStore) {
    struct {
        int aerial;
        Bytes image;
        const char* type;
        int stored;
    } cases[] = {
        {0, makeGif(480, 360, mapLikeIndices(480, 360)), "image/gif", SHEET_GIF},
        {0, jpegOf(480, 360, tree.file("a.jpg")), "image/jpeg", SHEET_PNG},
        {1, pngOf(480, 360), "image/png", SHEET_JPEG},
        {1, jpegOf(480, 360, tree.file("b.jpg")), "image/jpeg", SHEET_JPEG},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.type + std::string(c.aerial ? " aerial" : " topographic"));
        fs::remove_all(tree.maps());
        reply = faultOk(asString(c.image), c.type);
        ASSERT_TRUE(fetch(c.aerial).ok);
        EXPECT_EQ(std::string(path), pathOf(c.stored));
        EXPECT_EQ(files(), std::vector<std::string>{path});
        unsigned char* pixels = nullptr;
        int w = 0, h = 0;
        ASSERT_EQ(sheet_image_decode_file(path, c.stored, &pixels, &w, &h), 1);
        free(pixels);
        EXPECT_EQ(w * 1000 + h, 480360);
        double cx, cy, minX, minY, maxX, maxY;
        EXPECT_TRUE(c.aerial ? sheet_extent_read_stored_jpeg(kLat, kLon, 2, tree.maps().c_str(), 0, &cx, &cy, &minX, &minY,
                                                    &maxX, &maxY)
                             : sheet_extent_read_stored(kLat, kLon, 2, tree.maps().c_str(), 0, &cx, &cy, &minX, &minY,
                                                &maxX, &maxY));
    }
}

// The reason goes back to the caller (the window or kivsheet): the
// download runs on a worker thread and shows nothing itself.
TEST_F(DownloadWms, RepliesThatAreNoSheetStoreNothingAndSayWhy) {
    const std::string exception =
        "<?xml version='1.0' encoding=\"UTF-8\"?>\n<ServiceExceptionReport version=\"1.3.0\">\n"
        "<ServiceException code=\"InvalidCRS\">msWMSLoadGetMapParams(): Invalid CRS given</ServiceException>\n"
        "</ServiceExceptionReport>\n";
    Bytes png = pngOf(480, 360);
    Bytes gif = makeGif(480, 360, mapLikeIndices(480, 360));
    struct {
        FaultReply reply;
        const char* says;
    } cases[] = {
        {faultOk(exception, "text/xml"), "The map service sent no sheet: msWMSLoadGetMapParams(): Invalid CRS given"},
        {faultRaw(FaultReply::SEND, "HTTP/1.1 400 Bad\r\nContent-Type: application/vnd.ogc.se_xml\r\n"
                                    "Connection: close\r\n\r\n" + exception),
         "The map service sent no sheet: msWMSLoadGetMapParams(): Invalid CRS given"},
        {faultOk(asString(pngOf(240, 180)), "image/png"), "The map service sent a 240 x 180 image for a 480 x 360 sheet"},
        {faultOk(asString(palettePng(5000, 5000)), "image/png"), "The map service sent no readable image (image/png)"},
        {faultOk(asString(Bytes(png.begin(), png.end() - 20)), "image/png"),
         "The map service sent no readable image (image/png)"},
        {faultOk(asString(Bytes(gif.begin(), gif.end() - 1)), "image/gif"),
         "The map service sent no readable image (image/gif)"},
        {faultStatus(500, "Oops", "<html>down</html>"), "The map service sent no sheet: down"},
        {faultStatus(500, "Oops", "down"), "The map service answered HTTP 500 and no sheet"},
        {faultOk("plain words", "text/plain"), "The map service sent no readable image (text/plain)"},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.says);
        fs::remove_all(tree.maps());
        reply = c.reply;
        Result got = fetch();
        EXPECT_FALSE(got.ok);
        EXPECT_EQ(got.why, c.says);
        EXPECT_EQ(std::string(path), pathOf(SHEET_PNG));
        EXPECT_EQ(files(), std::vector<std::string>{});
    }
    EXPECT_EQ(headless_calls_of("message_box").size(), 0u);
    reply = faultOk(asString(png), "image/png");
    EXPECT_TRUE(fetch().ok);
}

// A reload killed while the new image is on its way: the stored PNG is as
// it was, where it was, and nothing is left beside it.
TEST_F(DownloadWms, AReloadKilledHalfWayKeepsTheStoredSheet) {
    reply = faultOk(asString(pngOf(480, 360)), "image/png");
    ASSERT_TRUE(fetch().ok);
    Bytes stored = readBytes(path);
    std::string half = asString(pngOf(480, 360)).substr(0, 100);
    reply = faultRaw(FaultReply::SEND_AND_HOLD, "HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n" + half);
    pid_t child = fork();
    if (child == 0) {
        char p[SHEET_PATH_MAX];
        _exit(sheet_reload_fetch(0, kLat, kLon, 2, settings.get(), p, 0, 1, 1, nullptr).ok);
    }
    server.waitForRequests(2);
    ASSERT_EQ(server.requestCount(), 2);
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    EXPECT_EQ(readBytes(pathOf(SHEET_PNG)), stored);
    EXPECT_EQ(std::distance(fs::directory_iterator(fs::path(pathOf(SHEET_PNG)).parent_path()), {}), 1);
}

// A sheet over the transfer cap (a few MB) ends the transfer: nothing is
// stored or left behind, even when the bytes would make a good sheet.
TEST_F(DownloadWms, AReplyOverTheSheetCapStoresNothing) {
    Bytes png = pngOf(480, 360);
    Bytes padded(png.begin(), png.begin() + 33);   // signature and IHDR
    chunk(&padded, "kvPd", Bytes(5 << 20, 'p'));
    padded.insert(padded.end(), png.begin() + 33, png.end());
    std::string tooBig = tree.file("big.png");
    writeBytes(tooBig, padded);
    unsigned char* pixels = nullptr;
    int w = 0, h = 0;
    ASSERT_EQ(sheet_image_decode_file(tooBig.c_str(), SHEET_PNG, &pixels, &w, &h), 1);
    free(pixels);
    remove(tooBig.c_str());
    reply = faultOk(asString(padded), "image/png");
    EXPECT_FALSE(fetch().ok);
    EXPECT_EQ(files(), std::vector<std::string>{});
}

}  // namespace
