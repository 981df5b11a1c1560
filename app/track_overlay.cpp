#include "app/app_state.h"
#include "app/track_overlay.h"

#include <algorithm>
#include <cstdio>
#include <cmath>
#include <string>
#include <vector>

#include "app/client_frame.h"
#include "app/marker.h"
#include "app/pixel_line.h"
#include "maps/view_plane.h"
#include "maps/map_view.h"
#include "platform/platform.h"
#include "tracks/gpx_reader.h"

namespace {

// Pieces of at most this many pixel points share one bounding box.
constexpr size_t kPiece = 64;
// None purple or magenta (the sheets' boundary colour) nor red (the trail).
constexpr uint32_t kColours[] = {0xFF6000, 0x0050FF, 0x00A000, 0x00A0A0, 0x603000};
constexpr int kNameHeight = 13;

struct Pixel {
    double x, y;
};

struct Piece {
    size_t first, count;               // into Overlay::pixels; count >= 1
    double minX, minY, maxX, maxY;
};

struct Degrees {
    double lat, lon;
};

struct Waypoint {
    double lat, lon;
    double x, y;                       // map metres; NaN where the plane cannot place it
    std::string name;
    double px, py;                     // sheet pixel
};

struct Overlay {
    std::string path;                        // as opened, kept for the next start
    std::vector<std::vector<Degrees>> read;  // one per segment or route
    int plane = 0;                           // the plane of lines and waypoints' metres
    std::vector<std::vector<Pixel>> lines;   // map metres, one per segment or route
    std::vector<Waypoint> waypoints;
    uint32_t colour;
    std::vector<Pixel> pixels;               // sheet pixels, one pixel apart or more
    std::vector<Piece> pieces;
};

struct SheetKey {
    double minX, minY, maxX, maxY;
    int width, height, plane;
    double rotation;
    bool operator==(const SheetKey&) const = default;
};

std::vector<Overlay> overlays;
SheetKey projectedFor{};
bool projected = false;
int opened = 0;                              // files opened since the last close (colours)

// The lines and waypoints in map metres of the plane: projected once per
// plane the view enters. A point the projection cannot place breaks the line.
void toPlane(Overlay& o, int plane) {
    if (o.plane == plane) return;
    o.lines.clear();
    for (const auto& line : o.read) {
        std::vector<Pixel> metres;
        metres.reserve(line.size());
        for (const Degrees& p : line) {
            double x, y;
            if (view_plane_from_degrees(plane, p.lat, p.lon, &x, &y)) {
                metres.push_back(Pixel{x, y});
            } else if (!metres.empty()) {
                o.lines.push_back(std::move(metres));
                metres.clear();
            }
        }
        if (!metres.empty()) o.lines.push_back(std::move(metres));
    }
    for (Waypoint& w : o.waypoints)
        if (!view_plane_from_degrees(plane, w.lat, w.lon, &w.x, &w.y)) w.x = w.y = NAN;
    o.plane = plane;
}

Pixel toPixel(const SheetKey& k, double x, double y) {
    Pixel p{k.width * (x - k.minX) / (k.maxX - k.minX), k.height - k.height * (y - k.minY) / (k.maxY - k.minY)};
    map_view_turn(map_view, &p.x, &p.y);
    return p;
}

// Sheet pixels of every line, a point kept only where it leaves the pixel
// of the one before, cut into pieces with their bounds. A piece repeats
// the last pixel of the one before it so no segment is lost between them.
void project(Overlay& o, const SheetKey& k) {
    toPlane(o, k.plane);
    o.pixels.clear();
    o.pieces.clear();
    for (const auto& line : o.lines) {
        size_t start = o.pixels.size();
        for (const Pixel& m : line) {
            Pixel p = toPixel(k, m.x, m.y);
            if (o.pixels.size() > start && std::floor(p.x) == std::floor(o.pixels.back().x) &&
                std::floor(p.y) == std::floor(o.pixels.back().y))
                continue;
            o.pixels.push_back(p);
        }
        for (size_t i = start; i < o.pixels.size(); i += kPiece - 1) {
            size_t count = std::min(kPiece, o.pixels.size() - i);
            Piece piece{i, count, INFINITY, INFINITY, -INFINITY, -INFINITY};
            for (size_t j = i; j < i + count; j++) {
                piece.minX = std::min(piece.minX, o.pixels[j].x), piece.maxX = std::max(piece.maxX, o.pixels[j].x);
                piece.minY = std::min(piece.minY, o.pixels[j].y), piece.maxY = std::max(piece.maxY, o.pixels[j].y);
            }
            o.pieces.push_back(piece);
            if (count < kPiece) break;
        }
    }
    for (Waypoint& w : o.waypoints) {
        Pixel p = toPixel(k, w.x, w.y);
        w.px = p.x, w.py = p.y;
    }
}

bool ensureProjected() {
    const MapView& v = map_view;
    SheetKey k{v.extMinX, v.extMinY, v.extMaxX, v.extMaxY, v.imageWidth, v.imageHeight, v.extPlane, v.extRotation};
    if (!(k.maxX > k.minX) || !(k.maxY > k.minY) || k.width <= 0 || k.height <= 0) return false;
    if (projected && k == projectedFor) return true;
    for (Overlay& o : overlays) project(o, k);
    projectedFor = k;
    projected = true;
    return true;
}

struct Bitmap {
    unsigned char* bits;
    int width, height;
    long stride;
    int step;
    unsigned char b, g, r;
    void dot(int x, int y) const {
        // Two pixels by two, so a line stands out on a busy sheet.
        for (int dy = 0; dy < 2; dy++)
            for (int dx = 0; dx < 2; dx++) {
                int px = x + dx, py = y + dy;
                if (px < 0 || py < 0 || px >= width || py >= height) continue;
                unsigned char* p = bits + py * stride + px * step;
                p[0] = b, p[1] = g, p[2] = r;
            }
    }
};

// The pixels of the part of the segment inside the bitmap.
void segment(const Bitmap& bm, Pixel a, Pixel b) {
    pixel_line(a.x, a.y, b.x, b.y, -1, -1, bm.width + 1, bm.height + 1, [&](int x, int y) { bm.dot(x, y); });
}

bool onSheet(double x, double y, int width, int height) { return x >= 0 && y >= 0 && x < width && y < height; }

}  // namespace

