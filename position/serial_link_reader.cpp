#include "position/serial_link.h"

#include <cerrno>
#include <poll.h>

#include "platform/platform.h"
#include "position/receiver_feed.h"
#include "position/serial_link_parts.h"

namespace {

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
    if (SerialChunkObserver observe = serial_shared.chunkObserver.load()) observe(device, bytes, n);
    receiver_feed(device, bytes, n);
    // A new clock second, not only a later one: a clock set back must not
    // stop the repaints until it has caught up again.
    int64_t now = platform_monotonic_seconds();
    int64_t last = serial_shared.lastRepaintSecond.load();
    if (now != last && serial_shared.lastRepaintSecond.compare_exchange_strong(last, now))
        platform_repaint_and_wait(kRepaintWaitMs);
    return 1;
}

int64_t now_ms() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

void serial_reader_thread(SerialLink* l) {
    serial_shared.readersRunning.fetch_add(1);
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
    serial_shared.readersRunning.fetch_sub(1);
    {
        std::lock_guard<std::mutex> g(l->doneLock);
        l->done = true;
    }
    l->doneCv.notify_all();
    link_release(l);
}

void serial_set_chunk_observer(SerialChunkObserver observer) { serial_shared.chunkObserver.store(observer); }

long serial_reader_wakeups(AppSettings* s) {
    if (!s) return 0;
    SerialLink* l = link_acquire(s);
    if (!l) return 0;
    long n = l->wakeups.load();
    link_release(l);
    return n;
}

int serial_readers_running() { return serial_shared.readersRunning.load(); }
