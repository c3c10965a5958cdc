#include "lib/float_map.h"

#include "lib/image.h"

namespace {

float channel_mean_exact(const uint8_t* pixel)
{
    const int sum = pixel[0] + pixel[1] + pixel[2];
    return static_cast<float>(sum) / 3.0f;
}

float channel_mean_rounded_down(const uint8_t* pixel)
{
    const int sum = pixel[0] + pixel[1] + pixel[2];
    return static_cast<float>(sum / 3);
}

uint16_t little_endian_16(const uint8_t* bytes)
{
    return static_cast<uint16_t>(bytes[0] | (bytes[1] << 8));
}

// Unpacks 12-bit pairs into values [0, count); an odd last value is left alone.
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

bool same_size(const FloatMap& map, const Image& image)
{
    return image.width() == static_cast<uint32_t>(map.width()) &&
           image.height() == static_cast<uint32_t>(map.height());
}

}  // namespace

FloatMap::FloatMap(int32_t width, int32_t height)
    : width_(width), height_(height), count_(width * height), values_(new float[count_]())
{
}

FloatMap::FloatMap(const Image* image)
    : width_(0), height_(0), count_(0), values_(nullptr)
{
    if (!image) throw unsupported_image_error;
    const bool known = dynamic_cast<const ImageBW*>(image) || dynamic_cast<const ImageBW12*>(image) ||
                       dynamic_cast<const ImageBW16*>(image) ||
                       dynamic_cast<const ImageRGB24*>(image) ||
                       dynamic_cast<const ImageRGB32*>(image);
    if (!known) throw unsupported_image_error;

    width_ = static_cast<int32_t>(image->width());
    height_ = static_cast<int32_t>(image->height());
    count_ = width_ * height_;
    values_ = new float[count_]();
    const uint8_t* bytes = image->data();
    float* values = values_;

    if (dynamic_cast<const ImageBW*>(image)) {
        for (int32_t i = 0; i < count_; ++i) values[i] = bytes[i];
    } else if (dynamic_cast<const ImageBW12*>(image)) {
        unpack_bw12(bytes, count_, [values](int32_t i, float v) { values[i] = v; });
    } else if (dynamic_cast<const ImageBW16*>(image)) {
        for (int32_t i = 0; i < count_; ++i) values[i] = little_endian_16(bytes + 2 * i);
    } else if (dynamic_cast<const ImageRGB24*>(image)) {
        for (int32_t i = 0; i < count_; ++i) values[i] = channel_mean_exact(bytes + 3 * i);
    } else {
        for (int32_t i = 0; i < count_; ++i) values[i] = channel_mean_exact(bytes + 4 * i);
    }
}

FloatMap::~FloatMap() { delete[] values_; }

void FloatMap::add(const Image* image)
{
    if (!image || !same_size(*this, *image)) throw unsupported_image_error;
    add_pixels(image, image->data(), 0, count_);
}

void FloatMap::add_pixels(const Image* image, const uint8_t* pixels, int32_t first, int32_t n)
{
    float* values = values_ + first;
    if (dynamic_cast<const ImageBW*>(image)) {
        for (int32_t i = 0; i < n; ++i) values[i] += pixels[i];
    } else if (dynamic_cast<const ImageBW12*>(image)) {
        unpack_bw12(pixels, n, [values](int32_t i, float v) { values[i] += v; });
    } else if (dynamic_cast<const ImageBW16*>(image)) {
        for (int32_t i = 0; i < n; ++i) values[i] += little_endian_16(pixels + 2 * i);
    } else if (dynamic_cast<const ImageRGB24*>(image)) {
        for (int32_t i = 0; i < n; ++i) values[i] += channel_mean_rounded_down(pixels + 3 * i);
    } else if (dynamic_cast<const ImageRGB32*>(image)) {
        for (int32_t i = 0; i < n; ++i) values[i] += channel_mean_rounded_down(pixels + 4 * i);
    } else {
        throw unsupported_image_error;
    }
}

std::unique_ptr<ImageBW> FloatMap::to_image() const
{
    std::unique_ptr<ImageBW> image(new ImageBW(width_, height_));
    uint8_t* pixels = image->data();
    for (int32_t i = 0; i < count_; ++i) {
        const float v = values_[i];
        if (v < 0.0f)
            pixels[i] = 0;
        else if (v > 255.0f)
            pixels[i] = 255;
        else
            pixels[i] = static_cast<uint8_t>(v);
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
