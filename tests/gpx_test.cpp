// GPX files: what the writer puts in comes back out of the reader, of
// gpsbabel and of xmllint, also from a writer killed at random moments;
// the reader's GPX 1.0 and 1.1 forms and hostile input; kivtrack.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "tracks/gpx_reader.h"
#include "tracks/gpx_writer.h"
#include "settings_fixture.h"

namespace {

const std::string kivtrack = std::string(KIV_BINARY_DIR) + "/tools/kivtrack/kivtrack";

bool have(const char* tool) { return system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) == 0; }

// Standard output of a shell command; *status its exit status.
std::string run(const std::string& command, int* status = nullptr) {
    std::string out;
    FILE* p = popen(command.c_str(), "r");
    if (!p) return out;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    int rc = pclose(p);
    if (status) *status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    return out;
}

bool wellFormed(const std::string& path) {
    int status = -1;
    run("xmllint --noout '" + path + "' 2>&1", &status);
    return status == 0;
}

// gpsbabel's reading of a GPX file: one row per track point, each as
// "column=value" texts in the order lat, lon, alt, fix, sat, hdop, time
// (the ones gpsbabel found; it leaves out columns no point has).
std::vector<std::string> babelPoints(const std::string& path) {
    std::string csv = run("gpsbabel -t -i gpx -f '" + path + "' -o unicsv,utc=0 -F - 2>&1");
    std::vector<std::vector<std::string>> table;
    std::string cell;
    table.emplace_back();
    for (char c : csv) {
        if (c == '\r') continue;
        if (c == ',' || c == '\n') {
            table.back().push_back(cell);
            cell.clear();
            if (c == '\n') table.emplace_back();
        } else if (c != '"') {
            cell += c;
        }
    }
    const char* order[] = {"Latitude", "Longitude", "Altitude", "FIX", "Satellites", "HDOP", "Date", "Time"};
    std::vector<std::string> rows;
    for (size_t r = 1; r < table.size(); r++) {
        if (table[r].size() != table[0].size()) continue;
        std::string row;
        for (const char* name : order)
            for (size_t c = 0; c < table[0].size(); c++)
                if (table[0][c] == name) row += std::string(row.empty() ? "" : " ") + name + "=" + table[r][c];
        rows.push_back(row);
    }
    return rows;
}

GpxPoint fullPoint(int i) {
    GpxPoint p = gpx_point(45.5 + i * 1e-4, -75.7 + i * 2e-4);
    p.ele = 100 + i;
    p.speed = 10.25;
    p.course = 90.5;
    p.hdop = 1.5;
    p.time = gpx_time_from_text("2025/05/08 12:00:00") + i;
    p.fix = 3;
    p.sat = 7;
    return p;
}

class Gpx : public SettingsDir {};

// The states of a file at each of its syncs: what a power cut may keep.
std::vector<std::string>* synced = nullptr;

}  // namespace

extern "C" int fdatasync(int fd) {
    if (synced) {
        std::string text;
        char buf[4096];
        ssize_t n;
        for (off_t at = 0; (n = pread(fd, buf, sizeof buf, at)) > 0; at += n) text.append(buf, static_cast<size_t>(n));
        synced->push_back(text);
    }
    return static_cast<int>(syscall(SYS_fdatasync, fd));
}

TEST_F(Gpx, TimesFromBothTextFormsAndNamesOfTheRun) {
    EXPECT_EQ(gpx_time_from_text("2025/05/08 12:00:01"), 1746705601);
    EXPECT_EQ(gpx_time_from_text("2025-05-08T12:00:01.250Z"), 1746705601);
    EXPECT_EQ(gpx_time_from_text("1999/13/01 00:00:00"), GPX_TIME_UNKNOWN);
    EXPECT_EQ(gpx_time_from_text("garbage"), GPX_TIME_UNKNOWN);
    char name[64];
    ASSERT_TRUE(gpx_file_name(name, sizeof name, "tracks/", 1746705601));
    EXPECT_STREQ(name, "tracks/kiv-20250508-120001.gpx");
}

