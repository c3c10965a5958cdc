#include "commands/command_table.h"

#include <optional>
#include <string>
#include <vector>

#include "camera/map_transfer.h"
#include "commands/run_state.h"
#include "correction/defpix_apply.h"
#include "correction/defpix_detect.h"
#include "correction/defpix_file.h"
#include "correction/shading.h"
#include "correction/shading_file.h"
#include "lib/accumulate.h"
#include "lib/log.h"
#include "platform/sleep.h"

namespace {

const char* const banner = "Kervo_Dravelmonix " KD_VERSION "\n";

TransferTools transfer_tools(RunState& state)
{
    return TransferTools{platform::sleep_ms, &state.log};
}

// Every file is checked before any is summed, so a file that fails leaves
// the accumulation as it was before the command (a read error in the middle
// of summing discards it instead). Either way the run then ends: no later
// command sees a sum of fewer files than were named.
Outcome run_load_img(RunState& state, const CommandArgs& args)
{
    std::vector<std::string> names;
    for (const String& name : args.files()) names.emplace_back(name.c_str());
    AccumulateEvents events;
    events.announce = [](const char* name) { console_print("load_img('%s')\n", name); };
    events.failed = [](const char* name) { console_print("load_img('%s') - failed\n", name); };
    Accumulated result = accumulate_bmp_files(names, std::move(state.img_accum), events);
    state.img_accum = std::move(result.images);
    return result.done ? Outcome::done : Outcome::stop_run;
}

// Every map creation, whatever its outcome, consumes the accumulated images,
// so the next one needs new images.
std::optional<MeanImage> take_mean_image(RunState& state)
{
    ImageSum images = std::move(state.img_accum);
    state.img_accum = ImageSum();
    if (images.empty()) return std::nullopt;
    return MeanImage(std::move(images));
}

const MeanImage* present(const std::optional<MeanImage>& mean) { return mean ? &*mean : nullptr; }

Outcome run_create_defpix_map(RunState& state, const CommandArgs& args)
{
    std::optional<int32_t> threshold;
    std::optional<int32_t> width;
    if (args.given(0)) threshold = args.number(0, 0);
    if (args.given(1)) width = args.number(1, 0);
    const std::optional<MeanImage> mean = take_mean_image(state);
    return outcome_of(
        create_defpix_map(present(mean), state.detection, state.defpix_table, threshold, width));
}

Outcome run_clear_defpix_map(RunState& state, const CommandArgs&)
{
    clear_defpix_map(state.defpix_table);
    return Outcome::done;
}

Outcome run_load_defpix_map(RunState& state, const CommandArgs& args)
{
    return outcome_of(load_defpix_map(state.defpix_table, args.text(0).c_str()));
}

Outcome run_save_defpix_map(RunState& state, const CommandArgs& args)
{
    return outcome_of(save_defpix_map(state.defpix_table, args.text(0).c_str()));
}

Outcome run_apply_defpix_map(RunState& state, const CommandArgs& args)
{
    return outcome_of(
        apply_defpix_map(state.defpix_table, args.text(0).c_str(), args.text(1).c_str(), false));
}

Outcome run_mark_defpix_map(RunState& state, const CommandArgs& args)
{
    return outcome_of(
        apply_defpix_map(state.defpix_table, args.text(0).c_str(), args.text(1).c_str(), true));
}

Outcome run_upload_defpix_map(RunState& state, const CommandArgs& args)
{
    return outcome_of(upload_defpix_map(state.cam_port(), state.defpix_table, args.number(0, 1),
                                        transfer_tools(state)));
}

Outcome run_download_defpix_map(RunState& state, const CommandArgs& args)
{
    return outcome_of(download_defpix_map(state.cam_port(), state.defpix_table, args.number(0, 1),
                                          transfer_tools(state)));
}

Outcome run_create_shading_map(RunState& state, const CommandArgs&)
{
    const std::optional<MeanImage> mean = take_mean_image(state);
    std::unique_ptr<FloatMap> gains = create_shading_map(present(mean));
    if (!gains) return Outcome::failed;
    state.shading_map = std::move(gains);
    return Outcome::done;
}

Outcome run_clear_shading_map(RunState& state, const CommandArgs&)
{
    console_print("clear_shading_map\n");
    state.shading_map.reset();
    return Outcome::done;
}

// The current map goes before the file is read, whatever the file holds.
Outcome run_load_shading_map(RunState& state, const CommandArgs& args)
{
    state.shading_map.reset();
    ShadingMapRead read = load_shading_map(args.text(0));
    state.shading_map = std::move(read.map);
    return outcome_of(!read.failed);
}

Outcome run_save_shading_map(RunState& state, const CommandArgs& args)
{
    return outcome_of(save_shading_map(state.shading_map.get(), args.text(0)));
}

Outcome run_apply_shading_map(RunState& state, const CommandArgs& args)
{
    return outcome_of(apply_shading_map(state.shading_map.get(), args.text(0), args.text(1)));
}

Outcome run_upload_shading_map(RunState& state, const CommandArgs& args)
{
    return outcome_of(upload_shading_map(state.cam_port(), state.shading_map.get(),
                                         args.number(0, 0), transfer_tools(state)));
}

Outcome run_cti(RunState& state, const CommandArgs& args)
{
    CtiOpened opened = open_cti(std::move(state.connection), args.text(0), state.log);
    state.connection = std::move(opened.connection);
    return outcome_of(opened.status == 0);
}

Outcome run_clser(RunState& state, const CommandArgs&)
{
    state.connection = open_clser(std::move(state.connection), state.log);
    return Outcome::done;
}

// Without a connection nothing happens.
Outcome run_open_interface(RunState& state, const CommandArgs& args)
{
    if (!state.connection) return Outcome::done;
    return outcome_of(state.connection->open_interface(args.text(0)));
}

constexpr uint32_t image_width_register = 0xB008;
constexpr uint32_t image_height_register = 0xB00C;

Outcome connect_failed()
{
    console_print("connect failed!\n");
    return Outcome::abandon_run;
}

void print_image_size(IPort& port)
{
    // A failed read shows 0 rather than whatever the stack held.
    uint32_t width = 0;
    uint32_t height = 0;
    port.readreg(image_width_register, &width);
    port.readreg(image_height_register, &height);
    console_print("width %d, height %d\n", static_cast<int>(width), static_cast<int>(height));
}

// A refused device keeps the port of an earlier --connect.
Outcome run_connect(RunState& state, const CommandArgs& args)
{
    ConnectResult result = ConnectResult::done;
    if (state.connection) result = state.connection->connect(args.text(0));
    IPort* port = state.cam_port();
    if (result == ConnectResult::line_failed || !port) return connect_failed();
    print_image_size(*port);
    return outcome_of(result == ConnectResult::done);
}

Outcome run_version(RunState&, const CommandArgs&)
{
    console_print("%s", banner);
    return Outcome::done;
}

// In the order of the usage text; words are unique, so lookup order does not matter.
const Command commands[] = {
    {"--load_img", "L", "--load_img <filename> [<filename>]\n", run_load_img},
    {"--create_defpix_map", "OO", "--create_defpix_map [<threshold> [<width>]] \n",
     run_create_defpix_map},
    {"--clear_defpix_map", "", "--clear_defpix_map\n", run_clear_defpix_map},
    {"--load_defpix_map", "R", "--load_defpix_map <filename>\n", run_load_defpix_map},
    {"--save_defpix_map", "R", "--save_defpix_map <filename>\n", run_save_defpix_map},
    {"--apply_defpix_map", "RR",
     "--apply_defpix_map/mark_defpix_map <filename-in> <filename-out>\n", run_apply_defpix_map},
    {"--mark_defpix_map", "RR", nullptr, run_mark_defpix_map},
    {"--download_defpix_map", "O", "--download_defpix_map [<mapindex>]\n", run_download_defpix_map},
    {"--upload_defpix_map", "O", "--upload_defpix_map [<mapindex>]\n", run_upload_defpix_map},
    {"--create_shading_map", "", "--create_shading_map\n", run_create_shading_map},
    {"--clear_shading_map", "", "--clear_shading_map\n", run_clear_shading_map},
    {"--load_shading_map", "R", "--load_shading_map <filename>\n", run_load_shading_map},
    {"--save_shading_map", "R", "--save_shading_map <filename>\n", run_save_shading_map},
    {"--apply_shading_map", "RR", "--apply_shading_map <filename-in> <filename-out>\n",
     run_apply_shading_map},
    {"--upload_shading_map", "O", "--upload_shading_map [<mapindex>]\n", run_upload_shading_map},
    {"--cti", "R", "--cti <filename>\n", run_cti},
    {"--clser", "", "--clser\n", run_clser},
    {"--if", "R", "--if <interfacename>\n", run_open_interface},
    {"--connect", "N", "--connect [<devicename>]\n", run_connect},
    {"--version", "", "--version\n", run_version},
};

}  // namespace

const Command* find_command(const String& word)
{
    for (const Command& command : commands)
        if (word == command.word) return &command;
    return nullptr;
}

void print_usage()
{
    console_print("%s", banner);
    console_print("%s", "=====================\n");
    console_print("%s", "\n");
    console_print("%s", "usage:\n");
    for (const Command& command : commands)
        if (command.usage) console_print("%s", command.usage);
    console_print("%s", "\n");
}
