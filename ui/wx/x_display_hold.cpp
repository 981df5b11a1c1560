// A connection of our own to the X display, held while the toolkit opens
// its own. An X server that has lost its last client resets, and a
// connection that arrives at that moment is closed under it; the toolkit
// opens the display once and ends the program on that failure. This one is
// retried until the server answers, and while it is held the server has a
// client and does not reset, so the toolkit's connection is certain.
//
// Kept out of the wx headers: Xlib's macros (None, Status, Bool) clash with
// them.
#include "ui/wx/x_display_hold.h"

#include <X11/Xlib.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace {

// The toolkit goes to the X display: DISPLAY names one, and neither the
// backend asked for nor a Wayland session takes it elsewhere.
bool toolkitUsesX() {
    const char* display = getenv("DISPLAY");
    if (!display || !*display) return false;
    const char* backend = getenv("GDK_BACKEND");
    if (backend && *backend) return strstr(backend, "x11") || strcmp(backend, "*") == 0;
    const char* wayland = getenv("WAYLAND_DISPLAY");
    return !wayland || !*wayland;
}

}  // namespace

void* x_display_hold(int timeoutMs) {
    if (!toolkitUsesX()) return nullptr;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (Display* d = XOpenDisplay(nullptr)) return d;
        // A display that stays unreachable is the toolkit's to report.
        if (std::chrono::steady_clock::now() >= deadline) return nullptr;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

void x_display_release(void* held) {
    if (held) XCloseDisplay(static_cast<Display*>(held));
}
