#include "app/client_frame.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "app/app_state.h"
#include "platform/pixel_rows.h"

namespace {

inline unsigned char* at(ClientFrame* f, int x, int y) {
    return f->rgb + static_cast<long>(y) * f->stride + static_cast<long>(x) * 3;
}

inline void put(unsigned char* p, uint32_t rgb) {
    p[0] = static_cast<unsigned char>(rgb >> 16);
    p[1] = static_cast<unsigned char>(rgb >> 8);
    p[2] = static_cast<unsigned char>(rgb);
}

}  // namespace

int frame_ensure(ClientFrame* f, int width, int height) {
    if (width <= 0 || height <= 0 || width > 16384 || height > 16384) return 0;
    if (f->rgb && f->width == width && f->height == height) return 1;
    auto* block = static_cast<unsigned char*>(malloc(static_cast<size_t>(width) * height * 3));
    if (!block) return 0;
    free(f->rgb);
    f->rgb = block;
    f->width = width;
    f->height = height;
    f->stride = width * 3;
    return 1;
}

void frame_fill(ClientFrame* f, uint32_t rgb) {
    if (!f->rgb) return;
    unsigned char px[3];
    put(px, rgb);
    if (px[0] == px[1] && px[1] == px[2]) {
        memset(f->rgb, px[0], static_cast<size_t>(f->stride) * f->height);
        return;
    }
    for (int x = 0; x < f->width; x++) memcpy(at(f, x, 0), px, 3);
    for (int y = 1; y < f->height; y++) memcpy(at(f, 0, y), f->rgb, static_cast<size_t>(f->width) * 3);
}

void frame_hline(ClientFrame* f, int x0, int x1, int y, uint32_t rgb) {
    if (!f->rgb || y < 0 || y >= f->height) return;
    if (x1 < x0) std::swap(x0, x1), x0++, x1++;
    x0 = std::max(x0, 0);
    x1 = std::min(x1, f->width);
    for (int x = x0; x < x1; x++) put(at(f, x, y), rgb);
}

void frame_vline(ClientFrame* f, int x, int y0, int y1, uint32_t rgb) {
    if (!f->rgb || x < 0 || x >= f->width) return;
    if (y1 < y0) std::swap(y0, y1), y0++, y1++;
    y0 = std::max(y0, 0);
    y1 = std::min(y1, f->height);
    for (int y = y0; y < y1; y++) put(at(f, x, y), rgb);
}

void frame_put_rgb(ClientFrame* f, int x, int y, const unsigned char* rgb, int w, int h) {
    if (!f->rgb || !rgb) return;
    int c0 = std::max(0, -x), c1 = std::min(w, f->width - x);
    if (c1 <= c0) return;
    for (int r = std::max(0, -y); r < h && y + r < f->height; r++)
        memcpy(at(f, x + c0, y + r), rgb + (static_cast<long>(r) * w + c0) * 3, static_cast<size_t>(c1 - c0) * 3);
}

void frame_put_bgr(ClientFrame* f, int x, int y, const unsigned char* bits, int stride, int sx, int sy, int w, int h) {
    if (!f->rgb || !bits) return;
    int c0 = std::max(0, -x), c1 = std::min(w, f->width - x);
    if (c1 <= c0) return;
    for (int r = std::max(0, -y); r < h && y + r < f->height; r++) {
        const unsigned char* s = bits + static_cast<long>(sy + r) * stride + static_cast<long>(sx + c0) * 3;
        pixel_row_swap_rb(at(f, x + c0, y + r), s, c1 - c0);
    }
}
