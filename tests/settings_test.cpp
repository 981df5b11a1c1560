// Reading the settings files: defaults, kiv_com.txt, kiv_dev.txt, the
// kiv_ini.txt keys, kiv_pos.txt, and the menu states set at load time.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "platform/headless.h"
#include "app/settings_start.h"
#include "platform/platform.h"
#include "settings/app_settings.h"
#include "settings/com_file.h"
#include "settings/device_table.h"
#include "settings/menu_ids.h"
#include "settings/pos_file.h"
#include "settings/program_settings.h"
#include "settings/settings_load.h"
#include "settings_fixture.h"

namespace {
const double kStartLat = 45.0 + 25.0 / 60.0;
const double kStartLon = -(75.0 + 42.0 / 60.0);

struct Loaded {
    AppSettings* s = nullptr;
    // As the window reads them.
    Loaded() { EXPECT_EQ(settings_start(&s), 1); }
    ~Loaded() { settings_free(s); }
    AppSettings* operator->() const { return s; }
};

ProgramSettings program_read() {
    ProgramSettings p;
    settings_program_defaults(&p);
    settings_read_program_wide(&p);
    return p;
}

class SettingsRead : public SettingsDir {
protected:
    void SetUp() override {
        SettingsDir::SetUp();
        headless_install();
    }
    void TearDown() override {
        platform_install(nullptr);
        SettingsDir::TearDown();
    }
};
}  // namespace

TEST_F(SettingsRead, NoFilesGivesTheDefaults) {
    Loaded s;
    ASSERT_NE(s.s, nullptr);
    EXPECT_EQ(s->deviceType, DEVICE_EARTHMATE);
    EXPECT_EQ(s->comPort, 1);
    EXPECT_EQ(s->baudRate, 9600u);
    EXPECT_EQ(s->dataBits, 8);
    EXPECT_EQ(s->parity, 0);
    EXPECT_EQ(s->stopBits, 0);
    EXPECT_EQ(s->flowControl, 0);
    EXPECT_EQ(s->bigMaps, 0);
    EXPECT_EQ(s->autoPan, 1);
    EXPECT_EQ(s->rose, 1);
    EXPECT_EQ(s->online, 0);
    EXPECT_EQ(s->grid, 0);
    EXPECT_EQ(s->plot, 0);
    EXPECT_EQ(s->crossHair, 0);
    EXPECT_EQ(s->speedUnit, 0);
    EXPECT_EQ(s->baseEnabled, 0);
    EXPECT_EQ(s->basePort, 0);
    EXPECT_STREQ(s->baseHost, "");
    EXPECT_STREQ(s->mapsDir, "./Maps");
    EXPECT_STREQ(s->trackLogFile, "");
    EXPECT_STREQ(s->lastLoggedTime, "");
    EXPECT_STREQ(s->serverUrl, "");
    EXPECT_STREQ(s->probeUrl, "");
    EXPECT_EQ(s->commHandle, -1);
    EXPECT_EQ(s->connected.load(), 0);
    EXPECT_FALSE(s->readerThread.joinable());

    ProgramSettings p = program_read();
    EXPECT_EQ(p.zoomLevel, 2);
    EXPECT_EQ(p.zoomLetter, 0);
    EXPECT_EQ(p.zoneMinutes, 0);
    EXPECT_STREQ(p.zoneName, "GMT");
    EXPECT_NEAR(p.startLatitude, kStartLat, 1e-12);
    EXPECT_NEAR(p.startLongitude, kStartLon, 1e-12);
    EXPECT_EQ(settings_read_big_maps_flag(), 0);
}

