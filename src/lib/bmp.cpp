#include "lib/bmp.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "lib/atomic_file.h"

namespace {

constexpr uint32_t written_data_offset = bmp_grey_data_offset;  // 1078
constexpr uint32_t file_header_size = 14;
constexpr uint32_t info_header_size = 40;
constexpr uint64_t largest_pixel_area = 0x7FFFFFFF;
// The readers copy lines through a buffer of about this size.
constexpr uint32_t read_chunk_bytes = 1u << 20;

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

// Run-length, JPEG and PNG encodings: their bytes are not pixels.
bool is_compressed(uint32_t compression)
{
    return compression == 1 || compression == 2 || compression == 4 || compression == 5;
}

bool file_size_of(FILE* file, uint64_t& size)
{
    if (std::fseek(file, 0, SEEK_END) != 0) return false;
    const long end = std::ftell(file);
    if (end < 0 || std::fseek(file, 0, SEEK_SET) != 0) return false;
    size = static_cast<uint64_t>(end);
    return true;
}

// File line (height - 1 - y) becomes image line y, a chunk of lines at a time.
bool copy_lines_bottom_up(BmpReader& reader, Image& image)
{
    const uint32_t line_size = reader.line_size();
    const int32_t height = reader.layout().height;
    const int32_t chunk_lines = static_cast<int32_t>(std::min<uint32_t>(
        std::max(1u, read_chunk_bytes / line_size), static_cast<uint32_t>(height)));
    std::vector<uint8_t> chunk(static_cast<size_t>(chunk_lines) * line_size);
    uint8_t* target = image.data();
    for (int32_t first = 0; first < height; first += chunk_lines) {
        const int32_t count = std::min(chunk_lines, height - first);
        if (!reader.read_lines(first, count, chunk.data())) return false;
        for (int32_t j = 0; j < count; ++j) {
            const int32_t y = height - 1 - (first + j);
            std::memcpy(target + static_cast<size_t>(line_size) * y,
                        chunk.data() + static_cast<size_t>(line_size) * j, line_size);
        }
    }
    return true;
}

template <typename ImageClass>
std::unique_ptr<ImageClass> read_image(BmpReader& reader)
{
    try {
        std::unique_ptr<ImageClass> image(
            new ImageClass(reader.layout().width, reader.layout().height));
        if (!copy_lines_bottom_up(reader, *image)) return nullptr;
        return image;
    } catch (const std::bad_alloc&) {
        // Too large to hold: refused like a file that cannot be opened.
        return nullptr;
    }
}

}  // namespace

BmpLayout parse_bmp_header(const uint8_t* header)
{
    BmpLayout layout;
    layout.data_offset = read_u32(header + 10);
    layout.width = static_cast<int32_t>(read_u32(header + 18));
    layout.height = static_cast<int32_t>(read_u32(header + 22));
    layout.bits_per_pixel = read_u16(header + 28);
    layout.compression = read_u32(header + 30);
    return layout;
}

bool bmp_pixels_readable(const BmpLayout& layout, uint32_t bytes_per_pixel, uint64_t file_size)
{
    if (is_compressed(layout.compression)) return false;
    if (layout.width <= 0 || layout.height <= 0 || bytes_per_pixel == 0) return false;
    const uint64_t pixel_bytes = static_cast<uint64_t>(layout.width) *
                                 static_cast<uint64_t>(layout.height) * bytes_per_pixel;
    if (pixel_bytes > largest_pixel_area) return false;
    return static_cast<uint64_t>(layout.data_offset) + pixel_bytes <= file_size;
}

uint32_t bmp_bytes_per_pixel(uint16_t bits_per_pixel)
{
    switch (bits_per_pixel) {
    case 8: return 1;
    case 24: return 3;
    case 32: return 4;
    default: return 0;
    }
}

bool BmpReader::open(const char* path, uint32_t bytes_per_pixel)
{
    file_.reset(std::fopen(path, "rb"));
    if (!file_) return false;
    // Reads go straight into the caller's buffers.
    std::setvbuf(file_.get(), nullptr, _IONBF, 0);

    uint64_t file_size = 0;
    uint8_t header[bmp_header_size];
    bool ok = file_size_of(file_.get(), file_size) && file_size >= bmp_header_size &&
              std::fread(header, 1, sizeof header, file_.get()) == sizeof header;
    if (ok) {
        layout_ = parse_bmp_header(header);
        bytes_per_pixel_ = bytes_per_pixel == by_depth ? bmp_bytes_per_pixel(layout_.bits_per_pixel)
                                                       : bytes_per_pixel;
        ok = bmp_pixels_readable(layout_, bytes_per_pixel_, file_size);
    }
    if (!ok) file_.reset();
    return ok;
}

bool BmpReader::read_lines(int32_t first, int32_t count, uint8_t* target)
{
    if (!file_ || first < 0 || count < 0 || static_cast<int64_t>(first) + count > layout_.height)
        return false;
    // Inside the checked pixel area, so below the file size that ftell gave.
    const uint64_t offset = layout_.data_offset + static_cast<uint64_t>(first) * line_size();
    const size_t size = static_cast<size_t>(count) * line_size();
    return std::fseek(file_.get(), static_cast<long>(offset), SEEK_SET) == 0 &&
           std::fread(target, 1, size, file_.get()) == size;
}

std::unique_ptr<Image> load_bmp(const char* path)
{
    BmpReader reader;
    if (!reader.open(path)) return nullptr;
    switch (reader.bytes_per_pixel()) {
    case 1: return read_image<ImageBW>(reader);
    case 3: return read_image<ImageRGB24>(reader);
    default: return read_image<ImageRGB32>(reader);
    }
}

std::unique_ptr<ImageBW> load_bmp_bw(const char* path)
{
    BmpReader reader;
    if (!reader.open(path, 1)) return nullptr;
    return read_image<ImageBW>(reader);
}

void make_bmp_grey_header(uint32_t width, uint32_t height, uint32_t pixel_bytes, uint8_t* header)
{
    std::memset(header, 0, written_data_offset);
    header[0] = 'B';
    header[1] = 'M';
    put_u32(&header[2], pixel_bytes + written_data_offset);
    put_u32(&header[10], written_data_offset);
    put_u32(&header[14], info_header_size);
    put_u32(&header[18], width);
    put_u32(&header[22], height);
    put_u16(&header[26], 1);
    put_u16(&header[28], 8);
    for (uint32_t i = 0; i < 256; ++i) {
        uint8_t* entry = &header[bmp_header_size + 4 * i];
        entry[0] = entry[1] = entry[2] = static_cast<uint8_t>(i);
    }
}

bool save_bmp(const Image& image, const char* path)
{
    const uint32_t line_size = image.line_size();
    const uint32_t height = image.height();
    uint8_t header[written_data_offset];
    make_bmp_grey_header(image.width(), height, height * line_size, header);

    AtomicFile file(path);
    if (!file.is_open()) return false;
    file.write(header, file_header_size);
    file.write(header + file_header_size, written_data_offset - file_header_size);
    for (uint32_t y = height; y-- > 0;)
        file.write(image.data() + static_cast<size_t>(line_size) * y, line_size);
    return file.commit();
}
