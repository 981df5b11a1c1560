// Download Area: a check box per level with its sheet count, then a gauge
// the fetch fills, with Cancel. Laid out with sizers: the texts vary.
#include <wx/gauge.h>
#include <wx/timer.h>

#include "app/download_area.h"
#include "maps/zoom_levels.h"
#include "ui/wx/wx_dialog_parts.h"
#include "ui/wx/wx_window.h"

namespace {

constexpr int kPollMs = 200;

wxDialog* newDialog(const char* caption) {
    wxWindow* owner = wx_window.frame && !wx_window.destroyed ? wx_window.frame : nullptr;
    return new wxDialog(owner, wxID_ANY, caption, wxDefaultPosition, wxDefaultSize,
                        wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX);
}

}  // namespace

int wx_run_download_area_dialog(void* state) {
    auto* d = static_cast<DownloadAreaChoice*>(state);
    wxDialog* dialog = newDialog("Download Area");
    auto* rows = new wxBoxSizer(wxVERTICAL);
    rows->Add(new wxStaticText(dialog, wxID_ANY, wxString::FromUTF8("Sheets of the view " + std::string(d->area))),
              0, wxALL, 10);
    wxCheckBox* boxes[ZOOM_LEVELS];
    for (int level = 0; level < ZOOM_LEVELS; level++) {
        wxString label = wxString::Format("Level %d (1:%ld): %d sheets, %d stored", level, zoom_level_scale(level),
                                          d->sheets[level], d->stored[level]);
        boxes[level] = new wxCheckBox(dialog, wxID_ANY, label);
        boxes[level]->SetValue(d->chosen[level] != 0);
        rows->Add(boxes[level], 0, wxLEFT | wxRIGHT | wxBOTTOM, 10);
    }
    auto* refresh = new wxCheckBox(dialog, wxID_ANY, "Refresh stored sheets (fetch them afresh too)");
    refresh->SetValue(d->refresh != 0);
    rows->Add(refresh, 0, wxLEFT | wxRIGHT | wxTOP, 10);
    rows->Add(dialog->CreateButtonSizer(wxOK | wxCANCEL), 0, wxALL | wxALIGN_RIGHT, 10);
    dialog->SetSizerAndFit(rows);
    dialog->CentreOnParent();
    wxBusyCursorSuspender normalCursor;
    int answer = wx_show_modal(dialog);
    for (int level = 0; level < ZOOM_LEVELS; level++) d->chosen[level] = boxes[level]->GetValue() ? 1 : 0;
    d->refresh = refresh->GetValue() ? 1 : 0;
    dialog->Destroy();
    return answer == wxID_OK ? 1 : 0;
}

int wx_run_download_progress_dialog(void* state) {
    auto* p = static_cast<DownloadAreaProgress*>(state);
    wxDialog* dialog = newDialog("Download Area");
    auto* rows = new wxBoxSizer(wxVERTICAL);
    auto* text = new wxStaticText(dialog, wxID_ANY, wxString::FromUTF8(p->text), wxDefaultPosition, wxSize(320, -1),
                                  wxST_NO_AUTORESIZE);
    auto* gauge = new wxGauge(dialog, wxID_ANY, 100, wxDefaultPosition, wxSize(320, -1));
    rows->Add(text, 0, wxALL, 10);
    rows->Add(gauge, 0, wxLEFT | wxRIGHT | wxEXPAND, 10);
    rows->Add(dialog->CreateButtonSizer(wxCANCEL), 0, wxALL | wxALIGN_RIGHT, 10);
    dialog->SetSizerAndFit(rows);
    dialog->CentreOnParent();
    wxTimer timer(dialog);
    dialog->Bind(wxEVT_TIMER, [=](wxTimerEvent&) {
        p->poll(p);
        text->SetLabelText(wxString::FromUTF8(p->text));
        gauge->SetValue(std::min(100, std::max(0, p->percent)));
        if (p->finished && dialog->IsModal()) dialog->EndModal(wxID_OK);
    });
    timer.Start(kPollMs);
    wxBusyCursorSuspender normalCursor;
    int answer = wx_show_modal(dialog);
    timer.Stop();
    if (answer != wxID_OK) p->cancel();
    dialog->Destroy();
    return answer == wxID_OK ? 1 : 0;
}
