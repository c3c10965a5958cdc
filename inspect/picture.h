// An RGB picture in memory, drawn on by the report's pictures and written as
// a PNG file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct Colour {
    uint8_t r;
    uint8_t g;
    uint8_t b;
};

class Picture {
public:
    Picture(int32_t width, int32_t height, Colour background);

    int32_t width() const { return width_; }
    int32_t height() const { return height_; }
    // Does nothing outside the picture.
    void set(int32_t x, int32_t y, Colour colour);
    void fill(int32_t x, int32_t y, int32_t w, int32_t h, Colour colour);
    // Text in a small bitmap font, `scale` picture pixels a font pixel; its
    // top left corner at (x, y).
    void text(int32_t x, int32_t y, const std::string& text, Colour colour, int32_t scale);
    static int32_t text_width(const std::string& text, int32_t scale);

    // The PNG file's bytes.
    std::string png() const;

private:
    int32_t width_;
    int32_t height_;
    std::vector<uint8_t> pixels_;
};
