// What the stages share: timing, the table, the camera frames and the floors.
#include <unistd.h>

#include <cstring>
#include <vector>

#include "bench.h"
#include "correction/defpix.h"
#include "lib/accumulate.h"
#include "lib/bmp.h"
#include "lib/float_map.h"
#include "lib/image.h"

struct BenchShared {
    std::vector<std::string> frame_paths;
    std::unique_ptr<FloatMap> frame_sum;
    double image_copy_ms = -1.0;
    std::unique_ptr<DefpixTable> defpix_table;
};

FILE* bench_out() { return stderr; }

namespace {

void print_row(const BenchRow& row)
{
    std::fprintf(bench_out(), "  %-46s %9.2f ms", row.stage.c_str(), row.ms);
    if (!row.floor.empty())
        std::fprintf(bench_out(), "  %6.2f x  %-34s %8.2f ms", row.ms / row.floor_ms,
                     row.floor.c_str(), row.floor_ms);
    std::fprintf(bench_out(), "\n");
}

// A cheap random stream, so writing the frames does not take longer than
// measuring them.
class NoiseSource {
public:
    explicit NoiseSource(uint64_t seed) : state_(seed * 0x9e3779b97f4a7c15ull + 1) {}
    // -4 to +4.
    int next()
    {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 7;
        state_ ^= state_ << 17;
        return static_cast<int>(state_ % 9) - 4;
    }

private:
    uint64_t state_;
};

uint8_t clamp_to_byte(int value)
{
    return static_cast<uint8_t>(value < 0 ? 0 : value > 255 ? 255 : value);
}

// Brightness falling from 190 in the middle to 90 in the corners.
int vignetted(int32_t x, int32_t y)
{
    const int64_t c = bench_frame_side / 2;
    const int64_t r2 = (x - c) * (x - c) + (y - c) * (y - c);
    return 190 - static_cast<int>(100 * r2 / (2 * c * c));
}

void fill_frame(ImageBW& frame, int index)
{
    NoiseSource noise(static_cast<uint64_t>(index) + 1);
    const int32_t side = bench_frame_side;
    for (int32_t y = 0; y < side; ++y) {
        uint8_t* line = frame.data() + static_cast<size_t>(y) * side;
        for (int32_t x = 0; x < side; ++x) {
            const uint32_t spot =
                (static_cast<uint32_t>(y) * 7919u + static_cast<uint32_t>(x) * 104729u) % 20011u;
            int value = vignetted(x, y) + noise.next();
            if (x == 1234) value += 40;
            if (spot == 0) value = 255;
            if (spot == 1) value = 0;
            line[x] = clamp_to_byte(value);
        }
    }
}

}  // namespace

BenchContext::BenchContext(std::string folder, int repeats)
    : folder_(std::move(folder)), repeats_(repeats), shared_(new BenchShared)
{
}

BenchContext::~BenchContext()
{
    for (const std::string& path : shared_->frame_paths) std::remove(path.c_str());
}

double BenchContext::best_ms(const std::function<void()>& work) const
{
    return best_ms([] {}, work);
}

double BenchContext::best_ms(const std::function<void()>& prepare,
                             const std::function<void()>& work) const
{
    double best = 0.0;
    for (int i = 0; i < repeats_; ++i) {
        prepare();
        const auto start = std::chrono::steady_clock::now();
        work();
        const std::chrono::duration<double, std::milli> took =
            std::chrono::steady_clock::now() - start;
        if (i == 0 || took.count() < best) best = took.count();
    }
    return best;
}

double BenchContext::best_ms_writing(const std::string& file_path,
                                     const std::function<void()>& work) const
{
    return best_ms([&] { std::remove(file_path.c_str()); }, work);
}

void BenchContext::report(const std::string& stage, double ms, const std::string& floor,
                          double floor_ms)
{
    rows_.push_back(BenchRow{stage, ms, floor, floor_ms});
    print_row(rows_.back());
    std::fflush(bench_out());
}

void BenchContext::note(const std::string& text)
{
    notes_.push_back(text);
    std::fprintf(bench_out(), "  %s\n", text.c_str());
    std::fflush(bench_out());
}

