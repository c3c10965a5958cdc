// The images loaded since the last map creation, and their mean as both map
// creations take it.
#pragma once

#include <cstdint>
#include <memory>

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
// The map creations read the 100 MB of a large sum once: M is only written
// out when values() asks for it, and grey() finds M's mean on the same pass.
// Every value and byte is the one the scaled map would give: M's value is
// always the same float product, sum × (1 / count).
class MeanImage {
public:
    explicit MeanImage(ImageSum images);

    // M as a map; the first call scales the sum in place.
    const FloatMap& values() const;
    // A new 8-bit image each call, for a caller that changes it.
    std::unique_ptr<ImageBW> grey() const;

    int32_t width() const { return values_->width(); }
    int32_t height() const { return values_->height(); }
    // As values().get(x, y) and values().mean(), without writing M out.
    float value(int32_t x, int32_t y) const;
    float mean() const;
    // Line y of M8, width() bytes.
    void grey_line(int32_t y, uint8_t* line) const;

private:
    // M's values [first, first + n) as bytes; adds them to the exact total
    // while it holds.
    void grey_values(int32_t first, int32_t n, uint8_t* bytes) const;

    // The sum, or M once `scaled_`.
    std::unique_ptr<FloatMap> values_;
    float factor_;
    mutable bool scaled_ = false;
    // M's total in units of 2^-16, when a pass over every value found each
    // one to be a whole number of units small enough that no order of adding
    // them in doubles can round (see mean()).
    mutable bool total_known_ = false;
    mutable int64_t total_units_ = 0;
};
