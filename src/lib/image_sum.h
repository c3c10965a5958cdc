// The images loaded since the last map creation, and their mean as both map
// creations take it.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "lib/float_map.h"
#include "lib/image.h"

// The sum of `count` images; no sum and a count of 0 when none is loaded.
struct ImageSum {
    std::unique_ptr<FloatMap> sum;
    int32_t count = 0;

    bool empty() const { return count <= 0 || !sum; }
};

// M, the sum scaled by 1 / count, and M8, its 8-bit image (clamped to
// 0..255 and truncated). Made from a sum that is not empty.
//
// The map creations read the 100 MB of a large sum once: M is never written
// out, each value being the float product sum × (1 / count) the scaled map
// would hold, and grey() finds M's mean on the same pass as M8.
//
// Threads: width(), height(), value(), make_grey_line() and
// add_grey_line_sums_of_16() only read, and the parts of a pass may call
// them at the same time. grey(), mean() and take_line_totals() read or
// record M's total: call them while no other member runs.
class MeanImage {
public:
    explicit MeanImage(ImageSum images);

    // A new 8-bit image each call, for a caller that changes it.
    std::unique_ptr<ImageBW> grey() const;

    int32_t width() const { return sum_->width(); }
    int32_t height() const { return sum_->height(); }
    // M's value at (x, y), 0 outside, and M's mean, as the scaled map's
    // get() and mean() give them.
    float value(int32_t x, int32_t y) const;
    float mean() const;
    // What the lines of M8 made one at a time add up to towards M's mean.
    struct LineTotal {
        int64_t sum = 0;
        int32_t lines = 0;
        bool whole = true;
    };
    // Line y of M8, width() bytes, for a caller that makes M8 a line at a
    // time; with `total`, the line's share of M's mean is added to it.
    void make_grey_line(int32_t y, uint8_t* line, LineTotal* total = nullptr) const;
    // The totals of lines that were made each once, every line of M8 among
    // them: mean() takes M's mean from them, as after grey().
    void take_line_totals(const std::vector<LineTotal>& totals) const;
    // Adds the bytes of line y of M8 to the sums of its runs of 16: run i
    // to sums[i].
    void add_grey_line_sums_of_16(int32_t y, uint32_t* sums) const;

private:
    std::unique_ptr<FloatMap> sum_;
    float factor_;
    // k when the count is 2^k, else -1.
    int32_t count_shift_;
    // The whole-number total of the sum's values, when a pass over every
    // value found that M's mean may be taken from it (see mean()).
    mutable bool total_known_ = false;
    mutable int64_t total_sum_ = 0;
};
