#include "app/display_bitmap.h"

#include "maps/map_view.h"
#include "platform/platform.h"

bool display_bitmap_rebuild(MapView& view) {
    Result built = map_view_build_bitmap(&view.dibHeader, &view.dibBits, view.pixels, view.imageWidth, view.imageHeight);
    if (!built && !built.why.empty()) platform_warn(built.why.c_str());
    return built.ok;
}