TEST_F(SettingsRead, MenuStatesFollowTheRecord) {
    {
        Loaded s;
        EXPECT_EQ(headless_menu_enabled(MENU_ONLINE), 1);
        EXPECT_EQ(headless_menu_enabled(MENU_OFFLINE), 0);
        EXPECT_EQ(headless_menu_enabled(MENU_CONNECT), 1);
        EXPECT_EQ(headless_menu_enabled(MENU_DISCONNECT), 0);
        EXPECT_EQ(headless_menu_checked(MENU_AUTO_PAN), 1);
        EXPECT_EQ(headless_menu_checked(MENU_AUTO_ZOOM), 0);
        EXPECT_EQ(headless_menu_checked(MENU_TRACK), 0);
        EXPECT_EQ(headless_menu_checked(MENU_BIG_MAPS), 0);
        EXPECT_EQ(headless_menu_checked(MENU_MAP_COORDINATES), 0);
        for (int id = MENU_DEVICE_NMEA; id <= MENU_DEVICE_REMOTE; ++id)
            EXPECT_EQ(headless_menu_enabled(id), id == MENU_DEVICE_EARTHMATE ? 0 : 1) << id;
        // The current device is greyed after all seven were enabled.
        auto calls = headless_calls_of("menu_enable");
        ASSERT_FALSE(calls.empty());
        EXPECT_EQ(calls.back().a, MENU_DEVICE_EARTHMATE);
        EXPECT_EQ(calls.back().b, 0);
    }
    headless_reset();
    put("kiv_com.txt", "COM3\nBig\n");
    put("kiv_dev.txt", "Garmin\n");
    Loaded s;
    EXPECT_EQ(headless_menu_checked(MENU_BIG_MAPS), 1);
    EXPECT_EQ(headless_menu_enabled(MENU_DEVICE_GARMIN), 0);
    EXPECT_EQ(headless_menu_enabled(MENU_DEVICE_EARTHMATE), 1);
    EXPECT_EQ(menu_device_item(s->deviceType), MENU_DEVICE_GARMIN);
}

TEST_F(SettingsRead, ComFilePortAndMapSize) {
    struct Case {
        const char* text;
        int port, big;
    } cases[] = {
        {"COM3\nBig\n", 3, 1},   {"COM7\nSmall\n", 7, 0}, {"COM0\nSmall\n", 0, 0},
        {"COM9", 9, 0},          {"COMx\nBig\n", 1, 1},   {"CO\nBig\n", 1, 1},
        {"COM2\nbig\n", 2, 0},   {"COM12\nBig", 1, 1},    {"COM4\r\nBig\r\n", 4, 1},
        {"", 1, 0},
    };
    for (const Case& c : cases) {
        put("kiv_com.txt", c.text);
        Loaded s;
        EXPECT_EQ(s->comPort, c.port) << c.text;
        EXPECT_EQ(s->bigMaps, c.big) << c.text;
        EXPECT_EQ(settings_read_big_maps_flag(), c.big) << c.text;
    }
}

TEST_F(SettingsRead, MapSizeFlagSkipsTheRestOfALongFirstLine) {
    // The early reader keeps 31 characters of a line; the rest of line 1
    // must not be taken for line 2.
    put("kiv_com.txt", "COM1" + std::string(60, ' ') + "Big\nSmall\n");
    EXPECT_EQ(settings_read_big_maps_flag(), 0);
    put("kiv_com.txt", "COM1" + std::string(60, ' ') + "x\nBig\n");
    EXPECT_EQ(settings_read_big_maps_flag(), 1);
}

TEST_F(SettingsRead, DevFileSelectsDeviceAndBaudRate) {
    struct Case {
        const char* text;
        int type;
        unsigned baud;
    } cases[] = {
        {"NMEA\n", 1, 4800},    {"USB EarthMate\n", 2, 4800}, {"EarthMate\n", 3, 9600},
        {"TripMate\n", 4, 4800}, {"Garmin\n", 5, 9600},        {"SMS\n", 6, 9600},
        {"REMOTE\n", 7, 19200}, {"R", 7, 19200},              {"nmea\n", 3, 9600},
        {"xyz\n", 3, 9600},     {"", 3, 9600},                {" NMEA\n", 3, 9600},
    };
    for (const Case& c : cases) {
        put("kiv_dev.txt", c.text);
        Loaded s;
        EXPECT_EQ(s->deviceType, c.type) << c.text;
        EXPECT_EQ(s->baudRate, c.baud) << c.text;
        EXPECT_EQ(s->dataBits, 8);
        EXPECT_EQ(s->parity, 0);
        EXPECT_EQ(s->stopBits, 0);
    }
}

