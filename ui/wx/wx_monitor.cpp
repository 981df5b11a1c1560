// GPS monitors: modeless, each with its own timer and record, as many as
// the user opens; all closed with the main window.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <wx/scrolwin.h>

#include "app/monitor_dialog.h"
#include "ui/wx/wx_dialog_parts.h"
#include "ui/wx/wx_window.h"

namespace {

struct MonitorWindow {
    wxDialog* dialog;
    wxTimer* timer;
    MonitorDialog* record;
    wxStaticText* texts[MONITOR_TEXTS];
    wxScrolledWindow* list;            // the satellite lines
    int listLines;                     // lines the scrolled area spans now
    wxStaticBitmap* sky;
    std::vector<unsigned char> skyShown;
    std::string logged;                // the last "kiv: monitor" line
};

std::vector<MonitorWindow*> monitors;

// With KIV_PAINT_LOG set: what the list widgets show, read back from them,
// once per change ("kiv: monitor 41 satellites GLONASS Galileo BeiDou").
void logList(MonitorWindow* m) {
    if (!getenv("KIV_PAINT_LOG")) return;
    int satellites = 0;
    std::string headings;
    for (int i = 0; i < m->record->lineCount; i++) {
        std::string label = m->texts[MONITOR_ROW_FIRST + i]->GetLabelText().ToStdString(wxConvUTF8);
        if (label.compare(0, 4, "   [") == 0)
            ++satellites;
        else if (label.size() > 2)
            headings += " " + label.substr(2);
    }
    std::string line = "kiv: monitor " + std::to_string(satellites) + " satellites" + headings + "\n";
    if (line == m->logged) return;
    m->logged = line;
    fputs(line.c_str(), stdout);
    fflush(stdout);
}

void showSky(MonitorWindow* m) {
    const SkyPlot& plot = m->record->sky;
    if (m->skyShown.size() == sizeof plot.rgb && std::memcmp(m->skyShown.data(), plot.rgb, sizeof plot.rgb) == 0)
        return;
    m->skyShown.assign(plot.rgb, plot.rgb + sizeof plot.rgb);
    wxImage image(SKY_PLOT_SIZE, SKY_PLOT_SIZE, m->skyShown.data(), true);
    m->sky->SetBitmap(wxBitmap(image));
}

void showTexts(MonitorWindow* m) {
    for (int i = 0; i < MONITOR_TEXTS; i++) {
        wxString text = wxString::FromUTF8(m->record->texts[i].text);
        // Rows are only written; an unchanged text is not set again so the
        // dialog does not flicker three times a second.
        if (m->texts[i]->GetLabelText() != text) m->texts[i]->SetLabelText(text);
    }
    // The list scrolls over as many lines as it holds now, twelve at least.
    int lines = std::max<int>(MONITOR_SAT_ROWS, m->record->lineCount);
    if (lines != m->listLines) {
        m->listLines = lines;
        const DialogRect& last = m->record->texts[MONITOR_ROW_FIRST + lines - 1].rect;
        wxRect end = wx_dialog_place(m->dialog, {0, 0, 1, last.y + last.h - m->record->listRect.y});
        m->list->SetVirtualSize(m->list->GetClientSize().x, end.GetHeight());
    }
    showSky(m);
    logList(m);
}

void closeMonitor(MonitorWindow* m) {
    monitors.erase(std::remove(monitors.begin(), monitors.end(), m), monitors.end());
    m->timer->Stop();
    delete m->timer;
    m->dialog->Destroy();
    monitor_dialog_free(m->record);
    delete m;
}

void onTimer(MonitorWindow* m) {
    monitor_dialog_timer(m->record);
    showTexts(m);
    if (m->record->timerMs > 0) m->timer->StartOnce(m->record->timerMs);
}

}  // namespace

