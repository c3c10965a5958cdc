// Uncompressed BMP files: 8-, 24- and 32-bit reading, 8-bit grey writing.
// Lines are exactly line_size bytes, without padding, bottom line first.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>

#include "lib/image.h"

// An ImageBW, ImageRGB24 or ImageRGB32 by the file's bit depth; null when the
// file cannot be opened, is malformed or has another depth.
std::unique_ptr<Image> load_bmp(const char* path);

// The pixel area read as 8-bit grey whatever the depth; null when the file
// cannot be opened or is malformed.
std::unique_ptr<ImageBW> load_bmp_bw(const char* path);

// Writes the image as 8 bits a pixel with a grey palette. The file appears
// complete or not at all; false when it could not be written.
bool save_bmp(const Image& image, const char* path);

constexpr uint32_t bmp_header_size = 54;

// What save_bmp writes before the pixels: the headers, whose file size
// counts `pixel_bytes` after them, and the grey palette.
constexpr uint32_t bmp_grey_data_offset = bmp_header_size + 1024;
void make_bmp_grey_header(uint32_t width, uint32_t height, uint32_t pixel_bytes, uint8_t* header);

// The header fields the readers use.
struct BmpLayout {
    int32_t width = 0;
    int32_t height = 0;
    uint32_t data_offset = 0;
    uint16_t bits_per_pixel = 0;
    uint32_t compression = 0;
};

// Fields of the first bmp_header_size bytes of a file.
BmpLayout parse_bmp_header(const uint8_t* header);

// Whether a reader taking `bytes_per_pixel` bytes a pixel can read a file of
// `file_size` bytes with this header: a positive size whose pixel bytes fit
// in 31 bits, an uncompressed encoding and a pixel area inside the file.
bool bmp_pixels_readable(const BmpLayout& layout, uint32_t bytes_per_pixel, uint64_t file_size);

// Bytes a pixel that load_bmp reads for a depth; 0 for a depth it refuses.
uint32_t bmp_bytes_per_pixel(uint16_t bits_per_pixel);

// An open BMP file whose header passed the readers' checks, read in pieces.
class BmpReader {
public:
    // Pixels of the file's own depth (8, 24 or 32 bits).
    static constexpr uint32_t by_depth = 0;

    // Opens the file and checks its header, taking pixels of
    // `bytes_per_pixel` bytes whatever the depth, or of the file's depth with
    // by_depth. False when the file cannot be opened or a reader refuses it.
    bool open(const char* path, uint32_t bytes_per_pixel = by_depth);

    bool is_open() const { return file_ != nullptr; }
    const BmpLayout& layout() const { return layout_; }
    uint32_t bytes_per_pixel() const { return bytes_per_pixel_; }
    uint32_t line_size() const { return static_cast<uint32_t>(layout_.width) * bytes_per_pixel_; }

    // Reads `count` file lines from file line `first` on into `target`
    // (file line 0 is the picture's bottom line). False on a read error or
    // when the file has become shorter.
    bool read_lines(int32_t first, int32_t count, uint8_t* target);

private:
    struct Closer {
        void operator()(FILE* file) const { std::fclose(file); }
    };

    std::unique_ptr<FILE, Closer> file_;
    BmpLayout layout_;
    uint32_t bytes_per_pixel_ = 0;
};
