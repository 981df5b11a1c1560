// The serial link over real pseudo-terminals: opening and closing with the
// menu states, line settings, reading in chunks, writing with time-outs,
// a device that goes away, a reader that does not end, and REMOTE hooks.
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <ctime>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "app/commands_link.h"
#include "app/port_diagnostics.h"
#include "position/receiver_io.h"
#include "position/serial_speed.h"
#include "tests/serial_test_support.h"

namespace {

std::mutex chunk_lock;
std::vector<std::pair<int, std::string>> chunks;
std::atomic<int> block_reader{0};
std::atomic<int> reader_blocked{0};
std::mutex gate_lock;
std::condition_variable gate;

void record_chunk(int device, const char* bytes, int count) {
    {
        std::lock_guard<std::mutex> g(chunk_lock);
        chunks.emplace_back(device, std::string(bytes, static_cast<size_t>(count)));
    }
    if (block_reader.load()) {
        reader_blocked = 1;
        std::unique_lock<std::mutex> g(gate_lock);
        gate.wait(g, [] { return block_reader.load() == 0; });
    }
}

void clear_chunks() {
    std::lock_guard<std::mutex> g(chunk_lock);
    chunks.clear();
}

std::string received() {
    std::lock_guard<std::mutex> g(chunk_lock);
    std::string all;
    for (auto& c : chunks) all += c.second;
    return all;
}

std::vector<std::pair<int, std::string>> chunk_list() {
    std::lock_guard<std::mutex> g(chunk_lock);
    return chunks;
}

int calls(const char* what) { return static_cast<int>(headless_calls_of(what).size()); }

constexpr int kDropDevice = 99;   // the decoders drop bytes of unknown devices

class SerialPtyTest : public SerialLinkTest {
protected:
    void SetUp() override {
        SerialLinkTest::SetUp();
        clear_chunks();
        block_reader = 0;
        reader_blocked = 0;
        ASSERT_TRUE(pty_open(&pty));
        s = link_settings(pty.path, kDropDevice, 4800);
        serial_set_chunk_observer(record_chunk);
    }
    void TearDown() override {
        {
            std::lock_guard<std::mutex> g(gate_lock);
            block_reader = 0;
        }
        gate.notify_all();
        SerialLinkTest::TearDown();
        pty_close(&pty);
    }
    TestPty pty;
};

TEST_F(SerialPtyTest, OpenAndCloseSwapTheMenuItemsAndTheLinkState) {
    ASSERT_EQ(link_open_or_warn(s.get()), 1);
    EXPECT_EQ(s->connected.load(), 1);
    EXPECT_GE(s->commHandle, 0);
    EXPECT_NE(s->readerThreadId.load(), 0u);
    EXPECT_EQ(headless_menu_enabled(MENU_CONNECT), 0);
    EXPECT_EQ(headless_menu_enabled(MENU_DISCONNECT), 1);
    auto cursor = headless_calls_of("busy_cursor");
    ASSERT_EQ(cursor.size(), 2u);
    EXPECT_EQ(cursor.back().a, 0);

    EXPECT_EQ(link_close(s.get()), 1);
    EXPECT_EQ(s->connected.load(), 0);
    EXPECT_EQ(s->commHandle, -1);
    EXPECT_EQ(s->readerThreadId.load(), 0u);
    EXPECT_FALSE(s->readerThread.joinable());
    EXPECT_EQ(headless_menu_enabled(MENU_CONNECT), 1);
    EXPECT_EQ(headless_menu_enabled(MENU_DISCONNECT), 0);
    // Closing a closed link returns at once and changes nothing.
    int before = calls("menu_enable");
    EXPECT_EQ(link_close(s.get()), 1);
    EXPECT_EQ(calls("menu_enable"), before);
    // The port is free again.
    EXPECT_EQ(serial_open(s.get()), 1);
}

TEST_F(SerialPtyTest, MissingOrUnusablePortFailsCleanly) {
    // A device not plugged in yet is looked for, as after an unplug.
    snprintf(s->comPath[3], sizeof s->comPath[3], "/dev/kiv-no-such-port");
    EXPECT_EQ(serial_open(s.get()), 1);
    serial_close(s.get());
    headless_reset();
    char file[] = "/tmp/kiv-serial-notatty-XXXXXX";
    int fd = mkstemp(file);
    ASSERT_GE(fd, 0);
    close(fd);
    snprintf(s->comPath[3], sizeof s->comPath[3], "%s", file);
    EXPECT_EQ(link_open_or_warn(s.get()), 0);   // a plain file is no serial port
    unlink(file);
    s->comPort = 0;
    s->comPath[0][0] = 0;
    EXPECT_EQ(link_open_or_warn(s.get()), 0);
    EXPECT_EQ(s->connected.load(), 0);
    EXPECT_EQ(s->commHandle, -1);
    EXPECT_EQ(calls("menu_enable"), 0);   // Connect stays enabled
    EXPECT_EQ(headless_calls_of("busy_cursor").back().a, 0);
    // Nothing is written while closed.
    EXPECT_EQ(serial_write(s.get(), "AT\r\n", 4), 0);
    EXPECT_EQ(receiver_write("AT\r\n", 4), 0);
}

// The holder is named, and the port taken by itself once the holder exits.
TEST_F(SerialPtyTest, PortHeldByAnotherProgramIsNamedAndTakenOnceFree) {
    pid_t holder = spawn_quiet({"sh", "-c", "exec sleep 600 <" + pty.path});
    const std::string fd0 = "/proc/" + std::to_string(holder) + "/fd/0";
    char link[256] = {};
    // The shell opens the port before it becomes sleep: wait for both.
    const std::string comm = "/proc/" + std::to_string(holder) + "/comm";
    auto isSleep = [&comm] {
        char name[32] = {};
        FILE* f = fopen(comm.c_str(), "r");
        bool yes = f && fgets(name, sizeof name, f) && std::string(name) == "sleep\n";
        if (f) fclose(f);
        return yes;
    };
    ASSERT_TRUE(wait_until(
        [&] { return readlink(fd0.c_str(), link, sizeof link - 1) > 0 && pty.path == link && isSleep(); }, 5000));
    ASSERT_EQ(serial_open(s.get()), 1);
    char path[256], advice[1024];
    ASSERT_EQ(serial_open_failure(path, sizeof path), EBUSY);
    port_describe_failure(EBUSY, path, "/proc", "/dev", advice, sizeof advice);
    EXPECT_NE(std::string(advice).find("in use by sleep (process " + std::to_string(holder) + ")"), std::string::npos)
        << advice;
    char title[64], message[512];
    int lost = 0;
    ASSERT_TRUE(wait_until([&] {
        serial_link_status(s.get(), &lost, title, sizeof title, message, sizeof message);
        return std::string(title) == "GPS port busy, trying again";
    }, 5000));
    EXPECT_EQ(s->commHandle, -1);
    stop_process(holder);
    EXPECT_TRUE(wait_until([&] { return s->commHandle >= 0; }, 5000));
}

TEST_F(SerialPtyTest, UnsupportedSettingsFailTheOpenAndReleaseThePort) {
    s->dataBits = 9;
    EXPECT_EQ(serial_open(s.get()), 0);
    s->dataBits = 8;
    EXPECT_EQ(serial_open(s.get()), 1);
}

TEST_F(SerialPtyTest, ConfigureAppliesLineSettingsOrKeepsThePreviousOnes) {
    EXPECT_EQ(serial_configure(s.get()), 0);   // not connected
    ASSERT_EQ(serial_open(s.get()), 1);
    termios t;
    ASSERT_EQ(tcgetattr(s->commHandle, &t), 0);
    EXPECT_EQ(cfgetospeed(&t), B4800);
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG), 0u);
    EXPECT_EQ(t.c_oflag & OPOST, 0u);
    EXPECT_EQ(t.c_cflag & CRTSCTS, 0u);
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF), 0u);

    s->baudRate = 9600;
    s->parity = 1;
    s->stopBits = 2;
    s->flowControl = 2 | 4;
    ASSERT_EQ(serial_configure(s.get()), 1);
    ASSERT_EQ(tcgetattr(s->commHandle, &t), 0);
    EXPECT_EQ(cfgetospeed(&t), B9600);
    EXPECT_EQ(cfgetispeed(&t), B9600);
    EXPECT_NE(t.c_cflag & PARODD, 0u);
    EXPECT_NE(t.c_cflag & CSTOPB, 0u);
    EXPECT_NE(t.c_cflag & CRTSCTS, 0u);
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF), static_cast<tcflag_t>(IXON | IXOFF));
    EXPECT_EQ(t.c_cc[VSTART], 0x11);
    EXPECT_EQ(t.c_cc[VSTOP], 0x13);

    s->parity = 3;   // mark
    ASSERT_EQ(serial_configure(s.get()), 1);
    ASSERT_EQ(tcgetattr(s->commHandle, &t), 0);
    EXPECT_NE(t.c_cflag & CMSPAR, 0u);
    EXPECT_NE(t.c_cflag & PARODD, 0u);
    s->parity = 4;   // space
    s->stopBits = 1; // one and a half goes out as two
    ASSERT_EQ(serial_configure(s.get()), 1);
    ASSERT_EQ(tcgetattr(s->commHandle, &t), 0);
    EXPECT_NE(t.c_cflag & CMSPAR, 0u);
    EXPECT_EQ(t.c_cflag & PARODD, 0u);
    EXPECT_NE(t.c_cflag & CSTOPB, 0u);

    // Refused settings leave the port as it was.
    s->parity = 5;
    EXPECT_EQ(serial_configure(s.get()), 0);
    s->parity = 0;
    s->dataBits = 4;
    EXPECT_EQ(serial_configure(s.get()), 0);
    ASSERT_EQ(tcgetattr(s->commHandle, &t), 0);
    EXPECT_EQ(cfgetospeed(&t), B9600);
    EXPECT_NE(t.c_cflag & CMSPAR, 0u);
    EXPECT_EQ(s->connected.load(), 1);
}

