#include "correction/shading.h"

#include <algorithm>
#include <new>
#include <vector>

#include "lib/atomic_file.h"
#include "lib/bmp.h"
#include "lib/byte_conversion.h"
#include "lib/image_sum.h"
#include "lib/log.h"
#include "lib/parallel.h"

namespace {

constexpr int32_t block_size = shading_block_size;
// About this much of a frame file is held at a time when it is corrected.
constexpr size_t shading_piece_bytes = size_t(1) << 20;

// Pixels of the block that starts at `first` in a line of `length`.
int32_t block_extent(int32_t length, int32_t first) { return std::min(length - first, block_size); }

// Adds one image line to the running sums of its block row. 16 lines of 16
// pixels of at most 255 fit easily in 32 bits.
void add_line_to_block_sums(const uint8_t* line, int32_t width, uint32_t* sums)
{
    const int32_t full_blocks = width / block_size;
    for (int32_t i = 0; i < full_blocks; ++i) {
        const uint8_t* block = line + i * block_size;
        uint32_t sum = 0;
        for (int32_t k = 0; k < block_size; ++k) sum += block[k];
        sums[i] += sum;
    }
    for (int32_t x = full_blocks * block_size; x < width; ++x) sums[full_blocks] += line[x];
}

// The gain of each pixel of the lines of block row j; 0.0 beyond the map.
void fill_line_gains(const FloatMap& gains, int32_t j, std::vector<float>& line_gains)
{
    const size_t width = line_gains.size();
    for (size_t x0 = 0; x0 < width; x0 += block_size) {
        const float gain = gains.get(static_cast<int32_t>(x0 / block_size), j);
        std::fill(line_gains.begin() + x0, line_gains.begin() + std::min(x0 + block_size, width),
                  gain);
    }
}

// Adds up block rows [first_row, last_row) of an image of width x height
// pixels into their means; `add_line(y, sums)` adds line y's pixels to the
// sums of their blocks.
template <typename AddLine>
void add_block_rows(int32_t width, int32_t height, int32_t first_row, int32_t last_row,
                    AddLine add_line, uint32_t* sums, FloatMap& means)
{
    const int32_t columns = means.width();
    for (int32_t j = first_row; j < last_row; ++j) {
        std::fill(sums, sums + columns, 0u);
        const int32_t y0 = j * block_size;
        const int32_t h = block_extent(height, y0);
        for (int32_t y = y0; y < y0 + h; ++y) add_line(y, sums);
        float* row = means.data() + static_cast<size_t>(columns) * j;
        for (int32_t i = 0; i < columns; ++i) {
            const int32_t w = block_extent(width, i * block_size);
            row[i] = static_cast<float>(static_cast<double>(sums[i]) / static_cast<double>(w * h));
        }
    }
}

// Brightest block mean / block mean, in place.
std::unique_ptr<FloatMap> gains_of_means(std::unique_ptr<FloatMap> gains)
{
    float* values = gains->data();
    const int32_t count = gains->count();

    float brightest = 0.0f;
    for (int32_t k = 0; k < count; ++k)
        if (values[k] > brightest) brightest = values[k];
    for (int32_t k = 0; k < count; ++k) {
        if (values[k] == 0.0f) values[k] = 1.0f;
        values[k] = brightest / values[k];
    }
    return gains;
}

enum class ShadingOutcome { done, unreadable, unwritable };

// The frame as load_bmp_bw, apply_gains and save_bmp would make it, a piece
// of lines at a time in the files' own order, without a whole image in
// memory. The input is read to its end even when the output cannot be
// written, so that a file that cannot be read is reported as such, as when
// it was read before anything was written.
ShadingOutcome shade_file(const FloatMap& gains, const char* input, const char* output)
{
    BmpReader reader;
    if (!reader.open(input, 1)) return ShadingOutcome::unreadable;
    const int32_t width = reader.layout().width;
    const int32_t height = reader.layout().height;
    const size_t line_size = reader.line_size();
    const int32_t piece_lines = static_cast<int32_t>(
        std::min<size_t>(std::max<size_t>(1, shading_piece_bytes / line_size), height));
    std::vector<uint8_t> piece;
    std::vector<float> line_gains;
    try {
        piece.resize(line_size * static_cast<size_t>(piece_lines));
        line_gains.resize(static_cast<size_t>(width));
    } catch (const std::bad_alloc&) {
        // Too large to hold, refused as load_bmp_bw refuses it.
        return ShadingOutcome::unreadable;
    }

    AtomicFile file(output);
    const bool writing = file.is_open();
    if (writing) {
        uint8_t header[bmp_grey_data_offset];
        make_bmp_grey_header(static_cast<uint32_t>(width), static_cast<uint32_t>(height),
                             static_cast<uint32_t>(line_size) * static_cast<uint32_t>(height),
                             header);
        file.write(header, sizeof header);
    }
    int32_t gains_row = -1;
    for (int32_t first = 0; first < height; first += piece_lines) {
        const int32_t count = std::min(piece_lines, height - first);
        if (!reader.read_lines(first, count, piece.data())) return ShadingOutcome::unreadable;
        if (!writing) continue;
        for (int32_t k = 0; k < count; ++k) {
            // File line first + k is picture line y.
            const int32_t y = height - 1 - (first + k);
            if (y / block_size != gains_row) {
                gains_row = y / block_size;
                fill_line_gains(gains, gains_row, line_gains);
            }
            uint8_t* line = piece.data() + line_size * static_cast<size_t>(k);
            multiplied_bytes(line, line_gains.data(), width, line);
        }
        file.write(piece.data(), line_size * static_cast<size_t>(count));
    }
    return writing && file.commit() ? ShadingOutcome::done : ShadingOutcome::unwritable;
}

}  // namespace

