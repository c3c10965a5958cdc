// kd_bench [--dir <folder>] [--repeats <n>] [--threads <n>] [--program <path>] [--list]
//          [<stage>...]
// Runs the named stages, or every stage when none is named, and prints the
// table of figures on standard error.
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "bench.h"
#include "lib/parallel.h"

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

void list_stages(FILE* out)
{
    for (const BenchStage& stage : bench_stages())
        std::fprintf(out, "%-16s %s\n", stage.name, stage.about);
}

void print_summary(const BenchContext& context)
{
    FILE* out = bench_out();
    std::fprintf(out, "\nsummary, best of %d runs\n", context.repeats());
    std::fprintf(out, "| %-46s | %10s | %8s | %-34s | %10s |\n", "stage", "time", "ratio", "floor",
                 "floor time");
    std::fprintf(out, "|%s|%s|%s|%s|%s|\n", std::string(48, '-').c_str(),
                 std::string(12, '-').c_str(), std::string(10, '-').c_str(),
                 std::string(36, '-').c_str(), std::string(12, '-').c_str());
    for (const BenchRow& row : context.rows()) {
        if (row.floor.empty()) {
            std::fprintf(out, "| %-46s | %7.2f ms | %8s | %-34s | %10s |\n", row.stage.c_str(),
                         row.ms, "", "", "");
        } else {
            std::fprintf(out, "| %-46s | %7.2f ms | %6.2f x | %-34s | %7.2f ms |\n",
                         row.stage.c_str(), row.ms, row.ms / row.floor_ms, row.floor.c_str(),
                         row.floor_ms);
        }
    }
    for (const std::string& note : context.notes()) std::fprintf(out, "\n%s\n", note.c_str());
}

// Kervo_Dravelmonix in kd_bench's own folder.
std::string program_beside(const char* argv0)
{
    std::error_code error;
    std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) self = std::filesystem::absolute(argv0, error);
    return (self.parent_path() / "Kervo_Dravelmonix").string();
}

struct BenchOptions {
    std::string folder;
    int repeats = 5;
    std::string program;
    std::vector<const BenchStage*> chosen;
};

// The options, every stage when none is named; an exit status when the run
// ends here (a listing, an unknown stage).
std::optional<int> parse_options(int argc, char** argv, BenchOptions& options)
{
    // A folder of this run's own, so runs side by side do not share files.
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    options.folder =
        (std::filesystem::temp_directory_path() / ("kd_bench_" + std::to_string(stamp))).string();
    options.program = program_beside(argv[0]);
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--dir" && i + 1 < argc) {
            options.folder = argv[++i];
        } else if (arg == "--repeats" && i + 1 < argc) {
            options.repeats = std::max(1, std::atoi(argv[++i]));
        } else if (arg == "--threads" && i + 1 < argc) {
            set_parallel_parts(std::max(1, std::atoi(argv[++i])));
        } else if (arg == "--program" && i + 1 < argc) {
            options.program = std::filesystem::absolute(argv[++i]).string();
        } else if (arg == "--list") {
            list_stages(stdout);
            return 0;
        } else if (const BenchStage* stage = find_stage(arg)) {
            options.chosen.push_back(stage);
        } else {
            std::printf("unknown stage '%s'; stages:\n", arg.c_str());
            list_stages(stdout);
            return 2;
        }
    }
    if (options.chosen.empty())
        for (const BenchStage& stage : bench_stages()) options.chosen.push_back(&stage);
    return std::nullopt;
}

void run_stages(const BenchOptions& options)
{
    start_child_launcher();
    {
        BenchContext context(options.folder, options.repeats);
        context.set_program(options.program);
        std::fprintf(bench_out(), "kd_bench in %s, best of %d runs, %d thread(s)\n",
                     options.folder.c_str(), options.repeats, parallel_parts());
        for (const BenchStage* stage : options.chosen) {
            std::fprintf(bench_out(), "%s: %s\n", stage->name, stage->about);
            stage->run(context);
        }
        print_summary(context);
    }
    stop_child_launcher();
}

}  // namespace

int main(int argc, char** argv)
{
    BenchOptions options;
    if (const std::optional<int> status = parse_options(argc, argv, options)) return *status;
    std::error_code error;
    const bool made_folder = std::filesystem::create_directories(options.folder, error);
    if (error) {
        std::printf("cannot make the folder %s\n", options.folder.c_str());
        return 1;
    }
    // The functions measured print as the program does; their messages go
    // here, so they neither mix with the figures nor wait on a terminal.
    const std::string messages = options.folder + "/program_messages.txt";
    if (!std::freopen(messages.c_str(), "w", stdout)) {
        std::fprintf(bench_out(), "cannot write %s\n", messages.c_str());
        return 1;
    }
    run_stages(options);
    std::fclose(stdout);
    std::remove(messages.c_str());
    // Stages remove their own files; an emptied folder of ours goes too.
    if (made_folder) std::filesystem::remove(options.folder, error);
    return 0;
}
