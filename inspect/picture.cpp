#include "picture.h"

#include <algorithm>

// The encoder and the font are header-only libraries from Debian's libstb-dev;
// this file is their one user.
#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STB_IMAGE_WRITE_STATIC
#define STBI_WRITE_NO_STDIO
#include <stb_easy_font.h>
#include <stb_image_write.h>

namespace {

void append_bytes(void* context, void* data, int size)
{
    static_cast<std::string*>(context)->append(static_cast<const char*>(data),
                                               static_cast<size_t>(size));
}

// One quad of the font: four vertices of x, y, z as floats and four bytes of colour.
struct FontVertex {
    float x;
    float y;
    float z;
    unsigned char colour[4];
};

}  // namespace

Picture::Picture(int32_t width, int32_t height, Colour background)
    : width_(width), height_(height), pixels_(static_cast<size_t>(width) * height * 3)
{
    for (size_t i = 0; i < pixels_.size(); i += 3) {
        pixels_[i] = background.r;
        pixels_[i + 1] = background.g;
        pixels_[i + 2] = background.b;
    }
}

void Picture::set(int32_t x, int32_t y, Colour colour)
{
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return;
    uint8_t* pixel = pixels_.data() + (static_cast<size_t>(y) * width_ + x) * 3;
    pixel[0] = colour.r;
    pixel[1] = colour.g;
    pixel[2] = colour.b;
}

void Picture::fill(int32_t x, int32_t y, int32_t w, int32_t h, Colour colour)
{
    for (int32_t j = std::max(y, 0); j < std::min(y + h, height_); ++j)
        for (int32_t i = std::max(x, 0); i < std::min(x + w, width_); ++i) set(i, j, colour);
}

void Picture::text(int32_t x, int32_t y, const std::string& text, Colour colour, int32_t scale)
{
    std::vector<char> characters(text.begin(), text.end());
    characters.push_back('\0');
    std::vector<FontVertex> quads(characters.size() * 64);
    const int count = stb_easy_font_print(0.0f, 0.0f, characters.data(), nullptr, quads.data(),
                                          static_cast<int>(quads.size() * sizeof(FontVertex)));
    for (int q = 0; q < count; ++q) {
        const FontVertex* corners = &quads[static_cast<size_t>(q) * 4];
        const int32_t left = static_cast<int32_t>(corners[0].x);
        const int32_t top = static_cast<int32_t>(corners[0].y);
        const int32_t right = static_cast<int32_t>(corners[2].x);
        const int32_t bottom = static_cast<int32_t>(corners[2].y);
        fill(x + left * scale, y + top * scale, (right - left) * scale, (bottom - top) * scale,
             colour);
    }
}

int32_t Picture::text_width(const std::string& text, int32_t scale)
{
    std::vector<char> characters(text.begin(), text.end());
    characters.push_back('\0');
    return stb_easy_font_width(characters.data()) * scale;
}

std::string Picture::png() const
{
    std::string bytes;
    // The least searching the encoder allows, and no line filter: the
    // pictures' smooth grey and flat colours compress about as well, in two
    // thirds of the time.
    stbi_write_png_compression_level = 5;
    stbi_write_force_png_filter = 0;
    stbi_write_png_to_func(append_bytes, &bytes, width_, height_, 3, pixels_.data(), width_ * 3);
    return bytes;
}
