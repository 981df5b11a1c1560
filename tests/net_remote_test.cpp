// The remote position server on the loopback interface, driven by curl, by
// the program's own HTTP client and by raw sockets playing hostile clients.
#include <gtest/gtest.h>

#include <atomic>

#include <netinet/in.h>
#include <sys/socket.h>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <random>

#include "app/commands_link.h"
#include "net/http_client.h"
#include "net/remote_request.h"
#include "net/remote_server.h"
#include "net/sockets.h"
#include "platform/headless.h"
#include "platform/platform.h"
#include "position/gps_fix.h"
#include "position/serial_link.h"
#include "settings/menu_ids.h"
#include "settings/app_settings.h"
#include "tests/net_peer.h"

namespace {

const int64_t kWhen = 1796656221;  // Mon Dec 07 15:10:21 2026 UTC

int connect_to(int port) {
    int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        close(s);
        return -1;
    }
    net_apply_timeouts(s, 15000);
    return s;
}

// Sends a request and reads the reply until the server closes.
std::string talk(int port, const std::string& request) {
    int s = connect_to(port);
    if (s < 0) return "connect failed";
    net_send_all(s, request.data(), static_cast<int>(request.size()));
    shutdown(s, SHUT_WR);
    std::string reply;
    char buffer[4096];
    ssize_t n;
    while ((n = recv(s, buffer, sizeof buffer, 0)) > 0) reply.append(buffer, static_cast<size_t>(n));
    close(s);
    return reply;
}

std::string post(const std::string& body) {
    return "POST /kiv/sendbase.cgi HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-length: " + std::to_string(body.size()) +
           "\r\n\r\n" + body;
}

std::string reply_of(int kind) {
    char out[512];
    int n = remote_compose_reply(kind, kWhen, out, sizeof out);
    return std::string(out, static_cast<size_t>(n));
}

bool wait_for_fix_mode(int mode) {
    for (int i = 0; i < 1500; i++) {
        if (gps_fix_mode() == mode) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

class RemoteServer : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("TZ", "UTC", 1);
        tzset();
        headless_install();
        headless_set_clock(kWhen);
        gps_reset();
        remote_server_set_listen_host("127.0.0.1");
        remote_server_set_client_timeout_ms(1000);
        settings = std::make_unique<AppSettings>();
        settings->deviceType = DEVICE_REMOTE;
        start();
    }
    void TearDown() override {
        remote_server_stop(settings.get());
        EXPECT_EQ(0u, settings->readerThreadId.load());
        EXPECT_FALSE(settings->readerThread.joinable());
        platform_install(nullptr);
    }
    void start() {
        ASSERT_EQ(1, remote_server_start(settings.get()));
        port = remote_server_port();
        ASSERT_GT(port, 0);
        EXPECT_NE(0u, settings->readerThreadId.load());
    }
    int curl(const std::string& args, std::string* output = nullptr) {
        std::string command = std::string(KIV_CURL) + " -s --max-time 20 " + args + " > " + dir.file("curl.out");
        int rc = std::system(command.c_str());
        if (output) *output = net_read_file(dir.file("curl.out"));
        return rc;
    }
    std::string url(const std::string& path = "/") { return "http://127.0.0.1:" + std::to_string(port) + path; }

    NetTempDir dir;
    std::unique_ptr<AppSettings> settings;
    int port = 0;
};

TEST_F(RemoteServer, PostsFromCurlSetTheFix) {
    if (access(KIV_CURL, X_OK) != 0) GTEST_SKIP() << "curl is needed";
    std::string out;
    EXPECT_EQ(0, curl("-i -d 'latitude=45.5&longitude=-75.25' " + url("/kiv/sendbase.cgi"), &out));
    EXPECT_EQ(reply_of(REMOTE_REPLY_EMPTY), out);
    EXPECT_EQ(3, gps_fix_mode());
    EXPECT_EQ(45.5, gps_latitude());
    EXPECT_EQ(-75.25, gps_longitude());
    EXPECT_EQ(kWhen, remote_last_position_time());
    EXPECT_EQ(1, headless_repaints());

    EXPECT_EQ(0, curl("-i " + url("/"), &out));
    EXPECT_EQ(reply_of(REMOTE_REPLY_PAGE), out);
}

