// URL, proxy line, request texts, HTTP reply reading and the remote server's
// request parsing: the pure parts of the network layer, fed from buffers.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "net/http_client.h"
#include "net/http_reply.h"
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

TEST(RequestText, LinesEndWithCarriageReturnLineFeed) {
    char out[NET_BUFFER_SIZE];
    int n = http_compose_get(out, "h", 8080, "/a/b", 0);
    EXPECT_EQ("GET /a/b HTTP/1.1\r\nHost: h\r\nConnection: close\r\n\r\n", std::string(out, n));
    n = http_compose_get(out, "h", 8080, "/a/b", 1);
    EXPECT_EQ("GET http://h:8080/a/b HTTP/1.1\r\nHost: h\r\nConnection: close\r\n\r\n", std::string(out, n));
    n = http_compose_get(out, "h", 80, "/", 1);
    EXPECT_EQ("GET http://h/ HTTP/1.1\r\nHost: h\r\nConnection: close\r\n\r\n", std::string(out, n));
}

TEST(RequestText, PostAnnouncesTheBodyAndEndsItWithALineEnd) {
    char out[NET_BUFFER_SIZE];
    const std::string body = "latitude=1.000000&longitude=2.000000";
    ASSERT_EQ(36u, body.size());
    int n = http_compose_post(out, "base", 81, "/kiv/sendbase.cgi", body.c_str(), 0);
    std::string text(out, n);
    EXPECT_EQ(0u, text.find("POST /kiv/sendbase.cgi HTTP/1.1\r\nHost: base\r\nConnection: close\r\n"
                            "Content-type: application/x-www-form-urlencoded\r\nContent-length: 36\r\n\r\n"));
    EXPECT_EQ(body + "\r\n", text.substr(text.find("\r\n\r\n") + 4));
    n = http_compose_post(out, "base", 81, "/kiv/sendbase.cgi", body.c_str(), 1);
    EXPECT_EQ(0u, std::string(out, n).find("POST http://base:81/kiv/sendbase.cgi HTTP/1.1\r\n"));
}

TEST(RequestText, TooLongIsRefused) {
    char out[NET_BUFFER_SIZE];
    std::string body(NET_BUFFER_SIZE - 200, 'b');
    EXPECT_GT(http_compose_post(out, "h", 80, "/", body.c_str(), 0), 0);
    body.append(150, 'b');
    EXPECT_EQ(-1, http_compose_post(out, "h", 80, "/", body.c_str(), 0));
    body.assign(NET_BUFFER_SIZE * 2, 'b');
    EXPECT_EQ(-1, http_compose_post(out, "h", 80, "/", body.c_str(), 0));
    std::string host(NET_NAME_SIZE - 1, 'h'), path = "/" + std::string(NET_NAME_SIZE - 2, 'p');
    EXPECT_GT(http_compose_get(out, host.c_str(), 65535, path.c_str(), 1), 0);
}

// Feeds a reply in pieces of the given size; collects the body.
struct Fed {
    int fedOk;
    int closeOk;
    int doneBeforeClose;
    int status;
    std::string body;
};

int collect(const char* bytes, int count, void* context) {
    static_cast<std::string*>(context)->append(bytes, static_cast<size_t>(count));
    return 1;
}

Fed feed(const std::string& reply, size_t piece) {
    std::unique_ptr<HttpReply> r(new HttpReply);
    http_reply_init(r.get());
    Fed f = {1, 0, 0, -1, ""};
    for (size_t i = 0; i < reply.size() && f.fedOk; i += piece) {
        std::string part = reply.substr(i, piece);
        f.fedOk = http_reply_feed(r.get(), part.data(), static_cast<int>(part.size()), collect, &f.body);
    }
    f.doneBeforeClose = http_reply_done(r.get());
    f.closeOk = f.fedOk && http_reply_close(r.get());
    f.status = r->status;
    return f;
}

// The same reply fed whole, byte by byte and in odd pieces gives the same result.
void expect_body(const std::string& reply, const std::string& body, int complete = 1) {
    for (size_t piece : {reply.size() + 1, size_t(1), size_t(2), size_t(3), size_t(7), size_t(4096)}) {
        Fed f = feed(reply, piece);
        EXPECT_EQ(1, f.fedOk) << "piece " << piece;
        EXPECT_EQ(complete, f.closeOk) << "piece " << piece;
        EXPECT_EQ(body, f.body) << "piece " << piece;
    }
}

