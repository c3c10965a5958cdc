// Defect detection, applying a defect map to an image file, and the defect
// map file.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "bench.h"
#include "correction/box_filter.h"
#include "correction/defpix.h"
#include "correction/defpix_apply.h"
#include "correction/defpix_detect.h"
#include "correction/defpix_file.h"
#include "lib/float_map.h"
#include "lib/image.h"
#include "lib/parallel.h"
#include "parts_set.h"

namespace {

// The run state as 16 --load_img frames leave it, with an empty table.
void load_frames_into(BenchState& state, const FloatMap& sum)
{
    state.img_accum = copy_of_frames(sum);
    state.defpix_table.clear();
}

void create_defpix_map_as_command(BenchState& state)
{
    const MeanImage mean = take_mean_image(state);
    create_defpix_map(&mean, state.detection, state.defpix_table);
}

void run_detect(BenchContext& context)
{
    const FloatMap& sum = context.frame_sum();
    const double copy_ms = context.image_copy_ms();
    const std::string floor = "copy of a 5120 x 5120 image";

    BenchState state;
    context.report("detection (create_defpix_map, mean of 16)",
                   context.best_ms([&] { load_frames_into(state, sum); },
                                   [&] { create_defpix_map_as_command(state); }),
                   floor, copy_ms);
    std::fprintf(bench_out(), "  %d defects found (window %d, threshold %d)\n",
                 state.defpix_table.defpix_count(), state.detection.lt_w, state.detection.lt_v);
    if (parallel_parts() > 1) {
        const PartsSet one_part(1);
        context.report("  the same, one thread",
                       context.best_ms([&] { load_frames_into(state, sum); },
                                       [&] { create_defpix_map_as_command(state); }),
                       floor, copy_ms);
    }

    // The filter alone on the 8-bit mean, at the default window and two others.
    load_frames_into(state, sum);
    const std::unique_ptr<ImageBW> mean = take_mean_image(state).grey();
    ImageBW work(mean->width(), mean->height());
    const size_t bytes = static_cast<size_t>(mean->width()) * mean->height();
    for (int32_t window : {128, 3, 2001}) {
        const std::string label = "  box filter alone, window " + std::to_string(window);
        context.report(label,
                       context.best_ms([&] { std::memcpy(work.data(), mean->data(), bytes); },
                                       [&] { box_filter_threshold(work, window, window, 16); }),
                       floor, copy_ms);
    }
}

// Every 40th pixel of a 2000 x 2000 field lit: exactly 100000 outliers, all
// printed and added.
void run_detect_full_table(BenchContext& context)
{
    const int32_t side = 2000;
    ImageBW image(side, side);
    for (int32_t i = 0; i < side * side; ++i) image.data()[i] = i % 40 == 0 ? 255 : 100;
    const FloatMap field(&image);
    BenchState state;
    context.report("detection, 2000 x 2000 with 100000 outliers",
                   context.best_ms(
                       [&] {
                           state.img_accum = copy_of_frames(field);
                           state.img_accum.count = 1;
                           state.defpix_table.clear();
                       },
                       [&] { create_defpix_map_as_command(state); }));

    DefpixTable table;
    context.report("defpix_add, 100000 new then 100000 present",
                   context.best_ms([&] { table.clear(); },
                                   [&] {
                                       for (int32_t i = 0; i < defpix_table_capacity; ++i)
                                           table.defpix_add(i % 300, i / 300, 0);
                                       for (int32_t i = 0; i < defpix_table_capacity; ++i)
                                           table.defpix_add(i % 300, i / 300, 0);
                                   }));
}

void run_defpix_apply(BenchContext& context)
{
    const DefpixTable& table = context.full_defpix_table();
    const std::string input = context.frame_paths().front();
    const std::string output = context.path("defpix_applied.bmp");
    const double floor_ms =
        context.read_bytes_ms(input) + context.write_bytes_ms(bench_file_size(input));
    const std::string floor = "read + write the BMP's bytes";

    context.report(
        "defect apply (apply_defpix_map, 100000)",
        context.best_ms_writing(
            output, [&] { apply_defpix_map(table, input.c_str(), output.c_str(), false); }),
        floor, floor_ms);
    context.report(
        "  marking instead (mark_defpix_map)",
        context.best_ms_writing(
            output, [&] { apply_defpix_map(table, input.c_str(), output.c_str(), true); }),
        floor, floor_ms);
    std::remove(output.c_str());
}

// What plain stdio spends on the same lines, without a table: a reference
// for the cost of the text itself.
void print_entries(const DefpixTable& table, const std::string& path)
{
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return;
    for (const DefpixEntry& entry : table)
        std::fprintf(file, "%d;%d;%d\r\n", entry.x, entry.y, entry.kind);
    std::fclose(file);
}

int64_t scan_entries(const std::string& path)
{
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return 0;
    int64_t total = 0;
    char line[256];
    while (std::fgets(line, sizeof line, file)) {
        char* p = line;
        for (int field = 0; field < 3; ++field) {
            total += std::strtol(p, &p, 10);
            if (*p == ';') ++p;
        }
    }
    std::fclose(file);
    return total;
}

void run_defpix_file(BenchContext& context)
{
    const DefpixTable& table = context.full_defpix_table();
    const std::string map = context.path("defpix.map");
    const double save_ms =
        context.best_ms_writing(map, [&] { save_defpix_map(table, map.c_str()); });
    const size_t bytes = bench_file_size(map);
    std::fprintf(bench_out(), "  %d entries, %zu bytes\n", table.defpix_count(), bytes);
    const double write_ms = context.write_bytes_ms(bytes);
    context.report("save defect map (save_defpix_map, 100000)", save_ms, "fwrite of the same bytes",
                   write_ms);
    const std::string reference = context.path("defpix_reference.map");
    context.report("  reference: fprintf of the same lines",
                   context.best_ms_writing(reference, [&] { print_entries(table, reference); }),
                   "fwrite of the same bytes", write_ms);
    std::remove(reference.c_str());

    const double read_ms = context.read_bytes_ms(map);
    DefpixTable loaded;
    context.report(
        "load defect map (load_defpix_map, 100000)",
        context.best_ms([&] { loaded.clear(); }, [&] { load_defpix_map(loaded, map.c_str()); }),
        "fread of the same bytes", read_ms);
    if (loaded.defpix_count() != table.defpix_count())
        std::fprintf(bench_out(), "  LOADED %d ENTRIES\n", loaded.defpix_count());
    volatile int64_t sink = 0;
    context.report("  reference: fgets and strtol of the lines",
                   context.best_ms([&] { sink = scan_entries(map); }), "fread of the same bytes",
                   read_ms);
    context.report("  loading it again, every entry present",
                   context.best_ms([&] { load_defpix_map(loaded, map.c_str()); }),
                   "fread of the same bytes", read_ms);
    std::remove(map.c_str());
}

}  // namespace

KD_BENCH_STAGE(detect, "defect detection from the mean of the 16 frames", run_detect);
KD_BENCH_STAGE(detect_full, "detection and table adds at the table's capacity",
               run_detect_full_table);
KD_BENCH_STAGE(defpix_apply, "correcting a frame file with a 100000-entry defect map",
               run_defpix_apply);
KD_BENCH_STAGE(defpix_file, "saving and loading a 100000-entry defect map", run_defpix_file);
