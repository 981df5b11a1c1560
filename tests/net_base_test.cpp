// Base position upload and the remote keep-alive: when the timer's tick
// sends what, the exact bytes a base server receives, and the worker that
// keeps a slow base server from holding up the window.
#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>

#include <clocale>
#include <cmath>
#include <memory>

#include "net/base_upload.h"
#include "net/net_worker.h"
#include "net/sockets.h"
#include "platform/headless.h"
#include "platform/platform.h"
#include "position/gps_fix.h"
#include "settings/app_settings.h"
#include "settings/program_version.h"
#include "tests/net_peer.h"

namespace {

const int64_t kStart = 1800000000;

std::string body_of(double latitude, double longitude) {
    char body[BASE_BODY_SIZE];
    if (!base_upload_body(latitude, longitude, body, sizeof body)) return "refused";
    return body;
}

TEST(BaseBody, SixDecimalsWhateverTheLocale) {
    EXPECT_EQ("latitude=45.400000&longitude=-75.700000", body_of(45.4, -75.7));
    EXPECT_EQ("latitude=1.000000&longitude=2.000000", body_of(1, 2));
    EXPECT_EQ("latitude=-0.000001&longitude=179.999999", body_of(-0.000001, 179.999999));
    EXPECT_EQ("refused", body_of(NAN, 1));
    EXPECT_EQ("refused", body_of(1, INFINITY));
    EXPECT_EQ("refused", body_of(1e300, 1));  // does not fit the 128-byte body
    for (const char* name : {"de_DE.UTF-8", "fr_FR.UTF-8", "de_DE", "fr_FR"}) {
        if (!std::setlocale(LC_ALL, name)) continue;
        EXPECT_EQ("latitude=45.400000&longitude=-75.700000", body_of(45.4, -75.7)) << name;
        std::setlocale(LC_ALL, "C");
    }
}

class BaseTick : public ::testing::Test {
protected:
    void SetUp() override {
        headless_install();
        headless_set_clock(kStart);
        gps_reset();
        base_upload_reset();
        program_settings.startLatitude = 45.0 + 25.0 / 60.0;
        program_settings.startLongitude = -(75.0 + 42.0 / 60.0);
        settings = std::make_unique<AppSettings>();
        settings->deviceType = DEVICE_NMEA;
        settings->baseEnabled = 1;
        std::snprintf(settings->baseHost, sizeof settings->baseHost, "%s", "base.example");
        settings->basePort = 81;
    }
    void TearDown() override { platform_install(nullptr); }
    void fix(double latitude, double longitude, int mode = 3) {
        gps_set_latitude(latitude);
        gps_set_longitude(longitude);
        gps_set_fix_mode(mode);
    }
    int plan(BaseJob* job = nullptr) {
        BaseJob local;
        return base_upload_plan(settings.get(), job ? job : &local);
    }
    std::unique_ptr<AppSettings> settings;
};

TEST_F(BaseTick, FirstFixPostsAtOnceThenOnceAMinute) {
    EXPECT_EQ(BASE_JOB_NONE, plan());  // no fix yet
    fix(45.4, -75.7);
    BaseJob job;
    EXPECT_EQ(BASE_JOB_UPLOAD, plan(&job));
    EXPECT_STREQ("http://base.example:81/kiv/sendbase.cgi", job.url);
    EXPECT_STREQ("latitude=45.400000&longitude=-75.700000", job.body);
    EXPECT_EQ(kStart, base_last_time());
    EXPECT_EQ(45.4, program_settings.startLatitude);
    EXPECT_EQ(-75.7, program_settings.startLongitude);

    EXPECT_EQ(BASE_JOB_NONE, plan());
    headless_set_clock(kStart + 60);
    EXPECT_EQ(BASE_JOB_NONE, plan());  // strictly more than a minute
    headless_set_clock(kStart + 61);
    EXPECT_EQ(BASE_JOB_UPLOAD, plan());
    EXPECT_EQ(kStart + 61, base_last_time());
}

TEST_F(BaseTick, AMoveOfMoreThanHalfAThousandthOfADegreePostsAtOnce) {
    fix(45.4, -75.7);
    ASSERT_EQ(BASE_JOB_UPLOAD, plan());
    headless_set_clock(kStart + 1);
    fix(45.4004, -75.7004);
    EXPECT_EQ(BASE_JOB_NONE, plan());
    fix(45.4006, -75.7);
    EXPECT_EQ(BASE_JOB_UPLOAD, plan());
    headless_set_clock(kStart + 2);
    fix(45.4006, -75.7006);
    EXPECT_EQ(BASE_JOB_UPLOAD, plan());
    EXPECT_EQ(-75.7006, program_settings.startLongitude);
}

TEST_F(BaseTick, NothingWithoutAFixOrWithoutABaseLine) {
    fix(45.4, -75.7, 0);
    EXPECT_EQ(BASE_JOB_NONE, plan());
    EXPECT_EQ(0, base_last_time());
    fix(45.4, -75.7, 3);
    settings->baseEnabled = 0;
    EXPECT_EQ(BASE_JOB_NONE, plan());
    fix(NAN, -75.7, 3);
    settings->baseEnabled = 1;
    EXPECT_EQ(BASE_JOB_NONE, plan());
}

TEST_F(BaseTick, RemoteInstanceKeepsItsServerAliveWhateverTheFix) {
    settings->deviceType = DEVICE_REMOTE;
    BaseJob job;
    EXPECT_EQ(BASE_JOB_KEEPALIVE, plan(&job));
    EXPECT_STREQ("http://base.example:81/", job.url);
    EXPECT_EQ(BASE_JOB_NONE, plan());
    headless_set_clock(kStart + 61);
    fix(45.4, -75.7);
    EXPECT_EQ(BASE_JOB_KEEPALIVE, plan());
    EXPECT_EQ(kStart + 61, base_last_time());
    settings->baseEnabled = 0;
    headless_set_clock(kStart + 200);
    EXPECT_EQ(BASE_JOB_NONE, plan());
}

class BaseServer : public BaseTick {
protected:
    void SetUp() override {
        if (!net_have_python()) GTEST_SKIP() << "python3 is needed for the base server";
        BaseTick::SetUp();
        net_set_connect_timeout_ms(5000);
        std::filesystem::create_directories(dir.file("log"));
        base = net_peer_start({"reply", "--log", dir.file("log")});
        ASSERT_GT(base.port, 0);
        std::snprintf(settings->baseHost, sizeof settings->baseHost, "%s", "127.0.0.1");
        settings->basePort = base.port;
    }
    void TearDown() override {
        net_worker_stop();
        net_peer_stop(base);
        net_set_connect_timeout_ms(5000);
        BaseTick::TearDown();
    }
    std::string logged(int n) {
        std::string path = dir.file("log/request-" + std::to_string(n) + ".bin");
        EXPECT_TRUE(net_wait_for_file(path)) << path;
        return net_read_file(path);
    }
    NetTempDir dir;
    NetPeer base;
};

TEST_F(BaseServer, TheBaseReceivesThePositionForm) {
    fix(45.4, -75.7);
    base_upload_tick(settings.get());
    std::string request = logged(1);
    EXPECT_EQ(0u, request.find("POST /kiv/sendbase.cgi HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(base.port) + "\r\n"))
        << request;
    EXPECT_NE(std::string::npos, request.find("\r\nContent-length: 39\r\n"));
    EXPECT_EQ("latitude=45.400000&longitude=-75.700000\r\n", request.substr(request.find("\r\n\r\n") + 4));
}

TEST_F(BaseServer, KeepAliveAsksForTheRootPage) {
    settings->deviceType = DEVICE_REMOTE;
    base_upload_tick(settings.get());
    EXPECT_EQ("GET / HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(base.port) + "\r\nConnection: close\r\nUser-Agent: Kiv/" + std::string(kiv_version) +
                  "\r\n\r\n",
              logged(1));
}

TEST_F(BaseServer, WorkerSendsInTickOrder) {
    fix(45.4, -75.7);
    EXPECT_EQ(1, net_worker_tick(settings.get()));
    ASSERT_TRUE(net_worker_wait_idle(20000));
    EXPECT_EQ(0, net_worker_tick(settings.get()));  // nothing due
    headless_set_clock(kStart + 1);
    fix(45.5, -75.7);
    EXPECT_EQ(1, net_worker_tick(settings.get()));
    ASSERT_TRUE(net_worker_wait_idle(20000));
    EXPECT_NE(std::string::npos, logged(1).find("latitude=45.400000&longitude=-75.700000"));
    EXPECT_NE(std::string::npos, logged(2).find("latitude=45.500000&longitude=-75.700000"));
}

TEST_F(BaseServer, ASlowBaseServerNeitherBlocksTheTickNorQueuesRequests) {
    // A base whose listen queue is full: the connection attempt hangs until its time-out.
    net_set_connect_timeout_ms(4000);
    NetPeer stuck = net_peer_start({"noaccept"});
    ASSERT_GT(stuck.port, 0);
    std::vector<int> fillers;
    for (int i = 0; i < 8; i++) {
        int s = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
        sockaddr_in a = {};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<uint16_t>(stuck.port));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
        fillers.push_back(s);
    }
    settings->basePort = stuck.port;
    int completed = net_worker_completed();
    fix(45.4, -75.7);
    EXPECT_EQ(1, net_worker_tick(settings.get()));
    EXPECT_EQ(1, net_worker_busy());
    // The next ticks find the request still running and skip, deciding nothing.
    headless_set_clock(kStart + 100);
    fix(46.0, -75.7);
    EXPECT_EQ(0, net_worker_tick(settings.get()));
    EXPECT_EQ(0, net_worker_tick(settings.get()));
    EXPECT_EQ(kStart, base_last_time());
    EXPECT_EQ(45.4, program_settings.startLatitude);
    ASSERT_TRUE(net_worker_wait_idle(20000));
    EXPECT_EQ(completed + 1, net_worker_completed());
    // Afterwards the next tick decides afresh.
    settings->basePort = base.port;
    EXPECT_EQ(1, net_worker_tick(settings.get()));
    ASSERT_TRUE(net_worker_wait_idle(20000));
    EXPECT_NE(std::string::npos, logged(1).find("latitude=46.000000&longitude=-75.700000"));
    for (int s : fillers) close(s);
    net_peer_stop(stuck);
}

}  // namespace
