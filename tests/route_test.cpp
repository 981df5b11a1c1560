// Routes over a grid of streets written here: two blocks of streets either
// side of a river that one bridge crosses, with a one-way street and an
// island road no bridge reaches, imported once by kiv-mapserver.sh import as
// two extracts that meet on the bridge (west, and east with the island), so
// that every route across the river crosses from one import to the other.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct Shell {
    int status = -1;
    std::string out;
};

Shell run(const std::string& command) {
    Shell r;
    FILE* p = popen(command.c_str(), "r");
    char buf[4096];
    for (size_t n; p && (n = fread(buf, 1, sizeof buf, p)) > 0;) r.out.append(buf, n);
    int st = p ? pclose(p) : -1;
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return r;
}

std::string q(const fs::path& p) { return "'" + p.string() + "'"; }

// Street (i, j): column i west to east at -75 + 0.003 i, row j south to
// north at 45 + 0.002 j. The river runs between columns 2 and 3; row 1
// crosses it on the bridge; Oak Street (column 0) is one-way northward
// between rows 1 and 2.
double rowLat(int j) { return 45.0 + 0.002 * j; }
double colLon(int i) { return -75.0 + 0.003 * i; }
std::string at(int i, int j) { return std::to_string(rowLat(j)) + "," + std::to_string(colLon(i)); }

std::string gridExtract(bool east) {
    const char* rows[] = {"First Street", "Second Street", "Third Street", "Fourth Street"};
    const char* cols[] = {"Oak Street", "Wood Street", "Elm Street", "Pine Street", "Birch Street"};
    std::ostringstream o;
    o.precision(9);
    o << "<?xml version=\"1.0\"?>\n<osm version=\"0.6\">\n";
    for (int j = 0; j < 4; j++)
        for (int i = 0; i < 5; i++)
            o << "<node id=\"" << 1 + i + 10 * j << "\" version=\"1\" lat=\"" << rowLat(j) << "\" lon=\"" << colLon(i)
              << "\"/>\n";
    o << "<node id=\"100\" version=\"1\" lat=\"44.99\" lon=\"-74.99\"/><node id=\"101\" version=\"1\" lat=\"44.99\" "
         "lon=\"-74.98\"/><node id=\"102\" version=\"1\" lat=\"44.995\" lon=\"-74.9925\"/><node id=\"103\" "
         "version=\"1\" lat=\"45.01\" lon=\"-74.9925\"/>\n";
    int id = 200;
    auto way = [&](std::vector<int> nodes, const std::string& tags) {
        bool west = nodes[0] % 10 >= 1 && nodes[0] % 10 <= 3 && nodes[0] < 100;
        id++;                          // a way has the same id in both extracts
        if (west == east && nodes[0] != 13) return;
        o << "<way id=\"" << id << "\" version=\"1\">";
        for (int n : nodes) o << "<nd ref=\"" << n << "\"/>";
        o << tags << "</way>\n";
    };
    auto street = [](const char* name) {
        return std::string("<tag k=\"highway\" v=\"residential\"/><tag k=\"name\" v=\"") + name + "\"/>";
    };
    for (int j = 0; j < 4; j++) {
        way({1 + 10 * j, 2 + 10 * j, 3 + 10 * j}, street(rows[j]));
        way({4 + 10 * j, 5 + 10 * j}, street(rows[j]));
    }
    way({13, 14}, street(rows[1]) + "<tag k=\"bridge\" v=\"yes\"/><tag k=\"layer\" v=\"1\"/>");
    way({1, 11}, street(cols[0]));
    way({11, 21}, street(cols[0]) + "<tag k=\"oneway\" v=\"yes\"/>");
    way({21, 31}, street(cols[0]));
    for (int i = 1; i < 5; i++) way({1 + i, 11 + i, 21 + i, 31 + i}, street(cols[i]));
    way({100, 101}, street("Island Road"));
    way({102, 103}, "<tag k=\"waterway\" v=\"river\"/>");
    o << "</osm>\n";
    return o.str();
}

