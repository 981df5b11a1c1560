// The map view composed from stored sheets, headless: sheets meet without
// seam or gap, the marker lands on a sheet that covers it (grid-corner
// positions included), missing sheets are hatched and listed, and the
// decoded-sheet cache keeps its bound.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cmath>
#include <set>

#include "maps/png_sheet.h"
#include "maps/scaled_sheets.h"
#include "maps/sheet_decoding.h"
#include "maps/sheet_store.h"
#include "maps/view_compose.h"
#include "maps/view_compose_crew.h"
#include "maps/view_compose_scaled.h"
#include "maps/view_compose_turned.h"
#include "maps/view_rotate.h"
#include "maps/view_scale.h"
#include "tests/sheet_test_files.h"

namespace {

int wrapped(int a, int b) { return ((a - b) & 255) > 128 ? ((a - b) & 255) - 256 : (a - b) & 255; }

// A PNG sheet with the extent its download records. Red and green count the
// plane's pixel columns and rows, so a misplaced sheet shows; blue names it.
void writeSheet(const std::string& maps, const ViewRecord& v, const ViewSheet& s, int id) {
    int w = view_sheet_width(v.big), h = view_sheet_height(v.big);
    Bytes rgb(static_cast<size_t>(w) * h * 3);
    for (int j = 0; j < h; j++)
        for (int i = 0; i < w; i++) {
            unsigned char* p = &rgb[(static_cast<size_t>(j) * w + i) * 3];
            p[0] = static_cast<unsigned char>(std::lround(std::floor(s.extent.minX / v.mpp + i + 0.5)));
            p[1] = static_cast<unsigned char>(std::lround(std::floor(s.extent.maxY / v.mpp - j - 0.5)));
            p[2] = static_cast<unsigned char>(id);
        }
    unsigned char *png = nullptr, *sheet = nullptr;
    size_t pngSize = 0, sheetSize = 0;
    char record[256], path[SHEET_PATH_MAX];
    SheetExtent recorded;   // as its download records it: across 180 degrees, not beside the view
    ASSERT_TRUE(view_sheet_expected_extent(s.lat, s.lon, v.level, v.big, &recorded));
    ASSERT_GT(sheet_extent_format(record, sizeof record, &recorded), 0);
    ASSERT_TRUE(png_write_rgb_memory(rgb.data(), w, h, &png, &pngSize));
    ASSERT_TRUE(png_sheet_insert_extent(png, pngSize, record, &sheet, &sheetSize));
    ASSERT_TRUE(sheet_path(path, sizeof path, maps.c_str(), s.lat, s.lon, v.level, v.big, SHEET_PNG));
    writeBytes(path, Bytes(sheet, sheet + sheetSize));
    free(png);
    free(sheet);
}

// A view at (lat, lon) shifted by (dx, dy) pixels, with the first `stored`
// of its needed sheets in the store (all with -1), composed.
struct Scene {
    TempTree tmp;
    ViewRecord view{};
    std::vector<ViewSheet> sheets, needed, missing;  // sheets[id - 1] is the sheet of blue id
    SheetCache cache;
    ViewImages images;
    std::vector<uint32_t> frame;       // the client frame: rows wider than the pane
    int stride = 0;
    long hatched = -1;

    Scene(int level, int big, double lat, double lon, int w, int h, double dx = 0, double dy = 0, int stored = -1) {
        EXPECT_TRUE(view_make(&view, level, big, lat, lon, w, h));
        view.cx += dx * view.mpp;
        view.cy -= dy * view.mpp;
        EXPECT_GT(view_needed_sheets(view, tmp.maps().c_str(), 0, &sheets), 0);
        for (size_t i = 0; i < sheets.size() && (stored < 0 || static_cast<int>(i) < stored); i++)
            writeSheet(tmp.maps(), view, sheets[i], static_cast<int>(i) + 1);
        EXPECT_EQ(view_needed_sheets(view, tmp.maps().c_str(), 0, &needed), static_cast<int>(sheets.size()));
        view_gather(needed, &cache, &images, &missing);
        stride = w + 7;
        frame.assign(static_cast<size_t>(stride) * h, 0);
        hatched = view_compose(view, images, frame.data(), stride);
    }
    // Red, green, blue of a pixel.
    std::array<unsigned char, 3> at(int x, int y) const {
        uint32_t p = frame[static_cast<size_t>(y) * stride + x];
        return {static_cast<unsigned char>(p >> 16), static_cast<unsigned char>(p >> 8), static_cast<unsigned char>(p)};
    }
    bool isHatch(int x, int y) const {
        auto p = at(x, y);
        return p[0] == p[2] && p[1] == p[2] && (p[2] == VIEW_HATCH_GROUND || p[2] == VIEW_HATCH_LINE);
    }
};

bool covers(const SheetExtent& e, double x, double y) { return e.minX <= x && x < e.maxX && e.minY <= y && y < e.maxY; }

}  // namespace