void wx_show_monitor(void* state) {
    auto* record = static_cast<MonitorDialog*>(state);
    if (!record) return;
    if (!wx_on_main_thread() || !wx_window.frame || wx_window.destroyed) {
        monitor_dialog_free(record);
        return;
    }
    auto* m = new MonitorWindow{};
    m->record = record;
    m->dialog = wx_new_dialog(record->caption, record->frame);
    // Each further monitor a little lower and to the right, not on top.
    int cascade = 24 * static_cast<int>(monitors.size() % 8);
    m->dialog->Move(m->dialog->GetPosition() + wxPoint(cascade, cascade));
    wx_add_icon(m->dialog, record->iconRect);
    wx_add_button(m->dialog, wxID_OK, record->okText, record->okRect, true);
    for (const MonitorGroup& g : record->groups) {
        wxRect place = wx_dialog_place(m->dialog, g.rect);
        new wxStaticBox(m->dialog, wxID_ANY, wxString::FromUTF8(g.text), place.GetPosition(), place.GetSize());
    }
    wxRect listPlace = wx_dialog_place(m->dialog, record->listRect);
    m->list = new wxScrolledWindow(m->dialog, wxID_ANY, listPlace.GetPosition(), listPlace.GetSize(), wxVSCROLL);
    m->list->SetScrollRate(0, std::max(1, listPlace.GetHeight() / MONITOR_SAT_ROWS));
    for (int i = 0; i < MONITOR_TEXTS; i++) {
        const MonitorText& t = record->texts[i];
        if (i >= MONITOR_ROW_FIRST) {
            // List lines sit in the scrolled area, where the first twelve
            // fall on the rows of old.
            DialogRect r = t.rect;
            r.x -= record->listRect.x;
            r.y -= record->listRect.y;
            m->texts[i] = wx_add_text(m->list, t.controlId, t.text, r);
        } else {
            m->texts[i] = wx_add_text(m->dialog, t.controlId, t.text, t.rect);
        }
    }
    wxRect skyPlace = wx_dialog_place(m->dialog, record->skyRect);
    m->sky = new wxStaticBitmap(m->dialog, wxID_ANY, wxBitmap(SKY_PLOT_SIZE, SKY_PLOT_SIZE), skyPlace.GetPosition(),
                                wxSize(SKY_PLOT_SIZE, SKY_PLOT_SIZE));
    // The plot has a fixed size in pixels: widen and deepen the dialog to
    // hold it and the key under it, whatever the font.
    wxRect legend = wx_dialog_place(m->dialog, record->texts[MONITOR_LEGEND].rect);
    m->texts[MONITOR_LEGEND]->Move(skyPlace.GetX(), skyPlace.GetY() + SKY_PLOT_SIZE + 4);
    m->texts[MONITOR_LEGEND]->SetSize(std::max<int>(legend.GetWidth(), SKY_PLOT_SIZE), legend.GetHeight());
    wxSize client = m->dialog->GetClientSize();
    client.x = std::max(client.x, skyPlace.GetX() + SKY_PLOT_SIZE + 8);
    client.y = std::max(client.y, skyPlace.GetY() + SKY_PLOT_SIZE + 8 + legend.GetHeight());
    m->dialog->SetClientSize(client);
    m->timer = new wxTimer(m->dialog);
    m->dialog->Bind(wxEVT_TIMER, [m](wxTimerEvent&) { onTimer(m); });
    m->dialog->Bind(wxEVT_BUTTON, [m](wxCommandEvent&) {
        if (monitor_dialog_command(m->record, 1)) closeMonitor(m);
    }, wxID_OK);
    m->dialog->Bind(wxEVT_CLOSE_WINDOW, [m](wxCloseEvent&) {
        monitor_dialog_close(m->record);
        closeMonitor(m);
    });
    monitors.push_back(m);
    m->timer->StartOnce(record->timerMs > 0 ? record->timerMs : MONITOR_FIRST_TIMER_MS);
    m->dialog->Show();
}

void wx_close_monitors() {
    while (!monitors.empty()) {
        MonitorWindow* m = monitors.back();
        monitor_dialog_close(m->record);
        closeMonitor(m);
    }
}
