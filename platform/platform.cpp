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
void platform_resize_client(int width, int height) {
    auto* b = current.load();
    if (b && b->resize_client) b->resize_client(width, height);
}
int64_t platform_clock_seconds() {
    auto* b = current.load();
    if (b && b->clock_seconds) return b->clock_seconds();
    return static_cast<int64_t>(std::time(nullptr));
}
