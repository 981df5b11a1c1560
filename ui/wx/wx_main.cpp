// Program entry: the toolkit's application object runs the event loop; the
// main window and the program's start-up are created before it starts.
#include <csignal>

#include "ui/wx/wx_window.h"

namespace {

// SIGINT and SIGTERM close the window as the menu's Exit does (the toolkit
// calls this from its loop, not from the signal).
void closeOnSignal(int) {
    if (wx_window.frame && !wx_window.destroyed) wx_request_close();
    else if (wxTheApp) wxTheApp->ExitMainLoop();
}

}  // namespace

class KivApp : public wxApp {
public:
    bool OnInit() override {
        // No wxApp::OnInit: it would parse options, and the program has none.
        SetAppName("Kiv");
        SetSignalHandler(SIGINT, closeOnSignal);
        SetSignalHandler(SIGTERM, closeOnSignal);
        // Without a window the program ends at once, with status 0.
        if (!wx_create_main_window()) CallAfter([] { wxTheApp->ExitMainLoop(); });
        return true;
    }
    int OnRun() override {
        wxApp::OnRun();
        return wx_window.exitCode;
    }
};

wxIMPLEMENT_APP(KivApp);