TEST_F(SettingsRead, DashValues) {
    struct Case {
        const char* value;
        char unit;
    } cases[] = {
        {"m/s", 'S'}, {"M/S", 'S'}, {"m/h", 'M'},    {"M/H", 'M'},  {"mile/h", 'M'}, {"MILE/H", 'M'},
        {"Y", 'K'},   {"yes", 'K'}, {"1", 'K'},      {"km/h", 'K'}, {"KM/H", 'K'},   {"kmh", 'K'},
        {"s", 'S'},   {"Sec", 'S'}, {"x", 0},        {"0", 0},      {"n", 0},        {"/", 0},
    };
    for (const Case& c : cases) {
        put("kiv_ini.txt", std::string("Dash=") + c.value + "\n");
        Loaded s;
        EXPECT_EQ(s->speedUnit, c.unit) << c.value;
    }
}

TEST_F(SettingsRead, DisplayKeys) {
    put("track.log", "45.1 -75.2 - 2006/01/01 10:00:00\n45.2 -75.3 - 2006/01/01 10:00:05\nno point here\n");
    put("kiv_ini.txt",
        "# display\n"
        "Hair=3\n"
        "Dash=km/h\n"
        "Maps=/srv/my maps \n"
        "File=track.log\n"
        "Plot=Yes\n"
        "Grid=1\n"
        "Rose=No\n"
        "Base=http://base.example.org:81/kiv\n");
    Loaded s;
    EXPECT_EQ(s->crossHair, 3);
    EXPECT_EQ(s->speedUnit, 'K');
    EXPECT_STREQ(s->mapsDir, "/srv/my maps");  // a path keeps its blanks
    EXPECT_STREQ(s->trackLogFile, "track.log");
    EXPECT_STREQ(s->lastLoggedTime, "2006/01/01 10:00:05");
    EXPECT_EQ(s->plot, 1);
    EXPECT_EQ(s->grid, 1);
    EXPECT_EQ(s->rose, 0);
    EXPECT_EQ(s->baseEnabled, 1);
    EXPECT_STREQ(s->baseHost, "base.example.org");
    EXPECT_EQ(s->basePort, 81);
}

TEST_F(SettingsRead, FlagValues) {
    struct Case {
        const char* text;
        int plot, grid, rose;
    } cases[] = {
        {"Plot=y\nGrid=yes\nRose=n\n", 1, 1, 0},
        {"Plot=1\nGrid=Y\nRose=0\n", 1, 1, 0},
        {"Plot=No\nGrid=0\nRose=Yes\n", 0, 0, 1},
        {"Plot=true\nGrid=on\nRose=off\n", 0, 0, 1},
        {"Plot=\nGrid=\nRose=\n", 0, 0, 1},
    };
    for (const Case& c : cases) {
        put("kiv_ini.txt", c.text);
        Loaded s;
        EXPECT_EQ(s->plot, c.plot) << c.text;
        EXPECT_EQ(s->grid, c.grid) << c.text;
        EXPECT_EQ(s->rose, c.rose) << c.text;
    }
}

TEST_F(SettingsRead, BaseValues) {
    struct Case {
        const char* value;
        const char* host;
        int port;
    } cases[] = {
        {"http://kiv.example.net:81", "kiv.example.net", 81},
        {"kiv.example.net", "kiv.example.net", 0},
        {"http://kiv.example.net", "kiv.example.net", 0},
        {"10.0.0.2:8080", "10.0.0.2", 8080},
        {"host:abc", "host", 0},
        {"HTTP://host:82", "HTTP", 0},  // the prefix is dropped only in lower case
    };
    for (const Case& c : cases) {
        put("kiv_ini.txt", std::string("Base=") + c.value + "\n");
        Loaded s;
        EXPECT_EQ(s->baseEnabled, 1) << c.value;
        EXPECT_STREQ(s->baseHost, c.host) << c.value;
        EXPECT_EQ(s->basePort, c.port) << c.value;
    }
    // A port that would wrap to another is refused, not listened on.
    put("kiv_ini.txt", "Base=host:99999\n");
    Loaded s;
    EXPECT_EQ(s->baseEnabled, 0);
    EXPECT_EQ(s->basePort, 0);
}

