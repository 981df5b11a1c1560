#include "app/toolbar.h"

#include <cstdio>

#include "app/app_state.h"
#include "app/client_frame.h"
#include "app/toolbar_bitmaps.h"
#include "maps/zoom_levels.h"
#include "platform/platform.h"

namespace {
const int button_x[] = {0, 14, 67, 110, 153, 196, 254, 299, 344, 389, 434};
int hovered = TOOL_NONE;               // the button whose tip is up
}

namespace {

// The lines of the band, as thick as a pixel of a screen at scale 1.
void hline(ClientFrame* f, int x0, int x1, int y, uint32_t rgb) {
    frame_fill_rect(f, app_px(x0), app_px(y), app_px(x1) - app_px(x0), app_px(1), rgb);
}
void vline(ClientFrame* f, int x, int y0, int y1, uint32_t rgb) {
    frame_fill_rect(f, app_px(x), app_px(y0), app_px(1), app_px(y1) - app_px(y0), rgb);
}

// A button's face, each of its pixels a block on a scaled screen.
void putFace(ClientFrame* f, int x, int y, const unsigned char* rgb) {
    const int n = TOOLBAR_BITMAP_SIZE, k = app_px(1);
    if (k == 1) {
        frame_put_rgb(f, x, y, rgb, n, n);
        return;
    }
    for (int r = 0; r < n; r++)
        for (int c = 0; c < n; c++) {
            const unsigned char* p = rgb + (r * n + c) * 3;
            frame_fill_rect(f, x + c * k, y + r * k, k, k, (static_cast<uint32_t>(p[0]) << 16) | (p[1] << 8) | p[2]);
        }
}

}  // namespace

void toolbar_draw(ClientFrame* f, int autoPan, int zoomLevel) {
    const int w = (f->width + app_px(1) - 1) / app_px(1);
    hline(f, 0, w, 1, RGB_BLACK);
    hline(f, 0, w, 2, RGB_WHITE);
    hline(f, 0, w, 42, RGB_BLACK);
    hline(f, 0, w, 43, RGB_WHITE);
    vline(f, 2, 5, 40, RGB_BLACK);
    vline(f, 3, 5, 40, RGB_WHITE);
    // Separators after the auto-pan button, the pan buttons and the levels.
    const int separators[] = {56, 238, 478};
    for (int x : separators) {
        vline(f, x, 5, 40, RGB_BLACK);
        vline(f, x + 1, 5, 40, RGB_WHITE);
    }
    auto face = [&](int button, int id) { putFace(f, app_px(button_x[button]), APP_BUTTON_Y, toolbar_bitmap(id)); };
    face(TOOL_AUTO_PAN, autoPan ? BITMAP_GPS_PRESSED : BITMAP_GPS);
    face(TOOL_WEST, BITMAP_WEST);
    face(TOOL_NORTH, BITMAP_NORTH);
    face(TOOL_SOUTH, BITMAP_SOUTH);
    face(TOOL_EAST, BITMAP_EAST);
    for (int i = 0; i < 5; i++) face(TOOL_LEVEL_0 + i, (i == zoomLevel ? BITMAP_LEVEL_PRESSED : BITMAP_LEVEL) + i);
}

int toolbar_hit(int x, int y) {
    if (y < APP_BUTTON_Y || y >= APP_BUTTON_Y + APP_BUTTON_SIZE) return TOOL_NONE;
    for (int b = TOOL_AUTO_PAN; b <= TOOL_LEVEL_0 + 4; b++)
        if (x > app_px(button_x[b]) && x < app_px(button_x[b]) + APP_BUTTON_SIZE) return b;
    return TOOL_NONE;
}

void toolbar_tooltip(int button, char* out, int size) {
    if (size <= 0) return;
    const char* pans[] = {"Pan west", "Pan north", "Pan south", "Pan east"};
    out[0] = 0;
    if (button == TOOL_AUTO_PAN) {
        snprintf(out, static_cast<size_t>(size), "Auto Pan: the map follows the GPS position");
    } else if (button >= TOOL_WEST && button <= TOOL_EAST) {
        snprintf(out, static_cast<size_t>(size), "%s", pans[button - TOOL_WEST]);
    } else if (button >= TOOL_LEVEL_0 && button <= TOOL_LEVEL_0 + 4) {
        // The scale in force: Zoom=S doubles them.
        long scale = zoom_level_scale(button - TOOL_LEVEL_0);
        if (scale >= 1000000)
            snprintf(out, static_cast<size_t>(size), "Maps at 1:%ld %03ld %03ld", scale / 1000000, scale / 1000 % 1000,
                     scale % 1000);
        else
            snprintf(out, static_cast<size_t>(size), "Maps at 1:%ld %03ld", scale / 1000, scale % 1000);
    }
}

void toolbar_hover(int x, int y) {
    int button = toolbar_hit(x, y);
    if (button == hovered) return;
    hovered = button;
    char tip[64];
    toolbar_tooltip(button, tip, sizeof tip);
    platform_set_tooltip(tip);
}