TEST_F(RemoteServer, RepliesByteForByte) {
    EXPECT_EQ("HTTP/1.0 200 OK\r\nServer: Kiv 1.0\r\nDate: Mon Dec 07 15:10:21 2026\r\nContent-length: 0\r\n\r\n",
              talk(port, post("latitude=45.5&longitude=-75.25") + "\r\n"));
    headless_reset();
    headless_set_clock(kWhen);
    EXPECT_EQ("HTTP/1.0 200 OK\r\nServer: Kiv 1.0\r\nDate: Mon Dec 07 15:10:21 2026\r\nContent-length: 91\r\n\r\n"
              "<html>\r\n<head><title>KIV</title></head>\r\n<body><h1>KIV - version 1.0</h1></body>\r\n</html>\r\n",
              talk(port, "GET / HTTP/1.1\r\nHost: x\r\n\r\n"));
    EXPECT_EQ("", talk(port, "GET /\r\n"));
    EXPECT_EQ(0, headless_repaints());  // GETs do not repaint
}

TEST_F(RemoteServer, PostVariants) {
    // Headers ended by "\n\n".
    EXPECT_EQ(reply_of(REMOTE_REPLY_EMPTY), talk(port, "POST / HTTP/1.0\nHost: x\n\nlatitude=10.5&longitude=20.5\n"));
    EXPECT_EQ(10.5, gps_latitude());
    EXPECT_EQ(20.5, gps_longitude());
    // Latitude only: answered and repainted, nothing changes.
    int repaints = headless_repaints();
    EXPECT_EQ(reply_of(REMOTE_REPLY_EMPTY), talk(port, post("latitude=1.5")));
    EXPECT_EQ(10.5, gps_latitude());
    EXPECT_EQ(repaints + 1, headless_repaints());
    // The program's own upload body keeps all its digits.
    EXPECT_EQ(1, HttpPostToFile(url("/kiv/sendbase.cgi").c_str(), "latitude=45.123456&longitude=-75.123456",
                                "reply.txt"));
    EXPECT_EQ("", net_read_file("reply.txt"));
    EXPECT_EQ(45.123456, gps_latitude());
    EXPECT_EQ(-75.123456, gps_longitude());
}

TEST_F(RemoteServer, OutOfRangeOrNonNumericPositionsAreIgnored) {
    talk(port, post("latitude=45.5&longitude=-75.25"));
    for (const char* body : {"latitude=91&longitude=0", "latitude=0&longitude=-180.5", "latitude=nan&longitude=1",
                             "latitude=1&longitude=inf", "latitude=1e400&longitude=1"}) {
        EXPECT_EQ(reply_of(REMOTE_REPLY_EMPTY), talk(port, post(body))) << body;
        EXPECT_EQ(45.5, gps_latitude()) << body;
        EXPECT_EQ(-75.25, gps_longitude()) << body;
    }
}

TEST_F(RemoteServer, ASilentRemoteLosesTheFixAtTheNextConnection) {
    talk(port, post("latitude=45.5&longitude=-75.25"));
    ASSERT_EQ(3, gps_fix_mode());
    headless_set_clock(kWhen + 300);
    talk(port, "GET / HTTP/1.1\r\n\r\n");
    EXPECT_EQ(3, gps_fix_mode());
    headless_set_clock(kWhen + 301);
    int repaints = headless_repaints();
    // The keep-alive of a REMOTE instance: sent and not read.
    EXPECT_EQ(1, HttpGetToFile(url().c_str(), nullptr));
    EXPECT_TRUE(wait_for_fix_mode(0));
    talk(port, "GET / HTTP/1.1\r\n\r\n");  // the staleness repaint has happened by now
    EXPECT_GT(headless_repaints(), repaints);
}

TEST_F(RemoteServer, SurvivesHostileClients) {
    // A client that connects and says nothing holds the server only for the client time-out.
    int silent = connect_to(port);
    ASSERT_GE(silent, 0);
    EXPECT_EQ(reply_of(REMOTE_REPLY_EMPTY), talk(port, post("latitude=1&longitude=2")));
    EXPECT_EQ(2.0, gps_longitude());
    close(silent);

    // A request far larger than the buffer.
    std::string huge = "POST / HTTP/1.1\r\nX: " + std::string(1 << 20, 'h');
    talk(port, huge);
    huge = post(std::string(100000, '9'));
    talk(port, huge);

    // Garbage, including zero bytes, and many connections in a row.
    std::mt19937 g(11);
    for (int i = 0; i < 50; i++) {
        std::string garbage(static_cast<size_t>(g() % 3000), 0);
        for (auto& c : garbage) c = static_cast<char>(g());
        EXPECT_EQ("", talk(port, garbage));
    }
    for (int i = 0; i < 200; i++) EXPECT_EQ("", talk(port, ""));
    // A burst of connections that close at once, faster than the server takes them.
    for (int i = 0; i < 10; i++) {
        int s = connect_to(port);
        ASSERT_GE(s, 0);
        close(s);
    }
    EXPECT_EQ(reply_of(REMOTE_REPLY_EMPTY), talk(port, post("latitude=3&longitude=4")));
    EXPECT_EQ(4.0, gps_longitude());
    EXPECT_EQ(reply_of(REMOTE_REPLY_PAGE), talk(port, "GET / HTTP/1.0\r\n\r\n"));
}