TEST_F(SettingsRead, KeysAreExactAtLineStart) {
    put("kiv_ini.txt",
        " Hair=5\nhair=5\nHAIR=5\nHair =5\n"
        "\tDash=m/s\ndash=m/s\n"
        " Maps=/x\nmaps=/x\n"
        "#Base=host:1\nbase=host:1\n"
        "Zone =3\n zone=3\n"
        " Init=4\n");
    Loaded s;
    EXPECT_EQ(s->crossHair, 0);
    EXPECT_EQ(s->speedUnit, 0);
    EXPECT_STREQ(s->mapsDir, "./Maps");
    EXPECT_EQ(s->baseEnabled, 0);
    ProgramSettings p = program_read();
    EXPECT_EQ(p.zoneMinutes, 0);
    EXPECT_STREQ(p.zoneName, "GMT");
    EXPECT_EQ(p.zoomLevel, 2);
}

TEST_F(SettingsRead, FirstConvertingLineWins) {
    put("kiv_ini.txt", "Hair=abc\nHair=4\nHair=7\nMaps=\nMaps=/first\nMaps=/second\n");
    Loaded s;
    EXPECT_EQ(s->crossHair, 4);
    EXPECT_STREQ(s->mapsDir, "/first");
}

TEST_F(SettingsRead, KeyInsideALongLineIsNotAKeyLine) {
    // The key text starts exactly where a 255-character piece would end.
    put("kiv_ini.txt", std::string(255, 'x') + "Hair=9\nHair=2\n" + std::string(400, 'y') + "\nDash=m/s\r\n");
    Loaded s;
    EXPECT_EQ(s->crossHair, 2);
    EXPECT_EQ(s->speedUnit, 'S');
}

TEST_F(SettingsRead, PathsStartingAtHomeAndTooLongTrackLogName) {
    const char* savedHome = getenv("HOME");
    std::string home = savedHome ? savedHome : "";
    setenv("HOME", dir.c_str(), 1);
    std::string deep = "logs/" + std::string(120, 'l') + "/" + std::string(90, 'n');
    std::filesystem::create_directories(std::filesystem::path(deep).parent_path());
    put(deep, "1 2 - 2006/01/01 10:00:05\n");
    put("kiv_ini.txt", "Maps=~/maps\nFile=~/" + deep + "\nGpx=~/My Tracks\nCom1=/dev/serial/by-id/usb-u blox\nTrack=Y\n");
    {
        Loaded s;
        EXPECT_EQ(std::string(s->mapsDir), dir + "/maps");
        EXPECT_EQ(std::string(s->gpxFolder), dir + "/My Tracks");
        EXPECT_STREQ(s->comPath[1], "/dev/serial/by-id/usb-u blox");
        EXPECT_EQ(s->track, 1);
        EXPECT_EQ(std::string(s->trackLogFile), dir + "/" + deep);
        EXPECT_STREQ(s->lastLoggedTime, "2006/01/01 10:00:05");
        EXPECT_TRUE(headless_calls_of("message_box").empty());
    }
    put("kiv_ini.txt", "File=" + std::string(PATH_MAX + 10, 'f') + "\n");
    {
        Loaded s;
        EXPECT_STREQ(s->trackLogFile, "");  // refused, and said so
        EXPECT_EQ(headless_calls_of("message_box").size(), 1u);
    }
    if (savedHome) setenv("HOME", home.c_str(), 1);
}

TEST_F(SettingsRead, OverLongValuesAreCutSafely) {
    std::string longName(100, 'f');
    std::string longHost(100, 'h');
    put(longName, "1 2 - " + std::string(80, 't') + "\n");
    put("kiv_ini.txt", "File=" + longName + "\nBase=http://" + longHost + ":81\nMaps=" + std::string(400, 'm') +
                           "\nZone=-5 VERYLONGNAME\nHair=99999999999999999999\n");
    Loaded s;
    EXPECT_EQ(std::string(s->trackLogFile), longName);  // a file name is never cut
    EXPECT_EQ(std::string(s->lastLoggedTime), std::string(31, 't'));
    EXPECT_EQ(std::string(s->baseHost), longHost.substr(0, 63));
    EXPECT_EQ(s->basePort, 81);
    EXPECT_STREQ(s->mapsDir, "./Maps");  // a folder name is never cut either: refused, said
    EXPECT_EQ(headless_calls_of("message_box").size(), 1u);
    EXPECT_EQ(s->crossHair, 2147483647);
    ProgramSettings p = program_read();
    EXPECT_STREQ(p.zoneName, "VERYLONGN");
    EXPECT_EQ(p.zoneMinutes, -300);
}

