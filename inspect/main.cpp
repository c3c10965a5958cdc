// kd-inspect: whether a calibration is good, whether two maps are the same,
// and a defect map with its bad columns folded. Reuses the program's own
// reading, detection, correction and map file code.
#include <cstdio>
#include <new>
#include <string>
#include <vector>

#include "command_line.h"
#include "fold_columns.h"
#include "grab.h"
#include "map_diff.h"
#include "report.h"

namespace {

const char* const version_text = "kd-inspect " KD_VERSION "\n";

const char* const usage_text =
    "usage: kd-inspect report FRAME.bmp... [--defpix MAP.txt] [--shading MAP.txt]\n"
    "                         [--threshold T] [--width W] [--out DIR]\n"
    "                         [--require KEY<=LIMIT]...\n"
    "       kd-inspect grab --cti PRODUCER [--if INTERFACE] [--device DEVICE] --frames N\n"
    "                       --out DIR [--timeout-ms T] [--replace]\n"
    "       kd-inspect diff A.txt B.txt [--ignore-columns]\n"
    "       kd-inspect fold-columns IN.txt OUT.txt --height H [--min-fraction F]\n"
    "       kd-inspect --help | --version\n"
    "\n"
    "grab          takes frames from a GenTL camera into DIR as 8-bit BMP files\n"
    "report        judges a calibration: the frames it was made from and its maps, as\n"
    "              report.html, metrics.json and pictures in DIR (default kd-report);\n"
    "              exit status 1 when a requirement fails\n"
    "diff          compares two defect maps or two shading maps; exit status 1 when\n"
    "              they differ\n"
    "fold-columns  rewrites a defect map with one column entry for each column that is\n"
    "              mostly bad pixels\n"
    "\n"
    "kd-inspect COMMAND --help tells more of each.\n";

const char* const report_usage =
    "usage: kd-inspect report FRAME.bmp... [--defpix MAP.txt] [--shading MAP.txt]\n"
    "                         [--threshold T] [--width W] [--out DIR]\n"
    "                         [--require KEY<=LIMIT]...\n"
    "\n"
    "Reads the frames a calibration was made from (those given to --load_img) and\n"
    "the defect map and/or shading map it made, and writes report.html,\n"
    "metrics.json, gains.png, defects.png, profiles.svg and deviation.svg into DIR.\n"
    "\n"
    "  --defpix MAP.txt   the defect map\n"
    "  --shading MAP.txt  the shading map\n"
    "  --threshold T      detection threshold in grey levels (default 16)\n"
    "  --width W          detection window in pixels (default 128)\n"
    "  --out DIR          the report's folder, made if missing (default kd-report)\n"
    "  --require KEY<=LIMIT\n"
    "                     a requirement on a figure of metrics.json, compared as\n"
    "                     written there; also >=, <, > and ==; repeatable. A figure\n"
    "                     without a value (null) fails it. The report is written\n"
    "                     all the same, with the verdict first on the page, in\n"
    "                     metrics.json and at the end of the summary.\n"
    "\n"
    "Exit status: 0 done and every requirement holds, 1 done and a requirement\n"
    "fails, 2 bad usage or input (nothing written).\n";

const char* const grab_usage =
    "usage: kd-inspect grab --cti PRODUCER [--if INTERFACE] [--device DEVICE] --frames N\n"
    "                       --out DIR [--timeout-ms T] [--replace]\n"
    "\n"
    "Takes N frames from a camera through its GenTL producer (a .cti file) and\n"
    "writes them as DIR/frame_0001.bmp ... (8-bit BMP files, each replaced whole),\n"
    "for Kervo_Dravelmonix --load_img and kd-inspect report. Mono8 frames are\n"
    "written as they come; Mono10, Mono12, Mono16 and Mono12Packed keep their top\n"
    "8 bits; other formats are refused. Incomplete frames are skipped and counted.\n"
    "A camera on a Camera Link serial line delivers no frames this way: grab\n"
    "through the GenTL producer of its frame grabber.\n"
    "\n"
    "  --cti PRODUCER     the GenTL producer library\n"
    "  --if INTERFACE     its interface (default: the first that lists a device)\n"
    "  --device DEVICE    the device on it (default: the first)\n"
    "  --frames N         how many frames, 1 to 9999\n"
    "  --out DIR          the folder, made if missing; one that already holds\n"
    "                     frame_*.bmp files is refused\n"
    "  --timeout-ms T     how long to wait for each frame (default 5000)\n"
    "  --replace          remove the folder's frame_*.bmp files first\n";

const char* const diff_usage =
    "usage: kd-inspect diff A.txt B.txt [--ignore-columns]\n"
    "\n"
    "Compares two defect maps (pixels by position, columns by x) or two shading\n"
    "maps (gains as the camera stores them). Prints \"identical\" and exits 0, or\n"
    "the differences and exits 1.\n"
    "\n"
    "  --ignore-columns   compare the pixel entries only, as for a map read back\n"
    "                     from a camera, which holds no columns\n";

const char* const fold_usage =
    "usage: kd-inspect fold-columns IN.txt OUT.txt --height H [--min-fraction F]\n"
    "\n"
    "Writes IN's defect map to OUT with every column that holds at least F x H\n"
    "pixel entries as one column entry.\n"
    "\n"
    "  --height H         the sensor's height in pixels\n"
    "  --min-fraction F   the share of a column that makes it a bad column, above 0\n"
    "                     and at most 1 (default 0.5)\n";

int usage_error(const std::string& command, const std::string& message)
{
    std::fprintf(stderr, "kd-inspect%s%s: %s (see kd-inspect%s%s --help)\n",
                 command.empty() ? "" : " ", command.c_str(), message.c_str(),
                 command.empty() ? "" : " ", command.c_str());
    return 2;
}

int help(const char* text)
{
    std::fputs(text, stdout);
    return 0;
}

int report_command(const std::vector<std::string>& args)
{
    ParsedArguments parsed;
    std::string error;
    const std::vector<OptionRule> rules = {{"--defpix", true},    {"--shading", true},
                                           {"--threshold", true}, {"--width", true},
                                           {"--out", true},       {"--require", true, true}};
    if (!parse_arguments(args, 2, rules, parsed, error)) return usage_error("report", error);
    if (parsed.help) return help((report_usage + requirement_keys_help()).c_str());
    ReportOptions options;
    options.frames = parsed.files;
    if (options.frames.empty()) return usage_error("report", "no FRAME.bmp given");
    if (parsed.values.count("--defpix")) options.defect_map = parsed.values["--defpix"];
    if (parsed.values.count("--shading")) options.shading_map = parsed.values["--shading"];
    if (parsed.values.count("--out")) options.out_dir = parsed.values["--out"];
    if (parsed.values.count("--threshold") &&
        !parse_whole_number(parsed.values["--threshold"], INT32_MIN, INT32_MAX, options.threshold))
        return usage_error("report", "--threshold takes a whole number");
    if (parsed.values.count("--width") &&
        !parse_whole_number(parsed.values["--width"], 1, INT32_MAX, options.window))
        return usage_error("report", "--width takes a whole number of 1 or more");
    if (options.out_dir.empty()) return usage_error("report", "--out takes a folder name");
    for (const std::string& text : parsed.lists["--require"]) {
        options.requirements.emplace_back();
        if (!parse_requirement(text, options.requirements.back(), error))
            return usage_error("report", "--require " + error);
    }
    return run_report(options);
}

int grab_command(const std::vector<std::string>& args)
{
    ParsedArguments parsed;
    std::string error;
    const std::vector<OptionRule> rules = {
        {"--cti", true}, {"--if", true},         {"--device", true},  {"--frames", true},
        {"--out", true}, {"--timeout-ms", true}, {"--replace", false}};
    if (!parse_arguments(args, 2, rules, parsed, error)) return usage_error("grab", error);
    if (parsed.help) return help(grab_usage);
    if (!parsed.files.empty()) return usage_error("grab", "unexpected " + parsed.files[0]);
    GrabOptions options;
    if (!parsed.values.count("--cti")) return usage_error("grab", "--cti not given");
    options.producer = parsed.values["--cti"];
    options.interface_id = parsed.values["--if"];
    options.device_id = parsed.values["--device"];
    if (!parsed.values.count("--frames")) return usage_error("grab", "--frames not given");
    if (!parse_whole_number(parsed.values["--frames"], 1, 9999, options.frames))
        return usage_error("grab", "--frames takes a whole number from 1 to 9999");
    options.out_dir = parsed.values["--out"];
    if (options.out_dir.empty()) return usage_error("grab", "--out takes a folder name");
    if (parsed.values.count("--timeout-ms") &&
        !parse_whole_number(parsed.values["--timeout-ms"], 1, INT32_MAX, options.timeout_ms))
        return usage_error("grab", "--timeout-ms takes a whole number of 1 or more");
    options.replace = parsed.flags.count("--replace") != 0;
    return run_grab(options);
}

int diff_command(const std::vector<std::string>& args)
{
    ParsedArguments parsed;
    std::string error;
    if (!parse_arguments(args, 2, {{"--ignore-columns", false}}, parsed, error))
        return usage_error("diff", error);
    if (parsed.help) return help(diff_usage);
    if (parsed.files.size() < 2)
        return usage_error("diff",
                           parsed.files.empty() ? "A.txt and B.txt not given" : "B.txt not given");
    if (parsed.files.size() > 2)
        return usage_error("diff", "more than two maps given: " + parsed.files[2]);
    DiffOptions options{parsed.files[0], parsed.files[1],
                        parsed.flags.count("--ignore-columns") != 0};
    return run_diff(options);
}

int fold_command(const std::vector<std::string>& args)
{
    ParsedArguments parsed;
    std::string error;
    if (!parse_arguments(args, 2, {{"--height", true}, {"--min-fraction", true}}, parsed, error))
        return usage_error("fold-columns", error);
    if (parsed.help) return help(fold_usage);
    if (parsed.files.size() < 2)
        return usage_error("fold-columns", parsed.files.empty() ? "IN.txt and OUT.txt not given"
                                                                : "OUT.txt not given");
    if (parsed.files.size() > 2)
        return usage_error("fold-columns", "more than two files given: " + parsed.files[2]);
    FoldOptions options;
    options.in = parsed.files[0];
    options.out = parsed.files[1];
    if (!parsed.values.count("--height")) return usage_error("fold-columns", "--height not given");
    if (!parse_whole_number(parsed.values["--height"], 1, INT32_MAX, options.height))
        return usage_error("fold-columns", "--height takes a whole number of 1 or more");
    if (parsed.values.count("--min-fraction") &&
        !parse_decimal(parsed.values["--min-fraction"], 0.0, 1.0, options.min_fraction))
        return usage_error("fold-columns", "--min-fraction takes a number above 0 and at most 1");
    return run_fold_columns(options);
}

using CommandRunner = int (*)(const std::vector<std::string>&);

CommandRunner command_named(const std::string& command)
{
    if (command == "report") return report_command;
    if (command == "grab") return grab_command;
    if (command == "diff") return diff_command;
    if (command == "fold-columns") return fold_command;
    return nullptr;
}

}  // namespace

int main(int argc, char** argv)
{
    const std::vector<std::string> args(argv, argv + argc);
    if (args.size() < 2) return usage_error("", "no command given");
    const std::string& command = args[1];
    if (command == "--help" || command == "-h") return help(usage_text);
    if (command == "--version") return help(version_text);
    const CommandRunner run = command_named(command);
    if (!run) {
        if (!command.empty() && command[0] == '-')
            return usage_error("", "unknown option " + command);
        return usage_error("", "unknown command " + command);
    }
    // The one place running out of memory ends up: every command's own
    // objects (an open camera too) have been released on the way here.
    try {
        return run(args);
    } catch (const std::bad_alloc&) {
        std::fflush(stdout);
        std::fprintf(stderr, "kd-inspect %s: out of memory\n", command.c_str());
        return 2;
    }
}