TEST_F(SerialPtyTest, RatesWithoutATermiosConstantAreSetThroughTermios2) {
    // The COM dialog offers these; a pseudo-terminal keeps any rate it is given.
    s->baudRate = 14400;
    ASSERT_EQ(serial_open(s.get()), 1);
    EXPECT_EQ(serial_speed_get(s->commHandle), 14400u);
    for (uint32_t rate : {56000u, 128000u, 256000u, 57600u}) {
        s->baudRate = rate;
        EXPECT_EQ(serial_configure(s.get()), 1) << rate;
        EXPECT_EQ(serial_speed_get(s->commHandle), rate);
    }
}

TEST_F(SerialPtyTest, BurstReachesTheDecoderInOrderInChunksOfAtMost80) {
    ASSERT_EQ(serial_open(s.get()), 1);
    s->linkIdleTicks = 57;
    std::string burst;
    for (int i = 0; i < 200; i++) burst += static_cast<char>(i);
    pty_write(&pty, burst);
    ASSERT_TRUE(wait_until([] { return received().size() >= 200; }, 5000));
    EXPECT_EQ(received(), burst);
    for (auto& c : chunk_list()) {
        EXPECT_LE(c.second.size(), 80u);
        EXPECT_EQ(c.first, kDropDevice);
    }
    EXPECT_EQ(s->linkIdleTicks.load(), 0);

    // The device type is read afresh for every chunk.
    std::atomic_ref<int32_t>(s->deviceType).store(DEVICE_NMEA);
    pty_write(&pty, "hello\r\n");
    ASSERT_TRUE(wait_until([] { return received().size() >= 207; }, 5000));
    EXPECT_EQ(chunk_list().back().first, DEVICE_NMEA);
}

