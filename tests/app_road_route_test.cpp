// A road route through the window: asked of a stand-in router, followed
// with NMEA fixes from a receiver on a pty, and asked again from where the
// vehicle is once it has left the route.
#include <signal.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <iterator>
#include <fstream>

#include "app/commands.h"
#include "app/find_places.h"
#include "app/road_directions.h"
#include "app/road_routing.h"
#include "app/waypoint_list.h"
#include "app/waypoints.h"
#include "maps/view_plane.h"
#include "settings/menu_ids.h"
#include "app_test_support.h"
#include "download_fault_server.h"

namespace {

class AppRoadRouteTest : public AppTest {
protected:
    PtyReceiver pty;

    // A router kept running as kivroute --serve is, that notes each request
    // with its process number and answers a route due east along 45.45 N
    // from -75.714 to -75.700, turning left onto Wood Street at -75.705 (with
    // killed: it is killed before it answers).
    static std::string routeReply() {
        std::string reply = "1100\t80\n";
        for (int i = 0; i <= 14; i++) {
            char line[160];
            bool turn = i == 9;
            snprintf(line, sizeof line, "45.450000\t%.6f\t%.1f\t%.1f\t%d\t90\t%s\t%s\n", -75.714 + 0.001 * i,
                     78.6 * i, 5.7 * i, turn ? -90 : 0, i < 9 ? "Main Street" : "Wood Street",
                     i == 0 ? "Start at Main Street" : turn ? "Turn left onto Wood Street" : "");
            reply += line;
        }
        return reply;
    }
    void writeRouter(bool killed = false) {
        const std::string reply = routeReply();
        writeFile("router.sh", std::string("#!/bin/sh\nwhile IFS= read -r line; do\necho \"$$ $line\" >> asked.txt\n") +
                                   (killed ? "kill -9 $$\n" : "") + "printf 'ok\\n%s\\n' '" + reply + "'\ndone\n");
        std::filesystem::permissions("router.sh", std::filesystem::perms::owner_all);
        setenv("KIV_ROUTE", (dir / "router.sh").c_str(), 1);
    }

    // One fix a second heading east, then the strip's text of the paint after it.
    std::string driveTo(double lat, double lon, const char* hms) {
        headless_advance_clock(1);
        pty.send(rmcSentence(lat, lon, 20, hms, "080525"));
        EXPECT_TRUE(waitFor([&] { return gps_has_position() && std::fabs(gps_latitude() - lat) < 1e-6 &&
                                         std::fabs(gps_longitude() - lon) < 1e-6; }));
        size_t before = headless_calls_of("draw_text").size();
        app_paint();
        std::string strip;
        auto texts = headless_calls_of("draw_text");
        for (size_t i = before; i < texts.size(); i++)
            if (texts[i].c == 15) strip += texts[i].text + "  ";
        return strip;
    }

    void start(const std::string& server = "http://127.0.0.1:1/") {
        ASSERT_TRUE(pty.open());
        writeFile("kiv_dev.txt", "NMEA\n");
        writeFile("kiv_com.txt", "COM1\nSmall\n");
        writeFile("kiv_ini.txt", "Probe=http://127.0.0.1:1/\nServer=" + server + "\nCom1=" + pty.path + "\n");
        addSheet(45.45, -75.707, 2, 0, 40);
        ASSERT_EQ(1, app_create());
        driveTo(45.45, -75.714, "120000");
    }

    bool routeTaken() {
        road_routing_to(settings(), 45.45, -75.700, "Depot");
        return waitFor([] {
            app_timer();
            return !road_routing_in_flight();
        }) && !road_routing_route().points.empty();
    }

