#include "app/client_frame.h"

#include <algorithm>
#include <cstdlib>

#include "app/app_state.h"
#include "app/night_palette.h"
#include "platform/big_block.h"
#include "platform/pixel_rows.h"
#include "platform/platform.h"

namespace {

inline uint32_t* at(ClientFrame* f, int x, int y) {
    return f->px + static_cast<long>(y) * f->stride + x;
}

// A row just put in day colours, through the frame's night colours.
void nightRow(const ClientFrame* f, uint32_t* row, int n) {
    if (f->night)
        for (int i = 0; i < n; i++) row[i] = colour_curve_pixel(f->night->curve, row[i]);
}

}  // namespace

void frame_marked(const ClientFrame* f, int x0, int y0, int x1, int y1) {
    FrameMarks* m = f->marks;
    if (!m || !m->recording || x1 <= x0 || y1 <= y0) return;
    const FrameMarks::Rect& p = m->pane;
    if (x0 < p.x0 || y0 < p.y0 || x1 > p.x1 || y1 > p.y1) m->outside = true;
    x0 = std::max(x0, p.x0), y0 = std::max(y0, p.y0), x1 = std::min(x1, p.x1), y1 = std::min(y1, p.y1);
    if (x1 <= x0 || y1 <= y0) return;
    const int c0 = (x0 - p.x0) / FrameMarks::TILE, c1 = (x1 - 1 - p.x0) / FrameMarks::TILE;
    const int r0 = (y0 - p.y0) / FrameMarks::TILE, r1 = (y1 - 1 - p.y0) / FrameMarks::TILE;
    if (c1 >= m->columns || r1 >= m->rows) return;
    for (int r = r0; r <= r1; r++)
        std::fill_n(m->tiles.begin() + static_cast<long>(r) * m->columns + c0, c1 - c0 + 1, static_cast<uint8_t>(1));
}

int frame_ensure(ClientFrame* f, int width, int height) {
    if (width <= 0 || height <= 0 || width > 16384 || height > 16384) return 0;
    // Composed straight into the memory the window system reads, where it
    // lends it: asked at every paint, as it may have to wait for the last
    // frame to be read first.
    int stride = 0;
    if (uint32_t* lent = platform_frame_pixels(width, height, &stride); lent && stride >= width) {
        if (!f->borrowed) free(f->px);
        *f = ClientFrame{lent, width, height, stride, true, f->night, f->marks};
        return 1;
    }
    if (f->px && !f->borrowed && f->width == width && f->height == height) return 1;
    if (f->borrowed) f->px = nullptr, f->borrowed = false;
    auto* block = static_cast<uint32_t*>(big_block_alloc(static_cast<size_t>(width) * height * sizeof(uint32_t)));
    if (!block) return 0;
    free(f->px);
    f->px = block;
    f->width = width;
    f->height = height;
    f->stride = width;
    return 1;
}

void frame_fill_rect(ClientFrame* f, int x, int y, int w, int h, uint32_t rgb) {
    if (!f->px) return;
    int x0 = std::max(x, 0), y0 = std::max(y, 0), x1 = std::min(x + w, f->width), y1 = std::min(y + h, f->height);
    if (x1 <= x0) return;
    if (y1 <= y0) return;
    const uint32_t pixel = frame_colour(f, rgb);
    for (int r = y0; r < y1; r++) std::fill(at(f, x0, r), at(f, x1, r), pixel);
    frame_marked(f, x0, y0, x1, y1);
}

void frame_fill(ClientFrame* f, uint32_t rgb) { frame_fill_rect(f, 0, 0, f->width, f->height, rgb); }

void frame_fill_around(ClientFrame* f, int x, int y, int w, int h, uint32_t rgb) {
    w = std::max(w, 0), h = std::max(h, 0);
    frame_fill_rect(f, 0, 0, f->width, y, rgb);
    frame_fill_rect(f, 0, y, x, h, rgb);
    frame_fill_rect(f, x + w, y, f->width - x - w, h, rgb);
    frame_fill_rect(f, 0, y + h, f->width, f->height - y - h, rgb);
}

void frame_hline(ClientFrame* f, int x0, int x1, int y, uint32_t rgb) {
    if (x1 < x0) std::swap(x0, x1), x0++, x1++;
    frame_fill_rect(f, x0, y, x1 - x0, 1, rgb);
}

void frame_vline(ClientFrame* f, int x, int y0, int y1, uint32_t rgb) {
    if (y1 < y0) std::swap(y0, y1), y0++, y1++;
    frame_fill_rect(f, x, y0, 1, y1 - y0, rgb);
}

void frame_put_rgb(ClientFrame* f, int x, int y, const unsigned char* rgb, int w, int h) {
    if (!f->px || !rgb) return;
    int c0 = std::max(0, -x), c1 = std::min(w, f->width - x);
    if (c1 <= c0) return;
    for (int r = std::max(0, -y); r < h && y + r < f->height; r++)
        palette_row_rgb(at(f, x + c0, y + r), rgb + (static_cast<long>(r) * w + c0) * 3, f->night ? &f->night->curve : nullptr,
                        c1 - c0);
    frame_marked(f, x + c0, y, x + c1, y + h);
}

void frame_put_bgr(ClientFrame* f, int x, int y, const unsigned char* bits, int stride, int sx, int sy, int w, int h) {
    if (!f->px || !bits) return;
    int c0 = std::max(0, -x), c1 = std::min(w, f->width - x);
    if (c1 <= c0) return;
    for (int r = std::max(0, -y); r < h && y + r < f->height; r++) {
        const unsigned char* s = bits + static_cast<long>(sy + r) * stride + static_cast<long>(sx + c0) * 3;
        pixel_row_bgr_to_xrgb(at(f, x + c0, y + r), s, c1 - c0);
        nightRow(f, at(f, x + c0, y + r), c1 - c0);
    }
    frame_marked(f, x + c0, y, x + c1, y + h);
}