int track_overlay_open(const char* path, char* error, size_t size) {
    GpxData data;
    std::string why;
    if (!gpx_read_file(path, &data, &why)) {
        if (error && size) snprintf(error, size, "%s", why.c_str());
        return 0;
    }
    Overlay o;
    o.path = path;
    o.colour = kColours[opened % (sizeof kColours / sizeof kColours[0])];
    for (const GpxLine& line : data.lines) {
        std::vector<Degrees> points;
        points.reserve(line.points.size());
        for (const GpxPoint& p : line.points) points.push_back(Degrees{p.lat, p.lon});
        o.read.push_back(std::move(points));
    }
    for (const GpxWaypoint& w : data.waypoints) o.waypoints.push_back(Waypoint{w.lat, w.lon, 0, 0, w.name, 0, 0});
    overlays.push_back(std::move(o));
    opened++;
    projected = false;
    return 1;
}

void track_overlay_close_all() {
    overlays.clear();
    opened = 0;
    projected = false;
}

int track_overlay_count() { return static_cast<int>(overlays.size()); }

uint32_t track_overlay_colour(int index) { return kColours[index % (sizeof kColours / sizeof kColours[0])]; }

void track_overlay_draw(const MarkSurface& to) {
    if (overlays.empty() || !to.bits || !ensureProjected()) return;
    const int width = to.width, height = to.height;
    for (const Overlay& o : overlays) {
        const uint32_t colour = mark_colour(to, o.colour);
        Bitmap bm{to.bits, width, height, to.stride, to.step, static_cast<unsigned char>(colour),
                  static_cast<unsigned char>(colour >> 8), static_cast<unsigned char>(colour >> 16)};
        for (const Piece& piece : o.pieces) {
            if (piece.maxX < -1 || piece.maxY < -1 || piece.minX > width || piece.minY > height) continue;
            // Dots two pixels wide from each point of the line.
            mark_surface_marked(to, static_cast<int>(std::floor(std::max(piece.minX, -2.0))) - 1,
                                static_cast<int>(std::floor(std::max(piece.minY, -2.0))) - 1,
                                static_cast<int>(std::ceil(std::min(piece.maxX, width + 2.0))) + 3,
                                static_cast<int>(std::ceil(std::min(piece.maxY, height + 2.0))) + 3);
            const Pixel* p = o.pixels.data() + piece.first;
            if (piece.count == 1) segment(bm, p[0], p[0]);
            for (size_t i = 1; i < piece.count; i++) segment(bm, p[i - 1], p[i]);
        }
        // Waypoints: a square of the colour in a black frame.
        Bitmap frame = bm;
        const uint32_t black = mark_colour(to, 0x000000);
        frame.b = static_cast<unsigned char>(black), frame.g = static_cast<unsigned char>(black >> 8),
        frame.r = static_cast<unsigned char>(black >> 16);
        for (const Waypoint& w : o.waypoints) {
            if (!onSheet(w.px, w.py, width, height)) continue;
            int x = static_cast<int>(std::floor(w.px)), y = static_cast<int>(std::floor(w.py));
            mark_surface_marked(to, x - 3, y - 3, x + 4, y + 4);
            for (int dy = -3; dy <= 2; dy += 2)
                for (int dx = -3; dx <= 2; dx += 2) {
                    bool edge = dx == -3 || dy == -3 || dx == 1 || dy == 1;
                    (edge ? frame : bm).dot(x + dx, y + dy);
                }
        }
    }
}

void track_overlay_draw_names(int paneX, int paneY, int sx, int sy, int paneWidth, int paneHeight) {
    if (overlays.empty() || !projected) return;
    for (const Overlay& o : overlays)
        for (const Waypoint& w : o.waypoints) {
            if (w.name.empty()) continue;
            double x = w.px - sx, y = w.py - sy;
            if (!onSheet(x, y, paneWidth, paneHeight)) continue;
            const int h = app_px(kNameHeight);
            int tx = paneX + static_cast<int>(x) + app_px(6), ty = paneY + static_cast<int>(y) - h / 2;
            platform_draw_text(tx + app_px(1), ty + app_px(1), w.name.c_str(), h, 700, RGB_WHITE);
            platform_draw_text(tx, ty, w.name.c_str(), h, 700, o.colour);
        }
}

std::vector<std::string> track_overlay_paths() {
    std::vector<std::string> paths;
    for (const Overlay& o : overlays) paths.push_back(o.path);
    return paths;
}

std::vector<TrackOverlayWaypoint> track_overlay_waypoints() {
    std::vector<TrackOverlayWaypoint> out;
    for (const Overlay& o : overlays)
        for (const Waypoint& w : o.waypoints) out.push_back(TrackOverlayWaypoint{w.name, o.path, w.lat, w.lon});
    return out;
}
