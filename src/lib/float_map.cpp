#include "lib/float_map.h"

#include <algorithm>

#include "lib/image.h"
#include "platform/memory_advice.h"

namespace {

// Maps at least this large are worth the large-page hint.
constexpr size_t large_map_bytes = size_t(8) << 20;

float* allocate_values(int32_t count, bool zeroed)
{
    float* values = new float[count];
    const size_t bytes = static_cast<size_t>(count) * sizeof(float);
    // Before the first touch, which is when pages are chosen.
    if (bytes >= large_map_bytes) platform::advise_large_block(values, bytes);
    if (zeroed) std::fill(values, values + count, 0.0f);
    return values;
}

float channel_mean_exact(const uint8_t* pixel)
{
    const int sum = pixel[0] + pixel[1] + pixel[2];
    return static_cast<float>(sum) / 3.0f;
}

uint16_t little_endian_16(const uint8_t* bytes)
{
    return static_cast<uint16_t>(bytes[0] | (bytes[1] << 8));
}

// Unpacks the 12-bit pairs of `count` pixels; an odd last pixel has no pair
// and is left to the caller.
template <typename Store>
void unpack_bw12(const uint8_t* bytes, int32_t count, Store store)
{
    for (int32_t k = 0; k < count / 2; ++k) {
        const uint8_t b0 = bytes[3 * k];
        const uint8_t b1 = bytes[3 * k + 1];
        const uint8_t b2 = bytes[3 * k + 2];
        store(2 * k, static_cast<float>(b0 * 16 + (b1 & 15)));
        store(2 * k + 1, static_cast<float>(b2 * 16 + (b1 >> 4)));
    }
}

// The loops stay separate per format so the compiler can vectorise the
// common 8-bit one.
void set_bw8(float* values, const uint8_t* pixels, int32_t n)
{
    for (int32_t i = 0; i < n; ++i) values[i] = pixels[i];
}

void add_bw8(float* values, const uint8_t* pixels, int32_t n)
{
    for (int32_t i = 0; i < n; ++i) values[i] += pixels[i];
}

template <int BytesPerPixel>
void set_colour(float* values, const uint8_t* pixels, int32_t n)
{
    for (int32_t i = 0; i < n; ++i) values[i] = channel_mean_exact(pixels + BytesPerPixel * i);
}

template <int BytesPerPixel>
void add_colour(float* values, const uint8_t* pixels, int32_t n)
{
    for (int32_t i = 0; i < n; ++i)
        values[i] += static_cast<float>(channel_mean_rounded_down(pixels + BytesPerPixel * i));
}

bool same_size(const FloatMap& map, const Image& image)
{
    return image.width() == static_cast<uint32_t>(map.width()) &&
           image.height() == static_cast<uint32_t>(map.height());
}

}  // namespace

bool pixel_format_of(const Image* image, PixelFormat& format)
{
    // Tested in this order; the first class that matches decides.
    if (dynamic_cast<const ImageBW*>(image))
        format = PixelFormat::bw8;
    else if (dynamic_cast<const ImageBW12*>(image))
        format = PixelFormat::bw12;
    else if (dynamic_cast<const ImageBW16*>(image))
        format = PixelFormat::bw16;
    else if (dynamic_cast<const ImageRGB24*>(image))
        format = PixelFormat::rgb24;
    else if (dynamic_cast<const ImageRGB32*>(image))
        format = PixelFormat::rgb32;
    else
        return false;
    return true;
}

FloatMap::FloatMap(int32_t width, int32_t height)
    : width_(width), height_(height), count_(width * height), values_(allocate_values(count_, true))
{
}

FloatMap::FloatMap(int32_t width, int32_t height, Unfilled)
    : width_(width),
      height_(height),
      count_(width * height),
      values_(allocate_values(count_, false))
{
}

FloatMap::FloatMap(const Image* image) : width_(0), height_(0), count_(0), values_(nullptr)
{
    PixelFormat format;
    if (!pixel_format_of(image, format)) throw unsupported_image_error;
    width_ = static_cast<int32_t>(image->width());
    height_ = static_cast<int32_t>(image->height());
    count_ = width_ * height_;
    values_ = allocate_values(count_, false);
    set_pixels(format, image->data(), 0, count_);
}

FloatMap::~FloatMap() { delete[] values_; }

void FloatMap::add(const Image* image)
{
    PixelFormat format;
    if (!pixel_format_of(image, format) || !same_size(*this, *image)) throw unsupported_image_error;
    add_pixels(format, image->data(), 0, count_);
}

void FloatMap::set_pixels(PixelFormat format, const uint8_t* pixels, int32_t first, int32_t n)
{
    float* values = values_ + first;
    switch (format) {
    case PixelFormat::bw8: set_bw8(values, pixels, n); break;
    case PixelFormat::bw12:
        unpack_bw12(pixels, n, [values](int32_t i, float v) { values[i] = v; });
        if (n % 2 != 0) values[n - 1] = 0.0f;
        break;
    case PixelFormat::bw16:
        for (int32_t i = 0; i < n; ++i) values[i] = little_endian_16(pixels + 2 * i);
        break;
    case PixelFormat::rgb24: set_colour<3>(values, pixels, n); break;
    case PixelFormat::rgb32: set_colour<4>(values, pixels, n); break;
    }
}

void FloatMap::add_pixels(PixelFormat format, const uint8_t* pixels, int32_t first, int32_t n)
{
    float* values = values_ + first;
    switch (format) {
    case PixelFormat::bw8: add_bw8(values, pixels, n); break;
    case PixelFormat::bw12:
        unpack_bw12(pixels, n, [values](int32_t i, float v) { values[i] += v; });
        break;
    case PixelFormat::bw16:
        for (int32_t i = 0; i < n; ++i) values[i] += little_endian_16(pixels + 2 * i);
        break;
    case PixelFormat::rgb24: add_colour<3>(values, pixels, n); break;
    case PixelFormat::rgb32: add_colour<4>(values, pixels, n); break;
    }
}

void FloatMap::add_pixels(const Image* image, const uint8_t* pixels, int32_t first, int32_t n)
{
    PixelFormat format;
    if (!pixel_format_of(image, format)) throw unsupported_image_error;
    add_pixels(format, pixels, first, n);
}

std::unique_ptr<ImageBW> FloatMap::to_image() const
{
    std::unique_ptr<ImageBW> image(new ImageBW(width_, height_));
    uint8_t* pixels = image->data();
    for (int32_t i = 0; i < count_; ++i) {
        const float v = values_[i];
        if (v > 255.0f)
            pixels[i] = 255;
        else if (v >= 0.0f)
            pixels[i] = static_cast<uint8_t>(v);
        else
            pixels[i] = 0;  // below 0.0, and a NaN, which has no byte value
    }
    return image;
}

float FloatMap::get(int32_t x, int32_t y) const
{
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return 0.0f;
    return values_[width_ * y + x];
}

void FloatMap::set(int32_t x, int32_t y, float value)
{
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return;
    values_[width_ * y + x] = value;
}

float FloatMap::mean() const
{
    double sum = 0.0;
    for (int32_t i = 0; i < count_; ++i) sum += values_[i];
    return static_cast<float>(sum / static_cast<double>(count_));
}

void FloatMap::scale(float factor)
{
    for (int32_t i = 0; i < count_; ++i) values_[i] *= factor;
}
