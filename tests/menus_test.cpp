// The menu commands on the headless window: every id, the link and the
// online state, the options, device selection, the COM dialog's effect on
// an open port, and the dialogs the Monitor, Keys and About items open.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <termios.h>

#include <set>

#include "menus_test_support.h"
#include "net/connectivity.h"
#include "net/remote_server.h"
#include "position/serial_speed.h"
#include "net_peer.h"
#include "position/serial_link.h"

namespace {

constexpr double kLat = 45.5, kLon = -(75 + 40 / 60.0);   // the default start sheet at level 2

// Every id of the menu; the others in 257..307 have no command.
const std::set<int> kMenuIds = {257, 258, 259, 260, 261, 262, 263, 264, 270, 271, 273, 274, 275, 276, 277, 279, 280, 281, 282, 283,
                                289, 290, 291, 292, 293, 294, 295, 296, 305, 307};

std::vector<std::string> callKinds() {
    std::vector<std::string> out;
    for (const auto& c : headless_calls()) out.push_back(c.what);
    return out;
}

// The speed and input flags the terminal of fd is set to.
speed_t ptySpeed(int fd) {
    termios t{};
    tcgetattr(fd, &t);
    return cfgetospeed(&t);
}
tcflag_t ptyInputFlags(int fd) {
    termios t{};
    tcgetattr(fd, &t);
    return t.c_iflag;
}

}  // namespace

TEST_F(MenuTest, EveryCommandIsIgnoredWithoutTheSettingsRecord) {
    ASSERT_EQ(nullptr, settings());
    headless_set_open_file((dir / "whatever.gif").string());
    for (int id = 250; id <= 320; id++) app_command(id);
    EXPECT_TRUE(headless_calls().empty());
    EXPECT_TRUE(shown_monitors.empty());
    EXPECT_FALSE(fileExists("kiv_com.txt"));
    EXPECT_FALSE(fileExists("kiv_dev.txt"));
    EXPECT_EQ(0, headless_close_posted());
}

TEST_F(MenuTest, IdsWithoutACommandAndOutsideTheRangeChangeNothing) {
    addSheet(kLat, kLon, 2, 0, 40);
    create();
    AppSettings* s = settings();
    std::string com = readFile("kiv_com.txt"), dev = readFile("kiv_dev.txt");
    int autoPan = s->autoPan, big = s->bigMaps, device = s->deviceType;
    for (int id : {-1, 0, 1, 256, 265, 272, 278, 284, 288, 297, 304, 306, 308, 1000})
        app_command(id);
    for (int id = 257; id <= 307; id++)
        if (!kMenuIds.count(id)) app_command(id);
    EXPECT_TRUE(headless_calls().empty());
    EXPECT_EQ(com, readFile("kiv_com.txt"));
    EXPECT_EQ(dev, readFile("kiv_dev.txt"));
    EXPECT_EQ(autoPan, s->autoPan);
    EXPECT_EQ(big, s->bigMaps);
    EXPECT_EQ(device, s->deviceType);
}

