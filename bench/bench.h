// The benchmark program's stages. An area adds a file bench_<area>.cpp with
// one or more stages:
//
//     static void run_my_stage(BenchContext& context) { ... }
//     KD_BENCH_STAGE(my_stage, "what it measures", run_my_stage);
//
// and kd_bench runs it by name (or with all the others).
#pragma once

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

class BenchContext {
public:
    BenchContext(std::string folder, int repeats) : folder_(std::move(folder)), repeats_(repeats) {}

    // A folder for the stage's files, meant for files in the page cache.
    const std::string& folder() const { return folder_; }
    std::string path(const std::string& name) const { return folder_ + "/" + name; }
    int repeats() const { return repeats_; }

    // Runs `work` repeats() times and returns the fastest run in milliseconds.
    double best_ms(const std::function<void()>& work) const
    {
        double best = 0.0;
        for (int i = 0; i < repeats_; ++i) {
            const auto start = std::chrono::steady_clock::now();
            work();
            const std::chrono::duration<double, std::milli> took =
                std::chrono::steady_clock::now() - start;
            if (i == 0 || took.count() < best) best = took.count();
        }
        return best;
    }

    void report(const char* label, double ms) const { std::printf("  %-44s %9.1f ms\n", label, ms); }

private:
    std::string folder_;
    int repeats_;
};

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
