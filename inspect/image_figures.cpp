#include "image_figures.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "correction/shading.h"
#include "correction/shading_gain.h"
#include "lib/float_map.h"

namespace {

double mean_of(const std::vector<double>& values)
{
    double sum = 0.0;
    for (double v : values) sum += v;
    return sum / static_cast<double>(values.size());
}

}  // namespace

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
    const double centre =
        means.get(width / 2 / shading_block_size, height / 2 / shading_block_size);
    if (centre != 0.0) figures.corner_centre = corners / centre;
    return figures;
}

std::optional<double> nonuniformity(const ImageBW& image, const std::vector<uint8_t>* excluded)
{
    const size_t width = image.width();
    int64_t n = 0;
    int64_t sum = 0;
    int64_t squares = 0;
    for (size_t y = 0; y < image.height(); ++y) {
        const uint8_t* pixels = image.data() + width * y;
        const uint8_t* left_out = excluded ? excluded->data() + width * y : nullptr;
        // Totals of pieces of a line in 32 bits, which hold the squares of
        // 65536 pixels of 255, widened once a piece.
        for (size_t begin = 0; begin < width; begin += 65536) {
            const size_t end = std::min(width, begin + 65536);
            uint32_t piece_n = 0;
            uint32_t piece_sum = 0;
            uint32_t piece_squares = 0;
            for (size_t x = begin; x < end; ++x) {
                const uint32_t kept = left_out ? 1u - (left_out[x] != 0) : 1u;
                const uint32_t p = pixels[x] * kept;
                piece_n += kept;
                piece_sum += p;
                piece_squares += p * p;
            }
            n += piece_n;
            sum += piece_sum;
            squares += piece_squares;
        }
    }
    if (n == 0 || sum == 0) return std::nullopt;
    const double mean = static_cast<double>(sum) / static_cast<double>(n);
    // Σ(p - mean)² = Σp² - mean × Σp; both terms exact integers or nearly.
    const double spread = static_cast<double>(squares) - mean * static_cast<double>(sum);
    return std::sqrt(std::max(spread, 0.0) / static_cast<double>(n)) / mean * 100.0;
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
        if (values[i] >= shading_gain_limit) ++figures.clamped;
    }
    figures.mean = sum / static_cast<double>(count);
    return figures;
}

std::unique_ptr<ImageBW> copy_of(const ImageBW& image)
{
    std::unique_ptr<ImageBW> copy(
        new ImageBW(static_cast<int32_t>(image.width()), static_cast<int32_t>(image.height())));
    std::memcpy(copy->data(), image.data(),
                static_cast<size_t>(image.width()) * static_cast<size_t>(image.height()));
    return copy;
}
