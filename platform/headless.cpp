#include "platform/headless.h"

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
void hl_resize_client(int w, int h) { record({"resize_client", "", "", w, h}); }
int64_t hl_clock_seconds() {
    std::lock_guard<std::mutex> g(state.lock);
    return state.clock >= 0 ? state.clock : static_cast<int64_t>(std::time(nullptr));
}

const PlatformBackend headless_backend = {
    hl_message_box, hl_menu_check, hl_menu_enable, hl_busy_cursor, hl_invalidate,
    hl_repaint_and_wait, hl_set_title, hl_resize_client, hl_clock_seconds,
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

void headless_advance_clock(int64_t seconds) {
    std::lock_guard<std::mutex> g(state.lock);
    if (state.clock < 0) state.clock = static_cast<int64_t>(std::time(nullptr));
    state.clock += seconds;
}