TEST_F(SettingsRead, ZoneValues) {
    struct Case {
        const char* line;
        int minutes;
        const char* name;
    } cases[] = {
        {"Zone=-5\n", -300, "GMT-5"},      {"Zone=-5 EST\n", -300, "EST"}, {"Zone=0\n", 0, "GMT"},
        {"Zone=+3\n", 180, "GMT+3"},       {"Zone=-5EST\n", -300, "EST"},  {"Zone=2 GMT\n", 120, "GMT+2"},
        {"Zone=0 UTC\n", 0, "UTC"},        {"Zone=EST\n", 0, "GMT"},       {"Zone=99\n", 0, "GMT"},
        {"Zone=-24 X\n", 0, "GMT"},        {"Zone=23\n", 1380, "GMT+23"},  {"", 0, "GMT"},
        {"Zone=+5:30 IST\n", 330, "IST"},  {"Zone=-3:30\n", -210, "GMT-3:30"},
        {"Zone=-0:30\n", -30, "GMT-0:30"}, {"Zone=5:45\n", 345, "GMT+5:45"}, {"Zone=5:60\n", 0, "GMT"},
    };
    for (const Case& c : cases) {
        put("kiv_ini.txt", c.line);
        ProgramSettings p = program_read();
        EXPECT_EQ(p.zoneMinutes, c.minutes) << c.line;
        EXPECT_STREQ(p.zoneName, c.name) << c.line;
    }
}

TEST_F(SettingsRead, ZoomAndInitValues) {
    struct Case {
        const char* text;
        char letter;
        int level;
    } cases[] = {
        {"Zoom=s\nInit=3\n", 'S', 3}, {"Zoom=S\nInit=0\n", 'S', 0}, {"Zoom=q\nInit=4\n", 'Q', 4},
        {"Init=5\n", 0, 2},           {"Init=-1\n", 0, 2},          {"Init=x\nInit=1\n", 0, 1},
    };
    for (const Case& c : cases) {
        put("kiv_ini.txt", c.text);
        ProgramSettings p = program_read();
        EXPECT_EQ(p.zoomLetter, c.letter) << c.text;
        EXPECT_EQ(p.zoomLevel, c.level) << c.text;
        EXPECT_EQ(settings_read_zoom_letter(), c.letter) << c.text;
    }
}

TEST_F(SettingsRead, ListenAndWmsSources) {
    put("kiv_ini.txt",
        "Listen=127.0.0.1\nWms=https://maps.example/wms\nWmsLayers=a,b\nWmsStyles=,\nWmsFormat=image/gif\n"
        "WmsVersion=1.1.1\nWmsAerial=http://air.example/ows?map=x\nWmsAerialLayers=photo\n");
    Loaded s;
    EXPECT_STREQ(s->listenHost, "127.0.0.1");
    EXPECT_STREQ(s->wms.url, "https://maps.example/wms");
    EXPECT_STREQ(s->wms.layers, "a,b");
    EXPECT_STREQ(s->wms.styles, ",");
    EXPECT_STREQ(s->wms.format, "image/gif");
    EXPECT_STREQ(s->wms.version, "1.1.1");
    EXPECT_STREQ(s->wmsAerial.url, "http://air.example/ows?map=x");
    EXPECT_STREQ(s->wmsAerial.layers, "photo");
    EXPECT_STREQ(s->wmsAerial.format, "");
}

