// Rewriting kiv_com.txt, kiv_dev.txt and kiv_pos.txt: formats, round trips,
// and whole-file replacement that a dying writer cannot leave half done.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <random>
#include <string>
#include <thread>

#include "settings/app_settings.h"
#include "settings/atomic_file.h"
#include "settings/com_file.h"
#include "settings/dev_file.h"
#include "settings/device_table.h"
#include "settings/pos_file.h"
#include "settings/program_settings.h"
#include "settings_fixture.h"

namespace {
class SettingsWrite : public SettingsDir {};

// Runs body in a child process and returns its wait status.
template <class F>
int in_child(F body) {
    pid_t pid = fork();
    if (pid == 0) _exit(body());
    int status = 0;
    waitpid(pid, &status, 0);
    return status;
}

void limit_file_size(rlim_t bytes) {
    struct rlimit r = {bytes, bytes};
    setrlimit(RLIMIT_FSIZE, &r);
}
}  // namespace

TEST_F(SettingsWrite, ComFileFormatAndRoundTrip) {
    AppSettings s{};
    s.comPort = 5;
    s.bigMaps = 1;
    ASSERT_EQ(settings_write_com(&s), 1);
    EXPECT_EQ(get("kiv_com.txt"), "COM5\nBig\n");
    s.comPort = 0;
    s.bigMaps = 0;
    ASSERT_EQ(settings_write_com(&s), 1);
    EXPECT_EQ(get("kiv_com.txt"), "COM0\nSmall\n");
    AppSettings r{};
    r.comPort = 1;
    r.bigMaps = 1;
    settings_read_com(&r);
    EXPECT_EQ(r.comPort, 0);
    EXPECT_EQ(r.bigMaps, 0);
    EXPECT_EQ(count_entries(), 1);  // no temporary left beside it
}

TEST_F(SettingsWrite, DevFileRoundTripForEveryDevice) {
    for (int t = DEVICE_FIRST; t <= DEVICE_LAST; ++t) {
        ASSERT_EQ(settings_write_dev(t), 1);
        EXPECT_EQ(get("kiv_dev.txt"), std::string(device_name(t)) + "\n");
        AppSettings s{};
        settings_read_dev(&s);
        EXPECT_EQ(s.deviceType, t);
        EXPECT_EQ(s.baudRate, device_baud_rate(t));
    }
    EXPECT_EQ(settings_write_dev(0), 0);
    EXPECT_EQ(settings_write_dev(8), 0);
    EXPECT_EQ(get("kiv_dev.txt"), "REMOTE\n");
}

TEST_F(SettingsWrite, PosFileFormat) {
    struct Case {
        double lat, lon;
        const char* text;
    } cases[] = {
        {45.0 + 25.0 / 60.0, -(75.0 + 42.0 / 60.0), "N  45 25 00\nW  75 42 00\n"},
        {-33.867778, 151.2075, "S  33 52 04\nE 151 12 27\n"},
        {0.0, 0.0, "S   0 00 00\nW   0 00 00\n"},
        {45.0, -75.0, "N  45 00 00\nW  75 00 00\n"},
        // Float noise just below a whole degree is that degree.
        {44.99999999, -74.99999999, "N  45 00 00\nW  75 00 00\n"},
        // A real position just below a whole degree keeps its degree: never
        // 45 59 59, a whole degree off.
        {44.99999, -74.99999, "N  44 59 59\nW  74 59 59\n"},
        {12.5 + 59.999 / 3600.0, 1.0 / 3600.0, "N  12 30 59\nE   0 00 01\n"},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(settings_write_pos(c.lat, c.lon), 1);
        EXPECT_EQ(get("kiv_pos.txt"), c.text) << c.lat << " " << c.lon;
    }
}

TEST_F(SettingsWrite, PosFileRoundTripWithinOneSecond) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> lat(-89.9, 89.9), lon(-179.9, 179.9);
    for (int i = 0; i < 40; ++i) {
        double a = lat(rng), b = lon(rng);
        ASSERT_EQ(settings_write_pos(a, b), 1);
        ProgramSettings p;
        settings_program_defaults(&p);
        settings_read_start_position(&p);
        EXPECT_NEAR(p.startLatitude, a, 1.0 / 3600.0 + 1e-9);
        EXPECT_NEAR(p.startLongitude, b, 1.0 / 3600.0 + 1e-9);
        // Truncation never rounds away from zero.
        EXPECT_LE(std::fabs(p.startLatitude), std::fabs(a) + 2e-7);
    }
}

TEST(SettingsDms, SplitIsConsistent) {
    int d, m, s;
    settings_dms_split(45.0 + 25.0 / 60.0, &d, &m, &s);
    EXPECT_EQ(d * 10000 + m * 100 + s, 452500);
    settings_dms_split(-75.7, &d, &m, &s);
    EXPECT_EQ(d * 10000 + m * 100 + s, 754200);
    for (double v = 0.0; v < 3.0; v += 0.0000317) {
        settings_dms_split(v, &d, &m, &s);
        ASSERT_GE(m, 0);
        ASSERT_LT(m, 60);
        ASSERT_GE(s, 0);
        ASSERT_LT(s, 60);
        double back = d + m / 60.0 + s / 3600.0;
        ASSERT_LE(back, v + 2e-7) << v;
        ASSERT_GT(back, v - 1.0 / 3600.0) << v;
    }
}