// Also across 180 degrees, where the plane wraps and the neighbours east
// of the view are named by longitudes near -180, at 1:10M south of the
// Canadian grid, where the view reaches into the Canadian area, and at
// 1:10M inside it, where the pane reaches south of its sheets.
TEST(ViewCompose, NeighboursMeetWithNoSeamOrGap) {
    struct Case {
        double lat, lon;
        int level, width, height;
    } cases[] = {{45.3252, -75.8748, 3, 640, 480}, {52, 179.995, 4, 640, 480}, {43.6532, -79.3832, 0, 1600, 1000},
                   {45.4215, -75.6972, 0, 1600, 1000}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.lat << " " << c.lon);
        Scene s(c.level, 0, c.lat, c.lon, c.width, c.height);
        EXPECT_TRUE(s.missing.empty());
        std::set<int> seen;
        for (int y = 0; y < s.view.height; y++)
            for (int x = 0; x < s.view.width; x++) {
                auto p = s.at(x, y);
                ASSERT_TRUE(p[2] >= 1 && p[2] <= s.sheets.size()) << x << "," << y;
                seen.insert(p[2]);
                double X, Y;
                view_screen_to_plane(s.view, x + 0.5, y + 0.5, &X, &Y);
                ASSERT_LE(std::abs(wrapped(p[0], static_cast<int>(std::floor(X / s.view.mpp)))), 1) << x << "," << y;
                ASSERT_LE(std::abs(wrapped(p[1], static_cast<int>(std::floor(Y / s.view.mpp)))), 1) << x << "," << y;
                // The sheet drawn is, to a pixel, the nearest of those covering the point.
                double nearest = INFINITY;
                for (const ViewSheet& v : s.sheets)
                    if (covers(v.extent, X, Y))
                        nearest = std::min(nearest, std::hypot(X - v.extent.centreX, Y - v.extent.centreY));
                const SheetExtent& e = s.sheets[p[2] - 1].extent;
                ASSERT_LE(std::hypot(X - e.centreX, Y - e.centreY), nearest + 1.5 * s.view.mpp) << x << "," << y;
            }
        EXPECT_GE(seen.size(), 4u);
    }
}

// Composed on two cores, the view is the very picture composed on one,
// hatching included, where the parts meet too; and again after the worker
// was stopped.
TEST(ViewCompose, OnTwoCoresTheSamePicture) {
    Scene s(3, 0, 45.3252, -75.8748, 801, 421, 0.3, 0.6, 5);
    ViewComposeCrew crew;
    for (int round = 0; round < 2; round++) {
        std::vector<uint32_t> shared(s.frame.size(), 0);
        EXPECT_EQ(view_compose_crew_compose(&crew, s.view, s.images, shared.data(), s.stride), s.hatched);
        EXPECT_TRUE(shared == s.frame);
        view_compose_crew_stop(&crew);
    }
    // Turned (course-up), the covering square's rows shared out: at the
    // level's scale, and between the levels filtered band by band.
    for (double f : {1.0, 1.3}) {
        ViewRecord turned = s.view;
        turned.rotation = 0.6;
        turned.mpp *= f;
        const int side = view_rotate_cover(turned.width, turned.height);
        std::vector<uint32_t> cover(static_cast<size_t>(side) * side), one(s.frame.size(), 0), two(s.frame.size(), 0);
        view_compose_turned_rows(turned, s.images, f == 1.0, cover.data(), one.data(), s.stride, nullptr, 0, side);
        view_compose_crew_turned(&crew, turned, s.images, f == 1.0, cover.data(), two.data(), s.stride);
        EXPECT_TRUE(one == two) << f;
        EXPECT_EQ(0, std::count(one.begin(), one.end(), 0u) - (s.stride - turned.width) * turned.height) << f;
    }
}

