// The simulated camera's sensor: flat-field frames of an evenly lit scene
// with vignetting, a fixed pattern, temporal noise, hot and dead pixels and
// one bright column. make_samples writes its frames to files and camsim.cti
// streams them, so a sample set and a camera agree pixel for pixel.
#pragma once

#include <cstdint>
#include <vector>

namespace camsim {

struct SensorDefect {
    uint32_t x;
    uint32_t y;
};

// More defects of one kind than this are not placed; CAMSIM_CONFIG refuses them.
constexpr uint32_t max_sensor_defects = 100000;

struct SensorSettings {
    uint32_t width = 5120;
    uint32_t height = 5120;
    uint64_t seed = 0x4B44;
    uint32_t hot_pixels = 24;
    uint32_t dead_pixels = 24;
    // No bad column at all when false, whatever the two below say.
    bool has_bad_column = true;
    uint32_t bad_column = 0;  // used when bad_column_set; else width / 3 + 1
    bool bad_column_set = false;
};

class Sensor {
public:
    // Places the defects and precomputes everything that does not change
    // between frames. A column outside the width means no bad column; defects
    // that find no room at least 8 pixels from the others after a bounded
    // number of tries are left out, so hot() and dead() may hold fewer than
    // asked for.
    explicit Sensor(const SensorSettings& settings);

    uint32_t width() const { return width_; }
    uint32_t height() const { return height_; }

    // Frame `index`: width*height bytes, row 0 first (the top line, the
    // ImageBW row y = 0), no padding. A pure function of the settings and
    // index: the same bytes on every build and every run, and frame 1000 needs
    // no frames before it. Safe to call from several threads at once.
    void frame(uint64_t index, uint8_t* pixels) const;

    // 255 and 0 on every frame.
    const std::vector<SensorDefect>& hot() const { return hot_; }
    const std::vector<SensorDefect>& dead() const { return dead_; }
    // 45 grey levels brighter than its neighbours; -1: none.
    int64_t bad_column() const { return bad_column_; }

private:
    uint32_t width_;
    uint32_t height_;
    uint64_t seed_;
    int64_t bad_column_;
    // In sixteenths of a grey level: illumination, the horizontal half of the
    // vignetting and the column, per x; the vertical half, per y.
    std::vector<int16_t> column_base_;
    std::vector<int16_t> row_falloff_;
    // Normal-ish values, sixteenths of a grey level; each row reads a window
    // of width values of each at an offset hashed from the seed, the row and
    // (noise) the frame.
    std::vector<int16_t> pattern_pool_;
    std::vector<int16_t> noise_pools_[2];
    std::vector<SensorDefect> hot_;
    std::vector<SensorDefect> dead_;
};

}  // namespace camsim
