#include "app/tile_credit.h"

#include <cstdlib>
#include <cstring>

#include "app/client_frame.h"
#include "maps/sheet_caption.h"
#include "settings/app_settings.h"

int tile_credit_height(const AppSettings* s) {
    const TileSource& t = s->satelliteImage ? s->tilesAerial : s->tiles;
    int w = 0, h = 0;
    if (t.url[0] && t.attribution[0]) sheet_caption_size(t.attribution, &w, &h);
    return w > 0 ? h : 0;
}

void tile_credit_draw(const AppSettings* s, ClientFrame* f, int paneX, int paneY, int paneWidth) {
    const TileSource& t = s->satelliteImage ? s->tilesAerial : s->tiles;
    if (!t.url[0] || !t.attribution[0]) return;
    int w = 0, h = 0;
    sheet_caption_size(t.attribution, &w, &h);
    if (w > paneWidth) w = paneWidth;  // the caption keeps its end
    if (w <= 0) return;
    auto* rgb = static_cast<unsigned char*>(malloc(static_cast<size_t>(w) * h * 3));
    if (!rgb) return;
    memset(rgb, 255, static_cast<size_t>(w) * h * 3);
    sheet_caption_draw(rgb, w, h, t.attribution);
    frame_put_rgb(f, paneX + paneWidth - w, paneY, rgb, w, h);
    free(rgb);
}
