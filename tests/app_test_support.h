// Shared fixture of the main window tests: a temporary working folder with
// settings files and real GIF sheets, the headless backend on a manual
// clock, and a pseudo-terminal receiver the test writes NMEA into.
#pragma once
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>

#include "app/app_state.h"
#include "app/marker.h"
#include "app/view_pane.h"
#include "app/window_events.h"
#include "maps/lcc.h"
#include "maps/map_view.h"
#include "maps/sheet_extent.h"
#include "maps/view_plane.h"
#include "maps/view_sheets.h"
#include "maps/world_grid.h"
#include "maps/sheet_store.h"
#include "maps/zoom_levels.h"
#include "net/base_upload.h"
#include "net/connectivity.h"
#include "platform/headless.h"
#include "platform/platform.h"
#include "position/garmin.h"
#include "position/gps_fix.h"
#include "position/nmea.h"
#include "position/sms.h"
#include "position/zodiac.h"
#include "settings/app_settings.h"
#include "settings/program_settings.h"
#include "sheet_test_files.h"

// The pane's top-left corner in client coordinates (the tests run at scale 1).
constexpr int kPaneX = APP_PANE_LEFT, kPaneY = APP_PANE_TOP;
constexpr int64_t kStartClock = 1700000000;

struct TestSheet {
    double lat = 0, lon = 0;
    int level = 0, width = 0, height = 0, index = 0;
    SheetExtent extent{};
    uint32_t colour() const {
        auto p = testPalette()[index];
        return (p.Red << 16) | (p.Green << 8) | p.Blue;
    }
};

