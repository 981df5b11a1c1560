// The paint of the map window: the program composes the client area and
// hands it over with one blit, then draws its outlined text on top.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include <cairo.h>
#include <wx/graphics.h>

#include "app/window_events.h"
#include "app/app_state.h"
#include "app/view_pane.h"
#include "maps/map_view.h"
#include "maps/view_plane.h"
#include "position/gps_fix.h"
#include "ui/wx/wx_window.h"

namespace {

struct PaintState {
    long paints;
    int sheetShown;                    // "kiv: painted" was printed
    int blitted;                       // this paint put the frame on screen
    // The fonts of the heights and weights a paint uses (read-outs, scale,
    // fix strip), each made once: making one costs more than its text.
    struct Font {
        wxFont font;
        int height, weight;
    };
    std::vector<Font> fonts;
    // Texts drawn once into a coverage picture and kept: a paint draws the
    // same few read-outs (the speed five times, for its outline) frame
    // after frame, and laying out text costs more than the rest of a paint
    // but the composing. Least recently drawn first to go.
    struct Text {
        std::string utf8;
        int height, weight;
        cairo_surface_t* coverage;     // alpha: the text's pixels; null when it draws nothing
        long used;                     // the paint that last drew it
    };
    std::vector<Text> texts;
    // The client frame as an image the X server reads itself (shared
    // memory), so putting it on the window copies nothing here.
    cairo_surface_t* shared;
    std::vector<unsigned char> packed; // RGB rows where cairo is not at hand
    double lastPaintMs;
    double lastPaintCpuMs;             // the paint's thread's CPU time, of lastPaintMs
};
PaintState paint_state;

// The program places its text at about half the font height per character,
// the advance of the usual sans-serif face; wider faces would run off the
// pane. Pango takes the first of these families that is installed.
const char kSwissFaces[] = "Liberation Sans,Arimo,Arial,DejaVu Sans Condensed,Sans";

wxFont swissFont(int pixelHeight, int weight) {
    wxFont font(wxSize(0, pixelHeight > 0 ? pixelHeight : 1), wxFONTFAMILY_SWISS, wxFONTSTYLE_NORMAL,
                wxFONTWEIGHT_NORMAL, false, kSwissFaces);
    font.SetNumericWeight(weight);
    return font;
}

// A font whose cell (ascent + descent) is `height` pixels, as the program's
// heights mean, whatever em size the toolkit gives a pixel size.
wxFont fontForCell(wxDC* dc, int height, int weight) {
    wxFont font = swissFont(height, weight);
    dc->SetFont(font);
    int cell = dc->GetCharHeight();
    if (cell > 0 && cell != height) font = swissFont(height * height / cell, weight);
    return font;
}

// The view a paint showed and where the vehicle was drawn in it (client
// pixels; "-" when not in the pane), when either changed.
void reportView() {
    static ViewRecord last{};
    static int lastX = -1, lastY = -1;
    ViewRecord view;
    if (!view_pane_current(&view)) return;
    int x = -1, y = -1;
    if (gps_has_position() && view_position_pixel(view, gps_latitude(), gps_longitude(), &x, &y)) {
        x += APP_PANE_X;
        y += APP_PANE_Y;
    }
    if (view.plane == last.plane && view.level == last.level && view.cx == last.cx && view.cy == last.cy && view.width == last.width &&
        view.height == last.height && x == lastX && y == lastY)
        return;
    last = view;
    lastX = x;
    lastY = y;
    wx_log("kiv: view %d %.3f %.3f %d %d %.6f vehicle %d %d plane %d\n", view.level, view.cx, view.cy, view.width,
           view.height, view.mpp, x, y, view.plane);
}

// Only with KIV_PAINT_LOG=1: a person starting the program sees nothing on
// the console.
void report(wxWindow* map) {
    PaintState& p = paint_state;
    if (!wx_window.log || !p.blitted) return;
    // The frame composed, in device pixels, when its size changed.
    static int frameW = 0, frameH = 0;
    if (app_window.frame.width != frameW || app_window.frame.height != frameH) {
        frameW = app_window.frame.width;
        frameH = app_window.frame.height;
        wx_log("kiv: frame %d %d\n", frameW, frameH);
    }
    if ((!map_view.dibHeader && !view_pane_composing()) || map_view.imageWidth <= 0) return;
    reportView();
    if (p.sheetShown) {
        wx_log("kiv: painted %ld\n", p.paints);
        return;
    }
    p.sheetShown = 1;
    // Where the client area is on the screen, in the toolkit's pixels, and
    // how many device pixels each of them takes.
    wxPoint origin = map->ClientToScreen(wxPoint(0, 0));
    wxSize size = map->GetClientSize();
    wx_log("kiv: client %d %d %d %d scale %g\n", origin.x, origin.y, size.x, size.y, map->GetContentScaleFactor());
    wx_log("kiv: painted\n");
}

}  // namespace

