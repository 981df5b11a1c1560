// The background sheet queue with download doubles that block until the
// test lets them go: one download per sheet, the newest waiting request
// wins, failures back off, and stopping cuts the transfer short and waits
// for the worker.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "maps/sheet_dispatch.h"
#include "maps/sheet_fetch_queue.h"
#include "settings/app_settings.h"

namespace {

struct Gate {
    std::mutex lock;
    std::condition_variable cv;
    bool open = false;
    Result result;
    std::vector<double> asked;         // latitudes, in the order fetched
    int running = 0;
    std::vector<int> cancels;          // the downloads' cancel calls since the start
};
Gate gate;

Result blockedDownload(double lat, double, int, const AppSettings* s, char* out, int, int, int) {
    std::unique_lock<std::mutex> g(gate.lock);
    gate.asked.push_back(lat);
    gate.running++;
    gate.cv.notify_all();
    // A transfer that leaves its temporary file behind until it returns.
    std::string temp = "tmp_map." + std::to_string(static_cast<long>(getpid())) + ".0.htm";
    if (FILE* f = fopen(temp.c_str(), "w")) fclose(f);
    gate.cv.wait_for(g, std::chrono::seconds(10), [] { return gate.open; });
    unlink(temp.c_str());
    std::string name = s->mapsDir + std::string("sheet_") + std::to_string(static_cast<int>(lat));
    snprintf(out, SHEET_PATH_MAX, "%s", name.c_str());
    gate.running--;
    gate.cv.notify_all();
    return gate.result;
}

void cancelDownloads(int cancel) {
    std::lock_guard<std::mutex> g(gate.lock);
    gate.cancels.push_back(cancel);
    if (cancel) gate.open = true;
    gate.cv.notify_all();
}

void openGate() {
    std::lock_guard<std::mutex> g(gate.lock);
    gate.open = true;
    gate.cv.notify_all();
}

bool waitRunning(int n) {
    std::unique_lock<std::mutex> g(gate.lock);
    return gate.cv.wait_for(g, std::chrono::seconds(10), [n] { return gate.running == n; });
}

SheetFetchRequest sheetAt(double lat) { return SheetFetchRequest{lat, -75.0, 2, 0, 0, 0, 0, 0}; }

std::vector<SheetFetchDone> takeAll(size_t want) {
    std::vector<SheetFetchDone> out;
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    SheetFetchDone d;
    while (out.size() < want && std::chrono::steady_clock::now() < end) {
        if (sheet_fetch_take(&d)) out.push_back(d);
        else std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return out;
}

class SheetFetchQueueTest : public ::testing::Test {
protected:
    AppSettings* settings = new AppSettings{};
    void SetUp() override {
        { std::lock_guard<std::mutex> g(gate.lock); gate.open = false; gate.result = result_ok(); gate.asked.clear(); }
        SheetDownloadHooks hooks{blockedDownload, nullptr, cancelDownloads, nullptr};
        sheet_fetch_start(&hooks, settings, nullptr);
        std::lock_guard<std::mutex> g(gate.lock);
        gate.cancels.clear();
    }
    void TearDown() override {
        openGate();
        sheet_fetch_stop();
        delete settings;
    }
};

}  // namespace

TEST_F(SheetFetchQueueTest, OneDownloadPerSheetAndTheNewestWaitingRequestWins) {
    SheetFetchRequest a = sheetAt(45), b = sheetAt(46), c = sheetAt(47);
    ASSERT_EQ(SHEET_FETCH_QUEUED, sheet_fetch_request(&a));
    ASSERT_TRUE(waitRunning(1));
    EXPECT_EQ(SHEET_FETCH_ALREADY, sheet_fetch_request(&a));
    EXPECT_EQ(SHEET_FETCH_QUEUED, sheet_fetch_request(&b));
    EXPECT_EQ(SHEET_FETCH_ALREADY, sheet_fetch_request(&b));
    EXPECT_EQ(SHEET_FETCH_QUEUED, sheet_fetch_request(&c));   // b is dropped
    SheetFetchRequest current;
    ASSERT_EQ(1, sheet_fetch_current(&current));
    EXPECT_TRUE(sheet_fetch_same(&a, &current));
    openGate();
    auto done = takeAll(2);
    ASSERT_EQ(2u, done.size());
    EXPECT_EQ(45, done[0].request.lat);
    EXPECT_EQ(47, done[1].request.lat);
    EXPECT_EQ(1, done[1].ok);
    EXPECT_STREQ("sheet_47", done[1].path);
    EXPECT_EQ((std::vector<double>{45, 47}), gate.asked);
    EXPECT_EQ(0, sheet_fetch_current(&current));
}

TEST_F(SheetFetchQueueTest, AFailedSheetBacksOffInsteadOfBeingAskedAtEveryTick) {
    gate.result = result_fail("The map server cannot be reached");
    openGate();
    SheetFetchRequest a = sheetAt(45);
    ASSERT_EQ(SHEET_FETCH_QUEUED, sheet_fetch_request(&a));
    auto done = takeAll(1);
    ASSERT_EQ(1u, done.size());
    EXPECT_EQ(0, done[0].ok);
    EXPECT_STREQ("The map server cannot be reached", done[0].reason);
    for (int tick = 0; tick < 5; tick++) EXPECT_EQ(SHEET_FETCH_BACKING_OFF, sheet_fetch_request(&a));
    EXPECT_EQ(1u, gate.asked.size());
    // Another sheet is not held up, and a reload asks at once.
    SheetFetchRequest b = sheetAt(46);
    EXPECT_EQ(SHEET_FETCH_QUEUED, sheet_fetch_request(&b));
    const int waits[] = {0, 1, 2, 4, 8, 16, 32, 60, 60};
    for (int n = 0; n < 9; n++) EXPECT_EQ(waits[n], sheet_fetch_backoff_seconds(n)) << n;
}

// Exit: the settings record is freed while a transfer runs; stop cuts it
// short, leaves the cancel set and returns once the worker has ended (it
// used its own copy of the record; the sanitizer build sees any read of
// the freed one).
TEST_F(SheetFetchQueueTest, StopCutsTheTransferShortAndJoinsAWorkerThatOutlivesTheSettings) {
    snprintf(settings->mapsDir, sizeof settings->mapsDir, "maps/");
    SheetFetchRequest a = sheetAt(45);
    ASSERT_EQ(SHEET_FETCH_QUEUED, sheet_fetch_request(&a));
    ASSERT_TRUE(waitRunning(1));
    std::string temp = "tmp_map." + std::to_string(static_cast<long>(getpid())) + ".0.htm";
    ASSERT_EQ(0, access(temp.c_str(), F_OK));
    delete settings;
    settings = nullptr;
    sheet_fetch_stop();
    EXPECT_EQ(0, gate.running);
    EXPECT_EQ(std::vector<int>{1}, gate.cancels);
    EXPECT_NE(0, access(temp.c_str(), F_OK));
    SheetFetchRequest b = sheetAt(46);
    EXPECT_EQ(SHEET_FETCH_STOPPED, sheet_fetch_request(&b));
}

// The view's list waits behind the transfer under way; a newer list
// replaces it, so the sheets the view left are not fetched.
TEST_F(SheetFetchQueueTest, TheViewsListIsFetchedInItsOrderAndANewerOneReplacesIt) {
    SheetFetchRequest a = sheetAt(45);
    ASSERT_EQ(SHEET_FETCH_QUEUED, sheet_fetch_request(&a));
    ASSERT_TRUE(waitRunning(1));
    SheetFetchRequest before[] = {sheetAt(50), sheetAt(51), sheetAt(52)};
    SheetFetchRequest after[] = {sheetAt(52), sheetAt(45), sheetAt(53)};
    int results[3];
    sheet_fetch_view(before, 3, results);
    sheet_fetch_view(after, 3, results);
    EXPECT_EQ((std::vector<int>{SHEET_FETCH_QUEUED, SHEET_FETCH_ALREADY, SHEET_FETCH_QUEUED}),
              std::vector<int>(results, results + 3));
    openGate();
    ASSERT_EQ(3u, takeAll(3).size());
    EXPECT_EQ((std::vector<double>{45, 52, 53}), gate.asked);
}
