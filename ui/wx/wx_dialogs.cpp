// Dialog pieces, the modal dialogs' dispatch, and the Keys and About dialogs.
#include <algorithm>
#include <climits>
#include <cstring>
#include <vector>

#include "app/find_places.h"
#include "app/info_dialogs.h"
#include "app/waypoints.h"
#include "app/track_stats_dialog.h"
#include "app/toolbar_bitmaps.h"
#include "platform/platform.h"
#include "ui/wx/wx_dialog_parts.h"
#include "ui/wx/wx_window.h"

namespace {

template <size_t N>
int runInfo(const char* caption, const DialogRect& frame, const DialogRect& iconRect, const InfoText (&texts)[N],
            const char* okText, const DialogRect& okRect) {
    wxDialog* dialog = wx_new_dialog(caption, frame);
    wx_add_icon(dialog, iconRect);
    // Each text as wide and tall as the font makes it, below the one before,
    // and the dialog grown to hold them all: nothing is clipped.
    const wxSize gap = dialog->ConvertDialogToPixels(wxSize(7, 3));
    int bottom = 0, right = 0;
    for (const InfoText& t : texts) {
        size_t first = dialog->GetChildren().size();
        wx_add_text(dialog, t.controlId, t.text, t.rect);
        std::vector<wxWindow*> all(dialog->GetChildren().begin(), dialog->GetChildren().end());
        int top = INT_MAX;
        for (size_t i = first; i < all.size(); i++) {
            wxSize size = all[i]->GetSize();
            size.IncTo(all[i]->GetBestSize());
            all[i]->SetSize(size);
            top = std::min(top, all[i]->GetPosition().y);
        }
        int shift = bottom > 0 && top < bottom + gap.y ? bottom + gap.y - top : 0;
        for (size_t i = first; i < all.size(); i++) {
            wxRect r = all[i]->GetRect();
            all[i]->Move(r.x, r.y + shift);
            right = std::max(right, r.GetRight() + 1);
            bottom = std::max(bottom, r.GetBottom() + 1 + shift);
        }
    }
    wxButton* ok = wx_add_button(dialog, wxID_OK, okText, okRect, true);
    if (ok->GetPosition().y < bottom + gap.y) ok->Move(ok->GetPosition().x, bottom + gap.y);
    wxSize need = dialog->GetClientSize();
    need.IncTo(wxSize(right + gap.x, ok->GetRect().GetBottom() + 1 + gap.x));
    dialog->SetClientSize(need);
    dialog->CentreOnParent();
    dialog->SetEscapeId(wxID_OK);
    wxBusyCursorSuspender normalCursor;
    wx_show_modal(dialog);
    dialog->Destroy();
    // OK and Close end both dialogs alike.
    return 1;
}

}  // namespace

wxDialog* wx_new_dialog(const char* caption, const DialogRect& frame) {
    wxWindow* owner = wx_window.frame && !wx_window.destroyed ? wx_window.frame : nullptr;
    auto* dialog = new wxDialog(owner, wxID_ANY, wxString::FromUTF8(caption), wxDefaultPosition, wxDefaultSize,
                                wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX);
    dialog->SetClientSize(dialog->ConvertDialogToPixels(wxSize(frame.w, frame.h)));
    dialog->CentreOnParent();
    return dialog;
}

wxRect wx_dialog_place(wxWindow* dialog, const DialogRect& r) {
    return wxRect(dialog->ConvertDialogToPixels(wxPoint(r.x, r.y)), dialog->ConvertDialogToPixels(wxSize(r.w, r.h)));
}

wxBitmap wx_program_bitmap() {
    wxImage image(TOOLBAR_BITMAP_SIZE, TOOLBAR_BITMAP_SIZE, const_cast<unsigned char*>(toolbar_bitmap(BITMAP_GPS)),
                  true);
    return wxBitmap(image);
}

wxIcon wx_program_icon() {
    wxIcon icon;
    icon.CopyFromBitmap(wx_program_bitmap());
    return icon;
}

