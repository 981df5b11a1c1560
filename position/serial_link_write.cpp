#include "position/serial_link.h"

#include <cstdint>

#include "position/serial_link_parts.h"

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

int serial_write(AppSettings* s, const char* bytes, int count) {
    // While not connected the port is no longer valid: nothing is written.
    if (!s || !bytes || count < 0 || s->connected.load() != 1) return 0;
    SerialLink* l = link_acquire(s);
    if (!l) return 0;
    int r = link_write(l, bytes, count);
    link_release(l);
    return r;
}
