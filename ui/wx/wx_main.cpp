// Program entry: the command line and the working folder first, then the
// toolkit's application object runs the event loop; the main window and the
// program's start-up are created before it starts.
#include <getopt.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "settings/program_version.h"
#include "settings/working_folder.h"
#include "settings/working_folder_lock.h"
#include "ui/wx/wx_window.h"
#include "ui/wx/x_display_hold.h"

namespace {

// Why the program does not start its window (another Kiv in the folder):
// said in a box too, as a start from the desktop menu has no terminal.
struct Refusal {
    std::string why;
} refusal;

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
        // No wxApp::OnInit: it would parse the options main has taken.
        // The toolkit holds its own display connection by now.
        x_display_release(wx_window.heldDisplay);
        wx_window.heldDisplay = nullptr;
        SetAppName("Kiv");
        if (!refusal.why.empty()) {
            wxMessageBox(wxString::FromUTF8(("Kiv does not start: " + refusal.why + ".").c_str()), "Kiv",
                         wxOK | wxICON_ERROR);
            return false;
        }
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

wxIMPLEMENT_APP_NO_MAIN(KivApp);

namespace {

const char usage_text[] =
    "usage: kiv [--workdir DIR]\n"
    "The moving-map GPS program. Its working folder (settings files kiv_*.txt,\n"
    "Maps folder, track log) is DIR; else the current folder when it holds\n"
    "settings files; else $XDG_DATA_HOME/kiv (~/.local/share/kiv).\n"
    "\n"
    "  -w, --workdir DIR  work in DIR (made, with default settings, if new)\n"
    "  -h, --help         this text\n"
    "  -V, --version      the version\n";

}  // namespace

int main(int argc, char** argv) {
    const option options[] = {{"workdir", required_argument, nullptr, 'w'},
                              {"help", no_argument, nullptr, 'h'},
                              {"version", no_argument, nullptr, 'V'},
                              {nullptr, 0, nullptr, 0}};
    const char* named = nullptr;
    for (int c; (c = getopt_long(argc, argv, "w:hV", options, nullptr)) != -1;) {
        if (c == 'w') {
            named = optarg;
        } else if (c == 'h') {
            fputs(usage_text, stdout);
            return 0;
        } else if (c == 'V') {
            printf("kiv %s\n", kiv_version);
            return 0;
        } else {
            fputs("usage: kiv [--workdir DIR] | --help | --version\n", stderr);
            return 2;
        }
    }
    if (optind < argc) {
        fprintf(stderr, "kiv: unexpected argument: %s\nusage: kiv [--workdir DIR] | --help | --version\n",
                argv[optind]);
        return 2;
    }
    char here[4096];
    std::string folder, error;
    if (!settings_working_folder(named, getcwd(here, sizeof here), &folder, &error) || chdir(folder.c_str()) != 0) {
        fprintf(stderr, "kiv: %s\n", error.empty() ? ("cannot enter " + folder).c_str() : error.c_str());
        return 1;
    }
    // The program draws with cairo alone. Without this GDK asks the X
    // server about OpenGL when it opens the display, to choose visuals
    // for GL: on a server that has not been asked before (a fresh Xvfb, a
    // new session) that loads the GL drivers on both sides, a third of
    // the time to the first paint. A value the user set is kept.
    setenv("GDK_GL", "disable", 0);
    // A display that has just started, or that a short-lived client has
    // just left, can drop the toolkit's one attempt to connect.
    wx_window.heldDisplay = x_display_hold(3000);
    int lock;
    if (!working_folder_lock(folder.c_str(), &lock, &refusal.why)) fprintf(stderr, "kiv: %s\n", refusal.why.c_str());
    // The toolkit sees no options: they were all the program's.
    int toolkitArgc = 1;
    int rc = wxEntry(toolkitArgc, argv);
    return refusal.why.empty() ? rc : 1;
}
