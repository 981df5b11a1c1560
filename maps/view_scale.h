// The view's scale is continuous: metres per screen pixel anywhere between
// the finest level's own and the coarsest level's own. Which level's sheets
// draw it follows from the scale alone, so every caller agrees.
#pragma once

// The level whose sheets draw a view of mpp metres per pixel: the finer
// level's sheets scaled down until the coarser level's would be enlarged
// by at most VIEW_SCALE_MAX_ENLARGE, then the coarser level's.
int view_scale_level(double mpp, int big);
constexpr double VIEW_SCALE_MAX_ENLARGE = 1.5;

// mpp held between the finest and the coarsest level's own scales; a
// value that is no positive number becomes the coarsest.
double view_scale_clamp(double mpp, int big);

// steps notches finer (steps > 0) or coarser, each VIEW_SCALE_NOTCHES to a
// doubling, clamped.
double view_scale_step(double mpp, int steps, int big);
constexpr int VIEW_SCALE_NOTCHES = 4;

// The next level's own scale beyond mpp: finer (steps > 0) or coarser,
// as the level buttons and clicks jump; mpp itself at the end of the range.
double view_scale_next_level(double mpp, int steps, int big);
