// The track log: the start-up scan for the last logged time, appending
// points, reading them back, and never losing or tearing a point.
#include <gtest/gtest.h>

#include <cstring>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <random>
#include <string>
#include <utility>
#include <vector>

#include "tracks/track_log.h"
#include "settings_fixture.h"

namespace {
class TrackLog : public SettingsDir {};

std::vector<std::pair<double, double>> points_of(const char* path, int* count) {
    std::vector<std::pair<double, double>> out;
    *count = track_log_read_points(
        path, [](double a, double b, void* c) { static_cast<decltype(out)*>(c)->push_back({a, b}); }, &out);
    return out;
}
}  // namespace

TEST_F(TrackLog, ScanFindsTheLastTimeText) {
    char t[32] = "";
    EXPECT_EQ(track_log_last_time("none.log", t, sizeof t), 0);
    EXPECT_STREQ(t, "");
    put("a.log",
        "45.100000 -75.200000 - 2006/01/01 10:00:00\n"
        "45.200000 -75.300000 - 2006/01/01 10:00:05\r\n"
        "a line without the separator\n"
        "\n");
    EXPECT_EQ(track_log_last_time("a.log", t, sizeof t), 1);
    EXPECT_STREQ(t, "2006/01/01 10:00:05");
    put("b.log", "1 2 -3\nno dash\n");
    char u[32] = "kept";
    EXPECT_EQ(track_log_last_time("b.log", u, sizeof u), 0);
    EXPECT_STREQ(u, "kept");
    put("c.log", "x - " + std::string(100, '9') + "\n");
    EXPECT_EQ(track_log_last_time("c.log", u, sizeof u), 1);
    EXPECT_EQ(std::string(u), std::string(31, '9'));
}

TEST_F(TrackLog, ADeviceIsNoTrackLog) {
    // File=/dev/zero would otherwise hold the start-up forever.
    char t[32] = "kept";
    EXPECT_EQ(track_log_last_time("/dev/zero", t, sizeof t), 0);
    EXPECT_STREQ(t, "kept");
    EXPECT_EQ(track_log_read_points("/dev/zero", nullptr, nullptr), -1);   // nor each paint with Plot=Y
}

TEST_F(TrackLog, AppendAndReadBack) {
    ASSERT_EQ(track_log_append("t.log", 45.5, -75.25, "2006/01/01 10:00:00"), 1);
    ASSERT_EQ(track_log_append("t.log", -33.1234567, 151.0, "2006/01/01 10:00:01"), 1);
    EXPECT_EQ(get("t.log"),
              "45.500000 -75.250000 - 2006/01/01 10:00:00\n"
              "-33.123457 151.000000 - 2006/01/01 10:00:01\n");
    int n = 0;
    auto pts = points_of("t.log", &n);
    ASSERT_EQ(n, 2);
    EXPECT_DOUBLE_EQ(pts[0].first, 45.5);
    EXPECT_DOUBLE_EQ(pts[0].second, -75.25);
    EXPECT_NEAR(pts[1].first, -33.123457, 1e-9);
    char t[32] = "";
    EXPECT_EQ(track_log_last_time("t.log", t, sizeof t), 1);
    EXPECT_STREQ(t, "2006/01/01 10:00:01");
}

TEST_F(TrackLog, ReadSkipsLinesWithoutTwoNumbers) {
    put("p.log", "45 -75 - t\n46\nabc 1 2\n\n47 -76\n" + std::string(600, '8') + " 1\n48 -77 - t");
    int n = 0;
    auto pts = points_of("p.log", &n);
    ASSERT_EQ(n, 3);
    EXPECT_EQ(pts[1].first, 47);
    EXPECT_EQ(pts[2].second, -77);
    EXPECT_EQ(track_log_read_points("missing.log", nullptr, nullptr), -1);
    EXPECT_EQ(track_log_read_points("", nullptr, nullptr), -1);
}

TEST_F(TrackLog, CutOffLastLineDoesNotSwallowTheNextPoint) {
    put("t.log", "45.100000 -75.100000 - 2006/01/01 10:00:00\n45.2");
    ASSERT_EQ(track_log_append("t.log", 46.0, -76.0, "2006/01/01 10:00:09"), 1);
    int n = 0;
    auto pts = points_of("t.log", &n);
    ASSERT_EQ(n, 2);
    EXPECT_EQ(pts[1].first, 46.0);
    char t[32] = "";
    track_log_last_time("t.log", t, sizeof t);
    EXPECT_STREQ(t, "2006/01/01 10:00:09");
}

TEST_F(TrackLog, RefusesWhatCannotBeWritten) {
    EXPECT_EQ(track_log_append("", 1, 2, "t"), 0);
    EXPECT_EQ(track_log_append("missing/t.log", 1, 2, "t"), 0);
    EXPECT_EQ(track_log_append("t.log", 1, 2, std::string(300, 't').c_str()), 0);
    EXPECT_FALSE(exists("t.log"));
}

TEST_F(TrackLog, KilledAppenderLeavesOnlyWholePoints) {
    std::mt19937 rng(99);
    std::uniform_int_distribution<int> delay_us(0, 2000);
    for (int round = 0; round < 25; ++round) {
        pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            for (int i = 0;; ++i) track_log_append("k.log", 45.0 + i * 1e-6, -75.0 - i * 1e-6, "2006/01/01 10:00:00");
        }
        usleep(static_cast<useconds_t>(delay_us(rng)));
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
    // The first append after the kills always lands as a whole line.
    ASSERT_EQ(track_log_append("k.log", 44.0, -74.0, "2006/01/01 10:00:00"), 1);
    std::string text = get("k.log");
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text.back(), '\n');
    // A kill can cut the one write in flight where it crosses a page of the
    // file; the next append then starts on a fresh line. Whole points are
    // never damaged, and at most one line per kill is cut.
    size_t whole = 0, cut = 0, start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        std::string line = text.substr(start, end - start);
        double a, b;
        char time[32] = "";
        if (sscanf(line.c_str(), "%lf %lf - %31[^\n]", &a, &b, time) == 3 &&
            strcmp(time, "2006/01/01 10:00:00") == 0)
            ++whole;
        else
            ++cut;
    }
    EXPECT_GT(whole, 0u);
    EXPECT_LE(cut, 25u);
    std::string last = text.substr(text.rfind('\n', text.size() - 2) + 1);
    EXPECT_EQ(last, "44.000000 -74.000000 - 2006/01/01 10:00:00\n");
}
