#include "lib/image.h"

#include <cstring>

ImageBW12::ImageBW12(int32_t width, int32_t height)
    : width_(width), height_(height), buffer_(nullptr)
{
    buffer_ = new uint8_t[buffer_size()];
}

ImageBW12::~ImageBW12() { delete[] buffer_; }

uint32_t ImageBW12::buffer_size() const
{
    const uint32_t pixels = static_cast<uint32_t>(width_) * static_cast<uint32_t>(height_);
    return (pixels + 1) / 2 * 3;
}

uint32_t ImageBW12::line_size() const { return (static_cast<uint32_t>(width_) * 3 + 1) / 2; }

uint32_t ImageBW12::pixel_offset(int32_t x, int32_t y) const
{
    return (static_cast<uint32_t>(width_) * static_cast<uint32_t>(y) + static_cast<uint32_t>(x)) /
           2 * 3;
}

void ImageBW12::set_data(const uint8_t* source) { std::memcpy(buffer_, source, buffer_size()); }