void wx_paint(wxWindow* map) {
    wxPaintDC dc(map);
    // A paint inside a paint (a nested loop under the program's paint) would
    // draw with the outer one's state half-built: the outer one covers it.
    if (wx_window.paintDc) return;
    PaintState& p = paint_state;
    // The program composes in device pixels: on a scaled display the frame
    // and its text go to the screen one to one, not enlarged.
    if (wxGraphicsContext* gc = dc.GetGraphicsContext()) gc->SetInterpolationQuality(wxINTERPOLATION_NONE);
    const double scale = wx_scale();
    dc.SetUserScale(1 / scale, 1 / scale);
    wx_paint_started();
    wx_window.paintDc = &dc;
    p.blitted = 0;
    auto start = std::chrono::steady_clock::now();
    timespec cpuStart{}, cpuEnd{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpuStart);
    app_paint();
    p.lastPaintMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpuEnd);
    p.lastPaintCpuMs = (cpuEnd.tv_sec - cpuStart.tv_sec) * 1e3 + (cpuEnd.tv_nsec - cpuStart.tv_nsec) / 1e6;
    wx_window.paintDc = nullptr;
    p.paints++;
    wx_paint_finished();
    report(map);
}

double wx_last_paint_ms() { return paint_state.lastPaintMs; }
double wx_last_paint_cpu_ms() { return paint_state.lastPaintCpuMs; }
long wx_paint_count() { return paint_state.paints; }

namespace {

cairo_t* paintCairo() {
    wxDC* dc = wx_window.paintDc;
    wxGraphicsContext* gc = dc ? dc->GetGraphicsContext() : nullptr;
    return gc ? static_cast<cairo_t*>(gc->GetNativeContext()) : nullptr;
}

// An image put in the window pixel for pixel: the frame is in device
// pixels, so the nearest-pixel filter keeps it as composed.
void putNearest(cairo_t* cr, cairo_surface_t* image, int x, int y, int w, int h) {
    cairo_save(cr);
    cairo_set_source_surface(cr, image, x, y);
    cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_NEAREST);
    cairo_rectangle(cr, x, y, w, h);
    cairo_fill(cr);
    cairo_restore(cr);
}

// The frame composed in the shared image: put as it is.
bool blitShared(int x, int y, int w, int h, const uint32_t* px, int stride) {
    cairo_surface_t* shared = paint_state.shared;
    cairo_t* cr = paintCairo();
    if (!cr || !shared || reinterpret_cast<const unsigned char*>(px) != cairo_image_surface_get_data(shared) ||
        stride * 4 != cairo_image_surface_get_stride(shared) || x != 0 || y != 0 ||
        w != cairo_image_surface_get_width(shared) || h != cairo_image_surface_get_height(shared))
        return false;
    cairo_surface_mark_dirty(shared);
    putNearest(cr, shared, x, y, w, h);
    return true;
}

// The frame itself is the cairo image (its pixels are cairo's RGB24), so
// nothing is copied before cairo puts it in the window; in device pixels,
// one to one, so the nearest-pixel filter keeps it as composed.
bool blitThroughCairo(wxDC* dc, int x, int y, int w, int h, const uint32_t* px, int stride) {
    wxGraphicsContext* gc = dc->GetGraphicsContext();
    auto* cr = gc ? static_cast<cairo_t*>(gc->GetNativeContext()) : nullptr;
    if (!cr) return false;
    cairo_surface_t* frame =
        cairo_image_surface_create_for_data(reinterpret_cast<unsigned char*>(const_cast<uint32_t*>(px)),
                                            CAIRO_FORMAT_RGB24, w, h, stride * 4);
    if (cairo_surface_status(frame) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(frame);
        return false;
    }
    putNearest(cr, frame, x, y, w, h);
    // Finished before the frame's memory is written again by the next paint.
    cairo_surface_finish(frame);
    cairo_surface_destroy(frame);
    return true;
}

}  // namespace

uint32_t* wx_frame_pixels(int w, int h, int* stride) {
    cairo_t* cr = paintCairo();
    if (!cr || cairo_surface_get_type(cairo_get_target(cr)) != CAIRO_SURFACE_TYPE_XLIB) return nullptr;
    cairo_surface_t*& shared = paint_state.shared;
    if (shared && (cairo_image_surface_get_width(shared) != w || cairo_image_surface_get_height(shared) != h))
        cairo_surface_destroy(shared), shared = nullptr;
    if (!shared) {
        // On an X server with shared memory, an image in it.
        shared = cairo_surface_create_similar_image(cairo_get_target(cr), CAIRO_FORMAT_RGB24, w, h);
        if (cairo_surface_status(shared) != CAIRO_STATUS_SUCCESS || !cairo_image_surface_get_data(shared) ||
            cairo_image_surface_get_stride(shared) % 4) {
            cairo_surface_destroy(shared);
            shared = nullptr;
            return nullptr;
        }
    }
    // Waits, if need be, for the server to have read the last frame.
    cairo_surface_flush(shared);
    *stride = cairo_image_surface_get_stride(shared) / 4;
    return reinterpret_cast<uint32_t*>(cairo_image_surface_get_data(shared));
}