// A master/slave pseudo-terminal pair; the slave stays open here so the
// link's closing never hangs up the far side.
struct PtyReceiver {
    int master = -1, slave = -1;
    std::string path;
    bool open() {
        master = posix_openpt(O_RDWR | O_NOCTTY);
        if (master < 0 || grantpt(master) || unlockpt(master)) return false;
        path = ptsname(master);
        slave = ::open(path.c_str(), O_RDWR | O_NOCTTY);
        return slave >= 0;
    }
    void send(const std::string& bytes) const {
        size_t done = 0;
        while (done < bytes.size()) {
            ssize_t n = write(master, bytes.data() + done, bytes.size() - done);
            if (n <= 0) break;
            done += static_cast<size_t>(n);
        }
    }
    std::string receive(int timeoutMs) const {   // what the link wrote so far
        std::string out;
        auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        int flags = fcntl(master, F_GETFL);
        fcntl(master, F_SETFL, flags | O_NONBLOCK);
        char buf[256];
        while (std::chrono::steady_clock::now() < end) {
            ssize_t n = read(master, buf, sizeof buf);
            if (n > 0) out.append(buf, static_cast<size_t>(n));
            else std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        fcntl(master, F_SETFL, flags);
        return out;
    }
    ~PtyReceiver() {
        if (slave >= 0) close(slave);
        if (master >= 0) close(master);
    }
};

// "$" body "*hh\r\n"
inline std::string nmeaSentence(const std::string& body) {
    int sum = 0;
    for (char c : body) sum ^= static_cast<unsigned char>(c);
    char tail[8];
    snprintf(tail, sizeof tail, "*%02X\r\n", sum);
    return "$" + body + tail;
}

// RMC for a position in degrees, speed in knots, "hhmmss" and "ddmmyy".
inline std::string rmcSentence(double lat, double lon, double knots, const char* hms, const char* dmy) {
    auto field = [](double deg, int width) {
        double a = std::fabs(deg);
        int d = static_cast<int>(a);
        char out[32];
        snprintf(out, sizeof out, "%0*d%07.4f", width, d, (a - d) * 60.0);
        return std::string(out);
    };
    char body[160];
    snprintf(body, sizeof body, "GPRMC,%s,A,%s,%c,%s,%c,%.1f,90.0,%s,,", hms, field(lat, 2).c_str(),
             lat >= 0 ? 'N' : 'S', field(lon, 3).c_str(), lon >= 0 ? 'E' : 'W', knots, dmy);
    return nmeaSentence(body);
}

inline bool waitFor(const std::function<bool()>& cond, int timeoutMs = 5000) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < end) {
        if (cond()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return cond();
}

class AppTest : public ::testing::Test {
protected:
    std::filesystem::path dir, oldCwd;

    void SetUp() override {
        oldCwd = std::filesystem::current_path();
        char pattern[] = "/tmp/kiv_app_XXXXXX";
        dir = mkdtemp(pattern);
        std::filesystem::current_path(dir);
        headless_install();
        headless_set_clock(kStartClock);
        gps_reset();
        gps_set_zone(0);
        map_view_reset(&map_view);
        app_window_reset();
        settings_program_defaults(&program_settings);
        base_upload_reset();
        garmin_reset();
        sms_reset();
        zodiac_reset();
        nmea_reset();
        // No network probe reaches anything from the tests.
        writeFile("kiv_ini.txt", "Probe=http://127.0.0.1:1/\nServer=http://127.0.0.1:1/\n");
    }

    void TearDown() override {
        if (app_window.settings) {
            app_close();
            app_destroy();
        }
        map_view_reset(&map_view);
        app_window_reset();
        std::filesystem::current_path(oldCwd);
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }

    AppSettings* settings() const { return app_window.settings; }

    static void writeFile(const std::string& name, const std::string& text) {
        FILE* f = fopen(name.c_str(), "w");
        ASSERT_TRUE(f);
        fputs(text.c_str(), f);
        fclose(f);
    }
    static std::string readFile(const std::string& name) {
        Bytes b = readBytes(name);
        return std::string(b.begin(), b.end());
    }

    // A uniform sheet of palette colour index at the grid point nearest
    // (lat, lon), covering 1.5 grid steps north to south.
    static TestSheet addSheet(double lat, double lon, int level, int bigMaps, int index, bool withRecord = true) {
        const char* why;
        EXPECT_NE(VIEW_PLANE_NONE, world_grid_snap(lat, lon, level, bigMaps, &lat, &lon, &why));
        return addSheetAt(lat, lon, level, bigMaps, index, withRecord);
    }
    // The same at exactly this centre (half-step and other grids).
    static TestSheet addSheetAt(double lat, double lon, int level, int bigMaps, int index, bool withRecord = true,
                                const SheetExtent* extent = nullptr) {
        TestSheet t;
        t.level = level;
        t.lat = lat;
        t.lon = lon;
        t.width = view_sheet_width(bigMaps);
        t.height = view_sheet_height(bigMaps);
        t.index = index;
        // The record its download would write: the view places it by that.
        EXPECT_EQ(1, view_sheet_expected_extent(t.lat, t.lon, level, bigMaps, &t.extent));
        if (extent) t.extent = *extent;
        Bytes gif = makeGif(t.width, t.height, Bytes(static_cast<size_t>(t.width) * t.height, index));
        char path[SHEET_PATH_MAX];
        EXPECT_EQ(1, sheet_path(path, sizeof path, "./Maps", t.lat, t.lon, level, bigMaps, SHEET_GIF));
        if (withRecord) {
            char record[256];
            EXPECT_GT(sheet_extent_format(record, sizeof record, &t.extent), 0);
            unsigned char* out = nullptr;
            size_t outSize = 0;
            EXPECT_EQ(1, sheet_extent_insert_gif(gif.data(), gif.size(), record, &out, &outSize));
            gif.assign(out, out + outSize);
            free(out);
        }
        writeBytes(path, gif);
        return t;
    }

    // Expected marker pixel of a position: in the view shown, else on the
    // sheet by its record.
    static bool expectedPixel(const TestSheet& t, double lat, double lon, int* px, int* py) {
        ViewRecord view;
        const MapView& v = map_view;
        SheetExtent e = t.extent;
        int width = t.width, height = t.height;
        if (view_pane_current(&view)) {
            e = SheetExtent{0, 0, 0, v.extMinX, v.extMinY, v.extMaxX, v.extMaxY, 0};
            width = v.imageWidth;
            height = v.imageHeight;
        }
        double x, y;
        int plane = view_plane_of_sheet(t.lat, t.lon, t.level, t.width == 720);
        if (view_pane_current(&view)) plane = v.extPlane;
        if (!view_plane_from_degrees(plane, lat, lon, &x, &y)) return false;
        *px = static_cast<int>(std::floor(width * (x - e.minX) / (e.maxX - e.minX)));
        *py = height - 1 - static_cast<int>(std::floor(height * (y - e.minY) / (e.maxY - e.minY)));
        return *px >= 0 && *px < width && *py >= 0 && *py < height;
    }

    static int pixel(int x, int y) { return headless_frame_pixel(x, y); }
    static int panePixel(int px, int py) { return headless_frame_pixel(kPaneX + px, kPaneY + py); }

    // The whole 11 x 11 marker at image pixel (px, py) in the last frame,
    // '.' cells showing the sheet colour (any with kAnyGround: where sheets meet).
    static constexpr uint32_t kAnyGround = 0xFFFFFFFFu;
    static bool markerAt(int px, int py, uint32_t sheetColour) {
        for (int r = 0; r < 11; r++)
            for (int c = 0; c < 11; c++) {
                char cell = MARKER_PATTERN[r][c];
                if (cell == '.' && sheetColour == kAnyGround) continue;
                int want = cell == '#' ? 0xFFFF00 : cell == 'k' ? 0x000000 : static_cast<int>(sheetColour);
                if (panePixel(px + c - 5, py + r - 5) != want) return false;
            }
        return true;
    }
    // No marker pixel at all around (px, py): the sheet colour everywhere.
    static bool plainAt(int px, int py, uint32_t sheetColour) {
        for (int r = -5; r <= 5; r++)
            for (int c = -5; c <= 5; c++)
                if (panePixel(px + c, py + r) != static_cast<int>(sheetColour)) return false;
        return true;
    }

    static int titleChanges() { return static_cast<int>(headless_calls_of("set_title").size()); }

    // A fix written straight into the record (tests without a receiver).
    static void setFix(double lat, double lon, const char* utc = "2025/05/08 12:00:00", double knots = 0) {
        int y, mo, d, h, mi, s;
        sscanf(utc, "%d/%d/%d %d:%d:%d", &y, &mo, &d, &h, &mi, &s);
        gps_set_time_utc(y, mo, d, h, mi, s);
        gps_set_latitude(lat);
        gps_set_longitude(lon);
        gps_set_speed_knots(knots);
        gps_set_fix_mode(3);
    }
};
