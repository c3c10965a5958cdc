// The whole main job without the camera, as a user runs it: one process of
// the built program, against reading every frame file twice.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "bench.h"

ChildRun run_child(const std::vector<std::string>& command, const std::string& folder,
                   const std::string& output)
{
    ChildRun run;
    std::vector<char*> argv;
    for (const std::string& arg : command) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    // Opened before the clock starts; the child only moves it into place.
    const int out = ::open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out < 0) return run;
    std::fflush(nullptr);

    const auto start = std::chrono::steady_clock::now();
    const pid_t child = ::fork();
    if (child == 0) {
        if (::chdir(folder.c_str()) != 0 || ::dup2(out, STDOUT_FILENO) < 0) ::_exit(127);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    int status = 0;
    struct rusage usage = {};
    const bool waited = child > 0 && ::wait4(child, &status, 0, &usage) == child;
    const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
    ::close(out);
    if (!waited) return run;
    run.ms = took.count();
    run.peak_kib = usage.ru_maxrss;  // KiB on Linux
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

ChildRun best_child_run(int repeats, const std::vector<std::string>& command,
                        const std::string& folder, const std::string& output,
                        const std::function<void()>& prepare)
{
    ChildRun best;
    for (int i = 0; i < repeats; ++i) {
        prepare();
        const ChildRun run = run_child(command, folder, output);
        if (i == 0 || run.ms < best.ms) best.ms = run.ms;
        if (run.peak_kib > best.peak_kib) best.peak_kib = run.peak_kib;
        if (i == 0 || run.status != 0) best.status = run.status;
    }
    return best;
}

namespace {

// Every byte of every file, in 1 MiB pieces into one buffer, nothing decoded.
void read_all(const std::vector<std::string>& paths, std::vector<char>& buffer)
{
    for (const std::string& path : paths) {
        FILE* file = std::fopen(path.c_str(), "rb");
        if (!file) continue;
        std::setvbuf(file, nullptr, _IONBF, 0);
        while (std::fread(buffer.data(), 1, buffer.size(), file) > 0) {
        }
        std::fclose(file);
    }
}

void run_job(BenchContext& context)
{
    const std::vector<std::string>& frames = context.frame_paths();
    std::vector<char> buffer(size_t(1) << 20);
    read_all(frames, buffer);  // into the page cache
    const double floor_ms = context.best_ms([&] {
        read_all(frames, buffer);
        read_all(frames, buffer);
    });

    // The files the job writes, and its log, which the program appends to
    // in its working folder.
    const std::vector<std::string> written = {
        context.path("job_defpix.map"), context.path("job_shading.map"),
        context.path("job_shaded.bmp"), context.path("Kervo_Dravelmonix.log")};
    std::vector<std::string> command = {context.program(), "--load_img"};
    command.insert(command.end(), frames.begin(), frames.end());
    command.insert(command.end(),
                   {"--create_defpix_map", "--save_defpix_map", written[0], "--load_img"});
    command.insert(command.end(), frames.begin(), frames.end());
    command.insert(command.end(), {"--create_shading_map", "--save_shading_map", written[1],
                                   "--apply_shading_map", frames.front(), written[2]});
    const std::string output = context.path("job_output.txt");
    const ChildRun job = best_child_run(context.repeats(), command, context.folder(), output, [&] {
        for (const std::string& path : written) std::remove(path.c_str());
    });

    if (job.status != 0)
        std::fprintf(bench_out(), "  THE JOB EXITED WITH %d (%s)\n", job.status,
                     context.program().c_str());
    context.report("the whole job, one process (16 frames)", job.ms, "read every frame file twice",
                   floor_ms);
    char peak[128];
    std::snprintf(peak, sizeof peak, "peak memory of the whole job: %.1f MiB",
                  static_cast<double>(job.peak_kib) / 1024.0);
    context.note(peak);
    for (const std::string& path : written) std::remove(path.c_str());
    std::remove(output.c_str());
}

}  // namespace

KD_BENCH_STAGE(job,
               "the program run as one process: load, detect, save, load, shading map, save, "
               "apply to a frame",
               run_job);