// Bands of the view (where marks were) composed alone match the whole
// view's pixels, seams and hatching included, and touch nothing else.
TEST(ViewCompose, ABandIsTheWholeViewsPixels) {
    Scene s(3, 0, 45.3252, -75.8748, 801, 421, 0.3, 0.6, 5);
    struct Case {
        long y0, y1;
        std::vector<ViewRun> runs;
    } cases[] = {{0, 421, {{0, 801}}}, {0, 421, {{400, 403}}}, {200, 203, {{0, 801}}},
                 {61, 390, {{0, 16}, {137, 300}, {301, 302}, {611, 801}}}, {-5, 20, {{-5, 20}}}, {410, 500, {{790, 900}}}};
    for (const Case& c : cases) {
        std::vector<uint32_t> out(s.frame.size(), 1);
        view_compose_band(s.view, s.images, out.data(), s.stride, nullptr, ViewBand{c.y0, c.y1, c.runs.data(), c.runs.size()});
        int differ = 0;
        for (long y = 0; y < s.view.height; y++)
            for (long x = 0; x < s.view.width; x++) {
                bool in = false;
                for (const ViewRun& r : c.runs) in = in || (x >= r.x0 && x < r.x1 && y >= c.y0 && y < c.y1);
                const size_t i = static_cast<size_t>(y) * s.stride + x;
                differ += out[i] != (in ? s.frame[i] : 1u);
            }
        EXPECT_EQ(0, differ) << c.y0 << " " << c.runs[0].x0;
    }
}

// Between the levels the finer level's sheets are drawn scaled down until
// the coarser level's would be enlarged by at most 1.5x.
TEST(ViewScale, TheLevelDrawingAScale) {
    struct Case {
        int level;
        double ofOwn;                  // the scale as a multiple of the level's own mpp
        int drawn;
    } cases[] = {{3, 1, 3}, {4, 1, 4}, {0, 1, 0}, {4, 1.2, 4}, {2, 1 / 1.49, 2}, {2, 1 / 1.51, 3}, {1, 1 / 1.51, 2},
                 {3, 1 / 1.4, 3}, {3, 1 / 1.6, 4}};
    for (const Case& c : cases)
        for (int big : {0, 1})
            EXPECT_EQ(c.drawn, view_scale_level(view_level_mpp(c.level, big) * c.ofOwn, big)) << c.level << " " << c.ofOwn;
}

// Scaled down twice, each screen pixel is the mean of the 2 x 2 sheet
// pixels under it, seams between sheets included.
TEST(ViewComposeScaled, BoxFiltersTheLevelsPicture) {
    Scene s(3, 0, 45.3252, -75.8748, 640, 480);
    ViewRecord half = s.view;
    half.mpp *= 2;
    half.width = 200;
    half.height = 150;
    std::vector<uint32_t> out(static_cast<size_t>(half.width + 3) * half.height, 0);
    view_compose_scaled(half, s.images, out.data(), half.width + 3);
    for (int y = 0; y < half.height; y++)
        for (int x = 0; x < half.width; x++)
            for (int c = 0; c < 3; c++) {
                int sum = 0;
                for (int k = 0; k < 4; k++) sum += s.at(120 + 2 * x + k % 2, 90 + 2 * y + k / 2)[c];
                int got = (out[static_cast<size_t>(y) * (half.width + 3) + x] >> (16 - 8 * c)) & 0xFF;
                ASSERT_NEAR(sum / 4.0, got, 1) << x << "," << y << " channel " << c;
            }
}

