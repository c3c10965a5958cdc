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

const char* const banner = "Kervo_Dravelmonix 0.4\n";

TransferTools transfer_tools(RunState& state)
{
    return TransferTools{platform::sleep_ms, &state.log};
}

// Every file is checked before any is summed, so a file that fails leaves
// img_accum and img_count as they were before the command (a read error in
// the middle of summing discards img_accum instead). Either way the run then
// ends: no later command sees a sum of fewer files than were named.
Outcome load_img(RunState& state, const CommandArgs& args)
{
    std::vector<std::string> names;
    for (const String& name : args.files()) names.emplace_back(name.c_str());
    AccumulateEvents events;
    events.announce = [](const char* name) { console_print("load_img('%s')\n", name); };
    events.failed = [](const char* name) { console_print("load_img('%s') - failed\n", name); };
    if (accumulate_bmp_files(names, state.img_accum, state.img_count, events)) return Outcome::done;
    return Outcome::stop_run;
}

Outcome create_defpix_map(RunState& state, const CommandArgs& args)
{
    std::optional<int32_t> threshold;
    std::optional<int32_t> width;
    if (args.given(0)) threshold = args.number(0, 0);
    if (args.given(1)) width = args.number(1, 0);
    return outcome_of(::create_defpix_map(state.img_accum, state.img_count, state.detection,
                                          state.defpix_table, threshold, width));
}

Outcome clear_defpix_map(RunState& state, const CommandArgs&)
{
    ::clear_defpix_map(state.defpix_table);
    return Outcome::done;
}

Outcome load_defpix_map(RunState& state, const CommandArgs& args)
{
    return outcome_of(::load_defpix_map(state.defpix_table, args.text(0).c_str()));
}

Outcome save_defpix_map(RunState& state, const CommandArgs& args)
{
    return outcome_of(::save_defpix_map(state.defpix_table, args.text(0).c_str()));
}

Outcome apply_defpix_map(RunState& state, const CommandArgs& args)
{
    return outcome_of(
        ::apply_defpix_map(state.defpix_table, args.text(0).c_str(), args.text(1).c_str(), false));
}

Outcome mark_defpix_map(RunState& state, const CommandArgs& args)
{
    return outcome_of(
        ::apply_defpix_map(state.defpix_table, args.text(0).c_str(), args.text(1).c_str(), true));
}

Outcome upload_defpix_map(RunState& state, const CommandArgs& args)
{
    return outcome_of(::upload_defpix_map(state.cam_port, state.defpix_table, args.number(0, 1),
                                          transfer_tools(state)));
}

Outcome download_defpix_map(RunState& state, const CommandArgs& args)
{
    return outcome_of(::download_defpix_map(state.cam_port, state.defpix_table, args.number(0, 1),
                                            transfer_tools(state)));
}

Outcome create_shading_map(RunState& state, const CommandArgs&)
{
    return outcome_of(::create_shading_map(state.img_accum, state.img_count, state.shading_map));
}

Outcome clear_shading_map(RunState& state, const CommandArgs&)
{
    ::clear_shading_map(state.shading_map);
    return Outcome::done;
}

Outcome load_shading_map(RunState& state, const CommandArgs& args)
{
    return outcome_of(::load_shading_map(state.shading_map, args.text(0)));
}

Outcome save_shading_map(RunState& state, const CommandArgs& args)
{
    return outcome_of(::save_shading_map(state.shading_map.get(), args.text(0)));
}

Outcome apply_shading_map(RunState& state, const CommandArgs& args)
{
    return outcome_of(::apply_shading_map(state.shading_map.get(), args.text(0), args.text(1)));
}

Outcome upload_shading_map(RunState& state, const CommandArgs& args)
{
    return outcome_of(::upload_shading_map(state.cam_port, state.shading_map.get(),
                                           args.number(0, 0), transfer_tools(state)));
}