namespace {

// A static text with tab stops, as the system's static control shows one:
// a stop every 8 average characters (32 dialog units) from its left edge.
// Each piece between tabs becomes its own label at its stop.
wxStaticText* addTabbedText(wxWindow* dialog, int id, const wxString& text, const wxRect& place) {
    const int stop = dialog->ConvertDialogToPixels(wxSize(32, 0)).x;
    const int lineHeight = dialog->GetCharHeight();
    wxStaticText* first = nullptr;
    wxArrayString lines = wxSplit(text, '\n', 0);
    for (size_t row = 0; row < lines.size(); row++) {
        wxArrayString pieces = wxSplit(lines[row], '\t', 0);
        int x = 0;
        for (size_t i = 0; i < pieces.size(); i++) {
            if (i > 0) x = (x / stop + 1) * stop;
            if (pieces[i].empty()) continue;
            auto* label = new wxStaticText(dialog, first ? wxID_ANY : id, wxEmptyString,
                                           wxPoint(place.x + x, place.y + static_cast<int>(row) * lineHeight));
            label->SetLabelText(pieces[i]);
            x += label->GetTextExtent(pieces[i]).x;
            if (!first) first = label;
        }
    }
    return first;
}

}  // namespace

wxStaticText* wx_add_text(wxWindow* dialog, int id, const char* utf8, const DialogRect& r) {
    wxRect place = wx_dialog_place(dialog, r);
    if (strchr(utf8, '\t')) return addTabbedText(dialog, id, wxString::FromUTF8(utf8), place);
    auto* text = new wxStaticText(dialog, id, wxEmptyString, place.GetPosition(), place.GetSize(),
                                  wxST_NO_AUTORESIZE);
    text->SetLabelText(wxString::FromUTF8(utf8));
    return text;
}

wxStaticBitmap* wx_add_icon(wxWindow* dialog, const DialogRect& r) {
    wxRect place = wx_dialog_place(dialog, r);
    return new wxStaticBitmap(dialog, wxID_ANY, wx_program_bitmap(), place.GetPosition());
}

wxButton* wx_add_button(wxWindow* dialog, int id, const char* label, const DialogRect& r, bool isDefault) {
    wxRect place = wx_dialog_place(dialog, r);
    auto* button = new wxButton(dialog, id, wxString::FromUTF8(label), place.GetPosition(), place.GetSize());
    if (isDefault) button->SetDefault();
    return button;
}

int wx_run_dialog(int kind, void* state) {
    if (!state || !wx_on_main_thread()) return 0;
    switch (kind) {
    case PLATFORM_DIALOG_COM: return wx_run_com_dialog(state);
    case PLATFORM_DIALOG_DOWNLOAD_AREA: return wx_run_download_area_dialog(state);
    case PLATFORM_DIALOG_DOWNLOAD_PROGRESS: return wx_run_download_progress_dialog(state);
    case WAYPOINT_DIALOG_NAME: case WAYPOINT_DIALOG_LIST: case WAYPOINT_DIALOG_SAVE_FILE:
        return wx_run_waypoint_dialog(kind, state);   // waypoints
    case PLATFORM_DIALOG_TRACK_STATS: return wx_run_track_stats_dialog(state);   // track statistics
    case PLATFORM_DIALOG_ROUTE_DIRECTIONS: return wx_run_road_directions_dialog(state);
    case PLATFORM_DIALOG_FIND: return wx_run_find_dialog(state);  // Find
    case PLATFORM_DIALOG_KEYS: {
        auto* d = static_cast<KeysDialog*>(state);
        return d->result = runInfo(d->caption, d->frame, d->iconRect, d->texts, d->okText, d->okRect);
    }
    case PLATFORM_DIALOG_ABOUT: {
        auto* d = static_cast<AboutDialog*>(state);
        return d->result = runInfo(d->caption, d->frame, d->iconRect, d->texts, d->okText, d->okRect);
    }
    default: return 0;
    }
}
