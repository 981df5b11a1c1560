#include "app/waypoint_labels.h"

#include <algorithm>
#include <numeric>

namespace {

// The pane in cells; a placed box is listed in every cell it meets, so a
// new box is compared with the few near it, not with all.
constexpr int kCell = 64;

bool overlap(const WaypointLabel& a, const WaypointLabel& b) {
    return a.x < b.x + b.width && b.x < a.x + a.width && a.y < b.y + b.height && b.y < a.y + a.height;
}

}  // namespace

void waypoint_labels_place(std::vector<WaypointLabel>* labels, int width, int height) {
    std::vector<WaypointLabel>& l = *labels;
    std::vector<size_t> order(l.size());
    std::iota(order.begin(), order.end(), size_t{0});
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return l[a].nearness < l[b].nearness; });
    int columns = std::max(1, (width + kCell - 1) / kCell), rows = std::max(1, (height + kCell - 1) / kCell);
    std::vector<std::vector<size_t>> cells(static_cast<size_t>(columns) * rows);
    for (size_t i : order) {
        WaypointLabel& label = l[i];
        label.shown = false;
        if (label.x >= width || label.y >= height || label.x + label.width <= 0 || label.y + label.height <= 0)
            continue;
        int c0 = std::clamp(label.x / kCell, 0, columns - 1), c1 = std::clamp((label.x + label.width - 1) / kCell, 0, columns - 1);
        int r0 = std::clamp(label.y / kCell, 0, rows - 1), r1 = std::clamp((label.y + label.height - 1) / kCell, 0, rows - 1);
        bool free = true;
        for (int r = r0; r <= r1 && free; r++)
            for (int c = c0; c <= c1 && free; c++)
                for (size_t j : cells[static_cast<size_t>(r) * columns + c])
                    if (overlap(label, l[j])) {
                        free = false;
                        break;
                    }
        if (!free) continue;
        label.shown = true;
        for (int r = r0; r <= r1; r++)
            for (int c = c0; c <= c1; c++) cells[static_cast<size_t>(r) * columns + c].push_back(i);
    }
}