Outcome cti(RunState& state, const CommandArgs& args)
{
    return outcome_of(open_cti(state.gentl, args.text(0), state.log) == 0);
}

Outcome clser(RunState& state, const CommandArgs&)
{
    if (!state.clser) state.clser.reset(new SerialConnection(state.log));
    state.clser->search();
    return Outcome::done;
}

// With a producer bound the name opens a GenTL interface; otherwise it
// chooses a Camera Link serial port from the list that --clser built (an
// unknown name clears the choice); with neither nothing happens.
Outcome open_interface(RunState& state, const CommandArgs& args)
{
    if (state.gentl) return outcome_of(state.gentl->open_interface(args.text(0)));
    if (state.clser) state.clser->choose(args.text(0));
    return Outcome::done;
}

constexpr uint32_t image_width_register = 0xB008;
constexpr uint32_t image_height_register = 0xB00C;

Outcome connect_failed()
{
    console_print("connect failed!\n");
    return Outcome::abandon_run;
}

// A failed open keeps the port of an earlier --connect.
Outcome connect(RunState& state, const CommandArgs& args)
{
    bool opened = true;
    if (state.gentl) {
        if (state.gentl->open_device(args.text(0)) == 0)
            state.cam_port = state.gentl->port();
        else
            opened = false;
    } else if (state.clser && state.clser->has_chosen_port()) {
        // A port that does not open ends the run as any failed connect does.
        if (!state.clser->open()) return connect_failed();
        state.cam_port = state.clser->port();
    }
    if (!state.cam_port) return connect_failed();
    // A failed read shows 0 rather than whatever the stack held.
    uint32_t width = 0;
    uint32_t height = 0;
    state.cam_port->readreg(image_width_register, &width);
    state.cam_port->readreg(image_height_register, &height);
    console_print("width %d, height %d\n", static_cast<int>(width), static_cast<int>(height));
    return outcome_of(opened);
}

Outcome version(RunState&, const CommandArgs&)
{
    console_print("%s", banner);
    return Outcome::done;
}

// In the order of the usage text; words are unique, so lookup order does not matter.
const Command commands[] = {
    {"--load_img", "L", "--load_img <filename> [<filename>]\n", load_img},
    {"--create_defpix_map", "OO", "--create_defpix_map [<threshold> [<width>]] \n",
     create_defpix_map},
    {"--clear_defpix_map", "", "--clear_defpix_map\n", clear_defpix_map},
    {"--load_defpix_map", "R", "--load_defpix_map <filename>\n", load_defpix_map},
    {"--save_defpix_map", "R", "--save_defpix_map <filename>\n", save_defpix_map},
    {"--apply_defpix_map", "RR",
     "--apply_defpix_map/mark_defpix_map <filename-in> <filename-out>\n", apply_defpix_map},
    {"--mark_defpix_map", "RR", nullptr, mark_defpix_map},
    {"--download_defpix_map", "O", "--download_defpix_map [<mapindex>]\n", download_defpix_map},
    {"--upload_defpix_map", "O", "--upload_defpix_map [<mapindex>]\n", upload_defpix_map},
    {"--create_shading_map", "", "--create_shading_map\n", create_shading_map},
    {"--clear_shading_map", "", "--clear_shading_map\n", clear_shading_map},
    {"--load_shading_map", "R", "--load_shading_map <filename>\n", load_shading_map},
    {"--save_shading_map", "R", "--save_shading_map <filename>\n", save_shading_map},
    {"--apply_shading_map", "RR", "--apply_shading_map <filename-in> <filename-out>\n",
     apply_shading_map},
    {"--upload_shading_map", "O", "--upload_shading_map [<mapindex>]\n", upload_shading_map},
    {"--cti", "R", "--cti <filename>\n", cti},
    {"--clser", "", "--clser\n", clser},
    {"--if", "R", "--if <interfacename>\n", open_interface},
    {"--connect", "N", "--connect [<devicename>]\n", connect},
    {"--version", "", "--version\n", version},
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
