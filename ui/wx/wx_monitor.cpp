// GPS monitors: modeless, each with its own timer and record, as many as
// the user opens; all closed with the main window.
#include <algorithm>
#include <vector>

#include "app/monitor_dialog.h"
#include "ui/wx/wx_dialog_parts.h"
#include "ui/wx/wx_window.h"

namespace {

struct MonitorWindow {
    wxDialog* dialog;
    wxTimer* timer;
    MonitorDialog* record;
    wxStaticText* texts[MONITOR_TEXTS];
};

std::vector<MonitorWindow*> monitors;

void showTexts(MonitorWindow* m) {
    for (int i = 0; i < MONITOR_TEXTS; i++) {
        wxString text = wxString::FromUTF8(m->record->texts[i].text);
        // Rows are only written; an unchanged text is not set again so the
        // dialog does not flicker three times a second.
        if (m->texts[i]->GetLabelText() != text) m->texts[i]->SetLabelText(text);
    }
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
    for (int i = 0; i < MONITOR_TEXTS; i++) {
        const MonitorText& t = record->texts[i];
        m->texts[i] = wx_add_text(m->dialog, t.controlId, t.text, t.rect);
    }
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
