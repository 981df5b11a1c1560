// Shared fixture of the menu command tests: the main window fixture with a
// started window (offline, no link at start), dialog and monitor capture on
// the headless backend, and download doubles that count their calls.
#pragma once
#include <sys/stat.h>

#include <functional>
#include <vector>

#include "app/com_dialog.h"
#include "app/commands_link.h"
#include "app/commands_map.h"
#include "app/info_dialogs.h"
#include "app/monitor_dialog.h"
#include "app/online_probe.h"
#include "app/sheet_fetching.h"
#include "app_test_support.h"
#include "maps/jpeg_sheet.h"
#include "maps/sheet_dispatch.h"
#include "maps/view_plane.h"
#include "net/connectivity.h"
#include "settings/menu_ids.h"

// What the download doubles do: take the store's sheet when there is one,
// else write a uniform sheet of this palette index
// (GIF) or colour (JPEG) and report ready, or report failure.
struct DownloadDouble {
    int calls = 0, aerialCalls = 0;
    int result = 0;                    // 0 ready, 1 failure
    int index = 77;                    // GIF palette index
    uint32_t aerialColour = 0x3080C0;
    bool fileExistedAtCall = false;
    bool refetching = false;           // a reload: written over the stored sheet
    int lastLevel = -1, lastBigMaps = -1, lastRose = -1, lastGrid = -1;
    double lastLat = 0, lastLon = 0;
};
inline DownloadDouble download_double;

inline bool fileExists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

inline Result fakeDownloadSheet(double lat, double lon, int level, const AppSettings* s, char* out, int bigMaps, int rose,
                                int grid) {
    DownloadDouble& d = download_double;
    d.calls++;
    d.lastLat = lat, d.lastLon = lon, d.lastLevel = level, d.lastBigMaps = bigMaps, d.lastRose = rose, d.lastGrid = grid;
    sheet_path(out, SHEET_PATH_MAX, s->mapsDir, lat, lon, level, bigMaps, SHEET_GIF);
    d.fileExistedAtCall = fileExists(out);
    if (d.result != 0) return result_fail("");
    if (d.fileExistedAtCall && !d.refetching) return result_ok();   // the store's sheet comes first
    int w = view_sheet_width(bigMaps), h = view_sheet_height(bigMaps);
    writeBytes(out, makeGif(w, h, Bytes(static_cast<size_t>(w) * h, static_cast<unsigned char>(d.index))));
    return result_ok();
}

inline Result fakeDownloadAerial(double lat, double lon, int level, const AppSettings* s, char* out, int bigMaps) {
    DownloadDouble& d = download_double;
    d.aerialCalls++;
    d.lastLat = lat, d.lastLon = lon, d.lastLevel = level, d.lastBigMaps = bigMaps;
    sheet_path(out, SHEET_PATH_MAX, s->mapsDir, lat, lon, level, bigMaps, SHEET_JPEG);
    d.fileExistedAtCall = fileExists(out);
    if (d.result != 0) return result_fail("");
    if (d.fileExistedAtCall && !d.refetching) return result_ok();
    int w = view_sheet_width(bigMaps), h = view_sheet_height(bigMaps);
    std::vector<unsigned char> rgb(static_cast<size_t>(w) * h * 3);
    for (size_t i = 0; i < rgb.size(); i += 3) {
        rgb[i] = static_cast<unsigned char>(d.aerialColour >> 16);
        rgb[i + 1] = static_cast<unsigned char>(d.aerialColour >> 8);
        rgb[i + 2] = static_cast<unsigned char>(d.aerialColour);
    }
    std::filesystem::create_directories(std::filesystem::path(out).parent_path());
    return jpeg_write_rgb(out, rgb.data(), w, h) ? result_ok() : result_fail("");
}

inline Result fakeRefetch(int aerial, double lat, double lon, int level, const AppSettings* s, char* out, int bigMaps,
                          int rose, int grid) {
    download_double.refetching = true;
    Result rc = aerial ? fakeDownloadAerial(lat, lon, level, s, out, bigMaps)
                       : fakeDownloadSheet(lat, lon, level, s, out, bigMaps, rose, grid);
    download_double.refetching = false;
    return rc;
}
inline const SheetDownloadHooks fake_downloads = {fakeDownloadSheet, fakeDownloadAerial, nullptr, fakeRefetch};

