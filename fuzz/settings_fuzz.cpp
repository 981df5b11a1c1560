// The settings file readers on arbitrary bytes. The first byte picks the
// file (kiv_ini.txt, kiv_com.txt, kiv_pos.txt, kiv_dev.txt, kiv_prx.txt),
// the rest becomes its text in a private working folder, and every reader
// of the program runs over it; what they fill must stay in range.
#include <fcntl.h>
#include <unistd.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "fuzz/fuzz_files.h"
#include "net/proxy.h"
#include "net/sockets.h"
#include "settings/app_settings.h"
#include "settings/com_file.h"
#include "settings/program_settings.h"
#include "settings/settings_load.h"

namespace {

const char* const FILES[] = {"kiv_ini.txt", "kiv_com.txt", "kiv_pos.txt", "kiv_dev.txt", "kiv_prx.txt"};
void bounded(const char* text, size_t size) {
    if (strnlen(text, size) >= size) abort();
}

void readAll(const uint8_t* data, size_t size) {
    for (const char* name : FILES) remove(name);
    fuzz_write_file(FILES[data[0] % 5], data + 1, size - 1);

    AppSettings* s = new AppSettings{};
    settings_defaults(s);
    settings_read_files(s);
    if (s->deviceType < DEVICE_NMEA || s->deviceType > DEVICE_REMOTE || s->comPort > 9) abort();
    bounded(s->mapsDir, sizeof s->mapsDir);
    bounded(s->trackLogFile, sizeof s->trackLogFile);
    bounded(s->lastLoggedTime, sizeof s->lastLoggedTime);
    bounded(s->baseHost, sizeof s->baseHost);
    delete s;
    settings_read_big_maps_flag();

    ProgramSettings p;
    settings_program_defaults(&p);
    settings_read_program_wide(&p);
    bounded(p.zoneName, sizeof p.zoneName);
    if (!std::isfinite(p.startLatitude) || std::fabs(p.startLatitude) > 90) abort();
    if (!std::isfinite(p.startLongitude) || std::fabs(p.startLongitude) > 180) abort();
    if (p.zoomLevel < 0 || p.zoomLevel > 4) abort();

    char host[NET_NAME_SIZE];
    int port = 0;
    for (int line : {PROXY_LINE_GET, PROXY_LINE_POST})
        if (ReadProxyFile(line, host, &port) && (port < 1 || port > 65535 || !host[0])) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The readers read the working folder; libFuzzer reads its corpus
    // folders, perhaps named relative to the start folder, between inputs.
    static const int home = open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    static const int folder = open(fuzz_folder("kiv_settings_fuzz").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (size == 0) return 0;
    if (home < 0 || folder < 0 || fchdir(folder) != 0) abort();
    readAll(data, size);
    if (fchdir(home) != 0) abort();
    return 0;
}
