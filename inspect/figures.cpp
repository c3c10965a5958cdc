#include "figures.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <deque>
#include <unordered_set>

#include "correction/defpix.h"
#include "lib/accumulate.h"
#include "lib/bmp.h"
#include "lib/float_map.h"

namespace {

// The noise pass sums a band of lines of every frame at a time, small
// enough to stay in the cache.
constexpr size_t noise_band_values = size_t(1) << 16;
// Frames kept open from one band to the next; more are opened again for each.
constexpr size_t frames_kept_open = 64;

size_t pixel_count(const ImageBW& image)
{
    return static_cast<size_t>(image.width()) * static_cast<size_t>(image.height());
}

int64_t position_key(int32_t x, int32_t y)
{
    return static_cast<int64_t>(static_cast<uint64_t>(static_cast<uint32_t>(y)) << 32 |
                                static_cast<uint32_t>(x));
}

// Each pixel's sum and sum of squares across the frames, a band of lines at a
// time. Sum and Square are wide enough for `frames` values and squares of 255.
template <typename Sum, typename Square>
class NoiseSums {
public:
    NoiseSums(const std::vector<std::string>& frames, int32_t width)
        : frames_(frames), width_(static_cast<size_t>(width)), values_(width_)
    {
        if (frames.size() <= frames_kept_open) readers_.resize(frames.size());
    }

    // Adds file lines [first, first + lines) of every frame; false when one
    // cannot be read.
    bool add_band(int32_t first, int32_t lines)
    {
        const size_t band = width_ * static_cast<size_t>(lines);
        sums_.assign(band, 0);
        squares_.assign(band, 0);
        for (size_t f = 0; f < frames_.size(); ++f) {
            BmpReader opened;
            BmpReader* reader = readers_.empty() ? &opened : &readers_[f];
            if (!reader->is_open() && !reader->open(frames_[f].c_str())) return false;
            if (static_cast<size_t>(reader->layout().width) != width_) return false;
            strip_.resize(static_cast<size_t>(reader->line_size()) * lines);
            if (!reader->read_lines(first, lines, strip_.data())) return false;
            for (int32_t j = 0; j < lines; ++j)
                add_line(line_values(*reader, j), static_cast<size_t>(j) * width_);
        }
        return true;
    }

    // L × (sum of squares) - sum², over the band: L (L - 1) times the sum of
    // the band's sample variances.
    double scaled_variance(int64_t frames) const
    {
        // Exact in 64 bits a pixel, and for a piece of 4096 pixels however
        // many frames there are; the pieces add up in a double.
        constexpr size_t piece = 4096;
        double total = 0.0;
        for (size_t begin = 0; begin < sums_.size(); begin += piece) {
            int64_t part = 0;
            for (size_t i = begin; i < std::min(sums_.size(), begin + piece); ++i)
                part += frames * static_cast<int64_t>(squares_[i]) -
                        static_cast<int64_t>(sums_[i]) * static_cast<int64_t>(sums_[i]);
            total += static_cast<double>(part);
        }
        return total;
    }

private:
    // The value the sum adds for each pixel of file line j of the strip: the
    // grey byte, or the channel mean rounded down.
    const uint8_t* line_values(const BmpReader& reader, int32_t j)
    {
        const uint8_t* pixels = strip_.data() + static_cast<size_t>(reader.line_size()) * j;
        const uint32_t bytes = reader.bytes_per_pixel();
        if (bytes == 1) return pixels;
        for (size_t x = 0; x < width_; ++x) {
            const uint8_t* pixel = pixels + bytes * x;
            values_[x] = static_cast<uint8_t>((pixel[0] + pixel[1] + pixel[2]) / 3);
        }
        return values_.data();
    }

    void add_line(const uint8_t* values, size_t offset)
    {
        Sum* sums = sums_.data() + offset;
        Square* squares = squares_.data() + offset;
        for (size_t x = 0; x < width_; ++x) {
            const uint32_t v = values[x];
            sums[x] = static_cast<Sum>(sums[x] + v);
            squares[x] = static_cast<Square>(squares[x] + v * v);
        }
    }