TEST_F(Gpx, WrittenPointsComeBackWithEveryFieldAndTheirSegments) {
    GpxWriter w;
    ASSERT_TRUE(gpx_writer_open(&w, "run.gpx", "a <drive> & back"));
    EXPECT_FALSE(gpx_writer_open(&w, "run.gpx", "again")) << "an existing file is never overwritten";
    ASSERT_TRUE(gpx_writer_open(&w, "run.gpx.2", "x"));
    gpx_writer_close(&w);
    ASSERT_TRUE(gpx_writer_open(&w, "run2.gpx", "a <drive> & back"));
    // Enough points to cross many pages, a break every 100.
    for (int i = 0; i < 400; i++) {
        if (i && i % 100 == 0) gpx_writer_break(&w);
        GpxPoint p = fullPoint(i);
        ASSERT_TRUE(gpx_writer_point(&w, &p));
    }
    GpxPoint bad = gpx_point(NAN, 1);
    EXPECT_FALSE(gpx_writer_point(&w, &bad));
    gpx_writer_close(&w);
    GpxData d;
    ASSERT_TRUE(gpx_read_file("run2.gpx", &d));
    ASSERT_EQ(d.lines.size(), 4u);
    ASSERT_EQ(gpx_point_count(d), 400u);
    const GpxPoint& p = d.lines[3].points[99];
    GpxPoint want = fullPoint(399);
    EXPECT_NEAR(p.lat, want.lat, 1e-7);
    EXPECT_NEAR(p.lon, want.lon, 1e-7);
    EXPECT_DOUBLE_EQ(p.ele, want.ele);
    EXPECT_DOUBLE_EQ(p.speed, want.speed);
    EXPECT_DOUBLE_EQ(p.course, want.course);
    EXPECT_DOUBLE_EQ(p.hdop, want.hdop);
    EXPECT_EQ(p.time, want.time);
    EXPECT_EQ(p.fix, 3);
    EXPECT_EQ(p.sat, 7);
}

// A power cut keeps the last synced state and maybe the one write after it:
// every synced state must be whole GPX and the next one differ from it
// inside one 512-byte sector (what a drive writes whole).
TEST_F(Gpx, EverySyncedStateIsWholeAndTheNextDiffersInOneSector) {
    std::vector<std::string> states;
    synced = &states;
    GpxWriter w;
    ASSERT_TRUE(gpx_writer_open(&w, "cut.gpx", "power", 1));
    for (int i = 0; i < 60; i++) {
        if (i == 30) gpx_writer_break(&w);
        GpxPoint p = fullPoint(i);
        ASSERT_TRUE(gpx_writer_point(&w, &p));
    }
    gpx_writer_close(&w);
    synced = nullptr;
    size_t points = 0;
    for (size_t i = 0; i < states.size(); i++) {
        GpxData d;
        std::string error;
        ASSERT_TRUE(gpx_read_text(states[i].data(), states[i].size(), &d, &error)) << "sync " << i << ": " << error;
        ASSERT_GE(gpx_point_count(d), points);
        points = gpx_point_count(d);
        if (i == 0) continue;
        const std::string &a = states[i - 1], &b = states[i];
        size_t first = 0, last = std::max(a.size(), b.size());
        while (first < std::min(a.size(), b.size()) && a[first] == b[first]) first++;
        if (a.size() == b.size())
            while (last > first && a[last - 1] == b[last - 1]) last--;
        ASSERT_EQ(first / 512, (last - 1) / 512) << "sync " << i << " changed bytes " << first << " to " << last;
    }
    EXPECT_EQ(points, 60u);
}

TEST_F(Gpx, ReaderTakesGpx10RoutesWaypointsQuotesPrefixesAndEntities) {
    const std::string text =
        "<?xml version='1.0'?><!DOCTYPE gpx><gpx version='1.0' xmlns:g='http://www.topografix.com/GPX/1/0'>\n"
        "<!-- <trkpt lat=\"1\" lon=\"1\"/> -->\n"
        "<wpt lon='-75.5' lat='45.25'><name>Caf&#233; &amp; &lt;bar&gt;</name></wpt>\n"
        "<wpt lat=\"91\" lon=\"0\"><name>off the earth</name></wpt>\n"
        "<g:rte><name>r</name><g:rtept lat=\"1\" lon=\"2\"/><rtept lat = \"3\" lon = '4'></rtept></g:rte>\n"
        "<trk><trkseg><trkpt lat=\"5\" lon=\"6\"><speed>3.5</speed><course>45</course>"
        "<time>2025-05-08T12:00:00Z</time></trkpt>"
        "</trkseg><trkseg><trkpt lon=\"8\" lat=\"7\"/></trkseg></trk></gpx>";
    GpxData d;
    ASSERT_TRUE(gpx_read_text(text.data(), text.size(), &d));
    ASSERT_EQ(d.waypoints.size(), 1u);
    EXPECT_EQ(d.waypoints[0].name, "Caf\xC3\xA9 & <bar>");
    EXPECT_DOUBLE_EQ(d.waypoints[0].lat, 45.25);
    ASSERT_EQ(d.lines.size(), 3u);
    EXPECT_EQ(d.lines[0].route, 1);
    ASSERT_EQ(d.lines[0].points.size(), 2u);
    EXPECT_DOUBLE_EQ(d.lines[0].points[1].lon, 4);
    ASSERT_EQ(d.lines[1].points.size(), 1u);
    EXPECT_DOUBLE_EQ(d.lines[1].points[0].speed, 3.5);
    EXPECT_EQ(d.lines[1].points[0].time, 1746705600);
    EXPECT_DOUBLE_EQ(d.lines[2].points[0].lat, 7);
    GpxData none;
    EXPECT_FALSE(gpx_read_text("<html></html>", 13, &none));
}

