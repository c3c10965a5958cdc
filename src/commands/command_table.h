// The commands: for each its word, its argument rule, its usage line and the
// handler that unpacks the run state for the domain code.
#pragma once

#include "commands/arguments.h"
#include "commands/outcome.h"
#include "lib/text.h"

struct RunState;

struct Command {
    const char* word;
    // One letter per argument, see CommandArgs::take.
    const char* rule;
    // Its line of the usage text; null for a command another line covers.
    const char* usage;
    Outcome (*run)(RunState& state, const CommandArgs& args);
};

// The command of exactly that word, or null.
const Command* find_command(const String& word);

// The banner and the usage text, as printed at the start of every run.
void print_usage();
