// A line of small text in the lower right corner of a picture: the
// attribution tile licences require on every map made from their tiles.
#pragma once

// Draws text (ASCII, lower case drawn as capitals, "©" as "(C)") in black
// on a white band over the packed RGB sheet; what does not fit is cut at
// the left. Nothing for an empty text.
void sheet_caption_draw(unsigned char* rgb, int width, int height, const char* text);
// The width and height of the band the whole text takes (0 wide for an
// empty text).
void sheet_caption_size(const char* text, int* width, int* height);