// One run through the whole menu, each id judged by the platform calls it
// made (no port, no network, dialogs ended with their default).
TEST_F(MenuTest, EachMenuIdMakesItsPlatformCalls) {
    addSheet(kLat, kLon, 2, 0, 40);
    create("Com1=/dev/null\n");
    settings()->comPort = 1;
    net_install_remote_hooks();
    remote_server_set_listen_host("127.0.0.1");
    settings()->basePort = 0;
    for (int id = 257; id <= 307; id++) {
        resetCalls();
        size_t monitorsBefore = shown_monitors.size();
        app_command(id);
        if (id == MENU_ONLINE) waitOnline();
        auto kinds = callKinds();
        auto has = [&](const char* what) { return std::find(kinds.begin(), kinds.end(), what) != kinds.end(); };
        SCOPED_TRACE("id " + std::to_string(id));
        switch (id) {
        case MENU_OPEN_MAP:
        case MENU_OPEN_TRACK: EXPECT_EQ(std::vector<std::string>{"open_file_dialog"}, kinds); break;
        case MENU_CLOSE_TRACKS: EXPECT_EQ(1, invalidations(0)); break;
        case MENU_RELOAD_MAP:
        case MENU_SATELLITE_IMAGE: EXPECT_EQ(1, invalidations(1)); break;
        case MENU_ONLINE: EXPECT_EQ(1, messages("No Internet connection")); break;
        case MENU_OFFLINE:
            EXPECT_EQ(1, headless_menu_enabled(MENU_ONLINE));
            EXPECT_EQ(0, headless_menu_enabled(MENU_OFFLINE));
            break;
        case MENU_CONNECT: EXPECT_EQ(1, messages("No GPS connected")); break;
        case MENU_DISCONNECT: EXPECT_EQ(1, invalidations(0)); break;
        case MENU_EXIT: EXPECT_EQ(1, headless_close_posted()); break;
        case MENU_AUTO_PAN: EXPECT_EQ(0, headless_menu_checked(id)); break;
        case MENU_AUTO_ZOOM:
        case MENU_TRACK:
        case MENU_MAP_COORDINATES:
            EXPECT_EQ(1, headless_menu_checked(id));
            EXPECT_EQ(1, invalidations(0));
            break;
        case MENU_BIG_MAPS: EXPECT_EQ(1, headless_menu_checked(id)); break;
        case MENU_FULL_SCREEN: EXPECT_TRUE(has("full_screen")); break;
        case MENU_LOOK_AHEAD:
        case MENU_NIGHT_COLOURS: EXPECT_EQ(1, invalidations(0)); break;
        case MENU_SETTINGS_COM:
            ASSERT_EQ(1u, headless_calls_of("run_dialog").size());
            EXPECT_EQ(PLATFORM_DIALOG_COM, headless_calls_of("run_dialog")[0].a);
            break;
        case MENU_MONITOR:
            EXPECT_TRUE(has("show_monitor"));
            EXPECT_EQ(monitorsBefore + 1, shown_monitors.size());
            break;
        case MENU_DOWNLOAD_AREA:
            ASSERT_GE(headless_calls_of("run_dialog").size(), 1u);
            EXPECT_EQ(PLATFORM_DIALOG_DOWNLOAD_AREA, headless_calls_of("run_dialog")[0].a);
            break;
        case MENU_KEYS:
        case MENU_ABOUT:
            ASSERT_EQ(1u, headless_calls_of("run_dialog").size());
            EXPECT_EQ(id == MENU_KEYS ? PLATFORM_DIALOG_KEYS : PLATFORM_DIALOG_ABOUT,
                      headless_calls_of("run_dialog")[0].a);
            break;
        default:
            if (id >= MENU_DEVICE_NMEA && id <= MENU_DEVICE_REMOTE) {
                EXPECT_EQ(0, headless_menu_enabled(id));
                EXPECT_EQ(id - MENU_DEVICE_BASE, settings()->deviceType);
                if (id == MENU_DEVICE_REMOTE) {
                    EXPECT_EQ(1, settings()->connected.load());
                    EXPECT_EQ(1, remote_server_running());
                }
            } else {
                EXPECT_TRUE(kinds.empty());
            }
        }
        if (kMenuIds.count(id) && id != MENU_OPEN_MAP && id != MENU_OPEN_TRACK && id != MENU_EXIT &&
            id < MENU_SETTINGS_COM) {
            EXPECT_TRUE(busyBalanced());
        }
    }
}

TEST_F(MenuTest, ConnectAndDisconnectFollowTheLink) {
    PtyReceiver gps;
    ASSERT_TRUE(gps.open());
    addSheet(kLat, kLon, 2, 0, 40);
    create("Com1=" + gps.path + "\n");
    AppSettings* s = settings();
    s->comPort = 1;   // started with COM0: no link until Connect
    EXPECT_EQ(0, s->connected.load());

    app_command(MENU_CONNECT);
    EXPECT_EQ(1, s->connected.load());
    EXPECT_EQ(0, headless_menu_enabled(MENU_CONNECT));
    EXPECT_EQ(1, headless_menu_enabled(MENU_DISCONNECT));
    EXPECT_EQ(0, messageBoxes());
    EXPECT_TRUE(busyBalanced());

    gps.send(rmcSentence(45.45, -75.7, 10, "120000", "080525"));
    ASSERT_TRUE(waitFor([] { return gps_fix_mode() > 0; }));

    resetCalls();
    app_command(MENU_DISCONNECT);
    EXPECT_EQ(0, s->connected.load());
    EXPECT_EQ(1, headless_menu_enabled(MENU_CONNECT));
    EXPECT_EQ(0, headless_menu_enabled(MENU_DISCONNECT));
    EXPECT_EQ(0, gps_fix_mode());
    EXPECT_EQ(1, invalidations(0));

    // The accelerators are the same commands.
    app_command(APP_ACCEL_SHIFT_PAGE_UP);
    EXPECT_EQ(1, s->connected.load());
    app_command(APP_ACCEL_SHIFT_PAGE_DOWN);
    EXPECT_EQ(0, s->connected.load());
}

