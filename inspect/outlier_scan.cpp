#include "outlier_scan.h"

#include "correction/defpix.h"

namespace {

// Four histograms taken in turn, so that runs of equal distances do not wait
// on one counter.
using DistanceCounts = std::array<std::array<uint32_t, 256>, 4>;

void count_kinds(const uint8_t* kinds, int32_t n, int64_t& bright, int64_t& dark)
{
    uint32_t bright_count = 0;
    uint32_t dark_count = 0;
    for (int32_t x = 0; x < n; ++x) {
        bright_count += kinds[x] & outlier_bright;
        dark_count += (kinds[x] & outlier_dark) >> 1;
    }
    bright += bright_count;
    dark += dark_count;
}

// Each pixel's distance from its mean, a whole vector of bytes at a time,
// then counted.
void count_distances(const uint8_t* pixels, const uint8_t* means, int32_t n, uint8_t* distance,
                     DistanceCounts& distances)
{
    for (int32_t x = 0; x < n; ++x)
        distance[x] = static_cast<uint8_t>(pixels[x] > means[x] ? pixels[x] - means[x]
                                                                : means[x] - pixels[x]);
    for (int32_t x = 0; x < n; ++x) ++distances[x & 3][distance[x]];
}

}  // namespace

OutlierScan scan_outliers(const ImageBW& image, int32_t threshold, int32_t window,
                          OutlierKinds keep)
{
    OutlierScan scan;
    const bool kept = keep == OutlierKinds::kept;
    if (kept) scan.kind.assign(static_cast<size_t>(image.width()) * image.height(), 0);
    std::vector<uint8_t> row_kinds(kept ? 0 : image.width());
    const OutlierRule rule(threshold);
    DistanceCounts distances{};
    std::vector<uint8_t> row_distances(image.width());
    box_filter_means(image, window, window,
                     [&](int32_t y, const uint8_t* pixels, const uint8_t* means, int32_t n) {
                         uint8_t* kinds = kept ? scan.kind.data() + static_cast<size_t>(y) * n
                                               : row_kinds.data();
                         rule.kinds(pixels, means, n, kinds);
                         count_kinds(kinds, n, scan.bright, scan.dark);
                         count_distances(pixels, means, n, row_distances.data(), distances);
                     });
    int64_t beyond = 0;
    for (int32_t d = 255; d >= 0; --d) {
        if (d <= largest_plotted_deviation) scan.deviating[static_cast<size_t>(d)] = beyond;
        for (const auto& histogram : distances) beyond += histogram[static_cast<size_t>(d)];
    }
    return scan;
}

MapAgreement compare_with_map(const OutlierScan& scan, const std::vector<uint8_t>& mask,
                              const DefpixTable& table, int32_t width)
{
    MapAgreement agreement;
    for (size_t i = 0; i < scan.kind.size(); ++i) {
        if (!scan.kind[i]) continue;
        if (mask[i])
            ++agreement.confirmed;
        else
            ++agreement.missed;
    }
    const size_t W = static_cast<size_t>(width);
    const size_t height = W ? scan.kind.size() / W : 0;
    for (const DefpixEntry& entry : table) {
        if (entry.kind >= defpix_kind_column) continue;
        const bool inside = entry.x >= 0 && static_cast<size_t>(entry.x) < W && entry.y >= 0 &&
                            static_cast<size_t>(entry.y) < height;
        if (!inside || !scan.kind[W * static_cast<size_t>(entry.y) + entry.x]) ++agreement.stale;
    }
    return agreement;
}
