#include "ui/wx/wx_drive.h"

#include <chrono>

#include <wx/evtloop.h>

#include "ui/wx/wx_window.h"

namespace {

using Clock = std::chrono::steady_clock;

wxGUIEventLoop* loop;
wxEventLoopActivator* activation;

// Events, queued calls and timers until done() or the time is up.
template <class Done>
bool runUntil(Done done, int timeoutMs) {
    auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (Clock::now() >= end) return false;
        if (wxTheApp) wxTheApp->ProcessPendingEvents();
        loop->DispatchTimeout(5);
    }
    return true;
}

}  // namespace

int wx_drive_start(int timeoutMs) {
    static int argc = 1;
    static char name[] = "kiv";
    static char* argv[] = {name, nullptr};
    wxApp::SetInstance(new wxApp);
    if (!wxEntryStart(argc, argv)) return 0;
    loop = new wxGUIEventLoop;
    activation = new wxEventLoopActivator(loop);
    if (!wx_create_main_window()) return 0;
    return runUntil([] { return wx_paint_count() > 0 && wx_window.paintDc == nullptr; }, timeoutMs) ? 1 : 0;
}

int wx_drive_repaint(double* handlerMs, double* requestMs, int timeoutMs) {
    if (!wx_window.map || wx_window.destroyed) return 0;
    long before = wx_paint_count();
    auto start = Clock::now();
    wx_window.map->Refresh(false);
    if (!runUntil([before] { return wx_paint_count() > before; }, timeoutMs)) return 0;
    *requestMs = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    *handlerMs = wx_last_paint_ms();
    return 1;
}

double wx_drive_paint_cpu_ms() { return wx_last_paint_cpu_ms(); }

void wx_drive_run(int ms) {
    runUntil([] { return false; }, ms);
}

void wx_drive_stop() {
    if (wx_window.frame && !wx_window.destroyed) wx_window.frame->Close();
    runUntil([] { return wx_window.destroyed != 0; }, 5000);
    wx_drive_run(50);
    delete activation;
    delete loop;
    activation = nullptr;
    loop = nullptr;
    wxEntryCleanup();
}
