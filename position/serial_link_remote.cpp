#include "position/serial_link.h"

#include "position/serial_link_parts.h"

namespace {

SerialRemoteStart remote_start_hook() {
    std::lock_guard<std::mutex> g(serial_shared.registry);
    return serial_shared.remoteStart;
}

}  // namespace

SerialRemoteStop remote_stop_hook() {
    std::lock_guard<std::mutex> g(serial_shared.registry);
    return serial_shared.remoteStop;
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

void serial_set_remote_hooks(SerialRemoteStart start, SerialRemoteStop stop) {
    std::lock_guard<std::mutex> g(serial_shared.registry);
    serial_shared.remoteStart = start;
    serial_shared.remoteStop = stop;
}
