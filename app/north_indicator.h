// The north indicator: a needle in a disc in the pane's top-right corner
// (under the tile credit) pointing to true north at the view's centre, so
// the Canadian grid's turned Lambert map and a course-up view still say
// where north is. Drawn at every paint over the map, after the night
// colours (it has its own). Main thread.
#pragma once

struct AppSettings;
struct ClientFrame;

// Into the frame over the pane at (paneX, paneY), paneWidth wide.
void north_indicator_draw(const AppSettings* s, ClientFrame* f, int paneX, int paneY, int paneWidth, int night);