TEST_F(RemoteServer, RequestsInSeveralSegmentsAreReadWhole) {
    int s = connect_to(port);
    ASSERT_GE(s, 0);
    std::string request = post("latitude=7.25&longitude=8.5");
    size_t split = request.find("\r\n\r\n") + 4;
    net_send_all(s, request.data(), static_cast<int>(split));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    net_send_all(s, request.data() + split, static_cast<int>(request.size() - split));
    char buffer[512];
    std::string reply;
    ssize_t n;
    while ((n = recv(s, buffer, sizeof buffer, 0)) > 0) reply.append(buffer, static_cast<size_t>(n));
    close(s);
    EXPECT_EQ(reply_of(REMOTE_REPLY_EMPTY), reply);
    EXPECT_EQ(8.5, gps_longitude());
}

TEST_F(RemoteServer, StopEndsWithAClientConnectedAndCanStartAgain) {
    int silent = connect_to(port);
    ASSERT_GE(silent, 0);
    remote_server_stop(settings.get());
    EXPECT_EQ(0u, settings->readerThreadId.load());
    EXPECT_EQ(0, remote_server_port());
    EXPECT_EQ(0, remote_server_running());
    close(silent);
    for (int i = 0; i < 3; i++) {
        start();
        EXPECT_EQ(reply_of(REMOTE_REPLY_PAGE), talk(port, "GET / HTTP/1.1\r\n\r\n"));
        remote_server_stop(settings.get());
    }
    start();
}

TEST_F(RemoteServer, StopDoesNotDependOnTheBaseSetting) {
    // baseHost names a computer the stop could never reach: the stop still ends.
    std::snprintf(settings->baseHost, sizeof settings->baseHost, "%s", "base.invalid");
    settings->basePort = 1;
    remote_server_stop(settings.get());
    EXPECT_EQ(0u, settings->readerThreadId.load());
    settings->basePort = 0;
    start();
}

// A window that cannot paint while its thread waits in the stop: every
// repaint request runs into its time-out.
struct StuckWindow {
    std::mutex lock;
    std::condition_variable changed;
    int repaintAsked = 0;
};
StuckWindow stuck;

int stuck_repaint(int timeoutMs) {
    {
        std::lock_guard<std::mutex> g(stuck.lock);
        stuck.repaintAsked++;
        stuck.changed.notify_all();
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(timeoutMs));
    return 0;
}

TEST_F(RemoteServer, StopWhileTheServerAsksForARepaint) {
    PlatformBackend backend = {};
    backend.repaint_and_wait = stuck_repaint;
    platform_install(&backend);
    int s = connect_to(port);
    ASSERT_GE(s, 0);
    std::string request = post("latitude=5&longitude=6");
    net_send_all(s, request.data(), static_cast<int>(request.size()));
    {
        std::unique_lock<std::mutex> g(stuck.lock);
        ASSERT_TRUE(stuck.changed.wait_for(g, std::chrono::seconds(15), [] { return stuck.repaintAsked > 0; }));
    }
    remote_server_stop(settings.get());
    EXPECT_EQ(0u, settings->readerThreadId.load());
    EXPECT_EQ(6.0, gps_longitude());
    close(s);
    headless_install();
    start();
}

TEST_F(RemoteServer, SlowOrIdleClientsDoNotHoldUpAPost) {
    remote_server_stop(settings.get());
    // A deadline far beyond the test: a server that served one connection
    // at a time would answer the post only after the dripper had finished.
    remote_server_set_client_timeout_ms(60000);
    start();
    std::vector<int> idle;
    for (int i = 0; i < 20; i++) idle.push_back(connect_to(port));
    // One sends its request a byte at a time; one asks and does not read.
    int drip = connect_to(port), drain = connect_to(port);
    std::string slowly = post("latitude=1&longitude=1");
    net_send_all(drain, slowly.data(), static_cast<int>(slowly.size()));
    std::atomic<int> done{0}, dripped{0};
    std::thread dripper([&] {
        for (size_t i = 0; i < slowly.size() && !done.load(); i++) {
            net_send_all(drip, slowly.data() + i, 1);
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
        }
        dripped.store(1);
    });
    EXPECT_EQ(reply_of(REMOTE_REPLY_EMPTY), talk(port, post("latitude=12.5&longitude=13.5")));
    EXPECT_EQ(0, dripped.load());   // answered while the slow ones still hold their connections
    EXPECT_EQ(13.5, gps_longitude());
    done.store(1);
    dripper.join();
    for (int s : idle) close(s);
    close(drip);
    close(drain);
    remote_server_set_client_timeout_ms(1000);
}

