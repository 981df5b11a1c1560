// Route > Directions: the manoeuvres in a list of three columns; a click on
// a line closes the list and the window shows that point.
#include <wx/listctrl.h>

#include "app/road_directions.h"
#include "ui/wx/wx_dialog_parts.h"
#include "ui/wx/wx_window.h"

int wx_run_road_directions_dialog(void* state) {
    auto* d = static_cast<RoadDirectionsDialog*>(state);
    wxWindow* owner = wx_window.frame && !wx_window.destroyed ? wx_window.frame : nullptr;
    auto* dialog = new wxDialog(owner, wxID_ANY, "Directions", wxDefaultPosition, wxDefaultSize,
                                wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX | wxRESIZE_BORDER);
    auto* list = new wxListCtrl(dialog, wxID_ANY, wxDefaultPosition, wxSize(520, 320), wxLC_REPORT | wxLC_SINGLE_SEL);
    list->AppendColumn("Distance");
    list->AppendColumn("Turn");
    list->AppendColumn("Street");
    for (size_t i = 0; i < d->lines.size(); i++) {
        wxArrayString cells = wxSplit(wxString::FromUTF8(d->lines[i]), '\t', 0);
        long row = list->InsertItem(static_cast<long>(i), cells.size() > 0 ? cells[0] : wxString());
        for (size_t c = 1; c < cells.size() && c < 3; c++) list->SetItem(row, static_cast<int>(c), cells[c]);
    }
    for (int c = 0; c < 3; c++) list->SetColumnWidth(c, c == 1 ? 300 : wxLIST_AUTOSIZE);
    list->Bind(wxEVT_LIST_ITEM_SELECTED, [d, dialog](wxListEvent& e) {
        d->chosen = static_cast<int>(e.GetIndex());
        dialog->EndModal(wxID_OK);
    });
    auto* rows = new wxBoxSizer(wxVERTICAL);
    rows->Add(list, 1, wxALL | wxEXPAND, 10);
    rows->Add(dialog->CreateButtonSizer(wxCLOSE), 0, wxALL | wxALIGN_RIGHT, 10);
    dialog->SetEscapeId(wxID_CLOSE);
    dialog->SetSizerAndFit(rows);
    dialog->CentreOnParent();
    wxBusyCursorSuspender normalCursor;
    wx_show_modal(dialog);
    dialog->Destroy();
    return d->result = d->chosen >= 0;
}
