// Loading and summing camera frames, against reading the same files raw.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "bench.h"
#include "lib/accumulate.h"
#include "lib/bmp.h"
#include "lib/float_map.h"
#include "lib/parallel.h"
#include "parts_set.h"

namespace {

// Every byte of every file, in 1 MiB pieces into one buffer, nothing decoded.
size_t read_raw(const std::vector<std::string>& paths, std::vector<uint8_t>& buffer)
{
    size_t total = 0;
    for (const std::string& path : paths) {
        FILE* file = std::fopen(path.c_str(), "rb");
        if (!file) continue;
        std::setvbuf(file, nullptr, _IONBF, 0);
        size_t got;
        while ((got = std::fread(buffer.data(), 1, buffer.size(), file)) > 0) total += got;
        std::fclose(file);
    }
    return total;
}

std::unique_ptr<FloatMap> sum_banded(const std::vector<std::string>& paths,
                                     const AccumulateOptions& options)
{
    Accumulated result = accumulate_bmp_files(paths, ImageSum(), AccumulateEvents(), options);
    if (!result.done) std::fprintf(bench_out(), "  summing failed\n");
    return std::move(result.images.sum);
}

std::unique_ptr<FloatMap> sum_frame_by_frame(const std::vector<std::string>& paths)
{
    std::unique_ptr<FloatMap> sum;
    for (const std::string& path : paths) {
        std::unique_ptr<Image> image = load_bmp(path.c_str());
        if (sum)
            sum->add(image.get());
        else
            sum.reset(new FloatMap(image.get()));
    }
    return sum;
}

bool same_values(const FloatMap& a, const FloatMap& b)
{
    if (a.count() != b.count()) return false;
    for (int32_t i = 0; i < a.count(); ++i)
        if (a.data()[i] != b.data()[i]) return false;
    return true;
}

void run_load_img(BenchContext& context)
{
    const std::vector<std::string>& paths = context.frame_paths();
    std::vector<uint8_t> buffer(1u << 20);
    const size_t bytes = read_raw(paths, buffer);  // into the page cache
    std::fprintf(bench_out(), "  %d frames of %d x %d, 8 bits, %.0f MiB\n", bench_frame_count,
                 bench_frame_side, bench_frame_side, bytes / 1048576.0);

    const std::string floor = "read the files, no decoding";
    const double read_ms = context.best_ms([&] { read_raw(paths, buffer); });
    context.report("load and sum 16 frames (--load_img)",
                   context.best_ms([&] { sum_banded(paths, AccumulateOptions()); }), floor,
                   read_ms);

    if (parallel_parts() > 1) {
        const PartsSet one_part(1);
        context.report("  the same, one thread",
                       context.best_ms([&] { sum_banded(paths, AccumulateOptions()); }), floor,
                       read_ms);
    }
    for (uint32_t band_kib : {256u, 2048u}) {
        AccumulateOptions options;
        options.band_bytes = band_kib * 1024;
        context.report("  the same, " + std::to_string(band_kib) + " KiB bands",
                       context.best_ms([&] { sum_banded(paths, options); }), floor, read_ms);
    }
    context.report("  the same, frame by frame (load_bmp, add)",
                   context.best_ms([&] { sum_frame_by_frame(paths); }), floor, read_ms);

    const std::unique_ptr<FloatMap> banded = sum_banded(paths, AccumulateOptions());
    const std::unique_ptr<FloatMap> whole = sum_frame_by_frame(paths);
    std::fprintf(bench_out(), "  banded sum %s frame-by-frame sum\n",
                 same_values(*banded, *whole) ? "equals" : "DIFFERS FROM");
}

}  // namespace

KD_BENCH_STAGE(load_img, "sum 16 frames of 5120 x 5120 (8-bit BMP) into a float map", run_load_img);
