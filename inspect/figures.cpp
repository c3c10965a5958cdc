#include "figures.h"

#include <algorithm>

#include "correction/defpix.h"
#include "correction/defpix_detect.h"

namespace {

size_t pixel_count(const ImageBW& image)
{
    return static_cast<size_t>(image.width()) * static_cast<size_t>(image.height());
}

// Kinds and distances of one row for a threshold of 0 to 255: every step
// stays within bytes, a whole vector of them at a time.
void classify_row(const uint8_t* pixels, const uint8_t* means, int32_t n, uint8_t t, uint8_t* kinds,
                  uint8_t* distance, int64_t& bright, int64_t& dark)
{
    uint32_t above_count = 0;
    uint32_t below_count = 0;
    for (int32_t x = 0; x < n; ++x) {
        const uint8_t p = pixels[x];
        const uint8_t m = means[x];
        const uint8_t up = static_cast<uint8_t>(p > m ? p - m : 0);
        const uint8_t down = static_cast<uint8_t>(m > p ? m - p : 0);
        const uint8_t above = up > t;
        const uint8_t below = down > t;
        kinds[x] = static_cast<uint8_t>(above * outlier_bright + below * outlier_dark);
        distance[x] = static_cast<uint8_t>(up | down);
        above_count += above;
        below_count += below;
    }
    bright += above_count;
    dark += below_count;
}

// The same for a threshold below 0 (every pixel an outlier) or above 255.
void classify_row_beyond_bytes(const uint8_t* pixels, const uint8_t* means, int32_t n, int32_t t,
                               uint8_t* kinds, uint8_t* distance, int64_t& bright, int64_t& dark)
{
    for (int32_t x = 0; x < n; ++x) {
        const int32_t d = int32_t{pixels[x]} - means[x];
        const int32_t above = d > t;
        const int32_t below = (d < -t) & !above;
        kinds[x] = static_cast<uint8_t>(above * outlier_bright + below * outlier_dark);
        bright += above;
        dark += below;
        distance[x] = static_cast<uint8_t>(d < 0 ? -d : d);
    }
}

}  // namespace

OutlierScan scan_outliers(const ImageBW& image, int32_t threshold, int32_t window,
                          OutlierKinds keep)
{
    OutlierScan scan;
    const bool kept = keep == OutlierKinds::kept;
    if (kept) scan.kind.assign(pixel_count(image), 0);
    std::vector<uint8_t> row_kinds(kept ? 0 : image.width());
    // Differences lie in -255..255, so a threshold beyond them acts as its end.
    const int32_t t = std::min(std::max(threshold, -256), 256);
    // Four histograms taken in turn, so that runs of equal distances do not
    // wait on one counter.
    std::array<std::array<uint32_t, 256>, 4> distances{};
    std::vector<uint8_t> row_distances(image.width());
    box_filter_means(image, window, window,
                     [&](int32_t y, const uint8_t* pixels, const uint8_t* means, int32_t n) {
                         uint8_t* kinds = kept ? scan.kind.data() + static_cast<size_t>(y) * n
                                               : row_kinds.data();
                         uint8_t* distance = row_distances.data();
                         if (t >= 0 && t <= 255)
                             classify_row(pixels, means, n, static_cast<uint8_t>(t), kinds,
                                          distance, scan.bright, scan.dark);
                         else
                             classify_row_beyond_bytes(pixels, means, n, t, kinds, distance,
                                                       scan.bright, scan.dark);
                         for (int32_t x = 0; x < n; ++x) ++distances[x & 3][distance[x]];
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
