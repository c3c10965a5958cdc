#include "correction/shading.h"

#include <algorithm>
#include <vector>

#include "lib/bmp.h"
#include "lib/log.h"

namespace {

constexpr int32_t block_size = shading_block_size;

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

uint8_t shaded_pixel(uint8_t pixel, float gain)
{
    const float product = static_cast<float>(pixel) * gain;
    // Clamped before the conversion to an integer: a gain read from a file may
    // be huge, infinite or not a number. NaN and negative products give 0.
    const float clamped = std::min(std::max(0.0f, product), 255.0f);
    return static_cast<uint8_t>(static_cast<int32_t>(clamped));
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

// Every creation, successful or not, leaves the accumulation empty so the
// next one needs new images.
class AccumulationConsumer {
public:
    AccumulationConsumer(std::unique_ptr<FloatMap>& img_accum, int32_t& img_count)
        : img_accum_(img_accum), img_count_(img_count)
    {
    }
    ~AccumulationConsumer()
    {
        img_accum_.reset();
        img_count_ = 0;
    }
    AccumulationConsumer(const AccumulationConsumer&) = delete;
    AccumulationConsumer& operator=(const AccumulationConsumer&) = delete;

private:
    std::unique_ptr<FloatMap>& img_accum_;
    int32_t& img_count_;
};

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
    const int32_t columns = shading_block_count(width);
    const int32_t rows = shading_block_count(height);
    std::unique_ptr<FloatMap> means(new FloatMap(columns, rows));
    std::vector<uint32_t> sums(static_cast<size_t>(columns));
    const uint8_t* pixels = image.data();

    for (int32_t j = 0; j < rows; ++j) {
        std::fill(sums.begin(), sums.end(), 0u);
        const int32_t y0 = j * block_size;
        const int32_t h = block_extent(height, y0);
        for (int32_t y = y0; y < y0 + h; ++y)
            add_line_to_block_sums(pixels + static_cast<size_t>(width) * y, width, sums.data());
        float* row = means->data() + static_cast<size_t>(columns) * j;
        for (int32_t i = 0; i < columns; ++i) {
            const int32_t w = block_extent(width, i * block_size);
            row[i] = static_cast<float>(static_cast<double>(sums[i]) / static_cast<double>(w * h));
        }
    }
    return means;
}

std::unique_ptr<FloatMap> shading_gains(const ImageBW& average)
{
    std::unique_ptr<FloatMap> gains = block_means(average);
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
        const float* gain = line_gains.data();
        for (int32_t x = 0; x < width; ++x) line[x] = shaded_pixel(line[x], gain[x]);
    }
}

bool create_shading_map(std::unique_ptr<FloatMap>& img_accum, int32_t& img_count,
                        std::unique_ptr<FloatMap>& shading_map)
{
    console_print("create_shading_map()\n");
    AccumulationConsumer consume(img_accum, img_count);
    if (img_count <= 0 || !img_accum) {
        console_print("create_shading_map failed, no image\n");
        return false;
    }
    img_accum->scale(1.0f / static_cast<float>(img_count));
    const std::unique_ptr<ImageBW> average = img_accum->to_image();
    shading_map.reset();
    shading_map = shading_gains(*average);
    return true;
}

void clear_shading_map(std::unique_ptr<FloatMap>& shading_map)
{
    console_print("clear_shading_map\n");
    shading_map.reset();
}

bool apply_shading_map(const FloatMap* shading_map, const String& input, const String& output)
{
    console_print("apply_shading_map('%s', '%s')\n", input.c_str(), output.c_str());
    if (!shading_map) {
        console_print("no shading_map available\n");
        return false;
    }
    const std::unique_ptr<ImageBW> image = load_bmp_bw(input.c_str());
    if (!image) {
        console_print("cannot read image '%s'\n", input.c_str());
        return false;
    }
    apply_gains(*shading_map, *image);
    if (save_bmp(*image, output.c_str())) return true;
    console_print("cannot write image '%s'\n", output.c_str());
    return false;
}
