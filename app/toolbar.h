// The toolbar strip above the map pane: its lines, its buttons, which
// button a click hits and the tip shown over each.
#pragma once

struct ClientFrame;

enum ToolbarButton {
    TOOL_NONE = 0,
    TOOL_AUTO_PAN = 1,
    TOOL_WEST = 2, TOOL_NORTH = 3, TOOL_SOUTH = 4, TOOL_EAST = 5,
    TOOL_LEVEL_0 = 6,                  // + level, up to TOOL_LEVEL_0 + 4
};

// Strip lines, separators and the button faces (auto-pan and the level of
// zoomLevel drawn pressed when in force), across the frame's width.
void toolbar_draw(ClientFrame* f, int autoPan, int zoomLevel);

// The button under client point (x, y): row 6 <= y < 38, left < x < left + 32.
int toolbar_hit(int x, int y);

// What the button does, as its tip ("" for TOOL_NONE).
void toolbar_tooltip(int button, char* out, int size);
// The pointer moved to client point (x, y): the tip follows the button
// under it and goes away off the buttons; the platform hears only changes.
void toolbar_hover(int x, int y);
