// Track Statistics: the source, the figures in two columns, and the plot of
// height (brown) and speed (blue) against distance; a click on the plot
// marks that point on the map behind the dialog.
#include <wx/choice.h>
#include <wx/dcbuffer.h>

#include <algorithm>
#include <cmath>

#include "app/track_stats_dialog.h"
#include "nav/distance_text.h"
#include "ui/wx/wx_dialog_parts.h"
#include "ui/wx/wx_window.h"

namespace {

constexpr int kPlotWidth = 460, kPlotHeight = 180, kMargin = 30;
const wxColour kHeight(150, 90, 20), kSpeed(0, 80, 220), kMark(200, 0, 0);

double lastMetres(const TrackStatsDialog& d) { return d.profile.empty() ? 0 : d.profile.back().metres; }

struct Range {
    double low = INFINITY, high = -INFINITY;
    void take(double v) {
        if (std::isfinite(v)) low = std::min(low, v), high = std::max(high, v);
    }
    bool any() const { return low <= high; }
};

void drawPlot(wxDC& dc, const TrackStatsDialog& d, wxSize size) {
    dc.SetBackground(*wxWHITE_BRUSH);
    dc.Clear();
    const int left = kMargin, right = size.x - kMargin, top = 10, bottom = size.y - 20;
    dc.SetPen(*wxLIGHT_GREY_PEN);
    dc.DrawRectangle(left, top, right - left, bottom - top);
    double length = lastMetres(d);
    if (!(length > 0)) return;
    auto xOf = [&](double metres) { return left + static_cast<int>(std::lround((right - left) * metres / length)); };
    Range height, speed;
    for (const TrackProfilePoint& p : d.profile) height.take(p.ele), speed.take(p.mps);
    speed.low = 0;
    auto curve = [&](const Range& r, double TrackProfilePoint::*field, const wxColour& colour) {
        if (!r.any()) return;
        double span = std::max(r.high - r.low, 1.0);
        dc.SetPen(wxPen(colour, 2));
        bool have = false;
        wxPoint last;
        for (const TrackProfilePoint& p : d.profile) {
            double v = p.*field;
            if (!std::isfinite(v)) {
                have = false;
                continue;
            }
            wxPoint at(xOf(p.metres), bottom - static_cast<int>(std::lround((bottom - top) * (v - r.low) / span)));
            if (have) dc.DrawLine(last, at);
            last = at;
            have = true;
        }
    };
    curve(height, &TrackProfilePoint::ele, kHeight);
    curve(speed, &TrackProfilePoint::mps, kSpeed);
    char text[48];
    dc.SetTextForeground(*wxBLACK);
    dc.DrawText("0", left, bottom + 2);
    wxString end = wxString::FromUTF8(distance_text(length, d.speedUnit, text, sizeof text));
    dc.DrawText(end, right - dc.GetTextExtent(end).x, bottom + 2);
    if (height.any()) {
        dc.SetTextForeground(kHeight);
        dc.DrawText(wxString::FromUTF8(height_text(height.high, d.speedUnit, text, sizeof text)), 2, top);
        dc.DrawText(wxString::FromUTF8(height_text(height.low, d.speedUnit, text, sizeof text)), 2, bottom - 14);
    }
    if (speed.any()) {
        dc.SetTextForeground(kSpeed);
        wxString top_ = wxString::FromUTF8(speed_text(speed.high, d.speedUnit, text, sizeof text));
        dc.DrawText(top_, right - dc.GetTextExtent(top_).x, top);
    }
    if (std::isfinite(d.markedMetres)) {
        dc.SetPen(wxPen(kMark, 1));
        dc.DrawLine(xOf(d.markedMetres), top, xOf(d.markedMetres), bottom);
    }
}

void fillFigures(wxWindow* dialog, wxFlexGridSizer* grid, const TrackStatsDialog& d) {
    grid->Clear(true);
    if (!d.why.empty()) {
        grid->Add(new wxStaticText(dialog, wxID_ANY, wxString::FromUTF8(d.why)));
        grid->Add(new wxStaticText(dialog, wxID_ANY, ""));
        return;
    }
    for (const std::string& line : d.figures) {
        size_t tab = line.find('\t');
        grid->Add(new wxStaticText(dialog, wxID_ANY, wxString::FromUTF8(line.substr(0, tab))));
        grid->Add(new wxStaticText(dialog, wxID_ANY, wxString::FromUTF8(line.substr(tab + 1))));
    }
}

}  // namespace

int wx_run_track_stats_dialog(void* state) {
    auto* d = static_cast<TrackStatsDialog*>(state);
    wxWindow* owner = wx_window.frame && !wx_window.destroyed ? wx_window.frame : nullptr;
    auto* dialog = new wxDialog(owner, wxID_ANY, "Track Statistics", wxDefaultPosition, wxDefaultSize,
                                wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX);
    auto* rows = new wxBoxSizer(wxVERTICAL);
    wxArrayString names;
    for (const std::string& s : d->sources) names.Add(wxString::FromUTF8(s));
    auto* choice = new wxChoice(dialog, wxID_ANY, wxDefaultPosition, wxDefaultSize, names);
    choice->SetSelection(d->chosen);
    rows->Add(choice, 0, wxALL | wxEXPAND, 10);
    auto* grid = new wxFlexGridSizer(2, 4, 16);
    fillFigures(dialog, grid, *d);
    rows->Add(grid, 0, wxLEFT | wxRIGHT, 10);
    auto* plot = new wxPanel(dialog, wxID_ANY, wxDefaultPosition, wxSize(kPlotWidth, kPlotHeight));
    plot->SetBackgroundStyle(wxBG_STYLE_PAINT);
    plot->SetToolTip("Height (brown) and speed (blue) along the track: click to mark the point on the map");
    rows->Add(plot, 0, wxALL, 10);
    rows->Add(dialog->CreateButtonSizer(wxOK), 0, wxALL | wxALIGN_RIGHT, 10);
    plot->Bind(wxEVT_PAINT, [=](wxPaintEvent&) {
        wxAutoBufferedPaintDC dc(plot);
        drawPlot(dc, *d, plot->GetClientSize());
    });
    plot->Bind(wxEVT_LEFT_DOWN, [=](wxMouseEvent& e) {
        int left = kMargin, right = plot->GetClientSize().x - kMargin;
        if (right <= left || d->profile.empty()) return;
        double f = std::clamp((e.GetX() - left) / static_cast<double>(right - left), 0.0, 1.0);
        d->pick(d, f * lastMetres(*d));
        plot->Refresh();
    });
    choice->Bind(wxEVT_CHOICE, [=](wxCommandEvent&) {
        d->choose(d, choice->GetSelection());
        fillFigures(dialog, grid, *d);
        dialog->Layout();
        dialog->Fit();
        plot->Refresh();
    });
    dialog->SetSizerAndFit(rows);
    // Beside the window rather than over the map, so the point a click on
    // the plot marks can be seen; inside the screen's right edge.
    if (owner) {
        wxRect beside = owner->GetScreenRect();
        int x = std::min(beside.GetRight() + 1, wxGetDisplaySize().x - dialog->GetSize().x);
        dialog->Move(std::max(0, x), beside.GetTop());
    } else {
        dialog->Centre();
    }
    wxBusyCursorSuspender normalCursor;
    wx_show_modal(dialog);
    dialog->Destroy();
    return 1;
}
