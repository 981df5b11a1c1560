#include "position/serial_link.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include "platform/platform.h"
#include "position/gps_fix.h"
#include "position/port_diagnostics.h"
#include "position/receiver_feed.h"
#include "position/receiver_io.h"
#include "position/serial_port.h"
#include "settings/app_settings.h"
#include "settings/com_file.h"
#include "settings/menu_ids.h"

// Lifetime of the link state. The record is shared by the main thread (the
// AppSettings record points at it), the reader thread and any writer in
// progress; each holds a reference and the last one frees it. The reader
// touches AppSettings only under ownerLock and only while `settings` is set:
// a close that gives up waiting for the reader clears it, so the window
// record may be freed while a stuck reader still runs. The port descriptor
// of such a reader is replaced by /dev/null (dup2), which releases the
// device at once without the number being reused for another file.
struct SerialLink {
    std::atomic<int> refs{1};
    SerialPort port;                    // fd -1 while the device is away
    char path[SETTINGS_PATH_MAX] = {};  // what reopening after a loss opens
    SerialLine line{};                  // the line settings in force (portLock)
    int wakeFd = -1;                   // readable once the link is closing
    std::atomic<int> closing{0};
    std::atomic<int> lost{0};
    std::atomic<long> wakeups{0};
    int silentMs = 0;                  // silent this long counts as lost; 0 never
    std::atomic<int> silenced{0};      // lost by silence: back only when bytes come

    // What the window says about the link (serial_link_status).
    std::mutex noteLock;
    unsigned noteSeq = 0;
    char title[96] = {};
    char message[SETTINGS_PATH_MAX + 200] = {};

    std::mutex portLock;               // one write at a time; descriptor swaps
    int perByteMs = 0;                 // write time-out per byte, 0 = none
    int waitDsr = 0;                   // DTR/DSR handshake: hold output while DSR is down

    std::mutex ownerLock;
    AppSettings* settings = nullptr;   // null once the reader was let go

    std::mutex doneLock;
    std::condition_variable doneCv;
    bool done = false;
};

