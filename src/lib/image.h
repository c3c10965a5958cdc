// In-memory images: 8-bit grey, 24- and 32-bit colour, and the 12- and 16-bit
// grey layouts that the float map can read.
#pragma once

#include <cstdint>
#include <cstring>

// A colour pixel's grey value as adding a colour image takes it: the mean of
// its first three channels rounded down. Inline, so that loops over a line
// stay vectorised.
inline uint8_t channel_mean_rounded_down(const uint8_t* pixel)
{
    return static_cast<uint8_t>((pixel[0] + pixel[1] + pixel[2]) / 3);
}

class Image {
public:
    Image() = default;
    virtual ~Image() = default;
    Image(const Image&) = delete;
    Image& operator=(const Image&) = delete;

    virtual uint32_t line_size() const = 0;
    virtual uint32_t pixel_offset(int32_t x, int32_t y) const = 0;
    virtual uint32_t width() const = 0;
    virtual uint32_t height() const = 0;
    virtual uint32_t bits_per_pixel() const = 0;
    virtual uint32_t bytes_per_pixel() const = 0;
    virtual uint8_t* data() const = 0;
    virtual void set_data(const uint8_t* source) = 0;
};

// The common body of the image classes: a fixed-size owned pixel buffer of
// `bytes_per_pixel` bytes a pixel, lines stored top first without padding.
template <uint32_t BytesPerPixel>
class PackedImage : public Image {
public:
    PackedImage(int32_t width, int32_t height)
        : owns_buffer(true),
          width_(width),
          height_(height),
          buffer_(new uint8_t[static_cast<uint32_t>(width) * static_cast<uint32_t>(height) *
                              BytesPerPixel])
    {
    }
    ~PackedImage() override
    {
        if (owns_buffer) delete[] buffer_;
    }

    uint32_t line_size() const override { return static_cast<uint32_t>(width_) * BytesPerPixel; }
    uint32_t pixel_offset(int32_t x, int32_t y) const override
    {
        // Unsigned, so a far-off position wraps instead of overflowing.
        return (static_cast<uint32_t>(width_) * static_cast<uint32_t>(y) +
                static_cast<uint32_t>(x)) *
               BytesPerPixel;
    }
    uint32_t width() const override { return static_cast<uint32_t>(width_); }
    uint32_t height() const override { return static_cast<uint32_t>(height_); }
    uint32_t bits_per_pixel() const override { return BytesPerPixel * 8; }
    uint32_t bytes_per_pixel() const override { return BytesPerPixel; }
    uint8_t* data() const override { return buffer_; }
    void set_data(const uint8_t* source) override
    {
        std::memcpy(buffer_, source,
                    static_cast<size_t>(width_) * static_cast<size_t>(height_) * BytesPerPixel);
    }

    bool owns_buffer;

protected:
    int32_t width_;
    int32_t height_;
    uint8_t* buffer_;
};

class ImageBW : public PackedImage<1> {
public:
    ImageBW(int32_t width, int32_t height) : PackedImage<1>(width, height) {}

    // 0 outside the image.
    uint8_t get_pixel(int32_t x, int32_t y) const
    {
        if (x < 0 || x >= width_ || y < 0 || y >= height_) return 0;
        return buffer_[width_ * y + x];
    }
    // Does nothing outside the image.
    void set_pixel(int32_t x, int32_t y, uint8_t value)
    {
        if (x < 0 || x >= width_ || y < 0 || y >= height_) return;
        buffer_[width_ * y + x] = value;
    }
};

class ImageRGB24 : public PackedImage<3> {
public:
    ImageRGB24(int32_t width, int32_t height) : PackedImage<3>(width, height) {}
};

class ImageRGB32 : public PackedImage<4> {
public:
    ImageRGB32(int32_t width, int32_t height) : PackedImage<4>(width, height) {}
};

// 12-bit grey, two pixels packed in three bytes. No reader makes one; the
// float map still accepts it.
class ImageBW12 : public Image {
public:
    ImageBW12(int32_t width, int32_t height);
    ~ImageBW12() override;

    uint32_t line_size() const override;
    uint32_t pixel_offset(int32_t x, int32_t y) const override;
    uint32_t width() const override { return static_cast<uint32_t>(width_); }
    uint32_t height() const override { return static_cast<uint32_t>(height_); }
    uint32_t bits_per_pixel() const override { return 12; }
    uint32_t bytes_per_pixel() const override { return 2; }
    uint8_t* data() const override { return buffer_; }
    void set_data(const uint8_t* source) override;

    // Bytes of the whole packed buffer: three per pair, a last odd pixel
    // taking a group of its own.
    uint32_t buffer_size() const;

private:
    int32_t width_;
    int32_t height_;
    uint8_t* buffer_;
};

// 16-bit grey, least significant byte first.
class ImageBW16 : public PackedImage<2> {
public:
    ImageBW16(int32_t width, int32_t height) : PackedImage<2>(width, height) {}
    uint32_t bits_per_pixel() const override { return 16; }
};