int32_t shading_block_count(int32_t pixels)
{
    return static_cast<int32_t>((static_cast<int64_t>(pixels) + block_size - 1) / block_size);
}

double block_mean(const ImageBW& image, int32_t i, int32_t j)
{
    const int32_t x0 = block_size * i;
    const int32_t y0 = block_size * j;
    const int32_t w = block_extent(static_cast<int32_t>(image.width()), x0);
    const int32_t h = block_extent(static_cast<int32_t>(image.height()), y0);
    if (w <= 0 || h <= 0) return 0.0;
    double sum = 0.0;
    for (int32_t y = y0; y < y0 + h; ++y)
        for (int32_t x = x0; x < x0 + w; ++x) sum += image.get_pixel(x, y);
    return sum / static_cast<double>(w * h);
}

std::unique_ptr<FloatMap> block_means(const ImageBW& image)
{
    const int32_t width = static_cast<int32_t>(image.width());
    const int32_t height = static_cast<int32_t>(image.height());
    std::unique_ptr<FloatMap> means(
        new FloatMap(shading_block_count(width), shading_block_count(height)));
    std::vector<uint32_t> sums(static_cast<size_t>(means->width()));
    const uint8_t* pixels = image.data();
    add_block_rows(
        width, height, 0, means->height(),
        [=](int32_t y, uint32_t* line_sums) {
            add_line_to_block_sums(pixels + static_cast<size_t>(width) * static_cast<size_t>(y),
                                   width, line_sums);
        },
        sums.data(), *means);
    return means;
}

std::unique_ptr<FloatMap> shading_gains(const ImageBW& average)
{
    return gains_of_means(block_means(average));
}

void apply_gains(const FloatMap& gains, ImageBW& image)
{
    const int32_t width = static_cast<int32_t>(image.width());
    const int32_t height = static_cast<int32_t>(image.height());
    uint8_t* pixels = image.data();
    // The gain of every pixel of a line, the same for the 16 lines of a block
    // row; one plain loop per line then lets the compiler vectorise.
    std::vector<float> line_gains(static_cast<size_t>(width));

    for (int32_t y = 0; y < height; ++y) {
        const int32_t j = y / block_size;
        if (y % block_size == 0) fill_line_gains(gains, j, line_gains);
        uint8_t* line = pixels + static_cast<size_t>(width) * y;
        // Clamped before the conversion to an integer: a gain read from a
        // file may be huge, infinite or not a number.
        multiplied_bytes(line, line_gains.data(), width, line);
    }
}

std::unique_ptr<FloatMap> create_shading_map(const MeanImage* mean)
{
    console_print("create_shading_map()\n");
    if (!mean) {
        console_print("create_shading_map failed, no image\n");
        return nullptr;
    }
    // The gains of mean->grey(), whose bytes are added up as they are made
    // instead of kept as a whole 8-bit image, the block rows split into
    // parts whose means do not depend on one another.
    const int32_t width = mean->width();
    const int32_t height = mean->height();
    std::unique_ptr<FloatMap> means(
        new FloatMap(shading_block_count(width), shading_block_count(height)));
    const int32_t parts = parallel_parts();
    std::vector<std::vector<uint32_t>> sums(static_cast<size_t>(parts),
                                            std::vector<uint32_t>(means->width()));
    run_parts(parts, [&](int32_t part) {
        int64_t first = 0;
        int64_t last = 0;
        part_range(means->height(), parts, part, first, last);
        add_block_rows(
            width, height, static_cast<int32_t>(first), static_cast<int32_t>(last),
            [&](int32_t y, uint32_t* line_sums) { mean->add_grey_line_sums_of_16(y, line_sums); },
            sums[static_cast<size_t>(part)].data(), *means);
    });
    return gains_of_means(std::move(means));
}

bool apply_shading_map(const FloatMap* shading_map, const String& input, const String& output)
{
    console_print("apply_shading_map('%s', '%s')\n", input.c_str(), output.c_str());
    if (!shading_map) {
        console_print("no shading_map available\n");
        return false;
    }
    switch (shade_file(*shading_map, input.c_str(), output.c_str())) {
    case ShadingOutcome::done: return true;
    case ShadingOutcome::unreadable:
        console_print("cannot read image '%s'\n", input.c_str());
        break;
    case ShadingOutcome::unwritable:
        console_print("cannot write image '%s'\n", output.c_str());
        break;
    }
    return false;
}