namespace {

// Above 19200 baud writes have no per-byte time-out; a peer that is gone
// must still not hold a writer (or a close waiting for it) forever.
constexpr int kUnboundedWriteCapMs = 2000;
// The reader waits this long at most for the main window to paint.
constexpr int kRepaintWaitMs = 500;
// How long serial_close waits for the reader to end.
constexpr auto kReaderStopWait = std::chrono::seconds(2);
// A device that went away is looked for again this often.
constexpr int kReopenEveryMs = 2000;
constexpr int kChunk = 80;

std::mutex registry;                   // AppSettings::link and active_link
SerialLink* active_link = nullptr;     // target of receiver_write
SerialRemoteStart remote_start = nullptr;
SerialRemoteStop remote_stop = nullptr;
std::atomic<SerialChunkObserver> chunk_observer{nullptr};
std::atomic<int64_t> last_repaint_second{0};
std::atomic<int> readers_running{0};
std::atomic<uint32_t> next_reader_id{0};
// Numbers every link note, across links, so a new link never repeats one.
std::atomic<unsigned> next_note{0};
// Why the last serial_open failed (main thread).
int open_failure = 0;
char open_failure_path[SETTINGS_PATH_MAX] = {};

int fail_open(const char* path, int error) {
    open_failure = error;
    snprintf(open_failure_path, sizeof open_failure_path, "%s", path ? path : "");
    return 0;
}

SerialLink* link_acquire(AppSettings* s) {
    std::lock_guard<std::mutex> g(registry);
    auto* l = static_cast<SerialLink*>(s->link);
    if (l) l->refs.fetch_add(1);
    return l;
}

SerialLink* active_acquire() {
    std::lock_guard<std::mutex> g(registry);
    if (active_link) active_link->refs.fetch_add(1);
    return active_link;
}

void link_release(SerialLink* l) {
    if (l->refs.fetch_sub(1) != 1) return;
    serial_port_close(&l->port);
    if (l->wakeFd >= 0) close(l->wakeFd);
    delete l;
}

int link_write(SerialLink* l, const char* bytes, int count) {
    if (count <= 0) return 1;
    std::lock_guard<std::mutex> g(l->portLock);
    // gpsd takes no bytes for the receiver through its watch connection.
    if (l->closing.load() || l->port.fd < 0 || l->port.kind == SERIAL_PORT_GPSD) return 0;
    int64_t timeout = l->perByteMs > 0 ? static_cast<int64_t>(count) * l->perByteMs
                                       : kUnboundedWriteCapMs;
    if (timeout > INT32_MAX) timeout = INT32_MAX;
    int n = serial_port_write(&l->port, bytes, count, static_cast<int>(timeout), l->wakeFd,
                              l->waitDsr);
    return n < 0 ? 0 : 1;
}

int hook_write(const char* bytes, int count, void*) {
    SerialLink* l = active_acquire();
    if (!l) return 0;
    int r = link_write(l, bytes, count);
    link_release(l);
    return r;
}

// The settings' line for the link (portLock held): applied to the open
// port, or kept for when the device comes.
int link_configure_locked(SerialLink* l, const AppSettings* s) {
    SerialLine line = {s->baudRate, s->dataBits, s->parity, s->stopBits, s->flowControl};
    if (l->port.fd >= 0 && !serial_port_configure(&l->port, &line)) return 0;
    l->line = line;
    if (s->stopBits == 1 && s->dataBits != 5)
        printf("Serial: 1.5 stop bits are sent as 2 with %d data bits\n", s->dataBits);
    l->perByteMs = s->baudRate ? static_cast<int>(19200 / s->baudRate) : 0;
    l->waitDsr = (s->flowControl & 1) ? 1 : 0;
    // DTR simply on; RTS too unless the RTS/CTS handshake drives it.
    serial_port_set_dtr(&l->port, 1, (s->flowControl & 2) ? 0 : 1);
    return 1;
}

int link_configure(SerialLink* l, const AppSettings* s) {
    std::lock_guard<std::mutex> g(l->portLock);
    if (l->port.fd < 0) return 0;
    return link_configure_locked(l, s);
}

// A device that is not there (yet): looked for again, as after an unplug.
int absent(int error) { return error == ENOENT || error == ENODEV || error == ENXIO; }

void menu_connected(int on) {
    platform_menu_enable(MENU_CONNECT, on ? 0 : 1);
    platform_menu_enable(MENU_DISCONNECT, on ? 1 : 0);
}

// One chunk: the decoder of the device chosen now, the silence counter, and
// a repaint at most once per clock second. 0 when the reader was let go.
int deliver(SerialLink* l, const char* bytes, int n) {
    int device;
    {
        std::lock_guard<std::mutex> g(l->ownerLock);
        if (!l->settings) return 0;
        // The Device menu changes the type on the main thread at any time.
        device = std::atomic_ref<int32_t>(l->settings->deviceType).load(std::memory_order_relaxed);
        l->settings->linkIdleTicks = 0;
    }
    if (SerialChunkObserver observe = chunk_observer.load()) observe(device, bytes, n);
    receiver_feed(device, bytes, n);
    // A new clock second, not only a later one: a clock set back must not
    // stop the repaints until it has caught up again.
    int64_t now = platform_monotonic_seconds();
    int64_t last = last_repaint_second.load();
    if (now != last && last_repaint_second.compare_exchange_strong(last, now))
        platform_repaint_and_wait(kRepaintWaitMs);
    return 1;
}

int open_port(AppSettings* s) {
    char path[SETTINGS_PATH_MAX];
    if (!settings_port_path(s, s->comPort, path, sizeof path)) return fail_open("", ENOENT);
    // gpsd and TCP peers speak NMEA; binary polls and handshakes make no sense there.
    if (serial_port_is_network(path) && s->deviceType != DEVICE_NMEA && s->deviceType != DEVICE_USB_EARTHMATE)
        return fail_open(path, SERIAL_OPEN_NOT_NMEA);
    if (!serial_port_name_ok(path)) return fail_open(path, EINVAL);
    auto* l = new SerialLink;
    snprintf(l->path, sizeof l->path, "%s", path);
    // A phone answers only when asked, and may be asked rarely.
    if (s->deviceType != DEVICE_SMS && s->linkSilentSeconds > 0) l->silentMs = s->linkSilentSeconds * 1000;
    // A device opens at once; what fails for a reason the user must see to
    // is refused here. A network peer is connected by the reader, so the
    // window never waits for it; a device not there is looked for by it.
    if (!serial_port_is_network(path) && !serial_port_open(path, &l->port)) {
        int error = errno;
        if (!absent(error) && error != EBUSY) {
            delete l;
            return fail_open(path, error);
        }
        // A port another program holds is waited for as one not there: the
        // reader takes it once the holder lets go. Who holds it is still said.
        if (error == EBUSY) fail_open(path, error);
    }
    l->wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    l->settings = s;
    if (l->wakeFd < 0) {
        int error = errno;
        link_release(l);
        return fail_open(path, error);
    }
    serial_port_purge(&l->port);
    int configured;
    {
        std::lock_guard<std::mutex> g(l->portLock);
        configured = link_configure_locked(l, s);
    }
    if (!configured) {
        link_release(l);
        return fail_open(path, SERIAL_OPEN_LINE_REFUSED);
    }
    if (s->readerThread.joinable()) s->readerThread.join();
    s->connected = 1;
    s->readerThreadId = next_reader_id.fetch_add(1) + 1;
    l->refs.fetch_add(1);   // the reader's
    try {
        s->readerThread = std::thread(serial_reader_thread, l);
    } catch (...) {
        s->connected = 0;
        s->readerThreadId = 0;
        l->refs.fetch_sub(1);
        link_release(l);
        return fail_open(path, EAGAIN);
    }
    serial_port_set_dtr(&l->port, 1, (s->flowControl & 2) ? 0 : 1);
    {
        std::lock_guard<std::mutex> g(registry);
        s->link = l;
        s->commHandle = l->port.fd;
        active_link = l;
    }
    receiver_set_write_hook(hook_write, nullptr);
    return 1;
}

SerialRemoteStart remote_start_hook() {
    std::lock_guard<std::mutex> g(registry);
    return remote_start;
}

SerialRemoteStop remote_stop_hook() {
    std::lock_guard<std::mutex> g(registry);
    return remote_stop;
}

int open_remote(AppSettings* s) {
    SerialRemoteStart start = remote_start_hook();
    if (!start) return 0;
    if (s->readerThread.joinable() && s->readerThreadId.load() == 0) s->readerThread.join();
    s->connected = 1;
    if (!start(s)) {
        s->connected = 0;
        return 0;
    }
    return 1;
}

void close_port(AppSettings* s, SerialLink* l) {
    {
        std::lock_guard<std::mutex> g(registry);
        if (active_link == l) active_link = nullptr;
    }
    receiver_set_write_hook(nullptr, nullptr);
    l->closing = 1;
    uint64_t one = 1;
    if (write(l->wakeFd, &one, sizeof one) < 0) { /* the flag alone still stops it */ }

    bool ended;
    {
        std::unique_lock<std::mutex> g(l->doneLock);
        ended = l->doneCv.wait_for(g, kReaderStopWait, [l] { return l->done; });
    }
    if (!ended) {
        // Let the reader go: from now on it does not touch the record.
        std::lock_guard<std::mutex> g(l->ownerLock);
        l->settings = nullptr;
    }
    {
        // Writers see the wake-up and leave; none starts after `closing`.
        std::lock_guard<std::mutex> g(l->portLock);
        serial_port_purge(&l->port);
        serial_port_set_dtr(&l->port, 0, 0);
        if (ended) {
            serial_port_close(&l->port);
        } else if (l->port.fd >= 0) {
            ioctl(l->port.fd, TIOCNXCL);
            int null = open("/dev/null", O_RDWR | O_CLOEXEC);
            if (null >= 0) {
                dup3(null, l->port.fd, O_CLOEXEC);
                close(null);
            }
        }
    }
    if (ended) {
        if (s->readerThread.joinable()) s->readerThread.join();
    } else {
        if (s->readerThread.joinable()) s->readerThread.detach();
        s->readerThreadId = 0;
    }
    {
        std::lock_guard<std::mutex> g(registry);
        s->link = nullptr;
        s->commHandle = -1;
    }
    link_release(l);
}

}  // namespace