// Modal dialogs run this (set per test); monitors shown are kept here.
inline std::function<int(int, void*)> dialog_action;
inline std::vector<MonitorDialog*> shown_monitors;
inline PlatformBackend capture_backend;

inline int captureDialog(int kind, void* state) { return dialog_action ? dialog_action(kind, state) : 1; }

inline void captureMonitor(void* state) {
    shown_monitors.push_back(static_cast<MonitorDialog*>(state));
}

class MenuTest : public AppTest {
protected:
    void SetUp() override {
        AppTest::SetUp();
        download_double = DownloadDouble{};
        sheet_download_hooks = SheetDownloadHooks{};
        dialog_action = nullptr;
        headless_set_dialog_hook(captureDialog);
        // The headless table with the monitor kept for the test; every
        // other call still goes to (and is recorded by) the headless one.
        static const PlatformBackend* headless = platform_backend();
        capture_backend = *headless;
        capture_backend.show_monitor = [](void* state) {
            headless->show_monitor(state);
            captureMonitor(state);
        };
        platform_install(&capture_backend);
    }
    void TearDown() override {
        sheet_download_hooks = SheetDownloadHooks{};
        dialog_action = nullptr;
        for (MonitorDialog* d : shown_monitors) monitor_dialog_free(d);
        shown_monitors.clear();
        AppTest::TearDown();
    }

    // The window started without a link and offline, NMEA selected, small maps.
    void create(const std::string& ini = "", const char* comFile = "COM0\nSmall\n") {
        writeFile("kiv_com.txt", comFile);
        writeFile("kiv_dev.txt", "NMEA\n");
        writeFile("kiv_ini.txt", "Probe=http://127.0.0.1:1/\nServer=http://127.0.0.1:1/\n" + ini);
        ASSERT_EQ(1, app_create());
        connectivity_probe_finish();
        // The start sheet's background fetch ends here, so its late wake-up
        // never lands among a test's calls.
        sheet_fetching_stop();
        // Start-up installs the real download; the tests use the store, or
        // the doubles where a download is meant.
        sheet_download_hooks = SheetDownloadHooks{};
        resetCalls();
    }
    // The Online command's probe answered and the timer acted on it.
    static void waitOnline() {
        EXPECT_TRUE(waitFor([] {
            app_timer();
            return !online_probe_pending();
        }));
    }
    // Forget the calls so far; the clock and the dialog capture stay.
    static void resetCalls() {
        headless_reset();
        headless_set_clock(kStartClock);
        headless_set_dialog_hook(captureDialog);
    }

    static int messages(const std::string& text) {
        int n = 0;
        for (const auto& c : headless_calls_of("message_box"))
            // The first line is the message; advice may follow it.
            if (c.text.substr(0, c.text.find("\n\n")) == text && c.caption == "Kiv" && c.a == PLATFORM_MB_WARNING) n++;
        return n;
    }
    static int messageBoxes() { return static_cast<int>(headless_calls_of("message_box").size()); }
    // Invalidations recorded with this erase flag.
    static int invalidations(int erase) {
        int n = 0;
        for (const auto& c : headless_calls_of("invalidate"))
            if (c.a == erase) n++;
        return n;
    }
    // Wait cursor shown and restored as often.
    static bool busyBalanced() {
        int on = 0, off = 0;
        for (const auto& c : headless_calls_of("busy_cursor")) (c.a ? on : off)++;
        return on > 0 && on == off;
    }
    // Colour of the top-left pixel of the picture shown (0xRRGGBB), -1 none:
    // a picture of its own, or the view as the last paint composed it.
    static int pictureColour() {
        const unsigned char* p = map_view.pixels;
        if (!p) return view_pane_composing() ? panePixel(0, 0) : -1;
        return (p[0] << 16) | (p[1] << 8) | p[2];
    }
    static uint32_t paletteColour(int index) {
        auto p = testPalette()[index];
        return (p.Red << 16) | (p.Green << 8) | p.Blue;
    }
    static bool near(int rgb, uint32_t want) {
        for (int shift = 0; shift <= 16; shift += 8)
            if (std::abs(((rgb >> shift) & 0xFF) - static_cast<int>((want >> shift) & 0xFF)) > 4) return false;
        return rgb >= 0;
    }
};