TEST_F(SettingsWrite, AtomicWriteReplacesWholeFile) {
    put("f.txt", std::string(5000, 'a'));
    ASSERT_EQ(write_file_atomically("f.txt", "short\n", 6), 1);
    EXPECT_EQ(get("f.txt"), "short\n");
    ASSERT_EQ(write_file_atomically("f.txt", "", 0), 1);
    EXPECT_EQ(get("f.txt"), "");
    ASSERT_EQ(std::filesystem::create_directory("sub"), true);
    ASSERT_EQ(write_file_atomically("sub/g.txt", "in a folder\n", 12), 1);
    EXPECT_EQ(get("sub/g.txt"), "in a folder\n");
    EXPECT_EQ(count_entries(), 2);
}

TEST_F(SettingsWrite, FailedWriteKeepsOldFileAndLeavesNoTemporary) {
    EXPECT_EQ(write_file_atomically("missing/f.txt", "x", 1), 0);
    // A folder where the file should be: the rename fails.
    ASSERT_TRUE(std::filesystem::create_directory("kiv_dev.txt"));
    EXPECT_EQ(settings_write_dev(DEVICE_NMEA), 0);
    EXPECT_TRUE(std::filesystem::is_directory("kiv_dev.txt"));
    EXPECT_EQ(count_entries(), 1);
    EXPECT_EQ(write_file_atomically("", "x", 1), 0);
    EXPECT_EQ(write_file_atomically("dir/", "x", 1), 0);
}

TEST_F(SettingsWrite, WriteCutShortByFileSizeLimitKeepsOldFile) {
    put("kiv_com.txt", "COM1\nBig\n");
    // The file size limit makes the write fail after 4 bytes (as a full disk would).
    int status = in_child([] {
        signal(SIGXFSZ, SIG_IGN);
        limit_file_size(4);
        AppSettings s{};
        s.comPort = 9;
        return settings_write_com(&s);
    });
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);  // reported as not written
    EXPECT_EQ(get("kiv_com.txt"), "COM1\nBig\n");
    EXPECT_EQ(count_entries(), 1);
}

TEST_F(SettingsWrite, WriterKilledMidWriteKeepsOldFile) {
    put("kiv_pos.txt", "N  45 25 00\nW  75 42 00\n");
    // SIGXFSZ's default action kills the writer in the middle of the file.
    int status = in_child([] {
        limit_file_size(7);
        return settings_write_pos(-33.5, 151.25);
    });
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(WTERMSIG(status), SIGXFSZ);
    EXPECT_EQ(get("kiv_pos.txt"), "N  45 25 00\nW  75 42 00\n");
}

TEST_F(SettingsWrite, RandomlyKilledWriterNeverLeavesAPartialFile) {
    const std::string small = "COM1\nBig\n", large = "COM9\nSmall\n";
    put("kiv_com.txt", small);
    std::mt19937 rng(12345);
    std::uniform_int_distribution<int> delay_us(0, 3000);
    int changed = 0;
    for (int round = 0; round < 40; ++round) {
        pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            AppSettings s{};
            for (unsigned i = 0;; ++i) {
                s.comPort = i % 2 ? 1 : 9;
                s.bigMaps = i % 2;
                settings_write_com(&s);
            }
        }
        usleep(static_cast<useconds_t>(delay_us(rng)));
        kill(pid, SIGKILL);
        int status = 0;
        waitpid(pid, &status, 0);
        std::string now = get("kiv_com.txt");
        ASSERT_TRUE(now == small || now == large) << "round " << round << ": \"" << now << "\"";
        changed += now == large;
        AppSettings r{};
        settings_read_com(&r);
        ASSERT_TRUE(r.comPort == 1 || r.comPort == 9);
    }
    (void)changed;  // how often the kill fell between versions is up to the scheduler
}

TEST_F(SettingsWrite, ConcurrentWritersEachLeaveAWholeVersion) {
    auto writer = [](int port) {
        AppSettings s{};
        s.comPort = static_cast<uint8_t>(port);
        int ok = 1;
        for (int i = 0; i < 100; ++i) ok &= settings_write_com(&s);
        return ok;
    };
    int ok1 = 0, ok2 = 0;
    std::thread a([&] { ok1 = writer(2); }), b([&] { ok2 = writer(3); });
    a.join();
    b.join();
    EXPECT_EQ(ok1, 1);
    EXPECT_EQ(ok2, 1);
    std::string now = get("kiv_com.txt");
    EXPECT_TRUE(now == "COM2\nSmall\n" || now == "COM3\nSmall\n") << now;
    EXPECT_EQ(count_entries(), 1);
}
