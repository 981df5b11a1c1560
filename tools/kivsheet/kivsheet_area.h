// kivsheet fetch-area and fetch-route: every sheet of an area or a route
// corridor at the chosen levels, from the map server into the store.
#pragma once

int kivsheet_fetch_area(int argc, char** argv);
int kivsheet_fetch_route(int argc, char** argv);
