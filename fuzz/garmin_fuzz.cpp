// Arbitrary receiver bytes through the Garmin de-framer and packet decoder,
// cut into reads of varying size as the serial reader would deliver them.
#include <cstddef>
#include <cstdint>

#include "position/garmin.h"
#include "position/gps_fix.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    garmin_reset();
    size_t chunk = data[0] % 80 + 1;
    const char* p = reinterpret_cast<const char*>(data + 1);
    size_t n = size - 1;
    for (size_t i = 0; i < n; i += chunk) garmin_feed(p + i, static_cast<int>(n - i < chunk ? n - i : chunk));
    return 0;
}
