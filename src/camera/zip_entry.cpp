#include "camera/zip_entry.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

namespace {

constexpr uint32_t local_header_signature = 0x04034b50;
constexpr uint32_t descriptor_signature = 0x08074b50;
constexpr size_t local_header_size = 30;
constexpr uint16_t flag_encrypted = 1u << 0;
// Streaming zippers write the sizes and checksum after the data instead.
constexpr uint16_t flag_sizes_after_data = 1u << 3;
constexpr uint16_t method_stored = 0;
constexpr uint16_t method_deflated = 8;
constexpr uint32_t zip64_marker = 0xFFFFFFFFu;

uint16_t le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

uint32_t le32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

bool fail(std::string& error, const std::string& why)
{
    error = "zipped description" + why;
    return false;
}

// Raw deflate data (no zlib header, as zip keeps it) until its end mark.
// `consumed` tells where the data ended; output beyond `limit` is refused
// before it is allocated.
bool inflate_raw(const uint8_t* in, size_t in_size, size_t limit, std::string& out,
                 size_t& consumed, std::string& error)
{
    z_stream stream;
    std::memset(&stream, 0, sizeof stream);
    if (inflateInit2(&stream, -MAX_WBITS) != Z_OK)
        return fail(error, " cannot be unpacked: zlib does not start");
    const size_t out_step = 1u << 16;
    const size_t in_step = 1u << 30;  // what avail_in, an unsigned int, can hold
    size_t fed = 0;
    size_t produced = 0;
    bool over_limit = false;
    std::string fault;
    for (;;) {
        if (stream.avail_in == 0 && fed < in_size) {
            size_t piece = std::min(in_size - fed, in_step);
            stream.next_in = const_cast<Bytef*>(in + fed);
            stream.avail_in = static_cast<uInt>(piece);
            fed += piece;
        }
        if (produced == out.size()) {
            // Room for one byte past the limit shows data that goes on beyond it.
            if (out.size() > limit) {
                over_limit = true;
                break;
            }
            out.resize(std::min(out.size() + out_step, limit + 1));
        }
        stream.next_out = reinterpret_cast<Bytef*>(&out[produced]);
        stream.avail_out = static_cast<uInt>(out.size() - produced);
        int status = inflate(&stream, Z_NO_FLUSH);
        produced = out.size() - stream.avail_out;
        if (status == Z_STREAM_END) break;
        if (status == Z_OK || (status == Z_BUF_ERROR && stream.avail_out == 0)) continue;
        // No progress with output room left: the input ran out.
        if (status == Z_BUF_ERROR) {
            fault = "'s compressed data ends early";
        } else {
            fault = "'s compressed data is corrupt";
            if (stream.msg) fault += std::string(": ") + stream.msg;
        }
        break;
    }
    consumed = fed - stream.avail_in;
    inflateEnd(&stream);
    if (over_limit || (fault.empty() && produced > limit))
        return fail(error, "'s entry unpacks to more than " + std::to_string(limit) + " bytes");
    if (!fault.empty()) return fail(error, fault);
    out.resize(produced);
    return true;
}

bool checksum_matches(const std::string& contents, uint32_t expected)
{
    uLong crc = crc32(0L, Z_NULL, 0);
    crc = crc32(crc, reinterpret_cast<const Bytef*>(contents.data()),
                static_cast<uInt>(contents.size()));
    return static_cast<uint32_t>(crc) == expected;
}

// The header's word for an entry's data.
struct LocalEntry {
    uint16_t flags;
    uint16_t method;
    uint32_t crc;
    uint32_t packed_size;
    uint32_t size_unpacked;
};

// An entry whose sizes follow its data in a data descriptor: deflated data
// that ends itself, then the descriptor, which must agree with it.
bool unpack_sized_after(const uint8_t* entry, size_t available, LocalEntry& header,
                        std::string& contents, std::string& error)
{
    if (header.method == method_stored)
        return fail(error, "'s stored entry gives its size only after its data");
    size_t consumed = 0;
    if (!inflate_raw(entry, available, max_description_size, contents, consumed, error))
        return false;
    const uint8_t* descriptor = entry + consumed;
    size_t left = available - consumed;
    if (left >= 4 && le32(descriptor) == descriptor_signature) {
        descriptor += 4;
        left -= 4;
    }
    if (left < 12)
        return fail(error, " is truncated after its entry: the data descriptor is missing");
    header.crc = le32(descriptor);
    header.packed_size = le32(descriptor + 4);
    header.size_unpacked = le32(descriptor + 8);
    if (header.packed_size != consumed || header.size_unpacked != contents.size())
        return fail(error, "'s data descriptor gives other sizes than its data has");
    return true;
}

// An entry whose header gives its sizes.
bool unpack_sized_before(const uint8_t* entry, size_t available, size_t size,
                         const LocalEntry& header, std::string& contents, std::string& error)
{
    const uint32_t packed_size = header.packed_size;
    const uint32_t size_unpacked = header.size_unpacked;
    if (packed_size == zip64_marker || size_unpacked == zip64_marker)
        return fail(error, "'s entry has zip64 sizes, which are not read");
    if (packed_size > available)
        return fail(error, " is truncated: its entry's " + std::to_string(packed_size) +
                               " bytes of data end past the archive's " + std::to_string(size) +
                               " bytes");
    if (size_unpacked > max_description_size)
        return fail(error, "'s entry unpacks to " + std::to_string(size_unpacked) +
                               " bytes, more than the " + std::to_string(max_description_size) +
                               " a description may have");
    if (header.method == method_stored) {
        if (packed_size != size_unpacked)
            return fail(error, "'s stored entry has " + std::to_string(packed_size) +
                                   " bytes of data but a size of " + std::to_string(size_unpacked));
        contents.assign(reinterpret_cast<const char*>(entry), packed_size);
        return true;
    }
    size_t consumed = 0;
    if (!inflate_raw(entry, packed_size, size_unpacked, contents, consumed, error)) return false;
    if (contents.size() != size_unpacked)
        return fail(error, "'s entry unpacks to " + std::to_string(contents.size()) +
                               " bytes instead of its stated " + std::to_string(size_unpacked));
    return true;
}

}  // namespace

bool unzip_first_entry(const uint8_t* data, size_t size, std::string& contents, std::string& error)
{
    contents.clear();
    if (size < local_header_size)
        return fail(error, " is truncated: " + std::to_string(size) +
                               " bytes cannot hold a local file header");
    if (le32(data) != local_header_signature)
        return fail(error, " does not start with a zip local file header");
    LocalEntry header{le16(data + 6), le16(data + 8), le32(data + 14), le32(data + 18),
                      le32(data + 22)};
    const size_t data_start = local_header_size + le16(data + 26) + le16(data + 28);
    if (header.flags & flag_encrypted) return fail(error, "'s entry is encrypted");
    if (header.method != method_stored && header.method != method_deflated)
        return fail(error, "'s entry uses compression method " + std::to_string(header.method) +
                               "; only stored (0) and deflated (8) are read");
    if (data_start > size)
        return fail(error, " is truncated: its entry's name and extra field end past its " +
                               std::to_string(size) + " bytes");
    const uint8_t* entry = data + data_start;
    const size_t available = size - data_start;
    const bool unpacked =
        (header.flags & flag_sizes_after_data)
            ? unpack_sized_after(entry, available, header, contents, error)
            : unpack_sized_before(entry, available, size, header, contents, error);
    if (!unpacked) return false;
    if (!checksum_matches(contents, header.crc)) {
        contents.clear();
        return fail(error, "'s entry fails its checksum");
    }
    return true;
}
