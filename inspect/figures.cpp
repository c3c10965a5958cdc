#include "figures.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <deque>
#include <unordered_set>

#include "correction/defpix.h"
#include "correction/defpix_detect.h"
#include "lib/bmp.h"
#include "lib/float_map.h"

namespace {

// A band of this many map values at a time keeps the noise pass's sums small.
constexpr size_t noise_band_values = size_t(1) << 20;

size_t pixel_count(const ImageBW& image)
{
    return static_cast<size_t>(image.width()) * static_cast<size_t>(image.height());
}

int64_t position_key(int32_t x, int32_t y)
{
    return static_cast<int64_t>(static_cast<uint64_t>(static_cast<uint32_t>(y)) << 32 |
                                static_cast<uint32_t>(x));
}

// The value the sum adds for each pixel of one file line.
void line_values(const uint8_t* pixels, uint32_t bytes_per_pixel, int32_t width, uint32_t* values)
{
    if (bytes_per_pixel == 1) {
        for (int32_t x = 0; x < width; ++x) values[x] = pixels[x];
        return;
    }
    for (int32_t x = 0; x < width; ++x) {
        const uint8_t* pixel = pixels + static_cast<size_t>(bytes_per_pixel) * x;
        values[x] = (pixel[0] + pixel[1] + pixel[2]) / 3u;
    }
}

// Adds the frame's file lines [first, first + lines) to the band's sums.
bool add_frame_band(const std::string& path, int32_t first, int32_t lines, int32_t width,
                    std::vector<uint8_t>& strip, std::vector<uint32_t>& values,
                    std::vector<uint32_t>& sums, std::vector<uint64_t>& squares)
{
    BmpReader reader;
    if (!reader.open(path.c_str()) || reader.layout().width != width) return false;
    strip.resize(static_cast<size_t>(reader.line_size()) * lines);
    if (!reader.read_lines(first, lines, strip.data())) return false;
    values.resize(static_cast<size_t>(width));
    for (int32_t j = 0; j < lines; ++j) {
        line_values(strip.data() + static_cast<size_t>(reader.line_size()) * j,
                    reader.bytes_per_pixel(), width, values.data());
        uint32_t* sum = sums.data() + static_cast<size_t>(width) * j;
        uint64_t* square = squares.data() + static_cast<size_t>(width) * j;
        for (int32_t x = 0; x < width; ++x) {
            sum[x] += values[x];
            square[x] += static_cast<uint64_t>(values[x]) * values[x];
        }
    }
    return true;
}

double mean_of(const std::vector<double>& values)
{
    double sum = 0.0;
    for (double v : values) sum += v;
    return sum / static_cast<double>(values.size());
}

}  // namespace

OutlierScan scan_outliers(const ImageBW& image, int32_t threshold, int32_t window)
{
    OutlierScan scan;
    scan.kind.assign(pixel_count(image), 0);
    std::array<int64_t, 256> distances{};
    const int64_t t = threshold;
    box_filter_means(image, window, window,
                     [&](int32_t y, const uint8_t* pixels, const uint8_t* means, int32_t n) {
                         uint8_t* kinds = scan.kind.data() + static_cast<size_t>(y) * n;
                         for (int32_t x = 0; x < n; ++x) {
                             const int32_t p = pixels[x];
                             const int32_t m = means[x];
                             ++distances[static_cast<size_t>(p > m ? p - m : m - p)];
                             if (p > m + t) {
                                 kinds[x] = outlier_bright;
                                 ++scan.bright;
                             } else if (p < m - t) {
                                 kinds[x] = outlier_dark;
                                 ++scan.dark;
                             }
                         }
                     });
    int64_t beyond = 0;
    for (int32_t d = 255; d >= 0; --d) {
        if (d <= largest_plotted_deviation) scan.deviating[static_cast<size_t>(d)] = beyond;
        beyond += distances[static_cast<size_t>(d)];
    }
    return scan;
}

