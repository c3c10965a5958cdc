// The shading map reader on arbitrary file contents.
//
// A header line of a dozen bytes may ask for a map of up to 2^31 - 1 gains,
// 8 GiB, and the reader rightly makes one when the memory is there; a map of
// no columns but 2^31 - 1 rows holds no gains at all, yet saving it rightly
// writes 4 GiB of empty lines. The fuzzer would report the first as running
// out of memory and the second as a timeout, and large maps only slow it
// down (each is written and read back) without reaching any code a small one
// does not. So inputs whose header asks for more than `largest_map` gains or
// rows are passed over. Headers beyond 32-bit addressing are fed: they must
// fail without allocating anything.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

#include "correction/shading_file.h"
#include "lib/number_text.h"
#include "lib/text.h"
#include "quiet_console.h"

namespace {

const char* const input_path = "fuzz_shading_map_input.txt";
const char* const saved_path = "fuzz_shading_map_saved.txt";
constexpr int64_t largest_map = int64_t(1) << 12;
// Longest line, its line feed included, that read_line hands over whole; a
// longer one comes in pieces, each read as a row of its own.
constexpr size_t longest_whole_line = TextFile::line_buffer_size - 1;

struct Header {
    int32_t width;
    int32_t height;
};

// The first line the reader takes as the header, if the file has one.
std::optional<Header> header_of(const char* path)
{
    TextFile file(std::fopen(path, "rb"));
    std::optional<Header> header;
    if (!file.is_open()) return header;
    for_each_map_line(file, [&header](Tokenizer& fields) {
        if (header) return;
        const int32_t width = parse_int(fields.next_token().c_str());
        const int32_t height = parse_int(fields.next_token().c_str());
        header = Header{width, height};
    });
    return header;
}

bool fits_32_bit_indexes(const Header& header)
{
    return header.width >= 0 && header.height >= 0 &&
           int64_t(header.width) * header.height <= INT32_MAX;
}

std::string file_bytes(const char* path)
{
    std::string bytes;
    FILE* file = std::fopen(path, "rb");
    if (!file) return bytes;
    char buffer[4096];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) bytes.append(buffer, got);
    std::fclose(file);
    return bytes;
}

bool has_line_longer_than(const std::string& text, size_t limit)
{
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        if (end + 1 - start > limit) return true;
    return text.size() - start > limit;
}

// A map once written and read is written again byte for byte: six decimals
// read back to the float nearest them, which prints as the same six.
void check_written_map_reads_back(const FloatMap& map)
{
    if (!write_shading_map(map, saved_path)) __builtin_trap();
    const std::string written = file_bytes(saved_path);
    if (has_line_longer_than(written, longest_whole_line)) return;
    const ShadingMapRead reread = read_shading_map(saved_path);
    if (reread.failed || !reread.map) __builtin_trap();
    if (reread.map->width() != map.width() || reread.map->height() != map.height())
        __builtin_trap();
    if (!write_shading_map(*reread.map, saved_path)) __builtin_trap();
    if (file_bytes(saved_path) != written) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    quiet_console("fuzz_shading_map.stdout");
    FILE* file = std::fopen(input_path, "wb");
    if (!file) return 0;
    std::fwrite(data, 1, size, file);
    std::fclose(file);

    const std::optional<Header> header = header_of(input_path);
    const bool possible = header && fits_32_bit_indexes(*header);
    if (possible &&
        (header->height > largest_map || int64_t(header->width) * header->height > largest_map))
        return 0;

    static std::unique_ptr<FloatMap> shading_map;
    shading_map.reset(new FloatMap(1, 1));
    load_shading_map(shading_map, String(input_path));
    const FloatMap* map = shading_map.get();

    // A map exactly as large as its header says, or none when there is no
    // header or it cannot be made into a map.
    if (possible != (map != nullptr)) __builtin_trap();
    if (!map) return 0;
    if (map->width() != header->width || map->height() != header->height) __builtin_trap();
    if (int64_t(map->count()) != int64_t(map->width()) * map->height()) __builtin_trap();
    check_written_map_reads_back(*map);
    return 0;
}
