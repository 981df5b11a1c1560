// kivsheet fetch-area and fetch-route: every sheet of an area or a route
// corridor at the chosen levels, from the map server into the store.
#pragma once

struct AppSettings;
struct KivsheetOptions;

// The settings the program would use, from kiv_ini.txt when present, with
// the contact of the User-Agent set from them.
void kivsheet_load_settings(AppSettings* s);

int kivsheet_fetch_area(const KivsheetOptions& o);
int kivsheet_fetch_route(const KivsheetOptions& o);
