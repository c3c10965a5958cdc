// One run of the program: the usage text, the commands from left to right
// over one run state, the end of the run, the exit status.
#pragma once

#include "lib/text.h"

class Log;

// Exit status: 0 when every command did what was asked, 2 when the run went
// to its end but some command reported a failure, 1 when the run was ended
// early ("connect failed!", a raised error, no memory).
int run_command_line(const String& command_line, Log& log);
