// Arbitrary receiver bytes through the Zodiac framer and message decoders,
// cut into reads of varying size as the serial reader would deliver them.
#include <cstddef>
#include <cstdint>
#include <cstdio>

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
    if (size == 0) return 0;
    zodiac_reset();
    // First byte chooses the read size (1..80), the rest is the stream.
    size_t chunk = data[0] % 80 + 1;
    const char* p = reinterpret_cast<const char*>(data + 1);
    size_t n = size - 1;
    for (size_t i = 0; i < n; i += chunk) zodiac_feed(p + i, static_cast<int>(n - i < chunk ? n - i : chunk));
    return 0;
}