const std::vector<std::string>& BenchContext::frame_paths()
{
    if (!shared_->frame_paths.empty()) return shared_->frame_paths;
    ImageBW frame(bench_frame_side, bench_frame_side);
    for (int i = 0; i < bench_frame_count; ++i) {
        fill_frame(frame, i);
        const std::string name = path("frame" + std::to_string(i) + ".bmp");
        if (!save_bmp(frame, name.c_str()))
            std::fprintf(bench_out(), "  cannot write %s\n", name.c_str());
        shared_->frame_paths.push_back(name);
    }
    // The 400 MiB just written would otherwise go to the disk while the
    // first stages are timed, the system's writing threads taking the core
    // that a second thread of the program would use.
    ::sync();
    return shared_->frame_paths;
}

const FloatMap& BenchContext::frame_sum()
{
    if (!shared_->frame_sum) {
        shared_->frame_sum =
            accumulate_bmp_files(frame_paths(), ImageSum(), AccumulateEvents()).images.sum;
        if (!shared_->frame_sum) {
            std::fprintf(bench_out(), "  summing the frames failed\n");
            shared_->frame_sum.reset(new FloatMap(bench_frame_side, bench_frame_side));
        }
    }
    return *shared_->frame_sum;
}

double BenchContext::image_copy_ms()
{
    if (shared_->image_copy_ms < 0) {
        const size_t bytes = static_cast<size_t>(bench_frame_side) * bench_frame_side;
        std::vector<uint8_t> source(bytes, 1);
        std::vector<uint8_t> target(bytes, 0);
        volatile uint8_t sink = 0;
        // Once untimed, so the target's pages are in place as an image's would be.
        std::memcpy(target.data(), source.data(), bytes);
        shared_->image_copy_ms = best_ms([&] {
            std::memcpy(target.data(), source.data(), bytes);
            sink = sink + target[bytes / 2];
        });
    }
    return shared_->image_copy_ms;
}

const DefpixTable& BenchContext::full_defpix_table()
{
    if (!shared_->defpix_table) {
        shared_->defpix_table.reset(new DefpixTable);
        for (int32_t i = 0; i < defpix_table_capacity; ++i) {
            // Distinct positions: i = 5120 * row + column, the column scrambled.
            const int32_t x = static_cast<int32_t>(
                (static_cast<int64_t>(i % bench_frame_side) * 37) % bench_frame_side);
            const int32_t y = (i / bench_frame_side) * 263 % bench_frame_side;
            shared_->defpix_table->defpix_add(x, y, i % 1000 == 999 ? defpix_kind_column : 0);
        }
    }
    return *shared_->defpix_table;
}

size_t bench_file_size(const std::string& path)
{
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return 0;
    std::fseek(file, 0, SEEK_END);
    const long size = std::ftell(file);
    std::fclose(file);
    return size > 0 ? static_cast<size_t>(size) : 0;
}

double BenchContext::read_bytes_ms(const std::string& file_path) const
{
    std::vector<char> buffer(bench_file_size(file_path));
    return best_ms([&] {
        FILE* file = std::fopen(file_path.c_str(), "rb");
        if (!file) return;
        if (std::fread(buffer.data(), 1, buffer.size(), file) != buffer.size())
            std::fprintf(bench_out(), "  short read of %s\n", file_path.c_str());
        std::fclose(file);
    });
}

double BenchContext::write_bytes_ms(size_t bytes) const
{
    const std::vector<char> buffer(bytes, '0');
    const std::string target = path("floor.bytes");
    const double ms = best_ms_writing(target, [&] {
        FILE* file = std::fopen(target.c_str(), "wb");
        if (!file) return;
        std::fwrite(buffer.data(), 1, buffer.size(), file);
        std::fclose(file);
    });
    std::remove(target.c_str());
    return ms;
}

ImageSum copy_of_frames(const FloatMap& sum)
{
    ImageSum images;
    images.sum.reset(new FloatMap(sum.width(), sum.height(), FloatMap::Unfilled()));
    std::memcpy(images.sum->data(), sum.data(), static_cast<size_t>(sum.count()) * sizeof(float));
    images.count = bench_frame_count;
    return images;
}

MeanImage take_mean_image(BenchState& state)
{
    ImageSum images = std::move(state.img_accum);
    state.img_accum = ImageSum();
    return MeanImage(std::move(images));
}

std::string peak_note(const char* what, const ChildRun& run)
{
    char peak[128];
    std::snprintf(peak, sizeof peak, "peak memory of %s: %.1f MiB", what,
                  static_cast<double>(run.peak_kib) / 1024.0);
    return peak;
}
