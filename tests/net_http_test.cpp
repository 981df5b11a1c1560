// The HTTP client against real servers on the loopback interface: python's
// web server, a recording server, a proxy, and servers that stall or cut.
#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>

#include <atomic>
#include <cstring>
#include <chrono>
#include <map>
#include <random>
#include <thread>

#include "net/http_client.h"
#include "net/sockets.h"
#include "settings/program_version.h"
#include "tests/net_peer.h"

namespace {

class HttpClient : public ::testing::Test {
protected:
    void SetUp() override {
        if (!net_have_python()) GTEST_SKIP() << "python3 is needed for the loopback peers";
        net_set_connect_timeout_ms(5000);
        net_set_receive_timeout_ms(10000);
    }
    void TearDown() override {
        for (auto& p : peers) net_peer_stop(p);
        net_set_connect_timeout_ms(5000);
        net_set_receive_timeout_ms(30000);
    }
    // A net_peer.py server; its requests are logged in a folder of its own.
    int peer(std::vector<std::string> args) {
        std::string log = dir.file("log-" + std::to_string(peers.size()));
        std::filesystem::create_directories(log);
        args.push_back("--log");
        args.push_back(log);
        peers.push_back(net_peer_start(args));
        EXPECT_GT(peers.back().port, 0);
        logs[peers.back().port] = log;
        return peers.back().port;
    }
    int peer_replying(const std::string& reply, std::vector<std::string> more = {}) {
        net_write_file(dir.file("reply.bin"), reply);
        more.insert(more.begin(), {"reply", "--reply", dir.file("reply.bin")});
        return peer(more);
    }
    // The n-th request that the peer on port received.
    std::string logged(int port, int n) {
        std::string path = logs[port] + "/request-" + std::to_string(n) + ".bin";
        EXPECT_TRUE(net_wait_for_file(path)) << path;
        return net_read_file(path);
    }
    std::string url(int port, const std::string& path) { return "http://127.0.0.1:" + std::to_string(port) + path; }
    // Every request names the program (tile services refuse requests without).
    const std::string agent = "User-Agent: Kiv/" + std::string(kiv_version) + "\r\n";