TEST_F(MenuTest, AFailedConnectLeavesConnectEnabled) {
    create("Com1=/dev/null\n");
    settings()->comPort = 1;
    app_command(MENU_CONNECT);
    EXPECT_EQ(1, messages("No GPS connected"));
    EXPECT_EQ(0, settings()->connected.load());
    EXPECT_NE(0, headless_menu_enabled(MENU_CONNECT));
    EXPECT_NE(1, headless_menu_enabled(MENU_DISCONNECT));
}

TEST_F(MenuTest, ExitFreesThePictureAndAsksToClose) {
    addSheet(kLat, kLon, 2, 0, 40);
    create();
    ASSERT_NE(nullptr, map_view.dibHeader);
    app_command(MENU_EXIT);
    EXPECT_EQ(nullptr, map_view.dibHeader);
    EXPECT_EQ(1, headless_close_posted());
    EXPECT_EQ(0, headless_window_destroyed());
}

TEST_F(MenuTest, OnlineWithoutTheServerWarnsAndStaysOffline) {
    int closedPort;   // a port nothing listens on
    {
        int fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ASSERT_EQ(0, bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a));
        socklen_t len = sizeof a;
        getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
        closedPort = ntohs(a.sin_port);
        close(fd);
    }
    create("Probe=http://127.0.0.1:" + std::to_string(closedPort) + "/\n");
    app_command(MENU_ONLINE);
    waitOnline();
    EXPECT_EQ(1, messages("No Internet connection"));
    EXPECT_EQ(0, settings()->online);
    EXPECT_NE(0, headless_menu_enabled(MENU_ONLINE));
    EXPECT_NE(1, headless_menu_enabled(MENU_OFFLINE));
    EXPECT_TRUE(busyBalanced());
    char probeFile[64];
    online_probe_file(probeFile, sizeof probeFile);
    EXPECT_FALSE(fileExists(probeFile));
}

TEST_F(MenuTest, OnlineWithTheServerGoesOnlineAndOfflineGoesBack) {
    if (!net_have_python()) GTEST_SKIP() << "no python3";
    std::filesystem::create_directories(dir / "site");
    writeFile((dir / "site" / "index.html").string(), "<html>map service</html>\n");
    NetPeer web = net_http_server_start((dir / "site").string());
    ASSERT_GT(web.port, 0);
    std::string root = "http://127.0.0.1:" + std::to_string(web.port) + "/";

    // No Probe= line: the root of the Server= address is asked.
    writeFile("kiv_com.txt", "COM0\nSmall\n");
    writeFile("kiv_dev.txt", "NMEA\n");
    writeFile("kiv_ini.txt", "Server=" + root + "cgi-bin/mapserv\n");
    ASSERT_EQ(1, app_create());
    connectivity_probe_finish();
    resetCalls();
    settings()->online = 0;
    // Another instance's probe file in the same folder is left alone.
    writeFile("tcpip.tmp", "theirs");

    app_command(MENU_ONLINE);
    waitOnline();
    net_peer_stop(web);
    EXPECT_EQ(0, messageBoxes());
    EXPECT_EQ(1, settings()->online);
    EXPECT_EQ(0, headless_menu_enabled(MENU_ONLINE));
    EXPECT_EQ(1, headless_menu_enabled(MENU_OFFLINE));
    char probeFile[64];
    online_probe_file(probeFile, sizeof probeFile);
    EXPECT_FALSE(fileExists(probeFile));
    EXPECT_EQ("theirs", readFile("tcpip.tmp"));

    app_command(MENU_OFFLINE);
    EXPECT_EQ(0, settings()->online);
    EXPECT_EQ(1, headless_menu_enabled(MENU_ONLINE));
    EXPECT_EQ(0, headless_menu_enabled(MENU_OFFLINE));
}