    const std::vector<std::string>& frames_;
    size_t width_;
    std::vector<BmpReader> readers_;
    std::vector<uint8_t> strip_;
    std::vector<uint8_t> values_;
    std::vector<Sum> sums_;
    std::vector<Square> squares_;
};

template <typename Sum, typename Square>
std::optional<double> noise_of(const std::vector<std::string>& frames, int32_t width,
                               int32_t height,
                               const std::function<void(int64_t, int64_t)>& progress)
{
    const int32_t band_lines = static_cast<int32_t>(
        std::max<size_t>(1, std::min<size_t>(noise_band_values / static_cast<size_t>(width),
                                             static_cast<size_t>(height))));
    const int64_t count = static_cast<int64_t>(frames.size());
    NoiseSums<Sum, Square> sums(frames, width);
    double variance_total = 0.0;
    for (int32_t first = 0; first < height; first += band_lines) {
        const int32_t lines = std::min(band_lines, height - first);
        if (!sums.add_band(first, lines)) return std::nullopt;
        variance_total += sums.scaled_variance(count);
        if (progress) progress(first + lines, height);
    }
    const double pixels = static_cast<double>(width) * static_cast<double>(height);
    const double divisor = static_cast<double>(count) * static_cast<double>(count - 1);
    return std::sqrt(variance_total / divisor / pixels);
}

double mean_of(const std::vector<double>& values)
{
    double sum = 0.0;
    for (double v : values) sum += v;
    return sum / static_cast<double>(values.size());
}

}  // namespace

std::optional<double> temporal_noise(
    const std::vector<std::string>& frames, int32_t width, int32_t height,
    const std::function<void(int64_t lines_done, int64_t lines_total)>& progress)
{
    if (frames.size() < 2 || width <= 0 || height <= 0) return std::nullopt;
    // 16-bit sums hold 257 frames of 255, 32-bit sums of squares 66051.
    if (frames.size() <= UINT16_MAX / 255u)
        return noise_of<uint16_t, uint32_t>(frames, width, height, progress);
    if (frames.size() <= UINT32_MAX / (255u * 255u))
        return noise_of<uint32_t, uint32_t>(frames, width, height, progress);
    return noise_of<uint32_t, uint64_t>(frames, width, height, progress);
}

void FrameSquares::add(const FileBand& band)
{
    if (band.bytes_per_pixel != 1) {
        grey_only_ = false;
        return;
    }
    const size_t size = static_cast<size_t>(band.line_size) * static_cast<size_t>(band.lines);
    // 32-bit totals of 66051 squares of 255 at most, widened once a piece.
    constexpr size_t piece = 65536;
    uint64_t total = 0;
    for (size_t begin = 0; begin < size; begin += piece) {
        uint32_t part = 0;
        for (size_t i = begin; i < std::min(size, begin + piece); ++i)
            part += uint32_t{band.bytes[i]} * band.bytes[i];
        total += part;
    }
    total_.fetch_add(total, std::memory_order_relaxed);
}

bool FrameSquares::usable() const
{
    // Sums of whole numbers below 2^24 are exact in a float.
    return grey_only_.load() && frames_ >= 2 && frames_ * 255 < (int64_t{1} << 24);
}

std::optional<double> FrameSquares::noise(const FloatMap& sum) const
{
    if (!usable() || sum.count() <= 0) return std::nullopt;
    const float* sums = sum.data();
    const size_t count = static_cast<size_t>(sum.count());
    // The squared sums exact in 64 bits a piece, the pieces added in a double.
    constexpr size_t piece = 4096;
    double squared_sums = 0.0;
    for (size_t begin = 0; begin < count; begin += piece) {
        int64_t part = 0;
        for (size_t i = begin; i < std::min(count, begin + piece); ++i) {
            const int64_t s = static_cast<int64_t>(sums[i]);
            part += s * s;
        }
        squared_sums += static_cast<double>(part);
    }
    const double frames = static_cast<double>(frames_);
    const double scaled = frames * static_cast<double>(total_.load()) - squared_sums;
    const double variance = scaled / (frames * (frames - 1.0)) / static_cast<double>(count);
    return std::sqrt(std::max(variance, 0.0));
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
