// Loading and summing camera frames, against reading the same files raw.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "bench.h"
#include "lib/accumulate.h"
#include "lib/bmp.h"
#include "lib/float_map.h"

namespace {

constexpr int32_t frame_size = 5120;
constexpr int frame_count = 16;

std::vector<std::string> write_frames(const BenchContext& context)
{
    std::vector<std::string> paths;
    ImageBW frame(frame_size, frame_size);
    for (int i = 0; i < frame_count; ++i) {
        uint8_t* pixels = frame.data();
        for (size_t p = 0; p < static_cast<size_t>(frame_size) * frame_size; ++p)
            pixels[p] = static_cast<uint8_t>((p * 31 + static_cast<size_t>(i) * 7) >> 3);
        paths.push_back(context.path("frame" + std::to_string(i) + ".bmp"));
        if (!save_bmp(frame, paths.back().c_str())) std::printf("  cannot write %s\n", paths.back().c_str());
    }
    return paths;
}

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
    std::unique_ptr<FloatMap> sum;
    int32_t count = 0;
    if (!accumulate_bmp_files(paths, sum, count, AccumulateEvents(), options))
        std::printf("  summing failed\n");
    return sum;
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

void run_load_img(BenchContext& context)
{
    const std::vector<std::string> paths = write_frames(context);
    std::vector<uint8_t> buffer(1u << 20);
    const size_t bytes = read_raw(paths, buffer);  // into the page cache
    std::printf("  %d frames of %d x %d, 8 bits, %.0f MiB\n", frame_count, frame_size, frame_size,
                bytes / 1048576.0);

    const double read_ms = context.best_ms([&] { read_raw(paths, buffer); });
    context.report("read the files, no decoding", read_ms);

    const double banded_ms = context.best_ms([&] { sum_banded(paths, AccumulateOptions()); });
    context.report("load and sum, banded (as --load_img)", banded_ms);

    for (uint32_t band_kib : {256u, 512u, 2048u}) {
        AccumulateOptions options;
        options.band_bytes = band_kib * 1024;
        const std::string label = "  banded, " + std::to_string(band_kib) + " KiB map strip";
        context.report(label.c_str(), context.best_ms([&] { sum_banded(paths, options); }));
    }
    context.report("load and sum, frame by frame", context.best_ms([&] { sum_frame_by_frame(paths); }));

    const bool same = [&] {
        std::unique_ptr<FloatMap> a = sum_banded(paths, AccumulateOptions());
        std::unique_ptr<FloatMap> b = sum_frame_by_frame(paths);
        for (int32_t i = 0; i < a->count(); ++i)
            if (a->data()[i] != b->data()[i]) return false;
        return true;
    }();
    std::printf("  banded sum %s frame-by-frame sum\n", same ? "equals" : "DIFFERS FROM");
    std::printf("  ratio load-and-sum / read: %.2f\n", banded_ms / read_ms);

    for (const std::string& path : paths) std::remove(path.c_str());
}

}  // namespace

KD_BENCH_STAGE(load_img, "sum 16 frames of 5120 x 5120 (8-bit BMP) into a float map", run_load_img);
