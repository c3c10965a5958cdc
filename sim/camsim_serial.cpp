// camsim-serial: the simulated camera at the far end of a real serial line.
// It answers the register text protocol from the same camera model and
// non-volatile store (CAMSIM_CONFIG, CAMSIM_STATE) as camsim.cti and
// clsersim, on a serial device or on a pseudo-terminal it makes itself.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "camera_model.h"
#include "serial_line.h"
#include "serial_protocol.h"
#include "sim_config.h"

namespace {

const char usage[] =
    "usage: camsim-serial (--pty | --device NAME) [--baud N] [--exit-after SECONDS]\n"
    "  --pty           make a pseudo-terminal and print the name of the end a program opens\n"
    "  --device NAME   serve on a serial device (/dev/ttyUSB0, COM3)\n"
    "  --baud N        the device's rate, 9600 unless given\n"
    "  --exit-after S  stop after S seconds; without it, serve until the line goes\n";

struct Options {
    bool pty = false;
    std::string device;
    uint32_t baud = 9600;
    long exit_after_s = -1;
};

bool parse_number(const char* text, long& value)
{
    if (!*text || std::strspn(text, "0123456789") != std::strlen(text) || std::strlen(text) > 9)
        return false;
    value = std::strtol(text, nullptr, 10);
    return true;
}

bool parse_options(int argc, char** argv, Options& options)
{
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        long number = 0;
        if (option == "--pty") {
            options.pty = true;
        } else if (option == "--device" && value) {
            options.device = value;
            ++i;
        } else if (option == "--baud" && value && parse_number(value, number) && number > 0) {
            options.baud = static_cast<uint32_t>(number);
            ++i;
        } else if (option == "--exit-after" && value && parse_number(value, number)) {
            options.exit_after_s = number;
            ++i;
        } else {
            return false;
        }
    }
    return options.pty != !options.device.empty();
}

std::unique_ptr<clsertty::SerialLine> open_line(const Options& options)
{
    if (options.pty) {
        std::string other_end;
        std::string reason;
        std::unique_ptr<clsertty::SerialLine> line =
            clsertty::SerialLine::open_pseudo_terminal(other_end, reason);
        if (!line) {
            std::fprintf(stderr, "camsim-serial: no pseudo-terminal: %s\n", reason.c_str());
            return nullptr;
        }
        // The one line on standard output: whoever started us reads it.
        std::printf("%s\n", other_end.c_str());
        std::fflush(stdout);
        return line;
    }
    clsertty::OpenProblem problem;
    std::unique_ptr<clsertty::SerialLine> line =
        clsertty::SerialLine::open(options.device, options.baud, problem);
    if (!line)
        std::fprintf(stderr, "camsim-serial: cannot open %s: %s\n", options.device.c_str(),
                     problem.reason.c_str());
    return line;
}

// False once the line has gone. A reply nobody takes within a second is
// dropped, as a camera's would be.
bool send(clsertty::SerialLine& line, const std::string& bytes)
{
    size_t sent = 0;
    while (sent < bytes.size()) {
        const int32_t put =
            line.write(bytes.data() + sent, static_cast<uint32_t>(bytes.size() - sent), 1000);
        if (put < 0) return false;
        if (put == 0) return true;
        sent += static_cast<size_t>(put);
    }
    return true;
}

class TimeLimit {
public:
    explicit TimeLimit(long limit_s)
        : limited_(limit_s >= 0),
          end_(std::chrono::steady_clock::now() + std::chrono::seconds(limit_s < 0 ? 0 : limit_s))
    {
    }

    // How long the next read may wait: a short slice, so the limit is kept.
    uint32_t next_wait_ms() const
    {
        if (!limited_) return 1000;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            end_ - std::chrono::steady_clock::now());
        if (left.count() <= 0) return 0;
        return left.count() < 200 ? static_cast<uint32_t>(left.count()) : 200;
    }

    bool over() const { return limited_ && std::chrono::steady_clock::now() >= end_; }

private:
    bool limited_;
    std::chrono::steady_clock::time_point end_;
};

void serve(clsertty::SerialLine& line, const camsim::SimConfig& config, camsim::CameraModel& camera,
           const TimeLimit& limit)
{
    camsim::RequestLine request;
    char buffer[256];
    while (!limit.over()) {
        const int32_t got = line.read(buffer, sizeof buffer, limit.next_wait_ms());
        if (got < 0) {
            std::fprintf(stderr, "camsim-serial: the line has gone\n");
            return;
        }
        std::string replies;
        std::string text;
        for (int32_t i = 0; i < got; ++i) {
            std::string reply;
            if (!request.take(buffer[i], text)) continue;
            if (camsim::answer_request(text, config, camera, reply)) replies += reply + "\r\n";
        }
        if (!replies.empty() && !send(line, replies)) {
            std::fprintf(stderr, "camsim-serial: the line has gone\n");
            return;
        }
    }
}

}  // namespace

int main(int argc, char** argv)
{
    Options options;
    if (!parse_options(argc, argv, options)) {
        std::fputs(usage, stderr);
        return 2;
    }
    const camsim::SimConfig config = camsim::load_sim_config();
    if (camsim::report_config_problems(config, "camsim-serial")) return 2;
    std::unique_ptr<clsertty::SerialLine> line = open_line(options);
    if (!line) return 1;
    camsim::CameraModel camera(config, camsim::state_file_from_environment());
    serve(*line, config, camera, TimeLimit(options.exit_after_s));
    return 0;
}
