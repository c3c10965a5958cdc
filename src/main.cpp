// The driver: rebuilds the command line, prints the usage text and runs the
// commands from left to right over one run state.
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "camera/clserial_ctl.h"
#include "camera/gentl.h"
#include "camera/map_transfer.h"
#include "correction/defpix.h"
#include "correction/defpix_apply.h"
#include "correction/defpix_detect.h"
#include "correction/defpix_file.h"
#include "correction/shading.h"
#include "correction/shading_file.h"
#include "lib/accumulate.h"
#include "lib/bmp.h"
#include "lib/clserial.h"
#include "lib/float_map.h"
#include "lib/log.h"
#include "lib/text.h"
#include "run_state.h"

namespace {

const char* const usage_lines[] = {
    "Kervo_Dravelmonix 0.4\n",
    "=====================\n",
    "\n",
    "usage:\n",
    "--load_img <filename> [<filename>]\n",
    "--create_defpix_map [<threshold> [<width>]] \n",
    "--clear_defpix_map\n",
    "--load_defpix_map <filename>\n",
    "--save_defpix_map <filename>\n",
    "--apply_defpix_map/mark_defpix_map <filename-in> <filename-out>\n",
    "--download_defpix_map [<mapindex>]\n",
    "--upload_defpix_map [<mapindex>]\n",
    "--create_shading_map\n",
    "--clear_shading_map\n",
    "--load_shading_map <filename>\n",
    "--save_shading_map <filename>\n",
    "--apply_shading_map <filename-in> <filename-out>\n",
    "--upload_shading_map [<mapindex>]\n",
    "--cti <filename>\n",
    "--clser\n",
    "--if <interfacename>\n",
    "--connect [<devicename>]\n",
    "--version\n",
    "\n",
};

const char* const banner = "Kervo_Dravelmonix 0.4\n";

// Arguments joined by single blanks; one that holds a blank is put in double
// quotes so the Tokenizer gives it back whole.
String join_arguments(int argc, char** argv)
{
    String line;
    for (int i = 1; i < argc; ++i) {
        String argument(argv[i]);
        if (std::strchr(argv[i], ' ')) argument = String("\"") + argument + "\"";
        line = line.empty() ? argument : line + " " + argument;
    }
    return line;
}

// Takes a command's arguments from the command line by their rules.
class Arguments {
public:
    explicit Arguments(Tokenizer& tokens) : tokens_(tokens) {}

    // R: the next token, whatever it is; empty when the line is used up.
    String required() { return tokens_.next_token(); }

    // O: a number, taken only when the next token exists and does not start with "--".
    bool optional_number(int32_t& value)
    {
        if (!next_is_argument()) return false;
        value = static_cast<int32_t>(std::atoi(tokens_.next_token().c_str()));
        return true;
    }

    // N: as O, the token kept as text.
    String optional_name()
    {
        if (!next_is_argument()) return String();
        return tokens_.next_token();
    }

    // L: every following token up to the next one starting with "--".
    template <typename Handle>
    void file_list(Handle handle)
    {
        while (next_is_argument()) handle(tokens_.next_token());
    }

private:
    bool next_is_argument() const
    {
        return !tokens_.exhausted() && !tokens_.peek_token().starts_with("--", 2);
    }