// Another encoding, CDATA, a zone offset, and another schema's time kept
// from the point's own.
TEST_F(Gpx, ReaderTakesZonesCdataLatin1AndKeepsOtherSchemasApart) {
    const std::string latin1 =
        "<?xml version='1.0' encoding='ISO-8859-1'?><gpx xmlns:x='urn:x' "
        "xmlns:t='http://www.garmin.com/xmlschemas/TrackPointExtension/v2'>"
        "<wpt lat='1' lon='2'><name>Caf\xE9</name></wpt><wpt lat='1' lon='2'><name><![CDATA[<a & b>]]></name></wpt>"
        "<trk><trkseg><trkpt lat='3' lon='4'><time>2025-05-08T12:00:00+02:00</time><extensions>"
        "<x:time>2001-01-01T00:00:00Z</x:time><t:TrackPointExtension><t:speed>4.5</t:speed>"
        "</t:TrackPointExtension></extensions></trkpt></trkseg></trk></gpx>";
    GpxData d;
    ASSERT_TRUE(gpx_read_text(latin1.data(), latin1.size(), &d));
    ASSERT_EQ(d.waypoints.size(), 2u);
    EXPECT_EQ(d.waypoints[0].name, "Caf\xC3\xA9");
    EXPECT_EQ(d.waypoints[1].name, "<a & b>");
    ASSERT_EQ(gpx_point_count(d), 1u);
    EXPECT_EQ(d.lines[0].points[0].time, gpx_time_from_text("2025-05-08T10:00:00Z"));
    EXPECT_DOUBLE_EQ(d.lines[0].points[0].speed, 4.5);
}

// Each refusal says where and why; an entity expansion attack is one.
TEST_F(Gpx, ReaderRefusesWhatIsNotGpxSayingWhereAndWhy) {
    const struct {
        std::string text, error;
    } cases[] = {
        {"", "line 1: no element found"},
        {"\x8f\x01\xff random", "line 1: not well-formed"},
        {"<kml xmlns='http://www.opengis.net/kml/2.2'><Document/></kml>", "the root element is <kml>, not <gpx>"},
        {"<gpx>\n<wpt lat=\"45,40\" lon=\"1\"/></gpx>", "line 2: lat \"45,40\" is not a number"},
        // Any declaration, so that no expansion (a billion laughs) can start.
        {"<!DOCTYPE gpx [<!ENTITY a 'aa'><!ENTITY b '&a;&a;'>]>\n<gpx><wpt lat='1' lon='2'><name>&b;</name></wpt></gpx>",
         "line 1: entity declarations are not allowed"},
    };
    for (const auto& c : cases) {
        GpxData d;
        std::string error;
        EXPECT_FALSE(gpx_read_text(c.text.data(), c.text.size(), &d, &error)) << c.error;
        EXPECT_NE(error.find(c.error), std::string::npos) << error;
        put("bad.gpx", c.text);
        int status = -1;
        std::string said = run("'" + kivtrack + "' info bad.gpx 2>&1", &status);
        EXPECT_EQ(status, 1) << said;
        EXPECT_NE(said.find("bad.gpx is not GPX (" + c.error), std::string::npos) << said;
    }
}