// A sheet filtered to a scale is, at every pixel, the mean of the sheet's
// pixels under it weighted by the area each covers, through whichever
// registers this processor has (scales where eight outputs read from
// sixteen source pixels, and where they do not).
TEST(ViewComposeScaled, ASheetsPixelsAreTheAreaWeightedMean) {
    DecodedSheet sheet{};
    sheet.width = 203;
    sheet.height = 41;
    sheet.xrgb.reset(static_cast<uint32_t*>(malloc(sizeof(uint32_t) * sheet.width * sheet.height)));
    uint32_t seed = 12345;
    for (int i = 0; i < sheet.width * sheet.height; i++) {
        seed = seed * 1103515245u + 12345u;
        sheet.xrgb[i] = 0xFF000000u | (seed >> 8 & 0xFFFFFF);
    }
    // The share of source pixel k in output o's span [o f, (o + 1) f).
    auto share = [](int o, int k, double f) {
        return std::max(0.0, std::min((o + 1) * f, k + 1.0) - std::max(o * f, static_cast<double>(k))) / f;
    };
    for (double f : {0.7, 1.189, 1.414, 1.7, 2.0, 2.6, 3.3}) {
        DecodedSheet out{};
        ASSERT_EQ(1, view_compose_scaled_sheet(sheet, f, &out)) << f;
        ASSERT_EQ(static_cast<int>(std::ceil(sheet.width / f - 1e-9)), out.width) << f;
        int worst = 0;
        for (int y = 0; y < out.height; y++)
            for (int x = 0; x < out.width; x++)
                for (int c = 0; c < 24; c += 8) {
                    double mean = 0;
                    for (int k = static_cast<int>(y * f); k < (y + 1) * f; k++)
                        for (int j = static_cast<int>(x * f); j < (x + 1) * f; j++) {
                            const int at = std::min(k, sheet.height - 1) * sheet.width + std::min(j, sheet.width - 1);
                            mean += share(y, k, f) * share(x, j, f) * (sheet.xrgb[at] >> c & 0xFF);
                        }
                    worst = std::max(worst, std::abs(static_cast<int>(out.xrgb[y * out.width + x] >> c & 0xFF) - static_cast<int>(std::lround(mean))));
                }
        // Weights in 256ths, rounded a pass across and a pass down.
        EXPECT_LE(worst, 3) << f;
    }
}

// Between the levels the view drawn from the sheets kept filtered to its
// scale is the view filtered anew to a level or two, away from the sheets'
// edges (a copy repeats its edge, placed to a whole pixel) and from where
// the pattern's red and green wrap; neighbours meet with no hatching. The
// copies hold the day's colours: night's curve maps them as they are drawn.
TEST(ScaledSheets, MatchTheViewFilteredAnewWithNoSeam) {
    Scene s(3, 0, 45.3252, -75.8748, 640, 480);
    ColourCurve night;
    for (int i = 0; i < 256; i++) night.red[i] = night.green[i] = night.blue[i] = static_cast<unsigned char>(i / 3);
    for (double f : {0.75, 1.189, 1.414, 2.0, 2.6}) {
        SCOPED_TRACE(f);
        ViewRecord v = s.view;
        v.mpp *= f;
        v.width = static_cast<int>(600 / f);
        v.height = static_cast<int>(440 / f);
        std::vector<uint32_t> kept(static_cast<size_t>(v.width) * v.height), anew(kept.size()), dark(kept.size());
        ScaledSheets k;
        EXPECT_EQ(0, scaled_sheets_compose(&k, v, s.images, kept.data(), v.width));
        scaled_sheets_compose(&k, v, s.images, dark.data(), v.width, &night);
        view_compose_scaled(v, s.images, anew.data(), v.width);
        for (int y = 0; y < v.height; y++)
            for (int x = 0; x < v.width; x++) {
                const uint32_t p = kept[static_cast<size_t>(y) * v.width + x], q = anew[static_cast<size_t>(y) * v.width + x];
                ASSERT_LT(static_cast<int>(p & 0xFF), VIEW_HATCH_LINE) << x << "," << y;   // blue names a sheet
                ASSERT_EQ(colour_curve_pixel(night, p), dark[static_cast<size_t>(y) * v.width + x]);
                double X, Y;
                view_screen_to_plane(v, x + 0.5, y + 0.5, &X, &Y);
                const double margin = 2 * v.mpp;
                bool nearEdge = false;
                for (const ViewSheet& sheet : s.sheets) {
                    const SheetExtent& e = sheet.extent;
                    const bool inX = X > e.minX - margin && X < e.maxX + margin, inY = Y > e.minY - margin && Y < e.maxY + margin;
                    nearEdge = nearEdge || (inY && (std::fabs(X - e.minX) < margin || std::fabs(X - e.maxX) < margin)) ||
                               (inX && (std::fabs(Y - e.minY) < margin || std::fabs(Y - e.maxY) < margin));
                }
                const int column = static_cast<int>(std::floor(X / s.view.mpp)) & 255, row = static_cast<int>(std::floor(Y / s.view.mpp)) & 255;
                if (nearEdge || column < 4 || column > 251 || row < 4 || row > 251) continue;
                ASSERT_NEAR(static_cast<int>(p >> 16 & 0xFF), static_cast<int>(q >> 16 & 0xFF), 2) << x << "," << y;
                ASSERT_NEAR(static_cast<int>(p >> 8 & 0xFF), static_cast<int>(q >> 8 & 0xFF), 2) << x << "," << y;
            }
    }
}

