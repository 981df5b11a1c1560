#include "platform/headless.h"

#include <algorithm>
#include <ctime>
#include <mutex>

#include "platform/platform.h"

namespace {
struct HeadlessState {
    std::mutex lock;
    std::vector<HeadlessCall> calls;
    std::map<int, int> checked, enabled;
    std::string title;
    int repaints = 0;
    int answer = PLATFORM_ANSWER_OK;
    int64_t clock = -1;
    int64_t clockMs = -1;
    int scale = 1;                     // device pixels to a toolkit pixel
    std::vector<uint32_t> frame;  // canvas, 0xRRGGBB
    int frameW = 0, frameH = 0;
    std::vector<uint8_t> painted; // 1 where a blit landed
    int blits = 0;
    int timerMs = 0;
    int quitCode = -1;
    int destroyed = 0;
    int closePosted = 0;
    int (*dialogHook)(int, void*) = nullptr;
    std::string openFile;
};
HeadlessState state;

void record(HeadlessCall c) {
    std::lock_guard<std::mutex> g(state.lock);
    state.calls.push_back(std::move(c));
}

int hl_message_box(const char* text, const char* caption, int style) {
    record({"message_box", text ? text : "", caption ? caption : "", style, 0});
    std::lock_guard<std::mutex> g(state.lock);
    return state.answer;
}
void hl_menu_check(int id, int on) {
    record({"menu_check", "", "", id, on});
    std::lock_guard<std::mutex> g(state.lock);
    state.checked[id] = on;
}
void hl_menu_enable(int id, int on) {
    record({"menu_enable", "", "", id, on});
    std::lock_guard<std::mutex> g(state.lock);
    state.enabled[id] = on;
}
void hl_busy_cursor(int on) { record({"busy_cursor", "", "", on, 0}); }
void hl_invalidate() {
    record({"invalidate", "", "", 0, 0});
    std::lock_guard<std::mutex> g(state.lock);
    state.repaints++;
}
int hl_repaint_and_wait(int timeout_ms) {
    record({"repaint_and_wait", "", "", timeout_ms, 0});
    std::lock_guard<std::mutex> g(state.lock);
    state.repaints++;
    return 1;
}
void hl_set_title(const char* t) {
    record({"set_title", t ? t : "", "", 0, 0});
    std::lock_guard<std::mutex> g(state.lock);
    state.title = t ? t : "";
}
int64_t hl_clock_ms() {
    std::lock_guard<std::mutex> g(state.lock);
    return state.clockMs;
}
int64_t hl_clock_seconds() {
    std::lock_guard<std::mutex> g(state.lock);
    return state.clock;  // negative while unset: the system's clocks
}

void hl_blit_xrgb(int x, int y, int w, int h, const uint32_t* px, int stride) {
    record({"blit_xrgb", "", "", w, h});
    std::lock_guard<std::mutex> g(state.lock);
    state.blits++;
    if (x < 0 || y < 0 || w <= 0 || h <= 0 || !px) return;
    int needW = std::max(state.frameW, x + w), needH = std::max(state.frameH, y + h);
    if (needW != state.frameW || needH != state.frameH) {
        std::vector<uint32_t> f(static_cast<size_t>(needW) * needH, 0);
        std::vector<uint8_t> p(static_cast<size_t>(needW) * needH, 0);
        for (int r = 0; r < state.frameH; r++)
            for (int c = 0; c < state.frameW; c++) {
                size_t from = static_cast<size_t>(r) * state.frameW + c, to = static_cast<size_t>(r) * needW + c;
                f[to] = state.frame[from];
                p[to] = state.painted[from];
            }
        state.frame.swap(f);
        state.painted.swap(p);
        state.frameW = needW;
        state.frameH = needH;
    }
    for (int r = 0; r < h; r++) {
        size_t to = static_cast<size_t>(y + r) * state.frameW + x;
        const uint32_t* row = px + static_cast<size_t>(r) * stride;
        for (int c = 0; c < w; c++) state.frame[to + c] = row[c] & 0xFFFFFFu;
        std::fill_n(&state.painted[to], w, 1);
    }
}
void hl_draw_text(int x, int y, const char* t, int height, int weight, uint32_t rgb) {
    HeadlessCall c{"draw_text", t ? t : "", "", x, y};
    c.c = height;
    c.d = weight;
    c.rgb = rgb;
    record(c);
}
void hl_set_timer(int ms) {
    record({"set_timer", "", "", ms, 0});
    std::lock_guard<std::mutex> g(state.lock);
    state.timerMs = ms;
}
void hl_kill_timer() {
    record({"kill_timer", "", "", 0, 0});
    std::lock_guard<std::mutex> g(state.lock);
    state.timerMs = 0;
}
void hl_destroy_window() {
    record({"destroy_window", "", "", 0, 0});
    std::lock_guard<std::mutex> g(state.lock);
    state.destroyed = 1;
}
void hl_quit(int code) {
    record({"quit", "", "", code, 0});
    std::lock_guard<std::mutex> g(state.lock);
    state.quitCode = code;
}
void hl_post_close() {
    record({"post_close", "", "", 0, 0});
    std::lock_guard<std::mutex> g(state.lock);
    state.closePosted = 1;
}
void hl_invalidate_erase(int erase) {
    record({"invalidate", "", "", erase, 0});
    std::lock_guard<std::mutex> g(state.lock);
    state.repaints++;
}
int hl_run_dialog(int kind, void* dialogState) {
    record({"run_dialog", "", "", kind, 0});
    int (*hook)(int, void*);
    {
        std::lock_guard<std::mutex> g(state.lock);
        hook = state.dialogHook;
    }
    return hook ? hook(kind, dialogState) : 1;
}
void hl_show_monitor(void*) { record({"show_monitor", "", "", 0, 0}); }
int hl_open_file_dialog(const char* filters, const char* dir, const char*, int* index, char* out, int size) {
    record({"open_file_dialog", filters ? filters : "", dir ? dir : "", index ? *index : 0, 0});
    std::lock_guard<std::mutex> g(state.lock);
    if (state.openFile.empty() || !out || size <= 0 || state.openFile.size() >= static_cast<size_t>(size)) return 0;
    std::copy(state.openFile.begin(), state.openFile.end(), out);
    out[state.openFile.size()] = 0;
    return 1;
}
void hl_set_repaint_stop(int stop) { record({"repaint_stop", "", "", stop, 0}); }
void hl_set_tooltip(const char* t) { record({"set_tooltip", t ? t : "", "", 0, 0}); }
void hl_set_full_screen(int on) { record({"full_screen", "", "", on, 0}); }
void hl_beep() { record({"beep", "", "", 0, 0}); }
int hl_scale_factor() {
    std::lock_guard<std::mutex> g(state.lock);
    return state.scale;
}

const PlatformBackend headless_backend = {
    hl_message_box, hl_menu_check, hl_menu_enable, hl_busy_cursor, hl_invalidate,
    hl_repaint_and_wait, hl_set_title, hl_clock_seconds,
    hl_blit_xrgb, hl_draw_text, hl_set_timer, hl_kill_timer, hl_destroy_window, hl_quit,
    hl_post_close, hl_invalidate_erase, hl_run_dialog, hl_show_monitor, hl_open_file_dialog,
    hl_set_repaint_stop, hl_set_tooltip, hl_set_full_screen, hl_beep, hl_scale_factor, hl_clock_ms,
    nullptr,                           // the frame in memory of its own
};
}  // namespace