TEST_F(SerialPtyTest, RepaintsAtMostOncePerClockSecond) {
    int64_t second = static_cast<int64_t>(time(nullptr)) + 1000000;
    headless_set_clock(second);
    ASSERT_EQ(serial_open(s.get()), 1);
    for (int i = 1; i <= 3; i++) {
        pty_write(&pty, "abc");
        ASSERT_TRUE(wait_until([i] { return received().size() >= 3u * i; }, 5000));
    }
    EXPECT_EQ(calls("repaint_and_wait"), 1);
    headless_advance_clock(1);
    pty_write(&pty, "d");
    ASSERT_TRUE(wait_until([] { return received().size() >= 10; }, 5000));
    EXPECT_EQ(calls("repaint_and_wait"), 2);
    // A clock set back does not stop the repaints.
    headless_set_clock(second - 3600);
    pty_write(&pty, "e");
    ASSERT_TRUE(wait_until([] { return received().size() >= 11; }, 5000));
    EXPECT_EQ(calls("repaint_and_wait"), 3);
}

TEST_F(SerialPtyTest, WritesReachTheFarSideThroughTheLinkAndTheDecoderHook) {
    ASSERT_EQ(serial_open(s.get()), 1);
    EXPECT_EQ(serial_write(s.get(), "AT+CMGF=1\r\n", 11), 1);
    EXPECT_EQ(pty_read(&pty, 11, 3000), "AT+CMGF=1\r\n");
    EXPECT_EQ(receiver_write("$IIGPQ,ASTRAL*73\r\n", 18), 1);
    EXPECT_EQ(pty_read(&pty, 18, 3000), "$IIGPQ,ASTRAL*73\r\n");

    // Writers on two threads: every write arrives whole.
    auto writer = [this](char letter) {
        std::string block(40, letter);
        for (int i = 0; i < 50; i++) serial_write(s.get(), block.data(), 40);
    };
    std::thread a(writer, 'A'), b(writer, 'B');
    std::string all = pty_read(&pty, 4000, 10000);
    a.join();
    b.join();
    ASSERT_EQ(all.size(), 4000u);
    for (size_t i = 0; i < all.size(); i += 40)
        EXPECT_EQ(all.substr(i, 40), std::string(40, all[i])) << "at " << i;

    serial_close(s.get());
    EXPECT_EQ(serial_write(s.get(), "x", 1), 0);
    EXPECT_EQ(receiver_write("x", 1), 0);
}