int serial_open(AppSettings* s) {
    if (!s) return 0;
    if (s->connected.load() == 1) return 1;
    fail_open("", 0);
    // The receiver's time is followed as it comes; a new link starts without it.
    gps_clear_time();
    platform_busy_cursor(1);
    int ok = s->deviceType == DEVICE_REMOTE ? open_remote(s) : open_port(s);
    if (ok) menu_connected(1);
    platform_busy_cursor(0);
    return ok;
}

int serial_configure(AppSettings* s) {
    if (!s || s->connected.load() != 1) return 0;
    SerialLink* l = link_acquire(s);
    if (!l) return 0;
    int ok = l->closing.load() ? 0 : link_configure(l, s);
    link_release(l);
    return ok;
}

int serial_close(AppSettings* s) {
    if (!s) return 0;
    if (s->connected.load() != 1) return 1;
    s->connected = 0;
    SerialLink* l;
    {
        std::lock_guard<std::mutex> g(registry);
        l = static_cast<SerialLink*>(s->link);
    }
    if (l) {
        close_port(s, l);
    } else {
        // REMOTE: the server stops and ends its thread.
        if (SerialRemoteStop stop = remote_stop_hook()) stop(s);
        if (s->readerThread.joinable()) {
            if (s->readerThreadId.load() == 0)
                s->readerThread.join();
            else
                s->readerThread.detach();
        }
    }
    menu_connected(0);
    return 1;
}