TEST_F(MenuTest, OptionTogglesFlipTheirFlagAndCheckMark) {
    addSheet(kLat, kLon, 2, 0, 40);
    create();
    AppSettings* s = settings();
    struct Option {
        int id;
        int32_t* flag;
    } options[] = {{MENU_AUTO_PAN, &s->autoPan}, {MENU_AUTO_ZOOM, &s->autoZoom}, {MENU_TRACK, &s->track},
                   {MENU_MAP_COORDINATES, &s->mapCoordinates}};
    for (const Option& o : options) {
        SCOPED_TRACE(o.id);
        int before = *o.flag;
        resetCalls();
        app_command(o.id);
        EXPECT_EQ(!before, *o.flag);
        EXPECT_EQ(!before, headless_menu_checked(o.id));
        EXPECT_EQ(1, invalidations(0));
        EXPECT_EQ(0, invalidations(1));
        app_command(o.id);
        EXPECT_EQ(before, *o.flag);
        EXPECT_EQ(before, headless_menu_checked(o.id));
    }
    // None of them writes a settings file.
    EXPECT_EQ("COM0\nSmall\n", readFile("kiv_com.txt"));
}

TEST_F(MenuTest, DeviceItemsSetTheLineAndRewriteTheDeviceFile) {
    PtyReceiver gps;
    ASSERT_TRUE(gps.open());
    create("Com1=" + gps.path + "\n");
    AppSettings* s = settings();
    s->comPort = 1;   // started with COM0: no link until Connect
    app_command(MENU_CONNECT);
    ASSERT_EQ(1, s->connected.load());
    s->flowControl = 5;
    struct Device {
        int id;
        const char* line;
        uint32_t baud;
    } devices[] = {{MENU_DEVICE_USB_EARTHMATE, "USB EarthMate\n", 4800}, {MENU_DEVICE_EARTHMATE, "EarthMate\n", 9600},
                   {MENU_DEVICE_TRIPMATE, "TripMate\n", 4800},           {MENU_DEVICE_GARMIN, "Garmin\n", 9600},
                   {MENU_DEVICE_SMS, "SMS\n", 9600},               {MENU_DEVICE_NMEA, "NMEA\n", 4800}};
    for (const Device& d : devices) {
        SCOPED_TRACE(d.line);
        s->dataBits = 7;
        s->parity = 2;
        s->stopBits = 2;
        resetCalls();
        app_command(d.id);
        EXPECT_EQ(d.id - MENU_DEVICE_BASE, s->deviceType);
        EXPECT_EQ(d.baud, s->baudRate);
        EXPECT_EQ(8, s->dataBits);
        EXPECT_EQ(0, s->parity);
        EXPECT_EQ(0, s->stopBits);
        EXPECT_EQ(5, s->flowControl);
        EXPECT_EQ(1, s->comPort);
        EXPECT_EQ(d.line, readFile("kiv_dev.txt"));
        for (int item = MENU_DEVICE_NMEA; item <= MENU_DEVICE_REMOTE; item++)
            EXPECT_EQ(item == d.id ? 0 : 1, headless_menu_enabled(item)) << item;
        EXPECT_EQ(1, invalidations(0));
        // The open link is closed and opened again for the new device.
        EXPECT_EQ(1, s->connected.load());
        EXPECT_EQ(d.baud == 4800 ? B4800 : B9600, ptySpeed(gps.slave));
    }
}

TEST_F(MenuTest, SwitchingToRemoteWhileConnectedClosesThePortAndStartsTheServer) {
    PtyReceiver gps;
    ASSERT_TRUE(gps.open());
    create("Com1=" + gps.path + "\n");
    net_install_remote_hooks();
    remote_server_set_listen_host("127.0.0.1");
    AppSettings* s = settings();
    s->basePort = 0;
    s->comPort = 1;
    app_command(MENU_DEVICE_NMEA);
    app_command(MENU_CONNECT);
    ASSERT_GE(s->commHandle, 0);

    app_command(MENU_DEVICE_REMOTE);
    EXPECT_EQ(0, messageBoxes());
    EXPECT_EQ(1, s->connected.load());
    EXPECT_EQ(-1, s->commHandle);   // the port is released
    EXPECT_EQ(1, remote_server_running());

    app_command(MENU_DEVICE_NMEA);
    EXPECT_EQ(0, remote_server_running());
    EXPECT_EQ(1, s->connected.load());
    EXPECT_GE(s->commHandle, 0);
    app_command(MENU_DISCONNECT);
}

