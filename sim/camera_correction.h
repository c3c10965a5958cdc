// What the camera does to a frame before it delivers it: its enabled defect
// map, then its shading gains, in the camera's own integer arithmetic.
#pragma once

#include <cstdint>
#include <vector>

namespace camsim {

// A copy of the camera's correction state, taken under its lock so that a
// frame is corrected by one consistent state while the registers may change.
struct CameraCorrection {
    // Entry words y << 16 | x of the enabled defect map, in map order.
    std::vector<uint32_t> defect_pixels;
    // Its column numbers, in map order.
    std::vector<uint32_t> defect_columns;
    // Empty while shading is off; else one gain a block, 4096 standing for 1.0.
    std::vector<uint16_t> block_gains;
};

constexpr uint32_t shading_block_side = 16;

// Block count along a side of `pixels`, the last block taking what is left.
uint32_t shading_blocks(uint32_t pixels);

// Corrects `pixels` (width x height bytes, row 0 first): first every column,
// then every pixel entry, each replaced by its left neighbour as it stands at
// that moment (0 left of column 0, entries outside the frame skipped); then,
// with shading on, each pixel p of block b becomes min(255, p * gain[b] >> 12).
void correct_frame(const CameraCorrection& correction, uint8_t* pixels, uint32_t width,
                   uint32_t height);

}  // namespace camsim