    std::vector<std::string> asked() {
        std::ifstream in(dir / "asked.txt");
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    }
};

TEST_F(AppRoadRouteTest, LeavingTheRouteAsksForANewOneFromTheVehicle) {
    writeRouter();
    start();
    ASSERT_TRUE(routeTaken());
    std::string strip = driveTo(45.45, -75.710, "120001");
    EXPECT_NE(std::string::npos, strip.find("in 393 m turn left onto Wood Street")) << strip;

    // 150 m north of the line: a new request after 5 s there, one only.
    char hms[8];
    for (int t = 2; t <= 9; t++) {
        snprintf(hms, sizeof hms, "1200%02d", t);
        driveTo(45.45135, -75.710 + 0.0002 * t, hms);
    }
    ASSERT_TRUE(waitFor([&] {
        app_timer();
        return asked().size() >= 2 && !road_routing_in_flight();
    }));
    std::vector<std::string> requests = asked();
    ASSERT_EQ(2u, requests.size());
    EXPECT_NE(std::string::npos, requests[1].find("--\t45.451350,")) << requests[1];
    EXPECT_NE(std::string::npos, requests[1].find("45.450000,-75.700000")) << requests[1];
}

TEST_F(AppRoadRouteTest, AKilledRouterIsSaidAndTheNextRequestStartsItAgain) {
    writeRouter(true);
    start();
    ASSERT_FALSE(routeTaken());
    std::string strip = driveTo(45.45, -75.714, "120001");
    EXPECT_NE(std::string::npos, strip.find("signal 9")) << strip;
    writeRouter();
    EXPECT_TRUE(routeTaken());
}

// The database stays loaded: one router answers every request, and it is
// ended and reaped (not even a zombie left) when the window closes.
TEST_F(AppRoadRouteTest, OneRouterAnswersEveryRequestAndEndsWithTheWindow) {
    writeRouter();
    start();
    ASSERT_TRUE(routeTaken());
    ASSERT_TRUE(routeTaken());
    std::vector<std::string> requests = asked();
    ASSERT_EQ(2u, requests.size());
    std::string router = requests[0].substr(0, requests[0].find(' '));
    EXPECT_EQ(router, requests[1].substr(0, requests[1].find(' ')));
    app_close();
    app_destroy();
    EXPECT_EQ(-1, kill(std::stoi(router), 0));
    EXPECT_EQ(ESRCH, errno);
}

// A map server named by this machine's name, as one elsewhere would be:
// the route is asked of its /route, no router is run.
TEST_F(AppRoadRouteTest, AMapServerElsewhereIsAskedOverHttp) {
    setenv("KIV_ROUTE", (dir / "no-router").c_str(), 1);
    FaultServer server(
        [](const std::string& line) {
            return line.rfind("GET /route?", 0) == 0 ? faultOk(routeReply(), "text/plain")
                                                     : faultStatus(404, "Not Found", "");
        },
        false, true);
    char host[256] = "";
    ASSERT_EQ(0, gethostname(host, sizeof host - 1));
    start("http://" + std::string(host) + ":" + std::to_string(server.port()) + "/");
    ASSERT_TRUE(routeTaken());
    std::vector<std::string> asked = server.requests();
    auto route = std::find_if(asked.begin(), asked.end(), [](auto& l) { return l.rfind("GET /route?", 0) == 0; });
    ASSERT_NE(asked.end(), route);
    EXPECT_NE(std::string::npos, route->find("from=45.450000,-75.714000&to=45.450000,-75.700000&profile=car"))
        << *route;
}

TEST_F(AppRoadRouteTest, ArrivalEndsTheRoute) {
    writeRouter();
    start();
    ASSERT_TRUE(routeTaken());
    std::string strip = driveTo(45.45, -75.7003, "120001");   // 24 m short of the end
    EXPECT_NE(std::string::npos, strip.find("Arrived at Depot")) << strip;
    EXPECT_TRUE(road_routing_route().points.empty());
}

TEST_F(AppRoadRouteTest, StopNavigationEndsTheRoadRoute) {
    writeRouter();
    start();
    ASSERT_TRUE(routeTaken());
    app_run_command(MENU_STOP_NAVIGATION);
    EXPECT_TRUE(road_routing_route().points.empty());
}

// Route To from a search result and from the waypoint list: each asks for
// a route from the vehicle to the point chosen.
TEST_F(AppRoadRouteTest, FindAndTheWaypointListRouteToTheChosenPoint) {
    writeRouter();
    writeFile("waypoints.gpx", "<?xml version=\"1.0\"?>\n<gpx version=\"1.1\" creator=\"test\">"
                               "<wpt lat=\"45.45\" lon=\"-75.7\"><name>Depot</name></wpt></gpx>\n");
    start();
    struct Case {
        int menu;
        int (*hook)(int kind, void* state);
    };
    const Case cases[] = {
        {MENU_FIND, [](int kind, void* state) {
             auto* d = static_cast<FindDialogState*>(state);
             if (kind != PLATFORM_DIALOG_FIND) return 0;
             d->text = "45.45, -75.7";
             d->typed(d);
             d->chosen = 0;
             return static_cast<int>(FIND_ROUTE_TO);
         }},
        {MENU_WAYPOINT_LIST, [](int kind, void* state) {
             auto* d = static_cast<WaypointListDialog*>(state);
             if (kind != WAYPOINT_DIALOG_LIST) return 0;
             // Once: the list comes back after an action it does not close on.
             static int shown = 0;
             d->chosen = d->rows.size() == 1 ? 0 : -1;
             return static_cast<int>(shown++ ? WAYPOINT_ACTION_CLOSE : WAYPOINT_ACTION_ROUTE_TO);
         }},
    };
    for (size_t i = 0; i < std::size(cases); i++) {
        headless_set_dialog_hook(cases[i].hook);
        app_run_command(cases[i].menu);
        headless_set_dialog_hook(nullptr);
        ASSERT_TRUE(waitFor([&] {
            app_timer();
            return asked().size() == i + 1 && !road_routing_in_flight();
        })) << cases[i].menu;
        EXPECT_NE(std::string::npos, asked()[i].find("45.450000,-75.700000")) << asked()[i];
    }
}

// Directions: a click on the turn onto Wood Street shows that point.
TEST_F(AppRoadRouteTest, ADirectionsLineClickedShowsItsPoint) {
    writeRouter();
    start();
    ASSERT_TRUE(routeTaken());
    headless_set_dialog_hook([](int kind, void* state) {
        auto* d = static_cast<RoadDirectionsDialog*>(state);
        if (kind != PLATFORM_DIALOG_ROUTE_DIRECTIONS || d->lines.size() != 2) return 0;
        d->chosen = d->lines[1].find("Wood Street") != std::string::npos ? 1 : -1;
        return 1;
    });
    app_run_command(MENU_ROUTE_DIRECTIONS);
    headless_set_dialog_hook(nullptr);
    int plane;
    double x, y, lat = 0, lon = 0;
    ASSERT_TRUE(view_pane_centre(settings(), &plane, &x, &y));
    ASSERT_TRUE(view_plane_to_degrees(plane, x, y, &lat, &lon));
    EXPECT_NEAR(45.45, lat, 1e-4);
    EXPECT_NEAR(-75.705, lon, 1e-4);
}

}  // namespace
