// Cost of defect detection and of the defect map file, measured in stages.
// Detection is reported as a ratio to one plain copy of the same image,
// measured in the same run, so the figure travels between machines.
//
// The program's own messages (one line per outlier) go to standard output,
// which is sent to a scratch file; the figures go to standard error.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <vector>

#include "correction/defpix.h"
#include "correction/defpix_detect.h"
#include "correction/defpix_file.h"
#include "lib/float_map.h"
#include "lib/image.h"
#include "platform/counter.h"
#include "run_state.h"

namespace {

constexpr int32_t side = 5120;
constexpr int repeats = 7;
const char* const scratch_output = "bench_defpix.stdout";
const char* const map_file = "bench_defpix.map";

double seconds_since(int64_t start)
{
    return static_cast<double>(platform::counter_value() - start) /
           static_cast<double>(platform::counter_frequency());
}

// Best of `repeats` runs of `stage`, after `prepare` (not timed) each time.
template <typename Prepare, typename Stage>
double best_time(Prepare prepare, Stage stage)
{
    double best = 1e30;
    for (int i = 0; i < repeats; ++i) {
        prepare();
        const int64_t start = platform::counter_value();
        stage();
        best = std::min(best, seconds_since(start));
    }
    return best;
}

// A shaded sensor: a smooth ramp with noise and a few hot and dead pixels.
void fill_mean_image(uint8_t* pixels, int32_t width, int32_t height)
{
    std::mt19937 random(1);
    std::uniform_int_distribution<int> noise(-3, 3);
    std::uniform_int_distribution<int> defect(0, 20000);
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x) {
            int value = 60 + (x + y) * 100 / (width + height) + noise(random);
            const int d = defect(random);
            if (d == 0) value = 255;
            if (d == 1) value = 0;
            pixels[static_cast<size_t>(y) * width + x] = static_cast<uint8_t>(value);
        }
}

void report(const char* stage, double seconds, double copy_seconds)
{
    std::fprintf(stderr, "%-44s %9.2f ms", stage, seconds * 1e3);
    if (copy_seconds > 0) std::fprintf(stderr, "   %6.1f x copy", seconds / copy_seconds);
    std::fprintf(stderr, "\n");
}

void detection_stages()
{
    ImageBW source(side, side);
    ImageBW work(side, side);
    fill_mean_image(source.data(), side, side);
    const size_t bytes = static_cast<size_t>(side) * side;

    const double copy = best_time([] {}, [&] { std::memcpy(work.data(), source.data(), bytes); });
    report("copy 5120 x 5120", copy, 0);

    const double filter = best_time([&] { std::memcpy(work.data(), source.data(), bytes); },
                                    [&] { box_filter_threshold(work, 128, 128, 16); });
    report("box_filter_threshold 128 x 128", filter, copy);

    const double wide = best_time([&] { std::memcpy(work.data(), source.data(), bytes); },
                                  [&] { box_filter_threshold(work, 2001, 2001, 16); });
    report("box_filter_threshold 2001 x 2001", wide, copy);

    const double narrow = best_time([&] { std::memcpy(work.data(), source.data(), bytes); },
                                    [&] { box_filter_threshold(work, 3, 3, 16); });
    report("box_filter_threshold 3 x 3", narrow, copy);

    RunState state;
    const double whole = best_time(
        [&] {
            state.img_accum.reset(new FloatMap(&source));
            state.img_count = 1;
            state.defpix_table.clear();
        },
        [&] { create_defpix_map(state); });
    report("create_defpix_map (float mean image in)", whole, copy);
}

// Every 40th pixel of a 2000 × 2000 field lit: exactly 100000 outliers.
void many_outliers_stage()
{
    const int32_t width = 2000;
    const int32_t height = 2000;
    ImageBW image(width, height);
    for (int32_t i = 0; i < width * height; ++i) image.data()[i] = i % 40 == 0 ? 255 : 100;
    RunState state;
    const double seconds = best_time(
        [&] {
            state.img_accum.reset(new FloatMap(&image));
            state.img_count = 1;
            state.defpix_table.clear();
        },
        [&] { create_defpix_map(state); });
    report("create_defpix_map, 100000 outliers", seconds, 0);
    std::fprintf(stderr, "%-44s %9d\n", "  entries in the table", state.defpix_table.defpix_count());
}

void map_file_stages()
{
    DefpixTable table;
    for (int32_t i = 0; i < defpix_table_capacity; ++i)
        table.defpix_add(i * 37 % 5120, i / 20, i % 17 == 0 ? 4 : 0);

    const double save = best_time([] {}, [&] { save_defpix_map(table, map_file); });
    report("save_defpix_map, 100000 entries", save, 0);

    DefpixTable loaded;
    const double load = best_time([&] { loaded.clear(); }, [&] { load_defpix_map(loaded, map_file); });
    report("load_defpix_map, 100000 lines", load, 0);
    std::fprintf(stderr, "%-44s %9d\n", "  entries in the table", loaded.defpix_count());

    const double again = best_time([] {}, [&] { load_defpix_map(loaded, map_file); });
    report("load_defpix_map again, all duplicates", again, 0);
    std::remove(map_file);
}

void add_stage()
{
    DefpixTable table;
    const double seconds = best_time([&] { table.clear(); },
                                     [&] {
                                         for (int32_t i = 0; i < defpix_table_capacity; ++i)
                                             table.defpix_add(i % 300, i / 300, 0);
                                         for (int32_t i = 0; i < defpix_table_capacity; ++i)
                                             table.defpix_add(i % 300, i / 300, 0);
                                     });
    report("defpix_add 100000 new + 100000 present", seconds, 0);
}

}  // namespace

int main()
{
    if (!std::freopen(scratch_output, "w", stdout)) {
        std::fprintf(stderr, "cannot write %s\n", scratch_output);
        return 1;
    }
    std::fprintf(stderr, "best of %d runs\n", repeats);
    detection_stages();
    many_outliers_stage();
    map_file_stages();
    add_stage();
    std::fclose(stdout);
    std::remove(scratch_output);
    return 0;
}
