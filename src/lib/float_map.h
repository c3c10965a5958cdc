// A grid of 32-bit float values: the sum of loaded images, and the shading map.
#pragma once

#include <cstdint>
#include <memory>

class Image;
class ImageBW;

// Raised (as the integer -1) for an image the map cannot read.
constexpr int32_t unsupported_image_error = -1;

// How the pixels of an image the map can read are laid out.
enum class PixelFormat { bw8, bw12, bw16, rgb24, rgb32 };

// The layout of `image`'s class; false for another class or no image.
bool pixel_format_of(const Image* image, PixelFormat& format);

class FloatMap {
public:
    // Marks the constructor that leaves the values undefined, for a caller
    // that is about to set every one of them.
    struct Unfilled {};

    // All values 0.0.
    FloatMap(int32_t width, int32_t height);
    FloatMap(int32_t width, int32_t height, Unfilled);
    // The image's pixel values; throws unsupported_image_error for an image of
    // another class or no image.
    explicit FloatMap(const Image* image);
    ~FloatMap();
    FloatMap(const FloatMap&) = delete;
    FloatMap& operator=(const FloatMap&) = delete;

    // Adds the image's pixel values. Throws unsupported_image_error, leaving
    // the values unchanged, for an unsupported class, no image, or an image
    // whose size differs from the map's.
    void add(const Image* image);

    // Values clamped to 0..255 and truncated.
    std::unique_ptr<ImageBW> to_image() const;

    float get(int32_t x, int32_t y) const;
    void set(int32_t x, int32_t y, float value);
    int32_t width() const { return width_; }
    int32_t height() const { return height_; }
    int32_t count() const { return count_; }
    float* data() const { return values_; }
    float mean() const;
    void scale(float factor);

    // Working on an image in pieces: `n` pixels laid out as `format` go to
    // values [first, first + n). A piece of a 12-bit image starts at an even
    // index; with an odd `n` its last value is not read from the pixels.
    //
    // set_pixels converts as the image constructor does (a colour pixel gives
    // its exact channel mean, a 12-bit odd last value 0.0); add_pixels adds as
    // add() does (a colour pixel adds its channel mean rounded down).
    void set_pixels(PixelFormat format, const uint8_t* pixels, int32_t first, int32_t n);
    void add_pixels(PixelFormat format, const uint8_t* pixels, int32_t first, int32_t n);
    // As add_pixels, the format taken from `image`'s class; throws
    // unsupported_image_error for another class.
    void add_pixels(const Image* image, const uint8_t* pixels, int32_t first, int32_t n);

private:
    int32_t width_;
    int32_t height_;
    int32_t count_;
    float* values_;
};