// An address of this machine other than the loopback one, if it has one;
// else its name.
std::string thisMachine() {
    ifaddrs* all = nullptr;
    std::string found;
    for (ifaddrs* a = getifaddrs(&all) == 0 ? all : nullptr; a && found.empty(); a = a->ifa_next) {
        if (!a->ifa_addr || a->ifa_addr->sa_family != AF_INET || (a->ifa_flags & IFF_LOOPBACK)) continue;
        char text[INET_ADDRSTRLEN];
        if (inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in*>(a->ifa_addr)->sin_addr, text, sizeof text)) found = text;
    }
    if (all) freeifaddrs(all);
    char host[256] = "";
    if (found.empty()) gethostname(host, sizeof host - 1), found = host;
    return found;
}

struct Point {
    double lat, lon, metres;
    int turn;
    std::string street, instruction;
};

struct RouteFixture : ::testing::Test {
    static inline fs::path dir;
    static inline std::string script = KIV_SOURCE_DIR "/mapserver/kiv-mapserver.sh";

    static void SetUpTestSuite() {
        char pattern[] = "/tmp/kiv_route_XXXXXX";
        dir = mkdtemp(pattern);
        for (const char* name : {"west", "east"}) {
            std::ofstream(dir / (std::string(name) + ".osm")) << gridExtract(*name == 'e');
            Shell r = run(env() + script + " import " + q(dir / (std::string(name) + ".osm")) + " 2>&1");
            ASSERT_EQ(r.status, 0) << r.out;
        }
    }
    static void TearDownTestSuite() { fs::remove_all(dir); }
    static std::string env(const fs::path& imports = dir / "imports") {
        return "KIV_MAPIMPORTS=" + q(imports) + " KIV_ROUTE=" KIVROUTE_PATH " ";
    }
    // kivroute with args; the points of --points output.
    static Shell route(const std::string& args, std::vector<Point>* points = nullptr,
                     const fs::path& imports = dir / "imports") {
        Shell r = run(std::string(KIVROUTE_PATH) + " --data " + q(imports) + " " + args + " 2>&1");
        std::istringstream in(r.out);
        std::string line;
        std::getline(in, line);
        while (points && std::getline(in, line)) {
            std::vector<std::string> f;
            std::istringstream fields(line);
            for (std::string s; std::getline(fields, s, '\t');) f.push_back(s);
            f.resize(8);
            points->push_back({std::stod(f[0]), std::stod(f[1]), std::stod(f[2]), std::stoi(f[4]), f[6], f[7]});
        }
        return r;
    }
};

TEST_F(RouteFixture, FollowsTheStreetsAndCrossesTheRiverOnTheBridge) {
    std::vector<Point> points;
    ASSERT_EQ(route("--points " + at(0, 3) + " " + at(4, 3), &points).status, 0);
    bool bridge = false;
    for (size_t k = 0; k < points.size(); k++) {
        const Point& p = points[k];
        bool onRow = false, onColumn = false;
        for (int j = 0; j < 4; j++) onRow |= std::fabs(p.lat - rowLat(j)) < 1e-5;
        for (int i = 0; i < 5; i++) onColumn |= std::fabs(p.lon - colLon(i)) < 1e-5;
        EXPECT_TRUE(onRow || onColumn) << "off the streets at " << p.lat << "," << p.lon;
        bridge |= k > 0 && std::fabs(p.lat - rowLat(1)) < 1e-5 && std::fabs(points[k - 1].lat - rowLat(1)) < 1e-5 &&
                  std::fabs(points[k - 1].lon - colLon(2)) < 1e-5 && std::fabs(p.lon - colLon(3)) < 1e-5;
    }
    EXPECT_TRUE(bridge);
}

TEST_F(RouteFixture, TheOneWayStreetHoldsForCarsButNotForWalkers) {
    // Southward along Oak Street between rows 2 and 1, 222 m.
    for (auto [profile, around] : {std::pair{"car", true}, {"foot", false}}) {
        std::vector<Point> points;
        ASSERT_EQ(route(std::string("--points --profile ") + profile + " " + at(0, 2) + " " + at(0, 1), &points).status,
                  0);
        EXPECT_EQ(points.back().metres > 400, around) << profile << ": " << points.back().metres << " m";
    }
}

