// Find without a map server: the search says why the server gave nothing,
// a typed position is found without one, and text no name can match asks
// nothing.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <thread>

#include "app/app_state.h"
#include "app/find_places.h"
#include "settings/app_settings.h"

namespace {

// A loopback port nobody listens on right now.
int closedPort() {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    close(fd);
    return ntohs(a.sin_port);
}

TEST(FindPlaces, AServerThatDoesNotAnswerIsNamedAndPositionsNeedNone) {
    static AppSettings s{};
    std::string address = "127.0.0.1:" + std::to_string(closedPort());
    std::snprintf(s.serverUrl, sizeof s.serverUrl, "http://%s/", address.c_str());
    app_window.settings = &s;
    FindDialogState d;
    d.text = "montreal";
    find_places_typed(&d);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (find_places_busy() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    find_places_poll(&d);
    EXPECT_NE(d.status.find("does not answer"), std::string::npos) << d.status;
    EXPECT_NE(d.status.find(address), std::string::npos) << d.status;

    d.text = "N 45 25.2 W 75 41.4";
    find_places_typed(&d);
    ASSERT_EQ(d.matches.size(), 1u) << d.status;
    EXPECT_NEAR(d.matches[0].lat, 45.42, 1e-9);
    d.text = "N 95 0 W 75 0";
    find_places_typed(&d);
    EXPECT_TRUE(d.matches.empty());
    EXPECT_NE(d.status.find("latitude"), std::string::npos) << d.status;
    // 10 kB of quotes is no name: nothing to ask.
    d.text = std::string(10240, '"');
    find_places_typed(&d);
    EXPECT_EQ(0, find_places_busy());
    EXPECT_TRUE(d.matches.empty());
    find_places_stop();
    app_window.settings = nullptr;
}

}  // namespace
