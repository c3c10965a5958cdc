// Shading correction: one gain per block of 16 x 16 pixels that lifts every
// block of an evenly lit image to the brightness of its brightest block.
#pragma once

#include <cstdint>
#include <memory>

#include "lib/float_map.h"
#include "lib/image.h"
#include "lib/text.h"

class MeanImage;

constexpr int32_t shading_block_size = 16;

// Blocks needed to cover `pixels` pixels; the last one may be partial.
int32_t shading_block_count(int32_t pixels);

// Mean pixel value of block column i, block row j; a partial block at the
// right or bottom edge is averaged over its own pixels.
double block_mean(const ImageBW& image, int32_t i, int32_t j);

// The means of all blocks, taken in one pass over the image.
std::unique_ptr<FloatMap> block_means(const ImageBW& image);

// Gains of the average image: brightest block mean / block mean, a block of
// mean 0 counting as 1.0.
std::unique_ptr<FloatMap> shading_gains(const ImageBW& average);

// Multiplies each pixel by its block's gain; a pixel outside the map's blocks
// gets the gain 0.0.
void apply_gains(const FloatMap& gains, ImageBW& image);

// --create_shading_map: the gains of the mean image; none, after printing
// why, when no image was loaded (`mean` none).
std::unique_ptr<FloatMap> create_shading_map(const MeanImage* mean);

// --apply_shading_map; false when it reported a failure.
bool apply_shading_map(const FloatMap* shading_map, const String& input, const String& output);
