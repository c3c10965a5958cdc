// Figures of one 8-bit image and of the block maps made from it: how even it
// is, its row and column profiles, and the shading gains.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "lib/image.h"

class FloatMap;

// Spread, scatter and corner-to-centre ratio of block means; each none where
// it would divide by zero.
struct BlockFigures {
    std::optional<double> spread;
    std::optional<double> scatter;
    std::optional<double> corner_centre;
};
BlockFigures block_figures(const FloatMap& means, int32_t width, int32_t height);

// Standard deviation (divisor n) over mean of the image's pixels, in
// percent, leaving out the pixels `excluded` marks (when given); none when no
// pixel is left or their mean is 0.
std::optional<double> nonuniformity(const ImageBW& image, const std::vector<uint8_t>* excluded);

// The mean of each row and of each column of an 8-bit image.
struct Profiles {
    std::vector<double> rows;
    std::vector<double> columns;
};
Profiles profiles_of(const ImageBW& image);

// The gains over all blocks.
struct GainFigures {
    double min = 0.0;
    double max = 0.0;
    double mean = 0.0;
    // Gains of shading_gain_limit (16.0) or more, which the camera's 16-bit
    // gain with 12 fractional bits cannot hold.
    int64_t clamped = 0;
};
GainFigures gain_figures(const FloatMap& gains);

// A copy of an 8-bit image.
std::unique_ptr<ImageBW> copy_of(const ImageBW& image);