    NetTempDir dir;
    std::vector<NetPeer> peers;
    std::map<int, std::string> logs;
};

std::string random_bytes(size_t n) {
    std::mt19937 g(7);
    std::string s(n, 0);
    for (auto& c : s) c = static_cast<char>(g());
    return s;
}

int free_port() {
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

TEST_F(HttpClient, StoresWhatPythonsWebServerServes) {
    std::filesystem::create_directories(dir.file("site"));
    const std::string big = random_bytes(300000);
    net_write_file(dir.file("site/sheet.gif"), big);
    net_write_file(dir.file("site/index.html"), "<html>front page</html>");
    peers.push_back(net_http_server_start(dir.file("site")));
    int port = peers.back().port;
    ASSERT_GT(port, 0);

    EXPECT_EQ(1, HttpGetToFile(url(port, "/sheet.gif").c_str(), "tmp_map.gif"));
    EXPECT_EQ(big, net_read_file("tmp_map.gif"));
    EXPECT_EQ(1, HttpGetToFile(url(port, "/").c_str(), "tcpip.tmp"));
    EXPECT_EQ("<html>front page</html>", net_read_file("tcpip.tmp"));
    // An error status is still a transfer: the file holds the error page.
    EXPECT_EQ(1, HttpGetToFile(url(port, "/missing.html").c_str(), "err.htm"));
    EXPECT_NE(std::string::npos, net_read_file("err.htm").find("404"));
}

// HTTPS with the certificate checked: the test authority is trusted only
// when named; a server signed by another one is refused and stores nothing.
TEST_F(HttpClient, HttpsChecksTheCertificate) {
    std::filesystem::create_directories(dir.file("ca"));
    std::filesystem::create_directories(dir.file("site"));
    net_write_file(dir.file("site/sheet.png"), "sheet bytes");
    peers.push_back(net_tls_server_start(dir.file("ca"), dir.file("site")));
    int port = peers.back().port;
    ASSERT_GT(port, 0) << "openssl and python3's ssl module make the TLS peer";
    const struct {
        const char* ca;
        const char* host;
        int ok;
    } cases[] = {{"ca/ca.pem", "127.0.0.1", 1}, {"ca/ca.pem", "localhost", 1}, {"ca/other-ca.pem", "127.0.0.1", 0},
                 {"", "127.0.0.1", 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.ca) + " " + c.host);
        http_set_ca_file(c.ca[0] ? dir.file(c.ca).c_str() : "");
        remove("got.png");
        HttpTransfer t;
        std::string u = "https://" + std::string(c.host) + ":" + std::to_string(port) + "/sheet.png?a=1";
        EXPECT_EQ(c.ok, HttpTransferToFile(u.c_str(), nullptr, "got.png", &t));
        EXPECT_EQ(c.ok ? "sheet bytes" : "", net_read_file("got.png"));
        if (!c.ok) {
            EXPECT_NE(t.error[0], '\0');
        }
    }
    http_set_ca_file("");
}

TEST_F(HttpClient, GetRequestBytes) {
    int port = peer_replying("HTTP/1.1 200 OK\r\n\r\nhello");
    std::string u = "http://localhost:" + std::to_string(port) + "/a/b?x=1:2";
    EXPECT_EQ(1, HttpGetToFile(u.c_str(), "out.txt"));
    EXPECT_EQ("hello", net_read_file("out.txt"));
    // The Host line names the port the URL gives (a tile server on another
    // port may serve several names).
    EXPECT_EQ("GET /a/b?x=1:2 HTTP/1.1\r\nHost: localhost:" + std::to_string(port) + "\r\nConnection: close\r\n" + agent + "\r\n", logged(port, 1));
}

// A cached copy's validators go out, the reply's come back with its
// freshness; the contact of UserAgent= rides in the User-Agent.
TEST_F(HttpClient, ValidatorsFreshnessAndContact) {
    int fresh = peer_replying("HTTP/1.1 200 OK\r\nETag: \"v1\"\r\nLast-Modified: Tue, 01 Dec 2026 10:00:00 GMT\r\n"
                              "Cache-Control: public, max-age=600\r\nContent-Length: 2\r\n\r\nok");
    HttpTransfer t;
    EXPECT_EQ(1, HttpTransferToFile(url(fresh, "/t").c_str(), nullptr, "t.png", &t));
    EXPECT_EQ("\"v1\"", t.etag);
    EXPECT_EQ("Tue, 01 Dec 2026 10:00:00 GMT", t.lastModified);
    EXPECT_EQ(600, t.maxAgeSeconds);

    int same = peer_replying("HTTP/1.1 304 Not Modified\r\nDate: Tue, 01 Dec 2026 10:00:00 GMT\r\n"
                             "Expires: Tue, 01 Dec 2026 11:00:00 GMT\r\n\r\n");
    http_set_contact("https://example.org/me");
    EXPECT_EQ(1, HttpTransferToFile(url(same, "/t").c_str(), nullptr, "t2.png", &t));
    http_set_contact("");
    EXPECT_EQ(304, t.status);
    EXPECT_EQ("\"v1\"", t.etag);
    EXPECT_EQ(3600, t.maxAgeSeconds);
    std::string request = logged(same, 1);
    EXPECT_NE(std::string::npos, request.find("\r\nIf-None-Match: \"v1\"\r\nIf-Modified-Since: Tue, 01 Dec 2026 10:00:00 GMT\r\n"));
    EXPECT_NE(std::string::npos, request.find("\r\nUser-Agent: Kiv/" + std::string(kiv_version) + " (+https://example.org/me)\r\n"));
}

// Freshness as caches reckon it: an Expires that is no date is in the
// past, the age a reply had on arrival counts, and every Cache-Control
// line of a reply counts.
TEST_F(HttpClient, FreshnessFollowsTheCachingRules) {
    struct Case {
        const char* headers;
        long fresh;
    } cases[] = {{"Expires: 0\r\n", 0},
                 {"Expires: soon\r\n", 0},
                 {"Cache-Control: max-age=600\r\nAge: 100\r\n", 500},
                 {"Cache-Control: no-cache\r\nCache-Control: max-age=600\r\n", 0},
                 {"", -1}};
    for (const Case& c : cases) {
        int port = peer_replying("HTTP/1.1 200 OK\r\n" + std::string(c.headers) + "Content-Length: 2\r\n\r\nok");
        HttpTransfer t;
        EXPECT_EQ(1, HttpTransferToFile(url(port, "/t").c_str(), nullptr, "t.png", &t));
        EXPECT_EQ(c.fresh, t.maxAgeSeconds) << c.headers;
    }
}

TEST_F(HttpClient, PostAnnouncesTheBodyLength) {
    int port = peer_replying("HTTP/1.0 200 OK\r\nContent-length: 0\r\n\r\n");
    const std::string body = "latitude=1.000000&longitude=2.000000";
    EXPECT_EQ(1, HttpPostToFile(url(port, "/kiv/sendbase.cgi").c_str(), body.c_str(), "reply.txt"));
    EXPECT_EQ("", net_read_file("reply.txt"));
    std::string request = logged(port, 1);
    EXPECT_EQ(0u, request.find("POST /kiv/sendbase.cgi HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) +
                               "\r\nConnection: close\r\n" + agent +
                               "Content-type: application/x-www-form-urlencoded\r\nContent-length: 36\r\n\r\n"));
    EXPECT_EQ(body + "\r\n", request.substr(request.find("\r\n\r\n") + 4));
}

TEST_F(HttpClient, WithoutAnOutputFileTheRequestIsOnlySent) {
    int port = peer({"silent"});  // never answers: the client must not wait for it
    EXPECT_EQ(1, HttpGetToFile(url(port, "/").c_str(), nullptr));
    EXPECT_EQ(1, HttpPostToFile(url(port, "/p").c_str(), "a=1", nullptr));
    EXPECT_EQ(0u, logged(port, 1).find("GET / HTTP/1.1\r\n"));
    EXPECT_EQ(0u, logged(port, 2).find("POST /p HTTP/1.1\r\n"));
}

TEST_F(HttpClient, SameFileWhetherTheReplyComesWholeOrByteByByte) {
    const std::string body = random_bytes(1000);
    const std::string reply = "HTTP/1.1 200 OK\r\nContent-Type: image/gif\r\n\r\n" + body;
    int whole = peer_replying(reply);
    int trickled = peer_replying(reply, {"--trickle"});
    EXPECT_EQ(1, HttpGetToFile(url(whole, "/").c_str(), "whole.bin"));
    EXPECT_EQ(1, HttpGetToFile(url(trickled, "/").c_str(), "trickled.bin"));
    EXPECT_EQ(body, net_read_file("whole.bin"));
    EXPECT_EQ(body, net_read_file("trickled.bin"));
}

TEST_F(HttpClient, ChunkedRepliesAreStoredDechunked) {
    const std::string body = random_bytes(40000);
    std::string reply = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
    for (size_t at = 0, size = 1; at < body.size(); at += size, size = size * 3 + 1) {
        std::string part = body.substr(at, size);
        char line[32];
        std::snprintf(line, sizeof line, "%zx\r\n", part.size());
        reply += line + part + "\r\n";
    }
    reply += "0\r\n\r\n";
    int port = peer_replying(reply);
    EXPECT_EQ(1, HttpGetToFile(url(port, "/").c_str(), "chunked.bin"));
    EXPECT_EQ(body, net_read_file("chunked.bin"));

    int trickled = peer_replying("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n4\r\nWiki\r\n5\r\npedia\r\n0\r\n\r\n",
                                 {"--trickle"});
    EXPECT_EQ(1, HttpGetToFile(url(trickled, "/").c_str(), "wiki.txt"));
    EXPECT_EQ("Wikipedia", net_read_file("wiki.txt"));
}

TEST_F(HttpClient, ProxyGetsTheAbsoluteUri) {
    int target = peer_replying("HTTP/1.1 200 OK\r\n\r\nthrough the proxy");
    int proxy = peer({"proxy"});
    net_write_file("kiv_prx.txt", "127.0.0.1:" + std::to_string(proxy) + "\n");
    EXPECT_EQ(1, HttpGetToFile(url(target, "/a/b").c_str(), "out.txt"));
    EXPECT_EQ("through the proxy", net_read_file("out.txt"));
    // The proxy's request (logged first) names the target with its port; lines end with CR LF.
    EXPECT_EQ("GET http://127.0.0.1:" + std::to_string(target) +
                  "/a/b HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(target) + "\r\nConnection: close\r\n" + agent + "\r\n",
              logged(proxy, 1));
    EXPECT_EQ("GET /a/b HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(target) + "\r\nConnection: close\r\n" + agent + "\r\n",
              logged(target, 1));

    net_write_file("kiv_prx.txt", "127.0.0.1 " + std::to_string(proxy) + "\n");
    EXPECT_EQ(1, HttpPostToFile(url(target, "/kiv/sendbase.cgi").c_str(), "a=1", "post.txt"));
    EXPECT_EQ(0u, logged(proxy, 2).find("POST http://127.0.0.1:" + std::to_string(target) + "/kiv/sendbase.cgi HTTP/1.1\r\n"));

    // A first line with only a host name: no proxy.
    net_write_file("kiv_prx.txt", "127.0.0.1\n");
    EXPECT_EQ(1, HttpGetToFile(url(target, "/direct").c_str(), "direct.txt"));
    EXPECT_EQ(0u, logged(target, 3).find("GET /direct HTTP/1.1\r\n"));
}

// The proxy from the environment when kiv_prx.txt names none, unless
// no_proxy names the host; kiv_prx.txt also takes "http://host:port/".
TEST_F(HttpClient, ProxyFromTheEnvironmentOrAUrlInTheProxyFile) {
    int target = peer_replying("HTTP/1.1 200 OK\r\nContent-Length: 2\r\nConnection: close\r\n\r\nok");
    int proxy = peer({"proxy"});
    std::string proxyUrl = "http://127.0.0.1:" + std::to_string(proxy);
    std::string absolute = "GET " + url(target, "/env") + " HTTP/1.1\r\n";
    setenv("http_proxy", proxyUrl.c_str(), 1);
    unsetenv("no_proxy");
    EXPECT_EQ(1, HttpGetToFile(url(target, "/env").c_str(), "a.txt"));
    setenv("no_proxy", "127.0.0.1", 1);
    EXPECT_EQ(1, HttpGetToFile(url(target, "/direct").c_str(), "b.txt"));
    unsetenv("http_proxy");
    unsetenv("no_proxy");
    net_write_file("kiv_prx.txt", proxyUrl + "/\n");
    EXPECT_EQ(1, HttpGetToFile(url(target, "/env").c_str(), "c.txt"));
    EXPECT_EQ(0u, logged(proxy, 1).find(absolute));
    EXPECT_EQ(0u, logged(target, 2).find("GET /direct HTTP/1.1\r\n"));
    EXPECT_EQ(0u, logged(proxy, 2).find(absolute));
    EXPECT_EQ("ok", net_read_file("c.txt"));
}

// A few redirect hops are followed, a loop is not; IPv6 literals work.
TEST_F(HttpClient, RedirectsAndIpv6) {
    int target = peer_replying("HTTP/1.1 200 OK\r\nContent-Length: 4\r\nConnection: close\r\n\r\nhere");
    int hop = peer_replying("HTTP/1.1 302 Found\r\nLocation: " + url(target, "/x") +
                            "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
    EXPECT_EQ(1, HttpGetToFile(url(hop, "/start").c_str(), "r.txt"));
    EXPECT_EQ("here", net_read_file("r.txt"));
    net_write_file(dir.file("loop.bin"), "HTTP/1.1 301 Moved\r\nLocation: /again\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
    int loop = peer({"reply", "--reply", dir.file("loop.bin")});
    EXPECT_EQ(0, HttpGetToFile(url(loop, "/again").c_str(), "loop.txt"));
    EXPECT_FALSE(net_file_exists("loop.txt"));

    std::filesystem::create_directories(dir.file("site6"));
    net_write_file(dir.file("site6/s.gif"), "six");
    peers.push_back(net_peer_spawn({"-m", "http.server", "0", "--bind", "::1", "--directory", dir.file("site6")}));
    if (peers.back().port <= 0) GTEST_SKIP() << "no IPv6 loopback here";
    std::string u = "http://[::1]:" + std::to_string(peers.back().port) + "/s.gif";
    EXPECT_EQ(1, HttpGetToFile(u.c_str(), "six.txt"));
    EXPECT_EQ("six", net_read_file("six.txt"));
}

TEST_F(HttpClient, SilenceEndsTheTransferAsAFailure) {
    net_set_receive_timeout_ms(1000);
    int silent = peer({"silent"});
    net_write_file("out.bin", "an older file");
    EXPECT_EQ(0, HttpGetToFile(url(silent, "/").c_str(), "out.bin"));
    EXPECT_FALSE(net_file_exists("out.bin"));
}

TEST_F(HttpClient, StalledOrCutBodiesLeaveNoFile) {
    net_set_receive_timeout_ms(1000);
    const std::string sized = "HTTP/1.1 200 OK\r\nContent-Length: 2000\r\n\r\n" + std::string(2000, 'x');
    net_write_file(dir.file("sized.bin"), sized);
    int stalled = peer({"stall", "--reply", dir.file("sized.bin")});
    EXPECT_EQ(0, HttpGetToFile(url(stalled, "/").c_str(), "stalled.bin"));
    EXPECT_FALSE(net_file_exists("stalled.bin"));

    int cut = peer({"cut", "--reply", dir.file("sized.bin")});
    EXPECT_EQ(0, HttpGetToFile(url(cut, "/").c_str(), "cut.bin"));
    EXPECT_FALSE(net_file_exists("cut.bin"));

    net_write_file(dir.file("chunked.bin"),
                   "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n400\r\n" + std::string(1024, 'y') + "\r\n0\r\n\r\n");
    int cutChunks = peer({"cut", "--reply", dir.file("chunked.bin")});
    EXPECT_EQ(0, HttpGetToFile(url(cutChunks, "/").c_str(), "cutchunks.bin"));
    EXPECT_FALSE(net_file_exists("cutchunks.bin"));

    // Closed before the headers ended, and headers that never end.
    int early = peer_replying("HTTP/1.1 200 OK\r\nServer: x\r\n");
    EXPECT_EQ(0, HttpGetToFile(url(early, "/").c_str(), "early.bin"));
    EXPECT_FALSE(net_file_exists("early.bin"));
    int endless = peer_replying("HTTP/1.1 200 OK\r\nX: " + std::string(40000, 'h'));
    EXPECT_EQ(0, HttpGetToFile(url(endless, "/").c_str(), "endless.bin"));
    EXPECT_FALSE(net_file_exists("endless.bin"));
}

TEST_F(HttpClient, EndlessOrDrippingRepliesEndAtTheCapOrTheDeadline) {
    int endless = peer({"endless"});
    EXPECT_EQ(0, HttpGetToFile(url(endless, "/").c_str(), "endless.bin"));
    EXPECT_FALSE(net_file_exists("endless.bin"));

    int drip = peer({"drip"});
    HttpTransfer t;
    t.deadlineMs = 1500;
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(0, HttpTransferToFile(url(drip, "/").c_str(), nullptr, "drip.bin", &t));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(HTTP_TIMED_OUT, t.stop);
    EXPECT_FALSE(net_file_exists("drip.bin"));

    std::atomic<int> cancel{0};
    HttpTransfer c;
    c.cancel = &cancel;
    std::thread canceller([&] {
        net_wait_for_file("cancelled.bin");
        cancel.store(1);
    });
    EXPECT_EQ(0, HttpTransferToFile(url(drip, "/").c_str(), nullptr, "cancelled.bin", &c));
    canceller.join();
    EXPECT_EQ(HTTP_CANCELLED, c.stop);
    EXPECT_FALSE(net_file_exists("cancelled.bin"));
}

// A reply that drips in slower than the transfer allows ends long before
// its deadline, as stalled.
TEST_F(HttpClient, DrippingRepliesEndAtTheStallLimit) {
    int drip = peer({"drip"});
    HttpTransfer t;
    t.minBytesPerSecond = 100;
    t.stallWindowMs = 1000;
    EXPECT_EQ(0, HttpTransferToFile(url(drip, "/").c_str(), nullptr, "drip.bin", &t));
    EXPECT_EQ(HTTP_TIMED_OUT, t.stop);
    EXPECT_NE(nullptr, strstr(t.error, "bytes a second")) << t.error;
}

// The reason goes back to the caller; nothing is printed (transfers run on
// worker threads of a windowed program).
TEST_F(HttpClient, ConnectFailuresAreReportedToTheCaller) {
    int closed = free_port();
    HttpTransfer refused, unresolved;
    testing::internal::CaptureStdout();
    EXPECT_EQ(0, HttpTransferToFile(url(closed, "/").c_str(), nullptr, "refused.bin", &refused));
    EXPECT_EQ(0, HttpTransferToFile("http://nonexistent.invalid/", nullptr, "unresolved.bin", &unresolved));
    std::fflush(stdout);
    EXPECT_EQ("", testing::internal::GetCapturedStdout());
    EXPECT_FALSE(net_file_exists("refused.bin"));
    EXPECT_FALSE(net_file_exists("unresolved.bin"));
    EXPECT_NE(std::string::npos, std::string(refused.error).find("Connection refused")) << refused.error;
    EXPECT_NE(std::string::npos, std::string(unresolved.error).find("nonexistent.invalid")) << unresolved.error;
}

TEST_F(HttpClient, ConnectIsBoundedWhenTheServerNeverAccepts) {
    net_set_connect_timeout_ms(1000);
    net_set_receive_timeout_ms(1000);
    int port = peer({"noaccept"});
    // Fill the listen queue so further connection attempts go unanswered.
    std::vector<int> fillers;
    for (int i = 0; i < 8; i++) {
        int s = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
        sockaddr_in a = {};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<uint16_t>(port));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
        fillers.push_back(s);
    }
    EXPECT_EQ(0, HttpGetToFile(url(port, "/").c_str(), "never.bin"));
    EXPECT_FALSE(net_file_exists("never.bin"));
    for (int s : fillers) close(s);
}

TEST_F(HttpClient, OverlongInputIsRefused) {
    int port = peer_replying("HTTP/1.1 200 OK\r\n\r\nhello");
    std::string longUrl = url(port, "/" + std::string(2000, 'p'));
    EXPECT_EQ(0, HttpGetToFile(longUrl.c_str(), "long.bin"));
    EXPECT_FALSE(net_file_exists("long.bin"));
    std::string longBody(20000, 'b');
    EXPECT_EQ(0, HttpPostToFile(url(port, "/").c_str(), longBody.c_str(), "long.bin"));
    // An overlong proxy line means no proxy: the request goes out directly.
    net_write_file("kiv_prx.txt", std::string(300, 'x') + ":3128\n");
    EXPECT_EQ(1, HttpPostToFile(url(port, "/").c_str(), "a=1", "post.bin"));
    EXPECT_EQ("hello", net_read_file("post.bin"));
}

// A reply with nowhere to go is no success: the caller learns why.
TEST_F(HttpClient, AnOutputFileThatCannotBeCreatedIsAFailure) {
    int port = peer_replying("HTTP/1.1 200 OK\r\n\r\nhello");
    HttpTransfer t;
    EXPECT_EQ(0, HttpTransferToFile(url(port, "/").c_str(), nullptr, "no/such/folder/out.bin", &t));
    EXPECT_FALSE(net_file_exists("no/such/folder/out.bin"));
    EXPECT_NE(nullptr, strstr(t.error, "no/such/folder/out.bin")) << t.error;
}

}  // namespace
