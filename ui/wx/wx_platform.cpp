// The platform calls of the program on wxWidgets. Calls that may come from
// the reader, server or probe threads are handed to the main thread.
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>

#include <wx/filedlg.h>
#include <wx/filename.h>
#include <wx/generic/msgdlgg.h>

#include "app/window_events.h"
#include "platform/platform.h"
#include "ui/wx/wx_window.h"

namespace {

// A reader thread asking for a paint waits for the first paint that starts
// after its request, bounded, and is let go by the stop flag.
struct RepaintState {
    std::mutex lock;
    std::condition_variable painted;
    uint64_t started = 0, finished = 0;
    int stop = 0;                      // around closing the link
    int shutdown = 0;                  // the window is going away
};
RepaintState repaint;

bool windowAlive() { return wx_window.frame && !wx_window.destroyed; }

// Runs f on the main thread: now when already there, else queued.
void onMain(std::function<void()> f) {
    if (wx_on_main_thread()) {
        f();
        return;
    }
    {
        std::lock_guard<std::mutex> g(repaint.lock);
        if (repaint.shutdown || !wxTheApp) return;
    }
    wxTheApp->CallAfter(std::move(f));
}

std::string copyOf(const char* s) { return s ? std::string(s) : std::string(); }

int showMessage(const std::string& text, const std::string& caption, int style) {
    long flags = (style & PLATFORM_MB_YESNO) ? wxYES_NO : wxOK;
    if (style & PLATFORM_MB_WARNING) flags |= wxICON_WARNING;
    else if (style & PLATFORM_MB_ERROR) flags |= wxICON_ERROR;
    else if (style & PLATFORM_MB_INFO) flags |= wxICON_INFORMATION;
    // The toolkit's own box, not the native one: a close (a signal, Exit)
    // can end it like any other dialog instead of waiting for the user.
    wxGenericMessageDialog box(windowAlive() ? wx_window.frame : nullptr, wxString::FromUTF8(text.c_str()),
                        wxString::FromUTF8(caption.c_str()), flags);
    // The arrow over the box, the wait cursor back afterwards.
    wxBusyCursorSuspender normalCursor;
    int answer = wx_show_modal(&box);
    return answer == wxID_YES ? PLATFORM_ANSWER_YES : answer == wxID_NO ? PLATFORM_ANSWER_NO : PLATFORM_ANSWER_OK;
}

int messageBox(const char* text, const char* caption, int style) {
    std::string t = copyOf(text), c = copyOf(caption);
    if (wx_on_main_thread() && !wx_window.paintDc && wx_window.created) return showMessage(t, c, style);
    // Another thread does not wait for the user, nor does a paint (a modal
    // loop inside the toolkit's draw would freeze the window), nor start-up
    // (the window is not on screen yet, and the box belongs over it): all
    // are told OK and the box comes right after.
    auto later = [t, c, style] { showMessage(t, c, style); };
    if (!wx_on_main_thread()) onMain(later);
    else if (wxTheApp) wxTheApp->CallAfter(later);
    return PLATFORM_ANSWER_OK;
}

void menuCheck(int id, int checked) {
    onMain([id, checked] {
        wx_window.checks[id] = checked ? 1 : 0;
        wx_log("kiv: menu %d checked %d\n", id, checked ? 1 : 0);
        wxMenuItem* item = windowAlive() && wx_window.menuBar ? wx_window.menuBar->FindItem(id) : nullptr;
        // A radio item goes off as another of its group goes on.
        if (item && item->IsCheckable() && (checked || item->GetKind() != wxITEM_RADIO)) item->Check(checked != 0);
    });
}

void menuEnable(int id, int enabled) {
    onMain([id, enabled] {
        wxMenuItem* item = windowAlive() && wx_window.menuBar ? wx_window.menuBar->FindItem(id) : nullptr;
        if (item) item->Enable(enabled != 0);
        wx_log("kiv: menu %d enabled %d\n", id, enabled ? 1 : 0);
    });
}

void busyCursor(int on) {
    onMain([on] {
        if (on) {
            if (wx_window.busyDepth++ == 0) wxBeginBusyCursor();
        } else if (wx_window.busyDepth > 0 && --wx_window.busyDepth == 0) {
            wxEndBusyCursor();
        }
    });
}

void invalidateErase(int /*erase*/) {
    // The paint covers the whole client area; erasing first would only flicker.
    onMain([] {
        if (windowAlive()) wx_window.map->Refresh(false);
    });
}

void invalidate() { invalidateErase(0); }

int repaintAndWait(int timeoutMs) {
    if (wx_on_main_thread()) {
        if (!windowAlive()) return 0;
        wx_window.map->Refresh(false);
        wx_window.map->Update();
        return 1;
    }
    std::unique_lock<std::mutex> g(repaint.lock);
    // A hidden or minimised window gets no paint at all.
    if (repaint.stop || repaint.shutdown || !wx_window.visible.load() || !wxTheApp) return 0;
    const uint64_t target = repaint.started + 1;
    wxTheApp->CallAfter([] {
        if (!windowAlive()) return;
        wx_window.map->Refresh(false);
        wx_window.map->Update();
    });
    repaint.painted.wait_for(g, std::chrono::milliseconds(timeoutMs > 0 ? timeoutMs : 0),
                             [&] { return repaint.finished >= target || repaint.stop || repaint.shutdown; });
    return repaint.finished >= target ? 1 : 0;
}

void setRepaintStop(int stop) {
    std::lock_guard<std::mutex> g(repaint.lock);
    repaint.stop = stop ? 1 : 0;
    repaint.painted.notify_all();
}

void setTitle(const char* utf8) {
    std::string t = copyOf(utf8);
    onMain([t] {
        if (windowAlive()) wx_window.frame->SetTitle(wxString::FromUTF8(t.c_str()));
    });
}

void setTooltip(const char* utf8) {
    std::string t = copyOf(utf8);
    onMain([t] {
        if (!windowAlive()) return;
        if (t.empty()) wx_window.map->UnsetToolTip();
        else wx_window.map->SetToolTip(wxString::FromUTF8(t.c_str()));
        wx_log("kiv: tooltip %s\n", t.c_str());
    });
}

void setFullScreen(int on) {
    onMain([on] {
        if (!windowAlive() || wx_window.frame->IsFullScreen() == (on != 0)) return;
        wx_window.frame->ShowFullScreen(on != 0, WX_FULL_SCREEN_STYLE);
        wx_log("kiv: full screen %d\n", on ? 1 : 0);
    });
}

void setTimer(int ms) {
    onMain([ms] {
        if (windowAlive() && wx_window.timer && ms > 0) wx_window.timer->Start(ms, wxTIMER_CONTINUOUS);
    });
}

void killTimer() {
    onMain([] {
        if (wx_window.timer) wx_window.timer->Stop();
    });
}

void quitLoop(int code) {
    onMain([code] {
        wx_window.exitCode = code;
        if (wxTheApp) wxTheApp->ExitMainLoop();
    });
}

void destroyWindow() {
    onMain([] {
        if (!windowAlive()) return;
        wx_window.destroyed = 1;
        wx_window.visible.store(0);
        wx_repaint_shutdown();
        if (wx_window.timer) wx_window.timer->Stop();
        wx_close_monitors();
        // As the system's destroy message: the program frees its record and
        // asks the loop to end.
        app_destroy();
        delete wx_window.timer;
        wx_window.timer = nullptr;
        wx_window.frame->Destroy();
        wx_window.frame = nullptr;
        wx_window.map = nullptr;
        wx_window.menuBar = nullptr;
    });
}

void postClose() {
    // Queued also from the main thread: the close comes after the command.
    if (!wxTheApp) return;
    wxTheApp->CallAfter([] { wx_request_close(); });
}

// "Text (*.x)|*.x|..." is already the toolkit's wildcard syntax.
int openFileDialog(const char* filters, const char* initialDir, const char* defaultExt, int* filterIndex,
                     char* outPath, int outSize) {
    if (!wx_on_main_thread() || !outPath || outSize <= 0) return 0;
    wxFileDialog dialog(windowAlive() ? wx_window.frame : nullptr, wxFileSelectorPromptStr,
                        wxString::FromUTF8(initialDir ? initialDir : ""), wxEmptyString,
                        wxString::FromUTF8(filters ? filters : "*"), wxFD_OPEN | wxFD_FILE_MUST_EXIST);
    if (filterIndex && *filterIndex >= 0) dialog.SetFilterIndex(*filterIndex);
    wxBusyCursorSuspender normalCursor;
    if (wx_show_modal(&dialog) != wxID_OK) return 0;
    if (filterIndex) *filterIndex = dialog.GetFilterIndex();
    wxString path = dialog.GetPath();
    if (defaultExt && *defaultExt && wxFileName(path).GetExt().empty()) path += "." + wxString::FromUTF8(defaultExt);
    wxScopedCharBuffer utf8 = path.utf8_str();
    // A path that does not fit is a failure, never a cut name.
    if (utf8.length() + 1 > static_cast<size_t>(outSize)) return 0;
    memcpy(outPath, utf8.data(), utf8.length() + 1);
    return 1;
}

const PlatformBackend wx_backend = {
    messageBox,
    menuCheck,
    menuEnable,
    busyCursor,
    invalidate,
    repaintAndWait,
    setTitle,
    nullptr,                           // the system clock
    wx_blit_xrgb,
    wx_draw_text,
    setTimer,
    killTimer,
    destroyWindow,
    quitLoop,
    postClose,
    invalidateErase,
    wx_run_dialog,
    wx_show_monitor,
    openFileDialog,
    setRepaintStop,
    setTooltip,
    setFullScreen,
    [] { wxBell(); },
    wx_content_scale,
    nullptr,                           // the system's millisecond clock
    wx_frame_pixels,
};

}  // namespace

void wx_install_backend() { platform_install(&wx_backend); }

void wx_paint_started() {
    std::lock_guard<std::mutex> g(repaint.lock);
    repaint.started++;
}

void wx_paint_finished() {
    std::lock_guard<std::mutex> g(repaint.lock);
    repaint.finished = repaint.started;
    repaint.painted.notify_all();
}

void wx_repaint_shutdown() {
    std::lock_guard<std::mutex> g(repaint.lock);
    repaint.shutdown = 1;
    repaint.painted.notify_all();
}