TEST_F(SerialPtyTest, WritesToAFarSideThatDoesNotReadReturn) {
    s->baudRate = 19200;   // 1 ms per byte
    ASSERT_EQ(serial_open(s.get()), 1);
    // Fill the queue towards the far side (the slave held open here shares it).
    fcntl(pty.slave, F_SETFL, fcntl(pty.slave, F_GETFL) | O_NONBLOCK);
    std::string block(4096, 'x');
    long filled = 0;
    for (int round = 0; round < 1000; round++) {
        // The far side's line discipline takes bytes over in the background:
        // full means no room appears for a while.
        for (ssize_t n; (n = write(pty.slave, block.data(), block.size())) > 0;) filled += n;
        ASSERT_EQ(errno, EAGAIN);
        pollfd p = {pty.slave, POLLOUT, 0};
        if (poll(&p, 1, 200) == 0) break;
    }
    ASSERT_GT(filled, 4096);
    // At 4800 baud 18 bytes may take 72 ms, then the write gives up quietly.
    s->baudRate = 4800;
    ASSERT_EQ(serial_configure(s.get()), 1);
    EXPECT_EQ(serial_write(s.get(), "$IIGPQ,ASTRAL*73\r\n", 18), 1);
    // Above 19200 baud there is no per-byte time-out, but still a bound.
    s->baudRate = 38400;
    ASSERT_EQ(serial_configure(s.get()), 1);
    EXPECT_EQ(serial_write(s.get(), "AT\r\n", 4), 1);
    // Once the far side reads again, writes go through.
    pty_read(&pty, static_cast<size_t>(1) << 30, 300);
    EXPECT_EQ(serial_write(s.get(), "OK\r\n", 4), 1);
    std::string tail = pty_read(&pty, 1 << 20, 300);
    EXPECT_EQ(tail.substr(tail.size() >= 4 ? tail.size() - 4 : 0), "OK\r\n");
}

TEST_F(SerialPtyTest, IdleReaderSleeps) {
    ASSERT_EQ(serial_open(s.get()), 1);
    pty_write(&pty, "x");
    ASSERT_TRUE(wait_until([] { return received().size() == 1; }, 5000));
    long before = serial_reader_wakeups(s.get());
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(serial_reader_wakeups(s.get()), before);
}

TEST_F(SerialPtyTest, DeviceThatGoesAwayIsLookedForAgainAndReadingResumesByItself) {
    // The port is a stable name (as /dev/serial/by-id/ gives) for whichever
    // pseudo-terminal plays the device now.
    char dir[] = "/tmp/kiv-replug-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string name = std::string(dir) + "/gps";
    ASSERT_EQ(symlink(pty.path.c_str(), name.c_str()), 0);
    snprintf(s->comPath[3], sizeof s->comPath[3], "%s", name.c_str());
    ASSERT_EQ(link_open_or_warn(s.get()), 1);
    pty_write(&pty, "before");
    ASSERT_TRUE(wait_until([] { return received().size() == 6; }, 5000));
    EXPECT_EQ(serial_link_lost(s.get()), 0);

    pty_close(&pty);   // unplugged: the device and its name are gone
    unlink(name.c_str());
    ASSERT_TRUE(wait_until([this] { return serial_link_lost(s.get()) == 1; }, 5000));
    EXPECT_GE(calls("invalidate"), 1);
    EXPECT_EQ(s->connected.load(), 1);   // open until Disconnect
    EXPECT_EQ(s->commHandle, -1);
    EXPECT_EQ(serial_write(s.get(), "AT\r\n", 4), 0);
    long wakeups = serial_reader_wakeups(s.get());
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_LE(serial_reader_wakeups(s.get()), wakeups + 1);   // no spinning

    ASSERT_TRUE(pty_open(&pty));   // plugged in again, on another pseudo-terminal
    ASSERT_EQ(symlink(pty.path.c_str(), name.c_str()), 0);
    ASSERT_TRUE(wait_until([this] { return serial_link_lost(s.get()) == 0; }, 8000));
    pty_write(&pty, "after");
    ASSERT_TRUE(wait_until([] { return received() == "beforeafter"; }, 5000));
    EXPECT_EQ(serial_write(s.get(), "AT\r\n", 4), 1);
    EXPECT_EQ(pty_read(&pty, 4, 3000), "AT\r\n");

    // Disconnect while the device is away stops the search.
    pty_close(&pty);
    ASSERT_TRUE(wait_until([this] { return serial_link_lost(s.get()) == 1; }, 5000));
    EXPECT_EQ(link_close(s.get()), 1);
    EXPECT_EQ(serial_readers_running(), 0);
    EXPECT_EQ(headless_menu_enabled(MENU_CONNECT), 1);
    unlink(name.c_str());
    rmdir(dir);
}