// The copies are made once a scale, and only of the sheets of the view:
// those of a scale left and of a sheet that left the view go.
TEST(ScaledSheets, KeepOnlyTheScaleAndTheSheetsOfTheView) {
    Scene s(3, 0, 45.3252, -75.8748, 640, 480);
    ViewRecord v = s.view;
    v.width = v.height = 200;
    std::vector<uint32_t> frame(static_cast<size_t>(v.width) * v.height);
    ScaledSheets k;
    for (double f : {1.414, 2.0}) {
        v.mpp = s.view.mpp * f;
        scaled_sheets_compose(&k, v, s.images, frame.data(), v.width);
        const long made = k.made;
        scaled_sheets_compose(&k, v, s.images, frame.data(), v.width);
        EXPECT_EQ(made, k.made);
        ASSERT_FALSE(k.kept.empty());
        for (const auto& [sheet, copy] : k.kept) EXPECT_EQ(copy.copy->width, static_cast<int>(std::ceil(480 / f)));
    }
    const DecodedSheet* left = k.kept.begin()->first;
    ViewImages fewer;
    for (const auto& image : s.images)
        if (image.get() != left) fewer.push_back(image);
    scaled_sheets_compose(&k, v, fewer, frame.data(), v.width);
    EXPECT_FALSE(k.kept.count(left));
}

// A view across 180 degrees looks up the cells around it, not every cell
// of its band of latitude.
TEST(ViewSheets, AViewAcross180DegreesLooksUpOnlyTheCellsAroundIt) {
    TempTree tmp;
    ViewRecord view{};
    ASSERT_TRUE(view_make(&view, 4, 0, 52, 179.995, 640, 480));
    ViewStoreMemo memo;
    std::vector<ViewSheet> sheets;
    ASSERT_GT(view_needed_sheets(view, tmp.maps().c_str(), 0, &sheets, &memo), 0);
    EXPECT_LT(memo.cells.size(), 100u);
    bool east = false, west = false;
    for (const ViewSheet& s : sheets) (s.lon > 0 ? east : west) = true;
    EXPECT_TRUE(east && west);
}

// Positions where the sheet of the nearest grid point does not hold the
// vehicle; the view is off centre as when looking ahead.
TEST(ViewCompose, MarkerLiesOverTheSheetThatCoversIt) {
    struct Case {
        double lat, lon;
        int level, big;
    } cases[] = {
        {45.3252, -75.8748, 3, 0},
        {44.502, -76.498, 1, 0},
        // South of every 1:10M Canadian sheet: the view is in the Web Mercator plane.
        {43.6532, -79.3832, 0, 1},
        {43.6532, -79.3832, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.lat << " " << c.lon << " level " << c.level << " big " << c.big);
        Scene s(c.level, c.big, c.lat, c.lon, 640, 480, 200, -120);
        int px, py;
        ASSERT_TRUE(view_position_pixel(s.view, c.lat, c.lon, &px, &py));
        EXPECT_NEAR(px, 120, 1);
        EXPECT_NEAR(py, 360, 1);
        int id = s.at(px, py)[2];
        ASSERT_TRUE(id >= 1 && id <= static_cast<int>(s.sheets.size()));
        double X, Y;
        ASSERT_TRUE(view_plane_from_degrees(s.view.plane, c.lat, c.lon, &X, &Y));
        EXPECT_TRUE(covers(s.sheets[id - 1].extent, X, Y));
    }
}

