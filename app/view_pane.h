// The map pane as a view of the sheet plane: composed from every stored
// sheet of the displayed level and size that meets it, through a cache of
// decoded sheets, hatched where none is stored; the missing ones go to the
// background queue nearest the vehicle (else the centre) first. The view
// is composed straight into the client frame (the picture is made once,
// where it is shown), and a paint of the same view again composes only
// where the last paint's marks covered it; it stands for the displayed
// picture (map_view's size and extents are the view's, and map_view.pixels
// is null while it does), so everything placed through them (marker,
// trail, track log, GPX, clicks, Map Coordinates) is in view coordinates.
// Main thread only.
#pragma once
#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "maps/scaled_sheets.h"
#include "maps/sheet_cache.h"
#include "maps/sheet_decoding.h"
#include "maps/view_compose.h"
#include "maps/view_compose_crew.h"
#include "maps/view_follow.h"
#include "platform/big_block.h"
#include "maps/view_plane.h"
#include "maps/view_sheets.h"
#include "maps/view_turn.h"

struct AppSettings;
struct ClientFrame;

// The view's own state, as app_window is the window's: one record.
struct ViewPane {
    SheetCache cache;
    ViewRecord shown{};                // the view last gathered
    bool composed = false;             // shown and images hold a view
    ViewImages images;                 // the decoded sheets shown, composed at every paint
    unsigned long gathering = 0;       // images gathered so far: names the images gathered last
    int shownAerial = -1;
    std::string shownKey;              // the stored sheets the view was made of
    std::vector<ViewSheet> loading;    // queued sheets in the shown view
    std::vector<ViewSheet> failing;    // sheets of the shown view whose fetch failed (backing off)
    std::vector<ViewSheet> lastMissing;   // the shown view's sheets with no picture, nearest first
    // Stored sheets that did not decode and were asked afresh: each once, so
    // a server that sends it broken again is not asked at every frame.
    std::set<std::string> renewedBroken;
    // Stored sheets are decoded by a worker, so that no frame waits for
    // one; the view shows "loading" over those it still waits for.
    std::unique_ptr<SheetDecoding> decoding = std::make_unique<SheetDecoding>();
    std::unique_ptr<ViewComposeCrew> crew = std::make_unique<ViewComposeCrew>();   // the frame composed on two cores
    std::vector<ViewSheet> decodingShown;  // the shown view's sheets being decoded
    std::set<std::string> undecodable;     // stored sheets whose file did not decode
    std::map<std::string, std::string> stamps;   // each cached sheet's file as it was decoded
    bool ringAsked = false;                // the ring around the shown view went to the worker
    struct Followed {
        bool valid;
        double x, y;
        int plane;                     // the plane x, y are in
    };
    Followed followed{};               // the vehicle's last placeable position
    // Set while Auto Pan is off and the view was moved off the displayed
    // sheet's centre, or left where following put it.
    Followed freeCentre{};
    bool lastFollowing = false;        // the last centre taken was the vehicle's
    // The store as last looked at, each cell kept for a second: long enough
    // that frames do not each read the store, short enough that sheets
    // written by another program (kivsheet) show soon. Emptied at once when
    // a sheet arrives.
    struct StoreLook {
        ViewStoreMemo memo;
        std::string mapsDir;
        int aerial;
        std::chrono::steady_clock::time_point since;   // the last slice of cells let go
        int slice;                     // its number
        // The sheets the last view needed, as this look saw the store.
        bool neededKept;
        ViewRecord neededFor;
        std::vector<ViewSheet> needed;
    } storeLook{};
    struct Follow {
        FollowState state;
        unsigned fixCount;             // the fix the state was stepped with
        double at;                     // when, steady seconds
    } follow{};
    // Where the last compose left the hatching under a "loading" or
    // "failed" sheet's centre: the labels drawn after the blit.
    struct Label {
        int x, y;                      // in the pane
        const char* text;
    };
    std::vector<Label> labels;
    std::vector<uint32_t> scratch;     // a pane larger than the frame is composed here
    // The view whose picture the frame holds at the pane, under the marks
    // drawn since (app_window.frameMarks): painted again unchanged, only
    // where they were is composed anew.
    struct Held {
        bool valid = false;
        ViewRecord view{};
        unsigned long gathering = 0;   // the images' (ViewPane::gathering)
        const uint32_t* at = nullptr;  // where in the frame, and its stride
        int stride = 0;
        const ColourCurve* curve = nullptr;
    } held;
    ScaledSheets scaled;               // the sheets filtered to a scale between the levels
    // A zoom under way (view_zoom.h): from the view shown when it began, with
    // that view's picture; startMs < 0 when none. showing: the view shown is
    // a frame of it, drawn from the picture.
    struct ZoomMotion {
        int64_t startMs = -1;
        ViewRecord from{};
        std::vector<uint32_t> picture;
        const ColourCurve* curve = nullptr;   // the picture's colours went through it (night)
        bool showing = false;
    } zoomMotion;
    // Course-up: the eased turn, when it was last stepped, and the square
    // picture under the turned pane, kept from frame to frame.
    struct Turning {
        ViewTurn turn;
        double at;                     // steady seconds, 0 before the first step
        std::unique_ptr<uint32_t[], BigBlockFree> from;
        size_t fromPixels = 0;
    } turning{};
};

