// URL, proxy line and the remote server's request parsing: the pure parts
// of the network layer, fed from buffers.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "net/proxy.h"
#include "net/remote_request.h"
#include "net/url.h"
#include "tests/net_peer.h"

namespace {

struct Url {
    int ok;
    std::string host, path;
    int port;
};

Url parse(const std::string& url) {
    char host[NET_NAME_SIZE], path[NET_NAME_SIZE];
    int port = -7;
    int ok = ParseUrl(url.c_str(), host, path, &port);
    return {ok, host, path, port};
}

TEST(ParseUrl, SplitsHostPortAndPath) {
    Url u = parse("http://maps.example.org:8080/a/b:c");
    EXPECT_EQ(1, u.ok);
    EXPECT_EQ("maps.example.org", u.host);
    EXPECT_EQ(8080, u.port);
    EXPECT_EQ("/a/b:c", u.path);

    u = parse("maps.example.org");
    EXPECT_EQ("maps.example.org", u.host);
    EXPECT_EQ(80, u.port);
    EXPECT_EQ("/", u.path);

    u = parse("http://maps.example.org:abc/x");
    EXPECT_EQ("maps.example.org", u.host);
    EXPECT_EQ(80, u.port);
    EXPECT_EQ("/x", u.path);

    u = parse("http://h:0/");
    EXPECT_EQ(0, u.port);
    u = parse("http://h/cgi-bin/mapserv?map=/a:b&x=1");
    EXPECT_EQ("h", u.host);
    EXPECT_EQ(80, u.port);
    EXPECT_EQ("/cgi-bin/mapserv?map=/a:b&x=1", u.path);
}

TEST(ParseUrl, OtherSchemesAndCaseAreNotRecognised) {
    Url u = parse("HTTP://h/p");
    EXPECT_EQ("HTTP", u.host);
    EXPECT_EQ("//h/p", u.path);
    u = parse("ftp://h/p");
    EXPECT_EQ("ftp", u.host);
    u = parse("");
    EXPECT_EQ(1, u.ok);
    EXPECT_EQ("", u.host);
    EXPECT_EQ("/", u.path);
}

TEST(ParseUrl, RefusesWhatDoesNotFit) {
    EXPECT_EQ(0, parse("http://h:99999/").ok);
    EXPECT_EQ(0, parse("http://h:-5/").ok);
    EXPECT_EQ(0, parse("http://h:99999999999999999999999/").ok);
    std::string longest = "http://h/" + std::string(NET_NAME_SIZE - 1 - 9, 'p');
    EXPECT_EQ(1, parse(longest).ok);
    EXPECT_EQ(longest.substr(8), parse(longest).path);
    Url refused = parse(longest + "p");
    EXPECT_EQ(0, refused.ok);
    EXPECT_EQ("", refused.host);
    EXPECT_EQ("", refused.path);
    EXPECT_EQ(0, parse(std::string(100000, 'h')).ok);
}

struct Proxy {
    int set;
    std::string host;
    int port;
};

Proxy proxy_of(const char* line) {
    char host[NET_NAME_SIZE];
    int port = -1;
    int set = ParseProxyLine(line, host, &port);
    return {set, host, port};
}

TEST(ProxyLine, HostAndPortByBlankOrColon) {
    Proxy p = proxy_of("proxy.example:3128");
    EXPECT_EQ(1, p.set);
    EXPECT_EQ("proxy.example", p.host);
    EXPECT_EQ(3128, p.port);
    p = proxy_of("proxy.example \t 8080\r");
    EXPECT_EQ(1, p.set);
    EXPECT_EQ(8080, p.port);
    p = proxy_of("  proxy.example 8080 trailing words");
    EXPECT_EQ("proxy.example", p.host);
    // The form the proxy variables use.
    p = proxy_of("http://proxy.example:3128/");
    EXPECT_EQ(1, p.set);
    EXPECT_EQ("proxy.example", p.host);
    EXPECT_EQ(3128, p.port);
}

TEST(ProxyLine, AnythingElseMeansNoProxy) {
    for (const char* line : {"", "proxy.example", "proxy.example:", "proxy.example:zz", "a:b:8080", ":8080",
                             "proxy.example:0", "proxy.example:70000", "proxy.example:-1"}) {
        Proxy p = proxy_of(line);
        EXPECT_EQ(0, p.set) << line;
        EXPECT_EQ("", p.host) << line;
        EXPECT_EQ(0, p.port) << line;
    }
    std::string longHost(NET_NAME_SIZE, 'x');
    EXPECT_EQ(0, proxy_of((longHost + ":80").c_str()).set);
    EXPECT_EQ(1, proxy_of((longHost.substr(1) + ":80").c_str()).set);
}

TEST(ProxyFile, FirstLineOnlyAndLineLimits) {
    NetTempDir dir;
    char host[NET_NAME_SIZE];
    int port = 0;
    EXPECT_EQ(0, ReadProxyFile(PROXY_LINE_GET, host, &port));  // no file
    net_write_file("kiv_prx.txt", "");
    EXPECT_EQ(0, ReadProxyFile(PROXY_LINE_GET, host, &port));
    net_write_file("kiv_prx.txt", "px:3128\nother:1\n");
    EXPECT_EQ(1, ReadProxyFile(PROXY_LINE_POST, host, &port));
    EXPECT_STREQ("px", host);
    EXPECT_EQ(3128, port);
    // A 300-character line fits the GET line but not the POST one.
    net_write_file("kiv_prx.txt", "px:3128" + std::string(293, ' ') + "\n");
    EXPECT_EQ(1, ReadProxyFile(PROXY_LINE_GET, host, &port));
    EXPECT_EQ(0, ReadProxyFile(PROXY_LINE_POST, host, &port));
    EXPECT_EQ(0, port);
    net_write_file("kiv_prx.txt", std::string(20000, 'x') + ":80\n");
    EXPECT_EQ(0, ReadProxyFile(PROXY_LINE_GET, host, &port));
}

RemoteRequest request_of(const std::string& text) {
    RemoteRequest r;
    remote_parse_request(text.data(), static_cast<int>(text.size()), &r);
    return r;
}

const char kPostHead[] = "POST /kiv/sendbase.cgi HTTP/1.1\r\nHost: base\r\nContent-length: 30\r\n\r\n";

TEST(RemoteRequest, PostedPositionSetsTheFix) {
    RemoteRequest r = request_of(std::string(kPostHead) + "latitude=45.5&longitude=-75.25\r\n");
    EXPECT_EQ(1, r.isPost);
    EXPECT_EQ(1, r.hasPosition);
    EXPECT_EQ(45.5, r.latitude);
    EXPECT_EQ(-75.25, r.longitude);
    EXPECT_EQ(REMOTE_REPLY_EMPTY, r.reply);

    // Headers ended by bare line feeds, any path.
    r = request_of("POST /anything HTTP/1.0\nHost: base\n\nlatitude=1.5&longitude=2.5");
    EXPECT_EQ(1, r.hasPosition);
    EXPECT_EQ(2.5, r.longitude);
    EXPECT_EQ(REMOTE_REPLY_EMPTY, r.reply);

    // Without a version the position is still taken, but nothing is answered.
    r = request_of("POST /\r\n\r\nlatitude=3&longitude=4");
    EXPECT_EQ(1, r.hasPosition);
    EXPECT_EQ(REMOTE_REPLY_NONE, r.reply);
    r = request_of(std::string(kPostHead) + "latitude=+45.5&longitude= -75.25");
    EXPECT_EQ(1, r.hasPosition);
    EXPECT_EQ(-75.25, r.longitude);
}

TEST(RemoteRequest, NoDigitIsLostWhateverTheFinalLineEnd) {
    const std::string body = "latitude=45.123456&longitude=-75.123456";
    for (const char* end : {"", "\n", "\r\n"}) {
        RemoteRequest r = request_of(std::string(kPostHead) + body + end);
        EXPECT_EQ(1, r.hasPosition) << "end " << std::string(end).size();
        EXPECT_EQ(-75.123456, r.longitude) << "end " << std::string(end).size();
    }
}

TEST(RemoteRequest, PositionsOutOfRangeOrNotNumbersAreIgnored) {
    for (const char* body :
         {"latitude=90.5&longitude=0", "latitude=-90.0001&longitude=0", "latitude=0&longitude=180.01",
          "latitude=0&longitude=-181", "latitude=nan&longitude=0", "latitude=0&longitude=inf",
          "latitude=1e999&longitude=0", "latitude=-nan&longitude=0", "latitude=45.5", "longitude=1&latitude=2",
          "latitude=&longitude=1", "latitude=x&longitude=1", "Latitude=1&longitude=2"}) {
        RemoteRequest r = request_of(std::string(kPostHead) + body + "\r\n");
        EXPECT_EQ(0, r.hasPosition) << body;
        EXPECT_EQ(1, r.isPost) << body;
        EXPECT_EQ(REMOTE_REPLY_EMPTY, r.reply) << body;
    }
    RemoteRequest edge = request_of(std::string(kPostHead) + "latitude=-90&longitude=180");
    EXPECT_EQ(1, edge.hasPosition);
}

TEST(RemoteRequest, GetIsAnsweredOnlyWithAVersion) {
    EXPECT_EQ(REMOTE_REPLY_PAGE, request_of("GET / HTTP/1.1\r\nHost: x\r\n\r\n").reply);
    EXPECT_EQ(REMOTE_REPLY_PAGE, request_of("GET /whatever HTTP/1.0\r\n\r\n").reply);
    EXPECT_EQ(REMOTE_REPLY_NONE, request_of("GET /\r\n").reply);
    EXPECT_EQ(REMOTE_REPLY_NONE, request_of("get / HTTP/1.1\r\n\r\n").reply);
    EXPECT_EQ(REMOTE_REPLY_NONE, request_of(" GET / HTTP/1.1\r\n\r\n").reply);
    EXPECT_EQ(REMOTE_REPLY_NONE, request_of("PUT / HTTP/1.1\r\n\r\n").reply);
    EXPECT_EQ(0, request_of("GET / HTTP/1.1\r\n\r\n").isPost);
    EXPECT_EQ(REMOTE_REPLY_NONE, request_of("").reply);
    EXPECT_EQ(REMOTE_REPLY_NONE, request_of("G").reply);
    // The text ends at a zero byte.
    EXPECT_EQ(REMOTE_REPLY_NONE, request_of(std::string("GET /\0 HTTP/1.1\r\n\r\n", 20)).reply);
}

TEST(RemoteRequest, CompleteOnceTheAnnouncedBodyIsIn) {
    auto complete = [](const std::string& s) { return remote_request_complete(s.data(), static_cast<int>(s.size())); };
    EXPECT_EQ(0, complete(""));
    EXPECT_EQ(0, complete("GE"));
    EXPECT_EQ(0, complete("GET / HTTP/1.1\r\n"));
    EXPECT_EQ(1, complete("GET / HTTP/1.1\r\n\r\n"));
    EXPECT_EQ(0, complete(std::string(kPostHead) + "latitude=45.5"));
    EXPECT_EQ(1, complete(std::string(kPostHead) + "latitude=45.5&longitude=-75.25"));
    EXPECT_EQ(1, complete("POST / HTTP/1.1\r\nCONTENT-LENGTH:3\r\n\r\nabc"));
    EXPECT_EQ(1, complete("POST / HTTP/1.1\r\n\r\n"));
    EXPECT_EQ(1, complete("\x16\x03\x01 garbage"));
    EXPECT_EQ(1, complete("XGET / HTTP/1.1"));
}

TEST(RemoteReply, BytesAsTheClientsExpectThem) {
    setenv("TZ", "UTC", 1);
    tzset();
    const int64_t when = 1796656221;  // Mon Dec 07 15:10:21 2026 UTC
    char out[512];
    int n = remote_compose_reply(REMOTE_REPLY_PAGE, when, out, sizeof out);
    const std::string page =
        "<html>\r\n<head><title>KIV</title></head>\r\n<body><h1>KIV - version 1.0</h1></body>\r\n</html>\r\n";
    ASSERT_EQ(91u, page.size());
    EXPECT_EQ("HTTP/1.0 200 OK\r\nServer: Kiv 1.0\r\nDate: Mon Dec 07 15:10:21 2026\r\nContent-length: 91\r\n\r\n" +
                  page,
              std::string(out, n));
    n = remote_compose_reply(REMOTE_REPLY_EMPTY, when, out, sizeof out);
    EXPECT_EQ("HTTP/1.0 200 OK\r\nServer: Kiv 1.0\r\nDate: Mon Dec 07 15:10:21 2026\r\nContent-length: 0\r\n\r\n",
              std::string(out, n));
    EXPECT_EQ(0, remote_compose_reply(REMOTE_REPLY_NONE, when, out, sizeof out));
    EXPECT_EQ(0, remote_compose_reply(REMOTE_REPLY_PAGE, when, out, 100));
    n = remote_compose_reply(REMOTE_REPLY_EMPTY, 1796656221 - 3 * 86400 - 15 * 3600, out, sizeof out);
    EXPECT_NE(std::string::npos, std::string(out, n).find("Date: Fri Dec 04 00:10:21 2026\r\n"));
}

}  // namespace
