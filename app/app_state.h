// The main window's own program-wide state, beside map_view (maps/) and the
// fix record (position/). Main thread only.
#pragma once
#include <cstdint>
#include <vector>

#include "platform/platform.h"

struct AppSettings;
struct NightColours;

enum { APP_TITLE_TEXT = 260, APP_LAST_TITLE = 1028 };
// Client layout: toolbar buttons 32 x 32 at y = 6, map pane at (1, 49),
// in the screen's own pixels at scale 1 and that many times larger on a
// scaled (HiDPI) screen (app_px).
#define APP_BUTTON_SIZE app_px(32)
#define APP_BUTTON_Y app_px(6)
enum { APP_PANE_LEFT = 1, APP_PANE_TOP = 49 };   // at scale 1
#define APP_PANE_X app_px(APP_PANE_LEFT)
#define APP_PANE_Y app_px(APP_PANE_TOP)

// Where marks were drawn over the view composed in the frame: a paint of
// the same view composes only those parts again, not the whole pane.
// Recorded while the frame holds a composed view, in tiles of the pane.
struct FrameMarks {
    enum { TILE = 16 };                // pixels a side
    struct Rect {
        int x0, y0, x1, y1;            // columns [x0, x1), rows [y0, y1), frame pixels
    };
    bool recording;
    Rect pane;
    bool outside;                      // something was drawn past the pane, over the window's own parts
    int columns, rows;                 // tiles across and down the pane
    std::vector<uint8_t> tiles;        // 1 where drawn over, row by row
};

// What the window's own parts around the pane (ground, toolbar, the pane's
// frame lines) were last drawn for: while it stays the same and nothing
// was drawn over them, the frame keeps them and a paint leaves them be.
struct FrameChrome {
    bool drawn;
    const uint32_t* px;
    int width, height, stride, scale;
    const NightColours* night;
    int shownWidth, shownHeight, paneWidth, paneHeight;
    int autoPan, zoomLevel;
};

// The client area composed by a paint, rows top to bottom, 32-bit pixels
// 0xFFRRGGBB (as the window system takes them, so the paint hands the
// frame over without converting it); stride in pixels.
struct ClientFrame {
    uint32_t* px;
    int width, height, stride;
    bool borrowed;                     // px is the window system's (platform_frame_pixels), not freed here
    // At night what is drawn into the frame goes through these colours
    // (client_frame.h), the map as it is composed; null by day.
    const NightColours* night;
    FrameMarks* marks;                 // where what is drawn is recorded; null: nowhere
};

struct AppWindow {
    AppSettings* settings;             // null until loading succeeded, and after destroy
    int32_t posWritten;                // kiv_pos.txt written in this run
    char titleText[APP_TITLE_TEXT];
    char lastTitle[APP_LAST_TITLE];
    int32_t mapAreaWidth, mapAreaHeight;
    int32_t timerPeriodMs;             // 0 until armed
    ClientFrame frame;
    FrameMarks frameMarks;             // the marks over the view in frame (frame.marks)
    FrameChrome frameChrome;
    // The receiver went away and is being looked for: shown in the title.
    int32_t linkLost;
    char linkNote[96];
    unsigned linkNoteSeq;              // the link note shown (serial_link_status)
    // The view's own options (Options menu), kept between runs.
    int32_t fullScreen, lookAhead, night;
    // Course-up (the map turned so the course points up) and the form the
    // fix strip writes the pointer's position in (CoordinateForm).
    int32_t courseUp, pointerForm;
    // The pointer over the map pane (client pixel), for the fix strip.
    struct {
        int32_t over, x, y;
    } pointer;
    // The scale the program composes at: the screen's (platform_scale_factor),
    // or 1 with the map magnified, the toolkit then enlarging the frame.
    int32_t uiScale, magnifyMap;
    int32_t nightMode;                 // NIGHT_MODE_* (app/night_by_sun.h); night is what it gives now
    // The window as the toolkit last placed it: position, client size, and
    // whether maximised (the size then is the one before).
    struct {
        int32_t known, x, y, width, height, maximised;
    } placed;
    int32_t placedPosition;            // placed.x, y are the window's own (else the window manager's choice)
};

extern AppWindow app_window;

// The size on screen of what the program draws (toolbar, text, marker,
// arrow, scale bar, strip, marks) given in pixels of a screen at scale 1:
// the one place where they follow the screen's scale factor.
inline int app_px(int n) { return app_window.uiScale > 1 ? n * app_window.uiScale : n; }
// The scale the next frame is composed at (uiScale follows it on a resize).
inline int app_frame_scale() { return app_window.magnifyMap ? 1 : platform_scale_factor(); }

// Map area for a map size flag; the pane fills the client area once its
// size is known, else takes the sheet's size.
void app_set_map_area(int bigMaps);
// The pane: the client area below the toolbar, inside its frame lines.
void app_pane_from_client();
// Back to the state before app_create (frees the frame; tests).
void app_window_reset();
