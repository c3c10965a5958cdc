#include "map_geometry.h"

#include <algorithm>
#include <cstdint>
#include <deque>
#include <unordered_set>

#include "correction/defpix.h"

namespace {

int64_t position_key(int32_t x, int32_t y)
{
    return static_cast<int64_t>(static_cast<uint64_t>(static_cast<uint32_t>(y)) << 32 |
                                static_cast<uint32_t>(x));
}

}  // namespace

ClusterCounts count_clusters(const DefpixTable& table)
{
    std::unordered_set<int64_t> unvisited;
    for (const DefpixEntry& entry : table)
        if (entry.kind < defpix_kind_column) unvisited.insert(position_key(entry.x, entry.y));
    ClusterCounts counts;
    std::deque<std::pair<int32_t, int32_t>> frontier;
    for (const DefpixEntry& entry : table) {
        if (entry.kind >= defpix_kind_column) continue;
        if (unvisited.erase(position_key(entry.x, entry.y)) == 0) continue;
        int64_t size = 0;
        frontier.emplace_back(entry.x, entry.y);
        while (!frontier.empty()) {
            const auto [x, y] = frontier.front();
            frontier.pop_front();
            ++size;
            for (int32_t dy = -1; dy <= 1; ++dy)
                for (int32_t dx = -1; dx <= 1; ++dx) {
                    const int64_t nx = int64_t{x} + dx;
                    const int64_t ny = int64_t{y} + dy;
                    if (nx < INT32_MIN || nx > INT32_MAX || ny < INT32_MIN || ny > INT32_MAX)
                        continue;
                    const int32_t cx = static_cast<int32_t>(nx);
                    const int32_t cy = static_cast<int32_t>(ny);
                    if (unvisited.erase(position_key(cx, cy)) != 0) frontier.emplace_back(cx, cy);
                }
        }
        if (size == 1)
            ++counts.single;
        else if (size <= 4)
            ++counts.two_to_four;
        else
            ++counts.five_or_more;
        counts.largest = std::max(counts.largest, size);
    }
    return counts;
}

std::vector<uint8_t> defect_mask(const DefpixTable& table, int32_t width, int32_t height)
{
    const size_t W = static_cast<size_t>(width);
    std::vector<uint8_t> mask(W * static_cast<size_t>(height), 0);
    for (const DefpixEntry& entry : table) {
        if (entry.x < 0 || entry.x >= width) continue;
        if (entry.kind >= defpix_kind_column) {
            for (int32_t y = 0; y < height; ++y) mask[W * static_cast<size_t>(y) + entry.x] = 1;
        } else if (entry.y >= 0 && entry.y < height) {
            mask[W * static_cast<size_t>(entry.y) + entry.x] = 1;
        }
    }
    return mask;
}
