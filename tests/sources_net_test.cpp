// Position sources with real peers: gpsd through gpsfake replaying a capture,
// raw NMEA from a TCP peer (socat) that goes away and comes back, and kivsim
// unplugged and plugged in again behind a stable name.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <mutex>
#include <string>
#include <vector>

#include "position/gpsd_source.h"
#include "position/serial_port.h"
#include "position/tcp_source.h"
#include "tests/serial_test_support.h"

extern char** environ;

namespace {

const std::string kCaptures = KIV_TESTDATA_DIR "/receivers/";

// A loopback port nobody listens on right now.
int free_port() {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    int port = 0;
    if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) == 0)
        port = ntohs(a.sin_port);
    close(fd);
    return port;
}

// Something listens on the loopback TCP port.
bool listening(int port) {
    char cmd[160];   // local address :port, remote address, state 0A (LISTEN)
    snprintf(cmd, sizeof cmd, "grep -qE ':%04X [0-9A-F]+:[0-9A-F]{4} 0A ' /proc/net/tcp /proc/net/tcp6", port);
    return system(cmd) == 0;
}

// A peer in a process group of its own (gpsfake starts gpsd), output dropped.
pid_t spawn_group(const std::vector<std::string>& args) {
    std::vector<std::string> all = args;
    std::vector<char*> argv;
    for (auto& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attr, 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid;
    int r = posix_spawnp(&pid, argv[0], &actions, &attr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    return r == 0 ? pid : -1;
}

void stop_group(pid_t pid) {
    if (pid <= 0) return;
    kill(-pid, SIGTERM);
    if (!wait_until([pid] { return waitpid(pid, nullptr, WNOHANG) == pid; }, 5000)) {
        kill(-pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
    kill(-pid, SIGKILL);   // gpsd, should it outlive gpsfake
}

bool have(const char* program) {
    std::string command = std::string("command -v ") + program + " >/dev/null 2>&1";
    return system(command.c_str()) == 0;
}

std::mutex seen_lock;
std::string seen;
void record(int, const char* bytes, int count) {
    std::lock_guard<std::mutex> g(seen_lock);
    seen.append(bytes, static_cast<size_t>(count));
}

class NetSourceTest : public SerialLinkTest {
protected:
    void SetUp() override {
        SerialLinkTest::SetUp();
        std::lock_guard<std::mutex> g(seen_lock);
        seen.clear();
    }
    void TearDown() override {
        SerialLinkTest::TearDown();
        stop_group(peer);
    }
    // Opens as soon as the peer listens (seen in /proc/net, so that no
    // connection of a one-client peer is used up by looking).
    bool open_when_listening(const std::string& name, int port) {
        s = link_settings(name, DEVICE_NMEA, 4800);
        return wait_until([port] { return listening(port); }, 15000) && serial_open(s.get()) == 1;
    }
    std::string title() {   // the link's note for the window title
        int lost;
        char t[128], m[512];
        return serial_link_status(s.get(), &lost, t, sizeof t, m, sizeof m) ? t : "";
    }
    pid_t peer = -1;
};

TEST(NetSourceNames, GpsdAndTcpNamesAndTheWatchCommand) {
    struct Case {
        const char* name;
        int ok;
        const char* host;
        int port;
        const char* watch;
    } cases[] = {
        {"gpsd://", 1, "localhost", 2947, "?WATCH={\"enable\":true,\"nmea\":true}\n"},
        {"gpsd://10.0.0.2:3000", 1, "10.0.0.2", 3000, "?WATCH={\"enable\":true,\"nmea\":true}\n"},
        {"gpsd://[::1]:2948/dev/ttyACM0", 1, "::1", 2948,
         "?WATCH={\"enable\":true,\"nmea\":true,\"device\":\"/dev/ttyACM0\"}\n"},
        {"gpsd://::1", 1, "::1", 2947, "?WATCH={\"enable\":true,\"nmea\":true}\n"},
        {"gpsd://host:0", 0, "", 0, ""},
        {"gpsd://host/dev/\"x", 0, "", 0, ""},
    };
    for (const Case& c : cases) {
        GpsdAddress a;
        ASSERT_EQ(c.ok, gpsd_source_parse(c.name, &a)) << c.name;
        if (!c.ok) continue;
        EXPECT_STREQ(c.host, a.host);
        EXPECT_EQ(c.port, a.port);
        char watch[400];
        ASSERT_GT(gpsd_source_watch_command(&a, watch, sizeof watch), 0);
        EXPECT_STREQ(c.watch, watch);
    }
    char host[64];
    int port;
    EXPECT_EQ(1, tcp_source_parse("tcp://127.0.0.1:10110", host, sizeof host, &port));
    EXPECT_EQ(10110, port);
    EXPECT_EQ(0, tcp_source_parse("tcp://127.0.0.1", host, sizeof host, &port));   // a port is needed
}

TEST_F(NetSourceTest, GpsdThroughGpsfakeDrivesTheFixWithoutItsJson) {
    const std::string capture = kCaptures + "bu353s4.bin";
    if (!have("gpsfake") || access("/usr/sbin/gpsd", X_OK) != 0) GTEST_SKIP() << "gpsfake or gpsd missing";
    if (access(capture.c_str(), R_OK) != 0) GTEST_SKIP() << "no shared captures (" << capture << ")";
    int port = free_port();
    peer = spawn_group({"gpsfake", "-q", "-1", "-c", "0.02", "-P", std::to_string(port), capture});
    ASSERT_GT(peer, 0);
    serial_set_chunk_observer(record);
    ASSERT_TRUE(open_when_listening("gpsd://127.0.0.1:" + std::to_string(port), port));
    // 37 47.08 S, 175 18.89 E
    ASSERT_TRUE(wait_until([] { return gps_fix_mode() > 0 && std::fabs(gps_latitude() + 37.785) < 0.01; }, 20000));
    EXPECT_NEAR(gps_longitude(), 175.315, 0.01);
    std::lock_guard<std::mutex> g(seen_lock);
    // The chunk that made the fix was seen before the decoder had it.
    EXPECT_NE(std::string::npos, seen.find("$GP"));
    EXPECT_EQ(std::string::npos, seen.find("\"class\""));   // gpsd's reports stay out
}

TEST_F(NetSourceTest, GpsdNeedsTheNmeaDevice) {
    s = link_settings("gpsd://127.0.0.1:1", DEVICE_GARMIN, 9600);
    EXPECT_EQ(0, serial_open(s.get()));
    EXPECT_EQ(SERIAL_OPEN_NOT_NMEA, serial_open_failure(nullptr, 0));
}

TEST(GpsdReplies, ErrorsAndReceiversAreKept) {
    struct { const char* reply; int devices; const char* error; } cases[] = {
        {R"({"class":"ERROR","message":"No such device as /dev/ttyNOPE"})", -1, "No such device as /dev/ttyNOPE"},
        {R"({"class":"DEVICES","devices":[{"class":"DEVICE","path":"/dev/ttyACM0"}]})", 1, ""},
        {R"({"class":"DEVICE","path":"/dev/ttyACM0","activated":0})", 0, ""},   // gone
        {R"({"class":"DEVICE","path":"/dev/ttyUSB0","activated":"2024-06-01T12:00:00.000Z"})", 1, ""},
        {R"({"class":"DEVICES","devices":[]})", 0, ""},
        {R"({"class":"DEVICES","devi)", 0, ""},   // cut: ignored
    };
    SerialPort port;
    port.kind = SERIAL_PORT_GPSD;
    for (const auto& c : cases) {
        std::string bytes = std::string(c.reply) + "\r\n$GPZDA\r\n";
        EXPECT_EQ(8, gpsd_source_filter(&port, bytes.data(), static_cast<int>(bytes.size()))) << c.reply;
        EXPECT_EQ(c.devices, port.gpsd.devices) << c.reply;
        EXPECT_STREQ(c.error, port.gpsd.error) << c.reply;
    }
}

TEST_F(NetSourceTest, GpsdErrorsAndAGpsdWithoutReceiverAreSaid) {
    if (!have("gpsfake") || access("/usr/sbin/gpsd", X_OK) != 0) GTEST_SKIP() << "gpsfake or gpsd missing";
    const std::string capture = kCaptures + "bu353s4.bin";
    if (access(capture.c_str(), R_OK) != 0) GTEST_SKIP() << "no shared captures (" << capture << ")";
    int port = free_port();
    peer = spawn_group({"gpsfake", "-q", "-1", "-c", "0.02", "-P", std::to_string(port), capture});
    ASSERT_TRUE(open_when_listening("gpsd://127.0.0.1:" + std::to_string(port) + "/dev/ttyNOPE", port));
    EXPECT_TRUE(wait_until([this] { return title() == "gpsd: No such device as /dev/ttyNOPE"; }, 10000)) << title();
    serial_close(s.get());
    stop_group(peer);

    // gpsd with no receiver at all: the old receiver's satellites go.
    GpsSatellite old[1] = {};
    old[0].prn = 7;
    gps_set_satellites(old, 1, 1);
    port = free_port();
    peer = spawn_group({"/usr/sbin/gpsd", "-N", "-S", std::to_string(port), "-F", "/tmp/kiv-gpsd-" + std::to_string(port)});
    ASSERT_TRUE(open_when_listening("gpsd://127.0.0.1:" + std::to_string(port), port));
    EXPECT_TRUE(wait_until([this] { return title() == "gpsd has no receiver"; }, 10000)) << title();
    EXPECT_EQ(0, gps_satellites_in_view());
    unlink(("/tmp/kiv-gpsd-" + std::to_string(port)).c_str());
}

TEST_F(NetSourceTest, PeerNotUpAtStartIsLookedForAndASilentOneConnectedAgain) {
    const std::string capture = kCaptures + "bu353s4.bin";
    if (!have("socat")) GTEST_SKIP() << "socat missing";
    if (access(capture.c_str(), R_OK) != 0) GTEST_SKIP() << "no shared captures (" << capture << ")";
    const std::string port = std::to_string(free_port()), said = "/tmp/kiv-silent-" + port;
    s = link_settings("tcp://127.0.0.1:" + port, DEVICE_NMEA, 4800);
    s->linkSilentSeconds = 1;
    ASSERT_EQ(1, serial_open(s.get()));   // nobody listens yet: the reader looks on
    ASSERT_TRUE(wait_until([this] { return serial_link_lost(s.get()) == 1; }, 5000));
    EXPECT_EQ("GPS not found, trying again", title());
    // The first connection stays silent, the next ones send the capture.
    peer = spawn_group({"socat", "TCP-LISTEN:" + port + ",bind=127.0.0.1,reuseaddr,fork",
                        "SYSTEM:test -e " + said + " && exec cat " + capture + "; touch " + said + "; exec sleep 60"});
    // A generous deadline: on a loaded machine the peer's shell may start
    // after the one-second silence has already dropped a connection or two.
    EXPECT_TRUE(wait_until([this] { return gps_fix_mode() > 0 && serial_link_lost(s.get()) == 0; }, 40000));
    unlink(said.c_str());
}

TEST_F(NetSourceTest, TcpPeerThatGoesAwayIsFollowedWhenItComesBack) {
    const std::string capture = kCaptures + "bu353s4.bin";
    if (!have("socat")) GTEST_SKIP() << "socat missing";
    if (access(capture.c_str(), R_OK) != 0) GTEST_SKIP() << "no shared captures (" << capture << ")";
    int port = free_port();
    const std::string listen = "TCP-LISTEN:" + std::to_string(port) + ",bind=127.0.0.1,reuseaddr";
    // One connection: the capture, then the peer closes.
    peer = spawn_group({"socat", "-u", "OPEN:" + capture, listen});
    ASSERT_TRUE(open_when_listening("tcp://127.0.0.1:" + std::to_string(port), port));
    ASSERT_TRUE(wait_until([] { return gps_fix_mode() > 0 && std::fabs(gps_latitude() + 37.78) < 0.01; }, 10000));
    ASSERT_TRUE(wait_until([this] { return serial_link_lost(s.get()) == 1; }, 10000));
    stop_group(peer);

    gps_reset();
    peer = spawn_group({"socat", "-u", "OPEN:" + capture, listen});
    ASSERT_TRUE(wait_until([] { return gps_fix_mode() > 0; }, 15000));   // no user action
    EXPECT_EQ(1, s->connected.load());
}

TEST_F(NetSourceTest, KivsimUnpluggedAndPluggedInAgainIsReadWithoutUserAction) {
    char dir[] = "/tmp/kiv-kivsim-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string link = std::string(dir) + "/gps";
    SimProcess sim;
    ASSERT_TRUE(sim_start(&sim, {"--link", link, "--replug", "1", "--speed", "0"}));
    s = link_settings(link, DEVICE_NMEA, 4800);
    ASSERT_EQ(1, serial_open(s.get()));
    ASSERT_TRUE(wait_until([] { return gps_fix_mode() > 0; }, 5000));

    ASSERT_TRUE(sim_wait_line(&sim, "unplugged", 5000));
    ASSERT_TRUE(wait_until([this] { return serial_link_lost(s.get()) == 1; }, 5000));
    gps_reset();
    ASSERT_TRUE(sim_wait_line(&sim, "replugged", 5000));
    ASSERT_TRUE(wait_until([] { return gps_fix_mode() > 0; }, 8000));
    EXPECT_EQ(0, serial_link_lost(s.get()));
    serial_close(s.get());
    sim_stop(&sim);
    rmdir(dir);
}

}  // namespace
