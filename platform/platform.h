// The thin platform layer: everything the program logic asks of the
// windowing toolkit goes through these calls. A backend (wxWidgets in
// ui/wx, or the recording headless backend for tests) installs a table of
// functions; with no backend installed every call is a harmless no-op.
#pragma once
#include <cstdint>

// Message box styles and answers.
enum { PLATFORM_MB_WARNING = 1, PLATFORM_MB_ERROR = 2, PLATFORM_MB_INFO = 4, PLATFORM_MB_YESNO = 8 };
enum { PLATFORM_ANSWER_OK = 1, PLATFORM_ANSWER_YES = 6, PLATFORM_ANSWER_NO = 7 };

struct PlatformBackend {
    int  (*message_box)(const char* text, const char* caption, int style);
    void (*menu_check)(int id, int checked);
    void (*menu_enable)(int id, int enabled);
    void (*busy_cursor)(int on);                  // wait cursor on (1) / restore (0)
    void (*invalidate)();                         // schedule a repaint, main thread
    int  (*repaint_and_wait)(int timeout_ms);     // from another thread: paint now, wait (bounded)
    void (*set_title)(const char* utf8);
    void (*resize_client)(int width, int height);
    int64_t (*clock_seconds)();                   // wall clock in whole seconds
};

void platform_install(const PlatformBackend* backend);   // nullptr uninstalls
const PlatformBackend* platform_backend();

int  platform_message_box(const char* text, const char* caption, int style);
void platform_menu_check(int id, int checked);
void platform_menu_enable(int id, int enabled);
void platform_busy_cursor(int on);
void platform_invalidate();
int  platform_repaint_and_wait(int timeout_ms);
void platform_set_title(const char* utf8);
void platform_resize_client(int width, int height);
int64_t platform_clock_seconds();

// The usual warning box of the program: caption "Kiv", warning icon.
inline int platform_warn(const char* text) { return platform_message_box(text, "Kiv", PLATFORM_MB_WARNING); }
