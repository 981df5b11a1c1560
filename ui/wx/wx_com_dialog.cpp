// The COM settings dialog drawn from its record: drop-down lists, flow
// check boxes, the receivers to assign and the device path of the chosen
// port, Ok and Cancel.
#include "app/com_dialog.h"
#include "ui/wx/wx_dialog_parts.h"
#include "ui/wx/wx_window.h"

namespace {

// The controls that show the record; a new port changes several of them.
struct ComControls {
    wxChoice* lists[COM_LISTS];
    wxChoice* device;
    wxCheckBox* flow[COM_FLOW_BOXES];
    wxStaticText* path;
};

void fillChoice(wxChoice* choice, const ComDialogList& l) {
    choice->Clear();
    for (int i = 0; i < l.count; i++) choice->Append(wxString::FromUTF8(l.text[i]));
    choice->SetSelection(l.selected >= 0 && l.selected < l.count ? l.selected : wxNOT_FOUND);
}

void showRecord(const ComDialog* d, ComControls* c) {
    for (int i = 0; i < COM_LISTS; i++) {
        const ComDialogList& l = d->lists[i];
        c->lists[i]->SetSelection(l.selected >= 0 && l.selected < l.count ? l.selected : wxNOT_FOUND);
    }
    fillChoice(c->device, d->device);
    for (int i = 0; i < COM_FLOW_BOXES; i++) c->flow[i]->SetValue(d->flowChecked[i] != 0);
    c->path->SetLabelText(wxString::FromUTF8(d->portPathText));
}

wxChoice* addList(wxDialog* dialog, const ComDialogList& l) {
    wxRect labelPlace = wx_dialog_place(dialog, l.labelRect);
    new wxStaticText(dialog, wxID_ANY, wxString::FromUTF8(l.label), labelPlace.GetPosition(), labelPlace.GetSize());
    // The record's height includes the dropped-down list; the closed box
    // keeps the toolkit's own height.
    wxRect place = wx_dialog_place(dialog, l.rect);
    auto* choice = new wxChoice(dialog, l.controlId, place.GetPosition(), wxSize(place.width, -1));
    fillChoice(choice, l);
    choice->Enable(l.enabled != 0);
    return choice;
}

}  // namespace

int wx_run_com_dialog(void* state) {
    auto* d = static_cast<ComDialog*>(state);
    wxDialog* dialog = wx_new_dialog(d->caption, d->frame);
    wxRect group = wx_dialog_place(dialog, d->groupRect);
    new wxStaticBox(dialog, wxID_ANY, wxString::FromUTF8(d->groupText), group.GetPosition(), group.GetSize());
    ComControls controls{};
    ComControls* c = &controls;
    c->path = wx_add_text(dialog, wxID_ANY, d->portPathText, d->portPathRect);
    for (int i = 0; i < COM_LISTS; i++) {
        c->lists[i] = addList(dialog, d->lists[i]);
        c->lists[i]->Bind(wxEVT_CHOICE, [d, c, i](wxCommandEvent& e) {
            com_dialog_select(d, i, e.GetSelection());
            if (i == COM_LIST_PORT) showRecord(d, c);
        });
    }

    wxRect flowLabel = wx_dialog_place(dialog, d->flowLabelRect);
    new wxStaticText(dialog, wxID_ANY, wxString::FromUTF8(d->flowLabel), flowLabel.GetPosition(),
                     flowLabel.GetSize());
    for (int i = 0; i < COM_FLOW_BOXES; i++) {
        wxRect place = wx_dialog_place(dialog, d->flowRect[i]);
        auto* box = c->flow[i] = new wxCheckBox(dialog, 581 + i, wxString::FromUTF8(d->flowText[i]),
                                                place.GetPosition(), wxSize(place.width, -1));
        box->SetValue(d->flowChecked[i] != 0);
        box->Bind(wxEVT_CHECKBOX, [d, i](wxCommandEvent& e) { com_dialog_set_flow(d, i, e.IsChecked() ? 1 : 0); });
    }
    c->device = addList(dialog, d->device);
    c->device->Bind(wxEVT_CHOICE, [d, c](wxCommandEvent& e) {
        com_dialog_pick_device(d, e.GetSelection());
        c->path->SetLabelText(wxString::FromUTF8(d->portPathText));
    });
    wx_add_button(dialog, wxID_OK, d->okText, d->okRect, true);
    wx_add_button(dialog, wxID_CANCEL, d->cancelText, d->cancelRect, false);

    // Return means the default button, as in the system's dialogs, also
    // where GTK would open the focused drop-down list instead.
    dialog->Bind(wxEVT_CHAR_HOOK, [dialog](wxKeyEvent& e) {
        int key = e.GetKeyCode();
        bool onButton = wxDynamicCast(wxWindow::FindFocus(), wxButton) != nullptr;
        if ((key == WXK_RETURN || key == WXK_NUMPAD_ENTER) && !onButton && !e.HasAnyModifiers())
            dialog->EndModal(wxID_OK);
        else
            e.Skip();
    });
    wxBusyCursorSuspender normalCursor;
    int answer = wx_show_modal(dialog);
    dialog->Destroy();
    return answer == wxID_OK ? com_dialog_ok(d) : com_dialog_cancel(d);
}