void wx_blit_xrgb(int x, int y, int w, int h, const uint32_t* px, int stride) {
    wxDC* dc = wx_window.paintDc;
    if (!dc || !px || w <= 0 || h <= 0 || stride < w) return;
    if (blitShared(x, y, w, h, px, stride) || blitThroughCairo(dc, x, y, w, h, px, stride)) {
        paint_state.blitted = 1;
        return;
    }
    std::vector<unsigned char>& packed = paint_state.packed;
    packed.resize(static_cast<size_t>(w) * h * 3);
    for (int r = 0; r < h; r++)
        for (int c = 0; c < w; c++) {
            uint32_t p = px[static_cast<size_t>(r) * stride + c];
            unsigned char* to = &packed[(static_cast<size_t>(r) * w + c) * 3];
            to[0] = static_cast<unsigned char>(p >> 16), to[1] = static_cast<unsigned char>(p >> 8),
            to[2] = static_cast<unsigned char>(p);
        }
    // No copy into the image: the bitmap conversion reads the packed rows.
    wxImage image(w, h, packed.data(), true);
    dc->DrawBitmap(wxBitmap(image), x, y, false);
    paint_state.blitted = 1;
}

namespace {

// Room around a text's cell for the strokes a face draws beyond it.
constexpr int kTextPad = 4;

wxFont& keptFont(wxDC* dc, int height, int weight) {
    std::vector<PaintState::Font>& fonts = paint_state.fonts;
    auto kept = std::find_if(fonts.begin(), fonts.end(),
                             [&](const PaintState::Font& f) { return f.height == height && f.weight == weight; });
    if (kept != fonts.end()) return kept->font;
    if (fonts.size() >= 8) fonts.erase(fonts.begin());
    fonts.push_back({fontForCell(dc, height, weight), height, weight});
    return fonts.back().font;
}

// The text drawn in white on nothing: its coverage, in device pixels, with
// its cell's top-left corner kTextPad pixels in.
cairo_surface_t* textCoverage(const wxFont& font, const wxString& text) {
    wxGraphicsRenderer* renderer = wxGraphicsRenderer::GetCairoRenderer();
    if (!renderer) return nullptr;
    double w = 0, h = 0;
    {
        cairo_surface_t* probe = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 1, 1);
        cairo_t* cr = cairo_create(probe);
        if (wxGraphicsContext* gc = renderer->CreateContextFromNativeContext(cr)) {
            gc->SetFont(font, *wxWHITE);
            gc->GetTextExtent(text, &w, &h);
            delete gc;
        }
        cairo_destroy(cr);
        cairo_surface_destroy(probe);
    }
    if (!(w > 0) || !(h > 0)) return nullptr;
    cairo_surface_t* coverage = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, static_cast<int>(std::ceil(w)) + 2 * kTextPad,
                                                           static_cast<int>(std::ceil(h)) + 2 * kTextPad);
    cairo_t* cr = cairo_create(coverage);
    if (wxGraphicsContext* gc = renderer->CreateContextFromNativeContext(cr)) {
        gc->SetFont(font, *wxWHITE);
        gc->DrawText(text, kTextPad, kTextPad);
        delete gc;
    }
    cairo_destroy(cr);
    cairo_surface_flush(coverage);
    return coverage;
}

PaintState::Text* keptText(wxDC* dc, const char* utf8, int height, int weight) {
    std::vector<PaintState::Text>& texts = paint_state.texts;
    for (PaintState::Text& t : texts)
        if (t.height == height && t.weight == weight && t.utf8 == utf8) return &t;
    constexpr size_t kKept = 64;
    if (texts.size() >= kKept) {
        auto oldest = std::min_element(texts.begin(), texts.end(),
                                       [](const PaintState::Text& a, const PaintState::Text& b) { return a.used < b.used; });
        if (oldest->coverage) cairo_surface_destroy(oldest->coverage);
        texts.erase(oldest);
    }
    texts.push_back({utf8, height, weight, textCoverage(keptFont(dc, height, weight), wxString::FromUTF8(utf8)), 0});
    return &texts.back();
}

}  // namespace

void wx_draw_text(int x, int y, const char* utf8, int height, int weight, uint32_t rgb) {
    wxDC* dc = wx_window.paintDc;
    if (!dc || !utf8 || height <= 0) return;
    const double red = ((rgb >> 16) & 0xFF) / 255.0, green = ((rgb >> 8) & 0xFF) / 255.0, blue = (rgb & 0xFF) / 255.0;
    wxGraphicsContext* gc = dc->GetGraphicsContext();
    if (auto* cr = gc ? static_cast<cairo_t*>(gc->GetNativeContext()) : nullptr) {
        PaintState::Text* text = keptText(dc, utf8, height, weight);
        text->used = paint_state.paints;
        if (!text->coverage) return;
        cairo_save(cr);
        cairo_set_source_rgb(cr, red, green, blue);
        cairo_mask_surface(cr, text->coverage, x - kTextPad, y - kTextPad);
        cairo_restore(cr);
        return;
    }
    dc->SetFont(keptFont(dc, height, weight));
    dc->SetBackgroundMode(wxBRUSHSTYLE_TRANSPARENT);
    dc->SetTextForeground(wxColour((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF));
    dc->DrawText(wxString::FromUTF8(utf8), x, y);
}
