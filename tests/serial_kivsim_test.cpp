// kivsim itself: its command line, its ending, and the NMEA it plays along a
// route file, read straight from its pseudo-terminal.
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/pty_sim.h"

namespace {

int run_kivsim(const std::string& args) {
    std::string cmd = std::string(KIVSIM_PATH) + " " + args + " >/dev/null 2>&1";
    int status = std::system(cmd.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(Kivsim, BadArgumentsExitWithStatus2) {
    EXPECT_EQ(run_kivsim("--mode warp --duration 0"), 2);
    EXPECT_EQ(run_kivsim("--bogus"), 2);
    EXPECT_EQ(run_kivsim("--baud"), 2);
    EXPECT_EQ(run_kivsim("--baud 12x --duration 0"), 2);
    EXPECT_EQ(run_kivsim("--speed -1 --duration 0"), 2);
    EXPECT_EQ(run_kivsim("--waypoints '91,0' --duration 0"), 2);
    EXPECT_EQ(run_kivsim("--waypoints '45,-75;46' --duration 0"), 2);
    EXPECT_EQ(run_kivsim("--route /nonexistent/route.txt --duration 0"), 2);
    EXPECT_EQ(run_kivsim("--mode replay --duration 0"), 2);
    EXPECT_EQ(run_kivsim("--start 2006-13-01T00:00:00 --duration 0"), 2);
    EXPECT_EQ(run_kivsim("--device /nonexistent/tty --duration 0"), 1);
    EXPECT_EQ(run_kivsim("--help"), 0);
}

TEST(Kivsim, EndsOnSignalsAndAfterItsDuration) {
    SimProcess sim;
    ASSERT_TRUE(sim_start(&sim, {"--duration", "60"}));
    EXPECT_EQ(sim_stop(&sim), 0);   // SIGTERM
    ASSERT_TRUE(sim_start(&sim, {"--duration", "0.2"}));
    EXPECT_EQ(sim_wait_exit(&sim, 5000), 0);
    ASSERT_TRUE(sim_start(&sim, {"--duration", "60"}));
    kill(sim.pid, SIGINT);
    EXPECT_EQ(sim_wait_exit(&sim, 5000), 0);
}

bool checksum_ok(const std::string& line) {
    size_t star = line.find('*');
    if (line.empty() || line[0] != '$' || star == std::string::npos || star + 3 > line.size()) return false;
    unsigned x = 0;
    for (size_t i = 1; i < star; i++) x ^= static_cast<unsigned char>(line[i]);
    char hex[3];
    snprintf(hex, sizeof hex, "%02X", x);
    return line.compare(star + 1, 2, hex) == 0;
}

TEST(Kivsim, PlaysARouteFileOnceWithValidSentences) {
    char route[] = "/tmp/kiv-route-XXXXXX";
    int fd = mkstemp(route);
    ASSERT_GE(fd, 0);
    // About 111 m at 100 m/s: epochs at 0, 1 and 2 seconds.
    std::string text = "# lat lon\n45.000 -75.000\n45.001 -75.000\n";
    ASSERT_EQ(write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    close(fd);

    SimProcess sim;
    ASSERT_TRUE(sim_start(&sim, {"--route", route, "--speed", "360", "--once", "--wait-open", "--baud",
                                 "115200", "--start", "2010-07-18 16:50:07", "--duration", "20"}));
    int tty = open(sim.path.c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(tty, 0);
    termios t;
    tcgetattr(tty, &t);
    cfmakeraw(&t);
    cfsetspeed(&t, B115200);
    tcsetattr(tty, TCSANOW, &t);   // the far side "configures the line"
    std::string all;
    char buf[4096];
    for (;;) {
        pollfd p = {tty, POLLIN, 0};
        if (poll(&p, 1, 5000) <= 0) break;
        ssize_t n = read(tty, buf, sizeof buf);
        if (n <= 0) break;   // kivsim went away after the route
        all.append(buf, static_cast<size_t>(n));
    }
    close(tty);
    unlink(route);
    EXPECT_EQ(sim_wait_exit(&sim, 5000), 0);

    std::istringstream in(all);
    std::string line;
    std::vector<std::string> rmc;
    int sentences = 0;
    while (std::getline(in, line)) {
        ASSERT_FALSE(line.empty());
        ASSERT_EQ(line.back(), '\r');
        line.pop_back();
        EXPECT_TRUE(checksum_ok(line)) << line;
        sentences++;
        if (line.rfind("$GPRMC", 0) == 0) rmc.push_back(line);
    }
    EXPECT_EQ(sentences, 15);   // RMC, GGA, GSA and two GSV per epoch
    ASSERT_EQ(rmc.size(), 3u);
    EXPECT_EQ(rmc[0].rfind("$GPRMC,165007.00,A,4500.0000,N,07500.0000,W,194.4,0.0,180710,", 0), 0u) << rmc[0];
    // Arrived: standing at the last point.
    EXPECT_EQ(rmc[2].rfind("$GPRMC,165009.00,A,4500.0600,N,07500.0000,W,0.0,0.0,180710,", 0), 0u) << rmc[2];
}

}  // namespace
