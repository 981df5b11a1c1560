// libFuzzer target: arbitrary bytes through the GIF decoder as a stream.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "maps/gif_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;  // fmemopen refuses empty buffers
    FILE* f = fmemopen(const_cast<uint8_t*>(data), size, "rb");
    if (!f) return 0;
    unsigned char* pixels = nullptr;
    int width = -1, height = -1;
    gif_decode(f, &pixels, &width, &height);
    std::fclose(f);
    if (pixels) {
        // The outputs must describe the buffer: touch both ends so ASan checks it.
        if (width <= 0 || height <= 0 || long(width) * height > (1L << 24)) __builtin_trap();
        size_t bytes = size_t(width) * height * 3;
        volatile unsigned char sink = pixels[0] ^ pixels[bytes - 1];
        (void)sink;
        std::free(pixels);
    } else if (width != 0 || height != 0) {
        __builtin_trap();
    }
    return 0;
}
