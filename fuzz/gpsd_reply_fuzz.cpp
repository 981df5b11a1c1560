// What a gpsd connection delivers, on arbitrary bytes: the stream cut into
// reads, gpsd's own JSON reports filtered out line by line and the rest fed
// to the NMEA decoder. No kept line may begin with '{', and the filter never
// grows a read. The same bytes are also tried as a source name.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "fuzz/fuzz_chunks.h"
#include "position/gps_fix.h"
#include "position/gpsd_source.h"
#include "position/nmea.h"
#include "position/receiver_feed.h"
#include "position/serial_port.h"
#include "position/tcp_source.h"
#include "settings/app_settings.h"

namespace {

SerialPort port;
bool atLineStart;

void feed(const char* bytes, int count) {
    std::string read(bytes, static_cast<size_t>(count));
    int kept = gpsd_source_filter(&port, read.data(), count);
    if (kept < 0 || kept > count) abort();
    for (int i = 0; i < kept; i++) {
        if (atLineStart && read[i] == '{') abort();
        atLineStart = read[i] == '\n';
    }
    receiver_feed(DEVICE_NMEA, read.data(), kept);
}

void tryName(const uint8_t* data, size_t size) {
    std::string name(reinterpret_cast<const char*>(data), size);
    GpsdAddress a;
    if (gpsd_source_parse(name.c_str(), &a)) {
        if (strnlen(a.host, sizeof a.host) >= sizeof a.host || !a.host[0]) abort();
        if (a.port < 1 || a.port > 65535) abort();
        if (a.device[0] && a.device[0] != '/') abort();
        char command[400];
        int n = gpsd_source_watch_command(&a, command, sizeof command);
        if (n <= 0 || command[n - 1] != '\n') abort();
    }
    char host[256];
    int tcpPort = 0;
    if (tcp_source_parse(name.c_str(), host, sizeof host, &tcpPort))
        if (!host[0] || tcpPort < 1 || tcpPort > 65535) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    gps_reset();
    nmea_reset();
    port = SerialPort{};
    port.kind = SERIAL_PORT_GPSD;
    atLineStart = true;
    fuzz_feed_in_chunks(data, size, feed);
    tryName(data, size);
    return 0;
}