TEST(HttpReply, BodyAfterTheBlankLineWhateverTheSegments) {
    expect_body("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n\r\n<html>body</html>", "<html>body</html>");
    expect_body("HTTP/1.0 200 OK\r\n\r\n", "");
    std::string binary("GIF89a\0\1\2\r\n\r\n\xff", 15);
    expect_body("HTTP/1.1 200 OK\r\n\r\n" + binary, binary);
    Fed f = feed("HTTP/1.1 404 Not Found\r\nServer: x\r\n\r\nmissing page", 5);
    EXPECT_EQ(404, f.status);
    EXPECT_EQ("missing page", f.body);
    EXPECT_EQ(1, f.closeOk);
    // Bare line feeds end the headers too.
    expect_body("HTTP/1.0 200 OK\nServer: x\n\nbody", "body");
}

TEST(HttpReply, ContentLengthEndsTheBodyAndDetectsTruncation) {
    expect_body("HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello", "hello");
    EXPECT_EQ(1, feed("HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello", 1).doneBeforeClose);
    expect_body("HTTP/1.1 200 OK\r\ncontent-length:  5 \r\n\r\nhelloEXTRA", "hello");
    expect_body("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nhello", "hello", 0);
    expect_body("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n", "");
    // A length that is not a number is not used.
    expect_body("HTTP/1.1 200 OK\r\nContent-Length: 1x\r\n\r\nhello", "hello");
}

TEST(HttpReply, ChunkedBodiesAreStoredDechunked) {
    const std::string chunked =
        "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
        "5\r\nhello\r\n7;name=value\r\n, world\r\nA \r\n0123456789\r\n0\r\nX-Trailer: 1\r\n\r\n";
    expect_body(chunked, "hello, world0123456789");
    EXPECT_EQ(1, feed(chunked, 3).doneBeforeClose);
    expect_body("HTTP/1.1 200 OK\r\ntransfer-encoding: gzip, CHUNKED\r\nContent-Length: 3\r\n\r\n"
                "2\r\nab\r\n0\r\n\r\n",
                "ab");
    expect_body("HTTP/1.1 200 OK\nTransfer-Encoding: chunked\n\n3\nabc\n0\n\n", "abc");
    // The last chunk without its final empty line still ends the body at close.
    expect_body("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n0\r\n", "abc");
}

TEST(HttpReply, TruncatedOrMalformedChunksFail) {
    const std::string head = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
    EXPECT_EQ(0, feed(head + "5\r\nhel", 1).closeOk);
    EXPECT_EQ(0, feed(head + "5\r\nhello\r\n", 1).closeOk);
    EXPECT_EQ(0, feed(head + "zz\r\nhello\r\n0\r\n\r\n", 1).fedOk);
    EXPECT_EQ(0, feed(head + "\r\nhello\r\n0\r\n\r\n", 1).fedOk);
    EXPECT_EQ(0, feed(head + "5\r\nhelloXX\r\n0\r\n\r\n", 1).fedOk);
    EXPECT_EQ(0, feed(head + "FFFFFFFFFFFFFFFFFFFFFFFF\r\nx", 4).fedOk);
    EXPECT_EQ(0, feed(head + std::string(5000, '0') + "1\r\nx", 100).fedOk);
    EXPECT_EQ(0, feed(head + "1;" + std::string(5000, 'e') + "\r\nx", 100).fedOk);
}

TEST(HttpReply, HeadersMustEndWithinTheBuffer) {
    Fed f = feed("HTTP/1.1 200 OK\r\nServer: x", 4);
    EXPECT_EQ(1, f.fedOk);
    EXPECT_EQ(0, f.closeOk);  // closed before the blank line
    std::string big = "HTTP/1.1 200 OK\r\nX: " + std::string(NET_BUFFER_SIZE, 'x') + "\r\n\r\nbody";
    EXPECT_EQ(0, feed(big, 1000).fedOk);
    EXPECT_EQ(0, feed(big, 1).fedOk);
    // Headers that just fit.
    std::string fits = "HTTP/1.1 200 OK\r\nX: ";
    fits += std::string(NET_BUFFER_SIZE - fits.size() - 4, 'x') + "\r\n\r\nbody";
    expect_body(fits, "body");
}

TEST(HttpReply, AStoreFailureEndsTheReply) {
    std::unique_ptr<HttpReply> r(new HttpReply);
    http_reply_init(r.get());
    const std::string reply = "HTTP/1.1 200 OK\r\n\r\nbody";
    auto refuse = [](const char*, int, void*) { return 0; };
    EXPECT_EQ(0, http_reply_feed(r.get(), reply.data(), static_cast<int>(reply.size()), refuse, nullptr));
    EXPECT_EQ(1, r->sinkFailed);
    EXPECT_EQ(0, http_reply_close(r.get()));
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
