#include "platform/platform.h"

#include <atomic>
#include <ctime>

namespace {
std::atomic<const PlatformBackend*> current{nullptr};
}

void platform_install(const PlatformBackend* backend) { current.store(backend); }
const PlatformBackend* platform_backend() { return current.load(); }

int platform_message_box(const char* text, const char* caption, int style) {
    auto* b = current.load();
    return (b && b->message_box) ? b->message_box(text, caption, style) : PLATFORM_ANSWER_OK;
}
void platform_menu_check(int id, int checked) {
    auto* b = current.load();
    if (b && b->menu_check) b->menu_check(id, checked);
}
void platform_menu_enable(int id, int enabled) {
    auto* b = current.load();
    if (b && b->menu_enable) b->menu_enable(id, enabled);
}
void platform_busy_cursor(int on) {
    auto* b = current.load();
    if (b && b->busy_cursor) b->busy_cursor(on);
}
void platform_invalidate() {
    auto* b = current.load();
    if (b && b->invalidate) b->invalidate();
}
int platform_repaint_and_wait(int timeout_ms) {
    auto* b = current.load();
    return (b && b->repaint_and_wait) ? b->repaint_and_wait(timeout_ms) : 0;
}
void platform_set_title(const char* utf8) {
    auto* b = current.load();
    if (b && b->set_title) b->set_title(utf8);
}
int64_t platform_clock_seconds() {
    auto* b = current.load();
    int64_t t = b && b->clock_seconds ? b->clock_seconds() : -1;
    return t >= 0 ? t : static_cast<int64_t>(std::time(nullptr));
}
int64_t platform_monotonic_seconds() {
    auto* b = current.load();
    int64_t t = b && b->clock_seconds ? b->clock_seconds() : -1;
    if (t >= 0) return t;
    // Boot time rather than CLOCK_MONOTONIC: a fix is as old after a
    // suspend as the wall says, yet a clock step never moves it.
    timespec now{};
    clock_gettime(CLOCK_BOOTTIME, &now);
    return static_cast<int64_t>(now.tv_sec);
}
int64_t platform_monotonic_ms() {
    auto* b = current.load();
    if (int64_t ms = b && b->clock_ms ? b->clock_ms() : -1; ms >= 0) return ms;
    if (b && b->clock_seconds && b->clock_seconds() >= 0) return -1;
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

void platform_blit_xrgb(int x, int y, int w, int h, const uint32_t* px, int stride) {
    auto* b = current.load();
    if (b && b->blit_xrgb) b->blit_xrgb(x, y, w, h, px, stride);
}
void platform_draw_text(int x, int y, const char* utf8, int height, int weight, uint32_t rgb) {
    auto* b = current.load();
    if (b && b->draw_text) b->draw_text(x, y, utf8, height, weight, rgb);
}
void platform_set_timer(int ms) {
    auto* b = current.load();
    if (b && b->set_timer) b->set_timer(ms);
}
void platform_kill_timer() {
    auto* b = current.load();
    if (b && b->kill_timer) b->kill_timer();
}
void platform_destroy_window() {
    auto* b = current.load();
    if (b && b->destroy_window) b->destroy_window();
}
void platform_quit(int code) {
    auto* b = current.load();
    if (b && b->quit) b->quit(code);
}
void platform_post_close() {
    auto* b = current.load();
    if (b && b->post_close) b->post_close();
}
void platform_invalidate(int erase) {
    auto* b = current.load();
    if (!b) return;
    if (b->invalidate_erase) b->invalidate_erase(erase);
    else if (b->invalidate) b->invalidate();
}
int platform_run_dialog(int kind, void* state) {
    auto* b = current.load();
    return (b && b->run_dialog) ? b->run_dialog(kind, state) : 0;
}
void platform_show_monitor(void* state) {
    auto* b = current.load();
    if (b && b->show_monitor) b->show_monitor(state);
}
int platform_open_file_dialog(const char* filters, const char* initial_dir, const char* default_ext,
                              int* filter_index, char* out_path, int out_size) {
    auto* b = current.load();
    if (!b || !b->open_file_dialog) return 0;
    return b->open_file_dialog(filters, initial_dir, default_ext, filter_index, out_path, out_size);
}
void platform_set_repaint_stop(int stop) {
    auto* b = current.load();
    if (b && b->set_repaint_stop) b->set_repaint_stop(stop);
}
void platform_set_tooltip(const char* utf8) {
    auto* b = current.load();
    if (b && b->set_tooltip) b->set_tooltip(utf8 ? utf8 : "");
}
void platform_set_full_screen(int on) {
    auto* b = current.load();
    if (b && b->set_full_screen) b->set_full_screen(on);
}
int platform_scale_factor() {
    auto* b = current.load();
    int scale = b && b->scale_factor ? b->scale_factor() : 1;
    return scale < 1 ? 1 : scale > 4 ? 4 : scale;
}
void platform_beep() {
    auto* b = current.load();
    if (b && b->beep) b->beep();
}

uint32_t* platform_frame_pixels(int w, int h, int* stride) {
    auto* b = current.load();
    return b && b->frame_pixels ? b->frame_pixels(w, h, stride) : nullptr;
}
