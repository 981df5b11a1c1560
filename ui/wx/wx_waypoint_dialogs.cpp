// The waypoint dialogs: the name asked when marking or renaming, the list
// with its filter box and actions, and the file an export goes to.
#include <wx/filedlg.h>
#include <wx/listctrl.h>

#include <cmath>
#include <cstdio>

#include "app/waypoint_list.h"
#include "app/waypoints.h"
#include "ui/wx/wx_dialog_parts.h"
#include "ui/wx/wx_window.h"

namespace {

wxDialog* newDialog(const std::string& caption, long extra = 0) {
    wxWindow* owner = wx_window.frame && !wx_window.destroyed ? wx_window.frame : nullptr;
    return new wxDialog(owner, wxID_ANY, wxString::FromUTF8(caption), wxDefaultPosition, wxDefaultSize,
                        wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX | extra);
}

int runName(WaypointNameDialog* d) {
    wxDialog* dialog = newDialog(d->caption);
    auto* rows = new wxBoxSizer(wxVERTICAL);
    rows->Add(new wxStaticText(dialog, wxID_ANY, wxString::FromUTF8(d->where)), 0, wxALL, 10);
    // Enter is OK: the name offered is kept by just pressing it.
    auto* box = new wxTextCtrl(dialog, wxID_ANY, wxString::FromUTF8(d->name), wxDefaultPosition, wxSize(260, -1),
                               wxTE_PROCESS_ENTER);
    box->SetMaxLength(255);
    box->Bind(wxEVT_TEXT_ENTER, [dialog](wxCommandEvent&) { dialog->EndModal(wxID_OK); });
    rows->Add(box, 0, wxLEFT | wxRIGHT | wxEXPAND, 10);
    rows->Add(dialog->CreateButtonSizer(wxOK | wxCANCEL), 0, wxALL | wxALIGN_RIGHT, 10);
    dialog->SetSizerAndFit(rows);
    dialog->CentreOnParent();
    box->SetFocus();
    box->SelectAll();
    wxBusyCursorSuspender normalCursor;
    int answer = wx_show_modal(dialog);
    d->name = box->GetValue().ToStdString(wxConvUTF8);
    dialog->Destroy();
    return answer == wxID_OK ? 1 : 0;
}

int runList(WaypointListDialog* d) {
    wxDialog* dialog = newDialog("Waypoints", wxRESIZE_BORDER);
    auto* rows = new wxBoxSizer(wxVERTICAL);
    auto* filterRow = new wxBoxSizer(wxHORIZONTAL);
    filterRow->Add(new wxStaticText(dialog, wxID_ANY, "Filter:"), 0, wxALIGN_CENTER_VERTICAL | wxRIGHT, 6);
    auto* filter = new wxTextCtrl(dialog, wxID_ANY, wxString::FromUTF8(d->filter));
    filterRow->Add(filter, 1);
    rows->Add(filterRow, 0, wxALL | wxEXPAND, 10);
    if (!d->from.empty())
        rows->Add(new wxStaticText(dialog, wxID_ANY, wxString::FromUTF8("Distance and bearing " + d->from)), 0,
                  wxLEFT | wxRIGHT | wxBOTTOM, 10);
    auto* list = new wxListCtrl(dialog, wxID_ANY, wxDefaultPosition, wxSize(520, 300), wxLC_REPORT | wxLC_SINGLE_SEL);
    list->AppendColumn("Name", wxLIST_FORMAT_LEFT, 180);
    list->AppendColumn("Distance", wxLIST_FORMAT_RIGHT, 110);
    list->AppendColumn("Bearing", wxLIST_FORMAT_RIGHT, 70);
    list->AppendColumn("File", wxLIST_FORMAT_LEFT, 120);
    rows->Add(list, 1, wxLEFT | wxRIGHT | wxEXPAND, 10);
    std::vector<int> shown;
    auto fill = [=, &shown]() {
        shown = waypoint_list_shown(*d, filter->GetValue().ToStdString(wxConvUTF8));
        list->DeleteAllItems();
        for (size_t i = 0; i < shown.size(); i++) {
            const WaypointRow& r = d->rows[static_cast<size_t>(shown[i])];
            long item = list->InsertItem(static_cast<long>(i), wxString::FromUTF8(r.name));
            list->SetItem(item, 1, wxString::FromUTF8(waypoint_distance_text(r.metres, d->unit)));
            char bearing[16] = "";
            if (std::isfinite(r.bearing)) snprintf(bearing, sizeof bearing, "%.0f\u00B0", r.bearing);
            list->SetItem(item, 2, wxString::FromUTF8(bearing));
            list->SetItem(item, 3, wxString::FromUTF8(r.file));
        }
        if (!shown.empty()) list->SetItemState(0, wxLIST_STATE_SELECTED | wxLIST_STATE_FOCUSED,
                                               wxLIST_STATE_SELECTED | wxLIST_STATE_FOCUSED);
    };
    fill();
    filter->Bind(wxEVT_TEXT, [&](wxCommandEvent&) { fill(); });
    auto* buttons = new wxBoxSizer(wxHORIZONTAL);
    const std::pair<int, const char*> actions[] = {{WAYPOINT_ACTION_RENAME, "&Rename..."},
                                                   {WAYPOINT_ACTION_DELETE, "&Delete"},
                                                   {WAYPOINT_ACTION_SHOW, "&Show"},
                                                   {WAYPOINT_ACTION_GO_TO, "&Go To"},
                                                   {WAYPOINT_ACTION_ROUTE_TO, "Ro&ute To"}};
    int chosenAction = WAYPOINT_ACTION_CLOSE;
    auto choose = [&](int action) {
        long item = list->GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED);
        if (item < 0 || item >= static_cast<long>(shown.size())) return;
        d->chosen = shown[static_cast<size_t>(item)];
        chosenAction = action;
        dialog->EndModal(wxID_OK);
    };
    for (const auto& [action, label] : actions) {
        auto* button = new wxButton(dialog, wxID_ANY, label);
        button->Bind(wxEVT_BUTTON, [&, action = action](wxCommandEvent&) { choose(action); });
        buttons->Add(button, 0, wxRIGHT, 6);
    }
    // A double click (or Enter) on a row shows it.
    list->Bind(wxEVT_LIST_ITEM_ACTIVATED, [&](wxListEvent&) { choose(WAYPOINT_ACTION_SHOW); });
    buttons->AddStretchSpacer();
    buttons->Add(new wxButton(dialog, wxID_CANCEL, "Close"));
    rows->Add(buttons, 0, wxALL | wxEXPAND, 10);
    dialog->SetSizerAndFit(rows);
    dialog->CentreOnParent();
    filter->SetFocus();
    wxBusyCursorSuspender normalCursor;
    int answer = wx_show_modal(dialog);
    d->filter = filter->GetValue().ToStdString(wxConvUTF8);
    dialog->Destroy();
    return answer == wxID_OK ? chosenAction : WAYPOINT_ACTION_CLOSE;
}

int runSaveFile(WaypointFileDialog* d) {
    wxWindow* owner = wx_window.frame && !wx_window.destroyed ? wx_window.frame : nullptr;
    wxFileDialog dialog(owner, wxString::FromUTF8(d->caption), ".", wxString::FromUTF8(d->path),
                        "GPX Files (*.gpx)|*.gpx", wxFD_SAVE | wxFD_OVERWRITE_PROMPT);
    wxBusyCursorSuspender normalCursor;
    if (dialog.ShowModal() != wxID_OK) return 0;
    d->path = dialog.GetPath().ToStdString(wxConvUTF8);
    return 1;
}

}  // namespace

int wx_run_waypoint_dialog(int kind, void* state) {
    switch (kind) {
    case WAYPOINT_DIALOG_NAME: return runName(static_cast<WaypointNameDialog*>(state));
    case WAYPOINT_DIALOG_LIST: return runList(static_cast<WaypointListDialog*>(state));
    case WAYPOINT_DIALOG_SAVE_FILE: return runSaveFile(static_cast<WaypointFileDialog*>(state));
    default: return 0;
    }
}
