// The connectivity probe against python's web server (online) and a closed
// port (offline), on the start-up thread and for the Online command.
#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>

#include <memory>

#include "net/connectivity.h"
#include "net/sockets.h"
#include "platform/headless.h"
#include "platform/platform.h"
#include "settings/app_settings.h"
#include "settings/menu_ids.h"
#include "tests/net_peer.h"

namespace {

int closed_port() {
    int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t n = sizeof a;
    getsockname(s, reinterpret_cast<sockaddr*>(&a), &n);
    close(s);
    return ntohs(a.sin_port);
}

std::string probe_url_of(const char* probe, const char* server) {
    auto s = std::make_unique<AppSettings>();
    std::snprintf(s->probeUrl, sizeof s->probeUrl, "%s", probe);
    std::snprintf(s->serverUrl, sizeof s->serverUrl, "%s", server);
    char url[NET_NAME_SIZE];
    probe_url(s.get(), url, sizeof url);
    return url;
}

TEST(ProbeUrl, ProbeLineThenMapServerRootThenDefault) {
    EXPECT_EQ("http://www.example.org/", probe_url_of("http://www.example.org/", "http://maps:81/x"));
    EXPECT_EQ("http://maps.local:8081/", probe_url_of("", "http://maps.local:8081/cgi-bin/mapserv"));
    EXPECT_EQ("http://maps.local/", probe_url_of("", "http://maps.local"));
    EXPECT_EQ("http://maps.local/", probe_url_of("", "maps.local:80"));
    EXPECT_EQ(std::string(NET_DEFAULT_SERVER_URL), probe_url_of("", ""));
    EXPECT_EQ("http://127.0.0.1:8080/", probe_url_of("", ""));
}

class Probe : public ::testing::Test {
protected:
    void SetUp() override {
        if (!net_have_python()) GTEST_SKIP() << "python3 is needed for the web server";
        headless_install();
        net_set_connect_timeout_ms(5000);
        net_set_receive_timeout_ms(10000);
        settings = std::make_unique<AppSettings>();
        std::filesystem::create_directories(dir.file("site"));
        net_write_file(dir.file("site/index.html"), "<html>public site</html>");
    }
    void TearDown() override {
        connectivity_probe_finish();
        net_peer_stop(web);
        net_set_receive_timeout_ms(30000);
        platform_install(nullptr);
    }
    void online_server() {
        web = net_http_server_start(dir.file("site"));
        ASSERT_GT(web.port, 0);
        std::snprintf(settings->serverUrl, sizeof settings->serverUrl, "http://127.0.0.1:%d/cgi-bin/mapserv",
                      web.port);
    }
    void offline_server() {
        std::snprintf(settings->probeUrl, sizeof settings->probeUrl, "http://127.0.0.1:%d/", closed_port());
    }
    int wait_for_probe() {
        for (int i = 0; i < 3000 && connectivity_probe_result() < 0; i++)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return connectivity_probe_result();
    }

    NetTempDir dir;
    NetPeer web;
    std::unique_ptr<AppSettings> settings;
};

TEST_F(Probe, OnlineWhenTheMapServerAnswers) {
    online_server();
    net_write_file(NET_PROBE_FILE, "left over");
    EXPECT_EQ(1, probe_connectivity(settings.get()));
    EXPECT_FALSE(net_file_exists(NET_PROBE_FILE));
    std::snprintf(settings->probeUrl, sizeof settings->probeUrl, "http://127.0.0.1:%d/index.html", web.port);
    EXPECT_EQ(1, probe_connectivity(settings.get()));
    EXPECT_FALSE(net_file_exists(NET_PROBE_FILE));
}

TEST_F(Probe, OfflineWhenNothingListens) {
    offline_server();
    net_write_file(NET_PROBE_FILE, "left over");
    EXPECT_EQ(0, probe_connectivity(settings.get()));
    EXPECT_FALSE(net_file_exists(NET_PROBE_FILE));
    std::snprintf(settings->probeUrl, sizeof settings->probeUrl, "%s", "http://nonexistent.invalid/");
    EXPECT_EQ(0, probe_connectivity(settings.get()));
}

TEST_F(Probe, StartupThreadGoesOnlineThroughTheMainThread) {
    online_server();
    ASSERT_EQ(1, connectivity_probe_start(settings.get()));
    EXPECT_EQ(1, wait_for_probe());
    // Nothing changes until the main thread polls.
    EXPECT_EQ(0, settings->online);
    EXPECT_EQ(-1, headless_menu_enabled(MENU_ONLINE));
    EXPECT_EQ(1, connectivity_probe_poll(settings.get()));
    EXPECT_EQ(1, settings->online);
    EXPECT_EQ(-1, headless_menu_enabled(MENU_ONLINE));   // the window's to set
    // Once only: the Offline command is not undone by later ticks.
    settings->online = 0;
    EXPECT_EQ(0, connectivity_probe_poll(settings.get()));
    EXPECT_EQ(0, settings->online);
    EXPECT_TRUE(headless_calls_of("message_box").empty());
}

TEST_F(Probe, StartupThreadStaysSilentlyOffline) {
    offline_server();
    ASSERT_EQ(1, connectivity_probe_start(settings.get()));
    EXPECT_EQ(0, wait_for_probe());
    EXPECT_EQ(0, connectivity_probe_poll(settings.get()));
    EXPECT_EQ(0, settings->online);
    EXPECT_EQ(-1, headless_menu_enabled(MENU_ONLINE));
    EXPECT_TRUE(headless_calls_of("message_box").empty());
    connectivity_probe_finish();
    EXPECT_FALSE(net_file_exists(NET_PROBE_FILE));
}

TEST_F(Probe, AProbeStillRunningIsCutShortAndLeavesNoFile) {
    // A server dripping its front page: the probe would hold on for seconds.
    std::vector<std::string> args = {std::string(KIV_SOURCE_DIR) + "/tests/net_peer.py", "drip"};
    web = net_peer_spawn(args);
    ASSERT_GT(web.port, 0);
    std::snprintf(settings->probeUrl, sizeof settings->probeUrl, "http://127.0.0.1:%d/", web.port);
    ASSERT_EQ(1, connectivity_probe_start(settings.get()));
    ASSERT_TRUE(net_wait_for_file(NET_PROBE_FILE));
    auto start = std::chrono::steady_clock::now();
    connectivity_probe_finish();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
    EXPECT_FALSE(net_file_exists(NET_PROBE_FILE));
    EXPECT_EQ(0, connectivity_probe_result());
}

}  // namespace
