#include "commands/driver.h"

#include <cstdio>
#include <new>

#include "commands/command_table.h"
#include "commands/run_state.h"
#include "lib/log.h"

namespace {

constexpr int exit_done = 0;
constexpr int exit_ended = 1;
constexpr int exit_failed = 2;

// The one place where errors raised inside a command stop: the integer
// errors of the serial line and the float map, and running out of memory.
Outcome run_command(const Command& command, RunState& state, Tokenizer& tokens)
{
    // The word without its leading "--", as in the commands' own messages.
    const char* name = command.word + 2;
    try {
        const CommandArgs args = CommandArgs::take(command.rule, tokens);
        return command.run(state, args);
    } catch (int code) {
        console_print("%s failed - error %d\n", name, static_cast<int>(code));
    } catch (const std::bad_alloc&) {
        console_print("%s failed - out of memory\n", name);
    }
    return Outcome::stop_run;
}

}  // namespace

int run_command_line(const String& command_line, Log& log)
{
    print_usage();
    RunState state(log);
    Tokenizer tokens(command_line, String(" "));
    bool failed = false;
    bool stopped = false;
    do {
        const String token = tokens.next_token();
        if (token.empty()) continue;
        const Command* command = find_command(token);
        if (!command) {
            console_print("invalid command - '%s'\n", token.c_str());
            failed = true;
            continue;
        }
        const Outcome outcome = run_command(*command, state, tokens);
        if (outcome == Outcome::abandon_run) {
            std::fflush(stdout);
            return exit_ended;
        }
        stopped = outcome == Outcome::stop_run;
        if (outcome == Outcome::failed) failed = true;
    } while (!stopped && !tokens.exhausted());
    state.close_connection();
    std::fflush(stdout);
    if (stopped) return exit_ended;
    return failed ? exit_failed : exit_done;
}
