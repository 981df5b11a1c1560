// The kivsheet tool, run as a user runs it.
#include <gtest/gtest.h>
#include <png.h>
#include <sys/wait.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "maps/jpeg_sheet.h"
#include "maps/sheet_extent.h"
#include "tests/sheet_test_files.h"

namespace {

struct ToolRun {
    int status;
    std::string out;
};

ToolRun kivsheet(const std::string& args) {
    std::string cmd = std::string(KIVSHEET_PATH) + " " + args + " 2>&1";
    ToolRun r{-1, ""};
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return r;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
    int st = pclose(p);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return r;
}

const char* record = "200000,1470000.250000,-200000.500000,1450000.125000,-215000.000000,1490000.750000,"
                     "-185000.000000,91.500000";

Bytes gifSheet(const Bytes& indices, int w, int h) {
    Bytes plain = makeGif(w, h, indices);
    unsigned char* out = nullptr;
    size_t size = 0;
    if (!sheetInsertExtentGif(plain.data(), plain.size(), record, &out, &size)) return {};
    Bytes b(out, out + size);
    free(out);
    return b;
}

}  // namespace

TEST(KivsheetCli, NamesSheetsOfTheStore) {
    ToolRun r = kivsheet("name 45.40 -75.70 2");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "./Maps/w070/w075n045/mac_z2_w0754000_n0452000.gif\n");
    r = kivsheet("name 45.40 -75.70 0 --maps /srv/maps");
    EXPECT_EQ(r.out, "/srv/maps/w080/w080n050/mac_z0_w0800000_n0500000.gif\n");
    r = kivsheet("name 45.40 -75.70 2 --big --jpg --zoom-letter s");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "./Maps/w070/w075n045/mad_s2_w0755000_n0452500.jpg\n");
    for (const char* bad : {"name 45.4 -75.7 5", "name 45.4 -75.7", "name north -75.7 2", "name 45.4 -75.7 2 --x",
                            "name 95 -75.7 2", "", "frobnicate", "info", "png onlyone"}) {
        r = kivsheet(bad);
        EXPECT_EQ(r.status, 2) << bad;
        EXPECT_FALSE(r.out.empty()) << bad;
    }
}

TEST(KivsheetCli, InfoOfGifAndJpegSheets) {
    TempTree tmp;
    std::string gif = tmp.file("sheet.gif");
    writeBytes(gif, gifSheet(mapLikeIndices(48, 36), 48, 36));
    ToolRun r = kivsheet("info " + gif);
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("format: GIF"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("size: 48 x 36"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(std::string("record: ") + record), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("extent: 1450000.125000 -215000.000000 1490000.750000 -185000.000000"), std::string::npos);

    // A JPEG without a record, named by its magic whatever its extension.
    Bytes rgb = expectedRgb(mapLikeIndices(20, 10));
    std::string jpg = tmp.file("aerial.dat");
    ASSERT_TRUE(jpeg_write_rgb(jpg.c_str(), rgb.data(), 20, 10));
    r = kivsheet("info " + jpg);
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("format: JPEG"), std::string::npos);
    EXPECT_NE(r.out.find("size: 20 x 10"), std::string::npos);
    EXPECT_NE(r.out.find("record: none"), std::string::npos);

    r = kivsheet("info " + tmp.file("missing.gif"));
    EXPECT_EQ(r.status, 2);
    std::string text = tmp.file("notes.txt");
    writeBytes(text, Bytes{'h', 'e', 'l', 'l', 'o'});
    r = kivsheet("info " + text);
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.out.find("not a GIF or JPEG"), std::string::npos);
}

TEST(KivsheetCli, PngOfASheetReadsBackWithLibpng) {
    TempTree tmp;
    const int w = 33, h = 17;
    Bytes indices = mapLikeIndices(w, h);
    std::string gif = tmp.file("sheet.gif");
    writeBytes(gif, gifSheet(indices, w, h));
    std::string out = tmp.file("sheet.png");
    ToolRun r = kivsheet("png " + gif + " " + out);
    ASSERT_EQ(r.status, 0) << r.out;
    Bytes png = readBytes(out);
    ASSERT_GT(png.size(), 24u);
    const unsigned char signature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    EXPECT_EQ(0, memcmp(png.data(), signature, 8));
    EXPECT_EQ(0, memcmp(png.data() + 12, "IHDR", 4));

    png_image image;
    memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_file(&image, out.c_str()));
    EXPECT_EQ(image.width, static_cast<unsigned>(w));
    EXPECT_EQ(image.height, static_cast<unsigned>(h));
    image.format = PNG_FORMAT_RGB;
    Bytes decoded(PNG_IMAGE_SIZE(image));
    ASSERT_TRUE(png_image_finish_read(&image, nullptr, decoded.data(), 0, nullptr));
    EXPECT_EQ(decoded, expectedRgb(indices));

    // A damaged sheet is an error, and the tool leaves the file alone.
    std::string bad = tmp.file("bad.gif");
    writeBytes(bad, Bytes{'G', 'I', 'F', '8', '9', 'a', 1, 0});
    r = kivsheet("png " + bad + " " + tmp.file("bad.png"));
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(std::filesystem::exists(bad));
    EXPECT_FALSE(std::filesystem::exists(tmp.file("bad.png")));
    r = kivsheet("png " + gif + " " + tmp.file("no/such/dir/x.png"));
    EXPECT_EQ(r.status, 2);
}
