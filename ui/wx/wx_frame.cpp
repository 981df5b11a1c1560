// The main window: frame, menu of the program, accelerators, the map window
// that fills the client area, the timer, and the events handed to app/.
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <chrono>
#include <thread>

#include "app/app_state.h"
#include "app/find_places.h"
#include "app/window_events.h"
#include "app/waypoints.h"
#include "app/window_keeping.h"
#include "settings/menu_ids.h"
#include "settings/window_state.h"
#include "ui/wx/wx_dialog_parts.h"
#include "ui/wx/wx_window.h"

WxWindow wx_window;

namespace {

std::thread::id main_thread;

struct MenuEntry {
    int id;                            // 0: separator
    const char* text;
    int checkable;
};

const MenuEntry gps_menu[] = {
    {MENU_OPEN_MAP, "&Open Map", 0}, {MENU_RELOAD_MAP, "&Reload Map", 0}, {MENU_DOWNLOAD_AREA, "Download &Area...", 0},
    {0, nullptr, 0},
    {MENU_FIND, "&Find...\tCtrl+F", 0}, {0, nullptr, 0},  // Find
    {MENU_OPEN_TRACK, "Open &Track...", 0}, {MENU_CLOSE_TRACKS, "Close Trac&ks", 0},
    {MENU_TRACK_STATS, "Track &Statistics...", 0}, {MENU_MEASURE, "&Measure", 1}, {0, nullptr, 0},   // measure
    {MENU_ONLINE, "On&line", 0},     {MENU_OFFLINE, "O&ffline", 0},       {0, nullptr, 0},
    {MENU_CONNECT, "&Connect", 0},   {MENU_DISCONNECT, "&Disconnect", 0}, {0, nullptr, 0},
    {MENU_EXIT, "E&xit", 0},
};
// Options > Night Colours
const MenuEntry night_menu[] = {
    {MENU_NIGHT_DAY, "&Day", 2}, {MENU_NIGHT_NIGHT, "&Night", 2}, {MENU_NIGHT_AUTO, "&Automatic (by the sun)", 2}};
const MenuEntry options_menu[] = {
    {MENU_AUTO_PAN, "&Auto Pan", 1},
    {MENU_AUTO_ZOOM, "Auto &Zoom", 1},
    {MENU_TRACK, "&Track", 1},
    {MENU_BIG_MAPS, "&Big Maps", 1},
    {MENU_MAP_COORDINATES, "&Map Coordinates", 1},
    {0, nullptr, 0},
    {MENU_SATELLITE_IMAGE, "&Satellite Image", 1},
    {0, nullptr, 0},
    {MENU_LOOK_AHEAD, "&Look Ahead", 1},
    {MENU_NIGHT_COLOURS, "&Night Colours", 3},   // night colours by the sun: a submenu
    {MENU_MAGNIFY_MAP, "Ma&gnify Map 2x", 1},
    {MENU_COURSE_UP, "C&ourse Up (C)", 1},   // course-up
    {MENU_FULL_SCREEN, "&Full Screen", 1},
    {0, nullptr, 0},
    {MENU_SETTINGS_COM, "Settings &COM", 0},
};
const MenuEntry device_menu[] = {
    {MENU_DEVICE_NMEA, "&NMEA", 0},        {MENU_DEVICE_USB_EARTHMATE, "EarthMate &USB", 0},
    {MENU_DEVICE_EARTHMATE, "&EarthMate", 0}, {MENU_DEVICE_TRIPMATE, "&TripMate", 0},
    {MENU_DEVICE_GARMIN, "&Garmin", 0},    {MENU_DEVICE_SMS, "Nokia &SMS", 0},
    {0, nullptr, 0},                       {MENU_DEVICE_REMOTE, "&Remote", 0},
    {0, nullptr, 0},                       {MENU_MONITOR, "&Monitor", 0},
};
// Waypoints
const MenuEntry waypoints_menu[] = {
    {MENU_WAYPOINT_MARK, "&Mark Waypoint (W)", 0}, {MENU_WAYPOINT_LIST, "Waypoint &List... (L)", 0},
    {0, nullptr, 0}, {MENU_WAYPOINT_IMPORT, "&Import Waypoints...", 0}, {MENU_WAYPOINT_EXPORT, "&Export Waypoints...", 0},
};
// Go To
const MenuEntry navigate_menu[] = {
    {MENU_GO_TO_POINTER, "&Go To Pointer (G)", 0},
    {MENU_FOLLOW_ROUTE, "&Follow Route...", 0},
    {MENU_STOP_NAVIGATION, "&Stop Navigation", 0},
};
// Routes along roads (checkable 2: the profile's radio items; 3: the night
// colours' submenu)
const MenuEntry route_menu[] = {
    {MENU_ROUTE_TO_POINTER, "&Route To Pointer\tCtrl+R", 0},
    {MENU_ROUTE_VIA_POINTER, "Add &Via Pointer", 0},
    {MENU_ROUTE_TO_DESTINATION, "Route To Go To &Destination", 0},
    {0, nullptr, 0},
    {MENU_ROUTE_DIRECTIONS, "D&irections...", 0},
    {MENU_ROUTE_SAVE_GPX, "&Save Route as GPX", 0},
    {MENU_ROUTE_CLEAR, "&Clear Route", 0},
    {0, nullptr, 0},
    {MENU_ROUTE_CAR, "C&ar", 2},
    {MENU_ROUTE_BICYCLE, "&Bicycle", 2},
    {MENU_ROUTE_FOOT, "&Foot", 2},
};
// The pointer's position in the fix strip (Options submenu)
const MenuEntry pointer_menu[] = {
    {MENU_POINTER_DECIMAL, "&Decimal Degrees", 2},
    {MENU_POINTER_DMS, "Degrees, Minutes, &Seconds", 2},
    {MENU_POINTER_DM, "Degrees, Decimal &Minutes", 2},
    {MENU_POINTER_UTM, "&UTM", 2},
};
const MenuEntry help_menu[] = {{MENU_KEYS, "&Keys", 0}, {MENU_ABOUT, "&About", 0}};

template <size_t N>
wxMenu* buildMenu(const MenuEntry (&entries)[N]) {
    auto* menu = new wxMenu;
    for (const MenuEntry& e : entries) {
        if (!e.id) menu->AppendSeparator();
        else if (e.checkable == 3) menu->AppendSubMenu(buildMenu(night_menu), wxString::FromUTF8(e.text));
        else menu->Append(e.id, wxString::FromUTF8(e.text), wxEmptyString,
                          e.checkable == 2 ? wxITEM_RADIO : e.checkable ? wxITEM_CHECK : wxITEM_NORMAL);
    }
    return menu;
}

wxMenuBar* buildMenuBar() {
    auto* bar = new wxMenuBar;
    bar->Append(buildMenu(gps_menu), "&Gps");
    wxMenu* options = buildMenu(options_menu);
    options->AppendSeparator();
    options->AppendSubMenu(buildMenu(pointer_menu), "&Pointer Position");   // the fix strip's form
    bar->Append(options, "&Options");
    bar->Append(buildMenu(device_menu), "&Device");
    bar->Append(buildMenu(waypoints_menu), "&Waypoints");
    bar->Append(buildMenu(navigate_menu), "&Navigate");
    bar->Append(buildMenu(route_menu), "&Route");
    bar->Append(buildMenu(help_menu), "&Help");
    bar->Enable(MENU_OFFLINE, false);
    bar->Enable(MENU_DISCONNECT, false);
    return bar;
}

void onMenu(wxCommandEvent& e) {
    int id = e.GetId();
    wxMenuItem* item = wx_window.menuBar ? wx_window.menuBar->FindItem(id) : nullptr;
    // An accelerator of a greyed item does nothing, as the item itself.
    if (item && !item->IsEnabled()) return;
    if (wx_window.created && !wx_window.destroyed) app_command(id);
    // GTK ticks a check item by itself; the program's own state wins.
    if (!wx_window.destroyed && item && item->IsCheckable() && (wx_window.checks[id] || item->GetKind() != wxITEM_RADIO))
        item->Check(wx_window.checks[id] != 0);
}

// The program's keys; Shift with Page Up/Down is the accelerators' (Connect,
// Disconnect).
int programKey(int code, bool shift) {
    switch (code) {
    case WXK_LEFT: case WXK_NUMPAD_LEFT: return APP_KEY_LEFT;
    case WXK_UP: case WXK_NUMPAD_UP: return APP_KEY_UP;
    case WXK_DOWN: case WXK_NUMPAD_DOWN: return APP_KEY_DOWN;
    case WXK_RIGHT: case WXK_NUMPAD_RIGHT: return APP_KEY_RIGHT;
    case '+': case '=': case WXK_NUMPAD_ADD: return APP_KEY_ZOOM_IN;
    case '-': case WXK_NUMPAD_SUBTRACT: return APP_KEY_ZOOM_OUT;
    case WXK_PAGEUP: case WXK_NUMPAD_PAGEUP: return shift ? 0 : APP_KEY_PAGE_UP;
    case WXK_PAGEDOWN: case WXK_NUMPAD_PAGEDOWN: return shift ? 0 : APP_KEY_PAGE_DOWN;
    case WXK_HOME: case WXK_NUMPAD_HOME: case WXK_SPACE: return APP_KEY_HOME;
    case WXK_F11: return APP_KEY_FULL_SCREEN;
    case WXK_ESCAPE: return APP_KEY_ESCAPE;
    case 'N': return APP_KEY_NIGHT;
    case 'W': return APP_KEY_WAYPOINT_MARK;   // waypoints
    case 'L': return APP_KEY_WAYPOINT_LIST;
    case 'G': return APP_KEY_GO_TO;
    case 'M': return APP_KEY_MEASURE;   // measure
    case 'C': return APP_KEY_COURSE_UP;   // course-up
    case WXK_BACK: return APP_KEY_BACKSPACE;
    default: return 0;
    }
}

bool live() { return wx_window.created && !wx_window.destroyed; }

// The program's keys act as they go down, with the modifiers held then, and
// again as the system repeats a held key: holding an arrow pans on. A
// toggle (full screen, night colours) and Home act once per press. An
// accelerator (Shift+Page Up/Down) takes its key before it gets here.
// The toolkit's own repeat mark is not used: it takes a press after a
// release lost in the switch to full screen for a repeat. Here a repeat is
// the same key again within a second (repeats come every few tens of
// milliseconds after a first wait of about half a second).
constexpr double kRepeatWithin = 1.0;

void onKeyDown(wxKeyEvent& e) {
    // Skip in every case: the frame's accelerators see the keys after us.
    e.Skip();
    double now = std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
    bool repeat = e.GetKeyCode() == wx_window.heldKey && now - wx_window.heldAt < kRepeatWithin;
    wx_window.heldKey = e.GetKeyCode();
    wx_window.heldAt = now;
    if (e.ControlDown() || e.AltDown()) return;
    int key = programKey(e.GetKeyCode(), e.ShiftDown());
    if (!key || !live() || (repeat && key >= APP_KEY_HOME)) return;
    app_key_down(key, e.ShiftDown() ? 1 : 0);
}

void onKeyUp(wxKeyEvent& e) {
    e.Skip();
    if (e.GetKeyCode() == wx_window.heldKey) wx_window.heldKey = 0;
}

void onMouseDown(wxMouseEvent& e, int button) {
    e.Skip();
    wx_window.map->SetFocus();
    // A drag goes on outside the window; its end comes back here.
    if (button == APP_BUTTON_LEFT && !wx_window.map->HasCapture()) wx_window.map->CaptureMouse();
    // Ctrl+click marks a waypoint: no drag starts.
    if (button == APP_BUTTON_LEFT && e.ControlDown() && wx_window.map->HasCapture()) wx_window.map->ReleaseMouse();
    if (live()) app_mouse_down(button, e.GetX() * wx_scale(), e.GetY() * wx_scale(), e.ShiftDown() ? 1 : 0, e.ControlDown() ? 1 : 0);
}

void onLeftUp(wxMouseEvent& e) {
    e.Skip();
    if (wx_window.map->HasCapture()) wx_window.map->ReleaseMouse();
    if (live()) app_mouse_up(APP_BUTTON_LEFT, e.GetX() * wx_scale(), e.GetY() * wx_scale());
}

void onWheel(wxMouseEvent& e) {
    if (e.GetWheelAxis() != wxMOUSE_WHEEL_VERTICAL) return;
    // Fine-grained wheels (touchpads) send parts of a notch: a level per
    // whole notch.
    static int rotation = 0;
    rotation += e.GetWheelRotation();
    int delta = e.GetWheelDelta() > 0 ? e.GetWheelDelta() : 120;
    int steps = rotation / delta;
    rotation -= steps * delta;
    if (steps && live()) app_mouse_wheel(e.GetX() * wx_scale(), e.GetY() * wx_scale(), steps);
}

// Where the frame is and how, for the next start.
void reportPlacement() {
    wxFrame* f = wx_window.frame;
    if (!f || !live() || !f->IsShown() || f->IsIconized()) return;
    wxPoint p = f->GetPosition();
    wxSize s = wx_window.map->GetClientSize();
    // Asked of the toolkit only for the log: before the window is mapped it
    // warns on the console.
    if (wx_window.log) {
        wxPoint client = wx_window.map->ClientToScreen(wxPoint(0, 0));
        wx_log("kiv: placed client at %d %d\n", client.x, client.y);
    }
    app_window_placed(p.x, p.y, s.x, s.y, f->IsMaximized() ? 1 : 0, f->IsFullScreen() ? 1 : 0);
}

void onMouseMove(wxMouseEvent& e) {
    e.Skip();
    // The system puts the arrow back when the pointer moves, also after a
    // command that left the wait cursor on.
    if (wx_window.busyDepth > 0) {
        wx_window.busyDepth = 0;
        wxEndBusyCursor();
    }
    if (live()) app_mouse_move(e.GetX() * wx_scale(), e.GetY() * wx_scale(), e.LeftIsDown() ? 1 : 0);
}

void onSize(wxSizeEvent& e) {
    e.Skip();
    if (!live()) return;
    wxSize s = wx_window.map->GetClientSize();
    wx_log("kiv: size %d %d\n", s.x, s.y);
    app_size(s.x * wx_scale(), s.y * wx_scale());
    reportPlacement();
}

void setVisible(int visible) {
    if (wx_window.visible.exchange(visible) != visible) wx_log("kiv: visible %d\n", visible);
}

void updateVisible() {
    wxFrame* f = wx_window.frame;
    setVisible(f && !wx_window.destroyed && f->IsShown() && !f->IsIconized() ? 1 : 0);
}

void onClose(wxCloseEvent&) {
    if (wx_window.destroyed) return;
    // Never under a running dialog: it ends first, the close comes after.
    if (!wx_window.modal.empty()) {
        wx_request_close();
        return;
    }
    // The program closes the link and then destroys the window itself.
    app_close();
}

void bindEvents(wxFrame* frame, wxWindow* map) {
    frame->Bind(wxEVT_MENU, onMenu, MENU_FIRST, MENU_LAST);
    frame->Bind(wxEVT_CLOSE_WINDOW, onClose);
    frame->Bind(wxEVT_TIMER, [](wxTimerEvent&) {
        if (live()) app_timer();
    });
    frame->Bind(wxEVT_MOVE, [](wxMoveEvent& e) {
        e.Skip();
        if (live()) app_moved();
        reportPlacement();
    });
    frame->Bind(wxEVT_SHOW, [](wxShowEvent& e) {
        e.Skip();
        updateVisible();
    });
    frame->Bind(wxEVT_ICONIZE, [](wxIconizeEvent& e) {
        e.Skip();
        setVisible(e.IsIconized() ? 0 : 1);
    });
    map->Bind(wxEVT_PAINT, [map](wxPaintEvent&) { wx_paint(map); });
    map->Bind(wxEVT_LEFT_DOWN, [](wxMouseEvent& e) { onMouseDown(e, APP_BUTTON_LEFT); });
    map->Bind(wxEVT_RIGHT_DOWN, [](wxMouseEvent& e) { onMouseDown(e, APP_BUTTON_RIGHT); });
    map->Bind(wxEVT_LEFT_UP, onLeftUp);
    map->Bind(wxEVT_MOUSE_CAPTURE_LOST, [](wxMouseCaptureLostEvent&) {
        if (live()) app_mouse_up(APP_BUTTON_LEFT, -1, -1);
    });
    map->Bind(wxEVT_MOUSEWHEEL, onWheel);
    map->Bind(wxEVT_MOTION, onMouseMove);
    // The fix strip shows the fix again once the pointer leaves the map.
    map->Bind(wxEVT_LEAVE_WINDOW, [](wxMouseEvent& e) {
        e.Skip();
        if (live()) app_mouse_move(-1, -1, 0);
    });
    map->Bind(wxEVT_KEY_DOWN, onKeyDown);
    map->Bind(wxEVT_KEY_UP, onKeyUp);
    map->Bind(wxEVT_SIZE, onSize);
}

}  // namespace

