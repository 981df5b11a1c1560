// Find: a text box, the results below it as they come (name, kind, source,
// distance, bearing), a status line, and Show, Go To, Route To, Mark as
// Waypoint.
// Enter shows the selected result, else the first. The dialog asks app/
// on each change of text and polls it a few times a second: the search
// itself runs elsewhere, so typing never waits.
#include <wx/listctrl.h>
#include <wx/timer.h>

#include "app/find_places.h"
#include "ui/wx/wx_dialog_parts.h"
#include "ui/wx/wx_window.h"

namespace {

constexpr int kPollMs = 100;
enum { ID_SHOW = wxID_HIGHEST + 1, ID_GO_TO, ID_ROUTE_TO, ID_MARK };

}  // namespace

int wx_run_find_dialog(void* state) {
    auto* d = static_cast<FindDialogState*>(state);
    wxWindow* owner = wx_window.frame && !wx_window.destroyed ? wx_window.frame : nullptr;
    auto* dialog = new wxDialog(owner, wxID_ANY, "Find", wxDefaultPosition, wxDefaultSize,
                                wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX | wxRESIZE_BORDER);
    auto* rows = new wxBoxSizer(wxVERTICAL);
    rows->Add(new wxStaticText(dialog, wxID_ANY, "Place, street, waypoint or position (45.42, -75.69):"), 0,
              wxLEFT | wxRIGHT | wxTOP, 10);
    auto* box = new wxTextCtrl(dialog, wxID_ANY, wxString::FromUTF8(d->text), wxDefaultPosition, wxSize(520, -1),
                               wxTE_PROCESS_ENTER);
    rows->Add(box, 0, wxALL | wxEXPAND, 10);
    auto* list = new wxListCtrl(dialog, wxID_ANY, wxDefaultPosition, wxSize(520, 260),
                                wxLC_REPORT | wxLC_SINGLE_SEL);
    const char* const heads[] = {"Name", "Kind", "From", "Distance", "Bearing"};
    const int widths[] = {200, 70, 110, 75, 60};
    for (int i = 0; i < 5; i++) list->InsertColumn(i, heads[i], wxLIST_FORMAT_LEFT, widths[i]);
    rows->Add(list, 1, wxLEFT | wxRIGHT | wxEXPAND, 10);
    auto* status = new wxStaticText(dialog, wxID_ANY, "", wxDefaultPosition, wxSize(520, -1), wxST_NO_AUTORESIZE);
    rows->Add(status, 0, wxALL | wxEXPAND, 10);
    auto* buttons = new wxBoxSizer(wxHORIZONTAL);
    buttons->Add(new wxButton(dialog, ID_SHOW, "&Show"), 0, wxRIGHT, 6);
    buttons->Add(new wxButton(dialog, ID_GO_TO, "&Go To"), 0, wxRIGHT, 6);
    buttons->Add(new wxButton(dialog, ID_ROUTE_TO, "Ro&ute To"), 0, wxRIGHT, 6);
    buttons->Add(new wxButton(dialog, ID_MARK, "&Mark as Waypoint"), 0, wxRIGHT, 6);
    buttons->Add(new wxButton(dialog, wxID_CANCEL, "Close"), 0);
    rows->Add(buttons, 0, wxLEFT | wxRIGHT | wxBOTTOM | wxALIGN_RIGHT, 10);
    dialog->SetSizerAndFit(rows);
    dialog->CentreOnParent();

    int shown = -1;
    auto refresh = [=, &shown]() {
        if (shown == d->version) return;
        shown = d->version;
        list->DeleteAllItems();
        for (size_t i = 0; i < d->rows.size(); i++) {
            wxArrayString cells = wxSplit(wxString::FromUTF8(d->rows[i]), '\t', 0);
            long item = list->InsertItem(static_cast<long>(i), cells.empty() ? wxString() : cells[0]);
            for (size_t c = 1; c < cells.size() && c < 5; c++) list->SetItem(item, static_cast<int>(c), cells[c]);
        }
        status->SetLabelText(wxString::FromUTF8(d->status));
    };
    // The selected row, else the first; -1 when there is none.
    auto chosen = [=]() {
        long selected = list->GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED);
        return selected >= 0 ? static_cast<int>(selected) : d->matches.empty() ? -1 : 0;
    };
    auto act = [=](int action) {
        int row = chosen();
        if (row < 0 || !dialog->IsModal()) return;
        d->chosen = row;
        dialog->EndModal(action);
    };
    box->Bind(wxEVT_TEXT, [=](wxCommandEvent&) {
        d->text = box->GetValue().utf8_string();
        d->typed(d);
        refresh();
    });
    box->Bind(wxEVT_TEXT_ENTER, [=](wxCommandEvent&) { act(FIND_SHOW); });
    list->Bind(wxEVT_LIST_ITEM_ACTIVATED, [=](wxListEvent&) { act(FIND_SHOW); });
    dialog->Bind(wxEVT_BUTTON, [=](wxCommandEvent&) { act(FIND_SHOW); }, ID_SHOW);
    dialog->Bind(wxEVT_BUTTON, [=](wxCommandEvent&) { act(FIND_GO_TO); }, ID_GO_TO);
    dialog->Bind(wxEVT_BUTTON, [=](wxCommandEvent&) { act(FIND_ROUTE_TO); }, ID_ROUTE_TO);
    dialog->Bind(wxEVT_BUTTON, [=](wxCommandEvent&) { act(FIND_MARK); }, ID_MARK);
    wxTimer timer(dialog);
    dialog->Bind(wxEVT_TIMER, [=](wxTimerEvent&) {
        d->poll(d);
        refresh();
    });
    timer.Start(kPollMs);
    if (!d->text.empty()) d->typed(d);
    refresh();
    box->SetFocus();
    wxBusyCursorSuspender normalCursor;
    int answer = wx_show_modal(dialog);
    timer.Stop();
    dialog->Destroy();
    return answer == FIND_SHOW || answer == FIND_GO_TO || answer == FIND_ROUTE_TO || answer == FIND_MARK ? answer : FIND_CLOSED;
}
