#include "settings/device_table.h"

#include <atomic>

#include "settings/app_settings.h"

namespace {
struct DeviceEntry {
    const char* name;
    char letter;
    uint32_t baud;
};
// Indexed by device type.
const DeviceEntry devices[DEVICE_LAST + 1] = {
    {nullptr, 0, 0},
    {"NMEA", 'N', 4800},
    {"USB EarthMate", 'U', 4800},
    {"EarthMate", 'E', 9600},
    {"TripMate", 'T', 4800},
    {"Garmin", 'G', 9600},
    {"SMS", 'S', 9600},
    {"REMOTE", 'R', 19200},
};

bool known(int t) { return t >= DEVICE_FIRST && t <= DEVICE_LAST; }
}  // namespace

const char* device_name(int deviceType) { return known(deviceType) ? devices[deviceType].name : nullptr; }

uint32_t device_baud_rate(int deviceType) { return known(deviceType) ? devices[deviceType].baud : 0; }

int device_from_letter(char letter) {
    for (int t = DEVICE_FIRST; t <= DEVICE_LAST; ++t)
        if (devices[t].letter == letter) return t;
    return 0;
}

int settings_select_device(AppSettings* s, int deviceType) {
    if (!s || !known(deviceType)) return 0;
    // The serial reader reads the type for every chunk while the link is open.
    std::atomic_ref<int32_t>(s->deviceType).store(deviceType, std::memory_order_relaxed);
    s->baudRate = devices[deviceType].baud;
    s->dataBits = 8;
    s->parity = 0;
    s->stopBits = 0;
    return 1;
}