TEST_F(SettingsRead, LinuxPortPathsAndUrls) {
    put("kiv_ini.txt",
        "Com1=/dev/ttyUSB0\nCom3=/dev/pts/7\ncom4=/dev/lower\n Com5=/dev/blank\nCom10=/dev/ten\n"
        "Server=http://127.0.0.1:8080\nProbe=http://127.0.0.1:8080/probe.html\n");
    Loaded s;
    char path[64];
    ASSERT_EQ(settings_port_path(s.s, 1, path, sizeof path), 1);
    EXPECT_STREQ(path, "/dev/ttyUSB0");
    ASSERT_EQ(settings_port_path(s.s, 2, path, sizeof path), 1);
    EXPECT_STREQ(path, "/dev/ttyS1");
    ASSERT_EQ(settings_port_path(s.s, 3, path, sizeof path), 1);
    EXPECT_STREQ(path, "/dev/pts/7");
    ASSERT_EQ(settings_port_path(s.s, 4, path, sizeof path), 1);
    EXPECT_STREQ(path, "/dev/ttyS3");
    ASSERT_EQ(settings_port_path(s.s, 5, path, sizeof path), 1);
    EXPECT_STREQ(path, "/dev/ttyS4");
    ASSERT_EQ(settings_port_path(s.s, 9, path, sizeof path), 1);
    EXPECT_STREQ(path, "/dev/ttyS8");
    EXPECT_EQ(settings_port_path(s.s, 0, path, sizeof path), 0);
    EXPECT_EQ(settings_port_path(s.s, 10, path, sizeof path), 0);
    char tiny[8];
    EXPECT_EQ(settings_port_path(s.s, 1, tiny, sizeof tiny), 0);
    EXPECT_STREQ(tiny, "");
    EXPECT_STREQ(s->serverUrl, "http://127.0.0.1:8080");
    EXPECT_STREQ(s->probeUrl, "http://127.0.0.1:8080/probe.html");
}

TEST_F(SettingsRead, StartPositionFormats) {
    struct Case {
        const char* text;
        double lat, lon;
    } cases[] = {
        {"N 45 25 00\nW 75 42 00\n", kStartLat, kStartLon},
        {"N 4525.30\nW 7542.00\n", 45 + 25 / 60.0 + 30 / 3600.0, -(75 + 42 / 60.0)},
        {"S  33 52 04\nE 151 12 30\n", -(33 + 52 / 60.0 + 4 / 3600.0), 151 + 12 / 60.0 + 30 / 3600.0},
        {"N 45 25 00\nW 7542.30", kStartLat, -(75 + 42 / 60.0 + 30 / 3600.0)},  // last digit kept
        {"hello\nW 75 42 00\n", 0.0, kStartLon},
        {"N 91 00 00\nE 181 00 00\n", 0.0, 0.0},
        {"N nan\nW inf\n", 0.0, 0.0},
        {"N 45 25 00\n", kStartLat, kStartLon},  // a missing line keeps its default
        {"\n\n", 0.0, 0.0},
        {"n 45 0 0\nw 75 0 0\n", 45.0, 75.0},  // only capital S and W negate
    };
    for (const Case& c : cases) {
        put("kiv_pos.txt", c.text);
        ProgramSettings p = program_read();
        EXPECT_NEAR(p.startLatitude, c.lat, 1e-9) << c.text;
        EXPECT_NEAR(p.startLongitude, c.lon, 1e-9) << c.text;
    }
}

TEST(SettingsDevices, TableAndSelection) {
    EXPECT_STREQ(device_name(DEVICE_USB_EARTHMATE), "USB EarthMate");
    EXPECT_EQ(device_name(0), nullptr);
    EXPECT_EQ(device_name(8), nullptr);
    EXPECT_EQ(device_from_letter('G'), DEVICE_GARMIN);
    EXPECT_EQ(device_from_letter('g'), 0);
    AppSettings s{};
    s.flowControl = 5;
    s.comPort = 4;
    s.parity = 2;
    s.stopBits = 2;
    s.dataBits = 7;
    ASSERT_EQ(settings_select_device(&s, DEVICE_REMOTE), 1);
    EXPECT_EQ(s.baudRate, 19200u);
    EXPECT_EQ(s.dataBits, 8);
    EXPECT_EQ(s.parity, 0);
    EXPECT_EQ(s.stopBits, 0);
    EXPECT_EQ(s.flowControl, 5);
    EXPECT_EQ(s.comPort, 4);
    EXPECT_EQ(settings_select_device(&s, 9), 0);
    EXPECT_EQ(s.deviceType, DEVICE_REMOTE);
}

TEST_F(SettingsRead, NulInsideALineDoesNotHideTheNextLine) {
    put("kiv_ini.txt", std::string("Maps=/a\0b\n", 10) + "Hair=6\n");
    Loaded s;
    EXPECT_STREQ(s->mapsDir, "/a");
    EXPECT_EQ(s->crossHair, 6);
}
