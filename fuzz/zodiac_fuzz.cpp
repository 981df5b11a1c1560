// Arbitrary receiver bytes through the Zodiac framer and message decoders,
// cut into reads of varying size as the serial reader would deliver them.
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "fuzz/fuzz_chunks.h"
#include "position/gps_fix.h"
#include "position/receiver_io.h"
#include "position/zodiac.h"

namespace {
int discard(const char*, int count, void*) { return count > 0; }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bool once = [] {
        receiver_set_write_hook(discard, nullptr);
        // Message 1005 prints its status; keep the fuzzer's output readable.
        if (!std::freopen("/dev/null", "w", stdout)) std::setvbuf(stdout, nullptr, _IOFBF, 1 << 16);
        return true;
    }();
    (void)once;
    zodiac_reset();
    fuzz_feed_in_chunks(data, size, zodiac_feed);
    return 0;
}
