#include "position/serial_link.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/platform.h"
#include "position/gps_fix.h"
#include "position/serial_link_parts.h"

// The descriptor the window record shows for the link (tests, diagnostics).
void show_handle(SerialLink* l, int fd) {
    std::lock_guard<std::mutex> r(serial_shared.registry);
    std::lock_guard<std::mutex> g(l->ownerLock);
    if (l->settings && l->settings->link == l) l->settings->commHandle = fd;
}

// A new note for the window, when it says something else.
void set_note(SerialLink* l, int lost, const char* title, const char* message, int openError) {
    {
        std::lock_guard<std::mutex> g(l->noteLock);
        if (l->lost.load() == lost && strcmp(l->title, title) == 0 && strcmp(l->message, message) == 0 &&
            l->openError == openError)
            return;
        l->lost = lost;
        l->openError = openError;
        snprintf(l->title, sizeof l->title, "%s", title);
        snprintf(l->message, sizeof l->message, "%s", message);
        l->noteSeq = serial_shared.nextNote.fetch_add(1) + 1;
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
        set_note(l, 1, error == EBUSY ? "GPS port busy, trying again" : "GPS not found, trying again", l->path,
                 error);
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

int serial_link_lost(AppSettings* s) {
    if (!s) return 0;
    SerialLink* l = link_acquire(s);
    if (!l) return 0;
    int lost = l->lost.load();
    link_release(l);
    return lost;
}

unsigned serial_link_status(AppSettings* s, int* lost, char* title, int titleSize, char* message,
                            int messageSize, int* openError) {
    SerialLink* l = s ? link_acquire(s) : nullptr;
    if (!l) return 0;
    unsigned seq;
    {
        std::lock_guard<std::mutex> g(l->noteLock);
        seq = l->noteSeq;
        *lost = l->lost.load();
        snprintf(title, static_cast<size_t>(titleSize), "%s", l->title);
        snprintf(message, static_cast<size_t>(messageSize), "%s", l->message);
        if (openError) *openError = l->openError;
    }
    link_release(l);
    return seq;
}