TEST_F(MenuTest, RemoteSelectionStartsTheServerAtOnce) {
    create();
    net_install_remote_hooks();
    remote_server_set_listen_host("127.0.0.1");
    AppSettings* s = settings();
    s->basePort = 0;
    app_command(MENU_DEVICE_REMOTE);
    EXPECT_EQ(DEVICE_REMOTE, s->deviceType);
    EXPECT_EQ(19200u, s->baudRate);
    EXPECT_EQ("REMOTE\n", readFile("kiv_dev.txt"));
    EXPECT_EQ(0, messageBoxes());
    ASSERT_EQ(1, s->connected.load());
    EXPECT_EQ(1, remote_server_running());
    EXPECT_GT(remote_server_port(), 0);
    EXPECT_EQ(0, headless_menu_enabled(MENU_CONNECT));
    EXPECT_EQ(1, headless_menu_enabled(MENU_DISCONNECT));

    app_command(MENU_DISCONNECT);
    EXPECT_EQ(0, remote_server_running());
    EXPECT_EQ(0, s->connected.load());
}

TEST_F(MenuTest, RemoteSelectionThatCannotStartWarns) {
    create();
    // Without the networking layer's hooks there is no server to start.
    serial_set_remote_hooks(nullptr, nullptr);
    app_command(MENU_DEVICE_REMOTE);
    EXPECT_EQ(1, messages("No GPS connected"));
    EXPECT_EQ(0, settings()->connected.load());
    EXPECT_EQ(DEVICE_REMOTE, settings()->deviceType);
    EXPECT_EQ("REMOTE\n", readFile("kiv_dev.txt"));
    EXPECT_NE(0, headless_menu_enabled(MENU_CONNECT));
    net_install_remote_hooks();
}

TEST_F(MenuTest, SettingsComAppliesTheDialogToTheOpenPort) {
    PtyReceiver gps;
    ASSERT_TRUE(gps.open());
    create("Com1=" + gps.path + "\n");
    AppSettings* s = settings();
    s->comPort = 1;   // started with COM0: no link until Connect
    app_command(MENU_CONNECT);
    ASSERT_EQ(1, s->connected.load());
    ASSERT_EQ(B4800, ptySpeed(gps.slave));

    // OK with 19.2k and Even; the port list is greyed and keeps its port.
    int portEnabled = -1;
    dialog_action = [&](int kind, void* state) {
        EXPECT_EQ(PLATFORM_DIALOG_COM, kind);
        auto* d = static_cast<ComDialog*>(state);
        portEnabled = d->lists[COM_LIST_PORT].enabled;
        com_dialog_select(d, COM_LIST_PORT, 4);
        com_dialog_select(d, COM_LIST_BAUD_RATE, 8);
        com_dialog_select(d, COM_LIST_PARITY, 1);
        return com_dialog_ok(d);
    };
    resetCalls();
    app_command(MENU_SETTINGS_COM);
    EXPECT_EQ(0, portEnabled);
    EXPECT_EQ(1, s->comPort);
    EXPECT_EQ(19200u, s->baudRate);
    EXPECT_EQ(2, s->parity);
    EXPECT_EQ("COM1\nSmall\n", readFile("kiv_com.txt"));
    EXPECT_EQ(B19200, ptySpeed(gps.slave));
    // A pseudo-terminal keeps no parity bits; the parity check shows it was set.
    EXPECT_NE(0u, ptyInputFlags(gps.slave) & INPCK);
    EXPECT_EQ(0, messageBoxes());
    EXPECT_EQ(1, invalidations(0));

    // Cancel: record and file stay, but the port is set from the record again.
    writeFile("kiv_com.txt", "COM1\nSmall\n# mine\n");
    termios t{};
    tcgetattr(gps.slave, &t);
    cfsetospeed(&t, B1200);
    cfsetispeed(&t, B1200);
    tcsetattr(gps.slave, TCSANOW, &t);
    dialog_action = [](int, void* state) {
        auto* d = static_cast<ComDialog*>(state);
        com_dialog_select(d, COM_LIST_BAUD_RATE, 0);
        return com_dialog_cancel(d);
    };
    app_command(MENU_SETTINGS_COM);
    EXPECT_EQ(19200u, s->baudRate);
    EXPECT_EQ("COM1\nSmall\n# mine\n", readFile("kiv_com.txt"));
    EXPECT_EQ(B19200, ptySpeed(gps.slave));

    // A rate without a termios constant reaches the port too.
    dialog_action = [](int, void* state) {
        auto* d = static_cast<ComDialog*>(state);
        com_dialog_select(d, COM_LIST_BAUD_RATE, 13);   // 128k
        return com_dialog_ok(d);
    };
    resetCalls();
    app_command(MENU_SETTINGS_COM);
    EXPECT_EQ(128000u, s->baudRate);
    EXPECT_EQ(0, messageBoxes());
    EXPECT_EQ(128000u, serial_speed_get(gps.slave));
    EXPECT_EQ(1, s->connected.load());
}

