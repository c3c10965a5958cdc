// The whole main job without the camera, as a user runs it: one process of
// the built program, against reading every frame file twice.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "bench.h"

namespace {

// Makes the child, in `folder`, its standard output into `out`, and waits
// for it.
ChildRun spawn_and_wait(const std::vector<std::string>& command, const std::string& folder, int out)
{
    ChildRun run;
    std::vector<char*> argv;
    for (const std::string& arg : command) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
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
    if (!waited) return run;
    run.ms = took.count();
    run.peak_kib = usage.ru_maxrss;  // KiB on Linux
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

// A child's peak memory counts the pages it shared with its parent between
// fork and exec, so children are made by a launcher: a copy of kd_bench made
// at its start, before it holds frames or sums, that makes each child and
// sends back what it took. Requests and answers go through two pipes.
struct Launcher {
    pid_t pid = -1;
    int requests = -1;
    int answers = -1;
};

Launcher launcher;

bool write_all(int fd, const void* bytes, size_t size)
{
    const char* p = static_cast<const char*>(bytes);
    while (size > 0) {
        const ssize_t n = ::write(fd, p, size);
        if (n <= 0) return false;
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool read_all(int fd, void* bytes, size_t size)
{
    char* p = static_cast<char*>(bytes);
    while (size > 0) {
        const ssize_t n = ::read(fd, p, size);
        if (n <= 0) return false;
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool write_text(int fd, const std::string& text)
{
    const uint32_t size = static_cast<uint32_t>(text.size());
    return write_all(fd, &size, sizeof size) && write_all(fd, text.data(), text.size());
}

bool read_text(int fd, std::string& text)
{
    uint32_t size = 0;
    if (!read_all(fd, &size, sizeof size)) return false;
    text.assign(size, '\0');
    return read_all(fd, &text[0], size);
}

// The launcher's loop: a request is the folder, the output file and the
// command line; the answer is the ChildRun.
void serve(int requests, int answers)
{
    for (;;) {
        std::string folder;
        std::string output;
        std::string count_text;
        if (!read_text(requests, folder) || !read_text(requests, output) ||
            !read_text(requests, count_text))
            return;
        std::vector<std::string> command(std::stoul(count_text));
        for (std::string& arg : command)
            if (!read_text(requests, arg)) return;
        ChildRun run;
        const int out = ::open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (out >= 0) {
            run = spawn_and_wait(command, folder, out);
            ::close(out);
        }
        if (!write_all(answers, &run, sizeof run)) return;
    }
}

}  // namespace

void start_child_launcher()
{
    int requests[2];
    int answers[2];
    if (::pipe(requests) != 0) return;
    if (::pipe(answers) != 0) {
        ::close(requests[0]);
        ::close(requests[1]);
        return;
    }
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(requests[1]);
        ::close(answers[0]);
        serve(requests[0], answers[1]);
        ::_exit(0);
    }
    ::close(requests[0]);
    ::close(answers[1]);
    if (pid < 0) {
        ::close(requests[1]);
        ::close(answers[0]);
        return;
    }
    launcher = Launcher{pid, requests[1], answers[0]};
}

void stop_child_launcher()
{
    if (launcher.pid < 0) return;
    ::close(launcher.requests);
    ::close(launcher.answers);
    int status = 0;
    ::waitpid(launcher.pid, &status, 0);
    launcher = Launcher();
}

ChildRun run_child(const std::vector<std::string>& command, const std::string& folder,
                   const std::string& output)
{
    if (launcher.pid < 0) {
        // Without a launcher the peak also counts kd_bench's own pages.
        ChildRun run;
        const int out = ::open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (out < 0) return run;
        std::fflush(nullptr);
        run = spawn_and_wait(command, folder, out);
        ::close(out);
        return run;
    }
    ChildRun run;
    bool sent = write_text(launcher.requests, folder) && write_text(launcher.requests, output) &&
                write_text(launcher.requests, std::to_string(command.size()));
    for (const std::string& arg : command) sent = sent && write_text(launcher.requests, arg);
    if (!sent || !read_all(launcher.answers, &run, sizeof run)) return ChildRun();
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

// The files the job writes, and its log, which the program appends to in its
// working folder.
struct JobFiles {
    std::string defpix_map;
    std::string shading_map;
    std::string shaded;
    std::string log;

    std::vector<std::string> all() const { return {defpix_map, shading_map, shaded, log}; }
    void remove() const
    {
        for (const std::string& path : all()) std::remove(path.c_str());
    }
};

JobFiles job_files(const BenchContext& context)
{
    return JobFiles{context.path("job_defpix.map"), context.path("job_shading.map"),
                    context.path("job_shaded.bmp"), context.path("Kervo_Dravelmonix.log")};
}

std::vector<std::string> job_command(BenchContext& context, const JobFiles& files)
{
    const std::vector<std::string>& frames = context.frame_paths();
    std::vector<std::string> command = {context.program(), "--load_img"};
    command.insert(command.end(), frames.begin(), frames.end());
    command.insert(command.end(),
                   {"--create_defpix_map", "--save_defpix_map", files.defpix_map, "--load_img"});
    command.insert(command.end(), frames.begin(), frames.end());
    command.insert(command.end(), {"--create_shading_map", "--save_shading_map", files.shading_map,
                                   "--apply_shading_map", frames.front(), files.shaded});
    return command;
}

ChildRun best_job_run(BenchContext& context, const JobFiles& files)
{
    const std::string output = context.path("job_output.txt");
    const ChildRun job = best_child_run(context.repeats(), job_command(context, files),
                                        context.folder(), output, [&] { files.remove(); });
    std::remove(output.c_str());
    if (job.status != 0)
        std::fprintf(bench_out(), "  THE JOB EXITED WITH %d (%s)\n", job.status,
                     context.program().c_str());
    return job;
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
    const JobFiles files = job_files(context);
    const ChildRun job = best_job_run(context, files);
    context.report("the whole job, one process (16 frames)", job.ms, "read every frame file twice",
                   floor_ms);
    context.note(peak_note("the whole job", job));
    files.remove();
}

// kd-inspect's report on the job's frames and the two maps it made, against
// the job itself in the same run.
void run_report(BenchContext& context)
{
    const std::vector<std::string>& frames = context.frame_paths();
    const JobFiles files = job_files(context);
    const ChildRun job = best_job_run(context, files);
    const std::string inspect =
        std::filesystem::path(context.program()).replace_filename("kd-inspect").string();
    std::vector<std::string> command = {inspect, "report"};
    command.insert(command.end(), frames.begin(), frames.end());
    command.insert(command.end(), {"--defpix", files.defpix_map, "--shading", files.shading_map,
                                   "--out", context.path("report")});
    const std::string output = context.path("report_output.txt");
    const ChildRun report =
        best_child_run(context.repeats(), command, context.folder(), output, [] {});
    if (report.status != 0)
        std::fprintf(bench_out(), "  KD-INSPECT EXITED WITH %d (%s)\n", report.status,
                     inspect.c_str());
    context.report("kd-inspect report, 16 frames, both maps", report.ms,
                   "the whole job, one process", job.ms);
    context.note(peak_note("kd-inspect report", report));
    files.remove();
    std::remove(output.c_str());
    std::filesystem::remove_all(context.path("report"));
}

}  // namespace

KD_BENCH_STAGE(job,
               "the program run as one process: load, detect, save, load, shading map, save, "
               "apply to a frame",
               run_job);
KD_BENCH_STAGE(report, "kd-inspect report on the job's frames and maps, against the job",
               run_report);