std::optional<double> temporal_noise(
    const std::vector<std::string>& frames, int32_t width, int32_t height,
    const std::function<void(int64_t lines_done, int64_t lines_total)>& progress)
{
    const size_t count = frames.size();
    if (count < 2 || width <= 0 || height <= 0) return std::nullopt;
    const int32_t band_lines = static_cast<int32_t>(
        std::max<size_t>(1, std::min<size_t>(noise_band_values / static_cast<size_t>(width),
                                             static_cast<size_t>(height))));
    std::vector<uint8_t> strip;
    std::vector<uint32_t> values;
    std::vector<uint32_t> sums;
    std::vector<uint64_t> squares;
    const int64_t frames_count = static_cast<int64_t>(count);
    double variance_total = 0.0;
    for (int32_t first = 0; first < height; first += band_lines) {
        const int32_t lines = std::min(band_lines, height - first);
        const size_t band = static_cast<size_t>(width) * lines;
        sums.assign(band, 0);
        squares.assign(band, 0);
        for (const std::string& frame : frames)
            if (!add_frame_band(frame, first, lines, width, strip, values, sums, squares))
                return std::nullopt;
        // L × sum of squares - sum², exact in 64 bits, is L (L - 1) times the
        // sample variance.
        int64_t scaled = 0;
        for (size_t i = 0; i < band; ++i)
            scaled += frames_count * static_cast<int64_t>(squares[i]) -
                      static_cast<int64_t>(sums[i]) * static_cast<int64_t>(sums[i]);
        variance_total += static_cast<double>(scaled);
        if (progress) progress(first + lines, height);
    }
    const double pixels = static_cast<double>(width) * static_cast<double>(height);
    const double divisor =
        static_cast<double>(frames_count) * static_cast<double>(frames_count - 1);
    return std::sqrt(variance_total / divisor / pixels);
}

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

BlockFigures block_figures(const FloatMap& means, int32_t width, int32_t height)
{
    BlockFigures figures;
    const int32_t count = means.count();
    if (count <= 0) return figures;
    const std::vector<double> values(means.data(), means.data() + count);
    const double mean = mean_of(values);
    const auto [low, high] = std::minmax_element(values.begin(), values.end());
    if (mean != 0.0) {
        double squares = 0.0;
        for (double v : values) squares += (v - mean) * (v - mean);
        figures.spread = (*high - *low) / mean * 100.0;
        figures.scatter = std::sqrt(squares / static_cast<double>(count)) / mean * 100.0;
    }
    const int32_t last_x = means.width() - 1;
    const int32_t last_y = means.height() - 1;
    const double corners = (static_cast<double>(means.get(0, 0)) + means.get(last_x, 0) +
                            means.get(0, last_y) + means.get(last_x, last_y)) /
                           4.0;
    const double centre = means.get(width / 2 / 16, height / 2 / 16);
    if (centre != 0.0) figures.corner_centre = corners / centre;
    return figures;
}

std::optional<double> nonuniformity(const ImageBW& image, const std::vector<uint8_t>* excluded)
{
    const uint8_t* pixels = image.data();
    const size_t count = pixel_count(image);
    int64_t n = 0;
    int64_t sum = 0;
    int64_t squares = 0;
    for (size_t i = 0; i < count; ++i) {
        if (excluded && (*excluded)[i]) continue;
        ++n;
        sum += pixels[i];
        squares += int64_t{pixels[i]} * pixels[i];
    }
    if (n == 0 || sum == 0) return std::nullopt;
    // n² × variance, exact in 64 bits.
    const double scaled_variance = static_cast<double>(n * squares - sum * sum);
    return std::sqrt(scaled_variance) / static_cast<double>(sum) * 100.0;
}

Profiles profiles_of(const ImageBW& image)
{
    const size_t W = image.width();
    const size_t H = image.height();
    std::vector<int64_t> columns(W, 0);
    Profiles profiles;
    profiles.rows.reserve(H);
    const uint8_t* pixels = image.data();
    for (size_t y = 0; y < H; ++y) {
        const uint8_t* row = pixels + W * y;
        int64_t sum = 0;
        for (size_t x = 0; x < W; ++x) {
            sum += row[x];
            columns[x] += row[x];
        }
        profiles.rows.push_back(static_cast<double>(sum) / static_cast<double>(W));
    }
    profiles.columns.reserve(W);
    for (int64_t sum : columns)
        profiles.columns.push_back(static_cast<double>(sum) / static_cast<double>(H));
    return profiles;
}

GainFigures gain_figures(const FloatMap& gains)
{
    GainFigures figures;
    const int32_t count = gains.count();
    if (count <= 0) return figures;
    const float* values = gains.data();
    figures.min = figures.max = values[0];
    double sum = 0.0;
    for (int32_t i = 0; i < count; ++i) {
        figures.min = std::min<double>(figures.min, values[i]);
        figures.max = std::max<double>(figures.max, values[i]);
        sum += values[i];
        if (values[i] >= 16.0f) ++figures.clamped;
    }
    figures.mean = sum / static_cast<double>(count);
    return figures;
}

std::unique_ptr<ImageBW> copy_of(const ImageBW& image)
{
    std::unique_ptr<ImageBW> copy(
        new ImageBW(static_cast<int32_t>(image.width()), static_cast<int32_t>(image.height())));
    std::memcpy(copy->data(), image.data(), pixel_count(image));
    return copy;
}