TEST_F(RemoteServer, ListensOnEveryAddressUnlessListenNamesOne) {
    char text[256];
    ASSERT_EQ(1, remote_server_listen_text(text, sizeof text));
    EXPECT_EQ("Remote server on 127.0.0.1 port " + std::to_string(port), std::string(text));
    remote_server_stop(settings.get());
    EXPECT_EQ(0, remote_server_listen_text(text, sizeof text));
    remote_server_set_listen_host("");
    start();
    ASSERT_EQ(1, remote_server_listen_text(text, sizeof text));
    EXPECT_EQ("Remote server on all addresses, port " + std::to_string(port), std::string(text));
    EXPECT_EQ(reply_of(REMOTE_REPLY_PAGE), talk(port, "GET / HTTP/1.0\r\n\r\n"));  // 127.0.0.1
    int v6 = socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in6 a = {};
    a.sin6_family = AF_INET6;
    a.sin6_port = htons(static_cast<uint16_t>(port));
    a.sin6_addr = in6addr_loopback;
    if (v6 >= 0 && connect(v6, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) {
        std::string get = "GET / HTTP/1.0\r\n\r\n";
        net_send_all(v6, get.data(), static_cast<int>(get.size()));
        char buffer[512];
        EXPECT_GT(recv(v6, buffer, sizeof buffer, MSG_WAITALL), 0);
    }
    if (v6 >= 0) close(v6);
    // Listen= restricts it.
    remote_server_stop(settings.get());
    std::snprintf(settings->listenHost, sizeof settings->listenHost, "%s", "127.0.0.1");
    start();
    ASSERT_EQ(1, remote_server_listen_text(text, sizeof text));
    EXPECT_EQ("Remote server on 127.0.0.1 port " + std::to_string(port), std::string(text));
    remote_server_set_listen_host("127.0.0.1");
}

// A port another program holds is reported as a failed start ("No GPS
// connected" at the menu), not as a running server.
TEST_F(RemoteServer, APortInUseEndsTheThread) {
    remote_server_stop(settings.get());
    int taken = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(0, bind(taken, reinterpret_cast<sockaddr*>(&a), sizeof a));
    ASSERT_EQ(0, listen(taken, 1));
    socklen_t n = sizeof a;
    getsockname(taken, reinterpret_cast<sockaddr*>(&a), &n);
    settings->basePort = ntohs(a.sin_port);

    testing::internal::CaptureStdout();
    EXPECT_EQ(0, remote_server_start(settings.get()));
    EXPECT_FALSE(settings->readerThread.joinable());
    std::fflush(stdout);
    std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_EQ(0u, settings->readerThreadId.load());
    EXPECT_EQ(0, remote_server_port());
    EXPECT_NE(std::string::npos, printed.find(" in bind()\n")) << printed;
    remote_server_stop(settings.get());
    close(taken);
    settings->basePort = 0;
    start();
}

}  // namespace

namespace {

// Connect and Disconnect of the serial link run the server for REMOTE.
TEST(RemoteHooks, ConnectAndDisconnectStartAndStopTheServer) {
    NetTempDir dir;
    headless_install();
    gps_reset();
    remote_server_set_listen_host("127.0.0.1");
    net_install_remote_hooks();
    auto settings = std::make_unique<AppSettings>();
    settings->deviceType = DEVICE_REMOTE;
    settings->commHandle = -1;
    ASSERT_EQ(1, link_open_or_warn(settings.get()));
    EXPECT_EQ(1, settings->connected.load());
    EXPECT_NE(0u, settings->readerThreadId.load());
    int port = remote_server_port();
    ASSERT_GT(port, 0);
    EXPECT_EQ(0, headless_menu_enabled(MENU_CONNECT));
    EXPECT_EQ(1, headless_menu_enabled(MENU_DISCONNECT));
    EXPECT_EQ(1, HttpPostToFile(("http://127.0.0.1:" + std::to_string(port) + "/").c_str(),
                                "latitude=-33.5&longitude=151.25", "reply.txt"));
    EXPECT_EQ(151.25, gps_longitude());
    EXPECT_EQ(1, link_close(settings.get()));
    EXPECT_EQ(0u, settings->readerThreadId.load());
    EXPECT_EQ(0, remote_server_port());
    EXPECT_EQ(1, headless_menu_enabled(MENU_CONNECT));
    EXPECT_EQ(0, headless_menu_enabled(MENU_DISCONNECT));
    // Connect again after a disconnect.
    ASSERT_EQ(1, serial_open(settings.get()));
    EXPECT_GT(remote_server_port(), 0);
    EXPECT_EQ(1, serial_close(settings.get()));
    platform_install(nullptr);
}

}  // namespace
