// What the main window's toolkit backend calls: the window procedure of the
// program, toolkit-independent. All of these run on the main thread. The
// backend creates the frame with the client size app_client_size gives for
// app_startup_big_maps(), calls app_create, then forwards its events here.
#pragma once

enum { APP_BUTTON_LEFT = 1, APP_BUTTON_RIGHT = 2 };
enum { APP_KEY_LEFT = 1, APP_KEY_UP = 2, APP_KEY_DOWN = 3, APP_KEY_RIGHT = 4 };
// Accelerators: Shift+Page Up sends 261 (Connect), Shift+Page Down 262.
enum { APP_ACCEL_SHIFT_PAGE_UP = 261, APP_ACCEL_SHIFT_PAGE_DOWN = 262 };

// The size flag of kiv_com.txt (second line begins with 'B'): 1 big, 0 small.
int  app_startup_big_maps();
// Client area for a map size: map area + 2-pixel margin, toolbar band above
// (722 x 591 big, 482 x 411 small).
void app_client_size(int bigMaps, int* width, int* height);

// Start-up when the window exists: settings, link, map area, zoom tables,
// zone and start position, first sheet, probe, timer (1000 ms). 1 when the
// settings record was attached, 0 when the window runs without one.
int  app_create();
void app_paint();                  // refresh, auto-pan/zoom, one blit, text
void app_timer();                  // re-arms the timer at 500 ms
void app_mouse_down(int button, int x, int y, int shift);
void app_mouse_move(int x, int y);
void app_key_up(int key, int shift);
void app_command(int id);          // menu ids 257..307 and the accelerators
void app_size(int clientWidth, int clientHeight);
void app_moved();                  // window position changed (Big Maps swap)
void app_close();                  // link closed, then platform_destroy_window()
void app_destroy();                // record freed, platform_quit(0)

// Window title at creation, before start-up sets its own.
inline const char* app_initial_title() { return "Kiv"; }
