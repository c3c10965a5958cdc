// Zip archives of one file as bytes, made with zlib the way common zippers
// lay them out, for tests of the zipped GenApi description.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace test_zip {

constexpr uint16_t stored = 0;
constexpr uint16_t deflated = 8;
// Offsets into the local file header.
constexpr size_t flags_at = 6;
constexpr size_t method_at = 8;
constexpr size_t crc_at = 14;
constexpr size_t packed_size_at = 18;
constexpr size_t size_at = 22;
constexpr size_t header_size = 30;
const std::string entry_name = "camera.xml";

inline void put(std::vector<uint8_t>& bytes, size_t at, uint32_t value, int count)
{
    for (int i = 0; i < count; ++i) bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

inline void append(std::vector<uint8_t>& bytes, uint32_t value, int count)
{
    bytes.resize(bytes.size() + count);
    put(bytes, bytes.size() - count, value, count);
}

inline std::vector<uint8_t> raw_deflate(const std::string& text)
{
    z_stream stream = {};
    if (deflateInit2(&stream, 9, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        throw std::runtime_error("deflateInit2");
    std::vector<uint8_t> out(deflateBound(&stream, text.size()));
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
    stream.avail_in = static_cast<uInt>(text.size());
    stream.next_out = out.data();
    stream.avail_out = static_cast<uInt>(out.size());
    if (deflate(&stream, Z_FINISH) != Z_STREAM_END) throw std::runtime_error("deflate");
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

// Local file header, data, then the central directory and its end record.
// With `sizes_after_data` the header holds zeros and a data descriptor
// (with its optional signature) follows the data, as streaming zippers do.
inline std::vector<uint8_t> zip_archive(const std::string& text, uint16_t method,
                                        bool sizes_after_data = false)
{
    std::vector<uint8_t> data =
        method == deflated ? raw_deflate(text) : std::vector<uint8_t>(text.begin(), text.end());
    uint32_t crc = static_cast<uint32_t>(
        crc32(0L, reinterpret_cast<const Bytef*>(text.data()), static_cast<uInt>(text.size())));
    uint16_t flags = sizes_after_data ? 1u << 3 : 0;
    std::vector<uint8_t> zip;
    append(zip, 0x04034b50, 4);
    append(zip, 20, 2);
    append(zip, flags, 2);
    append(zip, method, 2);
    append(zip, 0, 4);  // time and date
    append(zip, sizes_after_data ? 0 : crc, 4);
    append(zip, sizes_after_data ? 0 : static_cast<uint32_t>(data.size()), 4);
    append(zip, sizes_after_data ? 0 : static_cast<uint32_t>(text.size()), 4);
    append(zip, static_cast<uint32_t>(entry_name.size()), 2);
    append(zip, 0, 2);
    zip.insert(zip.end(), entry_name.begin(), entry_name.end());
    zip.insert(zip.end(), data.begin(), data.end());
    if (sizes_after_data) {
        append(zip, 0x08074b50, 4);
        append(zip, crc, 4);
        append(zip, static_cast<uint32_t>(data.size()), 4);
        append(zip, static_cast<uint32_t>(text.size()), 4);
    }
    size_t directory_at = zip.size();
    append(zip, 0x02014b50, 4);
    append(zip, 20, 2);
    append(zip, 20, 2);
    append(zip, flags, 2);
    append(zip, method, 2);
    append(zip, 0, 4);
    append(zip, crc, 4);
    append(zip, static_cast<uint32_t>(data.size()), 4);
    append(zip, static_cast<uint32_t>(text.size()), 4);
    append(zip, static_cast<uint32_t>(entry_name.size()), 2);
    zip.insert(zip.end(), 16, 0);  // extra, comment, disk, attributes, offset 0
    zip.insert(zip.end(), entry_name.begin(), entry_name.end());
    size_t directory_size = zip.size() - directory_at;
    append(zip, 0x06054b50, 4);
    append(zip, 0, 4);
    append(zip, 1, 2);
    append(zip, 1, 2);
    append(zip, static_cast<uint32_t>(directory_size), 4);
    append(zip, static_cast<uint32_t>(directory_at), 4);
    append(zip, 0, 2);
    return zip;
}

}  // namespace test_zip