extern ViewPane view_pane;

// The view's centre in the plane: the vehicle while Auto Pan is on and
// there is a position (so it stays in the middle, far from every edge),
// else the displayed sheet's centre; *plane is the plane of the sheets
// there (view_plane.h), so the view changes plane where the grids meet.
// 1, or 0 when neither can be placed.
int  view_pane_centre(const AppSettings* s, int* plane, double* x, double* y);
// The view's metres per pixel: the scale between the levels the user or
// Auto Zoom chose (map_view.scaleMpp) while the level in use draws it, else
// the level's own.
double view_pane_mpp(const AppSettings* s);
// A zoom is about to change the view: the picture shown now moves into the
// new scale over the next frames (view_zoom.h) before the new view is
// composed; the window's timer asks for the frames. Nothing where time
// cannot be told finely (a test's clock) or nothing is composed.
void view_pane_start_zoom();
// 1 while a zoom's frames are being shown.
int  view_pane_zooming();
// The paint's first step: gathers the view's sheets anew when the view, the
// set of stored sheets it needs, or the picture's size changed. A picture
// of a stored sheet loaded on its own gives way to the view; one that is
// no stored sheet (Open Map of another file, the placeholder) is left
// alone. 1 when it gathered a new view.
int  view_pane_update(const AppSettings* s);
// Composes the view gathered into the frame at the pane, before the marks
// go on it: where the frame holds it already, only where marks were drawn
// over it since (the frame's marks record them). 1, or 0 while the pane
// shows no composed view.
int  view_pane_draw(ClientFrame* f);
// Where the view stands while Auto Pan is off, once the user moved it off
// the displayed sheet's centre (drag, wheel, keys): a point in the plane
// (of that plane) and the level. The displayed sheet follows: the grid
// sheet under the centre, so Reload Map, the title and a later zoom out
// refer to what is in view. Nothing waits: stored sheets draw, missing ones
// are queued. A point beyond every grid is not taken.
void view_pane_move_to(const AppSettings* s, int plane, double x, double y, int level);
// The view centred on (lat, lon) at its level, in the plane of the sheets
// there, and Auto Pan off so it stays (Show of a waypoint, a search result,
// a line of directions). 0, nothing moved, where no grid has sheets.
int  view_pane_show_point(AppSettings* s, double lat, double lon);
// The view's centre and plane as last composed (or as it would be composed
// now), and its metres per pixel. 1, or 0 when no view can be placed.
int  view_pane_centre_now(const AppSettings* s, int* plane, double* x, double* y, double* mpp);
// A sheet was brought on screen by itself (click, level button, pan button,
// Open Map): the view goes back to its centre.
void view_pane_clear_centre();
// After the blit: "loading" over the sheets being fetched, "failed" over
// those the server did not deliver, and a line saying why sheets stay
// missing (the map server not answering, or offline).
void view_pane_draw_loading();
// A sheet file was replaced: its decoded image goes.
void view_pane_forget(const char* path);
// The sheet at path (its file just stored, replaced or chosen) as the view
// takes it while it composes the pane from the store: decoded afresh into
// its cache, the pane's picture left for the next compose to draw over.
// 1 then; 0 when the view does not compose now or the sheet does not
// decode there, for the caller to load it as a picture of its own.
int  view_pane_take_sheet(const AppSettings* s, const char* path);
// The maps folder changed: every decoded sheet and store lookup goes.
void view_pane_forget_store();
// 1 while the pane shows the composed view (not a picture of its own) at
// the picture's size.
int  view_pane_composing();
// The view last composed; 0 before any.
int  view_pane_current(ViewRecord* out);
// A screen offset (pixels, y down) on the turned (course-up) view to the
// same offset on the unturned one, whose axes are the plane's.
void view_pane_unturn(double* dx, double* dy);
// Forgets the view and empties the cache (tests, window reset).
void view_pane_reset();
// Exit: the decoding worker is joined (what it was decoding is dropped).
void view_pane_stop_decoding();
// Waits until the worker has decoded what the view asked of it, at most
// timeoutMs (tests; the next paint shows them). 1, or 0 on the deadline.
int  view_pane_decoding_drain(int timeoutMs);