TEST_F(Gpx, ReaderNeverPassesTheEndOfCutOrHostileText) {
    const std::string text =
        "<gpx><wpt lat=\"1\" lon=\"2\"><name>a&#x1F600;b&#99999999999;</name></wpt><trk><trkseg>"
        "<trkpt lat='3' lon='4'><ele>5</ele><time>2025-05-08T12:00:00Z</time><fix>3d</fix></trkpt>"
        "</trkseg></trk><!-- x --><![CDATA[ <trkpt lat=\"9\" lon=\"9\"/> ]]></gpx>";
    // Each prefix in a buffer of exactly its size: the sanitizer build sees
    // any read past it.
    for (size_t n = 0; n <= text.size(); n++) {
        std::vector<char> cut(text.begin(), text.begin() + static_cast<long>(n));
        GpxData d;
        gpx_read_text(cut.data(), cut.size(), &d);
        EXPECT_LE(gpx_point_count(d), 1u);
    }
    const char* hostile[] = {"<", "<gpx", "<gpx lat='", "<!--", "<?", "<![CDATA[", "<gpx><wpt lat=\"1\" lon=\"1\"><name>&#",
                             "<gpx><trkpt lat=1 lon=2>", "</", "<gpx>>>>><<<</>/>"};
    for (const char* h : hostile) {
        std::vector<char> cut(h, h + strlen(h));
        GpxData d;
        gpx_read_text(cut.data(), cut.size(), &d);
        EXPECT_EQ(gpx_point_count(d), 0u) << h;
    }
}

TEST_F(Gpx, GpsbabelAndXmllintReadWhatTheWriterWrites) {
    if (!have("gpsbabel") || !have("xmllint")) GTEST_SKIP() << "gpsbabel or xmllint missing (scripts/install-deps.sh)";
    GpxWriter w;
    ASSERT_TRUE(gpx_writer_open(&w, "drive.gpx", "drive"));
    std::vector<std::string> want;
    for (int i = 0; i < 300; i++) {
        if (i == 150) gpx_writer_break(&w);
        GpxPoint p = fullPoint(i);
        if (i % 7 == 0) p.ele = NAN, p.fix = 0, p.sat = -1, p.hdop = NAN;   // fields not known
        ASSERT_TRUE(gpx_writer_point(&w, &p));
        char row[256];
        int64_t t = p.time;
        std::string known = i % 7 ? " Altitude=" + std::to_string(100 + i) + ".0 FIX=3d Satellites=7 HDOP=1.50"
                                  : " Altitude= FIX= Satellites= HDOP=";
        snprintf(row, sizeof row, "Latitude=%.6f Longitude=%.6f%s Date=2025/05/08 Time=12:%02d:%02d", p.lat, p.lon,
                 known.c_str(), static_cast<int>(t / 60 % 60), static_cast<int>(t % 60));
        want.push_back(row);
    }
    gpx_writer_close(&w);
    EXPECT_TRUE(wellFormed("drive.gpx"));
    std::vector<std::string> got = babelPoints("drive.gpx");
    ASSERT_EQ(got.size(), want.size()) << run("gpsbabel -t -i gpx -f drive.gpx -o unicsv -F - 2>&1 | head -3");
    for (size_t i = 0; i < want.size(); i++) {
        EXPECT_EQ(got[i], want[i]) << "point " << i;
    }
    // The segment break survives: gpsbabel writes the track back as two.
    std::string back = run("gpsbabel -t -i gpx -f drive.gpx -o gpx -F - 2>&1");
    size_t segments = 0;
    for (size_t at = back.find("<trkseg>"); at != std::string::npos; at = back.find("<trkseg>", at + 1)) segments++;
    EXPECT_EQ(segments, 2u);
}

TEST_F(Gpx, KilledWriterLeavesAWholeFileWithTheFirstPointsInOrder) {
    if (!have("gpsbabel") || !have("xmllint")) GTEST_SKIP() << "gpsbabel or xmllint missing (scripts/install-deps.sh)";
    FILE* f = fopen("track.txt", "w");
    ASSERT_TRUE(f);
    std::vector<std::string> want;
    for (int i = 0; i < 20000; i++) {
        double lat = 45.5 + i * 1e-5, lon = -75.7 + i * 1.3e-5;
        fprintf(f, "%f %f - 2025/05/08 %02d:%02d:%02d\n", lat, lon, 12 + i / 3600 % 12, i / 60 % 60, i % 60);
        char row[96];
        snprintf(row, sizeof row, "Latitude=%.6f Longitude=%.6f", lat, lon);
        want.push_back(row);
    }
    fclose(f);
    // A whole run gives the finished size. The whole export may take only
    // a few milliseconds, so the kill follows the file's growth, not a clock.
    int status = -1;
    run("'" + kivtrack + "' gpx track.txt --write whole.gpx", &status);
    ASSERT_EQ(status, 0);
    struct stat whole {};
    ASSERT_EQ(stat("whole.gpx", &whole), 0);
    std::mt19937 random(20261208);
    int cut = 0;
    for (int run_ = 0; run_ < 10; run_++) {
        std::string out = "killed" + std::to_string(run_) + ".gpx";
        pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            execl(kivtrack.c_str(), "kivtrack", "gpx", "track.txt", "--write", out.c_str(), nullptr);
            _exit(127);
        }
        // The kill lands once the file has grown to a random 5 to 60% of
        // its finished size (or the writer has ended by itself).
        const off_t at = whole.st_size / 20 + static_cast<off_t>(random() % (whole.st_size * 11 / 20));
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        struct stat now {};
        bool ended = false;
        while ((stat(out.c_str(), &now) != 0 || now.st_size < at) && !ended &&
               std::chrono::steady_clock::now() < deadline)
            ended = waitpid(pid, &status, WNOHANG) == pid;
        if (!ended) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
        }
        if (WIFSIGNALED(status)) cut++;
        ASSERT_TRUE(wellFormed(out)) << out;
        std::vector<std::string> got = babelPoints(out);
        ASSERT_LE(got.size(), want.size());
        for (size_t i = 0; i < got.size(); i++)
            ASSERT_EQ(got[i].substr(0, want[i].size()), want[i]) << out << " point " << i;
    }
    EXPECT_GT(cut, 0) << "no run was killed while writing";
}