TEST(ViewCompose, PlaceholderWhereASheetIsMissing) {
    Scene s(3, 0, 45.3252, -75.8748, 800, 600, 0, 0, 1);
    ASSERT_EQ(s.missing.size() + 1, s.needed.size());
    EXPECT_STRNE(s.missing[0].path, s.sheets[0].path);
    long hatch = 0;
    for (int y = 0; y < s.view.height; y++)
        for (int x = 0; x < s.view.width; x++) {
            hatch += s.isHatch(x, y);
            EXPECT_TRUE(s.isHatch(x, y) || s.at(x, y)[2] == 1);
        }
    EXPECT_EQ(hatch, s.hatched);
    EXPECT_TRUE(s.isHatch(0, 0) && s.isHatch(799, 599));
}

TEST(SheetCache, StaysUnderItsBoundAndDecodesOnce) {
    Scene s(3, 0, 45.3252, -75.8748, 320, 240, 0, 0, 3);
    SheetCache cache;
    cache.limitBytes = 480 * 360 * 3 * 5 / 2;
    std::string why;
    auto first = sheet_cache_get(&cache, s.needed[0].path, s.needed[0].format, &why);
    ASSERT_TRUE(first) << why;
    EXPECT_EQ(sheet_cache_get(&cache, s.needed[0].path, s.needed[0].format, &why), first);
    EXPECT_EQ(cache.decodes, 1);
    for (int i : {1, 2, 2}) ASSERT_TRUE(sheet_cache_get(&cache, s.needed[i].path, s.needed[i].format, &why));
    EXPECT_EQ(cache.decodes, 3);
    EXPECT_LE(cache.usedBytes, cache.limitBytes);
    EXPECT_FALSE(sheet_cache_find(&cache, s.needed[0].path));
    EXPECT_EQ(first->pixels[2], 1);  // still whole while held
    // Dropped (its file replaced), a sheet is decoded again; the others stay.
    sheet_cache_drop(&cache, s.needed[2].path);
    EXPECT_FALSE(sheet_cache_find(&cache, s.needed[2].path));
    EXPECT_TRUE(sheet_cache_find(&cache, s.needed[1].path));
    ASSERT_TRUE(sheet_cache_get(&cache, s.needed[2].path, s.needed[2].format, &why));
    EXPECT_EQ(cache.decodes, 4);
}

// A list asked again replaces what still waits (a sheet the view left is
// not decoded); stop joins the worker and drops what it had not handed back.
TEST(SheetDecoding, AskedAgainDropsWhatTheViewLeftAndStopJoins) {
    Scene s(3, 0, 45.3252, -75.8748, 320, 240, 0, 0, 3);
    std::string held = s.tmp.file("held.png");   // a pipe: its decode waits for the test's writer
    ASSERT_EQ(0, mkfifo(held.c_str(), 0600));
    auto job = [&s](int i) { return SheetDecodeJob{s.needed[i].path, s.needed[i].format, false}; };
    SheetDecoding d;
    sheet_decoding_ask(&d, {SheetDecodeJob{held, SHEET_PNG, false}, job(0), job(1)}, nullptr);
    int fd = -1;   // opens once the worker reads the pipe
    for (int i = 0; i < 5000 && fd < 0; i++) {
        fd = open(held.c_str(), O_WRONLY | O_NONBLOCK);
        if (fd < 0) usleep(1000);
    }
    ASSERT_GE(fd, 0);
    sheet_decoding_ask(&d, {job(1)}, nullptr);
    close(fd);
    ASSERT_EQ(1, sheet_decoding_drain(&d, 5000));
    std::vector<SheetDecoded> done;
    ASSERT_EQ(2, sheet_decoding_take(&d, &done));
    EXPECT_FALSE(done[0].sheet);                 // no record in it
    EXPECT_EQ(done[1].path, s.needed[1].path);
    EXPECT_TRUE(done[1].sheet) << done[1].why;
    sheet_decoding_ask(&d, {job(2)}, nullptr);
    sheet_decoding_stop(&d);
    EXPECT_FALSE(d.worker.joinable());
    EXPECT_EQ(0, sheet_decoding_take(&d, &done));
}