int wx_content_scale() {
    if (!wx_window.map) return 1;
    int scale = static_cast<int>(wx_window.map->GetContentScaleFactor() + 0.5);
    return scale < 1 ? 1 : scale;
}

int wx_scale() { return app_frame_scale(); }

bool wx_on_main_thread() { return std::this_thread::get_id() == main_thread; }

int wx_show_modal(wxDialog* dialog) {
    wx_window.modal.push_back(dialog);
    int answer = dialog->ShowModal();
    wx_window.modal.pop_back();
    // A close came while the dialog ran: the next one out ends as well,
    // then the window closes.
    if (wx_window.closePending) wx_request_close();
    return answer;
}

void wx_request_close() {
    if (!wx_window.modal.empty()) {
        wx_window.closePending = 1;
        wxDialog* top = wx_window.modal.back();
        if (top->IsModal()) top->EndModal(wxID_CANCEL);
        return;
    }
    wx_window.closePending = 0;
    if (wx_window.frame && !wx_window.destroyed) wx_window.frame->Close();
}

void wx_log(const char* format, ...) {
    if (!wx_window.log) return;
    va_list args;
    va_start(args, format);
    vprintf(format, args);
    va_end(args);
    fflush(stdout);
}

wxFrame* wx_create_main_window() {
    main_thread = std::this_thread::get_id();
    const char* log = getenv("KIV_PAINT_LOG");
    wx_window.log = log && strcmp(log, "1") == 0;
    wx_install_backend();

    // The size and place of the last run, or about 1024 x 768 the first time.
    AppStartWindow start;
    window_keeping_start_window(&start);
    int width = start.width, height = start.height;
    auto* frame = new wxFrame(nullptr, wxID_ANY, app_initial_title(),
                              start.hasPosition ? wxPoint(start.x, start.y) : wxDefaultPosition);
    wx_window.frame = frame;
    frame->SetIcon(wx_program_icon());
    wx_window.menuBar = buildMenuBar();
    frame->SetMenuBar(wx_window.menuBar);

    wxAcceleratorEntry keys[2];
    keys[0].Set(wxACCEL_SHIFT, WXK_PAGEUP, APP_ACCEL_SHIFT_PAGE_UP);
    keys[1].Set(wxACCEL_SHIFT, WXK_PAGEDOWN, APP_ACCEL_SHIFT_PAGE_DOWN);
    frame->SetAcceleratorTable(wxAcceleratorTable(2, keys));

    // The whole client area is painted by the program in one piece.
    auto* map = new wxWindow(frame, wxID_ANY, wxDefaultPosition, wxSize(width, height),
                             wxWANTS_CHARS | wxFULL_REPAINT_ON_RESIZE | wxBORDER_NONE);
    map->SetBackgroundStyle(wxBG_STYLE_PAINT);
    wx_window.map = map;
    frame->SetClientSize(width, height);
    // No smaller than a size the next start would take back.
    frame->SetMinClientSize(wxSize(WINDOW_STATE_MIN_WIDTH, WINDOW_STATE_MIN_HEIGHT));
    wx_window.timer = new wxTimer(frame);
    bindEvents(frame, map);

    app_create();
    wx_window.created = 1;
    frame->SetTitle("GPS for EarthMate, TripMate, Garmin, NMEA");
    if (start.maximised) frame->Maximize();
    frame->Show();
    if (start.fullScreen) frame->ShowFullScreen(true, WX_FULL_SCREEN_STYLE);
    updateVisible();
    map->SetFocus();
    wxSize s = map->GetClientSize();
    app_size(s.x * wx_scale(), s.y * wx_scale());
    return frame;
}