void headless_install() {
    headless_reset();
    platform_install(&headless_backend);
}

void headless_reset() {
    std::lock_guard<std::mutex> g(state.lock);
    state.calls.clear();
    state.checked.clear();
    state.enabled.clear();
    state.title.clear();
    state.repaints = 0;
    state.answer = PLATFORM_ANSWER_OK;
    state.clock = -1;
    state.clockMs = -1;
    state.scale = 1;
    state.frame.clear();
    state.painted.clear();
    state.frameW = state.frameH = 0;
    state.blits = 0;
    state.timerMs = 0;
    state.quitCode = -1;
    state.destroyed = 0;
    state.closePosted = 0;
    state.dialogHook = nullptr;
    state.openFile.clear();
}

std::vector<HeadlessCall> headless_calls() {
    std::lock_guard<std::mutex> g(state.lock);
    return state.calls;
}

std::vector<HeadlessCall> headless_calls_of(const std::string& what) {
    std::lock_guard<std::mutex> g(state.lock);
    std::vector<HeadlessCall> out;
    for (const auto& c : state.calls)
        if (c.what == what) out.push_back(c);
    return out;
}

int headless_menu_checked(int id) {
    std::lock_guard<std::mutex> g(state.lock);
    auto it = state.checked.find(id);
    return it == state.checked.end() ? -1 : it->second;
}

int headless_menu_enabled(int id) {
    std::lock_guard<std::mutex> g(state.lock);
    auto it = state.enabled.find(id);
    return it == state.enabled.end() ? -1 : it->second;
}

std::string headless_title() {
    std::lock_guard<std::mutex> g(state.lock);
    return state.title;
}

int headless_repaints() {
    std::lock_guard<std::mutex> g(state.lock);
    return state.repaints;
}

void headless_set_answer(int answer) {
    std::lock_guard<std::mutex> g(state.lock);
    state.answer = answer;
}

void headless_set_clock(int64_t seconds) {
    std::lock_guard<std::mutex> g(state.lock);
    state.clock = seconds;
}

void headless_set_clock_ms(int64_t ms) {
    std::lock_guard<std::mutex> g(state.lock);
    state.clockMs = ms;
}

void headless_advance_clock(int64_t seconds) {
    std::lock_guard<std::mutex> g(state.lock);
    if (state.clock < 0) state.clock = static_cast<int64_t>(std::time(nullptr));
    state.clock += seconds;
}

int headless_frame_pixel(int x, int y) {
    std::lock_guard<std::mutex> g(state.lock);
    if (x < 0 || y < 0 || x >= state.frameW || y >= state.frameH) return -1;
    size_t i = static_cast<size_t>(y) * state.frameW + x;
    if (!state.painted[i]) return -1;
    return static_cast<int>(state.frame[i]);
}

int headless_blits() {
    std::lock_guard<std::mutex> g(state.lock);
    return state.blits;
}

int headless_timer_ms() {
    std::lock_guard<std::mutex> g(state.lock);
    return state.timerMs;
}

int headless_quit_code() {
    std::lock_guard<std::mutex> g(state.lock);
    return state.quitCode;
}

int headless_window_destroyed() {
    std::lock_guard<std::mutex> g(state.lock);
    return state.destroyed;
}

int headless_close_posted() {
    std::lock_guard<std::mutex> g(state.lock);
    return state.closePosted;
}

void headless_set_dialog_hook(int (*hook)(int kind, void* state)) {
    std::lock_guard<std::mutex> g(state.lock);
    state.dialogHook = hook;
}

void headless_set_open_file(const std::string& path) {
    std::lock_guard<std::mutex> g(state.lock);
    state.openFile = path;
}

void headless_set_scale_factor(int scale) {
    std::lock_guard<std::mutex> g(state.lock);
    state.scale = scale;
}