TEST_F(RouteFixture, TheTimeIsInSecondsAtTheWalkersPace) {
    Shell r = route("--profile foot " + at(0, 2) + " " + at(0, 1));
    ASSERT_EQ(r.status, 0) << r.out;
    double metres = 0, seconds = 0;
    ASSERT_EQ(std::sscanf(r.out.c_str(), "%lf\t%lf", &metres, &seconds), 2) << r.out;
    // Routino's walker goes at 4 km/h.
    EXPECT_NEAR(seconds, metres / (4 / 3.6), metres / (4 / 3.6) / 10) << r.out;
}

TEST_F(RouteFixture, TheTurnOntoWoodStreetIsInTheLocalesLanguage) {
    // East along First Street from between Oak and Wood, then north on Wood.
    for (auto [lang, left] : {std::pair{"C", "Left"}, {"fr_CA.UTF-8", "gauche"}, {"de_DE.UTF-8", "Links"}}) {
        std::string from = std::to_string(rowLat(0)) + "," + std::to_string(colLon(0) + 0.0015);
        Shell r = run(std::string("LC_ALL= LC_MESSAGES= LANG=") + lang + " " + KIVROUTE_PATH + " --data " +
                    q(dir / "imports") + " " + from + " " + at(1, 3));
        ASSERT_EQ(r.status, 0) << r.out;
        std::istringstream in(r.out);
        std::string line, turn;
        while (std::getline(in, line))
            if (line.find("Wood Street") != std::string::npos && turn.empty()) turn = line;
        EXPECT_NE(turn.find(left), std::string::npos) << lang << ": " << r.out;
        EXPECT_EQ(turn.rfind("118\t", 0), 0u) << turn;
    }
}

TEST_F(RouteFixture, NoRouteNoRoadAndNoDataSayWhy) {
    fs::create_directories(dir / "empty");
    struct Case {
        std::string args;
        fs::path imports;
        int status;
        std::string reason;
    } cases[] = {
        {at(0, 0) + " 44.99,-74.985", dir / "imports", 1, "no route from " + at(0, 0) + " to 44.99,-74.985 for a car"},
        {"--profile foot 45.05,-75 " + at(0, 0), dir / "imports", 1, "no road within 1 km of 45.05,-75 for walking"},
        {at(0, 0) + " " + at(1, 1), dir / "empty", 1,
         "no routing data in " + (dir / "empty").string() + ": import an OpenStreetMap extract"},
        {"--profile boat " + at(0, 0) + " " + at(1, 1), dir / "imports", 2, "usage: kivroute"},
        {"'Wood Street' " + at(1, 1), dir / "imports", 1, "place names need the map server's search"},
        {"'Wood Street' " + at(1, 0), dir / "imports", 0, "666\t"},
    };
    // The map server's search, as a stand-in that knows one street's end.
    std::ofstream(dir / "search") << "#!/bin/sh\n[ \"$2\" = 'Wood Street' ] && printf 'Wood Street\\tstreet\\t"
                                  << at(1, 3).replace(9, 1, "\\t") << "\\twest\\n'\n";
    fs::permissions(dir / "search", fs::perms::owner_all);
    for (const Case& c : cases) {
        setenv("KIV_MAPSERVER", (dir / (c.status ? "none" : "search")).c_str(), 1);
        Shell r = route(c.args, nullptr, c.imports);
        EXPECT_EQ(r.status, c.status) << c.args;
        EXPECT_NE(r.out.find(c.reason), std::string::npos) << r.out;
    }
}

// The router the window keeps running: the same answers as one route a
// process, each ended by an empty line, the reason on the status line.
TEST_F(RouteFixture, TheServerAnswersEachRequestAsTheCommandDoes) {
    std::ofstream(dir / "requests") << "--points\t" << at(0, 3) << "\t" << at(4, 3) << "\n--profile\tboat\n"
                                    << at(0, 0) << "\t44.99,-74.985\n";
    Shell r = run(std::string(KIVROUTE_PATH) + " --serve --data " + q(dir / "imports") + " < " + q(dir / "requests"));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "ok\n" + route("--points " + at(0, 3) + " " + at(4, 3)).out +
                         "\nusage\ta request is [--profile car|bicycle|foot] [--via POINT]... [--points] FROM TO, "
                         "tab-separated\n\nno\tno route from " + at(0, 0) + " to 44.99,-74.985 for a car\n\n");
}

