// Where a defect map's entries lie: their clusters and the pixels they cover.
#pragma once

#include <cstdint>
#include <vector>

class DefpixTable;

// The map's pixel entries grouped into 8-connected clusters.
struct ClusterCounts {
    int64_t single = 0;
    int64_t two_to_four = 0;
    int64_t five_or_more = 0;
    int64_t largest = 0;
};
ClusterCounts count_clusters(const DefpixTable& table);

// The pixels of the map: its pixel entries and every pixel of its column
// entries, as a mask of width × height (1 in the map).
std::vector<uint8_t> defect_mask(const DefpixTable& table, int32_t width, int32_t height);
