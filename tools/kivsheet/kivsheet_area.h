// kivsheet fetch-area and fetch-route: every sheet of an area or a route
// corridor at the chosen levels, from the map server into the store.
#pragma once

struct KivsheetOptions;

int kivsheet_fetch_area(const KivsheetOptions& o);
int kivsheet_fetch_route(const KivsheetOptions& o);