TEST_F(RouteFixture, GpxReadsBackInGpsbabel) {
    if (run("command -v gpsbabel >/dev/null").status != 0) GTEST_SKIP() << "gpsbabel is not installed";
    fs::path gpx = dir / "route.gpx";
    std::vector<Point> points;
    ASSERT_EQ(route("--points --gpx " + q(gpx) + " " + at(0, 3) + " " + at(4, 3), &points).status, 0);
    Shell rte = run("gpsbabel -r -i gpx -f " + q(gpx) + " -o unicsv -F - 2>&1");
    Shell trk = run("gpsbabel -t -i gpx -f " + q(gpx) + " -o unicsv -F - 2>&1 | wc -l");
    ASSERT_EQ(rte.status, 0) << rte.out;
    EXPECT_NE(rte.out.find("Stop at Waypoint#2"), std::string::npos) << rte.out;
    EXPECT_EQ(std::stoul(trk.out), points.size() + 1) << "a header line and every point";
}

TEST_F(RouteFixture, AFailedRebuildKeepsTheLastDatabaseAndADamagedOneIsRefused) {
    fs::path copy = dir / "copy";
    ASSERT_EQ(run("cp -a " + q(dir / "imports") + " " + q(copy)).status, 0);
    std::ofstream(copy / "east.roads.osm.pbf") << "not an extract";
    Shell r = run(env(copy) + script + " routes 2>&1");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("the last one is kept: planetsplitter failed reading " + (copy / "east.roads.osm.pbf").string()),
              std::string::npos)
        << r.out;
    EXPECT_EQ(route(at(0, 3) + " " + at(4, 3), nullptr, copy).status, 0);

    fs::resize_file(copy / "routing" / "segments.mem", 8);
    r = route(at(0, 3) + " " + at(4, 3), nullptr, copy);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("is damaged (segments.mem is missing or of another size): rebuild it with kiv-mapserver.sh "
                         "routes"),
              std::string::npos)
        << r.out;
}

TEST_F(RouteFixture, TheMapServerRebuildsAnOldDatabaseAndAnswersRoutesOverHttp) {
    // As if another Routino had built it: kivroute would refuse it.
    run("sed -i '1s/.*/routino 0.0/' " + q(dir / "imports" / "routing" / "kiv-routing-stamp"));
    // Listening on every address, as a club's server would: asked at this
    // machine's address on its network.
    Shell r = run("KIV_MAPSERVER_LISTEN=0.0.0.0 " + env() + script + " start " + q(dir / "run") + " 2>&1 | tail -n 1");
    ASSERT_EQ(r.out.rfind("http://127.0.0.1:", 0), 0u) << r.out;
    std::string root = r.out.substr(0, r.out.find('\n'));
    Shell reply = run("curl -s 'http://" + thisMachine() + root.substr(16) + "/route?from=" + at(0, 3) + "&to=" + at(4, 3) + "&profile=foot'");
    Shell local = route("--points --profile foot " + at(0, 3) + " " + at(4, 3));
    Shell refused = run("curl -s -w ' %{http_code}' '" + root + "/route?from=" + at(0, 3) + "&to=44.99,-74.985'");
    run(env() + script + " stop " + q(dir / "run"));
    EXPECT_EQ(reply.out, local.out);
    EXPECT_EQ(refused.out, "no route from " + at(0, 3) + " to 44.99,-74.985 for a car\n 422");
}

}  // namespace

int main(int argc, char** argv) {
    for (const char* tool : {"planetsplitter", "osmium", "ogr2ogr", "lighttpd", "curl"})
        if (run(std::string("command -v ") + tool + " >/dev/null").status != 0) {
            printf("skipped: %s is not installed (scripts/install-deps.sh)\n", tool);
            return 77;
        }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