TEST_F(MenuTest, SettingsComWithoutALinkOnlyChangesTheRecord) {
    create();
    dialog_action = [](int, void* state) {
        auto* d = static_cast<ComDialog*>(state);
        EXPECT_EQ(1, d->lists[COM_LIST_PORT].enabled);
        com_dialog_select(d, COM_LIST_PORT, 2);
        com_dialog_select(d, COM_LIST_BAUD_RATE, 15);   // out of range: ignored
        com_dialog_select(d, COM_LIST_BAUD_RATE, 128);
        return com_dialog_ok(d);
    };
    app_command(MENU_SETTINGS_COM);
    EXPECT_EQ(3, settings()->comPort);
    EXPECT_EQ(4800u, settings()->baudRate);
    EXPECT_EQ("COM3\nSmall\n", readFile("kiv_com.txt"));
    EXPECT_EQ(0, messageBoxes());
}

TEST_F(MenuTest, EachMonitorCommandOpensAnotherMonitor) {
    create();
    app_command(MENU_MONITOR);
    app_command(MENU_MONITOR);
    ASSERT_EQ(2u, shown_monitors.size());
    MonitorDialog* a = shown_monitors[0];
    MonitorDialog* b = shown_monitors[1];
    EXPECT_NE(a, b);
    EXPECT_EQ(MONITOR_FIRST_TIMER_MS, a->timerMs);
    EXPECT_EQ(MONITOR_FIRST_TIMER_MS, b->timerMs);
    EXPECT_STREQ(" ", a->texts[MONITOR_MESSAGE].text);
    gps_set_last_message("$GPGGA,1");
    monitor_dialog_timer(a);
    EXPECT_STREQ(" $GPGGA,1", a->texts[MONITOR_MESSAGE].text);
    EXPECT_STREQ(" ", b->texts[MONITOR_MESSAGE].text);
    EXPECT_EQ(MONITOR_TIMER_MS, a->timerMs);
    EXPECT_EQ(MONITOR_FIRST_TIMER_MS, b->timerMs);
    EXPECT_EQ(1, monitor_dialog_command(a, 1));
    EXPECT_EQ(0, a->open);
    EXPECT_EQ(1, b->open);
}

TEST_F(MenuTest, KeysAndAboutShowTheirTexts) {
    create();
    std::string keysTitle, aboutVersion, aboutSystem;
    dialog_action = [&](int kind, void* state) {
        if (kind == PLATFORM_DIALOG_KEYS) keysTitle = static_cast<KeysDialog*>(state)->caption;
        if (kind == PLATFORM_DIALOG_ABOUT) {
            auto* d = static_cast<AboutDialog*>(state);
            aboutVersion = d->texts[0].text;
            aboutSystem = d->texts[2].text;
        }
        return 1;
    };
    app_command(MENU_KEYS);
    app_command(MENU_ABOUT);
    EXPECT_EQ("Buttons and Keys", keysTitle);
    EXPECT_EQ("Kiv ver. 1.0 - rev. 243", aboutVersion);
    EXPECT_NE(std::string::npos, aboutSystem.find(" ver. "));
    EXPECT_EQ(0, messageBoxes());
}
