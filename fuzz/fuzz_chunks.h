// A receiver stream cut into reads as the serial reader delivers them: the
// first byte picks the read size (1..80), the rest is the stream.
#pragma once
#include <cstddef>
#include <cstdint>

template <class Feed>
void fuzz_feed_in_chunks(const uint8_t* data, size_t size, Feed feed) {
    if (size == 0) return;
    size_t chunk = data[0] % 80 + 1;
    const char* p = reinterpret_cast<const char*>(data + 1);
    size_t n = size - 1;
    for (size_t i = 0; i < n; i += chunk) feed(p + i, static_cast<int>(n - i < chunk ? n - i : chunk));
}
