#include "lib/bmp.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "lib/atomic_file.h"

namespace {

constexpr uint32_t header_size = 54;
constexpr uint32_t palette_size = 1024;
constexpr uint32_t written_data_offset = header_size + palette_size;  // 1078

uint32_t read_u32(const uint8_t* bytes)
{
    return static_cast<uint32_t>(bytes[0]) | (static_cast<uint32_t>(bytes[1]) << 8) |
           (static_cast<uint32_t>(bytes[2]) << 16) | (static_cast<uint32_t>(bytes[3]) << 24);
}

uint16_t read_u16(const uint8_t* bytes)
{
    return static_cast<uint16_t>(bytes[0] | (bytes[1] << 8));
}

void put_u32(uint8_t* bytes, uint32_t value)
{
    for (int i = 0; i < 4; ++i) bytes[i] = static_cast<uint8_t>(value >> (8 * i));
}

void put_u16(uint8_t* bytes, uint16_t value)
{
    bytes[0] = static_cast<uint8_t>(value);
    bytes[1] = static_cast<uint8_t>(value >> 8);
}

bool read_whole_file(const char* path, std::vector<uint8_t>& bytes)
{
    FILE* file = std::fopen(path, "rb");
    if (!file) return false;
    bool ok = std::fseek(file, 0, SEEK_END) == 0;
    const long length = ok ? std::ftell(file) : -1;
    ok = ok && length >= 0 && std::fseek(file, 0, SEEK_SET) == 0;
    if (ok) {
        bytes.resize(static_cast<size_t>(length));
        ok = length == 0 || std::fread(bytes.data(), 1, bytes.size(), file) == bytes.size();
    }
    std::fclose(file);
    return ok;
}

bool is_compressed(uint32_t compression)
{
    return compression == 1 || compression == 2 || compression == 4 || compression == 5;
}

// Header fields, and whether the pixel area they describe lies inside the file.
struct BmpLayout {
    int32_t width;
    int32_t height;
    uint32_t data_offset;
    uint16_t bits_per_pixel;
};

bool read_layout(const std::vector<uint8_t>& bytes, BmpLayout& layout)
{
    if (bytes.size() < header_size) return false;
    layout.data_offset = read_u32(&bytes[10]);
    layout.width = static_cast<int32_t>(read_u32(&bytes[18]));
    layout.height = static_cast<int32_t>(read_u32(&bytes[22]));
    layout.bits_per_pixel = read_u16(&bytes[28]);
    if (is_compressed(read_u32(&bytes[30]))) return false;
    return layout.width > 0 && layout.height > 0;
}

bool pixel_area_fits(const std::vector<uint8_t>& bytes, const BmpLayout& layout,
                     uint32_t bytes_per_pixel)
{
    const uint64_t pixel_bytes = static_cast<uint64_t>(layout.width) *
                                 static_cast<uint64_t>(layout.height) * bytes_per_pixel;
    if (pixel_bytes > 0x7FFFFFFFull) return false;
    return static_cast<uint64_t>(layout.data_offset) + pixel_bytes <= bytes.size();
}

// File line (height - 1 - y) becomes image line y.
void copy_lines_bottom_up(const std::vector<uint8_t>& bytes, const BmpLayout& layout, Image& image)
{
    const uint32_t line_size = image.line_size();
    const uint8_t* source = bytes.data() + layout.data_offset +
                            static_cast<size_t>(line_size) * static_cast<uint32_t>(layout.height);
    uint8_t* target = image.data();
    for (int32_t y = 0; y < layout.height; ++y) {
        source -= line_size;
        std::memcpy(target + static_cast<size_t>(line_size) * y, source, line_size);
    }
}

template <typename ImageClass>
std::unique_ptr<Image> decode(const std::vector<uint8_t>& bytes, const BmpLayout& layout,
                              uint32_t bytes_per_pixel)
{
    if (!pixel_area_fits(bytes, layout, bytes_per_pixel)) return nullptr;
    std::unique_ptr<Image> image(new ImageClass(layout.width, layout.height));
    copy_lines_bottom_up(bytes, layout, *image);
    return image;
}

}  // namespace

std::unique_ptr<Image> load_bmp(const char* path)
{
    std::vector<uint8_t> bytes;
    BmpLayout layout;
    if (!read_whole_file(path, bytes) || !read_layout(bytes, layout)) return nullptr;
    switch (layout.bits_per_pixel) {
    case 8: return decode<ImageBW>(bytes, layout, 1);
    case 24: return decode<ImageRGB24>(bytes, layout, 3);
    case 32: return decode<ImageRGB32>(bytes, layout, 4);
    default: return nullptr;
    }
}

std::unique_ptr<ImageBW> load_bmp_bw(const char* path)
{
    std::vector<uint8_t> bytes;
    BmpLayout layout;
    if (!read_whole_file(path, bytes) || !read_layout(bytes, layout)) return nullptr;
    if (!pixel_area_fits(bytes, layout, 1)) return nullptr;
    std::unique_ptr<ImageBW> image(new ImageBW(layout.width, layout.height));
    copy_lines_bottom_up(bytes, layout, *image);
    return image;
}

bool save_bmp(const Image& image, const char* path)
{
    const uint32_t line_size = image.line_size();
    const uint32_t height = image.height();
    uint8_t header[written_data_offset] = {};
    header[0] = 'B';
    header[1] = 'M';
    put_u32(&header[2], height * line_size + written_data_offset);
    put_u32(&header[10], written_data_offset);
    put_u32(&header[14], 40);
    put_u32(&header[18], image.width());
    put_u32(&header[22], height);
    put_u16(&header[26], 1);
    put_u16(&header[28], 8);
    for (uint32_t i = 0; i < 256; ++i) {
        uint8_t* entry = &header[header_size + 4 * i];
        entry[0] = entry[1] = entry[2] = static_cast<uint8_t>(i);
    }

    AtomicFile file(path);
    if (!file.is_open()) return false;
    file.write(header, 14);
    file.write(header + 14, written_data_offset - 14);
    for (uint32_t y = height; y-- > 0;) file.write(image.data() + static_cast<size_t>(line_size) * y, line_size);
    return file.commit();
}
