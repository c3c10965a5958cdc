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
class MeanImage {
public:
    explicit MeanImage(ImageSum images);

    const FloatMap& values() const { return *mean_; }
    // A new 8-bit image each call, for a caller that changes it.
    std::unique_ptr<ImageBW> grey() const;

private:
    std::unique_ptr<FloatMap> mean_;
};
