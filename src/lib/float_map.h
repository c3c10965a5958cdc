// A grid of 32-bit float values: the sum of loaded images, and the shading map.
#pragma once

#include <cstdint>
#include <memory>

class Image;
class ImageBW;

// Raised (as the integer -1) for an image the map cannot read.
constexpr int32_t unsupported_image_error = -1;

class FloatMap {
public:
    // All values 0.0.
    FloatMap(int32_t width, int32_t height);
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

    // Values [first, first + n) of the sum, for adding an image in pieces:
    // adds `n` pixels of `pixels` (laid out as `image`'s class) at value index
    // `first`. Same rules and results as add().
    void add_pixels(const Image* image, const uint8_t* pixels, int32_t first, int32_t n);

private:
    int32_t width_;
    int32_t height_;
    int32_t count_;
    float* values_;
};
