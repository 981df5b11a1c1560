// Every receiver type driving the fix record through the serial link, with
// kivsim playing the receiver on the far side of a pseudo-terminal.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <thread>
#include <vector>

#include "position/garmin.h"
#include "position/nmea.h"
#include "position/sms.h"
#include "position/zodiac.h"
#include "tests/serial_test_support.h"

namespace {

// A working directory of its own, for kiv_pos.txt.
class TempDir {
public:
    TempDir() {
        char tmpl[] = "/tmp/kiv-serial-XXXXXX";
        path_ = mkdtemp(tmpl);
        char here[PATH_MAX];
        old_ = getcwd(here, sizeof here) ? here : "/";
        if (chdir(path_.c_str()) != 0) path_.clear();
    }
    ~TempDir() {
        if (chdir(old_.c_str()) != 0) return;
        if (!path_.empty()) std::system(("rm -rf '" + path_ + "'").c_str());
    }
    bool ok() const { return !path_.empty(); }

private:
    std::string path_, old_;
};

void write_last_position() {
    std::ofstream f("kiv_pos.txt");
    f << "N  45 25 00\nW  75 42 00\n";
}

class SerialDeviceTest : public SerialLinkTest {
protected:
    void SetUp() override {
        SerialLinkTest::SetUp();
        nmea_reset();
        zodiac_reset();
        garmin_reset();
        sms_reset();
    }
    void TearDown() override {
        SerialLinkTest::TearDown();
        sim_stop(&sim);
    }
    // kivsim with the given arguments; the link opens its pseudo-terminal.
    void connect(int deviceType, unsigned baud, std::vector<std::string> args) {
        // Playing starts once the link has opened the line: nothing is sent
        // before the open purges the queue.
        args.insert(args.end(), {"--duration", "30", "--wait-open"});
        ASSERT_TRUE(sim_start(&sim, args));
        s = link_settings(sim.path, deviceType, baud);
        ASSERT_EQ(serial_open(s.get()), 1);
    }
    bool fix_at(double lat, double lon) {
        return gps_fix_mode() > 0 && std::fabs(gps_latitude() - lat) < 1e-6 &&
               std::fabs(gps_longitude() - lon) < 1e-6;
    }
    SimProcess sim;
};

TEST_F(SerialDeviceTest, NmeaReceiverAt4800DrivesTheFix) {
    connect(DEVICE_NMEA, 4800,
            {"--mode", "nmea", "--waypoints", "48.1173,11.516667", "--speed", "0", "--start",
             "1994-03-23 12:35:19"});
    s->linkIdleTicks = 100;
    ASSERT_TRUE(wait_until([this] { return fix_at(48.1173, 11.516667) && gps_fix_mode() == 3; }, 5000));
    ASSERT_TRUE(wait_until([] { return gps_satellites_in_view() == 8; }, 3000));
    EXPECT_EQ(gps_utc_text().substr(0, 14), "1994/03/23 12:");
    EXPECT_EQ(s->linkIdleTicks.load(), 0);
    // At most one repaint per clock second: the next second brings one.
    EXPECT_TRUE(wait_until([] { return headless_repaints() >= 1; }, 3000));
}

TEST_F(SerialDeviceTest, NmeaThroughLineNoiseStillDrivesTheFix) {
    connect(DEVICE_USB_EARTHMATE, 4800,
            {"--mode", "nmea", "--waypoints", "-37.8,175.3", "--speed", "0", "--garbage", "--seed", "7"});
    EXPECT_TRUE(wait_until([this] { return fix_at(-37.8, 175.3); }, 6000));
}

TEST_F(SerialDeviceTest, KivsimOnOneEndOfASerialPairDrivesTheFixAtTheOther) {
    TempDir dir;
    ASSERT_TRUE(dir.ok());
    char here[PATH_MAX];
    ASSERT_NE(getcwd(here, sizeof here), nullptr);
    std::string a = std::string(here) + "/a", b = std::string(here) + "/b";
    pid_t socat = spawn_quiet({"socat", "pty,raw,echo=0,link=" + a, "pty,raw,echo=0,link=" + b});
    if (socat < 0) GTEST_SKIP() << "socat is not installed";
    bool ready = wait_until([&] { return access(a.c_str(), F_OK) == 0 && access(b.c_str(), F_OK) == 0; }, 5000);
    if (!ready) {
        stop_process(socat);
        GTEST_SKIP() << "socat did not create its pair";
    }
    ASSERT_TRUE(sim_start(&sim, {"--device", a, "--waypoints", "52.06,5.14", "--speed", "0", "--duration", "30"}));
    EXPECT_EQ(sim.path, a);
    s = link_settings(b, DEVICE_NMEA, 4800);
    ASSERT_EQ(serial_open(s.get()), 1);
    EXPECT_TRUE(wait_until([this] { return fix_at(52.06, 5.14); }, 5000));
    serial_close(s.get());
    sim_stop(&sim);
    stop_process(socat);
}

TEST_F(SerialDeviceTest, CaptureOverThePtyDecodesLikeTheDirectFeed) {
    std::string capture = std::string(KIV_TESTDATA_DIR) + "/receivers/haicom-305N.bin";
    std::ifstream in(capture, std::ios::binary);
    if (!in) GTEST_SKIP() << "no receiver captures at " << capture;
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    nmea_feed(bytes.data(), static_cast<int>(bytes.size()));
    double lat = gps_latitude(), lon = gps_longitude();
    std::string utc = gps_utc_text(), last = gps_last_message();
    ASSERT_NE(lat, 0.0);
    nmea_reset();
    gps_reset();

    connect(DEVICE_NMEA, 4800,
            {"--mode", "replay", "--file", capture, "--baud", "230400", "--once", "--wait-open"});
    // kivsim ends after the capture: everything before the hang-up counts.
    ASSERT_EQ(sim_wait_exit(&sim, 10000), 0);
    ASSERT_TRUE(wait_until([this] { return serial_link_lost(s.get()) == 1; }, 5000));
    EXPECT_EQ(gps_latitude(), lat);
    EXPECT_EQ(gps_longitude(), lon);
    EXPECT_EQ(gps_utc_text(), utc);
    EXPECT_EQ(gps_last_message(), last);
}

TEST_F(SerialDeviceTest, TripMateHandshakeThenFix) {
    TempDir dir;
    ASSERT_TRUE(dir.ok());
    write_last_position();
    connect(DEVICE_TRIPMATE, 4800, {"--mode", "tripmate", "--waypoints", "45.5,-75.5", "--speed", "0"});
    ASSERT_TRUE(sim_wait_line(&sim, "rx: $PRWIINIT", 8000));
    EXPECT_EQ(sim_count_lines(&sim, "rx: $IIGPQ,ASTRAL*73"), 2);
    EXPECT_EQ(sim_line_with(&sim, "rx: $PRWIINIT").rfind(
                  "rx: $PRWIINIT,V,,, 45 25 00,N, 75 42 00,W,100.0,0.0,M,0.0,T,", 0),
              0u);
    EXPECT_TRUE(wait_until([this] { return fix_at(45.5, -75.5); }, 5000));
}

TEST_F(SerialDeviceTest, EarthMateGreetingInitialisationAndFix) {
    TempDir dir;
    ASSERT_TRUE(dir.ok());
    write_last_position();
    connect(DEVICE_EARTHMATE, 9600, {"--mode", "earthmate", "--waypoints", "45.3,-75.9", "--speed", "0"});
    ASSERT_TRUE(sim_wait_line(&sim, "rx: EARTHA", 5000));
    ASSERT_TRUE(sim_wait_line(&sim, "rx: zodiac 1200", 5000));
    std::string init = sim_line_with(&sim, "rx: zodiac 1200");
    EXPECT_NE(init.find("lat=79267036 lon=-132121424"), std::string::npos) << init;
    EXPECT_TRUE(wait_until([this] { return fix_at(45.3, -75.9) && gps_fix_mode() == 3; }, 5000));
    ASSERT_TRUE(wait_until([] { return gps_sat_used(7) == 1; }, 3000));
    EXPECT_EQ(gps_sat_prn(0), 2);
    EXPECT_EQ(gps_sat_snr(0), 42);
    EXPECT_EQ(gps_satellites_in_view(), 8);
    // Further frames send nothing more: wait for two more epochs.
    for (int epoch = 0; epoch < 2; epoch++) {
        std::string utc = gps_utc_text();
        ASSERT_TRUE(wait_until([&utc] { return gps_utc_text() != utc; }, 3000));
    }
    sim_wait_line(&sim, "never printed", 200);
    EXPECT_EQ(sim_count_lines(&sim, "rx: EARTHA"), 1);
    EXPECT_EQ(sim_count_lines(&sim, "rx: zodiac 1200"), 1);
}

TEST_F(SerialDeviceTest, GarminAnswersPollsAndTheFixAgesWhenItFallsSilent) {
    connect(DEVICE_GARMIN, 9600,
            {"--mode", "garmin", "--waypoints", "45,-75", "--speed", "0", "--start", "2006-12-31 23:30:00",
             "--silent-after", "3", "--wait-open"});
    // The timer's polls, faster than its 500 ms but slow enough for 9600 baud.
    bool fixed = wait_until([this] {
        garmin_poll();
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        return fix_at(45, -75) && gps_fix_mode() == 3 && gps_utc_text().rfind("2006/12/31 23:3", 0) == 0;
    }, 2800);
    ASSERT_TRUE(fixed);
    EXPECT_GE(sim_count_lines(&sim, "rx: garmin request position"), 1);
    EXPECT_GE(sim_count_lines(&sim, "rx: garmin request time"), 1);

    // No polls until it has fallen silent and the last answer is in.
    ASSERT_TRUE(sim_wait_line(&sim, "silent", 5000));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ASSERT_EQ(gps_fix_mode(), 3);
    std::vector<int> modes = {3};
    for (int i = 0; i < 8; i++) {
        garmin_poll();
        if (gps_fix_mode() != modes.back()) modes.push_back(gps_fix_mode());
    }
    EXPECT_EQ(modes, (std::vector<int>{3, 2, 1, 0}));
}

TEST_F(SerialDeviceTest, PhoneMessagesWithRmcDriveTheFix) {
    connect(DEVICE_SMS, 9600,
            {"--mode", "phone", "--waypoints", "45.25,-75.25", "--speed", "0", "--start",
             "2007-04-08 09:53:05"});
    sms_reset();
    bool fixed = wait_until([this] {
        sms_poll();
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        return fix_at(45.25, -75.25) && gps_utc_text().rfind("2007/04/08 09:5", 0) == 0;
    }, 6000);
    EXPECT_TRUE(fixed);
    EXPECT_GE(sim_count_lines(&sim, "rx: AT+CMGF=1"), 1);
    EXPECT_GE(sim_count_lines(&sim, "rx: AT+CMGL=\"REC UNREAD\""), 1);
}

TEST_F(SerialDeviceTest, PhoneThatNeverAnswersIsAskedAgainAfterTheWait) {
    connect(DEVICE_SMS, 9600, {"--mode", "phone", "--silent-after", "0"});
    sms_reset();
    for (int tick = 0; tick < 15; tick++) {
        sms_poll();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_TRUE(sim_wait_line(&sim, "rx: AT+CMGF=1", 3000));
    wait_until([this] { return sim_count_lines(&sim, "rx: AT+CMGF=1") >= 2; }, 3000);
    EXPECT_EQ(sim_count_lines(&sim, "rx: AT+CMGF=1"), 2);
    EXPECT_EQ(sim_count_lines(&sim, "CMGL"), 0);
    EXPECT_EQ(gps_fix_mode(), 0);
}

}  // namespace
