// kd_bench [--dir <folder>] [--repeats <n>] [--list] [<stage>...]
// Runs the named stages, or every stage when none is named.
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "bench.h"

std::vector<BenchStage>& bench_stages()
{
    static std::vector<BenchStage> stages;
    return stages;
}

namespace {

const BenchStage* find_stage(const std::string& name)
{
    for (const BenchStage& stage : bench_stages())
        if (name == stage.name) return &stage;
    return nullptr;
}

void list_stages()
{
    for (const BenchStage& stage : bench_stages()) std::printf("%-20s %s\n", stage.name, stage.about);
}

}  // namespace

int main(int argc, char** argv)
{
    // A folder of this run's own, so runs side by side do not share files.
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    std::string folder =
        (std::filesystem::temp_directory_path() / ("kd_bench_" + std::to_string(stamp))).string();
    int repeats = 5;
    std::vector<const BenchStage*> chosen;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--dir" && i + 1 < argc) {
            folder = argv[++i];
        } else if (arg == "--repeats" && i + 1 < argc) {
            repeats = std::max(1, std::atoi(argv[++i]));
        } else if (arg == "--list") {
            list_stages();
            return 0;
        } else if (const BenchStage* stage = find_stage(arg)) {
            chosen.push_back(stage);
        } else {
            std::printf("unknown stage '%s'; stages:\n", arg.c_str());
            list_stages();
            return 2;
        }
    }
    if (chosen.empty())
        for (const BenchStage& stage : bench_stages()) chosen.push_back(&stage);

    const bool made_folder = std::filesystem::create_directories(folder);
    BenchContext context(folder, repeats);
    for (const BenchStage* stage : chosen) {
        std::printf("%s: %s\n", stage->name, stage->about);
        std::fflush(stdout);
        stage->run(context);
    }
    // Stages remove their own files; an emptied folder of ours goes too.
    std::error_code ignored;
    if (made_folder) std::filesystem::remove(folder, ignored);
    return 0;
}
