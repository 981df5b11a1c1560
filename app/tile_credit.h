// The credit tile licences require ("© OpenStreetMap contributors",
// TilesAttribution=), drawn once in the top right corner of the map pane
// while it shows sheets made from tiles: in each sheet's own corner the
// neighbouring sheets of the composed view would cover it.
#pragma once

struct AppSettings;
struct ClientFrame;

// Into the frame, for the tile source of the kind of sheet shown (none
// without a tile source or a credit); the pane's top left at (paneX,
// paneY), paneWidth wide.
void tile_credit_draw(const AppSettings* s, ClientFrame* f, int paneX, int paneY, int paneWidth);
// The credit's height in pixels, 0 when none is drawn: what else sits in
// that corner goes below it.
int tile_credit_height(const AppSettings* s);
