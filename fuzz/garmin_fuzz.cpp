// Arbitrary receiver bytes through the Garmin de-framer and packet decoder,
// cut into reads of varying size as the serial reader would deliver them.
#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_chunks.h"
#include "position/garmin.h"
#include "position/gps_fix.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    garmin_reset();
    fuzz_feed_in_chunks(data, size, garmin_feed);
    return 0;
}