TEST_F(SerialPtyTest, DisconnectReturnsWhenTheReaderDoesNotEnd) {
    ASSERT_EQ(link_open_or_warn(s.get()), 1);
    block_reader = 1;
    pty_write(&pty, "x");
    ASSERT_TRUE(wait_until([] { return reader_blocked.load() == 1; }, 5000));

    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(link_close(s.get()), 1);
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    EXPECT_LT(seconds, 4.0);   // about 2 s, not for ever
    EXPECT_EQ(s->connected.load(), 0);
    EXPECT_EQ(s->readerThreadId.load(), 0u);
    EXPECT_FALSE(s->readerThread.joinable());
    EXPECT_EQ(headless_menu_enabled(MENU_CONNECT), 1);
    EXPECT_EQ(serial_readers_running(), 1);

    // The device is released although the old reader still runs.
    auto other = link_settings(pty.path, kDropDevice, 4800);
    ASSERT_EQ(serial_open(other.get()), 1);
    EXPECT_EQ(serial_write(other.get(), "AT\r\n", 4), 1);
    EXPECT_EQ(pty_read(&pty, 4, 3000), "AT\r\n");
    serial_close(other.get());

    // The window's record goes away before the stuck reader ends.
    s.reset();
    {
        std::lock_guard<std::mutex> g(gate_lock);
        block_reader = 0;
    }
    gate.notify_all();
    EXPECT_TRUE(wait_until([] { return serial_readers_running() == 0; }, 5000));
}

// REMOTE has no port: the networking layer's hooks start and stop its server.
std::atomic<int> remote_starts{0}, remote_stops{0}, remote_start_result{1};

int fake_start(AppSettings* s) {
    remote_starts++;
    if (!remote_start_result.load()) return 0;
    s->readerThreadId = 4242;
    s->readerThread = std::thread([s] {
        while (s->connected.load() == 1) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        s->readerThreadId = 0;
    });
    return 1;
}

void fake_stop(AppSettings* s) {
    remote_stops++;
    wait_until([s] { return s->readerThreadId.load() == 0; }, 5000);
}

TEST_F(SerialLinkTest, RemoteOpensAndClosesThroughTheNetworkHooks) {
    s = link_settings("/dev/kiv-unused", DEVICE_REMOTE, 19200);
    serial_set_remote_hooks(nullptr, nullptr);
    EXPECT_EQ(link_open_or_warn(s.get()), 0);
    EXPECT_EQ(s->connected.load(), 0);
    EXPECT_EQ(calls("menu_enable"), 0);

    serial_set_remote_hooks(fake_start, fake_stop);
    remote_start_result = 0;
    EXPECT_EQ(link_open_or_warn(s.get()), 0);
    EXPECT_EQ(s->connected.load(), 0);
    EXPECT_EQ(calls("menu_enable"), 0);

    remote_start_result = 1;
    ASSERT_EQ(link_open_or_warn(s.get()), 1);
    EXPECT_EQ(s->connected.load(), 1);
    EXPECT_EQ(s->readerThreadId.load(), 4242u);
    EXPECT_EQ(headless_menu_enabled(MENU_CONNECT), 0);
    EXPECT_EQ(headless_menu_enabled(MENU_DISCONNECT), 1);
    EXPECT_EQ(serial_write(s.get(), "x", 1), 0);   // no port to write to

    EXPECT_EQ(link_close(s.get()), 1);
    EXPECT_EQ(remote_stops.load(), 1);
    EXPECT_EQ(s->connected.load(), 0);
    EXPECT_FALSE(s->readerThread.joinable());
    EXPECT_EQ(headless_menu_enabled(MENU_CONNECT), 1);
    EXPECT_EQ(headless_menu_enabled(MENU_DISCONNECT), 0);
    serial_set_remote_hooks(nullptr, nullptr);
}

}  // namespace