int serial_write(AppSettings* s, const char* bytes, int count) {
    // While not connected the port is no longer valid: nothing is written.
    if (!s || !bytes || count < 0 || s->connected.load() != 1) return 0;
    SerialLink* l = link_acquire(s);
    if (!l) return 0;
    int r = link_write(l, bytes, count);
    link_release(l);
    return r;
}

namespace {

// The descriptor the window record shows for the link (tests, diagnostics).
void show_handle(SerialLink* l, int fd) {
    std::lock_guard<std::mutex> r(registry);
    std::lock_guard<std::mutex> g(l->ownerLock);
    if (l->settings && l->settings->link == l) l->settings->commHandle = fd;
}

// A new note for the window, when it says something else.
void set_note(SerialLink* l, int lost, const char* title, const char* message) {
    {
        std::lock_guard<std::mutex> g(l->noteLock);
        if (l->lost.load() == lost && strcmp(l->title, title) == 0 && strcmp(l->message, message) == 0) return;
        l->lost = lost;
        snprintf(l->title, sizeof l->title, "%s", title);
        snprintf(l->message, sizeof l->message, "%s", message);
        l->noteSeq = next_note.fetch_add(1) + 1;
    }
    platform_invalidate();
}

void note_back(SerialLink* l) {
    char message[sizeof l->message];
    snprintf(message, sizeof message, "GPS link back: %s", l->path);
    set_note(l, 0, "", message);
}

// The device went away or fell silent: release it, so that the one plugged
// in again can take its name, and say so unless the link is already lost
// (its note says why).
void lose_device(SerialLink* l, int silent) {
    {
        std::lock_guard<std::mutex> g(l->portLock);
        serial_port_close(&l->port);
    }
    show_handle(l, -1);
    if (l->lost.load()) return;
    l->silenced = silent;
    char message[sizeof l->message];
    if (silent)
        snprintf(message, sizeof message, "GPS link lost: %s silent for %d s; connecting again", l->path,
                 l->silentMs / 1000);
    else
        snprintf(message, sizeof message, "GPS link lost: %s is gone; trying again every few seconds", l->path);
    set_note(l, 1, silent ? "GPS silent, reconnecting" : "GPS lost, reconnecting", message);
}

// What gpsd's replies said: an error, or no receiver left. Either way the
// satellites of the receiver that was are gone too.
void note_gpsd(SerialLink* l) {
    const GpsdReplies& r = l->port.gpsd;
    char title[sizeof l->title], message[sizeof l->message];
    if (r.error[0]) {
        snprintf(title, sizeof title, "gpsd: %.80s", r.error);
        snprintf(message, sizeof message, "GPS link: gpsd at %s says: %s", l->path, r.error);
    } else if (r.devices == 0) {
        snprintf(title, sizeof title, "gpsd has no receiver");
        snprintf(message, sizeof message, "GPS link: gpsd at %s has no receiver; waiting for one", l->path);
    } else {
        return;
    }
    gps_set_satellites(nullptr, 0, 0);
    set_note(l, 1, title, message);
}

// Opens the name again with the line settings in force. 1 when the device
// is back; else the note says why, the first time.
int reopen_device(SerialLink* l) {
    SerialPort p;
    if (!serial_port_open(l->path, &p, l->wakeFd)) {
        int error = errno;
        if (l->closing.load() || l->lost.load()) return 0;
        char advice[1024], message[sizeof l->message];
        port_describe_failure(error, l->path, "/proc", "/dev", advice, sizeof advice);
        advice[strcspn(advice, "\n")] = '\0';
        snprintf(message, sizeof message, "GPS link: %.400s Trying again every few seconds.", advice);
        set_note(l, 1, error == EBUSY ? "GPS port busy, trying again" : "GPS not found, trying again", message);
        return 0;
    }
    {
        std::lock_guard<std::mutex> g(l->portLock);
        if (l->closing.load() || !serial_port_configure(&p, &l->line)) {
            serial_port_close(&p);
            return 0;
        }
        serial_port_purge(&p);
        serial_port_set_dtr(&p, 1, (l->line.flowControl & 2) ? 0 : 1);
        l->port = p;
    }
    show_handle(l, p.fd);
    gps_clear_time();   // the receiver plugged in may be another, or reset
    // A device plugged in again is back; a peer that fell silent, or gpsd,
    // only once sentences come.
    if (l->lost.load() && p.kind != SERIAL_PORT_GPSD && !l->silenced.load()) note_back(l);
    return 1;
}

int64_t now_ms() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

void serial_reader_thread(SerialLink* l) {
    readers_running.fetch_add(1);
    char buffer[kChunk];
    // A port not yet open is tried at once, then every few seconds.
    int tryNow = 1;
    int64_t lastData = now_ms();
    unsigned gpsdSeen = 0;
    while (!l->closing.load()) {
        if (l->port.fd < 0) {
            if (!tryNow) {
                pollfd w = {l->wakeFd, POLLIN, 0};
                int r = poll(&w, 1, kReopenEveryMs);
                l->wakeups.fetch_add(1);
                if (r > 0 || l->closing.load()) break;
                if (r < 0) continue;
            }
            tryNow = 0;
            if (reopen_device(l)) {
                lastData = now_ms();
                gpsdSeen = 0;
            }
            continue;
        }
        int wait = -1;
        if (l->silentMs > 0) {
            int64_t left = lastData + l->silentMs - now_ms();
            wait = left > 0 ? static_cast<int>(left) : 0;
        }
        pollfd p[2] = {{l->port.fd, POLLIN, 0}, {l->wakeFd, POLLIN, 0}};
        int r = poll(p, 2, wait);
        l->wakeups.fetch_add(1);
        if (r == 0) {
            // Connected but silent: as good as gone. Connect again at once.
            lose_device(l, 1);
            tryNow = 1;
            continue;
        }
        if (r < 0) {
            if (errno == EINTR) continue;
            lose_device(l, 0);
            continue;
        }
        if (p[1].revents || l->closing.load()) break;
        if (!p[0].revents) continue;
        // Take everything queued, at most 80 bytes at a time.
        int n;
        int stop = 0;
        int got = 0;
        while ((n = serial_port_read(&l->port, buffer, kChunk)) > 0) {
            got = 1;
            if (!deliver(l, buffer, n) || l->closing.load()) {
                stop = 1;
                break;
            }
        }
        if (stop) break;
        if (got) {
            lastData = now_ms();
            if (l->lost.load()) note_back(l);
        }
        if (l->port.kind == SERIAL_PORT_GPSD && l->port.gpsd.changes != gpsdSeen) {
            gpsdSeen = l->port.gpsd.changes;
            note_gpsd(l);
        }
        // A hang-up with nothing left to read would wake poll() at once,
        // for ever: the device has gone.
        if (n < 0 || (p[0].revents & (POLLHUP | POLLERR | POLLNVAL))) lose_device(l, 0);
    }
    {
        std::lock_guard<std::mutex> g(l->ownerLock);
        if (l->settings) l->settings->readerThreadId = 0;
    }
    readers_running.fetch_sub(1);
    {
        std::lock_guard<std::mutex> g(l->doneLock);
        l->done = true;
    }
    l->doneCv.notify_all();
    link_release(l);
}

int serial_link_lost(AppSettings* s) {
    if (!s) return 0;
    SerialLink* l = link_acquire(s);
    if (!l) return 0;
    int lost = l->lost.load();
    link_release(l);
    return lost;
}

unsigned serial_link_status(AppSettings* s, int* lost, char* title, int titleSize, char* message,
                            int messageSize) {
    SerialLink* l = s ? link_acquire(s) : nullptr;
    if (!l) return 0;
    unsigned seq;
    {
        std::lock_guard<std::mutex> g(l->noteLock);
        seq = l->noteSeq;
        *lost = l->lost.load();
        snprintf(title, static_cast<size_t>(titleSize), "%s", l->title);
        snprintf(message, static_cast<size_t>(messageSize), "%s", l->message);
    }
    link_release(l);
    return seq;
}

int serial_open_failure(char* path, int size) {
    if (path && size > 0) snprintf(path, static_cast<size_t>(size), "%s", open_failure_path);
    return open_failure;
}

void serial_set_remote_hooks(SerialRemoteStart start, SerialRemoteStop stop) {
    std::lock_guard<std::mutex> g(registry);
    remote_start = start;
    remote_stop = stop;
}

void serial_set_chunk_observer(SerialChunkObserver observer) { chunk_observer.store(observer); }

long serial_reader_wakeups(AppSettings* s) {
    if (!s) return 0;
    SerialLink* l = link_acquire(s);
    if (!l) return 0;
    long n = l->wakeups.load();
    link_release(l);
    return n;
}

int serial_readers_running() { return readers_running.load(); }
