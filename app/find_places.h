// Find: a dialog where the places, streets, water... of the map server's
// imports and towns, the user's waypoints and positions typed as
// coordinates appear as the user types, each with its kind, where it comes
// from, and its distance and bearing from the vehicle. The map server is
// asked on a worker thread, one request at a time, the newest text only:
// the window never waits on the network.
#pragma once
#include <string>
#include <vector>

#include "nav/place_match.h"
#include "platform/platform.h"
#include "settings/menu_ids.h"

struct AppSettings;

// What the user did with a result.
enum { FIND_CLOSED = 0, FIND_SHOW = 1, FIND_GO_TO = 2, FIND_MARK = 3, FIND_ROUTE_TO = 4 };
enum { PLATFORM_DIALOG_FIND = PLATFORM_DIALOG_FIND_FIRST };
// Edit > Find... (Ctrl+F).
enum { MENU_FIND = MENU_FIND_FIRST };

// The dialog's state: it calls typed after each change of text and poll a
// few times a second, and redraws the list when version changes.
struct FindDialogState {
    std::string text;                  // the box, as typed (UTF-8)
    std::vector<PlaceMatch> matches;   // best first
    std::vector<std::string> rows;     // matches as shown: name, kind, source, distance, bearing
    std::string status;                // under the list: how many, a note, why the server does not answer
    int version = 0;
    int chosen = 0;                    // out: the row acted on
    void (*typed)(FindDialogState*) = nullptr;
    void (*poll)(FindDialogState*) = nullptr;
};

// Find... (menu and Ctrl+F): runs the dialog, then shows, goes to or marks
// the chosen result, or routes to it along roads.
void command_find(AppSettings* s);

// The dialog's steps, for the window and for tests: the search of the
// current text starts (waypoints and typed positions at once, the map
// server on the worker); poll merges the server's answer when it is there.
void find_places_typed(FindDialogState* d);
void find_places_poll(FindDialogState* d);
// 1 while the worker has a request it has not answered.
int  find_places_busy();
// Exit: the worker's request is cut short and the worker joined.
void find_places_stop();
// What command_find does with the chosen match.
void find_places_act(AppSettings* s, const PlaceMatch& m, int action);
