#include "position/serial_link.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include "position/gps_fix.h"
#include "position/receiver_io.h"
#include "position/serial_link_parts.h"
#include "settings/com_file.h"

SerialLinkShared serial_shared;

SerialLink* link_acquire(AppSettings* s) {
    std::lock_guard<std::mutex> g(serial_shared.registry);
    auto* l = static_cast<SerialLink*>(s->link);
    if (l) l->refs.fetch_add(1);
    return l;
}

SerialLink* active_acquire() {
    std::lock_guard<std::mutex> g(serial_shared.registry);
    if (serial_shared.active) serial_shared.active->refs.fetch_add(1);
    return serial_shared.active;
}

void link_release(SerialLink* l) {
    if (l->refs.fetch_sub(1) != 1) return;
    serial_port_close(&l->port);
    if (l->wakeFd >= 0) close(l->wakeFd);
    delete l;
}

namespace {

int fail_open(const char* path, int error) {
    serial_shared.openFailure = error;
    snprintf(serial_shared.openFailurePath, sizeof serial_shared.openFailurePath, "%s", path ? path : "");
    return 0;
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
    s->readerThreadId = serial_shared.nextReaderId.fetch_add(1) + 1;
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
        std::lock_guard<std::mutex> g(serial_shared.registry);
        s->link = l;
        s->commHandle = l->port.fd;
        serial_shared.active = l;
    }
    receiver_set_write_hook(hook_write, nullptr);
    return 1;
}

void close_port(AppSettings* s, SerialLink* l) {
    {
        std::lock_guard<std::mutex> g(serial_shared.registry);
        if (serial_shared.active == l) serial_shared.active = nullptr;
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
        std::lock_guard<std::mutex> g(serial_shared.registry);
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
    return s->deviceType == DEVICE_REMOTE ? open_remote(s) : open_port(s);
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
        std::lock_guard<std::mutex> g(serial_shared.registry);
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
    return 1;
}

int serial_open_failure(char* path, int size) {
    if (path && size > 0) snprintf(path, static_cast<size_t>(size), "%s", serial_shared.openFailurePath);
    return serial_shared.openFailure;
}
