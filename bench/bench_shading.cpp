// Making the shading map from the mean of the frames, applying it, and the
// shading map file.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "bench.h"
#include "correction/shading.h"
#include "correction/shading_file.h"
#include "lib/bmp.h"
#include "lib/float_map.h"
#include "lib/image.h"
#include "lib/parallel.h"
#include "parts_set.h"

namespace {

void load_frames_into(BenchState& state, const FloatMap& sum)
{
    state.img_accum = copy_of_frames(sum);
}

void create_shading_map_as_command(BenchState& state)
{
    const MeanImage mean = take_mean_image(state);
    state.shading_map = create_shading_map(&mean);
}

// The shading map of the frames, as --create_shading_map makes it.
void make_map(BenchState& state, BenchContext& context)
{
    load_frames_into(state, context.frame_sum());
    create_shading_map_as_command(state);
}

void run_shading_create(BenchContext& context)
{
    const FloatMap& sum = context.frame_sum();
    const std::string floor = "copy of a 5120 x 5120 image";
    BenchState state;
    context.report("shading creation (create_shading_map, mean)",
                   context.best_ms([&] { load_frames_into(state, sum); },
                                   [&] { create_shading_map_as_command(state); }),
                   floor, context.image_copy_ms());
    std::fprintf(bench_out(), "  map of %d x %d blocks\n", state.shading_map->width(),
                 state.shading_map->height());
    if (parallel_parts() > 1) {
        const PartsSet one_part(1);
        context.report("  the same, one thread",
                       context.best_ms([&] { load_frames_into(state, sum); },
                                       [&] { create_shading_map_as_command(state); }),
                       floor, context.image_copy_ms());
    }

    load_frames_into(state, sum);
    const std::unique_ptr<ImageBW> mean = take_mean_image(state).grey();
    context.report("  block means and gains alone (8-bit mean)",
                   context.best_ms([&] { shading_gains(*mean); }), floor, context.image_copy_ms());
}

void run_shading_apply(BenchContext& context)
{
    BenchState state;
    make_map(state, context);
    const std::string input = context.frame_paths().front();
    const std::string output = context.path("shading_applied.bmp");

    const std::unique_ptr<ImageBW> frame = load_bmp_bw(input.c_str());
    ImageBW work(frame->width(), frame->height());
    const size_t bytes = static_cast<size_t>(frame->width()) * frame->height();
    context.report("shading application (in memory)",
                   context.best_ms([&] { std::memcpy(work.data(), frame->data(), bytes); },
                                   [&] { apply_gains(*state.shading_map, work); }),
                   "copy of a 5120 x 5120 image", context.image_copy_ms());

    const double floor_ms =
        context.read_bytes_ms(input) + context.write_bytes_ms(bench_file_size(input));
    context.report("  file to file (apply_shading_map)",
                   context.best_ms_writing(output,
                                           [&] {
                                               apply_shading_map(state.shading_map.get(),
                                                                 String(input.c_str()),
                                                                 String(output.c_str()));
                                           }),
                   "read + write the BMP's bytes", floor_ms);
    std::remove(output.c_str());
}

// What plain stdio spends on the same text: a reference for the cost of the
// text itself.
void print_gains(const FloatMap& map, const std::string& path)
{
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return;
    std::fprintf(file, "%d; %d;\r\n", map.width(), map.height());
    for (int32_t j = 0; j < map.height(); ++j) {
        for (int32_t i = 0; i < map.width(); ++i)
            std::fprintf(file, "%f; ", static_cast<double>(map.get(i, j)));
        std::fprintf(file, "\r\n");
    }
    std::fclose(file);
}

double scan_gains(const std::string& path)
{
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return 0;
    double total = 0;
    std::string line(16384, '\0');
    while (std::fgets(&line[0], static_cast<int>(line.size()), file)) {
        for (char* p = &line[0];;) {
            char* end;
            const double gain = std::strtod(p, &end);
            if (end == p) break;
            total += gain;
            p = *end == ';' ? end + 1 : end;
        }
    }
    std::fclose(file);
    return total;
}

void run_shading_file(BenchContext& context)
{
    BenchState state;
    make_map(state, context);
    const std::string map = context.path("shading.map");
    const String name(map.c_str());
    const double save_ms =
        context.best_ms_writing(map, [&] { save_shading_map(state.shading_map.get(), name); });
    const size_t bytes = bench_file_size(map);
    std::fprintf(bench_out(), "  %d x %d gains, %zu bytes\n", state.shading_map->width(),
                 state.shading_map->height(), bytes);
    const double write_ms = context.write_bytes_ms(bytes);
    context.report("save shading map (save_shading_map)", save_ms, "fwrite of the same bytes",
                   write_ms);
    const std::string reference = context.path("shading_reference.map");
    context.report(
        "  reference: fprintf of the same lines",
        context.best_ms_writing(reference, [&] { print_gains(*state.shading_map, reference); }),
        "fwrite of the same bytes", write_ms);
    std::remove(reference.c_str());

    const double read_ms = context.read_bytes_ms(map);
    context.report("load shading map (load_shading_map)", context.best_ms([&] {
        state.shading_map.reset();
        state.shading_map = load_shading_map(name).map;
    }),
                   "fread of the same bytes", read_ms);
    if (!state.shading_map) std::fprintf(bench_out(), "  THE MAP DID NOT LOAD\n");
    volatile double sink = 0;
    context.report("  reference: fgets and strtod of the lines",
                   context.best_ms([&] { sink = scan_gains(map); }), "fread of the same bytes",
                   read_ms);
    std::remove(map.c_str());
}

}  // namespace

KD_BENCH_STAGE(shading_create, "the shading map from the mean of the 16 frames",
               run_shading_create);
KD_BENCH_STAGE(shading_apply, "applying the shading map to a frame", run_shading_apply);
KD_BENCH_STAGE(shading_file, "saving and loading the shading map of a 5120 x 5120 sensor",
               run_shading_file);
