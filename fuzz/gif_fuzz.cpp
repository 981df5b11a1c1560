// libFuzzer target: arbitrary bytes through the GIF decoder as a stream,
// to RGB and to the indices the view's cache keeps.
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
    // The same bytes as the view's cache takes them: a byte a pixel.
    f = fmemopen(const_cast<uint8_t*>(data), size, "rb");
    unsigned char* indices = nullptr;
    uint32_t colours[256];
    int iw = -1, ih = -1;
    int indexed = f ? gif_decode_indices(f, &indices, colours, &iw, &ih) : 0;
    if (f) std::fclose(f);
    if (indexed) {
        // Whatever the indices give, the RGB path gives pixel for pixel.
        if (!pixels || iw != width || ih != height) __builtin_trap();
        for (size_t i = 0; i < size_t(iw) * ih; i++) {
            const unsigned char* p = pixels + i * 3;
            if (colours[indices[i]] != (0xFF000000u | p[0] << 16 | p[1] << 8 | p[2])) __builtin_trap();
        }
        std::free(indices);
    } else if (indices || iw != 0 || ih != 0) {
        __builtin_trap();
    }
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
