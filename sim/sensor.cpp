#include "sensor.h"

#include <algorithm>
#include <cstdlib>
#include <unordered_map>

namespace camsim {

namespace {

// Every level below is in sixteenths of a grey level, and every step from
// the settings to a pixel is integer arithmetic: a float anywhere on the way
// would let x87, SSE and fused multiply-add builds round differently and give
// different bytes.
constexpr int32_t unit_bits = 4;
constexpr int32_t unit = 1 << unit_bits;
constexpr int32_t brightness = 170 * unit;
constexpr int32_t column_excess = 45 * unit;
// Standard deviations in hundredths of a sixteenth: the fixed pattern's 1
// grey level, and 1.5 / sqrt(2) for each of the two values that add up to
// the temporal noise's 1.5.
constexpr int64_t pattern_sd = 100 * unit;
constexpr int64_t noise_half_sd = 1697;
// 0.18 of the brightness at the edge of one axis, in tenths of a sixteenth.
constexpr int64_t falloff_tenths = 170 * 18 * unit / 10;

// Row windows start anywhere in this many values. Two rows share a window
// once in this many, which a fixed pattern can afford; the temporal noise adds
// windows of two pools, so that a row repeats another row's noise, or its
// own of another frame, once in this many squared.
constexpr uint32_t pool_period = 1u << 16;

// Defects keep this far apart from each other and from the bad column, so
// each stands alone in the neighbourhood a detector looks at.
constexpr uint32_t defect_spacing = 8;

// Keep the streams drawn from one seed apart: the pools' values, the rows'
// windows into them, the defects' positions.
constexpr uint64_t pattern_stream = 0x7061747465726E31ull;
constexpr uint64_t noise_streams[2] = {0x6E6F697365303031ull, 0x6E6F697365303032ull};
constexpr uint64_t pattern_rows = 0x726F777370617431ull;
constexpr uint64_t noise_rows[2] = {0x726F77736E6F6931ull, 0x726F77736E6F6932ull};
constexpr uint64_t defect_stream = 0x6465666563747331ull;

// splitmix64's finaliser: every input bit reaches every output bit, so
// neighbouring rows and frames land far apart.
uint64_t mix(uint64_t z)
{
    z += 0x9E3779B97F4A7C15ull;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

class Stream {
public:
    explicit Stream(uint64_t key) : state_(mix(key)) {}
    uint64_t next() { return mix(state_++); }
    // 0 .. limit - 1, without a division.
    uint32_t below(uint32_t limit)
    {
        return static_cast<uint32_t>(((next() >> 32) * static_cast<uint64_t>(limit)) >> 32);
    }

private:
    uint64_t state_;
};

// Rounds half away from zero, the same for both signs.
int64_t rounded_quotient(int64_t numerator, int64_t denominator)
{
    return numerator >= 0 ? (numerator + denominator / 2) / denominator
                          : -((-numerator + denominator / 2) / denominator);
}

// Twelve uniform 16-bit values add up to a near-normal value of mean
// 12 * 65535 / 2 and standard deviation 65536 (Irwin-Hall), scaled to
// `sd_hundredths` / 100.
std::vector<int16_t> normal_pool(uint64_t key, uint32_t width, int64_t sd_hundredths)
{
    Stream stream(key);
    std::vector<int16_t> pool(static_cast<size_t>(pool_period) + width);
    for (int16_t& value : pool) {
        int64_t sum = 0;
        for (int draw = 0; draw < 3; ++draw) {
            const uint64_t bits = stream.next();
            for (int part = 0; part < 4; ++part) sum += (bits >> (16 * part)) & 0xFFFF;
        }
        value = static_cast<int16_t>(
            rounded_quotient((sum - 12 * 65535 / 2) * sd_hundredths, 100 * 65536));
    }
    return pool;
}

// The vignetting's share along one axis of `size` pixels, for each position:
// 0.18 * brightness * d^2, d running from -1 at one edge to 1 at the other.
// Vignetting of 1 - 0.18 (dx^2 + dy^2) is the sum of the two axes' shares.
std::vector<int16_t> falloff(uint32_t size)
{
    std::vector<int16_t> values(size, 0);
    if (size < 2) return values;
    const int64_t span = size - 1;
    for (uint32_t i = 0; i < size; ++i) {
        const int64_t twice_offset = 2 * static_cast<int64_t>(i) - span;
        // |d| in 1/65536 steps: its square stays far inside 64 bits for any size.
        const int64_t d = (std::abs(twice_offset) * 65536 + span / 2) / span;
        values[i] = static_cast<int16_t>(
            rounded_quotient(falloff_tenths * d * d, 10 * static_cast<int64_t>(65536) * 65536));
    }
    return values;
}

int64_t chosen_column(const SensorSettings& settings)
{
    if (!settings.has_bad_column) return -1;
    const uint32_t column = settings.bad_column_set ? settings.bad_column : settings.width / 3 + 1;
    if (column >= settings.width) return -1;
    return column;
}

uint32_t distance(uint32_t a, uint32_t b) { return a > b ? a - b : b - a; }

// Draws positions from the seed and keeps those at least defect_spacing from
// every kept one on either axis and from the column. A cell of the spacing's
// size holds at most one defect, so the cells around a position hold every
// one it could be too close to. The tries are bounded: a sensor without room
// ends with fewer defects, not in an endless loop.
void place_defects(const SensorSettings& settings, int64_t column, std::vector<SensorDefect>& hot,
                   std::vector<SensorDefect>& dead)
{
    const uint32_t hot_wanted = std::min(settings.hot_pixels, max_sensor_defects);
    const uint32_t dead_wanted = std::min(settings.dead_pixels, max_sensor_defects);
    const uint64_t wanted = static_cast<uint64_t>(hot_wanted) + dead_wanted;
    if (wanted == 0 || settings.width == 0 || settings.height == 0) return;

    auto cell_key = [](uint64_t cx, uint64_t cy) { return cy << 32 | cx; };
    std::unordered_map<uint64_t, SensorDefect> cells;
    cells.reserve(static_cast<size_t>(wanted));
    auto far_enough = [&](uint32_t x, uint32_t y) {
        if (column >= 0 && distance(x, static_cast<uint32_t>(column)) < defect_spacing)
            return false;
        const uint64_t cx = x / defect_spacing;
        const uint64_t cy = y / defect_spacing;
        for (uint64_t ny = cy == 0 ? 0 : cy - 1; ny <= cy + 1; ++ny)
            for (uint64_t nx = cx == 0 ? 0 : cx - 1; nx <= cx + 1; ++nx) {
                auto found = cells.find(cell_key(nx, ny));
                if (found != cells.end() && distance(found->second.x, x) < defect_spacing &&
                    distance(found->second.y, y) < defect_spacing)
                    return false;
            }
        return true;
    };

    Stream stream(settings.seed ^ defect_stream);
    const uint64_t tries = 16 * wanted + 1024;
    for (uint64_t attempt = 0; attempt < tries && hot.size() + dead.size() < wanted; ++attempt) {
        const SensorDefect at{stream.below(settings.width), stream.below(settings.height)};
        if (!far_enough(at.x, at.y)) continue;
        cells[cell_key(at.x / defect_spacing, at.y / defect_spacing)] = at;
        (hot.size() < hot_wanted ? hot : dead).push_back(at);
    }
}

// Where row `row` reads its window of a pool.
uint32_t window(uint64_t key, uint64_t row)
{
    return static_cast<uint32_t>(mix(key + row)) % pool_period;
}

}  // namespace

Sensor::Sensor(const SensorSettings& settings)
    : width_(settings.width),
      height_(settings.height),
      seed_(settings.seed),
      bad_column_(chosen_column(settings)),
      column_base_(falloff(settings.width)),
      row_falloff_(falloff(settings.height)),
      pattern_pool_(normal_pool(settings.seed ^ pattern_stream, settings.width, pattern_sd)),
      noise_pools_{normal_pool(settings.seed ^ noise_streams[0], settings.width, noise_half_sd),
                   normal_pool(settings.seed ^ noise_streams[1], settings.width, noise_half_sd)}
{
    for (int16_t& level : column_base_) level = static_cast<int16_t>(brightness - level);
    if (bad_column_ >= 0) {
        int16_t& level = column_base_[static_cast<size_t>(bad_column_)];
        level = static_cast<int16_t>(level + column_excess);
    }
    place_defects(settings, bad_column_, hot_, dead_);
}

void Sensor::frame(uint64_t index, uint8_t* pixels) const
{
    const uint64_t pattern_key = mix(seed_ ^ pattern_rows);
    const uint64_t noise_keys[2] = {mix(mix(seed_ ^ noise_rows[0]) + index),
                                    mix(mix(seed_ ^ noise_rows[1]) + index)};
    const int16_t* base = column_base_.data();
    // A local copy: a store through uint8_t* may alias the member, which
    // would keep the compiler from counting the inner loop's iterations.
    const uint32_t width = width_;
    for (uint32_t y = 0; y < height_; ++y) {
        const int16_t* pattern = pattern_pool_.data() + window(pattern_key, y);
        const int16_t* noise_a = noise_pools_[0].data() + window(noise_keys[0], y);
        const int16_t* noise_b = noise_pools_[1].data() + window(noise_keys[1], y);
        // The vertical vignetting, and half a grey level to round to the nearest.
        const int16_t row_level = static_cast<int16_t>(unit / 2 - row_falloff_[y]);
        uint8_t* line = pixels + static_cast<size_t>(y) * width;
        // 16-bit lanes throughout (every level stays far inside them), so the
        // loop vectorises to a few instructions per 8 or 16 pixels.
        for (uint32_t x = 0; x < width; ++x) {
            int16_t level =
                static_cast<int16_t>(base[x] + pattern[x] + noise_a[x] + noise_b[x] + row_level);
            level = static_cast<int16_t>(std::max<int16_t>(level, 0) >> unit_bits);
            line[x] = static_cast<uint8_t>(std::min<int16_t>(level, 255));
        }
    }
    for (const SensorDefect& at : hot_) pixels[static_cast<size_t>(at.y) * width_ + at.x] = 255;
    for (const SensorDefect& at : dead_) pixels[static_cast<size_t>(at.y) * width_ + at.x] = 0;
}

}  // namespace camsim