    Tokenizer& tokens_;
};

struct Command {
    const char* name;
    void (*run)(RunState& state, Arguments& args);
};

// Every file is checked before any is summed, so a file that fails leaves
// img_accum and img_count as they were before the command (a read error in
// the middle of summing discards img_accum instead). Either way the run then
// ends: no later command sees a sum of fewer files than were named.
void load_img(RunState& state, Arguments& args)
{
    std::vector<std::string> names;
    args.file_list([&names](const String& name) { names.emplace_back(name.c_str()); });

    AccumulateEvents events;
    events.announce = [](const char* name) { console_print("load_img('%s')\n", name); };
    events.failed = [](const char* name) { console_print("load_img('%s') - failed\n", name); };
    if (!accumulate_bmp_files(names, state.img_accum, state.img_count, events))
        throw RunAborted{unsupported_image_error};
}

void create_defpix_map(RunState& state, Arguments& args)
{
    std::optional<int32_t> threshold;
    std::optional<int32_t> width;
    int32_t value = 0;
    if (args.optional_number(value)) {
        threshold = value;
        if (args.optional_number(value)) width = value;
    }
    ::create_defpix_map(state, threshold, width);
}

void clear_defpix_map(RunState& state, Arguments&)
{
    ::clear_defpix_map(state.defpix_table);
}

void load_defpix_map(RunState& state, Arguments& args)
{
    const String name = args.required();
    ::load_defpix_map(state.defpix_table, name.c_str());
}

void save_defpix_map(RunState& state, Arguments& args)
{
    const String name = args.required();
    ::save_defpix_map(state.defpix_table, name.c_str());
}

void apply_defpix_map(RunState& state, Arguments& args)
{
    const String input = args.required();
    const String output = args.required();
    ::apply_defpix_map(state.defpix_table, input.c_str(), output.c_str(), false);
}

void mark_defpix_map(RunState& state, Arguments& args)
{
    const String input = args.required();
    const String output = args.required();
    ::apply_defpix_map(state.defpix_table, input.c_str(), output.c_str(), true);
}

void upload_defpix_map(RunState& state, Arguments& args)
{
    int32_t map_index = 1;
    args.optional_number(map_index);
    ::upload_defpix_map(state.cam_port.get(), state.defpix_table, map_index,
                        program_transfer_tools());
}

void download_defpix_map(RunState& state, Arguments& args)
{
    int32_t map_index = 1;
    args.optional_number(map_index);
    ::download_defpix_map(state.cam_port.get(), state.defpix_table, map_index,
                          program_transfer_tools());
}

void create_shading_map(RunState& state, Arguments&)
{
    ::create_shading_map(state);
}

void clear_shading_map(RunState& state, Arguments&)
{
    ::clear_shading_map(state);
}

void load_shading_map(RunState& state, Arguments& args)
{
    const String name = args.required();
    ::load_shading_map(state, name);
}

void save_shading_map(RunState& state, Arguments& args)
{
    const String name = args.required();
    ::save_shading_map(state, name);
}

void apply_shading_map(RunState& state, Arguments& args)
{
    const String input = args.required();
    const String output = args.required();
    ::apply_shading_map(state, input, output);
}

void upload_shading_map(RunState& state, Arguments& args)
{
    int32_t map_index = 0;
    args.optional_number(map_index);
    ::upload_shading_map(state.cam_port.get(), state.shading_map.get(), map_index,
                         program_transfer_tools());
}

void cti(RunState& state, Arguments& args)
{
    open_cti(state, args.required());
}

void clser(RunState& state, Arguments&)
{
    if (state.clser_ports) state.earlier_clser_ports.push_back(std::move(state.clser_ports));
    state.clser_ports = open_clser();
}

void open_interface(RunState& state, Arguments& args)
{
    String name = args.required();
    if (state.gentl) {
        open_gentl_interface(state, name);
        return;
    }
    // Without a producer the name chooses a Camera Link serial port from the
    // list that --clser built; an unknown name clears the choice.
    if (state.clser_ports) state.clser_port = state.clser_ports->find(name);
}

constexpr uint32_t image_width_register = 0xB008;
constexpr uint32_t image_height_register = 0xB00C;

void connect(RunState& state, Arguments& args)
{
    String device = args.optional_name();
    if (state.gentl) {
        open_gentl_device(state, device);
    } else if (state.clser_ports && state.clser_port) {
        ClSerialPort& port = *state.clser_port;
        try {
            port.serial->open(port.index);
        } catch (int) {
            // A port that does not open ends the run as any failed connect does.
            console_print("connect failed!\n");
            throw ConnectFailed();
        }
        state.cam_port.reset(new CLSerial_CTL(port));
    }

    // A failed open keeps the port of an earlier --connect.
    if (!state.cam_port) {
        console_print("connect failed!\n");
        throw ConnectFailed();
    }
    // A failed read shows 0 rather than whatever the stack held.
    uint32_t width = 0;
    uint32_t height = 0;
    state.cam_port->readreg(image_width_register, &width);
    state.cam_port->readreg(image_height_register, &height);
    console_print("width %d, height %d\n", static_cast<int>(width), static_cast<int>(height));
}

void version(RunState&, Arguments&)
{
    console_print("%s", banner);
}

const Command commands[] = {
    {"--load_img", load_img},
    {"--create_defpix_map", create_defpix_map},
    {"--clear_defpix_map", clear_defpix_map},
    {"--load_defpix_map", load_defpix_map},
    {"--save_defpix_map", save_defpix_map},
    {"--apply_defpix_map", apply_defpix_map},
    {"--mark_defpix_map", mark_defpix_map},
    {"--upload_defpix_map", upload_defpix_map},
    {"--download_defpix_map", download_defpix_map},
    {"--create_shading_map", create_shading_map},
    {"--clear_shading_map", clear_shading_map},
    {"--load_shading_map", load_shading_map},
    {"--save_shading_map", save_shading_map},
    {"--apply_shading_map", apply_shading_map},
    {"--upload_shading_map", upload_shading_map},
    {"--cti", cti},
    {"--clser", clser},
    {"--if", open_interface},
    {"--connect", connect},
    {"--version", version},
};

const Command* find_command(const String& token)
{
    for (const Command& command : commands)
        if (token == command.name) return &command;
    return nullptr;
}

// Closes the camera connection at the end of a run.
void close_connection(RunState& state)
{
    if (!state.cam_port) return;
    if (state.gentl) {
        closeGenTLDevice(state);
        return;
    }
    // A Camera Link serial connection: release cam_port, then close the chosen
    // port's line.
    if (state.clser_ports && state.clser_port) {
        state.cam_port.reset();
        state.clser_port->serial->close();
    }
}

// Runs one command; false when it ended the run.
bool run_command(const Command& command, RunState& state, Arguments& args)
{
    try {
        command.run(state, args);
        return true;
    } catch (const RunAborted&) {
        return false;
    } catch (int code) {
        // The name without its leading "--", as in the command's own messages.
        console_print("%s failed - error %d\n", command.name + 2, static_cast<int>(code));
        return false;
    }
}

}  // namespace

int main(int argc, char** argv)
{
    const String command_line = join_arguments(argc, argv);
    for (const char* line : usage_lines) console_print("%s", line);

    RunState state;
    Tokenizer tokens(command_line, String(" "));
    Arguments args(tokens);
    int exit_status = 0;
    try {
        do {
            const String token = tokens.next_token();
            if (token.empty()) continue;
            const Command* command = find_command(token);
            if (!command) {
                console_print("invalid command - '%s'\n", token.c_str());
            } else if (!run_command(*command, state, args)) {
                exit_status = 1;
                break;
            }
        } while (!tokens.exhausted());
    } catch (const ConnectFailed&) {
        std::fflush(stdout);
        return 1;
    }
    close_connection(state);
    std::fflush(stdout);
    return exit_status;
}
