// The benchmark program's stages. An area adds a file bench_<area>.cpp with
// one or more stages:
//
//     static void run_my_stage(BenchContext& context) { ... }
//     KD_BENCH_STAGE(my_stage, "what it measures", run_my_stage);
//
// and kd_bench runs it by name (or with all the others). A stage measures
// the program's own functions and a floor in the same run (the least any
// program must spend on the same bytes), and reports each figure as a row of
// the table: its time and its ratio to the floor.
//
// The program's functions print their console messages on standard output,
// which kd_bench sends to a scratch file; the report goes to standard error.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "correction/defpix.h"
#include "correction/defpix_detect.h"
#include "lib/float_map.h"
#include "lib/image_sum.h"

class FloatMap;
class DefpixTable;

// What the benchmarked commands read and change of a run.
struct BenchState {
    ImageSum img_accum;
    DefpixTable defpix_table;
    DetectionSettings detection;
    std::unique_ptr<FloatMap> shading_map;
};

// A copy of a sum of the 16 frames, as --load_img leaves it.
ImageSum copy_of_frames(const FloatMap& sum);
// What a map creation works on, as the commands take it: the mean of the
// accumulated images, which are consumed.
MeanImage take_mean_image(BenchState& state);

// Where the figures go: standard output carries the program's messages.
FILE* bench_out();

struct BenchRow {
    std::string stage;
    double ms;
    std::string floor;  // empty: a figure without a floor
    double floor_ms;
};

// Files and figures that several stages share, made when first asked for.
struct BenchShared;

class BenchContext {
public:
    BenchContext(std::string folder, int repeats);
    ~BenchContext();
    BenchContext(const BenchContext&) = delete;
    BenchContext& operator=(const BenchContext&) = delete;

    // A folder for the stage's files, meant for files in the page cache.
    const std::string& folder() const { return folder_; }
    std::string path(const std::string& name) const { return folder_ + "/" + name; }
    int repeats() const { return repeats_; }

    // Runs `work` repeats() times and returns the fastest run in
    // milliseconds; `prepare` runs untimed before each run.
    double best_ms(const std::function<void()>& work) const;
    double best_ms(const std::function<void()>& prepare, const std::function<void()>& work) const;
    // As best_ms for work that writes the file `path`, removed (untimed)
    // before each run: a file system may flush a file that is truncated and
    // written again, or renamed over, at once, and every run after the first
    // would measure that flush instead.
    double best_ms_writing(const std::string& path, const std::function<void()>& work) const;

    // A row of the table, printed at once and again in the summary.
    void report(const std::string& stage, double ms, const std::string& floor = "",
                double floor_ms = 0.0);
    const std::vector<BenchRow>& rows() const { return rows_; }
    // A line printed at once and again below the summary table.
    void note(const std::string& text);
    const std::vector<std::string>& notes() const { return notes_; }

    // The program kd_bench measures as a whole: Kervo_Dravelmonix beside
    // kd_bench unless --program names another.
    const std::string& program() const { return program_; }
    void set_program(const std::string& path) { program_ = path; }

    // The 16 camera frames of 5120 x 5120 (8-bit BMP files) that the stages
    // work on: an evenly lit scene with vignetting, noise, hot and dead
    // pixels and one bright column. Written on first use, removed at the end.
    const std::vector<std::string>& frame_paths();
    // Their sum, as --load_img leaves it.
    const FloatMap& frame_sum();
    // One plain copy of a 5120 x 5120 8-bit image: the floor of the image stages.
    double image_copy_ms();
    // A defect table of 100000 entries spread over a 5120 x 5120 image, every
    // thousandth a column.
    const DefpixTable& full_defpix_table();

    // The file floors: all of a file's bytes read with one fread, or written
    // with one fwrite, through plain stdio.
    double read_bytes_ms(const std::string& path) const;
    double write_bytes_ms(size_t bytes) const;

private:
    std::string folder_;
    int repeats_;
    std::vector<BenchRow> rows_;
    std::vector<std::string> notes_;
    std::string program_;
    std::unique_ptr<BenchShared> shared_;
};

constexpr int32_t bench_frame_side = 5120;
constexpr int bench_frame_count = 16;

// What a child process took.
struct ChildRun {
    double ms = 0.0;
    // Its peak resident memory, in KiB.
    long peak_kib = 0;
    // Its exit status; -1 when it could not be started or did not exit.
    int status = -1;
};

// Runs `command` (a program and its arguments, no shell) as a child process
// in `folder`, its standard output into the file `output` and its standard
// error into the bench's, and waits for it. The time runs from just before
// the child is made until it has been waited for. The child is made by the
// launcher, when one was started, so that its peak memory is its own.
ChildRun run_child(const std::vector<std::string>& command, const std::string& folder,
                   const std::string& output);

// The launcher: started by kd_bench before it holds anything large, and
// stopped at its end.
void start_child_launcher();
void stop_child_launcher();

// The fastest of `repeats` runs of run_child, with the largest peak memory
// and the last status that was not 0 (or 0); `prepare` runs untimed before
// each run.
ChildRun best_child_run(int repeats, const std::vector<std::string>& command,
                        const std::string& folder, const std::string& output,
                        const std::function<void()>& prepare);

// "peak memory of <what>: N MiB", for a note below the table.
std::string peak_note(const char* what, const ChildRun& run);

// The size of a file, 0 when it cannot be read.
size_t bench_file_size(const std::string& path);

struct BenchStage {
    const char* name;
    const char* about;
    void (*run)(BenchContext& context);
};

// All stages of the program, in link order.
std::vector<BenchStage>& bench_stages();

struct BenchStageRegistration {
    explicit BenchStageRegistration(const BenchStage& stage) { bench_stages().push_back(stage); }
};

#define KD_BENCH_STAGE(name, about, function) \
    static BenchStageRegistration bench_stage_##name({#name, about, function})
