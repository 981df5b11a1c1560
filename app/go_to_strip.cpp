#include "app/app_state.h"
#include "app/go_to_strip.h"

#include <vector>

#include "app/client_frame.h"
#include "app/go_to.h"
#include "app/night_palette.h"
#include "app/road_routing.h"
#include "nav/navigation_text.h"
#include "platform/platform.h"
#include "position/gps_fix.h"
#include "settings/app_settings.h"

namespace {

constexpr int kTextHeight = 15, kLineHeight = 18, kMargin = 6;
// A bold character of the strip's height is about 7 pixels wide on average
// in the usual sans fonts (capitals up to 10): 8 keeps the strip's lines on
// the pane without wasting one.
constexpr int kCharWidth = 8;
constexpr uint32_t kBand = 0xFFFFF0;

// Characters as drawn: a UTF-8 sequence is one.
int shownLength(const std::string& text) {
    int n = 0;
    for (unsigned char c : text) n += (c & 0xC0) != 0x80;
    return n;
}

// Cut to n characters, never inside a UTF-8 sequence.
std::string cut(const std::string& text, int n) {
    size_t at = 0;
    for (int shown = 0; at < text.size(); at++) {
        if ((static_cast<unsigned char>(text[at]) & 0xC0) != 0x80 && shown++ == n) break;
    }
    return text.substr(0, at);
}

}  // namespace

void go_to_strip_layout(const AppSettings* s, const NavReading& r, long long nowUtc, int paneWidth, GoToStrip* out) {
    *out = GoToStrip{};
    const NavState& state = go_to_state();
    // Road routes say their own items on the same strip.
    std::vector<std::string> items;
    const bool road = road_routing_strip_items(s, nowUtc, &items);
    if ((!road && state.points.empty()) || paneWidth < 120) return;
    if (!road) {
        items = nav_strip_items(r, s->speedUnit, gps_zone_minutes(), nowUtc);
        const char* reached = go_to_reached_note();
        if (reached[0] && !r.arrived) items.insert(items.begin(), std::string("Reached ") + reached);
        if (!r.active) {
            const NavPoint& to = state.points[static_cast<size_t>(state.leg)];
            items = {"Go To" + (to.name.empty() ? std::string() : " " + to.name), "waiting for a position"};
        }
    }
    const int room = (paneWidth - 2 * app_px(kMargin)) / app_px(kCharWidth);
    for (const std::string& item : items) {
        std::string& line = out->text[out->lines ? out->lines - 1 : 0];
        if (out->lines && shownLength(line) + 2 + shownLength(item) <= room) {
            line += "  " + item;
            continue;
        }
        if (out->lines == GO_TO_STRIP_LINES) break;
        out->text[out->lines++] = cut(item, room);
    }
}

int go_to_strip_height(const GoToStrip& strip) { return strip.lines ? strip.lines * app_px(kLineHeight) + app_px(4) : 0; }

void go_to_strip_band(ClientFrame* f, int paneX, int bottom, int paneWidth, const GoToStrip& strip) {
    int h = go_to_strip_height(strip);
    if (h) frame_fill_rect(f, paneX, bottom - h, paneWidth, h, kBand);
}

void go_to_strip_text(int paneX, int bottom, const GoToStrip& strip, int night) {
    int y = bottom - go_to_strip_height(strip) + app_px(3);
    for (int i = 0; i < strip.lines; i++, y += app_px(kLineHeight))
        platform_draw_text(paneX + app_px(kMargin), y, strip.text[i].c_str(), app_px(kTextHeight), 700,
                           night ? NIGHT_READOUT_TEXT : RGB_BLACK);
}
