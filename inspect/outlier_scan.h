// The outliers kd-inspect finds on an 8-bit image by detection's own filter
// and rule, split into bright and dark ones with the spread of every pixel's
// distance from its window mean, and how they agree with a defect map.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "correction/box_filter.h"
#include "lib/image.h"

class DefpixTable;

// The largest deviation from the window mean the deviation curve shows.
constexpr int32_t largest_plotted_deviation = 64;

// What detection finds on an 8-bit image, split by direction.
struct OutlierScan {
    // Per pixel, row-major: 0, or outlier_bright / outlier_dark (the kinds of
    // OutlierRule); empty when only counted.
    std::vector<uint8_t> kind;
    int64_t bright = 0;
    int64_t dark = 0;
    // deviating[x]: pixels whose value differs from their window mean by
    // more than x grey levels.
    std::array<int64_t, largest_plotted_deviation + 1> deviating{};

    int64_t outliers() const { return bright + dark; }
};

// Detection as --create_defpix_map runs it (window w × w, threshold t): a
// pixel above its window mean by more than t is bright, one below it by more
// than t dark. With t below 0 every pixel is an outlier: dark when it lies at
// least -t below its mean, bright otherwise.
// With `counted` the scan keeps no per-pixel kinds, only the counts.
enum class OutlierKinds { kept, counted };
OutlierScan scan_outliers(const ImageBW& image, int32_t threshold, int32_t window,
                          OutlierKinds kinds = OutlierKinds::kept);

// Outliers against the map: in it, map pixel entries that are no outlier,
// outliers not in it.
struct MapAgreement {
    int64_t confirmed = 0;
    int64_t stale = 0;
    int64_t missed = 0;
};
MapAgreement compare_with_map(const OutlierScan& scan, const std::vector<uint8_t>& mask,
                              const DefpixTable& table, int32_t width);