// A write or sync that fails ends the export with the reason, exit 1.
TEST_F(Gpx, KivtrackWriteSaysWhatFailed) {
    std::string points;
    for (int i = 0; i < 100; i++) points += "45.000000 -75.000000 - 2025/05/08 12:00:00\n";
    put("track.txt", points);
    mkdir("full", 0755);
    put("flag", "");
    const std::string shim = std::string(KIV_BINARY_DIR) + "/tests/libkiv_full_disk_shim.so";
    const struct {
        std::string how, output, error;
    } cases[] = {
        {"LD_PRELOAD='" + shim + "' KIV_FULL_DISK_DIR=\"$PWD/full/\" KIV_FULL_DISK_FLAG=flag", "--write full/out.gpx",
         "cannot create full/out.gpx: No space left on device"},
        {"trap '' XFSZ; ulimit -f 4;", "--write big.gpx", "cannot write big.gpx: File too large"},
        {"", ">/dev/full", "cannot write standard output: No space left on device"},
    };
    for (const auto& c : cases) {
        if (c.how.find("LD_PRELOAD") == 0 && access(shim.c_str(), F_OK) != 0) continue;   // sanitizer build
        int status = -1;
        std::string said = run(c.how + " '" + kivtrack + "' gpx track.txt 2>&1 " + c.output, &status);
        EXPECT_EQ(status, 1) << said;
        EXPECT_NE(said.find(c.error), std::string::npos) << said;
    }
}

TEST_F(Gpx, KivtrackConvertsATrackLogAndTellsAboutFiles) {
    put("track.txt",
        "45.000000 -75.000000 - 2025/05/08 12:00:00\n"
        "one number\n"
        "45.010000 -75.000000 - 2025/05/08 12:10:00\n");
    int status = -1;
    std::string gpx = run("'" + kivtrack + "' gpx track.txt", &status);
    EXPECT_EQ(status, 0);
    put("out.gpx", gpx);
    GpxData d;
    ASSERT_TRUE(gpx_read_file("out.gpx", &d));
    EXPECT_EQ(gpx_point_count(d), 2u);
    for (const char* file : {"track.txt", "out.gpx"}) {
        std::string info = run("'" + kivtrack + "' info " + file, &status);
        EXPECT_EQ(status, 0);
        EXPECT_NE(info.find("points 2\n"), std::string::npos) << info;
        EXPECT_NE(info.find("length 1.111 km\n"), std::string::npos) << info;
        EXPECT_NE(info.find("duration 600 s\n"), std::string::npos) << info;
        EXPECT_NE(info.find("bounds 45.000000 -75.000000 45.010000 -75.000000\n"), std::string::npos) << info;
    }
    run("'" + kivtrack + "' info missing.gpx 2>/dev/null", &status);
    EXPECT_EQ(status, 1);
    // Points that are not on the earth are no track: said, and a failure
    // when nothing else is left.
    put("beyond.gpx", "<gpx><trk><trkseg><trkpt lat=\"95\" lon=\"0\"/><trkpt lat=\"0\" lon=\"200\"/></trkseg></trk></gpx>");
    std::string said = run("'" + kivtrack + "' info beyond.gpx 2>&1", &status);
    EXPECT_EQ(status, 1);
    EXPECT_NE(said.find("beyond.gpx: 2 points outside the earth left out"), std::string::npos) << said;
    if (have("xmllint")) {
        EXPECT_TRUE(wellFormed("out.gpx"));
    }
}
