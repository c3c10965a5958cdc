#include "camera_correction.h"

#include <algorithm>

namespace camsim {

namespace {

void correct_columns(const std::vector<uint32_t>& columns, uint8_t* pixels, uint32_t width,
                     uint32_t height)
{
    for (uint32_t x : columns) {
        if (x >= width) continue;
        for (uint32_t y = 0; y < height; ++y) {
            uint8_t* row = pixels + static_cast<size_t>(y) * width;
            row[x] = x == 0 ? 0 : row[x - 1];
        }
    }
}

void correct_pixels(const std::vector<uint32_t>& entries, uint8_t* pixels, uint32_t width,
                    uint32_t height)
{
    for (uint32_t word : entries) {
        const uint32_t x = word & 0xFFFF;
        const uint32_t y = word >> 16;
        if (x >= width || y >= height) continue;
        uint8_t* row = pixels + static_cast<size_t>(y) * width;
        row[x] = x == 0 ? 0 : row[x - 1];
    }
}

void apply_block_gains(const std::vector<uint16_t>& gains, uint8_t* pixels, uint32_t width,
                       uint32_t height)
{
    const uint32_t blocks_x = shading_blocks(width);
    std::vector<uint32_t> row_gains(width);
    for (uint32_t y = 0; y < height; ++y) {
        if (y % shading_block_side == 0) {
            const size_t first = static_cast<size_t>(y / shading_block_side) * blocks_x;
            for (uint32_t x = 0; x < width; ++x) {
                const size_t block = first + x / shading_block_side;
                row_gains[x] = block < gains.size() ? gains[block] : 0;
            }
        }
        uint8_t* row = pixels + static_cast<size_t>(y) * width;
        for (uint32_t x = 0; x < width; ++x)
            row[x] = static_cast<uint8_t>(std::min<uint32_t>(255, row[x] * row_gains[x] >> 12));
    }
}

}  // namespace

uint32_t shading_blocks(uint32_t pixels)
{
    return (pixels + shading_block_side - 1) / shading_block_side;
}

void correct_frame(const CameraCorrection& correction, uint8_t* pixels, uint32_t width,
                   uint32_t height)
{
    correct_columns(correction.defect_columns, pixels, width, height);
    correct_pixels(correction.defect_pixels, pixels, width, height);
    if (!correction.block_gains.empty())
        apply_block_gains(correction.block_gains, pixels, width, height);
}

}  // namespace camsim
